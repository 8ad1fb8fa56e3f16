// The dispatch loop of the virtual machine, its entries and frames, calls and returns.
//
// Index
//   [SECTION] State          the shared operand stack, frames, entries, locals pool, flags
//   [SECTION] Helpers        stack growth, slot copies, unwinding
//   [SECTION] Loop           VM loop with one handler per prepared op (VM_INTERNAL_OPS)
//   [SECTION] Entry points   VM_Execute, VM_Error, frame queries
//
// Hot state lives in locals of the loop (pc, sp, self, other, locals, prog). Anything that can
// run other code (built-ins, the debugger, the message pump, errors) is bracketed by SAVE(),
// which writes pc, self, other and the stack top back to the frame, and RELOAD(), which takes
// the stack pointer again (the block may have moved).
#include "Files/Base/RealConvert.h"
#include "Files/Code/VM_Internal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Support/CommandLine.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

// [SECTION] State ==============================================================================
namespace {

// Limits of one entry: the operand bytes it uses plus a charge per script frame (a frame's
// record of the byte code's own layout), so deep recursion ends with "Stack overflow..." as it
// always did, at twice the byte code's sizes on 64-bit.
constexpr uint32_t kStackLimit = 2 * 131072;
constexpr uint32_t kFrameCharge = 2 * 304;
constexpr uint32_t kStackStep = 32 * 1024;
constexpr int32_t kMaxEntries = 200; // nested entries (built-ins running code)

uint8_t* g_stack = nullptr;
uint32_t g_stackCap = 0;
uint32_t g_stackTop = 0; // top offset while control is outside the innermost loop
bool g_moveStackAlways = false;

// The frames of all open entries, innermost last. A plain array: pushing and popping a frame
// is on every script call.
class FrameStack {
public:
    size_t size() const { return size_t(m_count); }
    VMFrame& back() { return m_items[m_count - 1]; }
    VMFrame& operator[](size_t i) { return m_items[i]; }
    void push_back(const VMFrame& f)
    {
        if (m_count == m_cap) Grow();
        m_items[m_count++] = f;
    }
    void pop_back() { --m_count; }
    void resize(size_t n) { m_count = int32_t(n) < m_count ? int32_t(n) : m_count; }
    void clear()
    {
        MEM_FREE(m_items);
        m_items = nullptr;
        m_count = m_cap = 0;
    }

private:
    void Grow()
    {
        m_cap = m_cap ? m_cap * 2 : 64;
        m_items = static_cast<VMFrame*>(MEM_REALLOC(m_items, sizeof(VMFrame) * size_t(m_cap)));
    }
    VMFrame* m_items = nullptr;
    int32_t m_count = 0;
    int32_t m_cap = 0;
};
FrameStack g_frames;

struct Entry {
    int32_t frameBase;
    uint32_t stackBase;
    int32_t withBase;
    int32_t localsDepth;
    int32_t argWindow;
    int32_t argCount;
    bool abort; // an error was raised while a built-in ran (quiet), or the run is ending
};
std::vector<Entry> g_entries;

CVariableList** g_localsPool = nullptr;
int32_t g_localsCap = 0;
int32_t g_localsDepth = 0;

uint32_t g_branchCount = 0;
bool g_quiet = false;
bool g_failed = false;
std::string g_quietError;
void (*g_processMessages)() = nullptr;
bool g_disassemble = false;

// [SECTION] Helpers ============================================================================

void GrowStack(uint32_t needed)
{
    uint32_t cap = g_stackCap ? g_stackCap : kStackStep;
    while (cap < needed) cap += kStackStep;
    if (g_moveStackAlways) {
        // Diagnostics: a fresh block at every check, so a stale pointer into the old one shows.
        auto* fresh = static_cast<uint8_t*>(MEM_ALLOC(cap));
        if (g_stack) std::memcpy(fresh, g_stack, g_stackCap < cap ? g_stackCap : cap);
        MEM_FREE(g_stack);
        g_stack = fresh;
    } else {
        g_stack = static_cast<uint8_t*>(MEM_REALLOC(g_stack, cap));
    }
    g_stackCap = cap;
}

inline void EnsureStack(uint32_t needed)
{
    if (__builtin_expect(needed > g_stackCap || g_moveStackAlways, 0)) GrowStack(needed);
}

inline void PushValue(uint8_t* sp, const ScriptValue& v)
{
    if (v.kind == VALUE_STRING) {
        VSet(sp, VALUE_STRING, v.text ? MEM_STRDUP(v.text) : nullptr, v.real);
    } else {
        VSet(sp, v.kind, nullptr, v.real);
    }
}

inline void FreeValueAt(const uint8_t* p)
{
    if (VKind(p) == VALUE_STRING) MEM_FREE(VText(p));
}

// Frees what the slots of layout own, the slots lying from base up.
void FreeOwned(const VMLayout* l, uint8_t* base)
{
    for (; l && l->depth > 0 && l->owns; l = l->below) {
        uint8_t* p = base + l->bytes - VM_NativeSize(l->type);
        if (l->type == VMT_STRING) {
            MEM_FREE(VM_Get<char*>(p));
        } else if (l->type == VMT_VAR) {
            FreeValueAt(p);
        }
    }
}

inline void FreeLayout(const VMLayout* l, uint8_t* base)
{
    if (l && l->owns) FreeOwned(l, base);
}

// A value of the given type at p as a ScriptValue (a string's text moves into it).
inline ScriptValue TakeValue(int32_t type, const uint8_t* p)
{
    switch (type) {
    case VMT_REAL: return Value_Real(VM_Get<double>(p));
    case VMT_FLOAT: return Value_Real(double(VM_Get<float>(p)));
    case VMT_INT: return Value_Real(double(VM_Get<int32_t>(p)));
    case VMT_LONG: return Value_Real(double(VM_Get<int64_t>(p)));
    case VMT_BOOL: return Value_Real(p[0] ? 1.0 : 0.0);
    case VMT_STRING: return ScriptValue{VALUE_STRING, VM_Get<char*>(p), 0.0};
    case VMT_VAR: return VM_Get<ScriptValue>(p);
    default: return Value_Real(0.0);
    }
}

inline VMFrame& Top() { return g_frames.back(); }

// The list that holds variable id for scope without a detour (locals, globals, self's own),
// or null when the general access must decide.
inline CVariableList* DirectList(int32_t scope, int32_t id, CVariableList* selfVars, CVariableList* locals)
{
    switch (scope) {
    case SCOPE_LOCAL: return locals;
    case SCOPE_GLOBAL: return Variable_Global_List();
    case SCOPE_PLAIN:
        if (id >= VARIABLE_USER_BASE && Variable_Global_IsDeclared(id)) return Variable_Global_List();
        [[fallthrough]];
    case SCOPE_SELF: return id >= VARIABLE_BUILTIN_LIMIT ? selfVars : nullptr;
    default: return nullptr;
    }
}

void RaiseError(const char* text)
{
    if (g_quiet) {
        g_failed = true;
        g_quietError = text ? text : "";
        return;
    }
    // A fatal error ends the game: every running entry unwinds, no later game code runs, and the
    // program entry shuts down in order and exits with -1.
    Code_Error_Report(text, true);
    Main_RequestExit(-1);
    for (Entry& x : g_entries) x.abort = true;
}

const char* kStackOverflow = "Stack overflow...";

} // namespace

void VM_SetMoveStackAlways(bool on) { g_moveStackAlways = on; }

CVariableList* VM_PushLocals()
{
    if (g_localsDepth >= g_localsCap) {
        int32_t cap = g_localsDepth + 1;
        g_localsPool = static_cast<CVariableList**>(MEM_REALLOC(g_localsPool, sizeof(CVariableList*) * size_t(cap)));
        g_localsCap = cap;
    }
    CVariableList*& slot = g_localsPool[g_localsDepth];
    if (!slot) {
        slot = new CVariableList();
    } else if (slot->Count() > 0) {
        slot->Clear();
    }
    ++g_localsDepth;
    return slot;
}

void VM_PopLocals()
{
    if (g_localsDepth > 0) --g_localsDepth;
}

int32_t VM_LocalsDepth() { return g_localsDepth; }

// [SECTION] Loop ===============================================================================
namespace {

// Runs the innermost entry until it ends. With entry < 0 only hands back the handler table.
const void* const* Run(int32_t entry, ScriptValue* result)
{
#define VM_LABEL(n) &&L_##n,
    static const void* const kLabels[VMI_COUNT] = {VM_INTERNAL_OPS(VM_LABEL)};
#undef VM_LABEL
    if (entry < 0) return kLabels;

    Entry* e = &g_entries[size_t(entry)];
    VMProgram* prog = Top().prog;
    const VMOp* pc = prog->ops.data();
    uint8_t* sp = g_stack + Top().base;
    CInstance* self = Top().self;
    CVariableList* selfVars = Code_InstanceVariables(self); // follows self
    CInstance* other = Top().other;
    CVariableList* locals = Top().locals;
    const char* error = nullptr;
    ScriptValue args[16];
    ScriptValue rv;
    int32_t n;

#define SAVE()                                   \
    do {                                         \
        VMFrame& f_ = Top();                     \
        f_.pc = pc;                              \
        f_.self = self;                          \
        f_.other = other;                        \
        g_stackTop = uint32_t(sp - g_stack);     \
    } while (0)
#define RELOAD()                         \
    do {                                 \
        sp = g_stack + g_stackTop;       \
        e = &g_entries[size_t(entry)];   \
    } while (0)
#define DISPATCH()                                     \
    do {                                               \
        if (__builtin_expect(g_VMHookActive != 0, 0)) goto debug_hook; \
        goto *pc->h;                                   \
    } while (0)
#define NEXT()     \
    do {           \
        ++pc;      \
        DISPATCH(); \
    } while (0)
#define FAIL(text)     \
    do {               \
        error = (text); \
        goto raise;    \
    } while (0)
// The drain may stop the run (VM_AbortRunning): the entry then unwinds at the next
// instruction boundary, through the debug hook's check.
#define BRANCH_TICK()                                                  \
    do {                                                               \
        if ((++g_branchCount & 0xFFF) == 0 && g_processMessages) {     \
            SAVE();                                                    \
            g_processMessages();                                       \
            RELOAD();                                                  \
            if (e->abort) g_VMHookActive = 1;                          \
        }                                                              \
    } while (0)

    DISPATCH();

debug_hook:
    SAVE();
    if (__builtin_expect(g_entries[size_t(entry)].abort, 0)) goto unwind; // stopped by the drain
    VM_DebugHook(prog, pc);
    RELOAD();
    goto *pc->h;

L_NOP:
    NEXT();

L_BREAKPOINT:
    SAVE();
    VM_Debug_BreakHit(prog, pc);
    RELOAD();
    goto *kLabels[pc->code];

L_ERROR:
    FAIL(pc->k.s);

// ---- Constants ----
L_PUSH_D:
    VM_Put(sp, pc->k.d);
    sp += 8;
    NEXT();
L_PUSH_F:
    VM_Put(sp, pc->k.f);
    sp += 4;
    NEXT();
L_PUSH_I:
    VM_Put(sp, pc->k.i);
    sp += 4;
    NEXT();
L_PUSH_L:
    VM_Put(sp, pc->k.l);
    sp += 8;
    NEXT();
L_PUSH_S: {
    char* t = pc->k.s ? MEM_STRDUP(pc->k.s) : nullptr;
    VM_Put(sp, t);
    sp += SSIZE;
    NEXT();
}

// ---- Variable reads ----
#define PUSH_NODE(node)                                         \
    do {                                                        \
        CVariable* v_ = (node);                                 \
        if (__builtin_expect(!v_, 0)) goto read_slow;           \
        PushValue(sp, v_->value);                               \
        sp += VSIZE;                                            \
        NEXT();                                                 \
    } while (0)
L_PUSHV_LOCAL:
    PUSH_NODE(locals->Find(pc->a));
L_PUSHV_SELF:
    if (!selfVars) goto read_slow;
    PUSH_NODE(selfVars->Find(pc->a));
L_PUSHV_GLOBAL:
    PUSH_NODE(Variable_Global_List()->Find(pc->a));
L_PUSHV_PLAIN:
    if (Variable_Global_IsDeclared(pc->a)) PUSH_NODE(Variable_Global_List()->Find(pc->a));
    if (!selfVars) goto read_slow;
    PUSH_NODE(selfVars->Find(pc->a));
L_PUSHV_ARG:
    if (__builtin_expect(!g_CodeArgs, 0)) Code_Arguments();
    PushValue(sp, g_CodeArgs[pc->b]);
    sp += VSIZE;
    NEXT();
L_PUSHV_BUILTIN:
L_PUSHV_ANY: {
    int32_t flags = pc->k.i;
    int32_t index = 0, scope = pc->b;
    uint8_t* p = sp;
    if (flags & VMV_INDEX) {
        p -= 4;
        index = VM_Get<int32_t>(p);
    }
    if (flags & VMV_SCOPE) {
        p -= 4;
        scope = VM_Get<int32_t>(p);
        if (flags & VMV_INSTANCE) scope += SCOPE_INSTANCE_BASE;
    }
    if (CVariableList* list = DirectList(scope, pc->a, selfVars, locals)) {
        const CVariable* v = list->Find(pc->a);
        const ScriptValue* element = v ? CVariableList::Element(v, index) : nullptr;
        if (element) {
            PushValue(p, *element);
            sp = p + VSIZE;
            NEXT();
        }
    }
    rv = Value_Real(0.0);
    SAVE();
    bool ok = VM_ReadVariable(self, other, locals, scope, pc->a, index, &rv);
    RELOAD();
    if (!ok) FAIL(g_VMMessage);
    VM_Put(p, rv);
    sp = p + VSIZE;
    NEXT();
}
read_slow: {
    // A fast read found no variable: the general read decides (the unset-variable option, or
    // the error message).
    rv = Value_Real(0.0);
    int32_t scope = pc->code == VMI_PUSHV_LOCAL ? SCOPE_LOCAL
                    : pc->code == VMI_PUSHV_GLOBAL ? SCOPE_GLOBAL
                    : pc->code == VMI_PUSHV_SELF   ? SCOPE_SELF
                                                   : SCOPE_PLAIN;
    SAVE();
    bool ok = VM_ReadVariable(self, other, locals, scope, pc->a, 0, &rv);
    RELOAD();
    if (!ok) FAIL(g_VMMessage);
    VM_Put(sp, rv);
    sp += VSIZE;
    NEXT();
}

// ---- Variable writes ----
#define STORE_NODE(node)                                             \
    do {                                                             \
        CVariable* v_ = (node);                                      \
        int32_t size_ = VM_NativeSize(pc->t2);                       \
        ScriptValue val_ = TakeValue(pc->t2, sp - size_);            \
        if (v_->value.kind == VALUE_STRING && v_->value.text) MEM_FREE(v_->value.text); \
        v_->value.kind = val_.kind;                                  \
        v_->value.text = val_.kind == VALUE_STRING ? val_.text : nullptr; \
        v_->value.real = val_.real;                                  \
        sp -= size_;                                                 \
        NEXT();                                                      \
    } while (0)
L_POP_LOCAL:
    STORE_NODE(locals->FindOrCreate(pc->a));
L_POP_GLOBAL:
    STORE_NODE(Variable_Global_List()->FindOrCreate(pc->a));
L_POP_SELF:
    if (!selfVars) goto L_POP_ANY;
    STORE_NODE(selfVars->FindOrCreate(pc->a));
L_POP_PLAIN:
    if (Variable_Global_IsDeclared(pc->a)) STORE_NODE(Variable_Global_List()->FindOrCreate(pc->a));
    if (!selfVars) goto L_POP_ANY;
    STORE_NODE(selfVars->FindOrCreate(pc->a));
L_POP_ANY: {
    int32_t flags = pc->k.i;
    int32_t size = VM_NativeSize(pc->t2);
    int32_t index = 0, scope = pc->b;
    uint8_t* p = sp;
    uint8_t* value;
    if (flags & VMV_VALUE_TOP) {
        p -= size;
        value = p;
    }
    if (flags & VMV_INDEX) {
        p -= 4;
        index = VM_Get<int32_t>(p);
    }
    if (flags & VMV_SCOPE) {
        p -= 4;
        scope = VM_Get<int32_t>(p);
        if (flags & VMV_INSTANCE) scope += SCOPE_INSTANCE_BASE;
    }
    if (!(flags & VMV_VALUE_TOP)) {
        p -= size;
        value = p;
    }
    ScriptValue val = TakeValue(pc->t2, value);
    if (val.kind != VALUE_STRING) val.text = nullptr;
    if (CVariableList* list = DirectList(scope, pc->a, selfVars, locals)) {
        ScriptValue* slot = CVariableList::Slot(list->FindOrCreate(pc->a), index);
        if (slot) {
            if (slot->kind == VALUE_STRING && slot->text) MEM_FREE(slot->text);
            *slot = val; // the text moves into the variable
            sp = p;
            NEXT();
        }
    }
    SAVE();
    bool ok = VM_WriteVariable(self, other, locals, scope, pc->a, index, &val);
    RELOAD();
    if (!ok) FAIL(g_VMMessage);
    Value_FreeString(&val); // the store kept its own copy
    sp = p;
    NEXT();
}

// ---- Stack ----
L_POPZ:
    sp -= pc->a;
    NEXT();
L_POPZ_S:
    sp -= SSIZE;
    MEM_FREE(VM_Get<char*>(sp));
    NEXT();
L_POPZ_V:
    sp -= VSIZE;
    FreeValueAt(sp);
    NEXT();
L_DUP:
    std::memcpy(sp, sp - pc->a, size_t(pc->a));
    sp += pc->a;
    NEXT();
L_DUP_S: {
    char* s = VM_Get<char*>(sp - SSIZE);
    for (int32_t k = 0; k < pc->a; ++k) {
        VM_Put(sp, s ? MEM_STRDUP(s) : static_cast<char*>(nullptr));
        sp += SSIZE;
    }
    NEXT();
}
L_DUP_V: {
    ScriptValue v = VM_Get<ScriptValue>(sp - VSIZE);
    for (int32_t k = 0; k < pc->a; ++k) {
        PushValue(sp, v);
        sp += VSIZE;
    }
    NEXT();
}
L_SHUFFLE: {
    int32_t s = pc->a, nb = pc->b, d = pc->k.i;
    if (s > 0) {
        // The top value sinks beneath the nb bytes below it.
        uint8_t tmp[sizeof(ScriptValue)];
        std::memcpy(tmp, sp - s, size_t(s));
        std::memmove(sp - nb, sp - s - nb, size_t(nb));
        std::memcpy(sp - s - nb, tmp, size_t(s));
    }
    if (d > 0) {
        sp -= d;
    } else if (d < 0) {
        std::memset(sp, 0, size_t(-d));
        sp += -d;
    }
    NEXT();
}

// ---- Branches ----
L_B:
    BRANCH_TICK();
    pc = pc->k.target;
    DISPATCH();
L_BT:
    BRANCH_TICK();
    sp -= 4;
    if (sp[0]) {
        pc = pc->k.target;
        DISPATCH();
    }
    NEXT();
L_BF:
    BRANCH_TICK();
    sp -= 4;
    if (!sp[0]) {
        pc = pc->k.target;
        DISPATCH();
    }
    NEXT();

// ---- Calls ----
L_CALL_BUILTIN:
L_CALL_EXT: {
    n = pc->a;
    for (int32_t i = 0; i < n; ++i) std::memcpy(&args[i], sp - (i + 1) * VSIZE, VSIZE);
    sp -= n * VSIZE;
    ScriptValue res = Value_Real(0.0);
    if (g_StartupOptions.trace) Console_Output("func call = %s\n", Function_GetName(pc->code == VMI_CALL_EXT ? pc->b + FUNCTION_EXTENSION_BASE : pc->b));
    SAVE();
    if (pc->code == VMI_CALL_BUILTIN) {
        pc->k.fn(&res, self, other, n, args);
    } else {
        // Any extension function, library or ZBL code, as the tree interpreter calls it (the
        // answer is not looked at: a failed code function's error has been reported).
        Function_GetExtensionHooks()->call(pc->b, self, other, n, args, &res);
    }
    RELOAD();
    for (int32_t i = 0; i < n; ++i) Value_FreeString(&args[i]);
    if (res.kind != VALUE_STRING) res.text = nullptr;
    VM_Put(sp, res);
    sp += VSIZE;
    if (__builtin_expect(e->abort, 0)) {
        ++pc;
        goto unwind;
    }
    NEXT();
}
L_CALL_SCRIPT: {
    n = pc->a;
    bool exists = false;
    CCode* unit = Code_Scripts().code(pc->b, &exists);
    if (!exists) FAIL("call to non-existent script\n");
    VMBuffer* code = unit ? unit->m_pCode : nullptr;
    if (!code) {
        for (int32_t i = 1; i <= n; ++i) FreeValueAt(sp - i * VSIZE);
        sp -= n * VSIZE;
        VM_Put(sp, Value_Real(0.0));
        sp += VSIZE;
        NEXT();
    }
    if (code->m_prepareState != 1) {
        std::string why;
        if (!VM_Prepare(code, &why)) {
            std::snprintf(g_VMMessage, sizeof g_VMMessage, "Invalid byte code in %s: %s", unit->GetName(), why.c_str());
            FAIL(g_VMMessage);
        }
    }
    VMProgram* callee = code->m_pProgram;
    uint32_t argsOff = uint32_t(sp - g_stack) - uint32_t(n * VSIZE);
    uint32_t frames = uint32_t(g_frames.size()) - uint32_t(e->frameBase) + 1;
    if (argsOff - e->stackBase + frames * kFrameCharge + uint32_t(callee->maxBytes) > kStackLimit)
        FAIL(kStackOverflow);
    if (g_StartupOptions.trace) Console_Output("script call = %s\n", Code_Scripts().name(pc->b));
    SAVE();
    ScriptValue* window = Code_Arguments_PushWindow(n);
    for (int32_t i = 0; i < n; ++i) std::memcpy(&window[i], sp - (i + 1) * VSIZE, VSIZE);
    EnsureStack(argsOff + uint32_t(callee->maxBytes));
    VMFrame f;
    f.prog = callee;
    f.pc = nullptr;
    f.base = argsOff;
    f.self = self;
    f.other = other;
    f.locals = VM_PushLocals();
    f.argCount = n;
    f.withBase = VM_WithDepth();
    f.name = unit->GetName();
    f.debugInfo = unit->m_pDebugInfo;
    f.source = unit->m_pSourceCopy ? unit->m_pSourceCopy : unit->GetText();
    g_frames.push_back(f);
    Code_SetArgumentCount(n);
    sp = g_stack + argsOff;
    prog = callee;
    locals = f.locals;
    pc = prog->ops.data();
    DISPATCH();
}

// ---- Returns ----
L_RET: {
    int32_t size = VM_NativeSize(pc->a);
    sp -= size;
    rv = TakeValue(pc->a, sp);
    if (rv.kind != VALUE_STRING) rv.text = nullptr;
    FreeLayout(pc->k.layout, g_stack + Top().base);
    goto leave_frame;
}
L_EXIT:
    FreeLayout(pc->k.layout, g_stack + Top().base);
    if (int32_t(g_frames.size()) - 1 == e->frameBase) goto finished; // the result stays
    rv = Value_Real(0.0);
    goto leave_frame;
L_END: {
    const VMLayout* l = pc->k.layout;
    if (int32_t(g_frames.size()) - 1 == e->frameBase) {
        if (l->depth > 0 && l->type == VMT_VAR) {
            // An expression unit leaves its value on top.
            rv = VM_Get<ScriptValue>(g_stack + Top().base + l->bytes - VSIZE);
            FreeLayout(l->below, g_stack + Top().base);
            if (result) {
                Value_FreeString(result);
                *result = rv;
            } else {
                Value_FreeString(&rv);
            }
        } else {
            FreeLayout(l, g_stack + Top().base);
        }
        goto finished;
    }
    FreeLayout(l, g_stack + Top().base);
    rv = Value_Real(0.0);
    goto leave_frame;
}
leave_frame: {
    if (int32_t(g_frames.size()) - 1 == e->frameBase) {
        // A ret at the outermost level: its value is the entry's result.
        if (result) {
            Value_FreeString(result);
            *result = rv;
        } else {
            Value_FreeString(&rv);
        }
        goto finished;
    }
    VMFrame done = Top();
    g_frames.pop_back();
    if (VM_WithDepth() != done.withBase) VM_WithUnwind(done.withBase);
    VM_PopLocals();
    Code_Arguments_PopWindow();
    VMFrame& caller = Top();
    Code_SetArgumentCount(caller.argCount);
    prog = caller.prog;
    pc = caller.pc;
    self = caller.self;
    selfVars = Code_InstanceVariables(self);
    other = caller.other;
    locals = caller.locals;
    sp = g_stack + done.base;
    VM_Put(sp, rv);
    sp += VSIZE;
    NEXT();
}

// ---- With-loops ----
L_PUSHENV: {
    sp -= 4;
    int32_t scope = VM_Get<int32_t>(sp);
    bool bad = false;
    const bool entered = VM_WithStart(scope, &self, &other, &bad);
    selfVars = Code_InstanceVariables(self);
    if (entered) NEXT();
    if (bad) {
        sp += 4;
        FAIL(g_VMMessage);
    }
    pc = pc->k.target;
    DISPATCH();
}
L_POPENV: {
    const bool again = VM_WithNext(&self, &other);
    selfVars = Code_InstanceVariables(self);
    if (again) {
        pc = pc->k.target;
        DISPATCH();
    }
    NEXT();
}
L_POPENV_LEAVE:
    VM_WithLeave(&self, &other);
    selfVars = Code_InstanceVariables(self);
    NEXT();

L_ARRAY_CHECK: {
    int32_t i = VM_Get<int32_t>(sp - 4);
    if (i < 0) FAIL("Array index must be +'ve");
    if (i >= ARRAY_ROW_LENGTH) {
        std::snprintf(g_VMMessage, sizeof g_VMMessage, "Array index must be < %d", ARRAY_ROW_LENGTH);
        FAIL(g_VMMessage);
    }
    NEXT();
}

// ---- Operators: general forms ----
L_BINARY: {
    uint8_t* r = VM_Binary(uint32_t(pc->a), pc->t1, pc->t2, sp, &error);
    if (!r) goto raise;
    sp = r;
    NEXT();
}
L_COMPARE: {
    uint8_t* r = VM_Compare(uint32_t(pc->a), pc->t1, pc->t2, sp, &error);
    if (!r) goto raise;
    sp = r;
    NEXT();
}
L_UNARY: {
    uint8_t* r = VM_Unary(uint32_t(pc->a), pc->t1, sp, &error);
    if (!r) goto raise;
    sp = r;
    NEXT();
}
L_CONV: {
    uint8_t* r = VM_Convert(pc->t1, pc->t2, sp, &error);
    if (!r) goto raise;
    sp = r;
    NEXT();
}

// ---- Operators: fast paths (same results as the general forms) ----
#define INT_OP(NAME, EXPR)                                  \
    L_##NAME: {                                             \
        uint32_t x = VM_Get<uint32_t>(sp - 8);              \
        uint32_t y = VM_Get<uint32_t>(sp - 4);              \
        VM_Put(sp - 8, int32_t(EXPR));                      \
        sp -= 4;                                            \
        NEXT();                                             \
    }
    INT_OP(ADD_II, x + y)
    INT_OP(SUB_II, x - y)
    INT_OP(MUL_II, x * y)
#define REAL_OP(NAME, EXPR, CHECK)                          \
    L_##NAME: {                                             \
        double x = VM_Get<double>(sp - 16);                 \
        double y = VM_Get<double>(sp - 8);                  \
        if (CHECK) goto L_BINARY;                           \
        VM_Put(sp - 16, double(EXPR));                      \
        sp -= 8;                                            \
        NEXT();                                             \
    }
    REAL_OP(ADD_DD, x + y, false)
    REAL_OP(SUB_DD, x - y, false)
    REAL_OP(MUL_DD, x * y, false)
    REAL_OP(DIV_DD, x / y, __builtin_fabs(y) < 1e-10)
// variable (left) with variable (right)
#define VV_OP(NAME, EXPR, CHECK)                                               \
    L_##NAME: {                                                                \
        ScriptValue a = VM_Get<ScriptValue>(sp - 2 * VSIZE);                   \
        ScriptValue b = VM_Get<ScriptValue>(sp - VSIZE);                       \
        if (a.kind != VALUE_REAL || b.kind != VALUE_REAL) goto L_BINARY;       \
        double x = a.real, y = b.real;                                         \
        if (CHECK) goto L_BINARY;                                              \
        a.real = EXPR;                                                         \
        a.text = nullptr;                                                      \
        VM_Put(sp - 2 * VSIZE, a);                                             \
        sp -= VSIZE;                                                           \
        NEXT();                                                                \
    }
    VV_OP(ADD_VV, x + y, false)
    VV_OP(SUB_VV, x - y, false)
    VV_OP(MUL_VV, x * y, false)
    VV_OP(DIV_VV, x / y, __builtin_fabs(y) < 1e-10)
// variable (left) with a number of type T (right, on top)
#define VN_OP(NAME, T, EXPR, CHECK)                                            \
    L_##NAME: {                                                                \
        ScriptValue a = VM_Get<ScriptValue>(sp - int32_t(sizeof(T)) - VSIZE);  \
        if (a.kind != VALUE_REAL) goto L_BINARY;                               \
        double x = a.real, y = double(VM_Get<T>(sp - int32_t(sizeof(T))));    \
        if (CHECK) goto L_BINARY;                                              \
        a.real = EXPR;                                                         \
        a.text = nullptr;                                                      \
        sp -= int32_t(sizeof(T));                                              \
        VM_Put(sp - VSIZE, a);                                                 \
        NEXT();                                                                \
    }
    VN_OP(ADD_IV, int32_t, x + y, false)
    VN_OP(SUB_IV, int32_t, x - y, false)
    VN_OP(MUL_IV, int32_t, x * y, false)
    VN_OP(DIV_IV, int32_t, x / y, y == 0)
    VN_OP(MOD_IV, int32_t, VM_ModReal(x, y), y == 0)
    VN_OP(ADD_DV, double, x + y, false)
    VN_OP(SUB_DV, double, x - y, false)
    VN_OP(MUL_DV, double, x * y, false)
    VN_OP(DIV_DV, double, x / y, __builtin_fabs(y) < 1e-10)
// a number of type T (left) with a variable (right, on top)
#define NV_OP(NAME, T, EXPR, CHECK)                                            \
    L_##NAME: {                                                                \
        ScriptValue b = VM_Get<ScriptValue>(sp - VSIZE);                       \
        if (b.kind != VALUE_REAL) goto L_BINARY;                               \
        uint8_t* left = sp - VSIZE - int32_t(sizeof(T));                       \
        double x = double(VM_Get<T>(left)), y = b.real;                        \
        if (CHECK) goto L_BINARY;                                              \
        b.real = EXPR;                                                         \
        b.text = nullptr;                                                      \
        VM_Put(left, b);                                                       \
        sp = left + VSIZE;                                                     \
        NEXT();                                                                \
    }
    NV_OP(ADD_VI, int32_t, x + y, false)
    NV_OP(SUB_VI, int32_t, x - y, false)
    NV_OP(MUL_VI, int32_t, x * y, false)
    NV_OP(ADD_VD, double, x + y, false)
    NV_OP(SUB_VD, double, x - y, false)
    NV_OP(MUL_VD, double, x * y, false)
    NV_OP(DIV_VD, double, x / y, __builtin_fabs(y) < 1e-10)

// The result of a comparison at left: pushed, or tested by the fused branch.
#define CMP_RESULT(left, r)                                        \
    do {                                                           \
        bool r_ = (r);                                             \
        if (pc->b != VMCMP_PUSH) {                                 \
            sp = (left);                                           \
            BRANCH_TICK();                                         \
            if (r_ == (pc->b == VMCMP_BT)) {                       \
                pc = pc->k.target;                                 \
                DISPATCH();                                        \
            }                                                      \
            pc += 2;                                               \
            DISPATCH();                                            \
        }                                                          \
        VM_Put((left), int32_t(r_));                               \
        sp = (left) + 4;                                           \
        NEXT();                                                    \
    } while (0)
L_CMP_II: {
    int32_t d = int32_t(VM_Get<uint32_t>(sp - 8) - VM_Get<uint32_t>(sp - 4));
    CMP_RESULT(sp - 8, VM_CompareReal(uint32_t(pc->a), double(d)));
}
#define CMP_OP(NAME, LT, RT, LOAD_L, LOAD_R)                                   \
    L_##NAME: {                                                                \
        uint8_t* left = sp - int32_t(sizeof(RT)) - int32_t(sizeof(LT));        \
        LT a = VM_Get<LT>(left);                                               \
        RT b = VM_Get<RT>(sp - int32_t(sizeof(RT)));                           \
        double x, y;                                                           \
        LOAD_L;                                                                \
        LOAD_R;                                                                \
        CMP_RESULT(left, VM_CompareReal(uint32_t(pc->a), x - y));              \
    }
#define AS_VAR(v, out) \
    if (v.kind != VALUE_REAL) goto L_COMPARE; \
    out = v.real
    CMP_OP(CMP_VV, ScriptValue, ScriptValue, AS_VAR(a, x), AS_VAR(b, y))
    CMP_OP(CMP_IV, ScriptValue, int32_t, AS_VAR(a, x), y = double(b))
    CMP_OP(CMP_VI, int32_t, ScriptValue, x = double(a), AS_VAR(b, y))
    CMP_OP(CMP_DV, ScriptValue, double, AS_VAR(a, x), y = b)
    CMP_OP(CMP_VD, double, ScriptValue, x = a, AS_VAR(b, y))

L_CONV_IV:
    VM_Put(sp - 4, Value_Real(double(VM_Get<int32_t>(sp - 4))));
    sp += VSIZE - 4;
    NEXT();
L_CONV_DV:
    VM_Put(sp - 8, Value_Real(VM_Get<double>(sp - 8)));
    sp += VSIZE - 8;
    NEXT();
L_CONV_BV:
    VM_Put(sp - 4, Value_Real(sp[-4] ? 1.0 : 0.0));
    sp += VSIZE - 4;
    NEXT();
L_CONV_VB: {
    ScriptValue v = VM_Get<ScriptValue>(sp - VSIZE);
    if (v.kind != VALUE_REAL) goto L_CONV;
    sp -= VSIZE;
    VM_Put(sp, int32_t(__builtin_fabs(v.real) > 0.5));
    sp += 4;
    NEXT();
}
L_CONV_IB:
    VM_Put(sp - 4, int32_t(VM_Get<int32_t>(sp - 4) != 0));
    NEXT();
L_CONV_BI:
    VM_Put(sp - 4, int32_t(sp[-4] != 0));
    NEXT();
L_CONV_VI: {
    ScriptValue v = VM_Get<ScriptValue>(sp - VSIZE);
    if (v.kind != VALUE_REAL) goto L_CONV;
    sp -= VSIZE;
    VM_Put(sp, Real_TruncToInt32(v.real));
    sp += 4;
    NEXT();
}
L_CONV_DI:
    sp -= 8;
    VM_Put(sp, Real_TruncToInt32(VM_Get<double>(sp)));
    sp += 4;
    NEXT();
L_CONV_ID:
    VM_Put(sp - 4, double(VM_Get<int32_t>(sp - 4)));
    sp += 4;
    NEXT();

// ---- Groups (see VMProgram::fused): fall back to the first op when the fast case fails ----
#define GROUP_LIST(list)                                                                  \
    CVariableList* list;                                                                  \
    switch (pc->code) {                                                                   \
    case VMI_PUSHV_LOCAL: list = locals; break;                                           \
    case VMI_PUSHV_GLOBAL: list = Variable_Global_List(); break;                          \
    case VMI_PUSHV_SELF: list = selfVars; break;                                          \
    default:                                                                              \
        list = Variable_Global_IsDeclared(pc->a) ? Variable_Global_List() : selfVars;     \
        break;                                                                            \
    }
// The value a group reads: an argument slot or a variable's scalar (null: take the long way).
#define GROUP_VALUE(value)                                                                \
    const ScriptValue* value;                                                             \
    if (pc->code == VMI_PUSHV_ARG) {                                                      \
        value = g_CodeArgs ? &g_CodeArgs[pc->b] : nullptr;                                \
    } else {                                                                              \
        GROUP_LIST(list_);                                                                \
        CVariable* v_ = list_ ? list_->Find(pc->a) : nullptr;                             \
        value = v_ ? &v_->value : nullptr;                                                \
    }                                                                                     \
    if (!value || value->kind != VALUE_REAL) goto *kLabels[pc->code];
L_FUSE_INC: {
    // x += k: push.v x, push k, add (or sub), pop.v.v x
    GROUP_LIST(list);
    CVariable* v = list ? list->Find(pc->a) : nullptr;
    if (!v || v->value.kind != VALUE_REAL) goto *kLabels[pc->code];
    double k = pc[1].code == VMI_PUSH_I ? double(pc[1].k.i) : pc[1].k.d;
    bool add = pc[2].code == VMI_ADD_IV || pc[2].code == VMI_ADD_DV;
    v->value.real = add ? v->value.real + k : v->value.real - k;
    pc += 4;
    DISPATCH();
}
L_FUSE_CMPK: {
    // push.v x, push k, compare, branch
    GROUP_VALUE(value);
    double k = pc[1].code == VMI_PUSH_I ? double(pc[1].k.i) : pc[1].k.d;
    bool r = VM_CompareReal(uint32_t(pc[2].a), value->real - k);
    pc += 2; // the comparison's own op now stands for the group
    BRANCH_TICK();
    if (r == (pc->b == VMCMP_BT)) {
        pc = pc->k.target;
        DISPATCH();
    }
    pc += 2;
    DISPATCH();
}
L_FUSE_VALK: {
    // push.v x, push k, add (sub, mul): the variable x op k
    GROUP_VALUE(value);
    double k = pc[1].code == VMI_PUSH_I ? double(pc[1].k.i) : pc[1].k.d;
    double x = value->real;
    uint16_t op = pc[2].code;
    double r = (op == VMI_ADD_IV || op == VMI_ADD_DV) ? x + k : (op == VMI_SUB_IV || op == VMI_SUB_DV) ? x - k : x * k;
    VSetReal(sp, r);
    sp += VSIZE;
    pc += 3;
    DISPATCH();
}
L_FUSE_PUSHINT: {
    // push.v x, conv.v.i
    GROUP_LIST(list);
    CVariable* v = list ? list->Find(pc->a) : nullptr;
    if (!v || v->value.kind != VALUE_REAL) goto *kLabels[pc->code];
    VM_Put(sp, Real_TruncToInt32(v->value.real));
    sp += 4;
    pc += 2;
    DISPATCH();
}

// ---- Errors and the end of the entry ----
raise:
    SAVE();
    RaiseError(error);
    // Quiet mode: the entry stops here.
unwind: {
    // Each frame's stack is released by the layout where it stands: the running frame's
    // before its instruction, a calling frame's before its call less the arguments that
    // went to the callee.
    e = &g_entries[size_t(entry)];
    Top().pc = pc;
    for (int32_t k = int32_t(g_frames.size()) - 1; k >= e->frameBase; --k) {
        VMFrame& f = g_frames[size_t(k)];
        const VMLayout* l = f.prog->layouts[size_t(f.prog->IndexOf(f.pc))];
        if (k != int32_t(g_frames.size()) - 1) {
            for (int32_t a = 0; a < f.pc->a && l; ++a) l = l->below; // the call's arguments
        }
        if (l) FreeLayout(l, g_stack + f.base);
    }
    while (Code_Arguments_Window() > e->argWindow) Code_Arguments_PopWindow();
    g_frames.resize(size_t(e->frameBase) + 1);
    goto finished;
}
finished:
    return kLabels;

#undef SAVE
#undef RELOAD
#undef DISPATCH
#undef NEXT
#undef FAIL
#undef BRANCH_TICK
}

} // namespace

const void* const* VM_HandlerTable() { return Run(-1, nullptr); }

// [SECTION] Entry points =======================================================================

void VM_Execute(const char* name, CInstance* self, CInstance* other, VMBuffer* code, ScriptValue* result,
                VMBuffer* debugInfo, const char* source)
{
    if (g_StartupOptions.trace) Console_Output("script = %s\n", name ? name : "");
    if (!code) return;
    std::string why;
    bool prepared = VM_Prepare(code, &why);
    if (prepared && g_disassemble) VM_DisassembleAll(Console_Get(), code);

    Entry e;
    e.frameBase = int32_t(g_frames.size());
    e.stackBase = g_entries.empty() ? 0 : g_stackTop;
    e.withBase = VM_WithDepth();
    e.localsDepth = g_localsDepth;
    e.argWindow = Code_Arguments_Window();
    e.argCount = Code_GetArgumentCount();
    e.abort = false;

    VMFrame f{};
    f.prog = prepared ? code->m_pProgram : nullptr;
    f.base = e.stackBase;
    f.self = self;
    f.other = other;
    f.argCount = e.argCount;
    f.withBase = e.withBase;
    f.name = name ? name : "";
    f.debugInfo = debugInfo;
    f.source = source ? source : "";

    if (!prepared || int32_t(g_entries.size()) >= kMaxEntries) {
        // Refused before any instruction runs: reported as a run-time error of this code.
        g_entries.push_back(e);
        f.locals = nullptr;
        g_frames.push_back(f);
        char text[1024];
        if (!prepared) {
            std::snprintf(text, sizeof text, "Invalid byte code in %s: %s", f.name, why.c_str());
        } else {
            std::snprintf(text, sizeof text, "%s", kStackOverflow);
        }
        RaiseError(text);
        g_frames.pop_back();
        g_entries.pop_back();
        return;
    }

    EnsureStack(e.stackBase + uint32_t(f.prog->maxBytes));
    f.locals = VM_PushLocals();
    g_entries.push_back(e);
    g_frames.push_back(f);
    int32_t index = int32_t(g_entries.size()) - 1;
    Run(index, result);

    // Back to the state before the entry, whatever way it ended.
    Entry& done = g_entries.back();
    VM_WithUnwind(done.withBase);
    while (Code_Arguments_Window() > done.argWindow) Code_Arguments_PopWindow();
    g_localsDepth = done.localsDepth;
    Code_SetArgumentCount(done.argCount);
    g_frames.resize(size_t(done.frameBase));
    g_stackTop = done.stackBase;
    g_entries.pop_back();
}

void VM_Error(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    RaiseError(text);
    if (!g_entries.empty()) g_entries.back().abort = true;
}

void VM_SetQuiet(bool on) { g_quiet = on; }
bool VM_GetQuiet() { return g_quiet; }
bool VM_ExecutionFailed() { return g_failed; }
void VM_ClearExecutionFailed()
{
    g_failed = false;
    g_quietError.clear();
}
const char* VM_LastQuietError() { return g_quietError.c_str(); }

bool VM_GetFrame(int32_t level, VMFrameInfo* out)
{
    if (g_entries.empty() || level < 0) return false;
    int32_t k = int32_t(g_frames.size()) - 1 - level;
    if (k < g_entries.back().frameBase) return false;
    const VMFrame& f = g_frames[size_t(k)];
    out->name = f.name;
    out->code = f.prog ? f.prog->code : nullptr;
    out->debugInfo = f.debugInfo;
    out->source = f.source;
    out->offset = f.pc ? int32_t(f.pc->off) : 0;
    out->self = f.self;
    out->other = f.other;
    out->locals = f.locals;
    return true;
}

int32_t VM_FrameCount()
{
    if (g_entries.empty()) return 0;
    return int32_t(g_frames.size()) - g_entries.back().frameBase;
}

int32_t VM_EntryDepth() { return int32_t(g_entries.size()); }

void VM_SetProcessMessagesHook(void (*hook)()) { g_processMessages = hook; }

void VM_AbortRunning()
{
    for (Entry& x : g_entries) x.abort = true;
}

void VM_SetDisassembleUnits(bool on) { g_disassemble = on; }

void VM_Free()
{
    for (int32_t i = 0; i < g_localsCap; ++i) delete g_localsPool[i];
    MEM_FREE(g_localsPool);
    g_localsPool = nullptr;
    g_localsCap = g_localsDepth = 0;
    MEM_FREE(g_stack);
    g_stack = nullptr;
    g_stackCap = g_stackTop = 0;
    g_frames.clear();
    g_entries.clear();
    g_branchCount = 0;
}
