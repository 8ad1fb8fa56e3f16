// Phase 3 of the ZBL compiler: the recursive-descent parser (Code_ParseProgram and
// Code_ParseExpression, Files/Code/Code_Compile.h) from resolved tokens to a tree of
// CodeNodes. Every parse step takes the index of its first token and returns the index after
// what it consumed; the first error (Code_Error_Set) unwinds the whole parse. Partly built
// nodes always hang in the tree, so that releasing the root releases everything.
//
// Recursion is bounded (CODE_MAX_NESTING) so that hostile text cannot exhaust the stack.
#include <cstring>

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Platform/MemoryManager.h"

void Code_Node_Init(CodeNode* node, int32_t position)
{
    std::memset(node, 0, sizeof *node);
    node->kind = NODE_EMPTY;
    node->value = Value_Real(0.0);
    node->position = position;
}

namespace {

// Children under construction: gathered here, then handed to the node as one array. The
// first few live inside the object; a node with more children gets a block that grows by half
// in place and is handed over cut to its size.
class Children {
public:
    Children() = default;
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;
    ~Children() { Discard(); }
    CodeNode* Add(int32_t position)
    {
        if (m_count == m_capacity) Grow();
        CodeNode* n = Data() + m_count++;
        Code_Node_Init(n, position);
        return n;
    }
    int32_t Count() const { return m_count; }
    // Moves the gathered nodes into node's children array (appended to any it has).
    void MoveTo(CodeNode* node)
    {
        if (m_count == 0) return;
        if (node->childCount == 0 && m_heap) {
            MEM_FREE(node->children);
            node->children = static_cast<CodeNode*>(MEM_RESIZE(m_heap, sizeof(CodeNode) * size_t(m_count)));
        } else {
            int32_t n = node->childCount + m_count;
            node->children = static_cast<CodeNode*>(MEM_REALLOC(node->children, sizeof(CodeNode) * size_t(n)));
            std::memcpy(node->children + node->childCount, Data(), sizeof(CodeNode) * size_t(m_count));
            MEM_FREE(m_heap);
        }
        node->childCount += m_count;
        m_heap = nullptr;
        m_count = 0;
        m_capacity = kInline;
    }

private:
    static constexpr int32_t kInline = 4;
    CodeNode* Data() { return m_heap ? m_heap : m_inline; }
    void Grow()
    {
        int32_t capacity = m_capacity + m_capacity / 2;
        if (m_heap) {
            m_heap = static_cast<CodeNode*>(MEM_RESIZE(m_heap, sizeof(CodeNode) * size_t(capacity)));
        } else {
            m_heap = static_cast<CodeNode*>(MEM_ALLOC(sizeof(CodeNode) * size_t(capacity)));
            std::memcpy(m_heap, m_inline, sizeof(CodeNode) * size_t(m_count));
        }
        m_capacity = capacity;
    }
    void Discard()
    {
        CodeNode* nodes = Data();
        for (int32_t i = 0; i < m_count; ++i) Code_Tree_Free(&nodes[i], false);
        MEM_FREE(m_heap);
        m_heap = nullptr;
        m_count = 0;
    }
    CodeNode m_inline[kInline];
    CodeNode* m_heap = nullptr;
    int32_t m_count = 0;
    int32_t m_capacity = kInline;
};

class Parser {
public:
    Parser(CCode* code, ResolvedTokenList* tokens) : m_code(code), m_t(tokens) {}

    bool Program(CodeNode* root);
    bool Expression(CodeNode* root, int32_t* end);

private:
    const ResolvedToken& T(int32_t i) const
    {
        // The list always ends with the end token; never read past it.
        if (i >= m_t->count) i = m_t->count - 1;
        return m_t->tokens[i];
    }
    int32_t Kind(int32_t i) const { return m_t->count > 0 ? T(i).kind : TOK_END; }
    int32_t Pos(int32_t i) const { return m_t->count > 0 ? T(i).position : 0; }
    bool Failed() const { return Code_Error_Recorded(); }
    void Error(int32_t i, const char* message) { Code_Error_Set(m_code, Pos(i), message); }
    bool Enter(int32_t i)
    {
        if (++m_depth > CODE_MAX_NESTING) {
            Error(i, "Code nested too deeply.");
            return false;
        }
        return true;
    }

    int32_t Statement(int32_t i, CodeNode* node);
    int32_t StatementBody(int32_t i, CodeNode* node);
    int32_t Block(int32_t i, CodeNode* node);
    int32_t Call(int32_t i, CodeNode* node);
    // A variable; with plain set, a name without index is made a simple variable of the
    // default scope at once (the checks would make it one), with no scope node.
    int32_t Variable(int32_t i, CodeNode* node, bool plain);
    int32_t Assignment(int32_t i, CodeNode* node);
    int32_t Declaration(int32_t i, CodeNode* node);
    int32_t Expr(int32_t i, CodeNode* node) { return Binary(i, node, 1); }
    int32_t Binary(int32_t i, CodeNode* node, int32_t level);
    int32_t Postfix(int32_t i, CodeNode* node);
    int32_t Primary(int32_t i, CodeNode* node);

    CCode* m_code;
    ResolvedTokenList* m_t;
    int32_t m_depth = 0;
    QuitPoll m_poll; // statements parsed
};

// Expression levels, lowest first; level 7 is postfix.
bool AtLevel(int32_t kind, int32_t level)
{
    switch (level) {
    case 1: return kind == TOK_LAND || kind == TOK_LOR || kind == TOK_LXOR;
    case 2:
        return kind == TOK_LT || kind == TOK_LE || kind == TOK_EQ || kind == TOK_NE || kind == TOK_ASSIGN ||
               kind == TOK_GT || kind == TOK_GE;
    case 3: return kind == TOK_BOR || kind == TOK_BAND || kind == TOK_BXOR;
    case 4: return kind == TOK_SHL || kind == TOK_SHR;
    case 5: return kind == TOK_PLUS || kind == TOK_MINUS;
    case 6: return kind == TOK_STAR || kind == TOK_SLASH || kind == TOK_DIV || kind == TOK_MOD;
    default: return false;
    }
}

bool Parser::Program(CodeNode* root)
{
    Code_Node_Init(root, Pos(0));
    if (Kind(0) == TOK_END) {
        root->kind = NODE_EMPTY_PROGRAM;
        return true;
    }
    if (Kind(0) == TOK_BEGIN) {
        int32_t i = Block(0, root);
        if (Failed()) return false;
        if (Kind(i) != TOK_END) Error(i, "Program ends before end of the code.");
        return !Failed();
    }
    root->kind = NODE_BLOCK;
    int32_t i = 0;
    Children kids;
    while (Kind(i) != TOK_END) {
        i = Statement(i, kids.Add(Pos(i)));
        if (Failed()) break;
    }
    kids.MoveTo(root);
    return !Failed();
}

bool Parser::Expression(CodeNode* root, int32_t* end)
{
    Code_Node_Init(root, Pos(0));
    if (end) *end = 0;
    if (Kind(0) == TOK_END) {
        root->kind = NODE_CONSTANT;
        return true;
    }
    const int32_t after = Expr(0, root);
    if (end) *end = after;
    return !Failed();
}

int32_t Parser::Statement(int32_t i, CodeNode* node)
{
    if (m_poll.Stop()) {
        Error(i, kCompileStopped);
        return i;
    }
    if (!Enter(i)) return i;
    i = StatementBody(i, node);
    --m_depth;
    if (Failed()) return i;
    while (Kind(i) == TOK_SEMICOLON) ++i;
    return i;
}

int32_t Parser::StatementBody(int32_t i, CodeNode* node)
{
    Code_Node_Init(node, Pos(i));
    int32_t k = Kind(i);
    Children kids;
    switch (k) {
    case TOK_END: Error(i, "Unexpected end of code reached."); return i;
    case TOK_FUNCTION: return Call(i, node);
    case TOK_BEGIN: return Block(i, node);
    case TOK_IF: {
        node->kind = NODE_IF;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) {
            if (Kind(i) == TOK_THEN) ++i;
            i = Statement(i, kids.Add(Pos(i)));
        }
        if (!Failed() && Kind(i) == TOK_ELSE) i = Statement(i + 1, kids.Add(Pos(i + 1)));
        kids.MoveTo(node);
        return i;
    }
    case TOK_WHILE:
    case TOK_WITH: {
        node->kind = k == TOK_WHILE ? NODE_WHILE : NODE_WITH;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) {
            if (Kind(i) == TOK_DO) ++i;
            i = Statement(i, kids.Add(Pos(i)));
        }
        kids.MoveTo(node);
        return i;
    }
    case TOK_DO: {
        node->kind = NODE_DO;
        i = Statement(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) {
            if (Kind(i) != TOK_UNTIL) {
                Error(i, "Keyword until expected.");
            } else {
                i = Expr(i + 1, kids.Add(Pos(i + 1)));
            }
        }
        kids.MoveTo(node);
        return i;
    }
    case TOK_FOR: {
        node->kind = NODE_FOR;
        node->position = Pos(i + 1);
        ++i;
        if (Kind(i) != TOK_LPAREN) {
            Error(i, "Symbol ( expected.");
            return i;
        }
        i = Statement(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) {
            if (Kind(i) == TOK_SEMICOLON) ++i;
            i = Expr(i, kids.Add(Pos(i)));
        }
        if (!Failed()) {
            if (Kind(i) == TOK_SEMICOLON) ++i;
            i = Statement(i, kids.Add(Pos(i)));
        }
        if (!Failed()) {
            if (Kind(i) != TOK_RPAREN) {
                Error(i, "Symbol ) expected.");
            } else {
                i = Statement(i + 1, kids.Add(Pos(i + 1)));
            }
        }
        kids.MoveTo(node);
        return i;
    }
    case TOK_REPEAT: {
        node->kind = NODE_REPEAT;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) i = Statement(i, kids.Add(Pos(i)));
        kids.MoveTo(node);
        return i;
    }
    case TOK_EXIT: node->kind = NODE_EXIT; return i + 1;
    case TOK_BREAK: node->kind = NODE_BREAK; return i + 1;
    case TOK_CONTINUE: node->kind = NODE_CONTINUE; return i + 1;
    case TOK_RETURN: {
        node->kind = NODE_RETURN;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        kids.MoveTo(node);
        return i;
    }
    case TOK_SWITCH: {
        node->kind = NODE_SWITCH;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        if (!Failed()) {
            if (Kind(i) != TOK_BEGIN) {
                Error(i, "Symbol {  expected.");
            } else {
                ++i;
                while (Kind(i) != TOK_CLOSE && Kind(i) != TOK_END) {
                    i = Statement(i, kids.Add(Pos(i)));
                    if (Failed()) break;
                }
                if (!Failed()) {
                    if (Kind(i) != TOK_CLOSE) {
                        Error(i, "Symbol  } expected.");
                    } else {
                        ++i;
                    }
                }
            }
        }
        kids.MoveTo(node);
        return i;
    }
    case TOK_CASE: {
        node->kind = NODE_CASE;
        node->position = Pos(i + 1);
        i = Expr(i + 1, kids.Add(Pos(i + 1)));
        kids.MoveTo(node);
        if (Failed()) return i;
        if (Kind(i) != TOK_COLON) {
            Error(i, "Symbol : expected.");
            return i;
        }
        return i + 1;
    }
    case TOK_DEFAULT: {
        node->kind = NODE_DEFAULT;
        node->position = Pos(i + 1);
        if (Kind(i + 1) != TOK_COLON) {
            Error(i + 1, "Symbol : expected.");
            return i + 1;
        }
        return i + 2;
    }
    case TOK_VAR:
    case TOK_GLOBALVAR: return Declaration(i, node);
    case TOK_SEMICOLON: node->kind = NODE_EMPTY; return i + 1;
    default: return Assignment(i, node);
    }
}

int32_t Parser::Block(int32_t i, CodeNode* node)
{
    Code_Node_Init(node, Pos(i));
    node->kind = NODE_BLOCK;
    ++i;
    Children kids;
    while (Kind(i) != TOK_CLOSE && Kind(i) != TOK_END) {
        i = Statement(i, kids.Add(Pos(i)));
        if (Failed()) break;
    }
    kids.MoveTo(node);
    if (Failed()) return i;
    if (Kind(i) != TOK_CLOSE) {
        Error(i, "Symbol  } expected.");
        return i;
    }
    return i + 1;
}

int32_t Parser::Declaration(int32_t i, CodeNode* node)
{
    node->kind = Kind(i) == TOK_VAR ? NODE_VAR : NODE_GLOBALVAR;
    node->position = Pos(i + 1);
    ++i;
    Children kids;
    while (Kind(i) == TOK_VARIABLE) {
        if (T(i).id < 100000) {
            Error(i, "Cannot redeclare a builtin variable.");
            break;
        }
        CodeNode* n = kids.Add(Pos(i));
        n->kind = NODE_CONSTANT;
        n->id = T(i).id;
        ++i;
        if (Kind(i) == TOK_COMMA) ++i;
    }
    kids.MoveTo(node);
    return i;
}

int32_t Parser::Assignment(int32_t i, CodeNode* node)
{
    node->kind = NODE_ASSIGN;
    Children kids;
    CodeNode* target = kids.Add(Pos(i));
    i = Postfix(i, target);
    if (!Failed() && target->kind != NODE_VARIABLE && target->kind != NODE_SIMPLE_VAR) Error(i, "Variable name expected.");
    if (!Failed()) {
        int32_t k = Kind(i);
        if (k == TOK_ASSIGN || (k >= TOK_ADD_ASSIGN && k <= TOK_DIV_ASSIGN) ||
            (k >= TOK_OR_ASSIGN && k <= TOK_XOR_ASSIGN)) {
            node->id = k;
            i = Expr(i + 1, kids.Add(Pos(i + 1)));
        } else {
            Error(i, "Assignment operator expected.");
        }
    }
    kids.MoveTo(node);
    return i;
}

int32_t Parser::Call(int32_t i, CodeNode* node)
{
    Code_Node_Init(node, Pos(i));
    node->kind = NODE_CALL;
    if (Kind(i) != TOK_FUNCTION) {
        Error(i, "Function name expected.");
        return i;
    }
    node->id = T(i).id;
    ++i;
    if (Kind(i) != TOK_LPAREN) {
        Error(i, "Symbol ( expected.");
        return i;
    }
    ++i;
    Children kids;
    for (;;) {
        if (Kind(i) == TOK_RPAREN) break;
        if (Kind(i) == TOK_END) {
            Error(i, "Symbol ) expected.");
            break;
        }
        i = Expr(i, kids.Add(Pos(i)));
        if (Failed()) break;
        if (Kind(i) == TOK_COMMA) {
            ++i;
            continue;
        }
        if (Kind(i) == TOK_RPAREN) break;
        Error(i, Kind(i) == TOK_END ? "Symbol ) expected." : "Symbol , or ) expected.");
        break;
    }
    int32_t count = kids.Count();
    kids.MoveTo(node);
    if (Failed()) return i;
    int32_t expected = Function_GetArgCount(node->id);
    if (count > CODE_MAX_ARGUMENTS || (expected >= 0 && count != expected)) {
        Error(i, "Wrong number of arguments to function or script.");
        return i;
    }
    return i + 1;
}

int32_t Parser::Variable(int32_t i, CodeNode* node, bool plain)
{
    Code_Node_Init(node, Pos(i));
    node->kind = NODE_VARIABLE;
    if (Kind(i) != TOK_VARIABLE) {
        Error(i, "Variable name expected.");
        return i;
    }
    node->id = T(i).id;
    if (plain && Kind(i + 1) != TOK_LBRACKET) {
        node->kind = NODE_SIMPLE_VAR;
        node->scope = SCOPE_PLAIN;
        return i + 1;
    }
    Children kids;
    CodeNode* scope = kids.Add(Pos(i));
    scope->kind = NODE_CONSTANT;
    scope->value = Value_Real(-6.0);
    ++i;
    if (Kind(i) == TOK_LBRACKET) {
        ++i;
        for (;;) {
            if (Kind(i) == TOK_RBRACKET) break;
            if (Kind(i) == TOK_END) {
                Error(i, "Symbol ] expected.");
                break;
            }
            if (kids.Count() == 3) {
                Error(i, "Only 1- and 2-dimensional arrays are supported.");
                break;
            }
            i = Expr(i, kids.Add(Pos(i)));
            if (Failed()) break;
            if (Kind(i) == TOK_COMMA) {
                ++i;
                continue;
            }
            if (Kind(i) == TOK_RBRACKET) break;
            Error(i, Kind(i) == TOK_END ? "Symbol ] expected." : "Symbol , or ] expected.");
            break;
        }
        if (!Failed()) ++i;
    }
    kids.MoveTo(node);
    return i;
}

int32_t Parser::Binary(int32_t i, CodeNode* node, int32_t level)
{
    if (level == 1 && !Enter(i)) return i;
    if (level >= 7) {
        i = Postfix(i, node);
    } else {
        i = Binary(i, node, level + 1);
        while (!Failed() && AtLevel(Kind(i), level)) {
            // The node built so far becomes the left child of a new binary node.
            CodeNode left = *node;
            Code_Node_Init(node, left.position);
            node->kind = NODE_BINARY;
            node->id = Kind(i);
            node->children = static_cast<CodeNode*>(MEM_ALLOC(sizeof(CodeNode) * 2));
            node->childCount = 2;
            node->children[0] = left;
            Code_Node_Init(&node->children[1], Pos(i + 1));
            i = Binary(i + 1, &node->children[1], level + 1);
        }
    }
    if (level == 1) --m_depth;
    return i;
}

int32_t Parser::Postfix(int32_t i, CodeNode* node)
{
    i = Primary(i, node);
    while (!Failed() && Kind(i) == TOK_DOT) {
        CodeNode scope = *node;
        i = Variable(i + 1, node, false);
        if (node->childCount > 0) {
            Code_Tree_Free(&node->children[0], false);
            node->children[0] = scope;
        } else {
            // No variable followed the dot (an error is recorded): keep the scope in the tree.
            node->children = static_cast<CodeNode*>(MEM_ALLOC(sizeof(CodeNode)));
            node->children[0] = scope;
            node->childCount = 1;
        }
    }
    return i;
}

int32_t Parser::Primary(int32_t i, CodeNode* node)
{
    Code_Node_Init(node, Pos(i));
    switch (Kind(i)) {
    case TOK_CONSTANT: {
        // Each token is parsed once: its value moves into the tree.
        node->kind = NODE_CONSTANT;
        ScriptValue& value = m_t->constants[T(i).id];
        node->value = value;
        value = Value_Real(0.0);
        return i + 1;
    }
    case TOK_FUNCTION: return Call(i, node);
    case TOK_VARIABLE: return Variable(i, node, true);
    case TOK_LPAREN:
        i = Expr(i + 1, node);
        if (Failed()) return i;
        if (Kind(i) != TOK_RPAREN) {
            Error(i, "Symbol ) expected.");
            return i;
        }
        return i + 1;
    case TOK_NOT:
    case TOK_PLUS:
    case TOK_MINUS:
    case TOK_BNOT: {
        if (!Enter(i)) return i;
        node->kind = NODE_UNARY;
        node->id = Kind(i);
        node->children = static_cast<CodeNode*>(MEM_ALLOC(sizeof(CodeNode)));
        node->childCount = 1;
        Code_Node_Init(&node->children[0], Pos(i + 1));
        i = Postfix(i + 1, &node->children[0]);
        --m_depth;
        return i;
    }
    default: Error(i, "Unexpected symbol in expression."); return i;
    }
}

} // namespace

bool Code_ParseProgram(CCode* code, ResolvedTokenList* tokens, CodeNode* root)
{
    Code_Error_ClearRecorded();
    Parser p(code, tokens);
    return p.Program(root);
}

bool Code_ParseExpression(CCode* code, ResolvedTokenList* tokens, CodeNode* root, int32_t* end)
{
    Code_Error_ClearRecorded();
    Parser p(code, tokens);
    return p.Expression(root, end);
}
