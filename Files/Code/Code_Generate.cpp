// The byte-code generator's state, expressions, variables and assignments
// (Files/Code/Code_Generate.h). Statements and jumps are in Code_GenerateStatement.cpp.
#include "Files/Code/Code_Generate.h"

#include <cmath>
#include <cstring>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/VM_WriteBuffer.h"
#include "Files/Code/Variable_BuiltIn.h"

namespace {

int32_t TypeWidth(int32_t type)
{
    switch (type) {
    case VMT_REAL:
    case VMT_LONG: return 8;
    case VMT_FLOAT:
    case VMT_INT:
    case VMT_BOOL:
    case VMT_STRING: return 4;
    case VMT_VAR: return 16;
    default: return 0;
    }
}

int32_t Wider(int32_t left, int32_t right) { return TypeWidth(right) > TypeWidth(left) ? right : left; }

enum OperatorClass { OP_LOGICAL, OP_ARITHMETIC, OP_BITWISE, OP_COMPARE, OP_UNKNOWN };

OperatorClass ClassOf(int32_t op, uint32_t* opcode)
{
    switch (op) {
    case TOK_LAND: *opcode = VMOP_AND; return OP_LOGICAL;
    case TOK_LOR: *opcode = VMOP_OR; return OP_LOGICAL;
    case TOK_LXOR: *opcode = VMOP_XOR; return OP_LOGICAL;
    case TOK_PLUS: *opcode = VMOP_ADD; return OP_ARITHMETIC;
    case TOK_MINUS: *opcode = VMOP_SUB; return OP_ARITHMETIC;
    case TOK_STAR: *opcode = VMOP_MUL; return OP_ARITHMETIC;
    case TOK_SLASH: *opcode = VMOP_DIV; return OP_ARITHMETIC;
    case TOK_DIV: *opcode = VMOP_REM; return OP_ARITHMETIC;
    case TOK_MOD: *opcode = VMOP_MOD; return OP_ARITHMETIC;
    case TOK_BOR: *opcode = VMOP_OR; return OP_BITWISE;
    case TOK_BAND: *opcode = VMOP_AND; return OP_BITWISE;
    case TOK_BXOR: *opcode = VMOP_XOR; return OP_BITWISE;
    case TOK_SHL: *opcode = VMOP_SHL; return OP_BITWISE;
    case TOK_SHR: *opcode = VMOP_SHR; return OP_BITWISE;
    case TOK_ASSIGN:
    case TOK_EQ: *opcode = VMOP_SEQ; return OP_COMPARE;
    case TOK_LT: *opcode = VMOP_SLT; return OP_COMPARE;
    case TOK_LE: *opcode = VMOP_SLE; return OP_COMPARE;
    case TOK_NE: *opcode = VMOP_SNE; return OP_COMPARE;
    case TOK_GE: *opcode = VMOP_SGE; return OP_COMPARE;
    case TOK_GT: *opcode = VMOP_SGT; return OP_COMPARE;
    default: *opcode = 0; return OP_UNKNOWN;
    }
}

} // namespace

CodeGenerator::CodeGenerator() = default;

CodeGenerator::~CodeGenerator()
{
    delete m_code;
    delete m_debug;
}

void CodeGenerator::Start(int32_t codeSize, int32_t debugSize)
{
    delete m_code;
    delete m_debug;
    m_code = new VMWriteBuffer(codeSize);
    m_code->UseOwnPool();
    m_debug = new VMWriteBuffer(debugSize);
    m_depth = 0;
    m_continue = m_break = nullptr;
    m_switchTypes.clear();
    m_loopSwitchBase = 0;
    m_stringIndex.clear();
    m_variableRefs.clear();
    m_functionRefs.clear();
    m_stringRefs.clear();
}

void CodeGenerator::Finish(VMBuffer** code, VMBuffer** debug)
{
    if (m_code) m_code->Finish();
    if (m_debug) m_debug->Finish();
    *code = m_code;
    *debug = m_debug;
    m_code = nullptr;
    m_debug = nullptr;
}

bool CodeGenerator::Failed() const { return Code_Error_Recorded(); }

void CodeGenerator::Fail(const CodeNode* at, const char* message)
{
    Code_Error_Set(m_unit, at ? at->position : 0, message);
}

bool CodeGenerator::PushType(int32_t type, const CodeNode* at)
{
    if (m_depth >= kTypeStackSize) {
        Fail(at, "Expression too complex.");
        return false;
    }
    m_types[m_depth++] = type;
    return true;
}

int32_t CodeGenerator::PopType() { return m_depth > 0 ? m_types[--m_depth] : 15; }

uint32_t CodeGenerator::VMOpWord(uint32_t opcode, int32_t t1, int32_t t2, uint32_t field)
{
    return VM_Word(opcode, t1, t2, field);
}

void CodeGenerator::Word(uint32_t word) { m_code->Emit(word); }

void CodeGenerator::Reference(std::vector<ByteCodeReference>& list, int32_t id)
{
    if (m_collect) list.push_back({m_code->GetOffset(), id});
}

void CodeGenerator::PushInt(int32_t value)
{
    Op(VMOP_PUSH, VMT_INT);
    Word(uint32_t(value));
}

void CodeGenerator::PushString(const char* text)
{
    std::string key = text ? text : "";
    auto it = m_stringIndex.find(key);
    int32_t index;
    if (it != m_stringIndex.end()) {
        index = it->second;
    } else {
        index = m_code->AddString(key.c_str());
        m_stringIndex.emplace(key, index);
    }
    Op(VMOP_PUSH, VMT_STRING);
    Reference(m_stringRefs, index);
    Word(uint32_t(index));
}

bool CodeGenerator::ToVariable()
{
    int32_t t = PopType();
    if (t != VMT_VAR) Convert(t, VMT_VAR);
    m_types[m_depth++] = VMT_VAR; // the slot just popped
    return true;
}

bool CodeGenerator::CompileExpression(CCode* unit, CodeNode* root)
{
    m_unit = unit;
    if (!Expression(root)) return false;
    ToVariable();
    return !Failed();
}

bool CodeGenerator::Expression(const CodeNode* node)
{
    if (Failed()) return false;
    switch (node->kind) {
    case NODE_CONSTANT: return Constant(node);
    case NODE_CALL: return Call(node);
    case NODE_VARIABLE:
    case NODE_SIMPLE_VAR: return PushVariable(node);
    case NODE_UNARY: return Unary(node);
    case NODE_BINARY: return Binary(node);
    default: Fail(node, "(Sub-)expression expected."); return false;
    }
}

bool CodeGenerator::Constant(const CodeNode* node)
{
    if (node->value.kind == VALUE_STRING) {
        PushString(node->value.text);
        return PushType(VMT_STRING, node);
    }
    double v = node->value.real;
    // A negative zero is a real: the integer pushes would lose its sign.
    bool whole = std::isfinite(v) && std::fabs(v) < 9.2e18 && v == double(int64_t(v)) && !(v == 0.0 && std::signbit(v));
    if (whole && v >= -32768.0 && v <= 32767.0) {
        Word(VM_Word(VMOP_PUSH, VMT_SHORT, 0, uint32_t(int32_t(v)) & 0xFFFF));
        return PushType(VMT_INT, node);
    }
    if (whole && v >= -2147483648.0 && v <= 2147483647.0) {
        PushInt(int32_t(v));
        return PushType(VMT_INT, node);
    }
    // Other whole numbers as reals too: the machine's mixed operations take reals.
    Op(VMOP_PUSH, VMT_REAL);
    m_code->EmitReal(v);
    return PushType(VMT_REAL, node);
}

bool CodeGenerator::Call(const CodeNode* node)
{
    // The arguments stay on the type stack until the call takes them, as they stay on the
    // machine's stack: calls nested in arguments are bounded by what the machine holds.
    for (int32_t i = node->childCount - 1; i >= 0; --i) {
        if (!Expression(&node->children[i])) return false;
        ToVariable();
    }
    for (int32_t i = 0; i < node->childCount; ++i) PopType();
    Op(VMOP_CALL, VMT_INT, 0, uint32_t(node->childCount));
    Reference(m_functionRefs, node->id);
    Word(uint32_t(node->id));
    return PushType(VMT_VAR, node);
}

bool CodeGenerator::Unary(const CodeNode* node)
{
    if (node->childCount < 1 || !Expression(&node->children[0])) return false;
    int32_t t = PopType();
    switch (node->id) {
    case TOK_MINUS:
        // Integers (a bitwise result, a truth) are negated as reals, as the tree interpreter
        // negates every number: -0 keeps its sign (and -(-2147483648) does not wrap).
        if (t == VMT_INT || t == VMT_LONG || t == VMT_BOOL) {
            Convert(t, VMT_REAL);
            t = VMT_REAL;
        }
        Op(VMOP_NEG, t);
        break;
    case TOK_BNOT:
        if (t == VMT_REAL || t == VMT_FLOAT || t == VMT_VAR) {
            Convert(t, VMT_INT);
            t = VMT_INT;
        }
        Op(VMOP_NOT, t);
        break;
    case TOK_NOT:
        if (t == VMT_REAL || t == VMT_FLOAT || t == VMT_INT || t == VMT_LONG || t == VMT_VAR) {
            Convert(t, VMT_BOOL);
            t = VMT_BOOL;
        }
        Op(VMOP_NOT, t);
        break;
    default: break; // "+": nothing
    }
    return PushType(t, node);
}

bool CodeGenerator::Binary(const CodeNode* node)
{
    uint32_t opcode;
    OperatorClass cls = ClassOf(node->id, &opcode);
    if (cls == OP_UNKNOWN || node->childCount != 2) {
        Fail(node, "Internal error: unknown binary operator.");
        return false;
    }
    auto convertSide = [&]() {
        int32_t t = PopType();
        if (cls == OP_LOGICAL && t != VMT_BOOL) {
            Convert(t, VMT_BOOL);
            t = VMT_BOOL;
        } else if (cls == OP_ARITHMETIC && t == VMT_BOOL) {
            Convert(t, VMT_INT);
            t = VMT_INT;
        } else if (cls == OP_BITWISE && t != VMT_INT) {
            Convert(t, VMT_INT);
            t = VMT_INT;
        }
        m_types[m_depth++] = t;
    };
    if (!Expression(&node->children[0])) return false;
    convertSide();
    if (!Expression(&node->children[1])) return false;
    convertSide();
    int32_t r = PopType();
    int32_t l = PopType();
    Op(opcode, r, l);
    // A number and a string give a string (the repeat; the machine refuses the other
    // operators when they run), whatever their widths.
    int32_t result = cls == OP_COMPARE ? VMT_BOOL : Wider(l, r);
    if (cls != OP_COMPARE && (l == VMT_STRING || r == VMT_STRING) && l != VMT_VAR && r != VMT_VAR) result = VMT_STRING;
    return PushType(result, node);
}

bool CodeGenerator::VariableParts(const CodeNode* node, uint32_t* operand, uint32_t* field)
{
    uint32_t id = uint32_t(node->id) & VMREF_ID_MASK;
    // A plain name that is declared globalvar reaches the global, now or when the code runs.
    const bool global = m_globalsByDeclaration && Variable_Global_IsDeclared(node->id);
    if (node->kind == NODE_SIMPLE_VAR) {
        int32_t s = node->scope == SCOPE_PLAIN && global ? SCOPE_GLOBAL : node->scope;
        if (s >= SCOPE_INSTANCE_BASE && s - SCOPE_INSTANCE_BASE <= 32767) {
            *field = uint32_t(s - SCOPE_INSTANCE_BASE) & 0xFFFF;
            *operand = id | VMREF_SCOPE_IN_WORD | VMREF_INSTANCE | VMREF_NO_INDEX;
        } else if (s < SCOPE_INSTANCE_BASE && s >= -32768 && s <= 32767) {
            *field = uint32_t(s) & 0xFFFF;
            *operand = id | VMREF_SCOPE_IN_WORD | VMREF_NO_INDEX;
        } else {
            // The scope does not fit the word's field: it goes on the stack as an int.
            PushInt(s);
            *field = 0;
            *operand = id | VMREF_NO_INDEX;
        }
        return true;
    }
    if (node->childCount < 1) {
        Fail(node, "Variable name expected.");
        return false;
    }
    auto toInt = [&](const CodeNode* part) {
        if (!Expression(part)) return false;
        int32_t t = PopType();
        if (t != VMT_INT) Convert(t, VMT_INT);
        return true;
    };
    const CodeNode* scope = &node->children[0];
    if (global && scope->kind == NODE_CONSTANT && scope->value.kind == VALUE_REAL && scope->value.real == double(SCOPE_PLAIN)) {
        PushInt(SCOPE_GLOBAL);
    } else if (!toInt(scope)) {
        return false;
    }
    *field = 0;
    *operand = id;
    if (node->childCount == 1) {
        *operand |= VMREF_NO_INDEX;
    } else if (node->childCount == 2) {
        if (!toInt(&node->children[1])) return false;
    } else {
        if (!toInt(&node->children[1])) return false;
        PushInt(32000);
        Op(VMOP_MUL, VMT_INT, VMT_INT);
        if (!toInt(&node->children[2])) return false;
        Op(VMOP_ADD, VMT_INT, VMT_INT);
    }
    return true;
}

bool CodeGenerator::PushVariable(const CodeNode* node)
{
    uint32_t operand, field;
    if (!VariableParts(node, &operand, &field)) return false;
    Op(VMOP_PUSH, VMT_VAR, 0, field);
    Reference(m_variableRefs, node->id);
    Word(operand);
    return PushType(VMT_VAR, node);
}

bool CodeGenerator::Assignment(const CodeNode* node)
{
    if (node->childCount != 2) {
        Fail(node, "Assignment operator expected.");
        return false;
    }
    const CodeNode* target = &node->children[0];
    const CodeNode* value = &node->children[1];
    uint32_t operand, field;
    if (node->id == TOK_ASSIGN) {
        if (!Expression(value)) return false;
        int32_t t = PopType();
        if (!VariableParts(target, &operand, &field)) return false;
        Op(VMOP_POP, VMT_VAR, t, field);
        Reference(m_variableRefs, target->id);
        Word(operand);
        return true;
    }
    uint32_t opcode;
    bool bitwise = false;
    switch (node->id) {
    case TOK_ADD_ASSIGN: opcode = VMOP_ADD; break;
    case TOK_SUB_ASSIGN: opcode = VMOP_SUB; break;
    case TOK_MUL_ASSIGN: opcode = VMOP_MUL; break;
    case TOK_DIV_ASSIGN: opcode = VMOP_DIV; break;
    case TOK_OR_ASSIGN: opcode = VMOP_OR; bitwise = true; break;
    case TOK_AND_ASSIGN: opcode = VMOP_AND; bitwise = true; break;
    case TOK_XOR_ASSIGN: opcode = VMOP_XOR; bitwise = true; break;
    default: Fail(node, "Assignment operator expected."); return false;
    }
    if (!PushVariable(target)) return false;
    if (!Expression(value)) return false;
    int32_t t = PopType();
    if (!bitwise && t == VMT_BOOL) {
        Convert(t, VMT_INT);
        t = VMT_INT;
    } else if (bitwise && t != VMT_INT && t != VMT_LONG) {
        Convert(t, VMT_INT);
        t = VMT_INT;
    }
    Op(opcode, t, VMT_VAR);
    PopType(); // the variable read; the result is a variable
    if (!VariableParts(target, &operand, &field)) return false;
    Op(VMOP_POP, VMT_VAR, VMT_VAR, field);
    Reference(m_variableRefs, target->id);
    Word(operand);
    return true;
}
