// The one set of real-to-integer conversions against the formulas the virtual machine, the
// compiler's folding, the world and the graphics layer each used to carry, over the values
// where their bounds differed: every former caller gets the result it had.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "Files/Base/RealConvert.h"

namespace {

// The former rounding formulas, as written in their modules.
int32_t OldWorldOrCompilerRound(double v) // the world's and the compiler's
{
    if (!(v >= -2147483648.5 && v < 2147483647.5)) return INT32_MIN;
    double r = std::nearbyint(v);
    if (r > 2147483647.0 || r < -2147483648.0) return INT32_MIN;
    return int32_t(r);
}
int32_t OldGraphicsRound(double v)
{
    if (!(v >= -2147483648.0 && v < 2147483648.0)) return INT32_MIN;
    double r = std::nearbyint(v);
    if (r >= 2147483648.0) return INT32_MIN;
    return int32_t(r);
}
// The truncations (virtual machine, compiler, world and graphics) were one formula.
int32_t OldTrunc(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return int32_t(v);
}

const double kInf = std::numeric_limits<double>::infinity();
const double kCases[] = {
    0.0, -0.0, 0.5, -0.5, 1.5, 2.5, -2.5, 0.49999999999999994, 1e-300,
    2147483647.0, 2147483647.4, 2147483647.5, 2147483647.6, 2147483648.0, 2147483648.5,
    -2147483647.5, -2147483648.0, -2147483648.4, -2147483648.5, -2147483648.6, -2147483649.0,
    -2147483649.5, 4294967296.0, -4294967296.0, 1e300, -1e300, kInf, -kInf,
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
};

} // namespace

TEST(RealConvert, OneSetGivesEveryFormerCallersResult)
{
    for (double v : kCases) {
        EXPECT_EQ(Real_RoundToInt32(v), OldWorldOrCompilerRound(v)) << v;
        EXPECT_EQ(Real_RoundToInt32(v), OldGraphicsRound(v)) << v;
        EXPECT_EQ(Real_TruncToInt32(v), OldTrunc(v)) << v;
    }
}

TEST(RealConvert, X86ResultsAtTheEdges)
{
    // Halves go to the even neighbour; NaN, infinities and overflow give the most negative value.
    EXPECT_EQ(Real_RoundToInt32(2.5), 2);
    EXPECT_EQ(Real_RoundToInt32(-3.5), -4);
    EXPECT_EQ(Real_RoundToInt32(2147483647.5), INT32_MIN);
    EXPECT_EQ(Real_RoundToInt32(-2147483648.5), INT32_MIN);
    EXPECT_EQ(Real_TruncToInt32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(Real_TruncToInt32(2147483647.9), INT32_MAX);
    EXPECT_EQ(Real_TruncToInt32(-0.0), 0);
    EXPECT_EQ(Real_TruncToInt64(9223372036854775807.0), INT64_MIN);
    EXPECT_EQ(Real_TruncToInt64(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(Real_TruncToInt64(std::nan("")), INT64_MIN);
    // Pi as the game logic sees it: the single-precision value.
    EXPECT_EQ(PI_FD, 3.1415927410125732);
    EXPECT_EQ(double(PI_F), PI_FD);
}

TEST(RealConvert, HeldConversionsGiveZeroForNaNAndKeepTheSide)
{
    const double nan = std::nan("");
    EXPECT_EQ(Real_RoundToInt32Clamped(nan), 0);
    EXPECT_EQ(Real_RoundToInt32Clamped(2147483647.5), INT32_MAX) << "the x86 rounding overflows here";
    EXPECT_EQ(Real_RoundToInt32Clamped(-kInf), INT32_MIN);
    EXPECT_EQ(Real_RoundToInt32Clamped(-2.5), -2);
    EXPECT_EQ(Real_TruncToInt32Clamped(1e300), INT32_MAX);
    EXPECT_EQ(Real_TruncToInt32Clamped(-2.9), -2);
    EXPECT_EQ(Real_FloorToInt32Clamped(-2147483648.5), INT32_MIN);
    EXPECT_EQ(Real_FloorToInt32Clamped(-0.5), -1);
    EXPECT_EQ(Real_RoundToInt32Held(nan), INT32_MIN) << "a box at NaN lies nowhere";
    EXPECT_EQ(Int_HoldToInt32(int64_t(INT32_MAX) + 64), INT32_MAX);
}
