// Test helpers for game files: packing manifest text with the game packer, images for it, a
// small stand-in compiler for the packer's byte-code mode, name tables for the loader's
// binding, and readers of chunks and fields of a packed file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Files/Support/FileImage.h"
#include "GamePack_Compile.h"
#include "GamePack_Project.h"

// A width x height image of one colour (RGBA bytes r, g, b, a).
PackImage TestImage(int32_t width, int32_t height, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
// Writes an image as a PNG file.
void TestImage_WritePng(const std::string& path, const PackImage& image);

// Packs manifest text (names relative to folder); fails the test on error.
PackOutput TestPack(const std::string& manifest, const std::string& folder);
// The same, answering the error instead.
bool TestPackTry(const std::string& manifest, const std::string& folder, PackOutput& out, std::string& error);

// A packed file, loaded the way start-up reads it (the bytes stay alive with the object). The
// destructor releases what loading built (header, code and string tables, options), as
// shutdown does.
struct TestLoad {
    TestLoad() = default;
    TestLoad(const TestLoad&) = delete;
    TestLoad& operator=(const TestLoad&) = delete;
    ~TestLoad();
    std::vector<uint8_t> bytes;
    FileImage image;
    bool ok = false;
};
void TestLoad_Release();
void TestLoad_Run(TestLoad& load, const std::vector<uint8_t>& bytes);

// The first chunk with the tag: its data offset and length. False when there is none.
bool TestFindChunk(const std::vector<uint8_t>& file, const char* tag, uint32_t& data, uint32_t& length);
// Puts image, as a PNG, in place of the last texture page of a packed file (which ends with
// it): a page as a game file from another writer may hold it, beyond what the packer writes.
void TestReplaceLastPage(std::vector<uint8_t>& file, const PackImage& image);
uint32_t TestU32(const std::vector<uint8_t>& file, uint32_t at);
void TestPutU32(std::vector<uint8_t>& file, uint32_t at, uint32_t value);
std::string TestString(const std::vector<uint8_t>& file, uint32_t at);

// ---- A stand-in compiler ---------------------------------------------------------------
// Statements separated by ';' or new lines:
//   a = b        push.v b; pop.v a           a = "text"  push.s; pop.v a
//   a = 12       push.i 12; pop.v.i a        f(x, y)     the arguments pushed as variables
//   return a     push.v a; ret.v                          (conv), call.i f 2; popz.v
// and exit at the end. Names are references (chained by the packer), strings are indexes.
// A statement it cannot read is a compile error.
bool TestCompile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error);

// Name tables for the binding: variables through the runner's variable-name table; every
// function name is found except those starting "missing" (a name the function table does not
// know becomes a built-in row that does nothing).
void TestBindHooks_Install();
void TestBindHooks_Remove();
int32_t TestVariableId(const std::string& name);
int32_t TestFunctionId(const std::string& name);
