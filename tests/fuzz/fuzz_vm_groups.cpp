// Fuzz target: programs shaped the way the machine's instruction groups and linked sums expect
// them (counted for loops and repeats over `var` locals, x op= k and x op= y, compare and
// branch, string appends in place, x += y and x = x + y + z ..., to locals and their arrays,
// instance and global variables, another instance's through its id, its object or
// `global.o.u`, elements of one- and two-dimensional arrays, beside copies of the same texts,
// a[i] on self's arrays, mod and div by constants, script calls with arguments), built
// from the input's bytes, compiled and run by the byte-code machine and by the tree
// interpreter. The two must leave the same variables, and the machine must leave no frame,
// local or argument slot behind; anything else traps. Values stay whole numbers and loops
// stay bounded, away from the executors' known differences (real equality, single-precision
// loop tests, repeat counts with halves, with-order, globalvar timing, mod of numbers past
// 2^53, the sign of a zero remainder).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "bench/BenchScript.h"

namespace {

constexpr int32_t kOtherId = 100002;

class Source {
public:
    Source(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t Pick(uint32_t n) { return n ? Next() % n : 0; }

private:
    uint32_t Next() { return m_at < m_size ? m_data[m_at++] : uint32_t(m_at++ * 7u); }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

class Writer {
public:
    explicit Writer(Source& s) : m_s(s) {}

    std::string Program()
    {
        std::string out = "var a, b, c, s, t, l; a = 1; b = 2; c = 3; s = ''; p = 4; q = 5; w = 'w'; global.g = ''; global.h = ''; "
                          "for (t = 0; t < 10; t += 1) arr[t] = t * 3; for (t = 0; t < 4; t += 1) sa[t] = ''; "
                          "o = " + std::to_string(kOtherId) + "; o.s = ''; (0).t = ''; global.o = o; global.o.u = ''; "
                          "sa2[1, 2] = ''; l[2] = ''; ";
        for (uint32_t n = 2 + m_s.Pick(5); n > 0; --n) out += Statement(0, false);
        return out + "ra = a; rb = b; rc = c; rs = s;";
    }

private:
    // Strings: the variables appended to, and what is appended.
    std::string Text()
    {
        static const char* const names[] = {"s", "w", "global.g", "sa[0]", "sa[3]", "o.s", "(0).t", "global.o.u", "sa2[1, 2]", "l[2]"};
        return names[m_s.Pick(10)];
    }
    std::string TextExpr(const std::string& x)
    {
        switch (m_s.Pick(5)) {
        case 0: return "'" + std::string(1 + m_s.Pick(3), char('a' + m_s.Pick(26))) + "'";
        case 1: return "string(" + Expr(1) + ")";
        case 2: return Text();
        case 3: return "sscr(" + Expr(1) + ")";
        default: return x;
        }
    }
    std::string TextStatement()
    {
        const std::string x = Text(), y = TextExpr(x);
        const std::string keep = "if (string_length(" + x + ") < 60) "; // itself added: bounded
        switch (m_s.Pick(7)) {
        case 0: return keep + x + " += " + y + "; ";
        case 1: return keep + x + " = " + x + " + " + y + "; ";
        case 2: return keep + x + " = " + x + " + " + y + " + '.'; ";
        case 6: return keep + x + " = " + x + " + " + y + " + " + TextExpr(x) + " + " + TextExpr(x) + "; ";
        case 3: return "copy" + std::to_string(m_s.Pick(3)) + " = " + x + "; ";
        case 4: return x + " = " + y + "; ";
        default: return "sa[" + std::to_string(m_s.Pick(4)) + "] = " + x + "; ";
        }
    }
    std::string Int() { return std::to_string(int32_t(m_s.Pick(41)) - 20); }
    std::string Var()
    {
        static const char* const names[] = {"a", "b", "c", "p", "q"};
        return names[m_s.Pick(5)];
    }
    std::string Index(int depth) { return "arr[((" + Expr(depth + 1) + ") mod 10 + 10) mod 10]"; }
    std::string LoopVar(int depth) { return depth < int(m_loopVars.size()) ? m_loopVars[size_t(depth)] : "a"; }

    std::string Expr(int depth)
    {
        switch (depth > 2 ? m_s.Pick(3) : m_s.Pick(9)) {
        case 0: return Int();
        case 1: return Var();
        case 2: return m_depth > 0 ? LoopVar(int(m_s.Pick(uint32_t(m_depth)))) : Var();
        case 3: return "(" + Expr(depth + 1) + " + " + Expr(depth + 1) + ")";
        case 4: return "(" + Expr(depth + 1) + " - " + Expr(depth + 1) + ")";
        case 5: return "(" + Expr(depth + 1) + " * " + Int() + ") mod 1000";
        case 6: return "(" + Expr(depth + 1) + (m_s.Pick(2) ? " mod " : " div ") + NonZero() + ")";
        case 7: return Index(depth);
        default: return "scr(" + Expr(depth + 1) + ", " + Expr(depth + 1) + ")";
        }
    }
    std::string NonZero()
    {
        int32_t k = int32_t(m_s.Pick(19)) - 9;
        return std::to_string(k == 0 ? 7 : k);
    }
    std::string Compare()
    {
        static const char* const ops[] = {" < ", " <= ", " == ", " != ", " >= ", " > "};
        return Expr(1) + ops[m_s.Pick(6)] + Expr(1);
    }
    std::string Block(int depth, bool inLoop)
    {
        std::string out = "{ ";
        for (uint32_t n = 1 + m_s.Pick(3); n > 0; --n) out += Statement(depth + 1, inLoop);
        return out + "} ";
    }
    std::string Statement(int depth, bool inLoop)
    {
        switch (depth >= 3 ? m_s.Pick(5) : m_s.Pick(10)) {
        case 0: return Var() + " = (" + Expr(0) + ") mod 1000003; "; // bounded, as below
        case 1: { // kept below 2^53, where the tree interpreter's mod is exact too
            std::string v = Var();
            return v + (m_s.Pick(2) ? " += " : " -= ") + Expr(0) + "; " + v + " = " + v + " mod 1000003; ";
        }
        case 2: return Var() + " = (" + Var() + " * " + Int() + ") mod 100000; ";
        case 3: return m_s.Pick(2) ? "s += '" + std::string(1, char('a' + m_s.Pick(26))) + "'; " : TextStatement();
        case 4: return Index(0) + " = (" + Expr(0) + ") mod 1000003; ";
        case 5: {
            if (m_depth >= 3) return "b += 1; ";
            std::string v = "i" + std::to_string(m_depth);
            std::string head = "for (" + v + " = " + Int() + "; " + v + (m_s.Pick(2) ? " < " : " <= ") +
                               std::to_string(int32_t(m_s.Pick(12))) + "; " + v + " += " +
                               std::to_string(1 + m_s.Pick(3)) + ") ";
            m_loopVars.push_back(v);
            ++m_depth;
            std::string body = Block(depth, true);
            --m_depth;
            m_loopVars.pop_back();
            return "var " + v + "; " + head + body;
        }
        case 6: {
            std::string head = "repeat (" + std::to_string(m_s.Pick(6)) + ") ";
            return head + Block(depth, true);
        }
        case 7: return "if (" + Compare() + ") " + Block(depth, inLoop) + "else " + Block(depth, inLoop);
        case 8: {
            std::string v = Var();
            return "while (" + v + " > 50) " + v + " -= 7; ";
        }
        default:
            if (inLoop) return m_s.Pick(2) ? "if (" + Compare() + ") break; " : "if (" + Compare() + ") continue; ";
            return "c = scr(" + Expr(0) + ", " + Expr(0) + "); ";
        }
    }

    Source& m_s;
    int m_depth = 0;
    std::vector<std::string> m_loopVars;
};

CInstance* g_self = nullptr;
CInstance* g_other = nullptr; // the one instance of object 0

void Setup()
{
    g_self = Bench_ScriptInstance(); // the script language as the benchmarks make it ready
    while (!Object_Lookup(0)) Object_Add();
    g_other = new CInstance(0, 0, kOtherId, 0, true);
    InstanceHash_Add(g_other);
    Script_Init();
    std::atexit([] { Script_Free(); }); // before the script table itself goes
    Script_Add("scr", "var k; k = argument0 mod 97; if (argument1 > k) return k - argument1; "
                      "return k * 2 + argument_count", -1);
    // Appends to a global of its own and returns it (the caller's copy must stay as it was).
    Script_Add("sscr", "if (string_length(global.h) > 40) global.h = ''; global.h += string(argument0); "
                       "return global.h", -1);
}

// A real as text; -0 as 0 (the tree interpreter's mod gives +0 where fmod gives -0).
std::string Real(double v) { return std::to_string(v == 0 ? 0.0 : v); }

std::string Dump(CVariableList* list)
{
    std::vector<std::string> parts;
    for (int32_t b = 0; b < 64; ++b) {
        for (CVariable* v = list->Bucket(b); v; v = v->nextBucket) {
            std::string one = std::string(Code_Variable_GetName(v->id)) + "=";
            one += v->value.kind == VALUE_STRING ? std::string(v->value.text ? v->value.text : "")
                                                 : Real(v->value.real);
            for (int32_t r = 0; r < v->rowCount; ++r) {
                for (int32_t c = 0; c < v->rows[r].length; ++c) {
                    const ScriptValue& e = v->rows[r].elements[c];
                    one += "," + (e.kind == VALUE_STRING ? std::string(e.text ? e.text : "") : Real(e.real));
                }
            }
            parts.push_back(one);
        }
    }
    std::sort(parts.begin(), parts.end());
    std::string out;
    for (const std::string& p : parts) out += p + " ";
    return out;
}

std::string RunUnder(bool vm, const std::string& text)
{
    g_StartupOptions.byteCodeInterpreter = vm ? 1 : 0;
    g_self->GetVariables()->Clear();
    g_other->GetVariables()->Clear();
    Variable_Global_Init();
    if (!Script_Prepare()) __builtin_trap();
    CCode code(text.c_str(), false);
    std::string out;
    if (!code.Compile("fuzz")) __builtin_trap(); // the writer only writes valid programs
    ScriptValue r = Value_Real(0.0);
    bool failed;
    if (vm) {
        VM_SetQuiet(true);
        VM_ClearExecutionFailed();
        Code_ExecuteInternal(g_self, g_self, &code, &r);
        failed = VM_ExecutionFailed();
        VM_ClearExecutionFailed();
        VM_SetQuiet(false);
        if (VM_EntryDepth() != 0 || VM_LocalsDepth() != 0 || Code_Arguments_Window() != 0) __builtin_trap();
    } else {
        failed = !Code_ExecuteInternal(g_self, g_self, &code, &r);
        Code_Error_ClearRecorded();
    }
    Value_FreeString(&r);
    out = (failed ? "ERR " : "") + Dump(g_self->GetVariables()) + "| " + Dump(Variable_Global_List()) + "| " +
          Dump(g_other->GetVariables());
    g_StartupOptions.byteCodeInterpreter = 1;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (Setup(), true);
    (void)ready;
    if (size > 4096) return 0;
    Source source(data, size);
    const std::string text = Writer(source).Program();
    if (RunUnder(true, text) != RunUnder(false, text)) __builtin_trap();
    return 0;
}
