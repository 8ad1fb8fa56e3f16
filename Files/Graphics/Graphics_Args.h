// Argument conversions shared by the drawing and resource built-ins: reals become 32-bit
// floats, colours and indices integers rounded to nearest (halves to even, x86 results for
// NaN and overflow), frames truncated, booleans true from 0.5 up; a text where a number is
// expected counts as 0, and a number where a text is expected is formatted (whole numbers
// without a fraction, others as "%g"; at most 1024 characters). No Linux/ file.
#pragma once

#include <cstdint>
#include <cmath>
#include <cstdio>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Function.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Base/Value.h"

#define ZB_BUILTIN(name) static void name(ScriptValue* result, CInstance* self, CInstance* other, int32_t argc, ScriptValue* args)
#define ZB_UNUSED (void)result, (void)self, (void)other, (void)argc, (void)args

namespace zbargs {

inline double Num(const ScriptValue* a, int i) { return a[i].kind == VALUE_REAL ? a[i].real : 0.0; }
inline float F(const ScriptValue* a, int i) { return (float)Num(a, i); }
inline int32_t I(const ScriptValue* a, int i) { return Real_RoundToInt32(Num(a, i)); }
inline int32_t Frame(const ScriptValue* a, int i) { return Real_TruncToInt32(Num(a, i)); }
inline uint32_t Colour(const ScriptValue* a, int i) { return (uint32_t)Real_RoundToInt32(Num(a, i)); }
inline bool B(const ScriptValue* a, int i) { return Num(a, i) >= 0.5; }
inline void Real(ScriptValue* r, double v) { Value_SetReal(r, v); }

// A number as text: whole numbers without a fraction ("1234567"), others as "%g".
inline void FormatNumber(char* out, size_t size, double v)
{
    if (std::isfinite(v) && std::floor(v) == v && std::fabs(v) < 1e15) std::snprintf(out, size, "%.0f", v);
    else std::snprintf(out, size, "%g", v);
}

// The text of an argument; numbers are formatted into buffer.
struct TextArg {
    char buffer[1025];
    const char* text;
    TextArg(const ScriptValue* a, int i)
    {
        if (a[i].kind == VALUE_REAL) {
            FormatNumber(buffer, sizeof buffer, a[i].real);
            text = buffer;
        } else {
            text = Value_Text(&a[i]);
        }
    }
};

struct Row {
    const char* name;
    BuiltinRoutine f;
    int32_t args;
};

template <size_t N>
inline void Register(const Row (&rows)[N])
{
    for (const Row& r : rows) Function_Add(r.name, r.f, r.args);
}

} // namespace zbargs
