// Conversions between reals and integers with the results of the x86 instructions the
// runner's game code was made for, and between reals and decimal text independent of the
// locale, and pi as the game logic uses it. The one set of these conversions: the virtual
// machine, the compiler's folding, the world, the graphics layer and the built-ins all use it.
// Pure functions; no host library.
//
// Integer conversions: NaN and values outside the target range give the most negative value
// (0x80000000 or 0x8000000000000000), as cvtsd2si / cvttsd2si do; the held ones (...Clamped)
// give 0 for NaN and the nearer end of the range otherwise. Never undefined behaviour.
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

// Held conversions, for what a script stores in the runner's own integer fields (built-in
// variables, sizes, positions, counts, indexes kept for later frames) and for integers taken
// from script-set floats: NaN gives 0 and values beyond the range are held at its ends, so the
// stored number keeps its side and later arithmetic starts from a defined value. The virtual
// machine's arithmetic keeps the x86 conversions above.
inline double Real_HoldInInt32Range(double x)
{
    if (!(x == x)) return 0.0;
    return x < -2147483648.0 ? -2147483648.0 : (x > 2147483647.0 ? 2147483647.0 : x);
}
// Round to nearest, halves to even, then held.
inline int32_t Real_RoundToInt32Clamped(double x) { return int32_t(std::nearbyint(Real_HoldInInt32Range(x))); }
// Truncation toward zero, then held.
inline int32_t Real_TruncToInt32Clamped(double x) { return int32_t(Real_HoldInInt32Range(x)); }
// The greatest integer not above x, then held.
inline int32_t Real_FloorToInt32Clamped(double x) { return int32_t(std::floor(Real_HoldInInt32Range(x))); }
// Round to nearest, held to the 32-bit range, but NaN gives the most negative value: for a
// bounding box, where a far value must stay on its side and a box at NaN lies nowhere.
inline int32_t Real_RoundToInt32Held(double x) { return x == x ? Real_RoundToInt32Clamped(x) : INT32_MIN; }
// A 64-bit result held to the 32-bit range: for sums and differences of 32-bit fields that a
// game may set to any value, worked out in 64 bits.
inline int32_t Int_HoldToInt32(int64_t v) { return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : int32_t(v)); }
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
