// The byte-code format shared by the game file's code, the byte-code generator, the test
// assembler and the virtual machine, and its disassembler.
//
// A unit of code is a sequence of 32-bit little-endian instruction words, each optionally
// followed by one operand of 4 or 8 bytes; positions are byte offsets, multiples of 4.
//
//   bits 24-31  opcode; bit 6 of the opcode (bit 30) set: an operand may follow
//   bits 16-19  first type (the top value's type, or the operand's)
//   bits 20-23  second type (the value below the top; conv's target)
//   bits 0-15   a field by opcode: argument count, scope, short value, counts
//   bits 0-23   in the branch forms (opcode bit 5 set, bit 6 clear): a signed offset in words
//               from the branch word itself
//
// The operand size follows the first type alone (VM_TypeSize): 8 for real and long, 4 for
// float, int, bool, variable reference and string, 0 otherwise; the generator, the verifier
// and the disassembler all use it, so they agree on where the next word starts.
//
// Variable reference operand (push.v, pop.v, pop.i):
//   bits 0-28  variable id (below 100000 built-in, else 100000 + user index)
//   bit 29     the scope is the word's low 16 bits (signed); clear: popped from the stack
//   bit 30     100000 is added to that scope (an instance id written as an offset)
//   bit 31     no array index; clear: an index is popped (above the scope)
//
// String operands (push.s) are indexes: into the unit's own pool when it has one (code
// compiled at run time), else into the game's string table.
#pragma once

#include <cstdint>
#include <cstring>

class tagIConsole;
class VMProgram;

// Type codes. ORDER: the byte code holds these numbers.
enum : int32_t {
    VMT_REAL = 0,   // ".d" 64-bit real
    VMT_FLOAT = 1,  // ".f" 32-bit float
    VMT_INT = 2,    // ".i" 32-bit int
    VMT_LONG = 3,   // ".l" 64-bit int
    VMT_BOOL = 4,   // ".b" first byte of a 4-byte slot, nonzero = true
    VMT_VAR = 5,    // ".v" a whole ScriptValue on the stack; a variable reference as operand
    VMT_STRING = 6, // ".s" an owned text pointer (or null)
    VMT_SHORT = 15, // ".e" no operand: the word's low 16 bits, sign-extended (pushed as int)
};

// Opcodes, with the stack effect of each (top last). ORDER: the byte code holds these
// numbers; grep VM_OPCODES for every table that follows the list.
//   X(enum, value, name)
#define VM_OPCODES(X)                                                                          \
    X(CONV, 0x03, "conv")       /* a -> conv(a)                     first = from, second = to */ \
    X(MUL, 0x04, "mul")         /* l r -> l*r; number * string repeats the string          */ \
    X(DIV, 0x05, "div")         /* l r -> l/r                                              */ \
    X(REM, 0x06, "rem")         /* l r -> integer quotient of the truncated operands       */ \
    X(MOD, 0x07, "mod")         /* l r -> remainder                                        */ \
    X(ADD, 0x08, "add")         /* l r -> l+r; string + string concatenates                */ \
    X(SUB, 0x09, "sub")         /* l r -> l-r                                              */ \
    X(AND, 0x0A, "and")         /* l r -> l&r; logical for bools                           */ \
    X(OR, 0x0B, "or")           /* l r -> l|r                                              */ \
    X(XOR, 0x0C, "xor")         /* l r -> l^r                                              */ \
    X(NEG, 0x0D, "neg")         /* a -> -a                                                 */ \
    X(NOT, 0x0E, "not")         /* a -> ~a; logical for bool                               */ \
    X(SHL, 0x0F, "shl")         /* l r -> l<<r                                             */ \
    X(SHR, 0x10, "shr")         /* l r -> l>>r (arithmetic)                                */ \
    X(SLT, 0x11, "slt")         /* l r -> bool                                             */ \
    X(SLE, 0x12, "sle")         /* l r -> bool                                             */ \
    X(SEQ, 0x13, "seq")         /* l r -> bool                                             */ \
    X(SNE, 0x14, "sne")         /* l r -> bool                                             */ \
    X(SGE, 0x15, "sge")         /* l r -> bool                                             */ \
    X(SGT, 0x16, "sgt")         /* l r -> bool                                             */ \
    X(POP, 0x41, "pop")         /* [v] ref -> (stored) ; .e: stack shuffle                 */ \
    X(DUP, 0x82, "dup")         /* a -> a a (field: count - 1)                             */ \
    X(RET, 0x9D, "ret")         /* v -> (returned to the caller)                           */ \
    X(EXIT, 0x9E, "exit")       /* -> (the script or entry ends)                           */ \
    X(POPZ, 0x9F, "popz")       /* a ->                                                    */ \
    X(B, 0xB7, "b")             /* branch                                                  */ \
    X(BT, 0xB8, "bt")           /* bool -> ; branch when true                              */ \
    X(BF, 0xB9, "bf")           /* bool -> ; branch when false                             */ \
    X(PUSHENV, 0xBB, "pushenv") /* scope -> ; with-loop starts (offset: its popenv)        */ \
    X(POPENV, 0xBC, "popenv")   /* next instance or leave (offset: the body); types F0 leave */ \
    X(PUSH, 0xC0, "push")       /* -> constant, or ref -> variable's value                 */ \
    X(CALL, 0xDA, "call")       /* args -> v (field: argument count, operand: function id) */ \
    X(BREAK, 0xFF, "break")     /* debugger break (0) or array-index check (0xFFFF)        */

enum VMOpcode : uint8_t {
#define VM_OPCODE_ENUM(e, v, n) VMOP_##e = v,
    VM_OPCODES(VM_OPCODE_ENUM)
#undef VM_OPCODE_ENUM
};

// Special whole words.
constexpr uint32_t VM_BREAKPOINT_WORD = 0xFFFF0000u; // written over an instruction by the debugger
constexpr uint32_t VM_STEP_WORD = 0xFF0F0000u;       // executed in place of a step stop's instruction
constexpr uint32_t VM_WITH_LEAVE_TYPES = 0xF0;       // popenv types byte: leave the with at once
constexpr uint32_t VM_ARRAY_CHECK = 0xFFFF;          // break field: check the int on top as an index

// Variable reference bits.
constexpr uint32_t VMREF_ID_MASK = 0x1FFFFFFFu;
constexpr uint32_t VMREF_SCOPE_IN_WORD = 1u << 29;
constexpr uint32_t VMREF_INSTANCE = 1u << 30;
constexpr uint32_t VMREF_NO_INDEX = 1u << 31;

// Instruction word fields.
inline uint32_t VM_Opcode(uint32_t w) { return w >> 24; }
inline int32_t VM_Type1(uint32_t w) { return int32_t((w >> 16) & 15); }
inline int32_t VM_Type2(uint32_t w) { return int32_t((w >> 20) & 15); }
inline uint32_t VM_TypesByte(uint32_t w) { return (w >> 16) & 0xFF; }
inline uint32_t VM_Field(uint32_t w) { return w & 0xFFFF; }
inline int32_t VM_FieldSigned(uint32_t w) { return int32_t(int16_t(uint16_t(w & 0xFFFF))); }
inline int32_t VM_BranchOffset(uint32_t w) { return int32_t(w << 8) >> 8; } // words
inline bool VM_HasOperand(uint32_t op) { return (op & 0x40) != 0; }
inline bool VM_IsBranchForm(uint32_t op) { return (op & 0x20) != 0 && (op & 0x40) == 0; }
inline uint32_t VM_Word(uint32_t op, int32_t t1, int32_t t2, uint32_t field)
{
    return (op << 24) | (uint32_t(t2 & 15) << 20) | (uint32_t(t1 & 15) << 16) | (field & 0xFFFF);
}

// Operand bytes after a word whose first type is type (0 for codes 7 to 15).
int32_t VM_TypeSize(int32_t type);
// The opcode's name; "unknown" for values not in the list.
const char* VM_OpcodeName(uint32_t opcode);
// ".d" ... ".e"; "" for codes without a suffix.
const char* VM_TypeSuffix(int32_t type);
// Bytes of the instruction at offset (word and operand) in code of size bytes.
int32_t VM_InstructionSize(uint32_t word);

// Loads of little-endian code and operands.
inline uint32_t VM_Load32(const uint8_t* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// A unit of byte code (or of debug pairs): size in bytes and the bytes, owned. Code
// compiled at run time carries its own pool of string operands. The machine keeps the
// verified, prepared form of a unit beside it (m_pProgram) and gives it a synthetic code
// address for the debugger.
//
// The destructor frees the data block and the pool: a derived write buffer must not free
// them again.
class VMBuffer {
public:
    VMBuffer() = default;
    // A copy of size bytes of data.
    VMBuffer(const uint8_t* data, int32_t size);
    virtual ~VMBuffer();
    VMBuffer(const VMBuffer&) = delete;
    VMBuffer& operator=(const VMBuffer&) = delete;

    // Appends a copy of text to the unit's string pool (which the unit then uses instead of
    // the game's table); returns its index.
    int32_t AddString(const char* text);
    // Makes the unit use a pool of its own, even an empty one.
    void UseOwnPool() { m_hasPool = 1; }
    // The text of a push.s operand: the pool's entry, or the game's string table's when the
    // unit has no pool; null when the index is outside it.
    const char* GetString(int32_t index) const;
    // Drops the prepared form (after the bytes were changed).
    void Invalidate();

    int32_t m_size = 0;
    uint8_t* m_pData = nullptr;
    char** m_ppStrings = nullptr; // owned texts of the unit's pool
    int32_t m_stringCount = 0;
    uint8_t m_hasPool = 0;        // 0: push.s operands index the game's string table
    VMProgram* m_pProgram = nullptr; // the machine's prepared form; owned
    int32_t m_prepareState = 0;      // 0 not yet, 1 prepared, -1 refused
    uint32_t m_address = 0;          // synthetic code address (0 until the machine knows it)
};

// The game's string table (push.s operands of table-built code): owned copies.
void VM_StringTable_Set(int32_t count);
void VM_StringTable_SetEntry(int32_t index, const char* text);
int32_t VM_StringTable_Count();
const char* VM_StringTable_Get(int32_t index);
void VM_StringTable_Free();

// One instruction's line, through console->Output; returns the offset of the next one.
int32_t VM_Disassemble(tagIConsole* console, const VMBuffer* code, int32_t offset);
void VM_DisassembleAll(tagIConsole* console, const VMBuffer* code);
