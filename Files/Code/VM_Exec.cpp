// The dispatch loop of the virtual machine, its entries and frames, calls and returns.
//
// Index
//   [SECTION] State          the shared operand stack, frames, entries, flags
//   [SECTION] Helpers        stack growth, slot copies, locals, arguments, unwinding
//   [SECTION] Loop           VM loop with one handler per prepared op (VM_INTERNAL_OPS)
//   [SECTION] Entry points   VM_Execute, VM_Error, frame queries
//
// Hot state lives in locals of the loop (pc, sp, self, other, the frame's local slots lv and
// arguments argv/argc, prog). Anything that can run other code (built-ins, the debugger, the
// message pump, errors) is bracketed by SAVE(), which writes pc, self, other and the stack top
// back to the frame, and RELOAD(), which takes the stack pointer, the slots and the arguments
// again (the block may have moved).
//
// A frame in the stack block, from the bottom: its arguments (a script called by the machine:
// where the caller pushed them, turned to run argument 0 first), its local slots (8-aligned,
// one VMLocal per `var` name of the unit), then its operand stack.
#include "Files/Base/RealConvert.h"
#include "Files/Code/VM_Internal.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Support/CommandLine.h"
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
    VMFrame& push()
    {
        if (m_count == m_cap) Grow();
        return m_items[m_count++];
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
    int32_t argWindow;
    int32_t argCount;
    bool abort; // an error was raised while a built-in ran (quiet), or the run is ending
};
std::vector<Entry> g_entries;

uint32_t g_branchCount = 0;
bool g_quiet = false;
bool g_failed = false;
std::string g_quietError;
void (*g_processMessages)() = nullptr;
// Set by VM_RequestDrain (a signal handler, the platform's clock thread), read at every
// branch back; lock-free, so a handler may write it.
std::atomic<int32_t> g_drainRequested{0};
static_assert(std::atomic<int32_t>::is_always_lock_free);

const ScriptValue kZeroValue = {VALUE_REAL, nullptr, 0.0};

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

inline uint32_t Align8(uint32_t x) { return (x + 7u) & ~7u; }

inline void PushValue(uint8_t* sp, const ScriptValue& v)
{
    if (v.kind == VALUE_STRING) {
        VSet(sp, VALUE_STRING, v.text ? MEM_STRDUP(v.text) : nullptr, v.real);
    } else {
        VM_Put(sp + VOFF_KIND, v.kind);
        VM_Put(sp + VOFF_REAL, v.real);
    }
}

// v pushed by a variable read: a string copied, or, by the read that starts a linked sum
// (share), held a second time instead (MemoryManager::Share; copied when the block has a
// second holder already).
inline void PushRead(uint8_t* sp, const ScriptValue& v, uint8_t share)
{
    if (v.kind == VALUE_STRING) {
        char* t = v.text;
        if (t && !(share && MemoryManager::Share(t))) t = MEM_STRDUP(t);
        VSet(sp, VALUE_STRING, t, v.real);
    } else {
        VM_Put(sp + VOFF_KIND, v.kind);
        VM_Put(sp + VOFF_REAL, v.real);
    }
}

// The reference parts of a variable op below p (the array index on top, the scope below it)
// by its flags: index and scope set from them (left as they are for parts the op does not
// take), the answer where they began.
__attribute__((always_inline)) inline uint8_t* RefParts(int32_t flags, uint8_t* p, int32_t* index, int32_t* scope)
{
    if (flags & VMV_INDEX) {
        p -= 4;
        *index = VM_Get<int32_t>(p);
    }
    if (flags & VMV_SCOPE) {
        p -= 4;
        *scope = VM_Get<int32_t>(p);
        if (flags & VMV_INSTANCE) *scope = Scope_FromInstanceOffset(*scope);
    }
    return p;
}
// The parts of a write from *p down: the value (size bytes) and the reference parts, in the
// order of the form; *p ends where they began, the answer is where the value lies.
__attribute__((always_inline)) inline uint8_t* WriteParts(int32_t flags, int32_t size, uint8_t** p, int32_t* index,
                                                         int32_t* scope)
{
    uint8_t* value = nullptr;
    if (flags & VMV_VALUE_TOP) value = *p -= size;
    *p = RefParts(flags, *p, index, scope);
    if (!(flags & VMV_VALUE_TOP)) value = *p -= size;
    return value;
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
            if (VKind(p) == VM_PENDING) { // a linked sum stopped on its way
                MEM_FREE(PendingLeft(p));
                MEM_FREE(PendingAcc(p));
            } else {
                FreeValueAt(p);
            }
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

// The list that holds user variable id for scope without a detour (globals, self's own), or
// null when the general access must decide.
inline CVariableList* DirectList(int32_t scope, int32_t id, CVariableList* selfVars)
{
    switch (scope) {
    case SCOPE_GLOBAL: return Variable_Global_List();
    case SCOPE_PLAIN:
        if (id >= VARIABLE_USER_BASE && Variable_Global_IsDeclared(id)) return Variable_Global_List();
        [[fallthrough]];
    case SCOPE_SELF: return id >= VARIABLE_BUILTIN_LIMIT ? selfVars : nullptr;
    default: return nullptr;
    }
}

// The list of a user variable op (VK_SELF, VK_PLAIN, VK_GLOBAL): "not declared" is cached on
// the op against the declaration counter, so a plain name costs no look-up in the common case.
inline CVariableList* UserList(const VMOp& o, CVariableList* selfVars)
{
    if (o.vk == VK_PLAIN) {
        if (__builtin_expect(o.gen != g_VariableDeclarations, 0)) {
            if (Variable_Global_IsDeclared(o.a)) return Variable_Global_List();
            o.gen = g_VariableDeclarations;
        }
        return selfVars;
    }
    return o.vk == VK_SELF ? selfVars : Variable_Global_List();
}

// The value a group reads through op o (a slot, an argument, a user variable), or null when
// there is none (the group then takes the long way, which decides what that means). Always
// inlined: the hot groups read through it.
__attribute__((always_inline)) inline const uint8_t* GroupRead(const VMOp& o, VMLocal* lv, const uint8_t* argv,
                                                              int32_t argc, CVariableList* selfVars)
{
    switch (o.vk) {
    case VK_SLOT: {
        const ScriptValue* v = &lv[o.b].v.value;
        return v->kind == VM_UNSET ? nullptr : reinterpret_cast<const uint8_t*>(v);
    }
    case VK_ARG: return o.b < argc ? argv + size_t(o.b) * VSIZE : reinterpret_cast<const uint8_t*>(&kZeroValue);
    default: {
        CVariableList* list = UserList(o, selfVars);
        CVariable* n = list ? list->Find(o.a) : nullptr;
        return n ? reinterpret_cast<const uint8_t*>(&n->value) : nullptr;
    }
    }
}

// A real stored into a value (a string it held is freed).
inline void StoreReal(ScriptValue* v, double r)
{
    if (v->kind == VALUE_STRING) MEM_FREE(v->text);
    v->kind = VALUE_REAL;
    v->text = nullptr;
    v->real = r;
}
// A real stored into a slot.
inline void SlotStoreReal(VMLocal* l, double r)
{
    int32_t k = l->v.value.kind;
    if (k != VALUE_REAL) {
        if (k == VALUE_STRING) {
            MEM_FREE(l->v.value.text);
        } else if (k == VM_UNSET) {
            l->order = ++g_VMLocalOrder;
        }
        l->v.value.kind = VALUE_REAL;
        l->v.value.text = nullptr;
    }
    l->v.value.real = r;
}
// A value taken from the stack (its text moves) stored into a slot.
inline void SlotStore(VMLocal* l, const ScriptValue& val)
{
    int32_t k = l->v.value.kind;
    if (k == VALUE_STRING) {
        MEM_FREE(l->v.value.text);
    } else if (k == VM_UNSET) {
        l->order = ++g_VMLocalOrder;
    }
    l->v.value.kind = val.kind;
    l->v.value.text = val.kind == VALUE_STRING ? val.text : nullptr;
    l->v.value.real = val.real;
}
// A copy of a value (its own text) stored into dst; dst and src may be the same.
inline void CopyInto(ScriptValue* dst, const ScriptValue& src)
{
    char* text = src.kind == VALUE_STRING && src.text ? MEM_STRDUP(src.text) : nullptr;
    if (dst->kind == VALUE_STRING) MEM_FREE(dst->text);
    dst->kind = src.kind;
    dst->text = text;
    dst->real = src.real;
}

inline void InitSlots(VMLocal* l, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        l[i].v.value.kind = VM_UNSET;
        l[i].v.rowCount = 0;
        l[i].v.rows = nullptr;
    }
}

// The arguments a frame reads: argv (ScriptValue records, argument 0 first) and their count.
inline void FrameArgs(const VMFrame& f, uint8_t** argv, int32_t* argc)
{
    if (f.argMode == VMARGS_STACK) {
        *argv = g_stack + f.argsOff;
        *argc = f.argCount;
    } else {
        *argv = reinterpret_cast<uint8_t*>(g_CodeArgs);
        *argc = 16;
    }
}

// Moves a script's arguments from the operand stack into argument slots of its own, where
// built-ins, the argument rows and nested entries see them; the argument count follows.
void MoveArguments(VMFrame& f)
{
    if (f.argMode != VMARGS_STACK) return;
    ScriptValue* w = Code_Arguments_PushWindow(f.argCount);
    for (int32_t i = 0; i < f.argCount; ++i) w[i] = VLoad(g_stack + f.argsOff + size_t(i) * VSIZE);
    f.savedArgCount = Code_GetArgumentCount();
    Code_SetArgumentCount(f.argCount);
    f.argMode = VMARGS_MOVED;
}

// A script frame ends: its arguments go (freed on the stack, or their slots dropped).
void ReleaseArguments(VMFrame& f)
{
    if (f.argMode == VMARGS_STACK) {
        for (int32_t i = 0; i < f.argCount; ++i) FreeValueAt(g_stack + f.argsOff + size_t(i) * VSIZE);
    } else if (f.argMode == VMARGS_MOVED) {
        Code_Arguments_PopWindow();
        Code_SetArgumentCount(f.savedArgCount);
    }
    f.argMode = VMARGS_WINDOW;
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

// Comparisons of a difference through the epsilon, by name.
inline bool CmpLT(double d) { return d < -VM_CompareEpsilon; }
inline bool CmpLE(double d) { return d <= VM_CompareEpsilon; }
inline bool CmpEQ(double d) { return -VM_CompareEpsilon < d && d < VM_CompareEpsilon; }
inline bool CmpNE(double d) { return d < -VM_CompareEpsilon || d > VM_CompareEpsilon; }
inline bool CmpGE(double d) { return d >= -VM_CompareEpsilon; }
inline bool CmpGT(double d) { return d > VM_CompareEpsilon; }

} // namespace

void VM_SetMoveStackAlways(bool on) { g_moveStackAlways = on; }

VMFrame& VM_Frame(int32_t index) { return g_frames[size_t(index)]; }
uint8_t* VM_StackBlock() { return g_stack; }

int32_t VM_LocalsDepth()
{
    int32_t n = 0;
    for (size_t i = 0; i < g_frames.size(); ++i)
        if ((g_frames[i].prog && g_frames[i].prog->LocalCount() > 0) || g_frames[i].extra) ++n;
    return n;
}

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
    VMFrame* fr = &Top(); // the running frame (the array moves when it grows: taken again)
    VMProgram* prog = fr->prog;
    const VMOp* pc = prog->ops.data();
    uint8_t* sp = g_stack + fr->base;
    CInstance* self = fr->self;
    CVariableList* selfVars = Code_InstanceVariables(self); // follows self
    CInstance* other = fr->other;
    VMLocal* lv = reinterpret_cast<VMLocal*>(g_stack + fr->localsOff);
    uint8_t* argv;
    int32_t argc;
    FrameArgs(*fr, &argv, &argc);
    const char* error = nullptr;
    ScriptValue args[16];
    ScriptValue rv;
    int32_t n;
    // The general variable access: scope, index, where the result goes (reads) or the value
    // and the new top (writes).
    uint32_t ticks = g_branchCount; // the branch counter, kept here while the loop runs
    int32_t nest = 0;               // script frames above the entry's own
    // The debugger's hook (stepping, a break request): it changes only while control is
    // outside the loop, so it is read again after each call out and every 4,096th branch.
    int32_t hook = g_VMHookActive;
    int32_t gScope = 0, gIndex = 0;
    uint8_t* gAt = nullptr;
    ScriptValue gVal;

#define SAVE()                                   \
    do {                                         \
        fr->pc = pc;                             \
        fr->self = self;                         \
        fr->other = other;                       \
        g_stackTop = uint32_t(sp - g_stack);     \
        g_branchCount = ticks;                   \
    } while (0)
#define RELOAD()                                                  \
    do {                                                          \
        sp = g_stack + g_stackTop;                                \
        e = &g_entries[size_t(entry)];                            \
        fr = &Top();                                              \
        lv = reinterpret_cast<VMLocal*>(g_stack + fr->localsOff); \
        FrameArgs(*fr, &argv, &argc);                             \
        ticks = g_branchCount;                                    \
        hook = g_VMHookActive;                                    \
    } while (0)
#define DISPATCH()                                     \
    do {                                               \
        if (__builtin_expect(hook != 0, 0)) goto debug_hook; \
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
// Dispatch after a branch back: every 4,096th, and any after a drain was requested, drains
// the window-message queue.
#define TICK_DISPATCH()                                                                                   \
    do {                                                                                                  \
        if (__builtin_expect(((++ticks & 0xFFF) == 0) | (g_drainRequested.load(std::memory_order_relaxed) != 0), 0)) \
            goto tick;                                                                                    \
        DISPATCH();                                                                                       \
    } while (0)
#define FRAME_INDEX() (int32_t(g_frames.size()) - 1)

    DISPATCH();

tick:
    g_drainRequested.store(0, std::memory_order_relaxed);
    if (g_processMessages) {
        SAVE();
        MoveArguments(*fr);
        g_processMessages();
        RELOAD();
        if (__builtin_expect(e->abort, 0)) goto unwind; // the drain stopped the run
    }
    hook = g_VMHookActive;
    DISPATCH();

debug_hook:
    // Stepping or a break request: one instruction at a time, no groups.
    if (__builtin_expect(e->abort, 0)) goto unwind; // stopped while a built-in ran
    SAVE();
    MoveArguments(*fr);
    VM_DebugHook(prog, pc);
    RELOAD();
    if (pc->h == kLabels[VMI_BREAKPOINT]) goto L_BREAKPOINT;
    goto *kLabels[pc->code];

L_NOP:
    NEXT();

L_BREAKPOINT:
    SAVE();
    MoveArguments(*fr);
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
// The element found is pushed at p (where the reference parts began); without one the general
// read of scope and index decides.
#define READ_ELEMENT(found, scope, index, p)                    \
    do {                                                        \
        if (const ScriptValue* e_ = (found)) {                  \
            PushRead((p), *e_, pc->link);                       \
            sp = (p) + VSIZE;                                   \
            NEXT();                                             \
        }                                                       \
        gScope = (scope);                                       \
        gIndex = (index);                                       \
        gAt = (p);                                              \
        goto read_general;                                      \
    } while (0)
#define PUSH_NODE(node)                                         \
    do {                                                        \
        CVariable* v_ = (node);                                 \
        if (__builtin_expect(!v_, 0)) goto read_simple;         \
        PushRead(sp, v_->value, pc->link);                      \
        sp += VSIZE;                                            \
        NEXT();                                                 \
    } while (0)
L_PUSHV_SLOT: {
    const ScriptValue& v = lv[pc->b].v.value;
    if (__builtin_expect(v.kind == VALUE_REAL, 1)) {
        VSetReal(sp, v.real);
        sp += VSIZE;
        NEXT();
    }
    if (v.kind == VM_UNSET) goto read_simple;
    PushRead(sp, v, pc->link);
    sp += VSIZE;
    NEXT();
}
L_PUSHV_SLOTX: {
    uint8_t* p = sp - 4;
    int32_t index = VM_Get<int32_t>(p);
    const VMLocal* l = lv + pc->b;
    READ_ELEMENT(l->v.value.kind != VM_UNSET ? CVariableList::Element(&l->v, index) : nullptr, SCOPE_LOCAL, index, p);
}
L_PUSHV_SELF:
    if (!selfVars) goto read_simple;
    PUSH_NODE(selfVars->Find(pc->a));
L_PUSHV_GLOBAL:
    PUSH_NODE(Variable_Global_List()->Find(pc->a));
L_PUSHV_PLAIN: {
    CVariableList* list = UserList(*pc, selfVars);
    if (!list) goto read_simple;
    PUSH_NODE(list->Find(pc->a));
}
L_PUSHV_ARG:
    if (pc->b < argc) {
        PushValue(sp, VLoad(argv + size_t(pc->b) * VSIZE));
    } else {
        VSetReal(sp, 0.0);
    }
    sp += VSIZE;
    NEXT();
L_PUSHV_BUILTIN: {
    // A built-in variable of self (getters run no code): its getter straight away.
    const BuiltinVariable& row = g_BuiltinVariableRows[pc->a];
    if (self && row.get) {
        rv = Value_Real(0.0);
        fr->pc = pc; // for a getter that reports something
        if (row.get(self, 0, &rv)) {
            VM_Put(sp, rv); // the text, if any, moves to the stack
            sp += VSIZE;
            NEXT();
        }
        Value_FreeString(&rv);
    }
    goto L_PUSHV_ANY;
}
L_PUSHV_ANY: {
    int32_t index = 0, scope = pc->b;
    uint8_t* p = RefParts(pc->k.i, sp, &index, &scope);
    const CVariableList* list = DirectList(scope, pc->a, selfVars);
    const CVariable* v = list ? list->Find(pc->a) : nullptr;
    READ_ELEMENT(v ? CVariableList::Element(v, index) : nullptr, scope, index, p);
}
read_simple:
    // A fast read found no variable: the general read decides (the unset-variable option, or
    // the error message).
    gScope = pc->vk == VK_SLOT ? SCOPE_LOCAL : pc->vk == VK_GLOBAL ? SCOPE_GLOBAL : pc->vk == VK_SELF ? SCOPE_SELF : SCOPE_PLAIN;
    gIndex = 0;
    gAt = sp;
read_general: {
    if (__builtin_expect(pc->link, 0)) {
        // The read that starts a linked sum: a string it reaches where it lies is shared.
        g_ArrayError.error = 0;
        const ScriptValue* v = VM_VariableStorage(self, other, FRAME_INDEX(), gScope, pc->a, gIndex);
        if (v && v->kind == VALUE_STRING) {
            PushRead(gAt, *v, 1);
            sp = gAt + VSIZE;
            NEXT();
        }
    }
    rv = Value_Real(0.0);
    uint32_t at = uint32_t(gAt - g_stack);
    SAVE();
    if (pc->k.i & VMV_ARGS) MoveArguments(*fr);
    bool ok = VM_ReadVariable(self, other, FRAME_INDEX(), gScope, pc->a, gIndex, &rv);
    RELOAD();
    if (!ok) FAIL(g_VMMessage);
    VM_Put(g_stack + at, rv);
    sp = g_stack + at + VSIZE;
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
L_POP_SLOT: {
    int32_t size = VM_NativeSize(pc->t2);
    SlotStore(lv + pc->b, TakeValue(pc->t2, sp - size));
    sp -= size;
    NEXT();
}
// The parts of a write from the top down: the value and the reference parts (index, then
// scope) in the order of the form; p ends where they began, val takes the value (its text
// moves).
#define WRITE_PARTS(flags, size, p, val, index, scope)                          \
    do {                                                                        \
        (val) = TakeValue(pc->t2, WriteParts((flags), (size), &(p), &(index), &(scope))); \
        if ((val).kind != VALUE_STRING) (val).text = nullptr;                   \
    } while (0)
// val goes into the element found or made (the text moves), else the general write decides.
#define WRITE_ELEMENT(found, val, scope, index, p)                    \
    do {                                                              \
        if (ScriptValue* e_ = (found)) {                              \
            if (e_->kind == VALUE_STRING && e_->text) MEM_FREE(e_->text); \
            *e_ = (val);                                              \
            sp = (p);                                                 \
            NEXT();                                                   \
        }                                                             \
        gScope = (scope);                                             \
        gIndex = (index);                                             \
        gVal = (val);                                                 \
        gAt = (p);                                                    \
        goto write_general;                                           \
    } while (0)
L_POP_SLOTX: {
    int32_t index = 0, unused = 0;
    uint8_t* p = sp;
    ScriptValue val;
    WRITE_PARTS(pc->k.i, VM_NativeSize(pc->t2), p, val, index, unused);
    VMLocal* l = lv + pc->b;
    if (l->v.value.kind == VM_UNSET) {
        l->v.value = Value_Real(0.0);
        l->order = ++g_VMLocalOrder;
    }
    WRITE_ELEMENT(CVariableList::Slot(&l->v, index), val, SCOPE_LOCAL, index, p);
}
L_POP_GLOBAL:
    STORE_NODE(Variable_Global_List()->FindOrCreate(pc->a));
L_POP_SELF:
    if (!selfVars) goto L_POP_ANY;
    STORE_NODE(selfVars->FindOrCreate(pc->a));
L_POP_PLAIN: {
    CVariableList* list = UserList(*pc, selfVars);
    if (!list) goto L_POP_ANY;
    STORE_NODE(list->FindOrCreate(pc->a));
}
L_POP_BUILTIN: {
    // A built-in variable of self: its setter (which may run code: lives and health fire
    // events) straight away.
    const BuiltinVariable& row = g_BuiltinVariableRows[pc->a];
    if (!self || !row.set || !row.settable) goto L_POP_ANY;
    const int32_t size = VM_NativeSize(pc->t2);
    uint8_t* value = sp - size;
    ScriptValue val = TakeValue(pc->t2, value);
    if (val.kind != VALUE_STRING) val.text = nullptr;
    SAVE();
    g_ArrayError.error = 0;
    const bool ok = row.set(self, 0, &val);
    RELOAD();
    if (!ok || g_ArrayError.error) {
        VM_WriteFailed(pc->a);
        FAIL(g_VMMessage); // the value's text is still the stack's: the unwinding frees it
    }
    Value_FreeString(&val); // the setter kept its own copy
    sp -= size;
    NEXT();
}
L_POP_ANY: {
    int32_t index = 0, scope = pc->b;
    uint8_t* p = sp;
    ScriptValue val;
    WRITE_PARTS(pc->k.i, VM_NativeSize(pc->t2), p, val, index, scope);
    CVariableList* list = DirectList(scope, pc->a, selfVars);
    WRITE_ELEMENT(list ? CVariableList::Slot(list->FindOrCreate(pc->a), index) : nullptr, val, scope, index, p);
}
write_general: {
    uint32_t at = uint32_t(gAt - g_stack);
    SAVE();
    if (pc->k.i & VMV_ARGS) MoveArguments(*fr);
    bool ok = VM_WriteVariable(self, other, FRAME_INDEX(), gScope, pc->a, gIndex, &gVal);
    RELOAD();
    if (!ok) FAIL(g_VMMessage); // the value's text is still the stack's: the unwinding frees it
    Value_FreeString(&gVal); // the store kept its own copy
    sp = g_stack + at;
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
    ScriptValue v = VLoad(sp - VSIZE);
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

// ---- Branches (only branches back tick) ----
#define BRANCH(target)                      \
    do {                                    \
        bool back_ = pc->back;              \
        pc = (target);                      \
        if (back_) TICK_DISPATCH();         \
        DISPATCH();                         \
    } while (0)
L_B:
    BRANCH(pc->k.target);
L_BT:
    sp -= 4;
    if (sp[0]) BRANCH(pc->k.target);
    NEXT();
L_BF:
    sp -= 4;
    if (!sp[0]) BRANCH(pc->k.target);
    NEXT();

// ---- Calls ----
L_CALL_BUILTIN:
L_CALL_EXT: {
    n = pc->a;
    for (int32_t i = 0; i < n; ++i) args[i] = VLoad(sp - (i + 1) * VSIZE);
    sp -= n * VSIZE;
    ScriptValue res = Value_Real(0.0);
    if (g_StartupOptions.trace) Console_Output("func call = %s\n", Function_GetName(pc->code == VMI_CALL_EXT ? pc->b + FUNCTION_EXTENSION_BASE : pc->b));
    SAVE();
    MoveArguments(*fr); // what the built-in runs may read the script's arguments
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
    ++pc;
    // A quit stopped the built-in's work (or came while it ran): the drain sees it before
    // the next statement.
    if (__builtin_expect(QuitRequest_Pending(), 0)) goto tick;
    DISPATCH();
}
L_CALL_SCRIPT: {
    n = pc->a;
    CCode* unit;
    VMProgram* callee;
    if (__builtin_expect(pc->gen == g_VMCodeGeneration, 1)) {
        // The callee found last time: no unit or prepared form was destroyed since.
        unit = pc->unit;
        callee = pc->k.prog;
    } else {
        bool exists = false;
        unit = Code_Scripts().code(pc->b, &exists);
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
                if (code->m_prepareState == 0) { // a quit stopped the preparation: the run stops here
                    e->abort = true;
                    goto unwind;
                }
                std::snprintf(g_VMMessage, sizeof g_VMMessage, "Invalid byte code in %s: %s", unit->GetName(), why.c_str());
                FAIL(g_VMMessage);
            }
        }
        callee = code->m_pProgram;
        VMOp& remember = const_cast<VMOp&>(*pc);
        remember.unit = unit;
        remember.k.prog = callee;
        remember.gen = g_VMCodeGeneration;
    }
    const uint32_t top = uint32_t(sp - g_stack);
    const uint32_t argsOff = top - uint32_t(n * VSIZE);
    const uint32_t localsOff = Align8(top);
    const uint32_t base = localsOff + uint32_t(callee->localBytes);
    const uint32_t frames = uint32_t(nest) + 2;
    if (base - e->stackBase + frames * kFrameCharge + uint32_t(callee->maxBytes) > kStackLimit) FAIL(kStackOverflow);
    if (g_StartupOptions.trace) Console_Output("script call = %s\n", Code_Scripts().name(pc->b));
    fr->pc = pc; // the caller's place (nothing outside the loop runs before the callee)
    fr->self = self;
    fr->other = other;
    // The arguments stay where they were pushed (argument 0 on top), turned to run from
    // argument 0 up.
    for (int32_t i = 0, j = n - 1; i < j; ++i, --j) {
        uint8_t tmp[VSIZE];
        uint8_t* a = g_stack + argsOff + size_t(i) * VSIZE;
        uint8_t* b = g_stack + argsOff + size_t(j) * VSIZE;
        std::memcpy(tmp, a, VSIZE);
        std::memcpy(a, b, VSIZE);
        std::memcpy(b, tmp, VSIZE);
    }
    EnsureStack(base + uint32_t(callee->maxBytes));
    VMFrame& f = g_frames.push();
    fr = &f;
    // (pc is written before anything looks at it; name, lines and source come from the unit)
    f.prog = callee;
    f.base = base;
    f.localsOff = localsOff;
    f.argsOff = argsOff;
    f.argCount = n;
    f.argMode = VMARGS_STACK;
    f.self = self;
    f.other = other;
    f.extra = nullptr;
    f.withBase = VM_WithDepth();
    f.unit = unit;
    ++nest;
    prog = callee;
    sp = g_stack + base;
    lv = reinterpret_cast<VMLocal*>(g_stack + localsOff);
    InitSlots(lv, callee->LocalCount());
    argv = g_stack + argsOff;
    argc = n;
    pc = prog->ops.data();
    DISPATCH();
}

// ---- Returns ----
L_RET: {
    if (__builtin_expect(pc->a == VMT_VAR, 1)) {
        sp -= VSIZE;
        rv = VLoad(sp);
    } else {
        sp -= VM_NativeSize(pc->a);
        rv = TakeValue(pc->a, sp);
    }
    if (rv.kind != VALUE_STRING) rv.text = nullptr;
    FreeLayout(pc->k.layout, g_stack + fr->base);
    goto leave_frame;
}
L_EXIT:
    FreeLayout(pc->k.layout, g_stack + fr->base);
    if (nest == 0) goto finished; // the result stays
    rv = Value_Real(0.0);
    goto leave_frame;
L_END: {
    const VMLayout* l = pc->k.layout;
    if (nest == 0) {
        if (l->depth > 0 && l->type == VMT_VAR) {
            // An expression unit leaves its value on top.
            rv = VLoad(g_stack + fr->base + l->bytes - VSIZE);
            FreeLayout(l->below, g_stack + fr->base);
            if (result) {
                Value_FreeString(result);
                *result = rv;
            } else {
                Value_FreeString(&rv);
            }
        } else {
            FreeLayout(l, g_stack + fr->base);
        }
        goto finished;
    }
    FreeLayout(l, g_stack + fr->base);
    rv = Value_Real(0.0);
    goto leave_frame;
}
leave_frame: {
    if (nest == 0) {
        // A ret at the outermost level: its value is the entry's result.
        if (result) {
            Value_FreeString(result);
            *result = rv;
        } else {
            Value_FreeString(&rv);
        }
        goto finished;
    }
    VMFrame& done = *fr;
    if (VM_WithDepth() != done.withBase) VM_WithUnwind(done.withBase);
    if (__builtin_expect(prog->localCount > 0 || done.extra, 0)) VM_FreeFrameLocals(done);
    if (done.argMode == VMARGS_STACK) {
        const uint8_t* a = g_stack + done.argsOff;
        for (int32_t i = done.argCount; i > 0; --i, a += VSIZE) FreeValueAt(a);
    } else {
        ReleaseArguments(done);
    }
    const uint32_t at = done.argsOff; // the result takes the arguments' place
    g_frames.pop_back();
    --nest;
    fr = &Top();
    VMFrame& caller = *fr;
    prog = caller.prog;
    pc = caller.pc;
    if (caller.self != self) {
        self = caller.self;
        selfVars = Code_InstanceVariables(self);
    }
    other = caller.other;
    lv = reinterpret_cast<VMLocal*>(g_stack + caller.localsOff);
    FrameArgs(caller, &argv, &argc);
    sp = g_stack + at;
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
    if (__builtin_expect(pc->link, 0)) goto link_add;
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
#define INT_OP(NAME, EXPR, CHECK)                           \
    L_##NAME: {                                             \
        uint32_t x = VM_Get<uint32_t>(sp - 8);              \
        uint32_t y = VM_Get<uint32_t>(sp - 4);              \
        if (CHECK) goto L_BINARY;                           \
        VM_Put(sp - 8, int32_t(EXPR));                      \
        sp -= 4;                                            \
        NEXT();                                             \
    }
    INT_OP(ADD_II, x + y, false)
    INT_OP(SUB_II, x - y, false)
    INT_OP(MUL_II, x * y, false)
    INT_OP(AND_II, x & y, false)
    INT_OP(OR_II, x | y, false)
    INT_OP(XOR_II, x ^ y, false)
    INT_OP(SHL_II, x << (y & 31), false)
    INT_OP(SHR_II, int32_t(x) >> (y & 31), false)
    // The quotient and remainder of the one pair that overflows are the general form's.
    INT_OP(REM_II, int32_t(x) / int32_t(y), y == 0 || (x == 0x80000000u && y == 0xFFFFFFFFu))
    INT_OP(MOD_II, int32_t(x) % int32_t(y), y == 0 || y == 0xFFFFFFFFu)
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
        uint8_t* a_ = sp - 2 * VSIZE;                                          \
        uint8_t* b_ = sp - VSIZE;                                              \
        if (VKind(a_) != VALUE_REAL || VKind(b_) != VALUE_REAL) goto L_BINARY; \
        double x = VReal(a_), y = VReal(b_);                                   \
        if (CHECK) goto L_BINARY;                                              \
        VSetReal(a_, EXPR);                                                    \
        sp = b_;                                                               \
        NEXT();                                                                \
    }
    VV_OP(ADD_VV, x + y, false)
    VV_OP(SUB_VV, x - y, false)
    VV_OP(MUL_VV, x * y, false)
    VV_OP(DIV_VV, x / y, __builtin_fabs(y) < 1e-10)
    VV_OP(MOD_VV, VM_ModFast(x, y), __builtin_fabs(y) < 1e-10)
    VV_OP(REM_VV, VM_RemReal(x, y), __builtin_fabs(y) < 1e-10 || VM_TruncInt32(y) == 0)
// variable (left) with a number of type T (right, on top)
#define VN_OP(NAME, T, EXPR, CHECK)                                            \
    L_##NAME: {                                                                \
        uint8_t* a_ = sp - int32_t(sizeof(T)) - VSIZE;                         \
        if (VKind(a_) != VALUE_REAL) goto L_BINARY;                            \
        double x = VReal(a_), y = double(VM_Get<T>(sp - int32_t(sizeof(T))));  \
        if (CHECK) goto L_BINARY;                                              \
        VSetReal(a_, EXPR);                                                    \
        sp = a_ + VSIZE;                                                       \
        NEXT();                                                                \
    }
    VN_OP(ADD_IV, int32_t, x + y, false)
    VN_OP(SUB_IV, int32_t, x - y, false)
    VN_OP(MUL_IV, int32_t, x * y, false)
    VN_OP(DIV_IV, int32_t, x / y, y == 0)
    VN_OP(MOD_IV, int32_t, VM_ModFast(x, y), y == 0)
    VN_OP(REM_IV, int32_t, VM_RemReal(x, y), y == 0)
    VN_OP(ADD_DV, double, x + y, false)
    VN_OP(SUB_DV, double, x - y, false)
    VN_OP(MUL_DV, double, x * y, false)
    VN_OP(DIV_DV, double, x / y, __builtin_fabs(y) < 1e-10)
// bitwise and, or, xor of a variable (left) holding a whole int32 with an int (right): the
// 32-bit result, sign-extended as the general form's 64-bit one is.
#define VN_BIT(NAME, OP)                                                       \
    L_##NAME: {                                                                \
        uint8_t* a_ = sp - 4 - VSIZE;                                          \
        int32_t x;                                                             \
        if (VKind(a_) != VALUE_REAL || !VM_WholeInt32(VReal(a_), &x)) goto L_BINARY; \
        int32_t y = VM_Get<int32_t>(sp - 4);                                   \
        VSetReal(a_, double(x OP y));                                          \
        sp = a_ + VSIZE;                                                       \
        NEXT();                                                                \
    }
    VN_BIT(AND_IV, &)
    VN_BIT(OR_IV, |)
    VN_BIT(XOR_IV, ^)
// a number of type T (left) with a variable (right, on top)
#define NV_OP(NAME, T, EXPR, CHECK)                                            \
    L_##NAME: {                                                                \
        uint8_t* b_ = sp - VSIZE;                                              \
        if (VKind(b_) != VALUE_REAL) goto L_BINARY;                            \
        uint8_t* left = b_ - int32_t(sizeof(T));                               \
        double x = double(VM_Get<T>(left)), y = VReal(b_);                     \
        if (CHECK) goto L_BINARY;                                              \
        VSetReal(left, EXPR);                                                  \
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
            if (r_ == (pc->b == VMCMP_BT)) BRANCH(pc->k.target);   \
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
    uint8_t* p = sp - VSIZE;
    if (VKind(p) != VALUE_REAL) goto L_CONV;
    VM_Put(p, int32_t(__builtin_fabs(VReal(p)) > 0.5));
    sp = p + 4;
    NEXT();
}
L_CONV_IB:
    VM_Put(sp - 4, int32_t(VM_Get<int32_t>(sp - 4) != 0));
    NEXT();
L_CONV_BI:
    VM_Put(sp - 4, int32_t(sp[-4] != 0));
    NEXT();
L_CONV_VI: {
    uint8_t* p = sp - VSIZE;
    if (VKind(p) != VALUE_REAL) goto L_CONV;
    VM_Put(p, VM_TruncInt32(VReal(p)));
    sp = p + 4;
    NEXT();
}
L_CONV_DI:
    sp -= 8;
    VM_Put(sp, VM_TruncInt32(VM_Get<double>(sp)));
    sp += 4;
    NEXT();
L_CONV_ID:
    VM_Put(sp - 4, double(VM_Get<int32_t>(sp - 4)));
    sp += 4;
    NEXT();

// ---- Groups (see VM_INTERNAL_OPS): the head's own handler when the fast case fails ----
#define FALLBACK() goto *kLabels[pc->code]
// The real a group reads through op o, by where the variable lives.
#define READ_S(o, x)                                       \
    do {                                                   \
        const ScriptValue& v_ = lv[(o).b].v.value;         \
        if (v_.kind != VALUE_REAL) FALLBACK();             \
        x = v_.real;                                       \
    } while (0)
#define READ_A(o, x)                                                 \
    do {                                                             \
        if ((o).b < argc) {                                          \
            const uint8_t* p_ = argv + size_t((o).b) * VSIZE;        \
            if (VKind(p_) != VALUE_REAL) FALLBACK();                 \
            x = VReal(p_);                                           \
        } else {                                                     \
            x = 0.0;                                                 \
        }                                                            \
    } while (0)
#define READ_I(o, x)                                                 \
    do {                                                             \
        CVariableList* l_ = UserList((o), selfVars);                 \
        const CVariable* n_ = l_ ? l_->Find((o).a) : nullptr;        \
        if (!n_ || n_->value.kind != VALUE_REAL) FALLBACK();         \
        x = n_->value.real;                                          \
    } while (0)
#define READ_G(o, x)                                                 \
    do {                                                             \
        const uint8_t* p_ = GroupRead((o), lv, argv, argc, selfVars); \
        if (!p_ || VKind(p_) != VALUE_REAL) FALLBACK();              \
        x = VReal(p_);                                               \
    } while (0)
// The node of a user variable op o (a group's own or a store), for writing.
#define NODE_I(o, node, create)                                      \
    CVariable* node;                                                 \
    do {                                                             \
        CVariableList* l_ = UserList((o), selfVars);                 \
        if (!l_) FALLBACK();                                         \
        node = create ? l_->FindOrCreate((o).a) : l_->Find((o).a);   \
        if (!node) FALLBACK();                                       \
    } while (0)
// The branch of a comparison group on r.
#define GROUP_BRANCH(r)                                  \
    do {                                                 \
        if (bool(r) != bool(pc->inv)) {                  \
            bool back_ = pc->back;                       \
            pc = pc->gt;                                 \
            if (back_) TICK_DISPATCH();                  \
            DISPATCH();                                  \
        }                                                \
        pc = pc->gt2;                                    \
        DISPATCH();                                      \
    } while (0)

L_G_INC_S: {
    ScriptValue& v = lv[pc->b].v.value;
    if (v.kind != VALUE_REAL) FALLBACK();
    v.real += pc->gk;
    pc += 4;
    DISPATCH();
}
L_G_INC_I: {
    NODE_I(*pc, node, false);
    if (node->value.kind != VALUE_REAL) FALLBACK();
    node->value.real += pc->gk;
    pc += 4;
    DISPATCH();
}

#define G_CMPK(NAME, READ, CMP)       \
    L_##NAME: {                       \
        double x_;                    \
        READ(*pc, x_);                \
        GROUP_BRANCH(CMP(x_ - pc->gk)); \
    }
// A handler macro M(NAME, ARG, CMP) for each of the six comparisons of group G.
#define STAMP_CMP6(M, G, ARG)                                                               \
    M(G##_LT, ARG, CmpLT) M(G##_LE, ARG, CmpLE) M(G##_EQ, ARG, CmpEQ) M(G##_NE, ARG, CmpNE) \
    M(G##_GE, ARG, CmpGE) M(G##_GT, ARG, CmpGT)
    STAMP_CMP6(G_CMPK, G_CMPK_S, READ_S)
    STAMP_CMP6(G_CMPK, G_CMPK_A, READ_A)
    STAMP_CMP6(G_CMPK, G_CMPK_I, READ_I)
L_G_CMPXY: {
    double x_, y_;
    READ_G(*pc, x_);
    READ_G(pc[pc->ga], y_);
    GROUP_BRANCH(VM_CompareReal(uint32_t(pc->gi), x_ - y_));
}

// x op k: the constant's zero divisors were refused when the group was made.
#define K_ADD(x) ((x) + pc->gk)
#define K_SUB(x) ((x) - pc->gk)
#define K_MUL(x) ((x) * pc->gk)
#define K_DIV(x) ((x) / pc->gk)
#define K_MOD(x) (pc->kint ? VM_ModByMagic((x), uint32_t(pc->gi), pc->gm, pc->gk) : VM_ModReal((x), pc->gk))
#define K_REM(x) VM_RemReal((x), pc->gk)
#define G_VALK(NAME, READ, OP)    \
    L_##NAME: {                   \
        double x_;                \
        READ(*pc, x_);            \
        VSetReal(sp, OP(x_));     \
        sp += VSIZE;              \
        pc += 3;                  \
        DISPATCH();               \
    }
// A handler macro M(NAME, ARG, OP) for each of the six operators of group G.
#define STAMP_K6(M, G, ARG)                                                             \
    M(G##_ADD, ARG, K_ADD) M(G##_SUB, ARG, K_SUB) M(G##_MUL, ARG, K_MUL) M(G##_DIV, ARG, K_DIV) \
    M(G##_MOD, ARG, K_MOD) M(G##_REM, ARG, K_REM)
    STAMP_K6(G_VALK, G_VALK_S, READ_S)
    STAMP_K6(G_VALK, G_VALK_A, READ_A)
    STAMP_K6(G_VALK, G_VALK_I, READ_I)
#define G_TOPK(NAME, OP)                                  \
    L_##NAME: {                                           \
        uint8_t* p_ = sp - VSIZE;                         \
        if (VKind(p_) != VALUE_REAL) FALLBACK();          \
        VM_Put(p_ + VOFF_REAL, OP(VReal(p_)));            \
        pc += 2;                                          \
        DISPATCH();                                       \
    }
    G_TOPK(G_TOPK_ADD, K_ADD)
    G_TOPK(G_TOPK_SUB, K_SUB)
    G_TOPK(G_TOPK_MUL, K_MUL)
    G_TOPK(G_TOPK_DIV, K_DIV)
    G_TOPK(G_TOPK_MOD, K_MOD)
    G_TOPK(G_TOPK_REM, K_REM)

// Two reals x and y: the operator, or the long way for a divisor the operator refuses.
#define XY_ADD x_ + y_
#define XY_SUB x_ - y_
#define XY_MUL x_ * y_
#define XY_DIV x_ / y_
#define XY_OK_ADD true
#define XY_OK_SUB true
#define XY_OK_MUL true
#define XY_OK_DIV !(__builtin_fabs(y_) < 1e-10)
// x = below op top
#define G_ACC(NAME, OP, STORE)                                                   \
    L_##NAME: {                                                                  \
        uint8_t* a_ = sp - 2 * VSIZE;                                            \
        uint8_t* b_ = sp - VSIZE;                                                \
        if (__builtin_expect(VKind(a_) != VALUE_REAL || VKind(b_) != VALUE_REAL, 0)) FALLBACK(); \
        double x_ = VReal(a_), y_ = VReal(b_);                                   \
        if (!(XY_OK_##OP)) FALLBACK();                                           \
        STORE(pc[1], XY_##OP);                                                   \
        sp = a_;                                                                 \
        pc += 2;                                                                 \
        DISPATCH();                                                              \
    }
#define STORE_S(o, r) SlotStoreReal(lv + (o).b, (r))
#define STORE_I(o, r)                  \
    do {                               \
        NODE_I(o, node_, true);        \
        StoreReal(&node_->value, (r)); \
    } while (0)
    G_ACC(G_ACC_S_ADD, ADD, STORE_S)
    G_ACC(G_ACC_S_SUB, SUB, STORE_S)
    G_ACC(G_ACC_S_MUL, MUL, STORE_S)
    G_ACC(G_ACC_S_DIV, DIV, STORE_S)
    G_ACC(G_ACC_I_ADD, ADD, STORE_I)
    G_ACC(G_ACC_I_SUB, SUB, STORE_I)
    G_ACC(G_ACC_I_MUL, MUL, STORE_I)
    G_ACC(G_ACC_I_DIV, DIV, STORE_I)
// x op= top, x a local whose copy lies below the top (its slot holds the same value)
#define G_ACCD(NAME, OP)                                                         \
    L_##NAME: {                                                                  \
        ScriptValue& v_ = lv[pc[1].b].v.value;                                   \
        uint8_t* b_ = sp - VSIZE;                                                \
        if (__builtin_expect(v_.kind != VALUE_REAL || VKind(b_) != VALUE_REAL, 0)) FALLBACK(); \
        double x_ = v_.real, y_ = VReal(b_);                                     \
        if (!(XY_OK_##OP)) FALLBACK();                                           \
        v_.real = XY_##OP;                                                       \
        sp = b_ - VSIZE;                                                         \
        pc += 2;                                                                 \
        DISPATCH();                                                              \
    }
    G_ACCD(G_ACCD_S_ADD, ADD)
    G_ACCD(G_ACCD_S_SUB, SUB)
    G_ACCD(G_ACCD_S_MUL, MUL)
    G_ACCD(G_ACCD_S_DIV, DIV)
// What x op= y does when x is not a real: x += y appends strings (xopy_text).
#define XOPY_TEXT_ADD goto xopy_text
#define XOPY_TEXT_SUB FALLBACK()
#define XOPY_TEXT_MUL FALLBACK()
#define XOPY_TEXT_DIV FALLBACK()
// x op= y
#define G_XOPY_S(NAME, OP)                               \
    L_##NAME: {                                          \
        ScriptValue& v_ = lv[pc->b].v.value;             \
        if (__builtin_expect(v_.kind != VALUE_REAL, 0)) XOPY_TEXT_##OP; \
        double y_;                                       \
        READ_G(pc[pc->ga], y_);                          \
        double x_ = v_.real;                             \
        if (!(XY_OK_##OP)) FALLBACK();                   \
        v_.real = XY_##OP;                               \
        pc += 4;                                         \
        DISPATCH();                                      \
    }
#define G_XOPY_I(NAME, OP)                                  \
    L_##NAME: {                                             \
        NODE_I(*pc, node, false);                           \
        if (__builtin_expect(node->value.kind != VALUE_REAL, 0)) XOPY_TEXT_##OP; \
        double y_;                                          \
        READ_G(pc[pc->ga], y_);                             \
        double x_ = node->value.real;                       \
        if (!(XY_OK_##OP)) FALLBACK();                      \
        node->value.real = XY_##OP;                         \
        pc += 4;                                            \
        DISPATCH();                                         \
    }
    G_XOPY_S(G_XOPY_S_ADD, ADD)
    G_XOPY_S(G_XOPY_S_SUB, SUB)
    G_XOPY_S(G_XOPY_S_MUL, MUL)
    G_XOPY_S(G_XOPY_S_DIV, DIV)
    G_XOPY_I(G_XOPY_I_ADD, ADD)
    G_XOPY_I(G_XOPY_I_SUB, SUB)
    G_XOPY_I(G_XOPY_I_MUL, MUL)
    G_XOPY_I(G_XOPY_I_DIV, DIV)
// x += y with two strings (the head reads x: a slot or a user variable): y onto x's text
// where it lies (y may be x).
xopy_text: {
    ScriptValue* x_;
    if (pc->vk == VK_SLOT) {
        x_ = &lv[pc->b].v.value;
    } else {
        NODE_I(*pc, node, false);
        x_ = &node->value;
    }
    const uint8_t* y_ = GroupRead(pc[pc->ga], lv, argv, argc, selfVars);
    if (x_->kind != VALUE_STRING || !y_ || VKind(y_) != VALUE_STRING) FALLBACK();
    const char* t_ = VText(y_);
    Value_Append(x_, t_, t_ ? std::strlen(t_) : 0);
    pc += 4;
    DISPATCH();
}

// x = y op z, x = y op k
#define G_XYZ(NAME, OP, STORE)                 \
    L_##NAME: {                                \
        double x_, y_;                         \
        READ_G(*pc, x_);                       \
        READ_G(pc[1], y_);                     \
        if (!(XY_OK_##OP)) FALLBACK();         \
        STORE(pc[3], XY_##OP);                 \
        pc += 4;                               \
        DISPATCH();                            \
    }
    G_XYZ(G_XYZ_S_ADD, ADD, STORE_S)
    G_XYZ(G_XYZ_S_SUB, SUB, STORE_S)
    G_XYZ(G_XYZ_S_MUL, MUL, STORE_S)
    G_XYZ(G_XYZ_S_DIV, DIV, STORE_S)
    G_XYZ(G_XYZ_I_ADD, ADD, STORE_I)
    G_XYZ(G_XYZ_I_SUB, SUB, STORE_I)
    G_XYZ(G_XYZ_I_MUL, MUL, STORE_I)
    G_XYZ(G_XYZ_I_DIV, DIV, STORE_I)
#define G_XYK(NAME, STORE, OP)                 \
    L_##NAME: {                                \
        double x_;                             \
        READ_G(*pc, x_);                       \
        STORE(pc[3], OP(x_));                  \
        pc += 4;                               \
        DISPATCH();                            \
    }
    STAMP_K6(G_XYK, G_XYK_S, STORE_S)
    STAMP_K6(G_XYK, G_XYK_I, STORE_I)

L_G_STOREK_S:
    SlotStoreReal(lv + pc[1].b, pc->gk);
    pc += 2;
    DISPATCH();
L_G_STOREK_I: {
    STORE_I(pc[1], pc->gk);
    pc += 2;
    DISPATCH();
}
L_G_MOVE_S: {
    const uint8_t* p = GroupRead(*pc, lv, argv, argc, selfVars);
    if (!p) FALLBACK();
    VMLocal* l = lv + pc[1].b;
    if (l->v.value.kind == VM_UNSET) {
        l->v.value = Value_Real(0.0);
        l->order = ++g_VMLocalOrder;
    }
    CopyInto(&l->v.value, VLoad(p));
    pc += 2;
    DISPATCH();
}
L_G_MOVE_I: {
    const uint8_t* p = GroupRead(*pc, lv, argv, argc, selfVars);
    if (!p) FALLBACK();
    ScriptValue v = VLoad(p); // before a node may be made
    NODE_I(pc[1], node, true);
    CopyInto(&node->value, v);
    pc += 2;
    DISPATCH();
}

// (Two dispatches, not one computed target: the next op's address must come from the branch
// predictor, not wait for the comparison.)
#define G_FOR(NAME, UNUSED, CMP)                             \
    L_##NAME: {                                              \
        ScriptValue& v_ = lv[pc->b].v.value;                 \
        if (v_.kind != VALUE_REAL) FALLBACK();               \
        double x_ = v_.real + pc->gk;                        \
        v_.real = x_;                                        \
        if (__builtin_expect(!CMP(x_ - pc->gk2), 0)) {      \
            pc = pc->gt; /* the test failed: out of the loop */ \
            TICK_DISPATCH();                                 \
        }                                                    \
        pc = pc->gt2;                                        \
        TICK_DISPATCH();                                     \
    }
    STAMP_CMP6(G_FOR, G_FOR_S, -)

L_G_REPEAT: {
    int32_t c = int32_t(VM_Get<uint32_t>(sp - 4) - 1u);
    VM_Put(sp - 4, c);
    if (c != 0) BRANCH(pc->gt);
    pc += 5;
    DISPATCH();
}

// s += "text": onto the end of the variable's own string where it lies.
L_G_APPEND_S: {
    ScriptValue& v = lv[pc->b].v.value;
    if (v.kind != VALUE_STRING) FALLBACK();
    Value_Append(&v, pc[1].k.s, size_t(pc->gi));
    pc += 4;
    DISPATCH();
}
L_G_APPEND_I: {
    NODE_I(*pc, node, false);
    if (node->value.kind != VALUE_STRING) FALLBACK();
    Value_Append(&node->value, pc[1].k.s, size_t(pc->gi));
    pc += 4;
    DISPATCH();
}

// A constant text added to a linked sum: gathered without a copy of its own first.
L_G_GATHER: {
    uint8_t* left = sp - VSIZE;
    const int32_t lk = VKind(left);
    if (lk == VM_PENDING) {
        PendingSet(left, PendingLeft(left), Value_SumAdd(PendingAcc(left), pc->k.s, size_t(pc->gi)));
    } else if (lk == VALUE_STRING) {
        PendingSet(left, VText(left), pc->k.s ? MEM_STRDUPN(pc->k.s, size_t(pc->gi)) : nullptr);
    } else {
        FALLBACK();
    }
    pc += 2;
    DISPATCH();
}

// a[i] with the scope a constant (self, a plain name, global)
#define IDX_INDEX(head, index)                                            \
    int32_t index;                                                        \
    if ((head).gi == 2) {                                                 \
        const ScriptValue& i_ = lv[(&(head))[1].b].v.value;               \
        if (i_.kind != VALUE_REAL) FALLBACK();                            \
        index = VM_TruncInt32(i_.real);                                   \
    } else if ((head).gi == 0) {                                          \
        index = (&(head))[1].k.i;                                         \
    } else {                                                              \
        const uint8_t* p_ = GroupRead((&(head))[1], lv, argv, argc, selfVars); \
        if (!p_ || VKind(p_) != VALUE_REAL) FALLBACK();                   \
        index = VM_TruncInt32(VReal(p_));                                 \
    }
#define IDX_LIST(head, x, list)                                           \
    CVariableList* list = selfVars;                                       \
    if ((head).k.i == SCOPE_GLOBAL) {                                     \
        list = Variable_Global_List();                                    \
    } else if ((head).k.i == SCOPE_PLAIN && (x).gen != g_VariableDeclarations) { \
        if (Variable_Global_IsDeclared((x).a)) {                          \
            list = Variable_Global_List();                                \
        } else {                                                          \
            (x).gen = g_VariableDeclarations;                             \
        }                                                                 \
    }                                                                     \
    if (!list) FALLBACK();
#define G_IDXR(NAME, PUSH)                                                 \
    L_##NAME: {                                                            \
        const VMOp& x = pc[pc->ga];                                        \
        IDX_INDEX(*pc, index);                                             \
        IDX_LIST(*pc, x, list);                                            \
        const CVariable* v = list->Find(x.a);                              \
        const ScriptValue* element = v ? CVariableList::Element(v, index) : nullptr; \
        if (!element) FALLBACK();                                          \
        PUSH(sp, *element, x.link);                                        \
        sp += VSIZE;                                                       \
        pc += pc->ga + 1;                                                  \
        DISPATCH();                                                        \
    }
    G_IDXR(G_IDXR, PushRead) // (a linked sum's first read shares)
L_G_IDXW: {
    const VMOp& x = pc[pc->ga];
    IDX_INDEX(*pc, index);
    IDX_LIST(*pc, x, list);
    CVariable* v = list->Find(x.a);
    ScriptValue* slot = CVariableList::Slot(v ? v : list->FindOrCreate(x.a), index);
    if (!slot) FALLBACK();
    int32_t size = x.t2 == VMT_VAR ? VSIZE : VM_NativeSize(x.t2);
    ScriptValue val = x.t2 == VMT_VAR ? VLoad(sp - VSIZE) : TakeValue(x.t2, sp - size);
    if (slot->kind == VALUE_STRING && slot->text) MEM_FREE(slot->text);
    slot->kind = val.kind;
    slot->text = val.kind == VALUE_STRING ? val.text : nullptr; // the text moves
    slot->real = val.real;
    sp -= size;
    pc += pc->ga + 1;
    DISPATCH();
}
L_G_RETV: {
    const uint8_t* p = GroupRead(*pc, lv, argv, argc, selfVars);
    if (!p) FALLBACK();
    rv = VLoad(p);
    if (rv.kind == VALUE_STRING) {
        rv.text = rv.text ? MEM_STRDUP(rv.text) : nullptr;
    } else {
        rv.text = nullptr;
    }
    FreeLayout(pc[1].k.layout, g_stack + fr->base);
    goto leave_frame;
}
// What x op= a[i] does when x is not a real: x += a[i] appends strings (xidx_text).
#define XIDX_TEXT_ADD goto xidx_text
#define XIDX_TEXT_SUB FALLBACK()
#define XIDX_TEXT_MUL FALLBACK()
#define XIDX_TEXT_DIV FALLBACK()
// x op= a[i]: the scope and index ops follow the head
#define G_XIDX(NAME, OP)                                                 \
    L_##NAME: {                                                          \
        ScriptValue& v_ = lv[pc->b].v.value;                             \
        if (__builtin_expect(v_.kind != VALUE_REAL, 0)) XIDX_TEXT_##OP;  \
        const VMOp& x = pc[pc->ga];                                      \
        IDX_INDEX(pc[1], index);                                         \
        IDX_LIST(pc[1], x, list);                                        \
        const CVariable* n_ = list->Find(x.a);                           \
        const ScriptValue* e_ = n_ ? CVariableList::Element(n_, index) : nullptr; \
        if (!e_ || e_->kind != VALUE_REAL) FALLBACK();                   \
        double x_ = v_.real, y_ = e_->real;                              \
        if (!(XY_OK_##OP)) FALLBACK();                                   \
        v_.real = XY_##OP;                                               \
        pc += pc->ga + 3;                                                \
        DISPATCH();                                                      \
    }
    G_XIDX(G_XIDX_S_ADD, ADD)
    G_XIDX(G_XIDX_S_SUB, SUB)
    G_XIDX(G_XIDX_S_MUL, MUL)
    G_XIDX(G_XIDX_S_DIV, DIV)
// x += a[i] with two strings: the element onto x's text where it lies.
xidx_text: {
    ScriptValue& v_ = lv[pc->b].v.value;
    if (v_.kind != VALUE_STRING) FALLBACK();
    const VMOp& x = pc[pc->ga];
    IDX_INDEX(pc[1], index);
    IDX_LIST(pc[1], x, list);
    const CVariable* n_ = list->Find(x.a);
    const ScriptValue* e_ = n_ ? CVariableList::ElementAt(n_, index) : nullptr;
    if (!e_ || e_->kind != VALUE_STRING) FALLBACK();
    Value_Append(&v_, e_->text, e_->text ? std::strlen(e_->text) : 0);
    pc += pc->ga + 3;
    DISPATCH();
}
L_G_PUSHINT: {
    const uint8_t* p = GroupRead(*pc, lv, argv, argc, selfVars);
    if (!p || VKind(p) != VALUE_REAL) FALLBACK();
    VM_Put(sp, VM_TruncInt32(VReal(p)));
    sp += 4;
    pc += 2;
    DISPATCH();
}

// ---- Linked sums (see VM_Internal.h): the add and the store, out of the way of the rest ----
link_add:
    __attribute__((cold));
    {
    // An add of a linked sum (its fast paths found no two reals): two strings gather the right
    // one into the sum, left pending for the next add or the store; anything else joins a
    // pending sum and runs the general form, which gives the result or the error.
    uint8_t* right = sp - (pc->t1 == VMT_STRING ? SSIZE : VSIZE);
    uint8_t* left = right - VSIZE;
    const int32_t lk = VKind(left);
    char* r = nullptr;
    bool text = true;
    if (pc->t1 == VMT_STRING) {
        r = VM_Get<char*>(right);
    } else if (VKind(right) == VALUE_STRING) {
        r = VText(right);
    } else {
        text = false;
    }
    if (text && lk == VM_PENDING) {
        PendingSet(left, PendingLeft(left), Value_SumAdd(PendingAcc(left), r, r ? std::strlen(r) : 0));
        MEM_FREE(r);
        sp = left + VSIZE;
        NEXT();
    }
    if (text && lk == VALUE_STRING) {
        PendingSet(left, VText(left), r); // the right operand's block gathers what follows
        sp = left + VSIZE;
        NEXT();
    }
    if (lk == VM_PENDING) VSet(left, VALUE_STRING, Value_SumJoin(PendingLeft(left), PendingAcc(left)), 0.0);
    uint8_t* res = VM_Binary(uint32_t(pc->a), pc->t1, pc->t2, sp, &error);
    if (!res) goto raise;
    sp = res;
    NEXT();
}
// The store of a linked sum (any form: the store's own op is PlainStore): a pending sum is
// appended in place when the variable written still holds the text the sum's read shared,
// else joined and stored by the store's own handler, as is any other value.
L_POP_LINK:
    __attribute__((cold));
    {
    uint8_t* p = sp;
    int32_t index = 0, scope = pc->b;
    uint8_t* value = WriteParts(pc->k.i, VSIZE, &p, &index, &scope);
    if (VKind(value) != VM_PENDING) goto *kLabels[PlainStore(*pc)];
    ScriptValue* w = nullptr;
    if (pc->vk == VK_SLOT) {
        VMLocal* l = lv + pc->b;
        if (l->v.value.kind != VM_UNSET) w = CVariableList::ElementAt(&l->v, index);
    } else if (pc->vk != VK_NONE) {
        CVariableList* list = UserList(*pc, selfVars);
        CVariable* n_ = list ? list->Find(pc->a) : nullptr;
        w = n_ ? &n_->value : nullptr;
    } else {
        w = VM_VariableStorage(self, other, FRAME_INDEX(), scope, pc->a, index);
    }
    if (Value_SumStore(w, PendingLeft(value), PendingAcc(value))) {
        sp = p;
        NEXT();
    }
    VSet(value, VALUE_STRING, Value_SumJoin(PendingLeft(value), PendingAcc(value)), 0.0);
    goto *kLabels[PlainStore(*pc)];
}

// ---- Errors and the end of the entry ----
raise:
    SAVE();
    RaiseError(error);
    // Quiet mode: the entry stops here.
unwind: {
    // Each frame's stack is released by the layout where it stands: the running frame's
    // before its instruction, a calling frame's before its call less the arguments that
    // went to the callee (which release them with the callee's locals).
    e = &g_entries[size_t(entry)];
    fr = &Top();
    fr->pc = pc;
    for (int32_t k = int32_t(g_frames.size()) - 1; k >= e->frameBase; --k) {
        VMFrame& f = g_frames[size_t(k)];
        const VMLayout* l = f.prog->layouts[size_t(f.prog->IndexOf(f.pc))];
        if (k != int32_t(g_frames.size()) - 1) {
            for (int32_t a = 0; a < f.pc->a && l; ++a) l = l->below; // the call's arguments
        }
        if (l) FreeLayout(l, g_stack + f.base);
        if (k != e->frameBase) {
            VM_FreeFrameLocals(f);
            ReleaseArguments(f);
        }
    }
    while (Code_Arguments_Window() > e->argWindow) Code_Arguments_PopWindow();
    g_frames.resize(size_t(e->frameBase) + 1);
    goto finished;
}
finished:
    g_branchCount = ticks;
    return kLabels;

#undef SAVE
#undef RELOAD
#undef DISPATCH
#undef NEXT
#undef FAIL
#undef TICK_DISPATCH
#undef BRANCH
#undef FALLBACK
}

} // namespace

const void* const* VM_HandlerTable() { return Run(-1, nullptr); }

// [SECTION] Entry points =======================================================================

void VM_Execute(const char* name, CInstance* self, CInstance* other, VMBuffer* code, ScriptValue* result,
                VMBuffer* debugInfo, const char* source)
{
    if (g_StartupOptions.trace) Console_Output("script = %s\n", name ? name : "");
    if (!code) return;
    const bool prepared = code->m_prepareState == 1 || VM_Prepare(code);
    if (!prepared && code->m_prepareState == 0) return; // a quit stopped the preparation
    if (!g_CodeArgs) Code_Arguments(); // the slots an entry's own frame reads

    Entry e;
    e.frameBase = int32_t(g_frames.size());
    e.stackBase = g_entries.empty() ? 0 : g_stackTop;
    e.withBase = VM_WithDepth();
    e.argWindow = Code_Arguments_Window();
    e.argCount = Code_GetArgumentCount();
    e.abort = false;

    if (!prepared || int32_t(g_entries.size()) >= kMaxEntries) {
        // Refused before any instruction runs: reported as a run-time error of this code.
        VMFrame f{};
        f.argMode = VMARGS_WINDOW;
        f.argCount = 16;
        f.self = self;
        f.other = other;
        f.withBase = e.withBase;
        f.name = name ? name : "";
        f.debugInfo = debugInfo;
        f.source = source ? source : "";
        g_entries.push_back(e);
        g_frames.push() = f;
        char text[1024];
        if (!prepared) {
            std::snprintf(text, sizeof text, "Invalid byte code in %s: %s", f.name, VM_PrepareError(code));
        } else {
            std::snprintf(text, sizeof text, "%s", kStackOverflow);
        }
        RaiseError(text);
        g_frames.pop_back();
        g_entries.pop_back();
        return;
    }

    VMProgram* prog = code->m_pProgram;
    const uint32_t localsOff = Align8(e.stackBase);
    const uint32_t base = localsOff + uint32_t(prog->localBytes);
    EnsureStack(base + uint32_t(prog->maxBytes));
    if (prog->localCount > 0) InitSlots(reinterpret_cast<VMLocal*>(g_stack + localsOff), prog->localCount);
    g_entries.push_back(e);
    VMFrame& f = g_frames.push();
    f.prog = prog;
    f.pc = prog->ops.data();
    f.base = base;
    f.localsOff = localsOff;
    f.argsOff = 0;
    f.argCount = 16;
    f.savedArgCount = 0;
    f.argMode = VMARGS_WINDOW;
    f.self = self;
    f.other = other;
    f.extra = nullptr;
    f.withBase = e.withBase;
    f.unit = nullptr;
    f.name = name ? name : "";
    f.debugInfo = debugInfo;
    f.source = source ? source : "";
    Run(int32_t(g_entries.size()) - 1, result);

    // Back to the state before the entry, whatever way it ended.
    Entry& done = g_entries.back();
    VMFrame& own = g_frames[size_t(done.frameBase)];
    if (own.prog->localCount > 0 || own.extra) VM_FreeFrameLocals(own);
    if (VM_WithDepth() != done.withBase) VM_WithUnwind(done.withBase);
    while (Code_Arguments_Window() > done.argWindow) Code_Arguments_PopWindow();
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

namespace {
void FrameInfo(const VMFrame& f, VMFrameInfo* out)
{
    if (f.unit) {
        out->name = f.unit->GetName();
        out->debugInfo = f.unit->m_pDebugInfo;
        out->source = f.unit->m_pSourceCopy ? f.unit->m_pSourceCopy : f.unit->GetText();
    } else {
        out->name = f.name;
        out->debugInfo = f.debugInfo;
        out->source = f.source;
    }
    out->code = f.prog ? f.prog->code : nullptr;
    out->offset = f.pc ? int32_t(f.pc->off) : 0;
    out->self = f.self;
    out->other = f.other;
    out->locals = nullptr;
}
} // namespace

bool VM_GetFrame(int32_t level, VMFrameInfo* out)
{
    if (g_entries.empty() || level < 0) return false;
    int32_t k = int32_t(g_frames.size()) - 1 - level;
    if (k < g_entries.back().frameBase) return false;
    const VMFrame& f = g_frames[size_t(k)];
    FrameInfo(f, out);
    out->locals = VM_FrameLocalsList(f, level);
    return true;
}

bool VM_GetEntryFrame(int32_t entry, int32_t level, VMFrameInfo* out)
{
    if (entry < 0 || size_t(entry) >= g_entries.size() || level < 0) return false;
    const int32_t end = size_t(entry) + 1 < g_entries.size() ? g_entries[size_t(entry) + 1].frameBase : int32_t(g_frames.size());
    const int32_t k = end - 1 - level;
    if (k < g_entries[size_t(entry)].frameBase) return false;
    FrameInfo(g_frames[size_t(k)], out);
    return true;
}

int32_t VM_FrameCount()
{
    if (g_entries.empty()) return 0;
    return int32_t(g_frames.size()) - g_entries.back().frameBase;
}

int32_t VM_EntryDepth() { return int32_t(g_entries.size()); }

void VM_SetProcessMessagesHook(void (*hook)()) { g_processMessages = hook; }

void VM_ProcessMessages()
{
    if (g_processMessages) g_processMessages();
}

void VM_RequestDrain() { g_drainRequested.store(1, std::memory_order_relaxed); }

bool VM_TakeDrainRequest()
{
    if (__builtin_expect(g_drainRequested.load(std::memory_order_relaxed) == 0, 1)) return false;
    g_drainRequested.store(0, std::memory_order_relaxed);
    return true;
}

void VM_AbortRunning()
{
    for (Entry& x : g_entries) x.abort = true;
}

void VM_Free()
{
    VM_FreeFrameLocalsLists();
    MEM_FREE(g_stack);
    g_stack = nullptr;
    g_stackCap = g_stackTop = 0;
    g_frames.clear();
    g_entries.clear();
    g_branchCount = 0;
}
