// Test helpers for game files.
#include "GameFileTools.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Format.h"
#include "Files/Object/Instance.h"
#include "Files/Option/Options.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Script/Script_Main.h"
#include "GamePack_Writer.h"

PackImage TestImage(int32_t width, int32_t height, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    PackImage img;
    img.width = width;
    img.height = height;
    for (int32_t i = 0; i < width * height; ++i) img.rgba.insert(img.rgba.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
    return img;
}

void TestImage_WritePng(const std::string& path, const PackImage& image)
{
    std::vector<uint8_t> png;
    ASSERT_TRUE(GamePack_EncodePng(image, png));
    ASSERT_TRUE(GamePack_WriteFile(path, png));
}

bool TestPackTry(const std::string& manifest, const std::string& folder, PackOutput& out, std::string& error)
{
    PackProject project;
    return GamePack_ParseProject(manifest, folder, project, error) && GamePack_Build(project, out, error);
}

PackOutput TestPack(const std::string& manifest, const std::string& folder)
{
    PackOutput out;
    std::string error;
    EXPECT_TRUE(TestPackTry(manifest, folder, out, error)) << error;
    return out;
}

void TestLoad_Release() { Runner_ReleaseLoaded(); }

TestLoad::~TestLoad() { TestLoad_Release(); }

void TestLoad_Run(TestLoad& load, const std::vector<uint8_t>& bytes)
{
    load.bytes = bytes;
    load.image = FileImage(load.bytes.data(), uint32_t(load.bytes.size()));
    load.ok = Runner_LoadFromImage(load.image);
}

uint32_t TestU32(const std::vector<uint8_t>& f, uint32_t at)
{
    if (size_t(at) + 4 > f.size()) return 0;
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
}

void TestPutU32(std::vector<uint8_t>& f, uint32_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) f[at + uint32_t(i)] = uint8_t(v >> (8 * i));
}

void TestReplaceLastPage(std::vector<uint8_t>& file, const PackImage& image)
{
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(file, "TXTR", data, length));
    ASSERT_EQ(size_t(data) + length, file.size()) << "the texture pages end the file";
    const uint32_t count = TestU32(file, data);
    ASSERT_GT(count, 0u);
    const uint32_t blob = TestU32(file, TestU32(file, data + 4 * count) + 4);
    std::vector<uint8_t> png;
    ASSERT_TRUE(GamePack_EncodePng(image, png));
    file.resize(blob);
    file.insert(file.end(), png.begin(), png.end());
    TestPutU32(file, data - 4, uint32_t(file.size()) - data);
    TestPutU32(file, 4, uint32_t(file.size()) - 8);
}

std::string TestString(const std::vector<uint8_t>& f, uint32_t at)
{
    std::string s;
    while (at < f.size() && f[at]) s += char(f[at++]);
    return s;
}

bool TestFindChunk(const std::vector<uint8_t>& file, const char* tag, uint32_t& data, uint32_t& length)
{
    uint32_t at = 8;
    while (size_t(at) + 8 <= file.size()) {
        uint32_t len = TestU32(file, at + 4);
        if (std::memcmp(&file[at], tag, 4) == 0) {
            data = at + 8;
            length = len;
            return true;
        }
        at += 8 + len;
    }
    return false;
}

// ---- The stand-in compiler ---------------------------------------------------------------
namespace {

uint32_t Word(uint32_t op, uint32_t t1, uint32_t t2, uint32_t field)
{
    return op << 24 | (t2 & 15) << 20 | (t1 & 15) << 16 | (field & 0xFFFF);
}

void Put(std::vector<uint8_t>& code, uint32_t v)
{
    for (int i = 0; i < 4; ++i) code.push_back(uint8_t(v >> (8 * i)));
}

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

bool IsName(const std::string& s)
{
    if (s.empty() || !(std::isalpha(uint8_t(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(uint8_t(c)) || c == '_')) return false;
    return true;
}

constexpr uint32_t kVarRef = 0xA0000000u; // no index, scope in the word

// Pushes a value; type gets the type it leaves on the stack (2 int, 5 variable, 6 string).
bool Value(const std::string& v, CompiledUnit& out, uint32_t& type)
{
    auto at = [&]() { return uint32_t(out.code.size()); };
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        out.strings.push_back({at(), v.substr(1, v.size() - 2)});
        Put(out.code, Word(0xC0, 6, 0, 0));
        Put(out.code, 0);
        type = 6;
        return true;
    }
    if (!v.empty() && (std::isdigit(uint8_t(v[0])) || v[0] == '-')) {
        Put(out.code, Word(0xC0, 2, 0, 0));
        Put(out.code, uint32_t(std::atoi(v.c_str())));
        type = 2;
        return true;
    }
    if (!IsName(v)) return false;
    out.variables.push_back({at(), v});
    Put(out.code, Word(0xC0, 5, 0, 0xFFFF));
    Put(out.code, kVarRef);
    type = 5;
    return true;
}

// A pushed value as a variable (call arguments are variables).
bool Argument(const std::string& v, CompiledUnit& out)
{
    uint32_t type = 0;
    if (!Value(v, out, type)) return false;
    if (type != 5) Put(out.code, Word(0x03, type, 5, 0)); // conv
    return true;
}

} // namespace

bool TestCompile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error)
{
    out = CompiledUnit();
    size_t pos = 0;
    while (pos < source.size()) {
        size_t end = source.find_first_of(";\n", pos);
        if (end == std::string::npos) end = source.size();
        std::string st = Trim(source.substr(pos, end - pos));
        const int32_t position = int32_t(pos);
        pos = end + 1;
        if (st.empty()) continue;
        out.debug.push_back(int32_t(out.code.size()));
        out.debug.push_back(position);
        size_t eq = st.find('=');
        uint32_t type = 0;
        if (st.rfind("return ", 0) == 0) {
            if (!Argument(Trim(st.substr(7)), out)) goto bad;
            Put(out.code, Word(0x9D, 5, 0, 0));
        } else if (eq != std::string::npos) {
            std::string target = Trim(st.substr(0, eq));
            if (!IsName(target) || !Value(Trim(st.substr(eq + 1)), out, type)) goto bad;
            out.variables.push_back({uint32_t(out.code.size()), target});
            Put(out.code, Word(0x41, 5, type, 0xFFFF));
            Put(out.code, kVarRef);
        } else {
            size_t open = st.find('('), close = st.rfind(')');
            if (open == std::string::npos || close != st.size() - 1) goto bad;
            std::string fn = Trim(st.substr(0, open));
            if (!IsName(fn)) goto bad;
            std::string args = st.substr(open + 1, close - open - 1);
            uint32_t argc = 0;
            size_t a = 0;
            while (!Trim(args).empty() && a <= args.size()) {
                size_t comma = args.find(',', a);
                if (comma == std::string::npos) comma = args.size();
                if (!Argument(Trim(args.substr(a, comma - a)), out)) goto bad;
                ++argc;
                a = comma + 1;
            }
            out.functions.push_back({uint32_t(out.code.size()), fn});
            Put(out.code, Word(0xDA, 2, 0, argc));
            Put(out.code, 0);
            Put(out.code, Word(0x9F, 5, 0, 0));
        }
        continue;
    bad:
        error = name + ": cannot compile \"" + st + "\"";
        return false;
    }
    Put(out.code, Word(0x9E, 2, 0, 0));
    return true;
}

// ---- Name tables -------------------------------------------------------------------------
namespace {

void Dummy(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}

int32_t FindVariable(const char* name) { return TestVariableId(name); }

bool FindFunction(const char* name, int32_t* id)
{
    if (std::strncmp(name, "missing", 7) == 0) return false;
    *id = TestFunctionId(name);
    return true;
}

const CodeBindHooks kHooks = {FindVariable, FindFunction};

} // namespace

int32_t TestVariableId(const std::string& name) { return Code_Variable_Find(name.c_str()); }

int32_t TestFunctionId(const std::string& name)
{
    int32_t id = -1;
    if (Code_Function_Find(name.c_str(), &id)) return id;
    Function_Add(name.c_str(), Dummy, -1); // an unknown name becomes a built-in that does nothing
    Code_Function_Find(name.c_str(), &id);
    return id;
}

void TestBindHooks_Install() { Code_SetBindHooks(&kHooks); }
void TestBindHooks_Remove() { Code_SetBindHooks(nullptr); }
