// The compiler's driver (Files/Code/Code_Compile.h): phases 1 to 4 over a code unit, the
// generate hook, the game packer's entry (Files/Code/Code_Generate.h) and the installation
// of the hooks through which the code units reach the compiler and the tree interpreter.
#include <vector>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Generate.h"
#include "Files/Code/Code_TreeExec.h"
#include "Files/Code/VM_Format.h"

namespace {

// The depth of the finished tree, walked without recursion; false (with the error recorded)
// when it passes the limit.
bool CheckDepth(CCode* code, const CodeNode* root)
{
    struct Item {
        const CodeNode* node;
        int32_t depth;
    };
    std::vector<Item> stack;
    stack.push_back({root, 1});
    while (!stack.empty()) {
        Item it = stack.back();
        stack.pop_back();
        if (it.depth > CODE_MAX_TREE_DEPTH) {
            Code_Error_Set(code, it.node->position, "Code nested too deeply.");
            return false;
        }
        // A plain name stands for a variable with its default scope beneath it, which the
        // parser no longer builds as a node: the limit counts it as before.
        if (it.node->kind == NODE_SIMPLE_VAR && it.depth + 1 > CODE_MAX_TREE_DEPTH) {
            Code_Error_Set(code, it.node->position, "Code nested too deeply.");
            return false;
        }
        for (int32_t i = 0; i < it.node->childCount; ++i) stack.push_back({&it.node->children[i], it.depth + 1});
    }
    return true;
}

void ClearTree(CCode* code)
{
    Code_Tree_Free(&code->m_tree, false);
    Value_FreeString(&code->m_tree.value);
    Code_Node_Init(&code->m_tree, 0);
}

bool g_globalsByDeclaration = false;

bool Generate(CCode* code, bool writeDebug, CodeGenerator* generator, VMBuffer** outCode, VMBuffer** outDebug)
{
    generator->Start(16, 16);
    generator->SetWriteDebug(writeDebug);
    generator->SetGlobalsByDeclaration(g_globalsByDeclaration);
    Code_Error_ClearRecorded();
    bool ok = code->m_kind == CODE_PROGRAM ? generator->CompileProgram(code, &code->m_tree)
                                           : generator->CompileExpression(code, &code->m_tree);
    generator->Finish(outCode, outDebug);
    return ok;
}

} // namespace

bool Code_BuildTree(CCode* code)
{
    CodeTokenList tokens;
    ResolvedTokenList resolved;
    ClearTree(code);
    bool ok = Code_Tokenize(code, &tokens);
    if (ok) ok = Code_Resolve(code, &tokens, &resolved);
    Code_TokenList_Free(&tokens); // the resolved tokens are all the parser needs
    if (ok) {
        if (resolved.count == 0) {
            // No text at all: an empty program, or the expression 0.
            code->m_tree.kind = code->m_kind == CODE_PROGRAM ? NODE_EMPTY_PROGRAM : NODE_CONSTANT;
        } else if (code->m_kind == CODE_PROGRAM) {
            ok = Code_ParseProgram(code, &resolved, &code->m_tree);
        } else {
            ok = Code_ParseExpression(code, &resolved, &code->m_tree);
        }
    }
    Code_ResolvedList_Free(&resolved);
    if (ok) ok = CheckDepth(code, &code->m_tree);
    if (ok) ok = Code_Check(code, &code->m_tree);
    if (!ok) ClearTree(code);
    return ok;
}

void Code_SetGlobalsByDeclaration(bool on) { g_globalsByDeclaration = on; }

bool Code_GenerateUnit(CCode* code, VMBuffer** outCode, VMBuffer** outDebug)
{
    // Every unit keeps its (offset, source position) pairs: error reports and the debuggers
    // give the line of code compiled from text as they do for the game's byte code.
    CodeGenerator generator;
    bool ok = Generate(code, true, &generator, outCode, outDebug);
    if (*outDebug && (*outDebug)->m_size == 0) {
        delete *outDebug;
        *outDebug = nullptr;
    }
    return ok;
}

bool Code_CompileByteCode(const char* text, bool expression, const char* name, CompiledByteCode* out)
{
    Code_CompiledByteCode_Free(out);
    out->variables.clear();
    out->functions.clear();
    out->strings.clear();
    out->error.clear();
    CCode code(text, expression);
    // The unit is compiled without its byte code; the generator below writes it with debug
    // pairs and references (constants too).
    const CodeCompilerHooks saved = *Code_GetCompilerHooks();
    CodeCompilerHooks noGenerate = saved;
    noGenerate.buildTree = Code_BuildTree;
    noGenerate.generate = nullptr;
    Code_SetCompilerHooks(&noGenerate);
    bool ok = code.Compile(name ? name : "");
    Code_SetCompilerHooks(&saved);
    if (ok) {
        if (code.m_kind == CODE_CONSTANT) code.m_kind = CODE_EXPRESSION;
        CodeGenerator generator;
        generator.SetCollectReferences(true);
        ok = Generate(&code, true, &generator, &out->code, &out->debug);
        out->variables = generator.m_variableRefs;
        out->functions = generator.m_functionRefs;
        out->strings = generator.m_stringRefs;
    }
    if (!ok) {
        Code_CompiledByteCode_Free(out);
        out->error = Code_Error_GetText() ? Code_Error_GetText() : "";
        Code_Error_ClearRecorded();
    }
    return ok;
}

void Code_CompiledByteCode_Free(CompiledByteCode* out)
{
    delete out->code;
    delete out->debug;
    out->code = nullptr;
    out->debug = nullptr;
}

void Code_Compiler_Init()
{
    static const CodeCompilerHooks hooks = {Code_BuildTree, Code_GenerateUnit, Code_TreeExecute};
    Code_SetCompilerHooks(&hooks);
}

void Code_Free() {}
