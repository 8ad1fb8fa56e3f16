// Verification and preparation of byte code (VM_Prepare): the unit is decoded, every path is
// followed to fix the operand stack's layout before each instruction, and each instruction
// becomes a VMOp for the dispatch loop. A unit is refused, with the reason, when an
// instruction runs past the end, a branch leaves the unit or lands inside an operand, an id
// or count is out of range, an instruction's types do not match what lies on the stack, two
// paths meet with different stacks, or the stack would reach below the frame or grow past
// its limit. Refused units never run.
#include "Files/Code/VM_Internal.h"

#include <cstdarg>
#include <cstdio>
#include <map>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"

namespace {

constexpr int32_t kMaxFrameBytes = 64 * 1024; // deepest operand stack of one unit
constexpr int32_t kMaxWiths = 256;
constexpr int32_t kMaxArgs = 16;

struct Decoded {
    uint32_t off;
    uint32_t word;
    int32_t size;
    uint32_t operand; // first operand word (0 when none)
};

struct Refused {};

bool Numeric(uint8_t t) { return t <= VMT_BOOL; }

// Two slot types that may stand for one another: equal, or numbers of one native size (the
// byte code may read a slot as another number type of its size, as the machine always did).
bool SlotCompatible(uint8_t a, uint8_t b)
{
    if (a == b) return true;
    return Numeric(a) && Numeric(b) && VM_NativeSize(a) == VM_NativeSize(b);
}

const char* SlotName(uint8_t t)
{
    static const char* const names[] = {"a real", "a float", "an int", "a long", "a bool", "a variable", "a string", "a with statement"};
    return t < 8 ? names[t] : "nothing";
}

class Builder {
public:
    Builder(VMProgram& p, const VMBuffer& code) : m_p(p), m_code(code) {}

    bool Run()
    {
        try {
            Decode();
            Analyse();
            Translate();
        } catch (const Refused&) {
            return false;
        } catch (const Stopped&) {
            stopped = true;
            return false;
        }
        return true;
    }
    bool stopped = false; // a quit request stopped the work (the unit is not refused)

private:
    [[noreturn]] void Fail(uint32_t off, const char* format, ...) __attribute__((format(printf, 3, 4)))
    {
        char buf[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buf, sizeof buf, format, args);
        va_end(args);
        char head[64];
        std::snprintf(head, sizeof head, "at %08x: ", off);
        m_p.error = std::string(head) + buf;
        throw Refused{};
    }

    struct Stopped {};
    QuitPoll m_poll;
    // Every instruction decoded, analysed and translated.
    void Poll()
    {
        if (m_poll.Stop()) throw Stopped{};
    }

    // ---- Layouts ----
    const VMLayout* Empty()
    {
        if (!m_empty) {
            m_p.nodes.push_back(VMLayout{nullptr, 0xFF, 0, 0, 0, 0, 0});
            m_empty = &m_p.nodes.back();
        }
        return m_empty;
    }

    const VMLayout* Push(uint32_t off, const VMLayout* l, uint8_t type)
    {
        auto key = std::make_pair(l, type);
        auto it = m_interned.find(key);
        if (it != m_interned.end()) return it->second;
        VMLayout n;
        n.below = l;
        n.type = type;
        n.owns = l->owns || type == VMT_STRING || type == VMT_VAR || type == SLOT_WITH;
        n.depth = l->depth + 1;
        n.bytes = l->bytes + VM_NativeSize(type);
        n.codeBytes = l->codeBytes + (type == SLOT_WITH ? 0 : VM_ByteCodeSize(type));
        n.withs = l->withs + (type == SLOT_WITH ? 1 : 0);
        if (n.bytes > kMaxFrameBytes) Fail(off, "the operand stack grows past %d bytes", kMaxFrameBytes);
        if (n.withs > kMaxWiths) Fail(off, "with statements nest deeper than %d", kMaxWiths);
        m_p.nodes.push_back(n);
        const VMLayout* node = &m_p.nodes.back();
        m_interned.emplace(key, node);
        return node;
    }

    // The top slot must stand for type; returns the layout below it.
    const VMLayout* Pop(uint32_t off, const VMLayout* l, uint8_t type)
    {
        if (l->depth == 0) Fail(off, "%s is taken from an empty stack", SlotName(type));
        if (!SlotCompatible(l->type, type))
            Fail(off, "%s is taken where %s lies", SlotName(type), SlotName(l->type));
        return l->below;
    }

    // The slots from the top down whose byte-code sizes sum to bytes exactly; they must all be
    // numbers when numbersOnly is set.
    const VMLayout* Span(uint32_t off, const VMLayout* l, int32_t bytes, bool numbersOnly, int32_t* native)
    {
        int32_t code = 0;
        *native = 0;
        while (code < bytes) {
            if (l->depth == 0) Fail(off, "a stack operation reaches below the frame");
            if (l->type == SLOT_WITH) Fail(off, "a stack operation reaches across a with statement");
            if (numbersOnly && !Numeric(l->type)) Fail(off, "a stack operation copies or drops %s", SlotName(l->type));
            code += VM_ByteCodeSize(l->type);
            *native += VM_NativeSize(l->type);
            l = l->below;
        }
        if (code != bytes) Fail(off, "a stack operation splits a slot");
        return l;
    }

    bool Same(const VMLayout* a, const VMLayout* b)
    {
        for (; a != b; a = a->below, b = b->below) {
            if (!a || !b || a->depth != b->depth || !SlotCompatible(a->type, b->type)) return false;
        }
        return true;
    }

    // ---- Decoding ----
    void Decode()
    {
        int32_t size = m_code.m_size;
        if (size < 0 || (size & 3)) Fail(0, "the code's size %d is not a multiple of 4", size);
        m_p.opAt.assign(size_t(size / 4) + 1, -1);
        for (int32_t off = 0; off < size;) {
            Poll();
            uint32_t word = VM_Load32(m_code.m_pData + off);
            int32_t len = VM_InstructionSize(word);
            if (off + len > size) Fail(uint32_t(off), "the instruction runs past the end of the code");
            uint32_t operand = len > 4 ? VM_Load32(m_code.m_pData + off + 4) : 0;
            m_p.opAt[size_t(off / 4)] = int32_t(m_ins.size());
            m_ins.push_back(Decoded{uint32_t(off), word, len, operand});
            off += len;
        }
        m_p.opAt[size_t(size / 4)] = int32_t(m_ins.size()); // the end
        m_in.assign(m_ins.size() + 1, nullptr);
    }

    // The instruction index a branch of instruction i reaches.
    int32_t Target(const Decoded& d)
    {
        int64_t t = int64_t(d.off) + 4 * int64_t(VM_BranchOffset(d.word));
        if (t < 0 || t > m_code.m_size) Fail(d.off, "a branch leaves the code (to %lld)", (long long)t);
        int32_t index = m_p.opAt[size_t(t / 4)];
        if (index < 0) Fail(d.off, "a branch lands inside an operand (at %08x)", uint32_t(t));
        return index;
    }

    // ---- Analysis ----
    void Reach(uint32_t from, int32_t index, const VMLayout* l)
    {
        if (!m_in[size_t(index)]) {
            m_in[size_t(index)] = l;
            m_work.push_back(index);
        } else if (!Same(m_in[size_t(index)], l)) {
            Fail(from, "two paths meet at %08x with different stacks", index < int32_t(m_ins.size()) ? m_ins[size_t(index)].off : uint32_t(m_code.m_size));
        }
    }

    // The variable reference's stack parts: the layout without them, or with them when
    // checking only.
    const VMLayout* PopReference(const Decoded& d, const VMLayout* l)
    {
        if (!(d.operand & VMREF_NO_INDEX)) l = Pop(d.off, l, VMT_INT);
        if (!(d.operand & VMREF_SCOPE_IN_WORD)) l = Pop(d.off, l, VMT_INT);
        return l;
    }

    static bool StoreValueType(int32_t t)
    {
        return t == VMT_REAL || t == VMT_INT || t == VMT_LONG || t == VMT_BOOL || t == VMT_STRING || t == VMT_VAR;
    }

    void Analyse()
    {
        Reach(0, 0, Empty());
        int32_t end = int32_t(m_ins.size());
        while (!m_work.empty()) {
            Poll();
            int32_t i = m_work.back();
            m_work.pop_back();
            if (i == end) continue;
            const Decoded& d = m_ins[size_t(i)];
            const VMLayout* l = m_in[size_t(i)];
            uint32_t op = VM_Opcode(d.word);
            int32_t t1 = VM_Type1(d.word), t2 = VM_Type2(d.word);
            const char* message = nullptr;
            switch (op) {
            case VMOP_CONV:
                if (!VM_ConvertValid(t1, t2, &message)) break; // an error when executed
                l = Pop(d.off, l, uint8_t(t1));
                Reach(d.off, i + 1, Push(d.off, l, uint8_t(t2)));
                break;
            case VMOP_MUL:
            case VMOP_DIV:
            case VMOP_REM:
            case VMOP_MOD:
            case VMOP_ADD:
            case VMOP_SUB:
            case VMOP_AND:
            case VMOP_OR:
            case VMOP_XOR:
            case VMOP_SHL:
            case VMOP_SHR: {
                int32_t r = VM_BinaryResultType(op, t1, t2, &message);
                if (r < 0) break;
                l = Pop(d.off, l, uint8_t(t1));
                l = Pop(d.off, l, uint8_t(t2));
                Reach(d.off, i + 1, Push(d.off, l, uint8_t(r)));
                break;
            }
            case VMOP_NEG:
            case VMOP_NOT:
                if (t1 <= 6) {
                    if (!VM_UnaryValid(op, t1, &message)) break;
                    Pop(d.off, l, uint8_t(t1));
                }
                Reach(d.off, i + 1, l);
                break;
            case VMOP_SLT:
            case VMOP_SLE:
            case VMOP_SEQ:
            case VMOP_SNE:
            case VMOP_SGE:
            case VMOP_SGT:
                if (!VM_ComparePairValid(t1, t2, &message)) break;
                l = Pop(d.off, l, uint8_t(t1));
                l = Pop(d.off, l, uint8_t(t2));
                Reach(d.off, i + 1, Push(d.off, l, VMT_BOOL));
                break;
            case VMOP_POP:
                if (t1 == VMT_SHORT) {
                    Reach(d.off, i + 1, Shuffle(d, l, nullptr));
                } else if (t1 == VMT_VAR || t1 == VMT_INT) {
                    if (!StoreValueType(t2)) break; // "Pop :: Execution Engine" when executed
                    if (t1 == VMT_INT) {
                        l = Pop(d.off, l, uint8_t(t2));
                        l = PopReference(d, l);
                    } else {
                        l = PopReference(d, l);
                        l = Pop(d.off, l, uint8_t(t2));
                    }
                    Reach(d.off, i + 1, l);
                }
                break; // other forms: an error when executed
            case VMOP_DUP: {
                if (t2 != 0 || t1 > 6) {
                    Reach(d.off, i + 1, l);
                    break;
                }
                int32_t n = int32_t(VM_Field(d.word)) + 1;
                if (t1 == VMT_VAR || t1 == VMT_STRING) {
                    Pop(d.off, l, uint8_t(t1));
                    for (int32_t k = 0; k < n; ++k) l = Push(d.off, l, uint8_t(t1));
                    Reach(d.off, i + 1, l);
                    break;
                }
                int32_t native;
                const VMLayout* base = Span(d.off, l, n * VM_ByteCodeSize(t1), true, &native);
                // The copied block repeats the slots it covers.
                std::vector<uint8_t> types;
                for (const VMLayout* s = l; s != base; s = s->below) types.push_back(s->type);
                for (size_t k = types.size(); k-- > 0;) l = Push(d.off, l, types[k]);
                Reach(d.off, i + 1, l);
                break;
            }
            case VMOP_RET:
                if (t1 > 6) Fail(d.off, "ret of type %d", t1);
                Pop(d.off, l, uint8_t(t1));
                break;
            case VMOP_EXIT: break;
            case VMOP_POPZ:
                if (t1 <= 6) l = Pop(d.off, l, uint8_t(t1));
                Reach(d.off, i + 1, l);
                break;
            case VMOP_B: Reach(d.off, Target(d), l); break;
            case VMOP_BT:
            case VMOP_BF:
                l = Pop(d.off, l, VMT_BOOL);
                Reach(d.off, i + 1, l);
                Reach(d.off, Target(d), l);
                break;
            case VMOP_PUSHENV: {
                int32_t t = Target(d);
                if (t >= end || VM_Opcode(m_ins[size_t(t)].word) != VMOP_POPENV)
                    Fail(d.off, "pushenv does not lead to a popenv");
                l = Pop(d.off, l, VMT_INT);
                l = Push(d.off, l, SLOT_WITH);
                Reach(d.off, i + 1, l);
                Reach(d.off, t, l);
                break;
            }
            case VMOP_POPENV:
                if (l->depth == 0 || l->type != SLOT_WITH) Fail(d.off, "popenv without a with statement");
                if (VM_TypesByte(d.word) != VM_WITH_LEAVE_TYPES) Reach(d.off, Target(d), l);
                Reach(d.off, i + 1, l->below);
                break;
            case VMOP_PUSH:
                switch (t1) {
                case VMT_REAL:
                case VMT_FLOAT:
                case VMT_INT:
                case VMT_LONG:
                case VMT_BOOL: l = Push(d.off, l, uint8_t(t1)); break;
                case VMT_STRING:
                    if (!StringIndexValid(int32_t(d.operand)))
                        Fail(d.off, "string %d does not exist", int32_t(d.operand));
                    l = Push(d.off, l, VMT_STRING);
                    break;
                case VMT_SHORT: l = Push(d.off, l, VMT_INT); break;
                case VMT_VAR:
                    l = PopReference(d, l);
                    l = Push(d.off, l, VMT_VAR);
                    break;
                default: break;
                }
                Reach(d.off, i + 1, l);
                break;
            case VMOP_CALL: {
                if (t1 != VMT_INT) break; // "DoCall :: Execution Engine type error" when executed
                int32_t n = int32_t(VM_Field(d.word));
                int32_t id = int32_t(d.operand);
                if (n > kMaxArgs) Fail(d.off, "a call with %d arguments", n);
                CheckFunction(d, id, n);
                for (int32_t k = 0; k < n; ++k) l = Pop(d.off, l, VMT_VAR);
                Reach(d.off, i + 1, Push(d.off, l, VMT_VAR));
                break;
            }
            case VMOP_BREAK:
                if (VM_Field(d.word) == VM_ARRAY_CHECK) Pop(d.off, l, VMT_INT);
                Reach(d.off, i + 1, l);
                break;
            default: // unlisted opcodes execute as nothing
                Reach(d.off, i + 1, l);
                break;
            }
            (void)message;
        }
    }

    bool StringIndexValid(int32_t index)
    {
        if (m_code.m_hasPool) return index >= 0 && index < m_code.m_stringCount;
        return index >= 0 && index < VM_StringTable_Count();
    }

    void CheckFunction(const Decoded& d, int32_t id, int32_t n)
    {
        if (id < 0) Fail(d.off, "call of function id %d", id);
        if (id < FUNCTION_SCRIPT_BASE) {
            const BuiltinFunction* f = Function_Get(id);
            if (!f || !f->f) Fail(d.off, "call of built-in function %d, which does not exist", id);
            if (f->argCount >= 0 && f->argCount != n)
                Fail(d.off, "%s takes %d arguments, called with %d", f->name, f->argCount, n);
        }
    }

    // The layout after a stack shuffle; with op given, fills its native sizes.
    const VMLayout* Shuffle(const Decoded& d, const VMLayout* l, VMOp* op)
    {
        int32_t t2 = VM_Type2(d.word);
        int32_t s = t2 <= 6 ? VM_ByteCodeSize(t2) : 0;
        int32_t n = 4 * int32_t(int8_t(VM_Field(d.word) & 0xFF));
        int32_t dd = 4 * int32_t(int8_t((VM_Field(d.word) >> 8) & 0xFF));
        int32_t sNative = 0, nNative = 0;
        if (s > 0) {
            const VMLayout* below = Pop(d.off, l, uint8_t(t2));
            sNative = VM_NativeSize(t2);
            if (n < 0) Fail(d.off, "a shuffle of %d bytes", n);
            const VMLayout* base = Span(d.off, below, n, false, &nNative);
            // Rotate: the top value sinks beneath the n bytes.
            std::vector<uint8_t> types;
            for (const VMLayout* x = below; x != base; x = x->below) types.push_back(x->type);
            l = Push(d.off, base, uint8_t(t2));
            for (size_t k = types.size(); k-- > 0;) l = Push(d.off, l, types[k]);
        }
        int32_t dNative = 0;
        if (dd > 0) {
            l = Span(d.off, l, dd, true, &dNative);
        } else if (dd < 0) {
            for (int32_t k = 0; k < -dd / 4; ++k) l = Push(d.off, l, VMT_INT);
            dNative = dd;
        }
        if (op) {
            op->a = sNative;
            op->b = nNative;
            op->k.i = dNative;
        }
        return l;
    }

    // ---- Translation ----
    void Translate()
    {
        int32_t count = int32_t(m_ins.size());
        m_p.ops.assign(size_t(count) + 1, VMOp{});
        m_p.layouts.assign(m_in.begin(), m_in.end());
        std::vector<int32_t> targets(size_t(count) + 1, -1);
        int32_t maxBytes = 0;
        for (const VMLayout* l : m_in)
            if (l && l->bytes > maxBytes) maxBytes = l->bytes;
        for (int32_t i = 0; i < count; ++i) {
            Poll();
            VMOp& op = m_p.ops[size_t(i)];
            const Decoded& d = m_ins[size_t(i)];
            op.off = d.off;
            op.t1 = uint8_t(VM_Type1(d.word));
            op.t2 = uint8_t(VM_Type2(d.word));
            op.code = VMI_NOP;
            const VMLayout* l = m_in[size_t(i)];
            if (!l) continue; // never reached
            Build(op, d, l, targets[size_t(i)]);
            // Pushes inside a handler stay within what the next layout holds, but a call's
            // result or a read's reservation may lie above the deepest layout; keep room.
        }
        VMOp& end = m_p.ops[size_t(count)];
        end.code = VMI_END;
        end.off = uint32_t(m_code.m_size);
        end.k.layout = m_in[size_t(count)] ? m_in[size_t(count)] : Empty();
        for (int32_t i = 0; i < count; ++i) {
            if (targets[size_t(i)] < 0) continue;
            m_p.ops[size_t(i)].k.target = &m_p.ops[size_t(targets[size_t(i)])];
            m_p.ops[size_t(i)].back = targets[size_t(i)] <= i ? 1 : 0;
        }
        Fuse(targets);
        const void* const* table = VM_HandlerTable();
        for (VMOp& op : m_p.ops) op.h = table[op.code];
        Groups(targets, table);
        Links();
        m_p.maxBytes = maxBytes + 2 * VSIZE;
        m_p.localBytes = m_p.localCount * int32_t(sizeof(VMLocal));
    }

    // Fast comparisons that feed a conditional branch nothing else reaches become one op.
    void Fuse(const std::vector<int32_t>& targets)
    {
        std::vector<uint8_t> reached(m_p.ops.size(), 0);
        for (int32_t t : targets)
            if (t >= 0) reached[size_t(t)] = 1;
        for (size_t i = 0; i + 1 < m_p.ops.size(); ++i) {
            VMOp& cmp = m_p.ops[i];
            const VMOp& br = m_p.ops[i + 1];
            bool fast = cmp.code == VMI_CMP_II || cmp.code == VMI_CMP_VV || cmp.code == VMI_CMP_IV ||
                        cmp.code == VMI_CMP_VI || cmp.code == VMI_CMP_DV || cmp.code == VMI_CMP_VD;
            if (!fast || reached[i + 1] || (br.code != VMI_BF && br.code != VMI_BT)) continue;
            cmp.b = br.code == VMI_BF ? VMCMP_BF : VMCMP_BT;
            cmp.k.target = &m_p.ops[size_t(targets[i + 1])];
            cmp.back = br.back;
            m_p.groups.push_back(VMGroup{int32_t(i), 2, -1, 0});
        }
    }

    // ---- Groups ----
    // Runs of instructions that games write all the time run as one op (see VM_INTERNAL_OPS).
    // Only ops that nothing jumps to may follow a group's head, and every op of a group must
    // be reachable. Constants are converted here; operators and comparisons pick handlers.

    static bool IsConst(const VMOp& o)
    {
        return (o.code == VMI_PUSH_I && o.t1 != VMT_BOOL) || o.code == VMI_PUSH_D;
    }
    static double ConstOf(const VMOp& o) { return o.code == VMI_PUSH_I ? double(o.k.i) : o.k.d; }
    // A variable read whose value a group can take itself (slot, argument, user variable).
    static bool Readable(const VMOp& o)
    {
        return o.code == VMI_PUSHV_SLOT || o.code == VMI_PUSHV_ARG || o.code == VMI_PUSHV_SELF ||
               o.code == VMI_PUSHV_PLAIN || o.code == VMI_PUSHV_GLOBAL;
    }
    // A user variable read or write of self, a plain name or global.
    static bool UserKind(const VMOp& o) { return o.vk == VK_SELF || o.vk == VK_PLAIN || o.vk == VK_GLOBAL; }
    // A store of a whole variable into the variable that read op names.
    static bool StoreOf(const VMOp& store, const VMOp& read)
    {
        if (store.vk != read.vk || store.a != read.a) return false;
        if (store.vk == VK_SLOT) return store.code == VMI_POP_SLOT && store.b == read.b;
        return store.code == VMI_POP_SELF || store.code == VMI_POP_PLAIN || store.code == VMI_POP_GLOBAL;
    }
    static bool SimpleStore(const VMOp& o)
    {
        return o.code == VMI_POP_SLOT || o.code == VMI_POP_SELF || o.code == VMI_POP_PLAIN || o.code == VMI_POP_GLOBAL;
    }
    // Comparison handler offset 0..5 (LT LE EQ NE GE GT) of a comparison opcode.
    static int32_t CmpIndex(int32_t opcode)
    {
        switch (opcode) {
        case VMOP_SLT: return 0;
        case VMOP_SLE: return 1;
        case VMOP_SEQ: return 2;
        case VMOP_SNE: return 3;
        case VMOP_SGE: return 4;
        default: return 5;
        }
    }
    // Operator handler offset (ADD SUB MUL DIV MOD REM), or -1.
    static int32_t ArithIndex(int32_t opcode)
    {
        switch (opcode) {
        case VMOP_ADD: return 0;
        case VMOP_SUB: return 1;
        case VMOP_MUL: return 2;
        case VMOP_DIV: return 3;
        case VMOP_MOD: return 4;
        case VMOP_REM: return 5;
        default: return -1;
        }
    }
    // A constant right operand of op that can never make it fail (no zero divisor).
    static bool SafeConstant(int32_t arith, double k)
    {
        switch (arith) {
        case 3: return !(__builtin_fabs(k) < 1e-10);
        case 4: return !(__builtin_fabs(k) < 1e-10) && k != 0;
        case 5: return Real_TruncToInt32(k) != 0;
        default: return true;
        }
    }
    // A binary op of a number type (int constant or real) on top with a variable below.
    static bool ConstOnVar(const VMOp& o)
    {
        return (o.t1 == VMT_INT || o.t1 == VMT_REAL) && o.t2 == VMT_VAR && o.binary;
    }
    static bool VarOnVar(const VMOp& o)
    {
        return o.t1 == VMT_VAR && o.t2 == VMT_VAR && (o.code == VMI_ADD_VV || o.code == VMI_SUB_VV ||
                                                      o.code == VMI_MUL_VV || o.code == VMI_DIV_VV);
    }
    static int32_t VarOnVarIndex(const VMOp& o) { return ArithIndex(o.a); }
    static bool FusedCompare(const VMOp& o, bool constant)
    {
        if (o.b == VMCMP_PUSH) return false;
        return constant ? (o.code == VMI_CMP_IV || o.code == VMI_CMP_DV) : o.code == VMI_CMP_VV;
    }

    void SetConst(VMOp& head, double k)
    {
        head.gk = k;
        int32_t i;
        head.kint = VM_WholeInt32(k, &i) && i != 0 ? 1 : 0;
        uint32_t magnitude = i < 0 ? 0u - uint32_t(i) : uint32_t(i);
        head.gi = head.kint ? int32_t(magnitude) : 0; // 2^31 reads back as uint32_t
        if (head.kint) head.gm = VM_ModMagic(magnitude);
    }

    void Groups(const std::vector<int32_t>& targets, const void* const* table)
    {
        std::vector<uint8_t>& reached = m_reached;
        reached.assign(m_p.ops.size(), 0);
        for (int32_t t : targets)
            if (t >= 0) reached[size_t(t)] = 1;
        const size_t count = m_p.ops.size() - 1; // END is never part of a group
        auto free = [&](size_t i, size_t n) {
            if (i + n > count) return false;
            for (size_t k = 0; k < n; ++k)
                if ((k > 0 && reached[i + k]) || !m_p.layouts[i + k]) return false;
            return true;
        };
        // For each op, the head + 1 of a group it belongs to (the fused comparisons' too), or 0.
        std::vector<int32_t>& grouped = m_grouped;
        grouped.assign(m_p.ops.size(), 0);
        for (const VMGroup& g : m_p.groups)
            for (int32_t k = 0; k < g.count; ++k) grouped[size_t(g.head + k)] = g.head + 1;
        auto group = [&](size_t i, size_t n, uint16_t handler, int32_t far = -1, int32_t farCount = 0) {
            m_p.ops[i].h = table[handler];
            m_p.groups.push_back(VMGroup{int32_t(i), int32_t(n), far, farCount});
            for (size_t k = 0; k < n; ++k) grouped[i + k] = int32_t(i) + 1;
            for (int32_t k = 0; k < farCount; ++k) grouped[size_t(far + k)] = int32_t(i) + 1;
        };
        for (size_t i = 0; i < count;) {
            VMOp* o = &m_p.ops[i];
            size_t n = Match(i, o, free, group, table);
            i += n ? n : 1;
        }
    }

    // After a constant scope at o (op i): the index (a constant, or a variable taken as an
    // int). Sets o->gi to its form (0 constant, 1 variable, 2 a local) and answers the
    // distance from o to the access op; 0 when there is no such index.
    template <class Free>
    size_t IndexForm(size_t i, VMOp* o, Free& free)
    {
        if (free(i, 3) && o[1].code == VMI_PUSH_I && o[1].t1 != VMT_BOOL) {
            o->gi = 0;
            return 2;
        }
        if (free(i, 4) && Readable(o[1]) && o[2].code == VMI_CONV_VI) {
            o->gi = o[1].vk == VK_SLOT ? 2 : 1;
            return 3;
        }
        return 0;
    }

    template <class Free, class Group>
    size_t Match(size_t i, VMOp* o, Free& free, Group& group, const void* const* table)
    {
        (void)table;
        const bool slot = o->code == VMI_PUSHV_SLOT;
        const bool user = UserKind(*o) && Readable(*o);
        if (slot || user) {
            // x += k, and the for loop built on it.
            if (free(i, 4) && IsConst(o[1]) && (o[2].code == VMI_ADD_IV || o[2].code == VMI_SUB_IV ||
                                                o[2].code == VMI_ADD_DV || o[2].code == VMI_SUB_DV) &&
                StoreOf(o[3], *o) && o[3].t2 == VMT_VAR) {
                double k = ConstOf(o[1]);
                o->gk = (o[2].code == VMI_ADD_IV || o[2].code == VMI_ADD_DV) ? k : -k;
                if (slot && free(i, 5) && o[4].code == VMI_B && o[4].back) {
                    const VMOp* t = o[4].k.target;
                    size_t s = size_t(t - m_p.ops.data());
                    const VMOp* c = &m_p.ops[s];
                    if (free(s, 4) && c->code == VMI_PUSHV_SLOT && c->b == o->b && IsConst(c[1]) &&
                        FusedCompare(c[2], true) && c[2].b == VMCMP_BF) {
                        o->gk2 = ConstOf(c[1]);
                        o->gt = c[2].k.target;
                        o->gt2 = &c[4];
                        o->inv = c[2].b == VMCMP_BF;
                        o->back = 1;
                        group(i, 5, uint16_t(VMI_G_FOR_S_LT + CmpIndex(c[2].a)), int32_t(s), 4);
                        return 5;
                    }
                }
                group(i, 4, slot ? VMI_G_INC_S : VMI_G_INC_I);
                return 4;
            }
            // x op= y
            if (free(i, 4) && Readable(o[1]) && VarOnVar(o[2]) && StoreOf(o[3], *o) && o[3].t2 == VMT_VAR) {
                o->ga = 1;
                group(i, 4, uint16_t((slot ? VMI_G_XOPY_S_ADD : VMI_G_XOPY_I_ADD) + VarOnVarIndex(o[2])));
                return 4;
            }
            // x op= a[i] on a local
            if (slot && IsConst(o[1]) && o[1].code == VMI_PUSH_I &&
                (o[1].k.i == SCOPE_SELF || o[1].k.i == SCOPE_PLAIN || o[1].k.i == SCOPE_GLOBAL)) {
                size_t at = IndexForm(i + 1, o + 1, free);
                if (at) {
                    const VMOp& x = o[1 + at];
                    const VMOp* op = &o[2 + at];
                    if (x.code == VMI_PUSHV_ANY && x.k.i == (VMV_INDEX | VMV_SCOPE) && x.a >= VARIABLE_USER_BASE &&
                        free(i, at + 4) && VarOnVar(*op) && StoreOf(op[1], *o) && op[1].t2 == VMT_VAR) {
                        o->ga = int8_t(at + 1); // the access
                        o->gi = o[1].gi;        // the index's form
                        group(i, at + 4, uint16_t(VMI_G_XIDX_S_ADD + VarOnVarIndex(*op)));
                        return at + 4;
                    }
                }
            }
            // s += "text": in place.
            if (free(i, 4) && o[1].code == VMI_PUSH_S && AddOfString(o[2]) && o[2].t1 == VMT_STRING &&
                StoreOf(o[3], *o) && o[3].t2 == VMT_VAR) {
                o->gi = o[1].k.s ? int32_t(std::strlen(o[1].k.s)) : 0;
                group(i, 4, slot ? VMI_G_APPEND_S : VMI_G_APPEND_I);
                return 4;
            }
        }
        if (Readable(*o)) {
            const uint16_t kind = o->vk == VK_SLOT ? 0 : o->vk == VK_ARG ? 1 : 2;
            // return x
            if (free(i, 2) && o[1].code == VMI_RET && o[1].a == VMT_VAR) {
                group(i, 2, VMI_G_RETV);
                return 2;
            }
            // x = y op z, x = y op k (a store of a variable into the variable it reads first
            // is x op= y or x += k, above)
            if (free(i, 4) && Readable(o[1]) && VarOnVar(o[2]) && SimpleStore(o[3]) && o[3].t2 == VMT_VAR) {
                group(i, 4, uint16_t((o[3].vk == VK_SLOT ? VMI_G_XYZ_S_ADD : VMI_G_XYZ_I_ADD) + VarOnVarIndex(o[2])));
                return 4;
            }
            if (free(i, 4) && IsConst(o[1]) && ConstOnVar(o[2]) && SimpleStore(o[3]) && o[3].t2 == VMT_VAR &&
                !(o[1].code == VMI_PUSH_I && o[2].t1 != VMT_INT)) {
                int32_t arith = ArithIndex(o[2].a);
                double k = ConstOf(o[1]);
                if (arith >= 0 && SafeConstant(arith, k)) {
                    SetConst(*o, k);
                    group(i, 4, uint16_t((o[3].vk == VK_SLOT ? VMI_G_XYK_S_ADD : VMI_G_XYK_I_ADD) + arith));
                    return 4;
                }
            }
            // x cmp k, branch
            if (free(i, 4) && IsConst(o[1]) && FusedCompare(o[2], true)) {
                SetConst(*o, ConstOf(o[1]));
                o->gt = o[2].k.target;
                o->gt2 = &o[4];
                o->inv = o[2].b == VMCMP_BF;
                o->back = o[2].back;
                static const uint16_t base[3] = {VMI_G_CMPK_S_LT, VMI_G_CMPK_A_LT, VMI_G_CMPK_I_LT};
                group(i, 4, uint16_t(base[kind] + CmpIndex(o[2].a)));
                return 4;
            }
            // x cmp y, branch
            if (free(i, 4) && Readable(o[1]) && FusedCompare(o[2], false)) {
                o->ga = 1;
                o->gt = o[2].k.target;
                o->gt2 = &o[4];
                o->inv = o[2].b == VMCMP_BF;
                o->back = o[2].back;
                o->gi = o[2].a;
                group(i, 4, VMI_G_CMPXY);
                return 4;
            }
            // x op k
            if (free(i, 3) && IsConst(o[1]) && ConstOnVar(o[2])) {
                int32_t arith = ArithIndex(o[2].a);
                double k = ConstOf(o[1]);
                if (arith >= 0 && SafeConstant(arith, k) && !(o[1].code == VMI_PUSH_I && o[2].t1 != VMT_INT)) {
                    SetConst(*o, k);
                    static const uint16_t base[3] = {VMI_G_VALK_S_ADD, VMI_G_VALK_A_ADD, VMI_G_VALK_I_ADD};
                    group(i, 3, uint16_t(base[kind] + arith));
                    return 3;
                }
            }
            // y = x
            if (free(i, 2) && SimpleStore(o[1]) && o[1].t2 == VMT_VAR) {
                group(i, 2, o[1].vk == VK_SLOT ? VMI_G_MOVE_S : VMI_G_MOVE_I);
                return 2;
            }
            // x taken as an int
            if (free(i, 2) && o[1].code == VMI_CONV_VI) {
                group(i, 2, VMI_G_PUSHINT);
                return 2;
            }
            return 1;
        }
        if (IsConst(*o)) {
            double k = ConstOf(*o);
            // The count of a repeat statement going down, and its branch back.
            if (free(i, 5) && o->code == VMI_PUSH_I && o->k.i == 1 && o[1].code == VMI_SUB_II &&
                o[2].code == VMI_DUP && o[2].t1 == VMT_INT && o[2].a == 4 && o[3].code == VMI_CONV_IB &&
                o[4].code == VMI_BT) {
                o->gt = o[4].k.target;
                o->back = o[4].back;
                group(i, 5, VMI_G_REPEAT);
                return 5;
            }
            // x = k
            if (free(i, 2) && SimpleStore(o[1]) && o[1].t2 == (o->code == VMI_PUSH_I ? VMT_INT : VMT_REAL)) {
                SetConst(*o, k);
                group(i, 2, o[1].vk == VK_SLOT ? VMI_G_STOREK_S : VMI_G_STOREK_I);
                return 2;
            }
            // top op= k
            if (free(i, 2) && ConstOnVar(o[1])) {
                int32_t arith = ArithIndex(o[1].a);
                if (arith >= 0 && SafeConstant(arith, k)) {
                    SetConst(*o, k);
                    group(i, 2, uint16_t(VMI_G_TOPK_ADD + arith));
                    return 2;
                }
            }
            // a[i] with a constant scope: read or write
            if (o->code == VMI_PUSH_I && (o->k.i == SCOPE_SELF || o->k.i == SCOPE_PLAIN || o->k.i == SCOPE_GLOBAL)) {
                size_t at = IndexForm(i, o, free);
                if (at) {
                    const VMOp& x = o[at];
                    const bool scopeAndIndex = x.k.i == (VMV_INDEX | VMV_SCOPE);
                    if (scopeAndIndex && x.a >= VARIABLE_USER_BASE && free(i, at + 1)) {
                        o->ga = int8_t(at);
                        if (x.code == VMI_PUSHV_ANY) {
                            group(i, at + 1, VMI_G_IDXR);
                            return at + 1;
                        }
                        if (x.code == VMI_POP_ANY && StoreValueType(x.t2) && x.t2 != VMT_FLOAT) {
                            group(i, at + 1, VMI_G_IDXW);
                            return at + 1;
                        }
                    }
                }
            }
            return 1;
        }
        // x = l op r (the two variables on the stack); x op= r when l is the local x itself
        if (VarOnVar(*o) && free(i, 2) && SimpleStore(o[1]) && o[1].t2 == VMT_VAR) {
            uint16_t base = o[1].vk == VK_SLOT ? VMI_G_ACC_S_ADD : VMI_G_ACC_I_ADD;
            if (o[1].vk == VK_SLOT) {
                int32_t popped = -1;
                int32_t j = Producer(i, 1, &popped);
                if (j >= 0 && popped == 0 && m_p.ops[size_t(j)].code == VMI_PUSHV_SLOT && m_p.ops[size_t(j)].b == o[1].b)
                    base = VMI_G_ACCD_S_ADD;
            }
            group(i, 2, uint16_t(base + VarOnVarIndex(*o)));
            return 2;
        }
        return 1;
    }

    // The add of a string on top to a variable below it.
    static bool AddOfString(const VMOp& o)
    {
        return o.code == VMI_BINARY && o.a == VMOP_ADD && o.t1 == VMT_STRING && o.t2 == VMT_VAR;
    }

    // ---- Linked sums (see VM_Internal.h) ----
    // A store of a whole variable that a linked sum may end in: a user variable or a local,
    // not through a built-in row.
    static bool LinkableStore(const VMOp& o)
    {
        switch (o.code) {
        case VMI_POP_SLOT:
        case VMI_POP_SLOTX: break;
        case VMI_POP_SELF:
        case VMI_POP_GLOBAL:
        case VMI_POP_PLAIN:
        case VMI_POP_ANY:
            if (o.a < VARIABLE_BUILTIN_LIMIT) return false;
            break;
        default: return false;
        }
        return o.t2 == VMT_VAR && !(o.k.i & VMV_ARGS);
    }
    static bool LinkableRead(const VMOp& o)
    {
        switch (o.code) {
        case VMI_PUSHV_SLOT:
        case VMI_PUSHV_SLOTX: return true;
        case VMI_PUSHV_SELF:
        case VMI_PUSHV_GLOBAL:
        case VMI_PUSHV_PLAIN:
        case VMI_PUSHV_ANY: return o.a >= VARIABLE_BUILTIN_LIMIT && !(o.k.i & VMV_ARGS);
        default: return false;
        }
    }
    // An add whose left operand is a variable and whose right one may be a string.
    static bool LinkableAdd(const VMOp& o)
    {
        return o.binary && o.a == VMOP_ADD && o.t2 == VMT_VAR && (o.t1 == VMT_VAR || o.t1 == VMT_STRING) &&
               (o.code == VMI_ADD_VV || o.code == VMI_BINARY);
    }
    // The reference parts (index, scope) a variable op takes from the stack.
    static int32_t PartsOf(const VMOp& o) { return ((o.k.i & VMV_INDEX) ? 1 : 0) + ((o.k.i & VMV_SCOPE) ? 1 : 0); }
    // The read names the variable the store writes: the same slot, or the same user variable
    // reached the same way (a computed scope or index is compared when the sum is stored).
    static bool SameVariable(const VMOp& read, const VMOp& store)
    {
        if (read.vk != store.vk) return false;
        if (read.vk == VK_SLOT) return read.b == store.b;
        return read.a == store.a && (read.vk != VK_NONE || (read.k.i & (VMV_INDEX | VMV_SCOPE | VMV_INSTANCE)) ==
                                                              (store.k.i & (VMV_INDEX | VMV_SCOPE | VMV_INSTANCE)));
    }

    // Each store of x whose value is x + a + b ...: the read of x, the adds and the store are
    // linked. The value slot of every link comes straight from the op before it in the chain
    // (Producer: nothing between them touches it and nothing jumps in between).
    void Links()
    {
        for (size_t w = 0; w + 1 < m_p.ops.size(); ++w) {
            VMOp& store = m_p.ops[w];
            if (!m_p.layouts[w] || !LinkableStore(store)) continue;
            m_chain.clear();
            int32_t popped = -1;
            int32_t j = Producer(w, (store.k.i & VMV_VALUE_TOP) ? 0 : PartsOf(store), &popped);
            while (j >= 0 && popped == 2 && LinkableAdd(m_p.ops[size_t(j)])) {
                m_chain.push_back(j);
                j = Producer(size_t(j), 1, &popped);
            }
            if (m_chain.empty() || j < 0) continue;
            VMOp& read = m_p.ops[size_t(j)];
            if (!LinkableRead(read) || popped != PartsOf(read) || !SameVariable(read, store) ||
                PlainStore(store) != store.code)
                continue;
            read.link = 1;
            for (int32_t a : m_chain) {
                VMOp& add = m_p.ops[size_t(a)];
                add.link = 1;
                // + "text": the text's push and the add as one op (see G_GATHER)
                VMOp& text = m_p.ops[size_t(a - 1)];
                if (add.t1 == VMT_STRING && text.code == VMI_PUSH_S && !m_reached[size_t(a)] && !m_grouped[size_t(a - 1)] &&
                    !m_grouped[size_t(a)] && m_p.layouts[size_t(a - 1)]) {
                    text.gi = text.k.s ? int32_t(std::strlen(text.k.s)) : 0;
                    text.h = VM_HandlerTable()[VMI_G_GATHER];
                    m_p.groups.push_back(VMGroup{a - 1, 2, -1, 0});
                    m_grouped[size_t(a - 1)] = m_grouped[size_t(a)] = a;
                }
            }
            store.link = 1;
            store.code = VMI_POP_LINK;
            store.h = VM_HandlerTable()[VMI_POP_LINK];
            // a[i] = value as one op would take the pending sum for a value: the store's own ops
            // run instead.
            const int32_t h = m_grouped[w] - 1;
            if (h >= 0 && m_p.ops[size_t(h)].h == VM_HandlerTable()[VMI_G_IDXW]) VM_Unfuse(&m_p, int32_t(w));
        }
    }

    // Ops after which the slots below the top are as they were, as long as the op left the
    // stack higher than the slot in question: each pushes at most one slot and goes on to the
    // next op.
    static bool Simple(const VMOp& o)
    {
        switch (o.code) {
        case VMI_DUP:
        case VMI_DUP_S:
        case VMI_DUP_V:
        case VMI_SHUFFLE:
        case VMI_B:
        case VMI_BT:
        case VMI_BF:
        case VMI_PUSHENV:
        case VMI_POPENV:
        case VMI_POPENV_LEAVE:
        case VMI_RET:
        case VMI_EXIT:
        case VMI_END:
        case VMI_ERROR:
        case VMI_NOP:
            return false;
        default:
            // A comparison that branches itself skips the op after it.
            return !(o.code >= VMI_CMP_II && o.code <= VMI_CMP_VD && o.b != VMCMP_PUSH);
        }
    }
    // The op that pushed the slot `below` slots under the top before op i, when nothing in
    // between touched it and no branch lands in between; -1 otherwise. *popped: how many
    // slots that op took from the stack before it pushed the slot.
    int32_t Producer(size_t i, int32_t below, int32_t* popped)
    {
        const VMLayout* li = m_p.layouts[i];
        if (!li) return -1;
        const int32_t d = li->depth - below; // the slot's depth (1 = the bottom slot)
        if (d < 1) return -1;
        for (size_t m = i; m > 0; --m) {
            if (m_reached[m]) return -1;
            const VMLayout* lm = m_p.layouts[m];
            if (!lm) return -1;
            const VMOp& prev = m_p.ops[m - 1];
            if (lm->depth == d) {
                const VMLayout* lp = m_p.layouts[m - 1];
                if (!lp || lp->depth < d - 1 || !Simple(prev)) return -1;
                *popped = lp->depth - (d - 1);
                return int32_t(m - 1);
            }
            if (lm->depth < d || !Simple(prev)) return -1;
        }
        return -1;
    }

    static void Error(VMOp& op, const char* message)
    {
        op.code = VMI_ERROR;
        op.k.s = message;
    }

    void Build(VMOp& op, const Decoded& d, const VMLayout* l, int32_t& target)
    {
        uint32_t opcode = VM_Opcode(d.word);
        int32_t t1 = op.t1, t2 = op.t2;
        const char* message = nullptr;
        switch (opcode) {
        case VMOP_CONV:
            if (!VM_ConvertValid(t1, t2, &message)) return Error(op, message);
            op.code = VMI_CONV;
            if (t2 == VMT_VAR && t1 == VMT_INT) op.code = VMI_CONV_IV;
            if (t2 == VMT_VAR && t1 == VMT_REAL) op.code = VMI_CONV_DV;
            if (t2 == VMT_VAR && t1 == VMT_BOOL) op.code = VMI_CONV_BV;
            if (t2 == VMT_BOOL && t1 == VMT_VAR) op.code = VMI_CONV_VB;
            if (t2 == VMT_BOOL && t1 == VMT_INT) op.code = VMI_CONV_IB;
            if (t2 == VMT_INT && t1 == VMT_BOOL) op.code = VMI_CONV_BI;
            if (t2 == VMT_INT && t1 == VMT_VAR) op.code = VMI_CONV_VI;
            if (t2 == VMT_INT && t1 == VMT_REAL) op.code = VMI_CONV_DI;
            if (t2 == VMT_REAL && t1 == VMT_INT) op.code = VMI_CONV_ID;
            return;
        case VMOP_MUL:
        case VMOP_DIV:
        case VMOP_REM:
        case VMOP_MOD:
        case VMOP_ADD:
        case VMOP_SUB:
        case VMOP_AND:
        case VMOP_OR:
        case VMOP_XOR:
        case VMOP_SHL:
        case VMOP_SHR:
            if (VM_BinaryResultType(opcode, t1, t2, &message) < 0) return Error(op, message);
            op.a = int32_t(opcode);
            op.binary = 1;
            op.code = FastBinary(opcode, t1, t2);
            return;
        case VMOP_NEG:
        case VMOP_NOT:
            if (t1 > 6) return; // nothing
            if (!VM_UnaryValid(opcode, t1, &message)) return Error(op, message);
            op.code = VMI_UNARY;
            op.a = int32_t(opcode);
            return;
        case VMOP_SLT:
        case VMOP_SLE:
        case VMOP_SEQ:
        case VMOP_SNE:
        case VMOP_SGE:
        case VMOP_SGT:
            if (!VM_ComparePairValid(t1, t2, &message)) return Error(op, message);
            op.code = VMI_COMPARE;
            op.a = int32_t(opcode);
            if (t1 == VMT_INT && t2 == VMT_INT) op.code = VMI_CMP_II;
            if (t1 == VMT_VAR && t2 == VMT_VAR) op.code = VMI_CMP_VV;
            if (t1 == VMT_INT && t2 == VMT_VAR) op.code = VMI_CMP_IV;
            if (t1 == VMT_VAR && t2 == VMT_INT) op.code = VMI_CMP_VI;
            if (t1 == VMT_REAL && t2 == VMT_VAR) op.code = VMI_CMP_DV;
            if (t1 == VMT_VAR && t2 == VMT_REAL) op.code = VMI_CMP_VD;
            return;
        case VMOP_POP:
            if (t1 == VMT_SHORT) {
                op.code = VMI_SHUFFLE;
                Shuffle(d, l, &op);
                return;
            }
            if (t1 != VMT_VAR && t1 != VMT_INT) return Error(op, "Pop :: Execution Error - Instruction malformed");
            if (!StoreValueType(t2)) return Error(op, "Pop :: Execution Engine");
            Variable(op, d, true);
            return;
        case VMOP_DUP: {
            if (t2 != 0 || t1 > 6) return;
            int32_t n = int32_t(VM_Field(d.word)) + 1;
            if (t1 == VMT_VAR || t1 == VMT_STRING) {
                op.code = t1 == VMT_VAR ? VMI_DUP_V : VMI_DUP_S;
                op.a = n;
                return;
            }
            int32_t native;
            Span(d.off, l, n * VM_ByteCodeSize(t1), true, &native);
            op.code = VMI_DUP;
            op.a = native;
            return;
        }
        case VMOP_RET:
            op.code = VMI_RET;
            op.a = t1;
            op.k.layout = l->below;
            return;
        case VMOP_EXIT:
            op.code = VMI_EXIT;
            op.k.layout = l;
            return;
        case VMOP_POPZ:
            if (t1 > 6) return;
            op.code = t1 == VMT_STRING ? VMI_POPZ_S : t1 == VMT_VAR ? VMI_POPZ_V : VMI_POPZ;
            op.a = VM_NativeSize(t1);
            return;
        case VMOP_B:
        case VMOP_BT:
        case VMOP_BF:
            op.code = opcode == VMOP_B ? VMI_B : opcode == VMOP_BT ? VMI_BT : VMI_BF;
            target = Target(d);
            return;
        case VMOP_PUSHENV:
            op.code = VMI_PUSHENV;
            target = Target(d);
            return;
        case VMOP_POPENV:
            if (VM_TypesByte(d.word) == VM_WITH_LEAVE_TYPES) {
                op.code = VMI_POPENV_LEAVE;
                return;
            }
            op.code = VMI_POPENV;
            target = Target(d);
            return;
        case VMOP_PUSH:
            switch (t1) {
            case VMT_REAL:
                op.code = VMI_PUSH_D;
                op.k.d = VM_Get<double>(m_code.m_pData + d.off + 4);
                return;
            case VMT_LONG:
                op.code = VMI_PUSH_L;
                op.k.l = VM_Get<int64_t>(m_code.m_pData + d.off + 4);
                return;
            case VMT_FLOAT:
                op.code = VMI_PUSH_F;
                op.k.f = VM_Get<float>(m_code.m_pData + d.off + 4);
                return;
            case VMT_INT:
            case VMT_BOOL:
                op.code = VMI_PUSH_I;
                op.k.i = int32_t(d.operand);
                return;
            case VMT_SHORT:
                op.code = VMI_PUSH_I;
                op.k.i = VM_FieldSigned(d.word);
                return;
            case VMT_STRING:
                op.code = VMI_PUSH_S;
                op.k.s = m_code.GetString(int32_t(d.operand));
                return;
            case VMT_VAR: Variable(op, d, false); return;
            default: return;
            }
        case VMOP_CALL: {
            if (t1 != VMT_INT) return Error(op, "DoCall :: Execution Engine type error");
            int32_t id = int32_t(d.operand);
            op.a = int32_t(VM_Field(d.word));
            if (id < FUNCTION_SCRIPT_BASE) {
                op.code = VMI_CALL_BUILTIN;
                op.b = id;
                op.k.fn = Function_Get(id)->f;
            } else if (id < FUNCTION_EXTENSION_BASE) {
                op.code = VMI_CALL_SCRIPT;
                op.b = id - FUNCTION_SCRIPT_BASE;
            } else {
                op.code = VMI_CALL_EXT;
                op.b = id - FUNCTION_EXTENSION_BASE;
            }
            return;
        }
        case VMOP_BREAK:
            if (VM_Field(d.word) == VM_ARRAY_CHECK) op.code = VMI_ARRAY_CHECK;
            return;
        default: return;
        }
    }

    static uint16_t FastBinary(uint32_t opcode, int32_t t1, int32_t t2)
    {
        auto pick = [&](uint16_t add, uint16_t sub, uint16_t mul, uint16_t div) -> uint16_t {
            switch (opcode) {
            case VMOP_ADD: return add;
            case VMOP_SUB: return sub;
            case VMOP_MUL: return mul;
            case VMOP_DIV: return div;
            default: return VMI_BINARY;
            }
        };
        if (t1 == VMT_INT && t2 == VMT_INT) {
            switch (opcode) {
            case VMOP_AND: return VMI_AND_II;
            case VMOP_OR: return VMI_OR_II;
            case VMOP_XOR: return VMI_XOR_II;
            case VMOP_SHL: return VMI_SHL_II;
            case VMOP_SHR: return VMI_SHR_II;
            case VMOP_REM: return VMI_REM_II;
            case VMOP_MOD: return VMI_MOD_II;
            default: return pick(VMI_ADD_II, VMI_SUB_II, VMI_MUL_II, VMI_BINARY);
            }
        }
        if (t1 == VMT_REAL && t2 == VMT_REAL) return pick(VMI_ADD_DD, VMI_SUB_DD, VMI_MUL_DD, VMI_DIV_DD);
        if (t1 == VMT_VAR && t2 == VMT_VAR) {
            if (opcode == VMOP_MOD) return VMI_MOD_VV;
            if (opcode == VMOP_REM) return VMI_REM_VV;
            return pick(VMI_ADD_VV, VMI_SUB_VV, VMI_MUL_VV, VMI_DIV_VV);
        }
        if (t1 == VMT_INT && t2 == VMT_VAR) {
            switch (opcode) {
            case VMOP_MOD: return VMI_MOD_IV;
            case VMOP_REM: return VMI_REM_IV;
            case VMOP_AND: return VMI_AND_IV;
            case VMOP_OR: return VMI_OR_IV;
            case VMOP_XOR: return VMI_XOR_IV;
            default: return pick(VMI_ADD_IV, VMI_SUB_IV, VMI_MUL_IV, VMI_DIV_IV);
            }
        }
        if (t1 == VMT_REAL && t2 == VMT_VAR) return pick(VMI_ADD_DV, VMI_SUB_DV, VMI_MUL_DV, VMI_DIV_DV);
        if (t1 == VMT_VAR && t2 == VMT_INT) return pick(VMI_ADD_VI, VMI_SUB_VI, VMI_MUL_VI, VMI_BINARY);
        if (t1 == VMT_VAR && t2 == VMT_REAL) return pick(VMI_ADD_VD, VMI_SUB_VD, VMI_MUL_VD, VMI_DIV_VD);
        return VMI_BINARY;
    }

    int32_t SlotFor(int32_t id)
    {
        int32_t slot = m_p.SlotOf(id);
        if (slot >= 0) return slot;
        m_p.localIds.push_back(id);
        return ++m_p.localCount - 1;
    }

    void Variable(VMOp& op, const Decoded& d, bool store)
    {
        int32_t id = int32_t(d.operand & VMREF_ID_MASK);
        bool indexed = !(d.operand & VMREF_NO_INDEX);
        bool scopeInWord = (d.operand & VMREF_SCOPE_IN_WORD) != 0;
        int32_t scope = scopeInWord ? VM_FieldSigned(d.word) : 0;
        if (scopeInWord && (d.operand & VMREF_INSTANCE)) scope = Scope_FromInstanceOffset(scope);
        bool builtin = id < VARIABLE_BUILTIN_LIMIT;
        op.a = id;
        op.b = scope;
        op.k.i = (indexed ? VMV_INDEX : 0) | (scopeInWord ? 0 : VMV_SCOPE) |
                 (store && op.t1 == VMT_INT ? VMV_VALUE_TOP : 0) |
                 (!scopeInWord && (d.operand & VMREF_INSTANCE) ? VMV_INSTANCE : 0) |
                 (builtin && Variable_BuiltIn_IsArgumentRow(id) ? VMV_ARGS : 0);
        bool simple = !indexed && scopeInWord;
        if (scopeInWord && scope == SCOPE_LOCAL) {
            // A `var` local: a slot of the frame (b), whatever the id.
            op.b = SlotFor(id);
            op.vk = VK_SLOT;
            if (store) {
                op.code = indexed ? VMI_POP_SLOTX : VMI_POP_SLOT;
            } else {
                op.code = indexed ? VMI_PUSHV_SLOTX : VMI_PUSHV_SLOT;
            }
            return;
        }
        if (store) {
            op.code = VMI_POP_ANY;
            if (!simple) return;
            if (scope == SCOPE_GLOBAL) {
                op.code = VMI_POP_GLOBAL;
                op.vk = VK_GLOBAL;
            } else if (scope == SCOPE_SELF && !builtin) {
                op.code = VMI_POP_SELF;
                op.vk = VK_SELF;
            } else if (scope == SCOPE_PLAIN && id >= VARIABLE_USER_BASE) {
                op.code = VMI_POP_PLAIN;
                op.vk = VK_PLAIN;
            } else if ((scope == SCOPE_SELF || scope == SCOPE_PLAIN) && builtin && Variable_BuiltIn_Row(id) &&
                       !(op.k.i & VMV_ARGS)) {
                op.code = VMI_POP_BUILTIN; // the row's setter, called at once
            }
            return;
        }
        op.code = VMI_PUSHV_ANY;
        if (!simple) return;
        if (scope == SCOPE_GLOBAL) {
            op.code = VMI_PUSHV_GLOBAL;
            op.vk = VK_GLOBAL;
        } else if (scope == SCOPE_SELF || (scope == SCOPE_PLAIN && id < VARIABLE_USER_BASE)) {
            if (!builtin) {
                op.code = VMI_PUSHV_SELF;
                op.vk = VK_SELF;
            } else if (Variable_BuiltIn_ArgumentSlot(id) >= 0) {
                op.code = VMI_PUSHV_ARG;
                op.vk = VK_ARG;
                op.b = Variable_BuiltIn_ArgumentSlot(id);
            } else if (Variable_BuiltIn_Row(id) && !(op.k.i & VMV_ARGS)) {
                op.code = VMI_PUSHV_BUILTIN; // the row's getter, called at once
            }
        } else if (scope == SCOPE_PLAIN) {
            op.code = VMI_PUSHV_PLAIN;
            op.vk = VK_PLAIN;
        }
    }

    VMProgram& m_p;
    const VMBuffer& m_code;
    std::vector<Decoded> m_ins;
    std::vector<const VMLayout*> m_in;
    std::vector<int32_t> m_work;
    std::vector<uint8_t> m_reached; // ops a branch lands on
    std::vector<int32_t> m_grouped; // per op: the head + 1 of its group, or 0 (while groups are made)
    std::vector<int32_t> m_chain;   // the adds of a sum being linked
    std::map<std::pair<const VMLayout*, uint8_t>, const VMLayout*> m_interned;
    const VMLayout* m_empty = nullptr;
};

} // namespace

namespace {
bool g_disassemble = false;
}

uint32_t g_VMCodeGeneration = 1;

void VM_UnitDestroyed() { ++g_VMCodeGeneration; }

void VM_SetDisassembleUnits(bool on) { g_disassemble = on; }

bool VM_Prepare(VMBuffer* code, std::string* error)
{
    if (!code) {
        if (error) *error = "no code";
        return false;
    }
    if (code->m_prepareState == 1) return true;
    if (code->m_prepareState == -1) {
        if (error) *error = code->m_pProgram ? code->m_pProgram->error : "refused";
        return false;
    }
    auto* p = new VMProgram();
    p->code = code;
    Builder b(*p, *code);
    bool ok = b.Run();
    if (b.stopped) { // not refused: prepared again when it next runs
        delete p;
        if (error) *error = kPrepareStopped;
        return false;
    }
    code->m_pProgram = p;
    code->m_prepareState = ok ? 1 : -1;
    if (ok) {
        VM_Debug_UnitPrepared(code);
        if (g_disassemble) {
            VM_DisassembleAll(Console_Get(), code);
            VM_ListProgram(Console_Get(), p, nullptr);
        }
    } else {
        // Only the error text is kept of a refused unit.
        p->ops.clear();
        p->nodes.clear();
        p->layouts.clear();
        if (error) *error = p->error;
    }
    return ok;
}

void VM_Unfuse(VMProgram* prog, int32_t i)
{
    const void* const* table = VM_HandlerTable();
    for (VMGroup& g : prog->groups) {
        if (g.count == 0) continue; // undone before
        bool inside = (i > g.head && i < g.head + g.count) || (g.far >= 0 && i >= g.far && i < g.far + g.farCount);
        if (!inside) continue;
        VMOp& op = prog->ops[size_t(g.head)];
        if (op.code >= VMI_CMP_II && op.code <= VMI_CMP_VD && g.count == 2 && g.far < 0) {
            op.b = VMCMP_PUSH; // a comparison that tested and branched at once pushes its bool again
        } else if (op.h != table[VMI_BREAKPOINT]) {
            op.h = table[op.code];
        }
        g.count = 0;
        g.far = -1;
    }
}

// [SECTION] Listing ============================================================================

const char* VM_InternalOpName(uint16_t code)
{
#define VM_NAME(n) #n,
    static const char* const names[VMI_COUNT] = {VM_INTERNAL_OPS(VM_NAME)};
#undef VM_NAME
    return code < VMI_COUNT ? names[code] : "?";
}

void VM_ListProgram(tagIConsole* console, const VMProgram* prog, const char* name)
{
    if (!console || !prog) return;
    console->Output("prepared %s at %08x: %d ops, %d local slots, %d groups\n", name ? name : "unit",
                    prog->code ? prog->code->m_address : 0u, int32_t(prog->ops.size()), prog->LocalCount(),
                    int32_t(prog->groups.size()));
    for (size_t s = 0; s < prog->localIds.size(); ++s)
        console->Output("  slot %d = %s\n", int32_t(s), Code_Variable_GetName(prog->localIds[s]));
    const void* const* table = VM_HandlerTable();
    for (size_t i = 0; i < prog->ops.size(); ++i) {
        const VMOp& op = prog->ops[i];
        if (!prog->layouts.empty() && i < prog->layouts.size() && !prog->layouts[i] && op.code != VMI_END) continue;
        const char* group = "";
        int32_t length = 0;
        for (const VMGroup& g : prog->groups) {
            if (g.head == int32_t(i) && g.count > 0 && op.h != table[op.code]) {
                for (uint16_t c = 0; c < VMI_COUNT; ++c)
                    if (table[c] == op.h) group = VM_InternalOpName(c);
                length = g.count;
            }
        }
        console->Output("  %08x  %-14s", op.off, VM_InternalOpName(op.code));
        if (*group) console->Output("  [%s, %d ops]", group, length);
        console->Output("\n");
    }
}

const char* VM_PrepareError(const VMBuffer* code)
{
    return code && code->m_prepareState == -1 && code->m_pProgram ? code->m_pProgram->error.c_str() : "";
}

void VM_ReleaseProgram(VMBuffer* code)
{
    if (!code || !code->m_pProgram) return;
    ++g_VMCodeGeneration;
    delete code->m_pProgram;
    code->m_pProgram = nullptr;
    code->m_prepareState = 0;
}
