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
// The operand stack grows upwards in one program-wide block; slots are packed at their native
// sizes (real and long 8, float, int and bool 4, string 8 (a pointer), variable 24 (a
// ScriptValue)), so every load and store goes through memcpy. Frame bases are offsets into the
// block, which moves when it grows. With-records live on a stack of their own; the operand
// stack only carries a zero-size marker for them in the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "Files/Code/Code_Function.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Format.h"
#include "Files/Base/Value.h"

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
inline void VSetReal(uint8_t* p, double real) { VSet(p, VALUE_REAL, nullptr, real); }
inline ScriptValue VLoad(const uint8_t* p) { return ScriptValue{VKind(p), VText(p), VReal(p)}; }
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
#define VM_INTERNAL_OPS(X) \
    X(NOP) X(END) X(ERROR) X(BREAKPOINT) \
    X(PUSH_D) X(PUSH_F) X(PUSH_I) X(PUSH_L) X(PUSH_S) \
    X(PUSHV_LOCAL) X(PUSHV_SELF) X(PUSHV_GLOBAL) X(PUSHV_PLAIN) X(PUSHV_ARG) X(PUSHV_BUILTIN) \
    X(PUSHV_ANY) \
    X(POP_LOCAL) X(POP_SELF) X(POP_GLOBAL) X(POP_PLAIN) X(POP_ANY) \
    X(POPZ) X(POPZ_S) X(POPZ_V) X(DUP) X(DUP_S) X(DUP_V) X(SHUFFLE) \
    X(B) X(BT) X(BF) \
    X(CALL_BUILTIN) X(CALL_SCRIPT) X(CALL_EXT) \
    X(RET) X(EXIT) \
    X(PUSHENV) X(POPENV) X(POPENV_LEAVE) \
    X(ARRAY_CHECK) \
    X(BINARY) X(COMPARE) X(UNARY) X(CONV) \
    X(ADD_II) X(SUB_II) X(MUL_II) X(ADD_DD) X(SUB_DD) X(MUL_DD) X(DIV_DD) \
    X(ADD_VV) X(SUB_VV) X(MUL_VV) X(DIV_VV) \
    X(ADD_IV) X(SUB_IV) X(MUL_IV) X(ADD_DV) X(SUB_DV) X(MUL_DV) X(DIV_DV) \
    X(ADD_VI) X(SUB_VI) X(MUL_VI) X(ADD_VD) X(SUB_VD) X(MUL_VD) X(DIV_VD) \
    X(MOD_IV) X(DIV_IV) \
    X(CMP_II) X(CMP_VV) X(CMP_IV) X(CMP_VI) X(CMP_DV) X(CMP_VD) \
    X(CONV_IV) X(CONV_DV) X(CONV_BV) X(CONV_VB) X(CONV_IB) X(CONV_BI) X(CONV_VI) X(CONV_DI) \
    X(CONV_ID) \
    X(FUSE_INC) X(FUSE_CMPK) X(FUSE_PUSHINT) X(FUSE_VALK)

enum VMInternalOp : uint16_t {
#define VM_INTERNAL_ENUM(n) VMI_##n,
    VM_INTERNAL_OPS(VM_INTERNAL_ENUM)
#undef VM_INTERNAL_ENUM
    VMI_COUNT
};

struct VMOp;

// A fast comparison followed by bt or bf that nothing else jumps to tests and branches at
// once (VMOp::b of the comparison; k.target is the branch's target).
enum : int32_t { VMCMP_PUSH = 0, VMCMP_BF = 1, VMCMP_BT = 2 };

// Flags of variable access ops (VMOp::k.i).
enum : int32_t {
    VMV_INDEX = 1,     // the array index is popped
    VMV_SCOPE = 2,     // the scope is popped
    VMV_VALUE_TOP = 4, // pop.i form: the value lies above the reference parts
    VMV_INSTANCE = 8,  // 100000 is added to the popped scope
};

struct VMOp {
    const void* h;     // the handler (threaded code)
    union {
        double d;
        int64_t l;
        float f;
        int32_t i;
        const char* s;
        const VMOp* target;
        const VMLayout* layout;
        BuiltinRoutine fn;
    } k;
    int32_t a;         // small operand by op (variable id, count, opcode, native sizes ...)
    int32_t b;         // second small operand (scope, function id, ...)
    uint32_t off;      // byte offset of the instruction in its unit
    uint16_t code;     // VMInternalOp
    uint8_t t1, t2;    // the instruction's types
};

class VMProgram {
public:
    VMBuffer* code = nullptr;
    std::vector<VMOp> ops;                  // one per instruction, then END
    std::vector<const VMLayout*> layouts;   // before each op (null: unreachable)
    std::vector<int32_t> opAt;              // byte offset / 4 -> op index, -1 inside an operand
    std::deque<VMLayout> nodes;             // the interned layouts
    // Instruction groups run as one: at a group's first op the length of the group (a fused
    // compare and branch is 2), else 0. The ops of a group stay as they were; the first op's
    // handler is the group's, which falls back to the first op's own handler when its fast
    // case does not hold.
    std::vector<uint8_t> fused;
    int32_t maxBytes = 0;                   // greatest native stack depth of the unit
    std::string error;                      // why the unit was refused

    int32_t IndexOf(const VMOp* op) const { return int32_t(op - ops.data()); }
};

// The handler table of the dispatch loop (VMI_* order).
const void* const* VM_HandlerTable();
// Undoes the groups that cover op index i (a breakpoint is put there).
void VM_Unfuse(VMProgram* prog, int32_t i);

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

// fmod(x, y) for a whole y other than 0: exact integer arithmetic when x is a whole number
// within 2^53 (the same result, sign of zero included), fmod otherwise.
inline double VM_ModReal(double x, double y)
{
    if (__builtin_fabs(x) < 9007199254740992.0 && __builtin_fabs(y) < 9007199254740992.0 &&
        x == double(int64_t(x)) && y == double(int64_t(y)) && y != 0) {
        int64_t iy = int64_t(y);
        double r = iy == -1 ? 0.0 : double(int64_t(x) % iy);
        return (r == 0 && __builtin_signbit(x)) ? -0.0 : r;
    }
    return __builtin_fmod(x, y);
}

// Text to number in the C locale: blanks skipped, the longest decimal prefix (no hex, inf or
// nan), 0 when nothing fits; ints saturate.
double VM_TextToReal(const char* text);
int32_t VM_TextToInt(const char* text);

// ---- Frames and entries (VM_Exec.cpp) ---------------------------------------------------------
struct VMFrame {
    VMProgram* prog;
    const VMOp* pc;        // where the frame stands (saved while it calls or reports)
    uint32_t base;         // stack offset of the frame's first slot
    CInstance* self;       // saved while the frame calls a script
    CInstance* other;
    CVariableList* locals;
    int32_t argCount;      // the frame's argument count
    int32_t withBase;      // with-records below the frame's
    const char* name;
    const VMBuffer* debugInfo;
    const char* source;
};

// ---- Variables and with-loops (VM_Variables.cpp) ------------------------------------------------
// The error message of the last failed access (valid until the next one).
extern char g_VMMessage[1024];
bool VM_ReadVariable(CInstance* self, CInstance* other, CVariableList* locals, int32_t scope, int32_t id,
                     int32_t index, ScriptValue* out);
// Writes value (its text is copied); false with g_VMMessage set.
bool VM_WriteVariable(CInstance* self, CInstance* other, CVariableList* locals, int32_t scope, int32_t id,
                      int32_t index, const ScriptValue* value);

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
