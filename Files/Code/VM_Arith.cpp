// The machine's operators over typed stack slots: arithmetic, bitwise, unary, comparisons
// and conversions, with the results and error texts of ZBL. These are the general forms; the
// dispatch loop has fast paths for the common type pairs that must give the same results.
//
// Operands: the first type is the top value (the right-hand operand), the second type the
// value below it (the left-hand operand). A variable operand is read as a real or a string by
// its kind. Results are written where the left operand began.
#include "Files/Base/RealConvert.h"
#include "Files/Code/VM_Internal.h"

#include <cstdarg>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Platform/MemoryManager.h"

double VM_CompareEpsilon = 0.00001;

namespace {

enum NumKind : uint8_t { NK_R, NK_F, NK_I, NK_L, NK_B, NK_S, NK_BAD };

struct Num {
    NumKind k;
    double r;  // NK_R
    float f;   // NK_F
    int32_t i; // NK_I, NK_B (0 or 1)
    int64_t l; // NK_L
    char* s;   // NK_S (owned by the stack slot)
};

Num Load(int32_t type, const uint8_t* p)
{
    Num n{};
    switch (type) {
    case VMT_REAL: n.k = NK_R; n.r = VM_Get<double>(p); break;
    case VMT_FLOAT: n.k = NK_F; n.f = VM_Get<float>(p); break;
    case VMT_INT: n.k = NK_I; n.i = VM_Get<int32_t>(p); break;
    case VMT_LONG: n.k = NK_L; n.l = VM_Get<int64_t>(p); break;
    case VMT_BOOL: n.k = NK_B; n.i = p[0] != 0 ? 1 : 0; break;
    case VMT_STRING: n.k = NK_S; n.s = VM_Get<char*>(p); break;
    case VMT_VAR: {
        ScriptValue v = VM_Get<ScriptValue>(p);
        if (v.kind == VALUE_REAL) {
            n.k = NK_R;
            n.r = v.real;
        } else if (v.kind == VALUE_STRING) {
            n.k = NK_S;
            n.s = v.text;
        } else {
            n.k = NK_BAD;
        }
        break;
    }
    default: n.k = NK_BAD; break;
    }
    return n;
}

bool IsNumber(NumKind k) { return k == NK_R || k == NK_I || k == NK_L; }

double AsReal(const Num& n)
{
    switch (n.k) {
    case NK_R: return n.r;
    case NK_F: return double(n.f);
    case NK_I:
    case NK_B: return double(n.i);
    case NK_L: return double(n.l);
    default: return 0.0;
    }
}

int64_t AsLong(const Num& n)
{
    switch (n.k) {
    case NK_R: return Real_TruncToInt64(n.r);
    case NK_F: return Real_TruncToInt64(double(n.f));
    case NK_I:
    case NK_B: return n.i;
    case NK_L: return n.l;
    default: return 0;
    }
}

// The byte code's slot sizes decide the generator's "wider" type: the larger, the left on a
// tie, a variable counting as 16.
int32_t Wider(int32_t t1, int32_t t2)
{
    return VM_ByteCodeSize(t1) > VM_ByteCodeSize(t2) ? t1 : t2;
}

const char* ExecError(uint32_t op)
{
    switch (op) {
    case VMOP_ADD: return "DoAdd :: Execution Error";
    case VMOP_SUB: return "DoSub:: Execution Error";
    case VMOP_MUL: return "DoMul :: Execution Error";
    case VMOP_DIV: return "DoDiv :: Execution Error";
    case VMOP_REM: return "DoRem :: Execution Error";
    case VMOP_MOD: return "DoMod :: Execution Error";
    case VMOP_AND: return "DoAnd :: Execution Error";
    case VMOP_OR: return "DoOr :: Execution Error";
    case VMOP_XOR: return "DoXor :: Execution Error";
    case VMOP_SHL: return "DoShl :: Execution Error";
    case VMOP_SHR: return "DoShr :: Execution Error";
    default: return "DoConv :: Execution Error";
    }
}

const char* StringError(uint32_t op)
{
    switch (op) {
    case VMOP_SUB: return "DoSub :: Execution Engine - Cannot operate on string type";
    case VMOP_DIV: return "DoDiv :: Execution Engine - Cannot operate on string type";
    case VMOP_REM: return "DoRem :: Execution Engine - Cannot operate on string type";
    case VMOP_MOD: return "DoMod :: Execution Engine - Cannot operate on string type";
    case VMOP_AND: return "DoAnd :: Execution Engine - Cannot operate on string type";
    case VMOP_OR: return "DoOr :: Execution Engine - Cannot operate on string type";
    case VMOP_XOR: return "DoXor :: Execution Engine - Cannot operate on string type";
    case VMOP_SHL: return "DoShl :: Execution Engine - Cannot operate on string type";
    case VMOP_SHR: return "DoShr :: Execution Engine - Cannot operate on string type";
    case VMOP_NEG: return "DoNeg :: Execution Engine - Cannot operate on string type";
    case VMOP_NOT: return "DoNot :: Execution Engine - Cannot operate on string type";
    default: return ExecError(op);
    }
}

const char* ZeroError(uint32_t op)
{
    switch (op) {
    case VMOP_DIV: return "DoDiv :: Divide by zero";
    case VMOP_REM: return "DoRem :: Divide by zero";
    default: return "DoMod :: Divide by zero";
    }
}

bool IsArith(uint32_t op) { return op >= VMOP_MUL && op <= VMOP_SUB; }
bool IsLogic(uint32_t op) { return op == VMOP_AND || op == VMOP_OR || op == VMOP_XOR; }
bool IsShift(uint32_t op) { return op == VMOP_SHL || op == VMOP_SHR; }

// The pair rule over operand kinds (after variables were read): true when valid; message
// otherwise. Used both statically (plain types) and at run time (variables).
bool PairValid(uint32_t op, NumKind right, NumKind left, const char** message)
{
    bool rs = right == NK_S, ls = left == NK_S;
    if (IsArith(op)) {
        if (rs || ls) {
            if (op == VMOP_ADD) {
                if (rs && ls) return true;
                *message = ExecError(op);
                return false;
            }
            if (op == VMOP_MUL) {
                if (rs && IsNumber(left)) return true;
                *message = ExecError(op);
                return false;
            }
            *message = StringError(op);
            return false;
        }
        if (IsNumber(left) && IsNumber(right)) return true;
        *message = ExecError(op);
        return false;
    }
    if (IsLogic(op) || IsShift(op)) {
        if (rs || ls) {
            *message = StringError(op);
            return false;
        }
        if (IsNumber(left) && IsNumber(right)) return true;
        if (IsLogic(op) && left == NK_B && right == NK_B) return true;
        *message = ExecError(op);
        return false;
    }
    *message = ExecError(op);
    return false;
}

NumKind StaticKind(int32_t t)
{
    switch (t) {
    case VMT_REAL: return NK_R;
    case VMT_FLOAT: return NK_F;
    case VMT_INT: return NK_I;
    case VMT_LONG: return NK_L;
    case VMT_BOOL: return NK_B;
    case VMT_STRING: return NK_S;
    default: return NK_BAD;
    }
}

// Writes a number result of the given type at p; returns the top after it.
uint8_t* StoreNumber(uint8_t* p, int32_t type, const Num& r)
{
    switch (type) {
    case VMT_REAL: VM_Put(p, AsReal(r)); return p + 8;
    case VMT_LONG: VM_Put(p, AsLong(r)); return p + 8;
    case VMT_INT: VM_Put(p, r.k == NK_I ? r.i : int32_t(AsLong(r))); return p + 4;
    case VMT_BOOL: {
        int32_t b = r.i ? 1 : 0;
        VM_Put(p, b);
        return p + 4;
    }
    case VMT_VAR: {
        ScriptValue v{VALUE_REAL, nullptr, AsReal(r)};
        if (r.k == NK_S) {
            v.kind = VALUE_STRING;
            v.text = r.s;
            v.real = 0;
        }
        VM_Put(p, v);
        return p + VSIZE;
    }
    case VMT_STRING: VM_Put(p, r.s); return p + SSIZE;
    default: return p;
    }
}

void FreeNum(Num& n)
{
    if (n.k == NK_S) MEM_FREE(n.s);
}

char* Repeat(const char* s, double times)
{
    int32_t n = Real_TruncToInt32(times);
    size_t len = s ? std::strlen(s) : 0;
    if (n <= 0 || len == 0) return MEM_STRDUP("");
    uint64_t total = uint64_t(len) * uint64_t(n);
    if (total >= 0x7FFFFFF0u) MemoryManager::OutOfMemory();
    char* out = static_cast<char*>(MEM_ALLOC(uint32_t(total + 1)));
    for (int32_t i = 0; i < n; ++i) std::memcpy(out + size_t(i) * len, s, len);
    out[total] = 0;
    return out;
}

char* Concat(const char* a, const char* b)
{
    size_t la = a ? std::strlen(a) : 0, lb = b ? std::strlen(b) : 0;
    if (la + lb >= 0x7FFFFFF0u) MemoryManager::OutOfMemory();
    char* out = static_cast<char*>(MEM_ALLOC(uint32_t(la + lb + 1)));
    if (la) std::memcpy(out, a, la);
    if (lb) std::memcpy(out + la, b, lb);
    out[la + lb] = 0;
    return out;
}

// Arithmetic over numbers (no strings); false with a message for a zero divisor.
bool Arith(uint32_t op, const Num& a, const Num& b, Num& r, const char** message)
{
    bool real = a.k == NK_R || b.k == NK_R;
    bool wide = a.k == NK_L || b.k == NK_L;
    if (op == VMOP_DIV || op == VMOP_MOD || op == VMOP_REM) {
        bool zero = b.k == NK_R ? std::fabs(b.r) < 1e-10 : AsLong(b) == 0;
        if (op == VMOP_REM && real && Real_TruncToInt32(AsReal(b)) == 0) zero = true;
        if (zero) {
            *message = ZeroError(op);
            return false;
        }
    }
    if (real) {
        double x = AsReal(a), y = AsReal(b);
        r.k = NK_R;
        switch (op) {
        case VMOP_ADD: r.r = x + y; break;
        case VMOP_SUB: r.r = x - y; break;
        case VMOP_MUL: r.r = x * y; break;
        case VMOP_DIV: r.r = x / y; break;
        case VMOP_REM: r.r = VM_RemReal(x, y); break;
        case VMOP_MOD: r.r = VM_ModReal(x, y); break;
        default: break;
        }
        return true;
    }
    if (wide) {
        int64_t x = AsLong(a), y = AsLong(b);
        uint64_t ux = uint64_t(x), uy = uint64_t(y);
        r.k = NK_L;
        switch (op) {
        case VMOP_ADD: r.l = int64_t(ux + uy); break;
        case VMOP_SUB: r.l = int64_t(ux - uy); break;
        case VMOP_MUL: r.l = int64_t(ux * uy); break;
        case VMOP_DIV:
        case VMOP_REM: r.l = (x == INT64_MIN && y == -1) ? INT64_MIN : x / y; break;
        case VMOP_MOD: r.l = (y == -1) ? 0 : x % y; break;
        default: break;
        }
        return true;
    }
    int32_t x = a.i, y = b.i;
    uint32_t ux = uint32_t(x), uy = uint32_t(y);
    r.k = NK_I;
    switch (op) {
    case VMOP_ADD: r.i = int32_t(ux + uy); break;
    case VMOP_SUB: r.i = int32_t(ux - uy); break;
    case VMOP_MUL: r.i = int32_t(ux * uy); break;
    case VMOP_DIV:
    case VMOP_REM: r.i = (x == INT32_MIN && y == -1) ? INT32_MIN : x / y; break;
    case VMOP_MOD: r.i = (y == -1) ? 0 : x % y; break;
    default: break;
    }
    return true;
}

int64_t Shift64(uint32_t op, int64_t x, int64_t count)
{
    uint32_t c = uint32_t(count) & 0xFF;
    if (op == VMOP_SHL) return c >= 64 ? 0 : int64_t(uint64_t(x) << c);
    if (c >= 64) return x < 0 ? -1 : 0;
    return x >> c;
}

int32_t Shift32(uint32_t op, int32_t x, int32_t count)
{
    uint32_t c = uint32_t(count) & 31;
    return op == VMOP_SHL ? int32_t(uint32_t(x) << c) : (x >> c);
}

void Bitwise(uint32_t op, const Num& a, const Num& b, Num& r)
{
    if (a.k == NK_B && b.k == NK_B) {
        r.k = NK_B;
        r.i = op == VMOP_AND ? (a.i && b.i) : op == VMOP_OR ? (a.i || b.i) : (a.i != b.i);
        return;
    }
    bool real = a.k == NK_R || b.k == NK_R;
    bool wide = real || a.k == NK_L || b.k == NK_L;
    if (IsShift(op)) {
        if (a.k == NK_I) {
            // A 32-bit left operand shifts by the count's low 5 bits whatever the count's type.
            r.k = NK_I;
            r.i = Shift32(op, a.i, int32_t(AsLong(b)));
            if (real) {
                r.k = NK_R;
                r.r = double(r.i);
            } else if (wide) {
                r.k = NK_L;
                r.l = r.i;
            }
            return;
        }
        int64_t v = Shift64(op, AsLong(a), AsLong(b));
        if (real) {
            r.k = NK_R;
            r.r = double(v);
        } else {
            r.k = NK_L;
            r.l = v;
        }
        return;
    }
    if (!wide) {
        r.k = NK_I;
        r.i = op == VMOP_AND ? (a.i & b.i) : op == VMOP_OR ? (a.i | b.i) : (a.i ^ b.i);
        return;
    }
    int64_t x = AsLong(a), y = AsLong(b);
    int64_t v = op == VMOP_AND ? (x & y) : op == VMOP_OR ? (x | y) : (x ^ y);
    if (real) {
        r.k = NK_R;
        r.r = double(v);
    } else {
        r.k = NK_L;
        r.l = v;
    }
}

// snprintf into a new string.
char* Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
char* Format(const char* format, ...)
{
    char buf[64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return MEM_STRDUP(buf);
}

} // namespace

// ---- Text to numbers ----

double VM_TextToReal(const char* text)
{
    if (!text) return 0.0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    bool any = p > digits;
    if (*p == '.') {
        ++p;
        const char* frac = p;
        while (*p >= '0' && *p <= '9') ++p;
        any = any || p > frac;
    }
    if (!any) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9') ++e;
            p = e;
        }
    }
    // from_chars reads exactly the decimal prefix found above, in the C locale, correctly
    // rounded; it takes no '+' sign.
    bool negative = *start == '-';
    const char* first = (*start == '+' || *start == '-') ? start + 1 : start;
    double value = 0;
    std::from_chars(first, p, value, std::chars_format::general);
    return negative ? -value : value;
}

int32_t VM_TextToInt(const char* text)
{
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > 2147483648LL) v = 2147483648LL; // saturate
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

// ---- Binary arithmetic and bitwise ----

int32_t VM_BinaryResultType(uint32_t op, int32_t t1, int32_t t2, const char** message)
{
    if (t1 > 6 || t2 > 6) {
        *message = ExecError(op);
        return -1;
    }
    if (t1 == VMT_VAR || t2 == VMT_VAR) {
        // The plain side must be able to meet a real or a string.
        int32_t other = t1 == VMT_VAR ? t2 : t1;
        if (other == VMT_FLOAT || other == VMT_BOOL) {
            *message = ExecError(op);
            return -1;
        }
        return VMT_VAR;
    }
    if (!PairValid(op, StaticKind(t1), StaticKind(t2), message)) return -1;
    if (t1 == VMT_STRING || t2 == VMT_STRING) return VMT_STRING;
    if (t1 == VMT_BOOL && t2 == VMT_BOOL) return VMT_BOOL;
    return Wider(t1, t2);
}

uint8_t* VM_Binary(uint32_t op, int32_t t1, int32_t t2, uint8_t* sp, const char** message)
{
    int32_t rtype = VM_BinaryResultType(op, t1, t2, message);
    if (rtype < 0) return nullptr;
    uint8_t* right = sp - VM_NativeSize(t1);
    uint8_t* left = right - VM_NativeSize(t2);
    Num b = Load(t1, right), a = Load(t2, left);
    if (a.k == NK_BAD || b.k == NK_BAD) {
        *message = op == VMOP_MUL ? "Variable is malformed" : "Malformed variable";
        return nullptr;
    }
    if (rtype == VMT_VAR && !PairValid(op, b.k, a.k, message)) return nullptr;
    Num r{};
    if (a.k == NK_S || b.k == NK_S) {
        if (op == VMOP_ADD) {
            r.s = Concat(a.s, b.s);
        } else { // mul: number times string
            r.s = Repeat(b.s, AsReal(a));
        }
        r.k = NK_S;
        FreeNum(a);
        FreeNum(b);
    } else if (IsArith(op)) {
        if (!Arith(op, a, b, r, message)) return nullptr;
    } else {
        Bitwise(op, a, b, r);
    }
    return StoreNumber(left, rtype, r);
}

// ---- Unary ----

bool VM_UnaryValid(uint32_t op, int32_t t1, const char** message)
{
    if (t1 == VMT_STRING) {
        *message = StringError(op);
        return false;
    }
    return true;
}

uint8_t* VM_Unary(uint32_t op, int32_t t1, uint8_t* sp, const char** message)
{
    if (t1 > 6) return sp;
    uint8_t* p = sp - VM_NativeSize(t1);
    switch (t1) {
    case VMT_REAL: {
        double x = VM_Get<double>(p);
        VM_Put(p, op == VMOP_NEG ? -x : double(~Real_TruncToInt64(x)));
        break;
    }
    case VMT_FLOAT: {
        float x = VM_Get<float>(p);
        VM_Put(p, op == VMOP_NEG ? -x : float(~Real_TruncToInt32(double(x))));
        break;
    }
    case VMT_INT: {
        int32_t x = VM_Get<int32_t>(p);
        VM_Put(p, op == VMOP_NEG ? int32_t(0u - uint32_t(x)) : ~x);
        break;
    }
    case VMT_LONG: {
        int64_t x = VM_Get<int64_t>(p);
        VM_Put(p, op == VMOP_NEG ? int64_t(0ull - uint64_t(x)) : ~x);
        break;
    }
    case VMT_BOOL: {
        if (op == VMOP_NEG) {
            VM_Put(p, int32_t(0u - uint32_t(VM_Get<int32_t>(p))));
        } else {
            VM_Put(p, int32_t(p[0] == 0 ? 1 : 0));
        }
        break;
    }
    case VMT_VAR: {
        ScriptValue v = VM_Get<ScriptValue>(p);
        if (v.kind == VALUE_STRING) {
            *message = StringError(op);
            return nullptr;
        }
        if (v.kind != VALUE_REAL) {
            *message = "Malformed variable";
            return nullptr;
        }
        v.real = op == VMOP_NEG ? -v.real : double(~Real_TruncToInt64(v.real));
        VM_Put(p, v);
        break;
    }
    default: *message = StringError(op); return nullptr;
    }
    return sp;
}

// ---- Comparisons ----

namespace {

// The comparison over operand kinds: 1 true, 0 false, -1 an invalid pair.
int32_t CompareNums(uint32_t op, const Num& a, const Num& b)
{
    if (a.k == NK_S || b.k == NK_S) {
        if (a.k != NK_S || b.k != NK_S) return -1;
        const unsigned char* x = reinterpret_cast<const unsigned char*>(a.s ? a.s : "");
        const unsigned char* y = reinterpret_cast<const unsigned char*>(b.s ? b.s : "");
        int c = std::strcmp(reinterpret_cast<const char*>(x), reinterpret_cast<const char*>(y));
        return VM_CompareInt(op, c < 0 ? -1 : c > 0 ? 1 : 0) ? 1 : 0;
    }
    if (a.k == NK_F || b.k == NK_F || a.k == NK_BAD || b.k == NK_BAD) return -1;
    bool aInt = a.k == NK_I || a.k == NK_B, bInt = b.k == NK_I || b.k == NK_B;
    if (aInt && bInt) {
        int32_t d = int32_t(uint32_t(a.i) - uint32_t(b.i));
        return VM_CompareReal(op, double(d)) ? 1 : 0;
    }
    double d = AsReal(a) - AsReal(b);
    if ((a.k == NK_B && b.k == NK_R) || (a.k == NK_R && b.k == NK_B)) d = std::trunc(d);
    return VM_CompareReal(op, d) ? 1 : 0;
}

} // namespace

bool VM_ComparePairValid(int32_t t1, int32_t t2, const char** message)
{
    *message = "DoSet :: Invalid comparison type";
    if (t1 > 6 || t2 > 6 || t1 == VMT_FLOAT || t2 == VMT_FLOAT) return false;
    if (t1 == VMT_VAR || t2 == VMT_VAR) return true;
    bool s1 = t1 == VMT_STRING, s2 = t2 == VMT_STRING;
    return s1 == s2;
}

uint8_t* VM_Compare(uint32_t op, int32_t t1, int32_t t2, uint8_t* sp, const char** message)
{
    if (!VM_ComparePairValid(t1, t2, message)) return nullptr;
    uint8_t* right = sp - VM_NativeSize(t1);
    uint8_t* left = right - VM_NativeSize(t2);
    Num b = Load(t1, right), a = Load(t2, left);
    int32_t r = CompareNums(op, a, b);
    if (r < 0) {
        *message = (a.k == NK_BAD || b.k == NK_BAD) ? "Malformed variable" : "DoSet :: Invalid comparison type";
        return nullptr;
    }
    if (a.k == NK_S) {
        MEM_FREE(a.s);
        if (b.s != a.s) MEM_FREE(b.s);
    }
    VM_Put(left, int32_t(r));
    return left + 4;
}

// ---- Conversions ----

bool VM_ConvertValid(int32_t from, int32_t to, const char** message)
{
    if (from > 6 || to > 6 || from == to) {
        *message = "DoConv :: Execution Error";
        return false;
    }
    return true;
}

uint8_t* VM_Convert(int32_t from, int32_t to, uint8_t* sp, const char** message)
{
    if (!VM_ConvertValid(from, to, message)) return nullptr;
    uint8_t* p = sp - VM_NativeSize(from);
    // The source as one of: real, float, int, long, bool, string (owned).
    Num n = Load(from, p);
    if (n.k == NK_BAD) {
        *message = "Malformed variable";
        return nullptr;
    }
    bool fromVar = from == VMT_VAR;
    if (n.k == NK_S) {
        const char* t = n.s ? n.s : "";
        uint8_t* end = p;
        switch (to) {
        case VMT_REAL: VM_Put(p, VM_TextToReal(t)); end = p + 8; break;
        case VMT_FLOAT: VM_Put(p, float(VM_TextToReal(t))); end = p + 4; break;
        case VMT_INT: VM_Put(p, VM_TextToInt(t)); end = p + 4; break;
        case VMT_LONG: VM_Put(p, int64_t(VM_TextToInt(t))); end = p + 8; break;
        case VMT_BOOL: VM_Put(p, int32_t(std::strcmp(t, "true") == 0)); end = p + 4; break;
        case VMT_VAR: {
            ScriptValue v{VALUE_STRING, n.s, 0.0}; // the pointer moves
            VM_Put(p, v);
            return p + VSIZE;
        }
        case VMT_STRING: VM_Put(p, n.s); return p + SSIZE; // a variable's string itself
        default: break;
        }
        MEM_FREE(n.s);
        return end;
    }
    // A number source.
    double real = AsReal(n);
    switch (to) {
    case VMT_REAL:
        // A float becomes a real through an integer, as the machine always did.
        VM_Put(p, n.k == NK_F ? double(Real_TruncToInt32(double(n.f))) : real);
        return p + 8;
    case VMT_FLOAT: VM_Put(p, float(real)); return p + 4;
    case VMT_INT:
        VM_Put(p, n.k == NK_L ? int32_t(uint32_t(uint64_t(n.l))) : n.k == NK_I || n.k == NK_B ? n.i : Real_TruncToInt32(real));
        return p + 4;
    case VMT_LONG: VM_Put(p, AsLong(n)); return p + 8;
    case VMT_BOOL: {
        int32_t b;
        if (n.k == NK_R || n.k == NK_F) {
            b = fromVar ? std::fabs(real) > 0.5 : real > 0.5;
        } else {
            b = AsLong(n) != 0;
        }
        VM_Put(p, b);
        return p + 4;
    }
    case VMT_VAR: {
        ScriptValue v{VALUE_REAL, nullptr, real};
        VM_Put(p, v);
        return p + VSIZE;
    }
    case VMT_STRING: {
        char* s = nullptr;
        switch (n.k) {
        case NK_I: s = Format("%d", n.i); break;
        case NK_L: s = Format("%" PRId64, n.l); break;
        case NK_B: s = MEM_STRDUP(n.i ? "true" : "false"); break;
        default: s = Format("%g", real); break;
        }
        VM_Put(p, s);
        return p + SSIZE;
    }
    default: return p;
    }
}
