// The one shape of a built-in function's code, for every folder that holds built-ins: the
// signature, the readers of the arguments and the setters of the result, each named by the
// conversion it makes, and the registration of a table of rows.
//
// Two families of number readers differ in what a non-real argument gives:
//   Arg...  read the real field as it is stored, whatever the kind (a string's real field is
//           whatever its maker left there, 0 for the strings the executors make);
//   Num...  read a real argument's value, and 0 for a string or any other kind.
// The integer conversions are those of Files/Base/RealConvert.h (x86 results: NaN and values
// outside the range give INT32_MIN):
//   ...Round      nearest 32-bit integer, halves to the even neighbour (Real_RoundToInt32);
//   ...Trunc      toward zero (Real_TruncToInt32);
//   ...RoundU32   the rounded integer's 32 bits as unsigned (colours);
//   ...Round64    nearest 64-bit integer, halves to even; -1 for NaN and magnitudes from 9e15
//                 up (texture ids and page-entry handles);
//   ...Float      narrowed to single precision;
//   ...FromHalf   true from 0.5 up (x >= 0.5);
//   ...AboveHalf  true above 0.5 only (x > 0.5).
// A reader given argc as well reads an argument beyond the call's count as the real 0.
// Texts: ArgText is the text of a string ("" for one without text and for any other kind);
// ArgStringText tells a string from the other kinds (null for them); ArgAsText also turns a
// real into text (see FormatNumber). A string without text is the empty text to every
// built-in: the tree interpreter keeps an empty text as none, and a built-in's result must not
// depend on the executor.
//
// Needs the value and the conversions (Files/Base), the memory manager, the function table.
// No Linux/ file.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Platform/MemoryManager.h"

// Declares (and, with a body after it, defines) a built-in of this file (see BuiltinRoutine).
#define ZB_BUILTIN(name)                                                                                               \
    static void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                           \
                     [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc,                                 \
                     [[maybe_unused]] ScriptValue* args)

namespace zbargs {

// ---- The real field, whatever the kind ------------------------------------------------------
inline double ArgReal(const ScriptValue* a, int32_t i) { return a[i].real; }
inline int32_t ArgRound(const ScriptValue* a, int32_t i) { return Real_RoundToInt32(a[i].real); }
inline int32_t ArgTrunc(const ScriptValue* a, int32_t i) { return Real_TruncToInt32(a[i].real); }
inline float ArgFloat(const ScriptValue* a, int32_t i) { return float(a[i].real); }
inline bool ArgFromHalf(const ScriptValue* a, int32_t i) { return a[i].real >= 0.5; }
inline bool ArgAboveHalf(const ScriptValue* a, int32_t i) { return a[i].real > 0.5; }

// ---- Counted: an argument beyond argc is the real 0 -----------------------------------------
inline const ScriptValue& ArgOrZero(int32_t argc, const ScriptValue* a, int32_t i)
{
    static const ScriptValue kZero = {VALUE_REAL, nullptr, 0.0};
    return i < argc ? a[i] : kZero;
}
inline double ArgReal(int32_t argc, const ScriptValue* a, int32_t i) { return ArgOrZero(argc, a, i).real; }
inline int32_t ArgRound(int32_t argc, const ScriptValue* a, int32_t i)
{
    return Real_RoundToInt32(ArgReal(argc, a, i));
}
inline int32_t ArgTrunc(int32_t argc, const ScriptValue* a, int32_t i)
{
    return Real_TruncToInt32(ArgReal(argc, a, i));
}
inline const char* ArgText(int32_t argc, const ScriptValue* a, int32_t i) { return Value_Text(&ArgOrZero(argc, a, i)); }
inline bool ArgIsString(int32_t argc, const ScriptValue* a, int32_t i) { return i < argc && a[i].kind == VALUE_STRING; }
// Any kind but a string counts as a real here.
inline bool ArgIsNotString(int32_t argc, const ScriptValue* a, int32_t i)
{
    return i < argc && a[i].kind != VALUE_STRING;
}

// ---- A real's value, 0 for any other kind ---------------------------------------------------
inline double Num(const ScriptValue* a, int32_t i) { return a[i].kind == VALUE_REAL ? a[i].real : 0.0; }
inline int32_t NumRound(const ScriptValue* a, int32_t i) { return Real_RoundToInt32(Num(a, i)); }
inline int32_t NumTrunc(const ScriptValue* a, int32_t i) { return Real_TruncToInt32(Num(a, i)); }
inline uint32_t NumRoundU32(const ScriptValue* a, int32_t i) { return uint32_t(Real_RoundToInt32(Num(a, i))); }
inline int64_t NumRound64(const ScriptValue* a, int32_t i)
{
    const double v = Num(a, i);
    return std::fabs(v) < 9.0e15 ? int64_t(std::nearbyint(v)) : -1;
}
inline float NumFloat(const ScriptValue* a, int32_t i) { return float(Num(a, i)); }
inline bool NumFromHalf(const ScriptValue* a, int32_t i) { return Num(a, i) >= 0.5; }
inline bool NumAboveHalf(const ScriptValue* a, int32_t i) { return Num(a, i) > 0.5; }

// ---- Texts -----------------------------------------------------------------------------------
inline const char* ArgText(const ScriptValue* a, int32_t i) { return Value_Text(&a[i]); }
// A string's text, "" when it holds none; null for any other kind.
inline const char* ArgStringText(const ScriptValue* a, int32_t i)
{
    if (a[i].kind != VALUE_STRING) return nullptr;
    return a[i].text ? a[i].text : "";
}

// A number as text: whole numbers below 1e15 in magnitude without a fraction ("1234567"),
// others (fractions, larger magnitudes, infinities, NaN) as "%g".
inline void FormatNumber(char* out, size_t size, double v)
{
    if (std::isfinite(v) && std::floor(v) == v && std::fabs(v) < 1e15)
        std::snprintf(out, size, "%.0f", v);
    else
        std::snprintf(out, size, "%g", v);
}

// The argument as text: a real formatted by FormatNumber into the buffer, otherwise ArgText.
struct ArgAsText {
    char buffer[1025];
    const char* text;
    ArgAsText(const ScriptValue* a, int32_t i)
    {
        if (a[i].kind == VALUE_REAL) {
            FormatNumber(buffer, sizeof buffer, a[i].real);
            text = buffer;
        } else {
            text = Value_Text(&a[i]);
        }
    }
};

// ---- Results ---------------------------------------------------------------------------------
inline void SetReal(ScriptValue* result, double v) { Value_SetReal(result, v); }
inline void SetBool(ScriptValue* result, bool v) { Value_SetReal(result, v ? 1.0 : 0.0); }
// A copy of the text; the empty text is kept as "" (null stays null).
inline void SetText(ScriptValue* result, const char* text) { Value_SetString(result, text); }
inline void SetText(ScriptValue* result, const std::string& s) { Value_SetString(result, s.c_str()); }
// The text itself (a memory-manager block or null), owned by the result from now on.
inline void SetOwnedText(ScriptValue* result, char* text) { Value_SetStringOwned(result, text); }
// A string without text (the empty string as the string built-ins give it).
inline void SetNoText(ScriptValue* result) { Value_SetStringOwned(result, nullptr); }
// A copy of n bytes as a new block; no bytes give a string without text.
inline void SetBytes(ScriptValue* result, const char* bytes, size_t n)
{
    Value_SetStringOwned(result, n ? MEM_STRDUPN(bytes, n) : nullptr);
}
inline void SetBytes(ScriptValue* result, const std::string& s) { SetBytes(result, s.data(), s.size()); }

// ---- Registration ----------------------------------------------------------------------------
struct Row {
    const char* name;
    BuiltinRoutine f;
    int32_t args; // -1 = any number
};

// Adds the rows in their order (a row's place is its function id).
template <size_t N>
inline void Register(const Row (&rows)[N])
{
    for (const Row& r : rows) Function_Add(r.name, r.f, r.args);
}

} // namespace zbargs
