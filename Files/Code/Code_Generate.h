// The byte-code generator: turns a checked tree (Code_Compile.h) into byte code of the
// machine's format (VM_Format.h) in a VMWriteBuffer. A compile-time stack of operand types
// mirrors the run-time operand stack, so every instruction carries the types of its operands
// and conversions are written where an operator needs another type. Jumps go to named labels
// patched when they are placed.
//
// Also the game packer's entry (Code_CompileByteCode): text to byte code with debug pairs and
// the positions of every variable, function and string operand, so that the packer can write
// its chunks and reference chains.
//
// Files: Code_Generate.cpp (state, expressions, variables, assignments),
// Code_GenerateStatement.cpp (statements and jumps), Code_Compiler.cpp (the packer entry).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "Files/Base/QuitRequest.h"
#include "Files/Code/Code_Code.h"

class VMBuffer;
class VMWriteBuffer;

// Operand positions the packer needs: the byte offset of the 4-byte operand and what it names.
struct ByteCodeReference {
    int32_t offset; // byte offset of the operand (the word after the instruction word)
    int32_t id;     // variable id (bits 0-28 of the operand), function id, or string-pool index
};

class CodeGenerator {
public:
    CodeGenerator();
    ~CodeGenerator();
    CodeGenerator(const CodeGenerator&) = delete;
    CodeGenerator& operator=(const CodeGenerator&) = delete;

    // Makes the two buffers with these initial sizes in bytes.
    void Start(int32_t codeSize, int32_t debugSize);
    // Debug pairs (byte-code offset, source position) for every statement (off by default:
    // code compiled at run time writes none).
    void SetWriteDebug(bool on) { m_writeDebug = on; }
    // Collects the operand references (off by default).
    void SetCollectReferences(bool on) { m_collect = on; }
    // A name without scope that is declared globalvar when the code is compiled is written
    // with the global scope (off by default: code compiled at run time leaves the choice to
    // the machine, which asks when it runs). For byte code that is run by another process.
    void SetGlobalsByDeclaration(bool on) { m_globalsByDeclaration = on; }
    // Hands both buffers over (sizes = bytes written); the caller owns them.
    void Finish(VMBuffer** code, VMBuffer** debug);

    // A program: each statement of a block root (any other root gives no code). An expression
    // unit: the expression converted to a variable, left on the stack. False after an error
    // recorded through Code_Error_Set.
    bool CompileProgram(CCode* unit, CodeNode* root);
    bool CompileExpression(CCode* unit, CodeNode* root);

    std::vector<ByteCodeReference> m_variableRefs;
    std::vector<ByteCodeReference> m_functionRefs;
    std::vector<ByteCodeReference> m_stringRefs;

    // Internal state, shared by the expression and the statement halves.
    struct Label {
        Label* next = nullptr;    // the label current before this one
        const char* name;
        int32_t offset = 0;
        std::vector<int32_t> fixups;
        bool placed = false;
        int32_t breakCount = 0;
        explicit Label(const char* n) : name(n) {}
    };

private:
    static constexpr int32_t kTypeStackSize = 1024;

    // Type stack.
    bool PushType(int32_t type, const CodeNode* at);
    int32_t PopType();
    int32_t TopType() const { return m_depth > 0 ? m_types[m_depth - 1] : 15; }
    // Writing.
    void Word(uint32_t word);
    void Op(uint32_t opcode, int32_t t1, int32_t t2 = 0, uint32_t field = 0) { Word(VMOpWord(opcode, t1, t2, field)); }
    static uint32_t VMOpWord(uint32_t opcode, int32_t t1, int32_t t2, uint32_t field);
    void Convert(int32_t from, int32_t to) { Op(3, from, to); }
    void PushInt(int32_t value);
    void PushString(const char* text);
    void Reference(std::vector<ByteCodeReference>& list, int32_t id);
    // Labels.
    void Branch(uint32_t opcode, Label* label);
    void Place(Label* label);

    // Expressions (Code_Generate.cpp).
    bool Expression(const CodeNode* node);
    bool Constant(const CodeNode* node);
    bool Call(const CodeNode* node);
    bool Unary(const CodeNode* node);
    bool Binary(const CodeNode* node);
    // The scope and index parts of a variable on the stack (kind 7, or kind 8 whose scope
    // does not fit the word); the reference operand and the word's field for it.
    bool VariableParts(const CodeNode* node, uint32_t* operand, uint32_t* field);
    bool PushVariable(const CodeNode* node);
    bool Assignment(const CodeNode* node);
    bool ToVariable(); // conv.T.v unless the top is already a variable

    // Statements (Code_GenerateStatement.cpp).
    bool Statement(const CodeNode* node);
    bool Condition(const CodeNode* node);
    bool If(const CodeNode* node);
    bool While(const CodeNode* node);
    bool Do(const CodeNode* node);
    bool For(const CodeNode* node);
    bool Repeat(const CodeNode* node);
    bool With(const CodeNode* node);
    bool Switch(const CodeNode* node);
    bool Continue();
    // Loops make their labels current and bring the outer ones back when they end.
    struct LoopScope {
        Label* oldContinue;
        Label* oldBreak;
        size_t oldSwitchBase;
    };
    LoopScope EnterLoop(Label* continueLabel, Label* breakLabel);
    void LeaveLoop(const LoopScope& scope);
    bool Failed() const;
    void Fail(const CodeNode* at, const char* message);

    CCode* m_unit = nullptr;
    VMWriteBuffer* m_code = nullptr;
    VMWriteBuffer* m_debug = nullptr;
    int32_t m_types[kTypeStackSize];
    int32_t m_depth = 0;
    Label* m_continue = nullptr;
    Label* m_break = nullptr;
    // Types of the switch values on the operand stack, innermost last; a continue drops those
    // above its loop's base.
    std::vector<int32_t> m_switchTypes;
    size_t m_loopSwitchBase = 0;
    bool m_writeDebug = false;
    bool m_collect = false;
    bool m_globalsByDeclaration = false;
    QuitPoll m_poll; // statements generated
    std::unordered_map<std::string, int32_t> m_stringIndex;
};

// The game packer's entry: compiles text as a program (expression false) or as one
// expression to byte code. Expressions always get code, constants included (a push of the
// value, then conversion to a variable). The buffers belong to the caller; push.s operands
// index code's own string pool (code->m_ppStrings). False with the error text (the current
// error text of Code_Error_GetText) after a compile error.
struct CompiledByteCode {
    VMBuffer* code = nullptr;
    VMBuffer* debug = nullptr; // (offset, source position) pairs, one per statement
    std::vector<ByteCodeReference> variables; // push.v / pop.v operands
    std::vector<ByteCodeReference> functions; // call operands
    std::vector<ByteCodeReference> strings;   // push.s operands (pool index)
    std::string error;
};
bool Code_CompileByteCode(const char* text, bool expression, const char* name, CompiledByteCode* out);
// Releases the buffers of out.
void Code_CompiledByteCode_Free(CompiledByteCode* out);

// The generate hook of the code units: a program or expression unit's tree to byte code.
bool Code_GenerateUnit(CCode* code, VMBuffer** outCode, VMBuffer** outDebug);
