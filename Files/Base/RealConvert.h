// Conversions between reals and integers with the results of the x86 instructions the
// runner's game code was made for, and between reals and decimal text independent of the
// locale, and pi as the game logic uses it. The one set of these conversions: the virtual
// machine, the compiler's folding, the world, the graphics layer and the built-ins all use it.
// Pure functions; no host library.
//
// Integer conversions: NaN and values outside the target range give the most negative value
// (0x80000000 or 0x8000000000000000), as cvtsd2si / cvttsd2si do. Never undefined behaviour.
// Text: decimal only ("C" locale, '.' as the decimal point); no hex, inf or nan is read.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// Pi rounded to single precision (3.1415927410125732), the value angles, directions and
// rotations of the game logic use; PI_FD is the same value as a double.
constexpr float PI_F = 3.14159265358979323846f;
constexpr double PI_FD = double(PI_F);

// Truncation toward zero (cvttsd2si).
inline int32_t Real_TruncToInt32(double x)
{
    return (x > -2147483649.0 && x < 2147483648.0) ? int32_t(x) : INT32_MIN;
}
inline int64_t Real_TruncToInt64(double x)
{
    return (x >= -9223372036854775808.0 && x < 9223372036854775808.0) ? int64_t(x) : INT64_MIN;
}
// Round to nearest, halves to the even neighbour (cvtsd2si: 2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
inline int32_t Real_RoundToInt32(double x)
{
    double r = std::nearbyint(x); // the default rounding mode: nearest, halves to even
    return (r >= -2147483648.0 && r <= 2147483647.0) ? int32_t(r) : INT32_MIN;
}
// Round to nearest, held to the 32-bit range: for coordinates, where a far value must stay
// on its side (NaN still gives the most negative value).
inline int32_t Real_RoundToInt32Held(double x)
{
    if (x >= 2147483647.0) return INT32_MAX;
    return x > -2147483648.0 ? Real_RoundToInt32(x) : INT32_MIN;
}
// x narrowed to single precision first, then rounded (the instance fields are floats).
inline int32_t Real_RoundFloatToInt32(double x) { return Real_RoundToInt32(double(float(x))); }
// The integral value in double precision, then truncated to 32 bits.
int32_t Real_FloorToInt32(double x);
int32_t Real_CeilToInt32(double x);

// Reads the longest decimal number at the start of text after white space:
// [+|-] digits [. digits] [(e|E) [+|-] digits], at least one digit in the mantissa. The value
// is correctly rounded; a magnitude beyond the double range gives +/-infinity, one below it
// +/-0. Returns 0 when there is no number; *end (when given) points after the number, or at
// text when there is none. Null text reads as no number.
double Real_ParseDecimal(const char* text, const char** end = nullptr);

// Writes x with exactly `decimals` digits after the point (0..kRealMaxDecimals, clamped), as
// printf's "%.*f" does in the "C" locale ("inf", "-inf", "nan", "-nan" for the specials).
// Returns the number of characters; out receives them and a terminator when they fit in
// capacity (otherwise nothing is written). Real_FixedLength gives the length alone.
constexpr int32_t kRealMaxDecimals = 350;
int32_t Real_FormatFixed(char* out, size_t capacity, double x, int32_t decimals);
int32_t Real_FixedLength(double x, int32_t decimals);
