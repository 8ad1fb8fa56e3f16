// Helpers of the compiler's tests: a fixture with the compiler installed, a few built-in
// functions and variables and a self instance, and text dumps of tokens, trees (as
// S-expressions) and byte code.
#pragma once

#include <string>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Generate.h"
#include "Files/Code/Code_TreeExec.h"
#include "code/CodeTestSupport.h"

// "kind" or "kind:text" per token, blank-separated, the end token as "END".
std::string TokensOf(const char* text);
// The checked tree of text as an S-expression, or "ERROR: <error text>".
std::string TreeOf(const char* text, bool expression = false);
std::string TreeText(const CodeNode* node);
// The disassembly of text compiled for the machine (without offsets and bytes), or
// "ERROR: <error text>".
std::string DisasmOf(const char* text, bool expression = false);
std::string DisasmText(const VMBuffer* code);
// The error text of compiling text (empty when it compiles).
std::string CompileError(const char* text, bool expression = false);

class CompilerTest : public ScriptTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs text as a program through the tree interpreter for m_self; the status.
    int32_t RunTree(const char* text, ScriptValue* result = nullptr);
    // Evaluates text as an expression through the tree interpreter.
    std::string EvalTree(const char* text);
    // The value of self's user variable name as text ("<unset>" when missing).
    std::string SelfVar(const char* name);
    std::string GlobalVar(const char* name);
    // An instance of object index (created when missing) with a new id, in the active list.
    CInstance* NewInstance(int32_t objectIndex);

    CInstance* m_self = nullptr;
    CInstance* m_other = nullptr;
    InstanceList m_active;
    int32_t m_nextId = 100000;
};

std::string ValueText(const ScriptValue* v);

// Runs text as a program under one executor (the byte-code machine in quiet mode, or the
// tree interpreter) for self and other, starting from empty variables, and gives what it
// left: "ERR" when it failed, then self's, other's and the global user variables sorted by
// name ("name=value"), and self's x. error, when given, receives the error's text (empty
// when none).
enum class Executor { VM, Tree };
class DifferentialFixture : public CompilerTest {
protected:
    std::string Run(Executor e, const char* text, const char* scripts = nullptr, std::string* error = nullptr);
};
std::string DumpList(CVariableList* list);
