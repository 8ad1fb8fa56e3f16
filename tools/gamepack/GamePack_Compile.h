// The packer's compiler seam: byte-code mode compiles every piece of ZBL with the runner's own
// compiler and needs, for each unit, its byte code, where it names variables, functions and
// strings (so the packer can write the "VARI"/"FUNC" reference chains and the "STRG" indexes)
// and its (byte-code offset, source position) pairs for the debug companion.
//
// GamePack_CompileWithRunner is the runner's compiler; until the compiler module exists it
// answers false ("byte-code mode needs the compiler"). Tests install their own compiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CompiledUnit {
    std::vector<uint8_t> code;  // instruction words with their operands
    struct Ref {
        uint32_t at;            // byte offset of the instruction word in code
        std::string name;       // variable or function name, or the string's text
    };
    // Instructions whose 4-byte operand names a variable (the top 3 bits of the operand are the
    // instruction's and are kept), a function, or a string (written as its "STRG" index).
    std::vector<Ref> variables, functions, strings;
    std::vector<int32_t> debug; // pairs: byte-code offset, source position
};

using GamePackCompiler = bool (*)(const std::string& source, const std::string& name, CompiledUnit& out,
                                  std::string& error);

bool GamePack_CompileWithRunner(const std::string& source, const std::string& name, CompiledUnit& out,
                                std::string& error);
// The compiler byte-code mode uses; null restores GamePack_CompileWithRunner.
void GamePack_SetCompiler(GamePackCompiler compiler);
bool GamePack_Compile(const std::string& source, const std::string& name, CompiledUnit& out, std::string& error);
