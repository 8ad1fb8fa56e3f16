// Conversions between reals and integers with the results of the x86 instructions the
// runner's game code was made for, and between reals and decimal text independent of the
// locale. Used by the built-in function families and the data structures. Pure functions;
// no host library.
//
// Integer conversions: NaN and values outside the target range give the most negative value
// (0x80000000 or 0x8000000000000000), as cvtsd2si / cvttsd2si do. Never undefined behaviour.
// Text: decimal only ("C" locale, '.' as the decimal point); no hex, inf or nan is read.
#pragma once

#include <cstddef>
#include <cstdint>

// Truncation toward zero.
int32_t Real_TruncToInt32(double x);
int64_t Real_TruncToInt64(double x);
// Round to nearest, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
int32_t Real_RoundToInt32(double x);
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
