// Number helpers of the game world: real-to-integer conversions with the x86 results (nearest
// with halves to even, or toward zero; NaN and values outside the range give INT32_MIN), float
// rounding, and the single-precision pi the world's angles use. Header only.
#pragma once

#include <cmath>
#include <cstdint>

constexpr double WORLD_PI = 3.1415927410125732; // pi as a float, widened

inline int32_t World_Round(double v)
{
    if (!(v >= -2147483648.5 && v < 2147483647.5)) return INT32_MIN;
    double r = std::nearbyint(v);
    if (r > 2147483647.0 || r < -2147483648.0) return INT32_MIN;
    return int32_t(r);
}

inline int32_t World_Trunc(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return int32_t(v);
}

// A real narrowed to a float and rounded to an integer (the instance variables' setters).
inline int32_t World_RoundF(double v) { return World_Round(double(float(v))); }

inline float World_F(double v) { return float(v); }
