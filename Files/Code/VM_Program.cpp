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
        }
        return true;
    }

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
            if (targets[size_t(i)] >= 0) m_p.ops[size_t(i)].k.target = &m_p.ops[size_t(targets[size_t(i)])];
        }
        Fuse(targets);
        const void* const* table = VM_HandlerTable();
        for (VMOp& op : m_p.ops) op.h = table[op.code];
        Groups(targets, table);
        m_p.maxBytes = maxBytes + 2 * VSIZE;
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
        }
    }

    // Common runs of instructions on one variable run as one op: x += k, a comparison of x
    // with a constant that feeds a branch, and x taken as an int.
    void Groups(const std::vector<int32_t>& targets, const void* const* table)
    {
        std::vector<uint8_t> reached(m_p.ops.size(), 0);
        for (int32_t t : targets)
            if (t >= 0) reached[size_t(t)] = 1;
        m_p.fused.assign(m_p.ops.size(), 0);
        size_t count = m_p.ops.size() - 1; // END is never part of a group
        auto free = [&](size_t i, size_t n) {
            if (i + n > count) return false;
            for (size_t k = 1; k < n; ++k)
                if (reached[i + k] || !m_p.layouts[i + k]) return false;
            return true;
        };
        for (size_t i = 0; i < count; ++i) {
            VMOp* o = &m_p.ops[i];
            if (o->code == VMI_CMP_II || o->code == VMI_CMP_VV || o->code == VMI_CMP_IV ||
                o->code == VMI_CMP_VI || o->code == VMI_CMP_DV || o->code == VMI_CMP_VD) {
                if (o->b != VMCMP_PUSH) m_p.fused[i] = 2;
                continue;
            }
            uint16_t store;
            switch (o->code) {
            case VMI_PUSHV_LOCAL: store = VMI_POP_LOCAL; break;
            case VMI_PUSHV_SELF: store = VMI_POP_SELF; break;
            case VMI_PUSHV_GLOBAL: store = VMI_POP_GLOBAL; break;
            case VMI_PUSHV_PLAIN: store = VMI_POP_PLAIN; break;
            case VMI_PUSHV_ARG: store = VMI_COUNT; break; // an argument is only read
            default: continue;
            }
            bool constant = free(i, 3) && ((o[1].code == VMI_PUSH_I && o[1].t1 != VMT_BOOL) || o[1].code == VMI_PUSH_D);
            bool intConst = constant && o[1].code == VMI_PUSH_I;
            if (free(i, 4) && ((o[1].code == VMI_PUSH_I && o[1].t1 != VMT_BOOL &&
                                (o[2].code == VMI_ADD_IV || o[2].code == VMI_SUB_IV)) ||
                               (o[1].code == VMI_PUSH_D && (o[2].code == VMI_ADD_DV || o[2].code == VMI_SUB_DV))) &&
                o[3].code == store && o[3].a == o->a && o[3].t2 == VMT_VAR) {
                o->h = table[VMI_FUSE_INC];
                m_p.fused[i] = 4;
            } else if (free(i, 4) && ((o[1].code == VMI_PUSH_I && o[1].t1 != VMT_BOOL && o[2].code == VMI_CMP_IV) ||
                                      (o[1].code == VMI_PUSH_D && o[2].code == VMI_CMP_DV)) &&
                       o[2].b != VMCMP_PUSH) {
                o->h = table[VMI_FUSE_CMPK];
                m_p.fused[i] = 4;
            } else if (constant && (intConst ? (o[2].code == VMI_ADD_IV || o[2].code == VMI_SUB_IV || o[2].code == VMI_MUL_IV)
                                             : (o[2].code == VMI_ADD_DV || o[2].code == VMI_SUB_DV || o[2].code == VMI_MUL_DV))) {
                o->h = table[VMI_FUSE_VALK];
                m_p.fused[i] = 3;
            } else if (free(i, 2) && o[1].code == VMI_CONV_VI) {
                o->h = table[VMI_FUSE_PUSHINT];
                m_p.fused[i] = 2;
            }
        }
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
            op.code = VMI_BINARY;
            op.a = int32_t(opcode);
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
        if (t1 == VMT_INT && t2 == VMT_INT) return pick(VMI_ADD_II, VMI_SUB_II, VMI_MUL_II, VMI_BINARY);
        if (t1 == VMT_REAL && t2 == VMT_REAL) return pick(VMI_ADD_DD, VMI_SUB_DD, VMI_MUL_DD, VMI_DIV_DD);
        if (t1 == VMT_VAR && t2 == VMT_VAR) return pick(VMI_ADD_VV, VMI_SUB_VV, VMI_MUL_VV, VMI_DIV_VV);
        if (t1 == VMT_INT && t2 == VMT_VAR && opcode == VMOP_MOD) return VMI_MOD_IV;
        if (t1 == VMT_INT && t2 == VMT_VAR) return pick(VMI_ADD_IV, VMI_SUB_IV, VMI_MUL_IV, VMI_DIV_IV);
        if (t1 == VMT_REAL && t2 == VMT_VAR) return pick(VMI_ADD_DV, VMI_SUB_DV, VMI_MUL_DV, VMI_DIV_DV);
        if (t1 == VMT_VAR && t2 == VMT_INT) return pick(VMI_ADD_VI, VMI_SUB_VI, VMI_MUL_VI, VMI_BINARY);
        if (t1 == VMT_VAR && t2 == VMT_REAL) return pick(VMI_ADD_VD, VMI_SUB_VD, VMI_MUL_VD, VMI_DIV_VD);
        return VMI_BINARY;
    }

    void Variable(VMOp& op, const Decoded& d, bool store)
    {
        int32_t id = int32_t(d.operand & VMREF_ID_MASK);
        bool indexed = !(d.operand & VMREF_NO_INDEX);
        bool scopeInWord = (d.operand & VMREF_SCOPE_IN_WORD) != 0;
        int32_t scope = scopeInWord ? VM_FieldSigned(d.word) : 0;
        if (scopeInWord && (d.operand & VMREF_INSTANCE)) scope += SCOPE_INSTANCE_BASE;
        op.a = id;
        op.b = scope;
        op.k.i = (indexed ? VMV_INDEX : 0) | (scopeInWord ? 0 : VMV_SCOPE) |
                 (store && op.t1 == VMT_INT ? VMV_VALUE_TOP : 0) |
                 (!scopeInWord && (d.operand & VMREF_INSTANCE) ? VMV_INSTANCE : 0);
        bool simple = !indexed && scopeInWord;
        bool builtin = id < VARIABLE_BUILTIN_LIMIT;
        if (store) {
            op.code = VMI_POP_ANY;
            if (!simple) return;
            if (scope == SCOPE_LOCAL) op.code = VMI_POP_LOCAL;
            else if (scope == SCOPE_GLOBAL) op.code = VMI_POP_GLOBAL;
            else if (scope == SCOPE_SELF && !builtin) op.code = VMI_POP_SELF;
            else if (scope == SCOPE_PLAIN && id >= VARIABLE_USER_BASE) op.code = VMI_POP_PLAIN;
            return;
        }
        op.code = VMI_PUSHV_ANY;
        if (!simple) return;
        if (scope == SCOPE_LOCAL) {
            op.code = VMI_PUSHV_LOCAL;
        } else if (scope == SCOPE_GLOBAL) {
            op.code = VMI_PUSHV_GLOBAL;
        } else if (scope == SCOPE_SELF || (scope == SCOPE_PLAIN && id < VARIABLE_USER_BASE)) {
            if (!builtin) {
                op.code = VMI_PUSHV_SELF;
            } else if (Variable_BuiltIn_ArgumentSlot(id) >= 0) {
                op.code = VMI_PUSHV_ARG;
                op.b = Variable_BuiltIn_ArgumentSlot(id);
            } else if (Variable_BuiltIn_Row(id)) {
                op.code = VMI_PUSHV_BUILTIN;
            }
        } else if (scope == SCOPE_PLAIN) {
            op.code = VMI_PUSHV_PLAIN;
        }
    }

    VMProgram& m_p;
    const VMBuffer& m_code;
    std::vector<Decoded> m_ins;
    std::vector<const VMLayout*> m_in;
    std::vector<int32_t> m_work;
    std::map<std::pair<const VMLayout*, uint8_t>, const VMLayout*> m_interned;
    const VMLayout* m_empty = nullptr;
};

} // namespace

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
    code->m_pProgram = p;
    code->m_prepareState = ok ? 1 : -1;
    if (ok) {
        VM_Debug_UnitPrepared(code);
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
    for (int32_t head = i; head >= 0 && head > i - 4; --head) {
        uint8_t n = prog->fused[size_t(head)];
        if (n == 0 || head + n <= i || head == i) continue;
        VMOp& op = prog->ops[size_t(head)];
        if (op.b != VMCMP_PUSH && n == 2 && op.code >= VMI_CMP_II && op.code <= VMI_CMP_VD) op.b = VMCMP_PUSH;
        // A comparison that a group of four fed keeps its own branch fused: only its head
        // is undone.
        if (op.h != table[VMI_BREAKPOINT]) op.h = table[op.code];
        prog->fused[size_t(head)] = 0;
    }
}

const char* VM_PrepareError(const VMBuffer* code)
{
    return code && code->m_prepareState == -1 && code->m_pProgram ? code->m_pProgram->error.c_str() : "";
}

void VM_ReleaseProgram(VMBuffer* code)
{
    if (!code || !code->m_pProgram) return;
    delete code->m_pProgram;
    code->m_pProgram = nullptr;
    code->m_prepareState = 0;
}
