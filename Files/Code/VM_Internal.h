// The virtual machine's private structures, shared by its files (see Files/Code/VM.h).
//
// A unit is verified and prepared once into a VMProgram: one VMOp per instruction of the byte
// code (plus a final END), each carrying its handler and its operands in native form. The
// verifier follows every path through the unit and fixes the layout of the operand stack
// before each instruction (VMLayout): which slot types lie between the frame's base and the
// top. So every handler knows statically what it pops, strings and with-records left on the
// stack can be released when a frame ends early, and the stack never needs a per-instruction
// bounds check (a frame reserves its unit's greatest depth when it starts).
//
// Preparation also gives each `var` name of the unit a slot of the frame (VMLocal), picks a
// handler for each variable access by where the variable lives, and makes instruction groups
// (VMProgram::groups, the G_* handlers).
//
// The operand stack grows upwards in one program-wide block; slots are packed at their native
// sizes (real and long 8, float, int and bool 4, string 8 (a pointer), variable 24 (a
// ScriptValue)), so every load and store goes through memcpy. A frame in the block: the
// arguments of a script called by the machine, the local slots, then its operand stack. Frame
// bases are offsets into the block, which moves when it grows. With-records live on a stack
// of their own; the operand stack only carries a zero-size marker for them in the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <emmintrin.h>
#include <string>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_List.h"

class CCode;
class CInstance;
class CVariableList;

// ---- Slot types ---------------------------------------------------------------------------
// The byte code's type codes 0..6, plus the with-record marker.
constexpr uint8_t SLOT_WITH = 7;

inline int32_t VM_NativeSize(int32_t type)
{
    static const int32_t sizes[8] = {8, 4, 4, 8, 4, int32_t(sizeof(ScriptValue)), int32_t(sizeof(char*)), 0};
    return type >= 0 && type < 8 ? sizes[type] : 0;
}

// The slot sizes of the byte code's own layout (what the shuffle's and dup's counts measure).
inline int32_t VM_ByteCodeSize(int32_t type)
{
    static const int32_t sizes[8] = {8, 4, 4, 8, 4, 16, 4, -1};
    return type >= 0 && type < 8 ? sizes[type] : -1;
}

constexpr int32_t VSIZE = int32_t(sizeof(ScriptValue));
constexpr int32_t SSIZE = int32_t(sizeof(char*));

template <class T>
inline T VM_Get(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
inline void VM_Put(uint8_t* p, const T& v)
{
    std::memcpy(p, &v, sizeof v);
}

// Variable slots, field by field: a whole-record copy right after field stores would stall on
// store forwarding, and the padding after the kind is never read.
constexpr size_t VOFF_KIND = offsetof(ScriptValue, kind);
constexpr size_t VOFF_TEXT = offsetof(ScriptValue, text);
constexpr size_t VOFF_REAL = offsetof(ScriptValue, real);

inline int32_t VKind(const uint8_t* p) { return VM_Get<int32_t>(p + VOFF_KIND); }
inline char* VText(const uint8_t* p) { return VM_Get<char*>(p + VOFF_TEXT); }
inline double VReal(const uint8_t* p) { return VM_Get<double>(p + VOFF_REAL); }
inline void VSet(uint8_t* p, int32_t kind, char* text, double real)
{
    VM_Put(p + VOFF_KIND, kind);
    VM_Put(p + VOFF_TEXT, text);
    VM_Put(p + VOFF_REAL, real);
}
// A variable slot of kind real leaves its text undefined (one store less a push): whoever
// takes a ScriptValue out of a slot keeps the text of strings only (VLoad does).
inline void VSetReal(uint8_t* p, double real)
{
    VM_Put(p + VOFF_KIND, int32_t(VALUE_REAL));
    VM_Put(p + VOFF_REAL, real);
}
inline ScriptValue VLoad(const uint8_t* p)
{
    int32_t kind = VKind(p);
    return ScriptValue{kind, kind == VALUE_STRING ? VText(p) : nullptr, VReal(p)};
}
inline void VStore(uint8_t* p, const ScriptValue& v) { VSet(p, v.kind, v.text, v.real); }
template <>
inline ScriptValue VM_Get<ScriptValue>(const uint8_t* p)
{
    return VLoad(p);
}
template <>
inline void VM_Put<ScriptValue>(uint8_t* p, const ScriptValue& v)
{
    VStore(p, v);
}

// ---- Layouts ------------------------------------------------------------------------------
// The operand stack before one instruction: a chain of slots from the top down. Nodes are
// interned per program, so equal layouts are one node.
struct VMLayout {
    const VMLayout* below; // null for the empty stack
    uint8_t type;          // slot type of the top (0..6 or SLOT_WITH); 0xFF for the empty stack
    uint8_t owns;          // this slot or one below owns something (a string, variable or with)
    int32_t depth;         // slots
    int32_t bytes;         // native bytes from the frame base to the top of this slot
    int32_t codeBytes;     // the same in the byte code's sizes
    int32_t withs;         // with-records in the layout
};

// ---- Prepared instructions ------------------------------------------------------------------
// X(name): the handlers of the dispatch loop. ORDER: the loop's label table follows this list.
//
// Plain handlers, one per instruction: constants, variable reads (PUSHV_*) and writes (POP_*)
// by where the variable lives, the stack, branches, calls, with-loops and operators. POP_LINK
// is the store of a linked sum (below), whatever its form.
//
// Group handlers (G_*), one per group of instructions run as one (see VMProgram::groups);
// the letter after the group's name says where its variable lives: S a `var` local's slot,
// A an argument of the running script, I a user variable of self, of a plain name or global.
//   INC      x += k                      push.v x; push k; add/sub; pop.v.v x
//   CMPK     x cmp k, then branch        push.v x; push k; cmp (its branch fused)
//   CMPXY    x cmp y, then branch        push.v x; push.v y; cmp.v.v (its branch fused)
//   VALK     x op k pushed               push.v x; push k; op
//   TOPK     top op= k                   push k; op
//   ACC      x = below op top            op.v.v; pop.v.v x
//   ACCD     x op= top                   the same, where below is a copy of the local x
//                                        pushed earlier (x cannot change in between)
//   XOPY     x op= y                     push.v x; push.v y; op.v.v; pop.v.v x
//   XYZ      x = y op z                  push.v y; push.v z; op.v.v; pop.v.v x
//   XYK      x = y op k                  push.v y; push k; op; pop.v.v x
//   STOREK   x = k                       push k; pop.v x
//   MOVE     x = y                       push.v y; pop.v.v x
//   FOR      x += k; x cmp k2; branch    INC, then b back to CMPK on x (the for statement's
//                                        step, jump and test: one op a round)
//   REPEAT   count down, branch          push.i 1; sub.i.i; dup.i; conv.i.b; bt
//   APPEND   s += "text"                 push.v s; push.s; add.s.v; pop.v.v s (in place)
//   IDXR     a[i] pushed                 push.e scope; index; push.v a
//   IDXW     a[i] = value                push.e scope; index; pop.v a
//   XOPY and APPEND append strings in place at once (x += y, s += "text").
//   GATHER   + "text" in a linked sum    push.s; add.s.v (the text onto the pending sum below)
//   XIDX     x op= a[i]                  push.v x; IDXR; op.v.v; pop.v.v x
//   PUSHINT  x as an int                 push.v x; conv.v.i
//   RETV     return x                    push.v x; ret.v
// Comparisons and operators are part of the handler's name (preparation knows them), and
// constants are converted when the unit is prepared.
//
// Linked sums (VMOp::link and the store's code POP_LINK, not groups: a breakpoint or a
// stepping debugger leaves them as they are). A sum whose leftmost operand is a read of the
// variable that the sum is then stored into, x = x + a + b ... and x += a in every form of x
// (a local or its array, an instance variable, a global, through an instance id or an object,
// an element of any array), has its read, its additions and its store linked when the unit is
// prepared (from the byte code, whoever wrote it), and appends to x's string in place: the
// read pushes a string as a second holder of x's block (MemoryManager::Share) instead of a
// copy; a linked add of two strings (its general form, reached when its operands are not two
// reals) keeps the sum as a pending slot (VM_PENDING: that text, followed by the right
// operands gathered in a block of the slot's own; GATHER adds a constant text), so no add
// copies x; the store appends the gathered block at the end of x's text where it lies when x
// still holds the shared block (Value_SumStore), and otherwise joins the sum and runs the
// store's own op (PlainStore). Any other operand (a number, an error) joins the pending slot
// first and runs the add's own general form, so results, errors and the order of everything
// are as without links. Only the linked add or store right after it ever sees a pending slot
// (nothing jumps in between), and the unwinding of an error releases it (FreeOwned).
#define VM_CMP6(X, G) X(G##_LT) X(G##_LE) X(G##_EQ) X(G##_NE) X(G##_GE) X(G##_GT)
#define VM_ARITH6(X, G) X(G##_ADD) X(G##_SUB) X(G##_MUL) X(G##_DIV) X(G##_MOD) X(G##_REM)
#define VM_ARITH4(X, G) X(G##_ADD) X(G##_SUB) X(G##_MUL) X(G##_DIV)
#define VM_INTERNAL_OPS(X) \
    X(NOP) X(END) X(ERROR) X(BREAKPOINT) \
    X(PUSH_D) X(PUSH_F) X(PUSH_I) X(PUSH_L) X(PUSH_S) \
    X(PUSHV_SLOT) X(PUSHV_SLOTX) X(PUSHV_SELF) X(PUSHV_GLOBAL) X(PUSHV_PLAIN) X(PUSHV_ARG) X(PUSHV_BUILTIN) \
    X(PUSHV_ANY) \
    X(POP_SLOT) X(POP_SLOTX) X(POP_SELF) X(POP_GLOBAL) X(POP_PLAIN) X(POP_BUILTIN) X(POP_ANY) X(POP_LINK) \
    X(POPZ) X(POPZ_S) X(POPZ_V) X(DUP) X(DUP_S) X(DUP_V) X(SHUFFLE) \
    X(B) X(BT) X(BF) \
    X(CALL_BUILTIN) X(CALL_SCRIPT) X(CALL_EXT) \
    X(RET) X(EXIT) \
    X(PUSHENV) X(POPENV) X(POPENV_LEAVE) \
    X(ARRAY_CHECK) \
    X(BINARY) X(COMPARE) X(UNARY) X(CONV) \
    X(ADD_II) X(SUB_II) X(MUL_II) X(AND_II) X(OR_II) X(XOR_II) X(SHL_II) X(SHR_II) X(REM_II) X(MOD_II) \
    X(ADD_DD) X(SUB_DD) X(MUL_DD) X(DIV_DD) \
    X(ADD_VV) X(SUB_VV) X(MUL_VV) X(DIV_VV) X(MOD_VV) X(REM_VV) \
    X(ADD_IV) X(SUB_IV) X(MUL_IV) X(ADD_DV) X(SUB_DV) X(MUL_DV) X(DIV_DV) \
    X(ADD_VI) X(SUB_VI) X(MUL_VI) X(ADD_VD) X(SUB_VD) X(MUL_VD) X(DIV_VD) \
    X(MOD_IV) X(DIV_IV) X(REM_IV) X(AND_IV) X(OR_IV) X(XOR_IV) \
    X(CMP_II) X(CMP_VV) X(CMP_IV) X(CMP_VI) X(CMP_DV) X(CMP_VD) \
    X(CONV_IV) X(CONV_DV) X(CONV_BV) X(CONV_VB) X(CONV_IB) X(CONV_BI) X(CONV_VI) X(CONV_DI) \
    X(CONV_ID) \
    X(G_INC_S) X(G_INC_I) \
    VM_CMP6(X, G_CMPK_S) VM_CMP6(X, G_CMPK_A) VM_CMP6(X, G_CMPK_I) X(G_CMPXY) \
    VM_ARITH6(X, G_VALK_S) VM_ARITH6(X, G_VALK_A) VM_ARITH6(X, G_VALK_I) VM_ARITH6(X, G_TOPK) \
    VM_ARITH4(X, G_ACC_S) VM_ARITH4(X, G_ACC_I) VM_ARITH4(X, G_ACCD_S) VM_ARITH4(X, G_XOPY_S) VM_ARITH4(X, G_XOPY_I) \
    VM_ARITH4(X, G_XIDX_S) VM_ARITH4(X, G_XYZ_S) VM_ARITH4(X, G_XYZ_I) VM_ARITH6(X, G_XYK_S) VM_ARITH6(X, G_XYK_I) \
    X(G_STOREK_S) X(G_STOREK_I) X(G_MOVE_S) X(G_MOVE_I) \
    VM_CMP6(X, G_FOR_S) X(G_REPEAT) X(G_APPEND_S) X(G_APPEND_I) X(G_IDXR) X(G_IDXW) X(G_PUSHINT) X(G_RETV) \
    X(G_GATHER)


enum VMInternalOp : uint16_t {
#define VM_INTERNAL_ENUM(n) VMI_##n,
    VM_INTERNAL_OPS(VM_INTERNAL_ENUM)
#undef VM_INTERNAL_ENUM
    VMI_COUNT
};

// The handler's name ("PUSHV_SLOT", "G_FOR_S_LT", ...), for the listing of prepared code.
const char* VM_InternalOpName(uint16_t code);

struct VMOp;
class VMProgram;

// A fast comparison followed by bt or bf that nothing else jumps to tests and branches at
// once (VMOp::b of the comparison; k.target is the branch's target).
enum : int32_t { VMCMP_PUSH = 0, VMCMP_BF = 1, VMCMP_BT = 2 };

// Flags of variable access ops (VMOp::k.i).
enum : int32_t {
    VMV_INDEX = 1,     // the array index is popped
    VMV_SCOPE = 2,     // the scope is popped
    VMV_VALUE_TOP = 4, // pop.i form: the value lies above the reference parts
    VMV_INSTANCE = 8,  // 100000 is added to the popped scope
    VMV_ARGS = 16,     // a row of the script's arguments: they go to the argument slots first
};

// Where the variable of a variable op lives (VMOp::vk), for the groups.
enum : uint8_t { VK_NONE = 0, VK_SLOT, VK_ARG, VK_SELF, VK_PLAIN, VK_GLOBAL };

struct VMOp {
    const void* h;     // the handler (threaded code): its own, or its group's at a group's head
    union {
        double d;
        int64_t l;
        float f;
        int32_t i;
        const char* s;
        const VMOp* target;
        const VMLayout* layout;
        BuiltinRoutine fn;
        VMProgram* prog; // a script call: the callee's program, while gen is g_VMCodeGeneration
    } k;
    int32_t a;         // small operand by op (variable id or slot, count, opcode, native sizes ...)
    int32_t b;         // second small operand (scope, function id, argument index ...)
    uint32_t off;      // byte offset of the instruction in its unit
    uint16_t code;     // VMInternalOp
    uint8_t t1, t2;    // the instruction's types
    mutable uint32_t gen; // plain names: g_VariableDeclarations when "not declared" was seen
    uint8_t vk;        // VK_*: where a variable op's variable lives
    uint8_t back;      // a branch (or the group's branch) that leads backwards: it ticks
    uint8_t inv;       // group: the branch is taken when the comparison is false
    uint8_t kint;      // group: the constant gk is a whole int32 (gi)
    uint8_t binary;    // built from a binary operator (a = its opcode)
    int8_t ga;         // group: the op of its second variable, counted from the head
    uint8_t link;      // part of a linked sum: its read (which shares), an add or its store
    int32_t gi;        // group: gk as an int (kint), a comparison opcode, a text length ...
    // Group data, at a group's head only.
    double gk;         // constant (an INC's step, negated for sub)
    union {
        double gk2;    // second constant (FOR: the test's)
        uint64_t gm;   // mod by the whole constant gi: its reciprocal (VM_ModByMagic)
    };
    const VMOp* gt;    // where the group's branch goes when taken
    union {
        const VMOp* gt2; // where it goes otherwise (FOR: the loop body)
        CCode* unit;     // a script call: the callee's unit (with k.prog)
    };
};

// The store op a linked sum's store stands for (VMI_POP_LINK runs it for any other value, and
// for a sum it cannot append in place), by where its variable lives.
inline uint16_t PlainStore(const VMOp& o)
{
    switch (o.vk) {
    case VK_SLOT: return (o.k.i & VMV_INDEX) ? VMI_POP_SLOTX : VMI_POP_SLOT;
    case VK_SELF: return VMI_POP_SELF;
    case VK_GLOBAL: return VMI_POP_GLOBAL;
    case VK_PLAIN: return VMI_POP_PLAIN;
    default: return VMI_POP_ANY;
    }
}

// A `var` local of a running frame: one slot per local name of the unit, fixed when the unit
// is prepared. A slot that was never written holds kind VM_UNSET.
constexpr int32_t VM_UNSET = 0x7E7E;
// The kind of a variable slot that holds a linked sum on its way to its store: the text word
// is the sum's first part (x's text as its read left it), the real word the block of the parts
// gathered after it (see "Linked sums" above).
constexpr int32_t VM_PENDING = 0x7E7D;
inline char* PendingLeft(const uint8_t* p) { return VText(p); }
inline char* PendingAcc(const uint8_t* p) { return VM_Get<char*>(p + VOFF_REAL); }
inline void PendingSet(uint8_t* p, char* left, char* acc)
{
    VM_Put(p + VOFF_KIND, VM_PENDING);
    VM_Put(p + VOFF_TEXT, left);
    VM_Put(p + VOFF_REAL, acc);
}
struct VMLocal {
    CVariable v;        // value and array rows (v.id, v.nextBucket, v.nextAll unused)
    uint32_t order;     // when it was first written (lists for the debugger keep that order)
};

// One group of a unit: the head op index, how many ops follow it in a row (head included),
// and for FOR the op of the test it reaches through the jump back (and its length).
struct VMGroup {
    int32_t head;
    int32_t count;
    int32_t far;      // -1 when none
    int32_t farCount;
};

class VMProgram {
public:
    VMBuffer* code = nullptr;
    std::vector<VMOp> ops;                  // one per instruction, then END
    std::vector<const VMLayout*> layouts;   // before each op (null: unreachable)
    std::vector<int32_t> opAt;              // byte offset / 4 -> op index, -1 inside an operand
    std::deque<VMLayout> nodes;             // the interned layouts
    // Instruction groups run as one: the ops of a group stay as they were and the head's
    // handler is the group's, which falls back to the head's own handler when its fast case
    // does not hold (a string where a number was expected, a missing variable ...). A
    // breakpoint inside a group undoes it (VM_Unfuse); a stepping debugger never runs groups.
    std::vector<VMGroup> groups;
    std::vector<int32_t> localIds;          // slot -> variable id of the unit's `var` locals
    int32_t localCount = 0;                 // localIds.size()
    int32_t localBytes = 0;                 // localCount VMLocal slots
    int32_t maxBytes = 0;                   // greatest native stack depth of the unit
    std::string error;                      // why the unit was refused

    int32_t IndexOf(const VMOp* op) const { return int32_t(op - ops.data()); }
    int32_t LocalCount() const { return localCount; }
    // The slot of local variable id, or -1.
    int32_t SlotOf(int32_t id) const
    {
        for (size_t i = 0; i < localIds.size(); ++i)
            if (localIds[i] == id) return int32_t(i);
        return -1;
    }
};

// Counts the units and prepared forms destroyed: script calls remember their callee while it
// is unchanged.
extern uint32_t g_VMCodeGeneration;

// The handler table of the dispatch loop (VMI_* order).
const void* const* VM_HandlerTable();
// Undoes the groups that cover op index i (a breakpoint is put there).
void VM_Unfuse(VMProgram* prog, int32_t i);
// Lists the prepared form of a unit (its local slots, one line per op, groups marked) to
// console; name may be null.
void VM_ListProgram(tagIConsole* console, const VMProgram* prog, const char* name);

// ---- Arithmetic (VM_Arith.cpp) ----------------------------------------------------------------
// The result type of a binary opcode over (first, second) types, or -1 when the pair is always
// an error (message set). Types are 0..6.
int32_t VM_BinaryResultType(uint32_t opcode, int32_t t1, int32_t t2, const char** message);
// The generic operators over the top of the stack (the second operand below the first).
// They return the new top, or null after an error (message set; the stack left as it was).
uint8_t* VM_Binary(uint32_t opcode, int32_t t1, int32_t t2, uint8_t* sp, const char** message);
uint8_t* VM_Compare(uint32_t opcode, int32_t t1, int32_t t2, uint8_t* sp, const char** message);
uint8_t* VM_Unary(uint32_t opcode, int32_t t1, uint8_t* sp, const char** message);
uint8_t* VM_Convert(int32_t from, int32_t to, uint8_t* sp, const char** message);
// Whether a comparison pair or conversion is valid for the verifier (message when not).
bool VM_ComparePairValid(int32_t t1, int32_t t2, const char** message);
bool VM_ConvertValid(int32_t from, int32_t to, const char** message);
bool VM_UnaryValid(uint32_t opcode, int32_t t1, const char** message);
// The comparison of two reals through the epsilon.
inline bool VM_CompareReal(uint32_t op, double d)
{
    double e = VM_CompareEpsilon;
    switch (op) {
    case VMOP_SLT: return d < -e;
    case VMOP_SLE: return d <= e;
    case VMOP_SEQ: return -e < d && d < e;
    case VMOP_SNE: return d < -e || d > e;
    case VMOP_SGE: return d >= -e;
    default: return d > e;
    }
}
inline bool VM_CompareInt(uint32_t op, int32_t c)
{
    switch (op) {
    case VMOP_SLT: return c < 0;
    case VMOP_SLE: return c <= 0;
    case VMOP_SEQ: return c == 0;
    case VMOP_SNE: return c != 0;
    case VMOP_SGE: return c >= 0;
    default: return c > 0;
    }
}

// x mod y (y not 0): fmod's remainder, the sign of x's, except that a zero result is always
// +0, as the tree interpreter's mod and the machine's integer mod give it (-7 mod 7 and -0 mod 7
// are 0, never -0, whatever the operands' types). Exact integer arithmetic when both are whole
// numbers within 2^53, fmod otherwise (+ 0.0 makes its -0 a +0 and leaves any other value).
inline double VM_ModReal(double x, double y)
{
    if (__builtin_fabs(x) < 9007199254740992.0 && __builtin_fabs(y) < 9007199254740992.0 &&
        x == double(int64_t(x)) && y == double(int64_t(y)) && y != 0) {
        int64_t iy = int64_t(y);
        return iy == -1 ? 0.0 : double(int64_t(x) % iy);
    }
    return __builtin_fmod(x, y) + 0.0;
}

// Truncation toward zero to int32, INT32_MIN for NaN and out of range (Real_TruncToInt32 by
// the instruction itself).
inline int32_t VM_TruncInt32(double x) { return _mm_cvttsd_si32(_mm_set_sd(x)); }

// x as a whole int32 (true), or false when it is not one (fraction, range, NaN).
inline bool VM_WholeInt32(double x, int32_t* out)
{
    int32_t i = VM_TruncInt32(x); // INT32_MIN for NaN and out of range: then not equal
    *out = i;
    return double(i) == x;
}

// mod of two reals (y not 0): 32-bit integer arithmetic when both are whole int32 values (the
// result of VM_ModReal: the sign of x, a zero +0); VM_ModReal otherwise.
inline double VM_ModFast(double x, double y)
{
    int32_t xi, yi;
    if (VM_WholeInt32(x, &xi) && VM_WholeInt32(y, &yi) && yi != 0) return double(yi == -1 ? 0 : xi % yi);
    return VM_ModReal(x, y);
}
// The same with y a whole int32 other than 0 known beforehand.
inline double VM_ModByInt(double x, int32_t yi)
{
    int32_t xi;
    if (VM_WholeInt32(x, &xi)) return double(yi == -1 ? 0 : xi % yi);
    return VM_ModReal(x, double(yi));
}

// The reciprocal of a divisor's magnitude ad (1 .. 2^31) for VM_ModByMagic: 2^64 / ad rounded
// up (0 for 1).
inline uint64_t VM_ModMagic(uint32_t ad) { return ~uint64_t(0) / ad + 1; }
// x mod d for a whole d other than 0, given its magnitude ad and reciprocal m: the remainder
// of the magnitudes by two multiplications (exact for every 32-bit dividend and divisor), the
// sign of x's (a zero +0), as VM_ModReal gives it.
inline double VM_ModByMagic(double x, uint32_t ad, uint64_t m, double d)
{
    int32_t xi;
    if (!VM_WholeInt32(x, &xi)) return VM_ModReal(x, d);
    uint32_t ax = xi < 0 ? 0u - uint32_t(xi) : uint32_t(xi);
    uint32_t r = uint32_t((static_cast<unsigned __int128>(m * ax) * ad) >> 64);
    return double(xi < 0 ? -int64_t(r) : int64_t(r)); // through an integer: a zero is +0
}

// div of two reals: the integer quotient of both truncated to int32 (y truncates to non-zero).
inline double VM_RemReal(double x, double y)
{
    // In 64 bits, as the compiler folds it: the smallest integer divided by -1 is 2147483648
    // under both executors.
    int64_t xi = Real_TruncToInt32(x), yi = Real_TruncToInt32(y);
    return double(xi / yi);
}

// Text to number in the C locale: blanks skipped, the longest decimal prefix (no hex, inf or
// nan), 0 when nothing fits; ints saturate.
double VM_TextToReal(const char* text);
int32_t VM_TextToInt(const char* text);

// ---- Frames and entries (VM_Exec.cpp) ---------------------------------------------------------
// Where a frame's arguments are: in the current argument slots (an entry's own frame, which
// reads whatever its caller left there), still on the operand stack where the caller pushed
// them (a script called by the machine), or moved into argument slots of their own (the same
// script once anything outside the machine could look at them: a built-in call, a read of
// argument_count or argument[i]).
enum : uint8_t { VMARGS_WINDOW = 0, VMARGS_STACK = 1, VMARGS_MOVED = 2 };

struct VMFrame {
    VMProgram* prog;
    const VMOp* pc;        // where the frame stands (saved while it calls or reports)
    uint32_t base;         // stack offset of the frame's operand stack
    uint32_t localsOff;    // stack offset of its local slots (prog->LocalCount() VMLocal)
    uint32_t argsOff;      // stack offset of its arguments (VMARGS_STACK), argument 0 first
    int32_t argCount;      // its arguments (VMARGS_STACK: on the stack; else 16)
    int32_t savedArgCount; // VMARGS_MOVED: the argument count before the move
    uint8_t argMode;       // VMARGS_*
    CInstance* self;       // saved while the frame calls a script
    CInstance* other;
    CVariableList* extra;  // locals that the unit does not name (reached through a computed
                           // scope); null until one is written
    int32_t withBase;      // with-records below the frame's
    const CCode* unit;     // the script's unit (names, lines); null for an entry's frame
    const char* name;      // an entry's frame: its own
    const VMBuffer* debugInfo;
    const char* source;
};

// The frames of all open entries (index 0 the oldest) and the operand stack's block; both
// move when they grow, so callers that run other code keep indexes and offsets, not pointers.
VMFrame& VM_Frame(int32_t index);
uint8_t* VM_StackBlock();
inline VMLocal* VM_FrameSlots(const VMFrame& f) { return reinterpret_cast<VMLocal*>(VM_StackBlock() + f.localsOff); }
// The creation counter of local slots (VMLocal::order).
extern uint32_t g_VMLocalOrder;
// A local's read and write by id for the frame of that index, with the results of
// CVariableList::Get and Set.
bool VM_LocalGet(int32_t frame, int32_t id, int32_t index, ScriptValue* out);
bool VM_LocalSet(int32_t frame, int32_t id, int32_t index, const ScriptValue* value);
// The frame's locals as a list (a copy, in the order they were made), for the debugger and
// the error report; valid until the next call for the same level.
CVariableList* VM_FrameLocalsList(const VMFrame& f, int32_t level);
// Drops the lists VM_FrameLocalsList keeps (VM_Free).
void VM_FreeFrameLocalsLists();
// Frees what the frame's locals hold (slots and the extra list).
void VM_FreeFrameLocals(VMFrame& f);

// ---- Variables and with-loops (VM_Variables.cpp) ------------------------------------------------
// The error message of the last failed access (valid until the next one).
extern char g_VMMessage[1024];
// frame: the index of the frame whose locals scope -7 reaches.
bool VM_ReadVariable(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id, int32_t index,
                     ScriptValue* out);
// g_VMMessage for a failed write of variable id (the array-error record says which).
void VM_WriteFailed(int32_t id);
// Writes value (its text is copied); false with g_VMMessage set.
bool VM_WriteVariable(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id, int32_t index,
                      const ScriptValue* value);
// Where the value a read and a write of (scope, id, index) reach lies, when both reach it and
// only it (a local of that frame, or Variable_Scope_Storage); null otherwise.
ScriptValue* VM_VariableStorage(CInstance* self, CInstance* other, int32_t frame, int32_t scope, int32_t id,
                                int32_t index);

struct VMWith {
    int32_t first;   // first candidate id in the candidate array
    int32_t count;   // candidates still to visit after the current one
    CInstance* savedSelf;
    CInstance* savedOther;
};
// Starts a with-loop over scope: pushes a record; self/other become the first pair to run.
// False when the body must be skipped (the record is still pushed, popenv ends it); false
// with error set for local and global.
bool VM_WithStart(int32_t scope, CInstance** self, CInstance** other, bool* error);
// The next instance of the innermost with-loop: true with self set, or false after the record
// was popped and self/other restored.
bool VM_WithNext(CInstance** self, CInstance** other);
// Ends the innermost with-loop at once (break): self/other restored.
void VM_WithLeave(CInstance** self, CInstance** other);
// Drops with-records down to depth (frames ending early); self/other are not touched.
void VM_WithUnwind(int32_t depth);
extern int32_t g_VMWithDepth;
inline int32_t VM_WithDepth() { return g_VMWithDepth; }

// ---- Debugger (VM_Debug.cpp) ------------------------------------------------------------------
// Nonzero while stepping, a break request or instruction tracing is active: the loop then
// runs VM_DebugHook before each instruction.
extern volatile int32_t g_VMHookActive;
void VM_DebugHook(VMProgram* prog, const VMOp* pc);
// A unit was prepared: known from now on, with its breakpoints patched when they are in.
void VM_Debug_UnitPrepared(VMBuffer* code);
void VM_Debug_BreakHit(VMProgram* prog, const VMOp* pc);

// Argument slots of a builtin-variable row when it reads argumentN (0..15), else -1.
int32_t Variable_BuiltIn_ArgumentSlot(int32_t id);
