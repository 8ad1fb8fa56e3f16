// Fuzz target: arbitrary text through the whole compiler (lexer, name resolution, parser,
// checks and folding, byte-code generator), as a program and as an expression. Every unit
// the generator writes must pass the machine's verifier; a refused unit traps. Nothing runs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"

namespace {

void Nop(ScriptValue*, CInstance*, CInstance*, int32_t, ScriptValue*) {}
bool Get(CInstance*, int32_t, ScriptValue*) { return true; }

void Setup()
{
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    RegisterBuiltinVariable("x", Get, nullptr, false);
    Variable_BuiltIn_RegisterArguments();
    Variable_Global_Init();
    Function_Add("f", Nop, -1);
    Function_Add("g", Nop, 2);
    VM_Init();
}

void Compile(const char* text, bool expression)
{
    CCode code(text, expression);
    if (code.Compile("fuzz") && code.m_pCode) {
        std::string why;
        if (!VM_Prepare(code.m_pCode, &why)) __builtin_trap();
    }
    Code_Error_ClearRecorded();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (Setup(), true);
    static int runs = 0;
    (void)ready;
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    Compile(text.get(), false);
    Compile(text.get(), true);
    // Names are never removed while a game runs; forget them now and then here.
    if (++runs % 4096 == 0) {
        Code_Variable_Free();
        Variable_Global_Init();
    }
    return 0;
}
