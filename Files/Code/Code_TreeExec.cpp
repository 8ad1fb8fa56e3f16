// The tree-walking interpreter (Files/Code/Code_TreeExec.h).
#include "Files/Code/Code_TreeExec.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

namespace {

int32_t g_nesting = 0;
const CodeExecContext* g_innermost = nullptr; // the open executions, linked through caller
uint32_t g_loopRounds = 0; // rounds of every loop, for the drain of the window's messages
bool g_abort = false;      // the executions now open are to unwind (Code_TreeAbortRunning)

// After each round of a loop: true when the run is ending.
inline bool LoopStopped()
{
    if (__builtin_expect(((++g_loopRounds & 0xFFF) == 0) | VM_TakeDrainRequest(), 0)) VM_ProcessMessages();
    return g_abort;
}

// A value that frees its text when it goes out of scope.
struct Temp {
    ScriptValue v = Value_Real(0.0);
    Temp() = default;
    ~Temp() { Value_FreeString(&v); }
    Temp(const Temp&) = delete;
    Temp& operator=(const Temp&) = delete;
};

void ClearValue(ScriptValue* v)
{
    Value_FreeString(v);
    *v = Value_Real(0.0);
}

int32_t Fail(CodeExecContext* ctx, const CodeNode* at, const char* message)
{
    Code_Error_Set(ctx->code, at ? at->position : 0, message);
    return EXEC_ERROR;
}

struct Address {
    int32_t scope;
    int32_t id;
    int32_t index;
};

int32_t IndexOf(CodeExecContext* ctx, const CodeNode* node, int32_t* out)
{
    Temp t;
    int32_t s = Code_Exec_Expression(ctx, node, &t.v);
    if (s != EXEC_OK) return s;
    if (t.v.kind == VALUE_STRING) return Fail(ctx, node, "Wrong type of array index");
    int32_t i = Real_RoundToInt32(t.v.real);
    if (i < 0) return Fail(ctx, node, "Negative array index");
    if (i >= 32000) return Fail(ctx, node, "Array index >= 32000");
    *out = i;
    return EXEC_OK;
}

int32_t AddressOf(CodeExecContext* ctx, const CodeNode* node, Address* a)
{
    a->id = node->id;
    a->index = 0;
    if (node->kind == NODE_SIMPLE_VAR) {
        a->scope = node->scope;
        return EXEC_OK;
    }
    if (node->kind != NODE_VARIABLE || node->childCount < 1) return Fail(ctx, node, "Variable name expected.");
    {
        Temp t;
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], &t.v);
        if (s != EXEC_OK) return s;
        if (t.v.kind == VALUE_STRING) return Fail(ctx, &node->children[0], "Wrong type of variable index");
        a->scope = Real_RoundToInt32(t.v.real);
    }
    if (node->childCount > 1) {
        int32_t s = IndexOf(ctx, &node->children[1], &a->index);
        if (s != EXEC_OK) return s;
    }
    if (node->childCount > 2) {
        int32_t second = 0;
        int32_t s = IndexOf(ctx, &node->children[2], &second);
        if (s != EXEC_OK) return s;
        a->index = a->index * 32000 + second;
    }
    return EXEC_OK;
}

// out arrives cleared.
bool Read(CodeExecContext* ctx, const Address& a, ScriptValue* out)
{
    switch (a.scope) {
    case SCOPE_LOCAL: return ctx->locals && ctx->locals->Get(a.id, a.index, out);
    case SCOPE_PLAIN:
        if (Variable_Global_IsDeclared(a.id)) return Variable_Global_Get(a.id, a.index, out);
        return Variable_Local_Get(ctx->self, a.id, a.index, out);
    case SCOPE_GLOBAL: return Variable_Global_Get(a.id, a.index, out);
    case SCOPE_NOONE: return false;
    case SCOPE_OTHER: return Variable_Local_Get(ctx->other, a.id, a.index, out);
    case SCOPE_SELF: return Variable_Local_Get(ctx->self, a.id, a.index, out);
    default: return Variable_Scope_Get(a.scope, a.id, a.index, out);
    }
}

// A failed read: real 0 when unset variables read as 0, else the error.
int32_t ReadFailed(CodeExecContext* ctx, const CodeNode* node, const Address& a, ScriptValue* out)
{
    ClearValue(out);
    if (Variable_GetUnsetReadsZero()) return EXEC_OK;
    // The name may be of any length: the message is cut where it is made, so every script
    // level that passes the error on copies no more than the report can show.
    constexpr std::string_view head = "Unknown variable ", tail = " or array index out of bounds";
    std::string message(head);
    message += Code_Error_Cut(Code_Variable_GetName(a.id),
                              kErrorMessageLimit - head.size() - (a.index != 0 ? tail.size() : 0));
    if (a.index != 0) message += tail;
    return Fail(ctx, node, message.c_str());
}

bool Write(CodeExecContext* ctx, const Address& a, const ScriptValue* value)
{
    switch (a.scope) {
    case SCOPE_LOCAL:
        if (!ctx->locals) ctx->locals = new CVariableList();
        return ctx->locals->Set(a.id, a.index, value);
    case SCOPE_PLAIN:
        if (Variable_Global_IsDeclared(a.id)) return Variable_Global_Set(a.id, a.index, value);
        return Variable_Local_Set(ctx->self, a.id, a.index, value);
    case SCOPE_GLOBAL: return Variable_Global_Set(a.id, a.index, value);
    case SCOPE_NOONE: return false;
    case SCOPE_OTHER: return Variable_Local_Set(ctx->other, a.id, a.index, value);
    case SCOPE_SELF: return Variable_Local_Set(ctx->self, a.id, a.index, value);
    default: return Variable_Scope_Set(a.scope, a.id, a.index, value);
    }
}

// Where a user variable's value at an address lies, for the appends below: null when a read
// and a write of the address would not both reach it and only it (see Variable_Scope_Storage),
// or the variable or element does not exist.
ScriptValue* Storage(CodeExecContext* ctx, const Address& a)
{
    if (a.id < VARIABLE_USER_BASE) return nullptr;
    if (a.scope != SCOPE_LOCAL) return Variable_Scope_Storage(ctx->self, ctx->other, a.scope, a.id, a.index);
    CVariable* v = ctx->locals ? ctx->locals->Find(a.id) : nullptr;
    return v ? CVariableList::ElementAt(v, a.index) : nullptr;
}

// The end of an append to the string w (its read, sum and write in one): the n strings of
// add go onto w's text where it lies, and result, the statement's value, shares the new text.
void AppendTo(ScriptValue* w, const ScriptValue* add, ScriptValue* result)
{
    ClearValue(result); // may hold a share of w's text, left by the statement before
    g_ArrayError.error = 0;
    Value_Append(w, add->text, add->text ? std::strlen(add->text) : 0);
    Value_Share(result, w);
}

// Whether two variable nodes may name the same variable (the same name and scope; with a scope
// expression or indexes, the same name and as many of them): only then is the left operand
// shared. The append checks that the target still holds that text anyway.
bool SameName(const CodeNode* a, const CodeNode* b)
{
    if (a->kind != b->kind || a->id != b->id) return false;
    if (a->kind == NODE_SIMPLE_VAR) return a->scope == b->scope;
    return a->kind == NODE_VARIABLE && a->childCount == b->childCount;
}

// The leftmost operand of value when value is x + a + b ... with x named as target is (the
// sum's links are value and its left operands down to x); null otherwise.
const CodeNode* SumOf(const CodeNode* target, const CodeNode* value)
{
    for (const CodeNode* n = value; n->kind == NODE_BINARY && n->id == TOK_PLUS && n->childCount == 2;) {
        n = &n->children[0];
        if (SameName(target, n)) return n;
    }
    return nullptr;
}

// A sum on its way to its store (the machine's linked sums, the same rule): while its parts
// are texts it is sum's text (x's text as the read of x left it: shared, or a copy) followed
// by the parts gathered in acc (Value_SumAdd); any other part joins it and is added the
// general way.
struct Sum {
    ScriptValue* sum;
    char* acc = nullptr;
    bool gathering = false;
    void Join()
    {
        if (!gathering) return;
        sum->text = Value_SumJoin(sum->text, acc);
        acc = nullptr;
        gathering = false;
    }
    ~Sum()
    {
        if (gathering) MEM_FREE(acc); // an error on the way (sum's text is its owner's)
    }
};

// Evaluates the link n of a sum whose leftmost operand is x, from x up, in the order and with
// the errors of the general evaluation of n.
int32_t EvalSum(CodeExecContext* ctx, const CodeNode* n, const CodeNode* x, Sum* s, ScriptValue* result)
{
    if (n == x) {
        Address la;
        int32_t st = AddressOf(ctx, x, &la);
        if (st != EXEC_OK) return st;
        ClearValue(s->sum);
        if (ScriptValue* lw = Storage(ctx, la)) {
            if (Value_IsString(result) && result->text && result->text == lw->text) ClearValue(result); // its share
            Value_Share(s->sum, lw);
        } else if (!Read(ctx, la, s->sum)) {
            return ReadFailed(ctx, x, la, s->sum);
        }
        return EXEC_OK;
    }
    int32_t st = EvalSum(ctx, &n->children[0], x, s, result);
    if (st != EXEC_OK) return st;
    const CodeNode* r = &n->children[1];
    if (r->kind == NODE_CONSTANT && r->value.kind == VALUE_STRING && Value_IsString(s->sum)) {
        // a constant text: gathered as it stands
        if (s->gathering) {
            s->acc = Value_SumAdd(s->acc, r->value.text, r->value.text ? std::strlen(r->value.text) : 0);
        } else {
            s->acc = r->value.text ? MEM_STRDUP(r->value.text) : nullptr;
            s->gathering = true;
        }
        return EXEC_OK;
    }
    Temp right;
    st = Code_Exec_Expression(ctx, r, &right.v);
    if (st != EXEC_OK) return st;
    if (Value_IsString(s->sum) && Value_IsString(&right.v)) {
        if (s->gathering) {
            s->acc = Value_SumAdd(s->acc, right.v.text, right.v.text ? std::strlen(right.v.text) : 0);
        } else {
            s->acc = right.v.text; // the right text's block gathers what follows
            right.v.text = nullptr;
            s->gathering = true;
        }
        return EXEC_OK;
    }
    s->Join();
    return Code_FoldBinary(ctx->code, r->position, TOK_PLUS, s->sum, &right.v) ? EXEC_OK : EXEC_ERROR;
}

// x = x + a + b ...: the sum appended to x's text where it lies when x still holds the text
// its read shared (and the sum is not empty, which is stored as no text). Answers the status,
// and false in *done when the general way is to go on: sum then holds the sum.
int32_t AssignSum(CodeExecContext* ctx, const Address& a, const CodeNode* value, const CodeNode* x, ScriptValue* sum,
                  ScriptValue* result, bool* done)
{
    *done = false;
    Sum s{sum};
    int32_t st = EvalSum(ctx, value, x, &s, result);
    if (st != EXEC_OK || !s.gathering) return st;
    const bool empty = !*Value_Text(sum) && !(s.acc && *s.acc);
    ClearValue(result); // may hold a share of the target's text, left by the statement before
    ScriptValue* w = empty ? nullptr : Storage(ctx, a);
    if (Value_SumStore(w, sum->text, s.acc)) {
        sum->text = nullptr; // its share ended
        s.gathering = false;
        g_ArrayError.error = 0;
        Value_Share(result, w);
        *done = true;
        return EXEC_OK;
    }
    s.Join();
    return EXEC_OK;
}

int32_t ExecCall(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    if (node->childCount > CODE_MAX_ARGUMENTS)
        return Fail(ctx, node, "Wrong number of arguments to function or script.");
    ScriptValue args[CODE_MAX_ARGUMENTS];
    for (ScriptValue& a : args) a = Value_Real(0.0);
    int32_t argc = node->childCount;
    int32_t status = EXEC_OK;
    for (int32_t i = 0; i < argc && status == EXEC_OK; ++i) status = Code_Exec_Expression(ctx, &node->children[i], &args[i]);
    if (status == EXEC_OK) {
        int32_t id = node->id;
        if (id >= FUNCTION_EXTENSION_BASE) {
            const ExtensionHooks* ext = Function_GetExtensionHooks();
            ClearValue(result);
            if (!ext || !ext->call || !ext->call(id - FUNCTION_EXTENSION_BASE, ctx->self, ctx->other, argc, args, result)) {
                if (!Code_Error_Recorded()) Fail(ctx, node, "Cannot call the extension function.");
                status = EXEC_ERROR;
            }
        } else if (id >= FUNCTION_SCRIPT_BASE) {
            if (!Code_Scripts().execute(id - FUNCTION_SCRIPT_BASE, ctx->self, ctx->other, argc, result, args))
                status = EXEC_ERROR;
        } else {
            ClearValue(result);
            BuiltinFunction* row = Function_Row(id);
            if (!row) {
                status = Fail(ctx, node, "Unknown function or script.");
            } else {
                ++row->calls;
                if (row->f) row->f(result, ctx->self, ctx->other, argc, args);
            }
        }
    }
    for (ScriptValue& a : args) Value_FreeString(&a);
    if (QuitRequest_Pending()) VM_ProcessMessages(); // a quit stopped the call's work: seen before the next statement
    if (g_abort) return EXEC_ABORT; // the call ran a loop (or code) that the end of the run stopped
    return status;
}

int32_t ExecAssign(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    if (node->childCount != 2) return Fail(ctx, node, "Assignment operator expected.");
    const CodeNode* target = &node->children[0];
    Address a;
    int32_t s = AddressOf(ctx, target, &a);
    if (s != EXEC_OK) return s;
    Temp value;
    const CodeNode* x = node->id == TOK_ASSIGN ? SumOf(target, &node->children[1]) : nullptr;
    if (x) {
        // x = x + a + b ..., appended in place when it can be
        bool done = false;
        s = AssignSum(ctx, a, &node->children[1], x, &value.v, result, &done);
        if (s != EXEC_OK || done) return s;
    } else {
        s = Code_Exec_Expression(ctx, &node->children[1], &value.v);
        if (s != EXEC_OK) return s;
    }
    if (node->id == TOK_ADD_ASSIGN && value.v.kind == VALUE_STRING) {
        // x += "text" on a string x: in place
        ScriptValue* w = Storage(ctx, a);
        if (w && w->kind == VALUE_STRING) {
            AppendTo(w, &value.v, result);
            return EXEC_OK;
        }
    }
    if (node->id == TOK_ASSIGN) {
        Value_Copy(result, &value.v);
        if (result->kind == VALUE_STRING && result->text && !*result->text) Value_FreeString(result);
    } else {
        ClearValue(result);
        if (!Read(ctx, a, result)) {
            if (Variable_GetUnsetReadsZero()) {
                ClearValue(result);
                return EXEC_OK;
            }
            return ReadFailed(ctx, target, a, result);
        }
        int32_t op;
        switch (node->id) {
        case TOK_ADD_ASSIGN: op = TOK_PLUS; break;
        case TOK_SUB_ASSIGN: op = TOK_MINUS; break;
        case TOK_MUL_ASSIGN: op = TOK_STAR; break;
        case TOK_DIV_ASSIGN: op = TOK_SLASH; break;
        case TOK_OR_ASSIGN: op = TOK_BOR; break;
        case TOK_AND_ASSIGN: op = TOK_BAND; break;
        case TOK_XOR_ASSIGN: op = TOK_BXOR; break;
        default: return Fail(ctx, node, "Assignment operator expected.");
        }
        if (!Code_FoldBinary(ctx->code, node->position, op, result, &value.v)) return EXEC_ERROR;
    }
    if (!Write(ctx, a, result)) return Fail(ctx, node, "Cannot assign to the variable");
    return EXEC_OK;
}

// Loop bodies: break ends the loop (0), continue and 0 go on, anything else ends it.
enum LoopStep { STEP_ON, STEP_END, STEP_RETURN };
LoopStep AfterBody(int32_t* status)
{
    if (*status == EXEC_BREAK) {
        *status = EXEC_OK;
        return STEP_END;
    }
    if (*status == EXEC_OK || *status == EXEC_CONTINUE) {
        *status = EXEC_OK;
        return STEP_ON;
    }
    return STEP_RETURN;
}

// A condition of while, do and for: single precision, at least 0.5.
int32_t LoopCondition(CodeExecContext* ctx, const CodeNode* node, const char* stringMessage, bool* truth)
{
    Temp t;
    int32_t s = Code_Exec_Expression(ctx, node, &t.v);
    if (s != EXEC_OK) return s;
    if (t.v.kind == VALUE_STRING) return Fail(ctx, node, stringMessage);
    *truth = float(t.v.real) >= 0.5f;
    return EXEC_OK;
}

int32_t ExecWith(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    if (node->childCount < 2) return EXEC_OK;
    int32_t n;
    {
        Temp t;
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], &t.v);
        if (s != EXEC_OK) return s;
        if (t.v.kind == VALUE_STRING) return Fail(ctx, &node->children[0], "Object id expected");
        n = Real_RoundToInt32(t.v.real);
    }
    const CodeNode* body = &node->children[1];
    CInstance* oldSelf = ctx->self;
    CInstance* oldOther = ctx->other;
    auto runOnce = [&](CInstance* self, CInstance* other) {
        ctx->self = self;
        ctx->other = other;
        int32_t s = Code_Exec_Statement(ctx, body, result);
        ctx->self = oldSelf;
        ctx->other = oldOther;
        return s;
    };
    int32_t status = EXEC_OK;
    switch (n) {
    case SCOPE_LOCAL: return Fail(ctx, node, "Cannot use local in with statement.");
    case SCOPE_GLOBAL: return Fail(ctx, node, "Cannot use global in with statement.");
    case SCOPE_NOONE: return EXEC_OK;
    case SCOPE_SELF:
    case SCOPE_PLAIN: status = runOnce(oldSelf, oldSelf); break;
    case SCOPE_OTHER: status = runOnce(oldOther, oldSelf); break;
    default: {
        // The candidates in list order, taken before any body runs (by id, so that a body
        // that changes the lists cannot leave the walk on a released node).
        const CodeWorldAccess& world = Code_World();
        std::vector<int32_t> ids;
        if (n >= SCOPE_INSTANCE_BASE) {
            ids.push_back(n);
        } else if (n == SCOPE_ALL || n >= 0) {
            std::vector<CInstance*> found;
            world.instancesOf(n, false, &found);
            for (CInstance* i : found) ids.push_back(world.id(i));
        }
        for (int32_t id : ids) {
            CInstance* inst = world.find(id);
            if (!inst || !world.isLive(inst)) continue;
            status = runOnce(inst, oldSelf);
            LoopStep step = AfterBody(&status);
            if (step != STEP_ON) break;
            if (LoopStopped()) return EXEC_ABORT;
        }
        return status;
    }
    }
    if (status == EXEC_BREAK || status == EXEC_CONTINUE) status = EXEC_OK;
    return status;
}

bool LabelMatches(const ScriptValue* label, const ScriptValue* value)
{
    if (label->kind != value->kind) return false;
    if (value->kind == VALUE_REAL) return label->real == value->real;
    // An absent text and the empty text are the same string.
    return std::strcmp(Value_Text(label), Value_Text(value)) == 0;
}

int32_t ExecSwitch(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    if (node->childCount < 1) return EXEC_OK;
    Temp value;
    int32_t s = Code_Exec_Expression(ctx, &node->children[0], &value.v);
    if (s != EXEC_OK) return s;
    int32_t start = -1;
    for (int32_t i = 1; i < node->childCount && start < 0; ++i) {
        const CodeNode* c = &node->children[i];
        if (c->kind == NODE_CASE && c->childCount > 0) {
            Temp label;
            s = Code_Exec_Expression(ctx, &c->children[0], &label.v);
            if (s != EXEC_OK) return s;
            if (LabelMatches(&label.v, &value.v)) start = i + 1;
        } else if (c->kind == NODE_CASE_CONSTANT && c->childCount > 0) {
            if (LabelMatches(&c->children[0].value, &value.v)) start = i + 1;
        } else if (c->kind == NODE_DEFAULT) {
            start = i + 1;
        }
    }
    if (start < 0) return EXEC_OK;
    for (int32_t i = start; i < node->childCount; ++i) {
        const CodeNode* c = &node->children[i];
        if (c->kind == NODE_CASE || c->kind == NODE_CASE_CONSTANT || c->kind == NODE_DEFAULT) continue;
        s = Code_Exec_Statement(ctx, c, result);
        if (s == EXEC_BREAK) return EXEC_OK;
        if (s != EXEC_OK) return s;
    }
    return EXEC_OK;
}

} // namespace

int32_t Code_Exec_Expression(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    switch (node->kind) {
    case NODE_CONSTANT:
        Value_FreeString(result);
        result->kind = node->value.kind;
        result->real = node->value.real;
        result->text = nullptr;
        if (node->value.kind == VALUE_STRING && node->value.text && *node->value.text)
            Value_SetString(result, node->value.text);
        return EXEC_OK;
    case NODE_VARIABLE:
    case NODE_SIMPLE_VAR: {
        Address a;
        int32_t s = AddressOf(ctx, node, &a);
        if (s != EXEC_OK) return s;
        ClearValue(result);
        if (!Read(ctx, a, result)) return ReadFailed(ctx, node, a, result);
        return EXEC_OK;
    }
    case NODE_UNARY: {
        if (node->childCount < 1) return Fail(ctx, node, "(Sub-)expression expected.");
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], result);
        if (s != EXEC_OK) return s;
        return Code_FoldUnary(ctx->code, node->children[0].position, node->id, result) ? EXEC_OK : EXEC_ERROR;
    }
    case NODE_BINARY: {
        if (node->childCount < 2) return Fail(ctx, node, "(Sub-)expression expected.");
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], result);
        if (s != EXEC_OK) return s;
        Temp right;
        s = Code_Exec_Expression(ctx, &node->children[1], &right.v);
        if (s != EXEC_OK) return s;
        return Code_FoldBinary(ctx->code, node->children[1].position, node->id, result, &right.v) ? EXEC_OK
                                                                                                   : EXEC_ERROR;
    }
    case NODE_CALL: return ExecCall(ctx, node, result);
    default: return Fail(ctx, node, "(Sub-)expression expected.");
    }
}

int32_t Code_Exec_Statement(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result)
{
    ctx->position = node->position;
    switch (node->kind) {
    case NODE_BLOCK:
        for (int32_t i = 0; i < node->childCount; ++i) {
            Value_FreeString(result);
            int32_t s = Code_Exec_Statement(ctx, &node->children[i], result);
            if (s != EXEC_OK) return s;
        }
        return EXEC_OK;
    case NODE_IF: {
        if (node->childCount < 2) return EXEC_OK;
        Temp c;
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], &c.v);
        if (s != EXEC_OK) return s;
        if (c.v.kind == VALUE_STRING) return Fail(ctx, &node->children[0], "Expression expected");
        if (c.v.real > 0.5) return Code_Exec_Statement(ctx, &node->children[1], result);
        if (node->childCount > 2) return Code_Exec_Statement(ctx, &node->children[2], result);
        return EXEC_OK;
    }
    case NODE_WHILE: {
        if (node->childCount < 2) return EXEC_OK;
        for (;;) {
            bool truth = false;
            int32_t s = LoopCondition(ctx, &node->children[0], "bool expression expected", &truth);
            if (s != EXEC_OK) return s;
            if (!truth) return EXEC_OK;
            Value_FreeString(result);
            s = Code_Exec_Statement(ctx, &node->children[1], result);
            LoopStep step = AfterBody(&s);
            if (step != STEP_ON) return s;
            if (LoopStopped()) return EXEC_ABORT;
        }
    }
    case NODE_DO: {
        if (node->childCount < 2) return EXEC_OK;
        for (;;) {
            int32_t s = Code_Exec_Statement(ctx, &node->children[0], result);
            LoopStep step = AfterBody(&s);
            if (step != STEP_ON) return s;
            if (LoopStopped()) return EXEC_ABORT;
            bool truth = false;
            s = LoopCondition(ctx, &node->children[1], "bool expression expected", &truth);
            if (s != EXEC_OK) return s;
            if (truth) return EXEC_OK;
        }
    }
    case NODE_FOR: {
        if (node->childCount < 4) return EXEC_OK;
        Temp scratch;
        int32_t s = Code_Exec_Statement(ctx, &node->children[0], &scratch.v);
        if (s != EXEC_OK) return s;
        for (;;) {
            bool truth = false;
            s = LoopCondition(ctx, &node->children[1], "Expression expected", &truth);
            if (s != EXEC_OK) return s;
            if (!truth) return EXEC_OK;
            s = Code_Exec_Statement(ctx, &node->children[3], result);
            LoopStep step = AfterBody(&s);
            if (step != STEP_ON) return s;
            if (LoopStopped()) return EXEC_ABORT;
            Value_FreeString(&scratch.v);
            s = Code_Exec_Statement(ctx, &node->children[2], &scratch.v);
            if (s != EXEC_OK) return s;
        }
    }
    case NODE_REPEAT: {
        if (node->childCount < 2) return EXEC_OK;
        int32_t n;
        {
            Temp c;
            int32_t s = Code_Exec_Expression(ctx, &node->children[0], &c.v);
            if (s != EXEC_OK) return s;
            if (c.v.kind == VALUE_STRING) return Fail(ctx, &node->children[0], "Repeat count must be a number");
            n = Real_RoundToInt32(c.v.real);
        }
        for (int32_t i = 0; i < n; ++i) {
            int32_t s = Code_Exec_Statement(ctx, &node->children[1], result);
            LoopStep step = AfterBody(&s);
            if (step != STEP_ON) return s;
            if (LoopStopped()) return EXEC_ABORT;
        }
        return EXEC_OK;
    }
    case NODE_EXIT: return EXEC_EXIT;
    case NODE_RETURN: {
        if (node->childCount < 1) return EXEC_EXIT;
        int32_t s = Code_Exec_Expression(ctx, &node->children[0], result);
        return s == EXEC_OK ? EXEC_EXIT : s;
    }
    case NODE_BREAK: return EXEC_BREAK;
    case NODE_CONTINUE: return EXEC_CONTINUE;
    case NODE_EMPTY:
    case NODE_VAR: return EXEC_OK;
    case NODE_WITH: return ExecWith(ctx, node, result);
    case NODE_SWITCH: return ExecSwitch(ctx, node, result);
    case NODE_GLOBALVAR:
        for (int32_t i = 0; i < node->childCount; ++i) Variable_Global_Declare(node->children[i].id);
        return EXEC_OK;
    case NODE_CASE:
    case NODE_CASE_CONSTANT: return Fail(ctx, node, "Case statement only allowed inside switch statement.");
    case NODE_DEFAULT: return Fail(ctx, node, "Default statement only allowed inside switch statement.");
    case NODE_CALL: return ExecCall(ctx, node, result);
    case NODE_ASSIGN: return ExecAssign(ctx, node, result);
    default: return Fail(ctx, node, "Statement expected.");
    }
}

int32_t Code_Exec_Program(CodeExecContext* ctx, const CodeNode* root, ScriptValue* result)
{
    if (root->kind == NODE_EMPTY_PROGRAM) return EXEC_OK;
    if (root->kind != NODE_BLOCK) return Fail(ctx, root, "This is not a program.");
    return Code_Exec_Statement(ctx, root, result);
}

int32_t Code_TreeExecute(CCode* code, CInstance* self, CInstance* other, ScriptValue* result)
{
    // Units from the game's code table carry byte code and no tree: the machine runs them.
    if (code->m_pCode && (!code->m_ownedByCaller || code->m_tree.kind == 0)) {
        VM_Execute(code->GetName(), self, other, code->m_pCode, result, code->m_pDebugInfo, code->GetText());
        return EXEC_OK;
    }
    if (g_nesting >= CODE_MAX_EXEC_NESTING) {
        Code_Error_Set(code, 0, "Script calls nested too deeply.");
        return EXEC_ERROR;
    }
    ++g_nesting;
    CodeExecContext ctx{self, other, nullptr, code};
    ctx.position = code->m_tree.position;
    ctx.caller = g_innermost;
    ctx.machineEntries = VM_EntryDepth();
    g_innermost = &ctx;
    Value_FreeString(result);
    int32_t status = code->m_kind == CODE_PROGRAM ? Code_Exec_Program(&ctx, &code->m_tree, result)
                                                  : Code_Exec_Expression(&ctx, &code->m_tree, result);
    g_innermost = ctx.caller;
    delete ctx.locals;
    if (--g_nesting == 0) g_abort = false;
    return status == EXEC_ABORT ? EXEC_OK : status; // the callers see g_abort
}

const CodeExecContext* Code_TreeFrame(int32_t level)
{
    const CodeExecContext* frame = g_innermost;
    for (; frame && level > 0; --level) frame = frame->caller;
    return frame;
}

void Code_TreeAbortRunning()
{
    if (g_nesting > 0) g_abort = true;
}
