// Phase 4 of the ZBL compiler: checks and constant folding (Code_Check), and the operator
// rules on values (Code_FoldUnary, Code_FoldBinary) that both the folder and the tree
// interpreter use (Files/Code/Code_Compile.h). Also the real-to-integer conversions with
// the x86 results.
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Platform/MemoryManager.h"

namespace {

// Longest text the repetition operator builds; beyond it the operation is refused.
constexpr size_t kMaxRepeatedText = size_t(1) << 28;

int32_t CompareTexts(const ScriptValue* a, const ScriptValue* b)
{
    const char* x = a->text ? a->text : "";
    const char* y = b->text ? b->text : "";
    int c = std::strcmp(x, y); // strcmp compares as unsigned bytes
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool Truth(double v) { return v >= 0.5; }

// Releases a node's children (the parser's trees share no arrays, so a plain walk does).
void ReleaseChildren(CodeNode* node)
{
    for (int32_t i = 0; i < node->childCount; ++i) {
        ReleaseChildren(&node->children[i]);
        Value_FreeString(&node->children[i].value);
    }
    MEM_FREE(node->children);
    node->children = nullptr;
    node->childCount = 0;
}

class Checker {
public:
    explicit Checker(CCode* code) : m_code(code) {}
    void Visit(CodeNode* node);

private:
    QuitPoll m_poll; // nodes visited
    void MakeConstant(CodeNode* node, ScriptValue* value)
    {
        ReleaseChildren(node);
        Value_FreeString(&node->value);
        node->kind = NODE_CONSTANT;
        node->value = *value;
        *value = Value_Real(0.0);
    }

    CCode* m_code;
    std::unordered_set<int32_t> m_locals;
    int32_t m_localCount = 0;
};

void Checker::Visit(CodeNode* node)
{
    if (m_poll.Stop()) {
        Code_Error_Set(m_code, node->position, kCompileStopped);
        return;
    }
    for (int32_t i = 0; i < node->childCount; ++i) {
        Visit(&node->children[i]);
        if (Code_Error_Recorded()) return;
    }
    switch (node->kind) {
    case NODE_VAR:
        for (int32_t i = 0; i < node->childCount; ++i) {
            if (m_localCount >= CODE_MAX_LOCALS) {
                Code_Error_Set(m_code, node->children[i].position, "Too many local variable declarations.");
                return;
            }
            ++m_localCount;
            m_locals.insert(node->children[i].id);
        }
        break;
    case NODE_SIMPLE_VAR:
        // The parser's plain names: the default scope, local once declared.
        if (node->scope == SCOPE_PLAIN && m_locals.count(node->id)) node->scope = SCOPE_LOCAL;
        break;
    case NODE_VARIABLE: {
        if (node->childCount < 1) break;
        CodeNode* scope = &node->children[0];
        if (scope->kind == NODE_CONSTANT && scope->value.kind == VALUE_REAL && scope->value.real == -6.0 &&
            m_locals.count(node->id)) {
            scope->value.real = -7.0;
        }
        if (scope->kind == NODE_CONSTANT && node->childCount < 2) {
            if (scope->value.kind == VALUE_STRING) {
                Code_Error_Set(m_code, scope->position, "Left hand side must be a real value.");
                return;
            }
            node->scope = Real_RoundToInt32(scope->value.real);
            ReleaseChildren(node);
            node->kind = NODE_SIMPLE_VAR;
        }
        break;
    }
    case NODE_UNARY:
        if (node->childCount == 1 && node->children[0].kind == NODE_CONSTANT) {
            ScriptValue v = Value_Real(0.0);
            Value_Copy(&v, &node->children[0].value);
            int32_t position = node->children[0].position;
            MakeConstant(node, &v);
            Code_FoldUnary(m_code, position, node->id, &node->value);
        }
        break;
    case NODE_BINARY:
        if (node->childCount == 2 && node->children[0].kind == NODE_CONSTANT &&
            node->children[1].kind == NODE_CONSTANT) {
            ScriptValue v = Value_Real(0.0);
            Value_Copy(&v, &node->children[0].value);
            if (Code_FoldBinary(m_code, node->children[1].position, node->id, &v, &node->children[1].value)) {
                MakeConstant(node, &v);
            }
            Value_FreeString(&v);
        }
        break;
    case NODE_CASE:
        if (node->childCount == 1 && node->children[0].kind == NODE_CONSTANT) node->kind = NODE_CASE_CONSTANT;
        break;
    default: break;
    }
}

} // namespace

bool Code_Check(CCode* code, CodeNode* root)
{
    Code_Error_ClearRecorded();
    Checker checker(code);
    checker.Visit(root);
    return !Code_Error_Recorded();
}

bool Code_FoldUnary(CCode* code, int32_t position, int32_t op, ScriptValue* value)
{
    if (value->kind != VALUE_REAL) {
        Code_Error_Set(code, position, "Wrong type of arguments to unary operator.");
        return false;
    }
    double v = value->real;
    switch (op) {
    case TOK_NOT: value->real = (v < 0.5 || std::isnan(v)) ? 1.0 : 0.0; return true;
    case TOK_PLUS: return true;
    case TOK_MINUS: value->real = -v; return true;
    case TOK_BNOT: value->real = double(~Real_RoundToInt32(v)); return true;
    default: Code_Error_Set(code, position, "Internal error: unknown unary operator."); return false;
    }
}

bool Code_FoldBinary(CCode* code, int32_t position, int32_t op, ScriptValue* left, const ScriptValue* right)
{
    auto fail = [&](const char* message) {
        Code_Error_Set(code, position, message);
        return false;
    };
    bool reals = left->kind == VALUE_REAL && right->kind == VALUE_REAL;
    bool strings = left->kind == VALUE_STRING && right->kind == VALUE_STRING;
    auto setReal = [&](double r) {
        Value_FreeString(left);
        *left = Value_Real(r);
        return true;
    };
    switch (op) {
    case TOK_ASSIGN:
    case TOK_EQ:
    case TOK_LT:
    case TOK_LE:
    case TOK_NE:
    case TOK_GE:
    case TOK_GT: {
        double d;
        if (reals) {
            d = left->real - right->real;
        } else if (strings) {
            d = CompareTexts(left, right);
        } else {
            return fail("Cannot compare arguments.");
        }
        bool r = false;
        switch (op) {
        case TOK_ASSIGN:
        case TOK_EQ: r = d == 0; break;
        case TOK_LT: r = d < 0; break;
        case TOK_LE: r = d <= 0; break;
        case TOK_NE: r = d != 0; break;
        case TOK_GE: r = d >= 0; break;
        default: r = d > 0; break;
        }
        return setReal(r ? 1.0 : 0.0);
    }
    case TOK_LAND:
        if (!reals) return fail("Wrong type of arguments for &&.");
        return setReal(Truth(left->real) && Truth(right->real) ? 1.0 : 0.0);
    case TOK_LOR:
        if (!reals) return fail("Wrong type of arguments for ||.");
        return setReal(Truth(left->real) || Truth(right->real) ? 1.0 : 0.0);
    case TOK_LXOR:
        if (!reals) return fail("Wrong type of arguments for ^^.");
        return setReal(Truth(left->real) != Truth(right->real) ? 1.0 : 0.0);
    case TOK_PLUS:
        if (reals) return setReal(left->real + right->real);
        if (strings) {
            const char* a = left->text ? left->text : "";
            const char* b = right->text ? right->text : "";
            size_t na = std::strlen(a), nb = std::strlen(b);
            if (na + nb >= 0xFFFFFF00u) return fail("String too long.");
            char* s = static_cast<char*>(MEM_ALLOC(na + nb + 1));
            std::memcpy(s, a, na);
            std::memcpy(s + na, b, nb + 1);
            Value_SetStringOwned(left, s);
            return true;
        }
        return fail("Wrong type of arguments to +.");
    case TOK_MINUS:
        if (!reals) return fail("Wrong type of arguments to -.");
        return setReal(left->real - right->real);
    case TOK_STAR:
        if (reals) return setReal(left->real * right->real);
        if (left->kind == VALUE_REAL && right->kind == VALUE_STRING) {
            int32_t n = Real_RoundToInt32(left->real);
            const char* t = right->text ? right->text : "";
            size_t len = std::strlen(t);
            if (n <= 0 || len == 0) {
                Value_SetStringOwned(left, MEM_STRDUP(""));
                return true;
            }
            if (len * size_t(n) > kMaxRepeatedText) return fail("String too long.");
            char* s = static_cast<char*>(MEM_ALLOC(len * size_t(n) + 1));
            for (int32_t i = 0; i < n; ++i) std::memcpy(s + len * size_t(i), t, len);
            s[len * size_t(n)] = 0;
            Value_SetStringOwned(left, s);
            return true;
        }
        return fail("Wrong type of arguments to *.");
    case TOK_SLASH:
        if (!reals) return fail("Wrong type of arguments to /.");
        if (right->real == 0) return fail("Division by 0.");
        return setReal(left->real / right->real);
    case TOK_DIV: {
        if (!reals) return fail("Wrong type of arguments to div.");
        int32_t b = Real_TruncToInt32(right->real);
        if (b == 0) return fail("Division by 0.");
        int32_t a = Real_TruncToInt32(left->real);
        // Computed in 64 bits: the smallest integer divided by -1 does not trap.
        return setReal(double(int64_t(a) / int64_t(b)));
    }
    case TOK_MOD:
        if (!reals) return fail("Wrong type of arguments to mod.");
        if (right->real == 0) return fail("Modulo by 0.");
        // Whole numbers: the exact remainder, as the machine gives it (x - y * trunc(x / y) is
        // exact only within 2^53: 100000000000000000000 mod 7 is 2, not 0). A zero is +0.
        if (left->real == std::trunc(left->real) && right->real == std::trunc(right->real))
            return setReal(std::fmod(left->real, right->real) + 0.0);
        return setReal(left->real - right->real * std::trunc(left->real / right->real));
    case TOK_BOR:
    case TOK_BAND:
    case TOK_BXOR:
    case TOK_SHL:
    case TOK_SHR: {
        if (!reals) {
            switch (op) {
            case TOK_BOR: return fail("Wrong type of arguments for |.");
            case TOK_BAND: return fail("Wrong type of arguments for &.");
            case TOK_BXOR: return fail("Wrong type of arguments for ^.");
            case TOK_SHL: return fail("Wrong type of arguments for <<.");
            default: return fail("Wrong type of arguments for >>.");
            }
        }
        int32_t a = Real_RoundToInt32(left->real);
        int32_t b = Real_RoundToInt32(right->real);
        int32_t r;
        switch (op) {
        case TOK_BOR: r = a | b; break;
        case TOK_BAND: r = a & b; break;
        case TOK_BXOR: r = a ^ b; break;
        case TOK_SHL: r = int32_t(uint32_t(a) << (b & 31)); break;
        default: r = a >> (b & 31); break;
        }
        return setReal(double(r));
    }
    default: return fail("Internal error: unknown binary operator.");
    }
}
