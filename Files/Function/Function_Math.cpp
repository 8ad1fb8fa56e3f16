// Maths and random built-ins: type tests, random numbers, rounding, powers and logarithms,
// trigonometry, aggregates over any number of arguments, 2D/3D geometry and the comparison
// tolerance of the virtual machine (math_set_epsilon).
//
// Precision: the functions marked "single" convert their arguments to 32-bit floats, compute
// each step in single precision (the build never contracts or widens: -ffp-contract=off on
// x86-64 SSE) and return the single result widened to a real. Every function starts from the
// result real 0, so a refused call returns 0. Real-to-integer conversions give the x86 results
// (Files/Base/RealConvert.h).
//
// Needs the random generator (Files/Base/Random.h), the clock (Files/Support/Timing.h), the
// error reporter, the virtual machine's tolerance (Files/Code/VM.h).
//
// Index: [SECTION] Helpers, Types and random, Rounding and powers, Trigonometry,
//        Aggregates, Geometry, Registration
#include "Files/Function/Function_Math.h"

#include <cmath>
#include <utility>
#include <vector>

#include "Files/Base/Random.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/VM.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Object/Instance.h"
#include "Files/Support/Timing.h"

namespace {

using namespace zbargs;

// [SECTION] Helpers

// Results of the trigonometric functions: single precision, magnitudes below 1e-5 snap to 0.
double Snap(float v) { return std::fabs(v) < 0.00001f ? 0.0 : double(v); }

// A 63-bit draw: the first word is the low half, the second (top bit cleared) the high half.
uint64_t Draw63()
{
    uint64_t lo = NextRandom();
    uint64_t hi = NextRandom() & 0x7FFFFFFFu;
    return hi << 32 | lo;
}

uint64_t Magnitude(int64_t n) { return n < 0 ? 0 - uint64_t(n) : uint64_t(n); }

// [SECTION] Types and random

ZB_BUILTIN(F_IsReal)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, (args[0].kind & 0xFFFF) == VALUE_REAL ? 1.0 : 0.0);
}
ZB_BUILTIN(F_IsString)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, args[0].kind == VALUE_STRING ? 1.0 : 0.0);
}
ZB_BUILTIN(F_Random)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Random_Real(1.0) * args[0].real);
}
ZB_BUILTIN(F_RandomRange)
{
    SetReal(result, 0.0);
    if (argc < 2) return;
    double lo = args[0].real, hi = args[1].real;
    if (hi < lo) std::swap(lo, hi);
    SetReal(result, lo + Random_Real(1.0) * (hi - lo));
}
ZB_BUILTIN(F_IRandom)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    double x = args[0].real;
    double s = x < 0 ? -1.0 : 1.0;
    int64_t n = Real_TruncToInt64(x + s);
    uint64_t r = Draw63() % Magnitude(n);
    SetReal(result, n < 0 ? -double(r) : double(r));
}
ZB_BUILTIN(F_IRandomRange)
{
    SetReal(result, 0.0);
    if (argc < 2) return;
    double lo = args[0].real, hi = args[1].real;
    if (hi < lo) std::swap(lo, hi);
    int64_t n = Real_TruncToInt64((hi - lo) + 1.0);
    uint64_t m = Magnitude(n);
    uint64_t r = m ? Draw63() % m : Draw63();
    SetReal(result, double(Real_TruncToInt64(double(r) + lo)));
}
ZB_BUILTIN(F_RandomSetSeed)
{
    SetReal(result, 0.0);
    if (argc >= 1) Random_SetSeed(uint32_t(uint64_t(Real_TruncToInt64(args[0].real))));
}
ZB_BUILTIN(F_RandomGetSeed) { SetReal(result, double(Random_GetSeed())); }
ZB_BUILTIN(F_Randomize)
{
    uint64_t t = uint64_t(Timing_Time());
    uint32_t lo = uint32_t(t), hi = uint32_t(t >> 32);
    uint32_t seed = (hi + lo) ^ uint32_t((t >> 16) & 0xFFFF) ^ (lo << 16);
    Random_SetSeed(seed);
    SetReal(result, double(int32_t(seed)));
}

// [SECTION] Rounding and powers

ZB_BUILTIN(F_Abs)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, double(std::fabs(ArgFloat(args, 0))));
}
ZB_BUILTIN(F_Round)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Real_RoundToInt32(args[0].real));
}
ZB_BUILTIN(F_Floor)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Real_FloorToInt32(args[0].real));
}
ZB_BUILTIN(F_Ceil)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Real_CeilToInt32(args[0].real));
}
ZB_BUILTIN(F_Sign)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    double x = args[0].real;
    SetReal(result, (x < 0 || std::isnan(x)) ? -1.0 : (x == 0 ? 0.0 : 1.0));
}
ZB_BUILTIN(F_Frac)
{
    SetReal(result, 0.0);
    double integral;
    if (argc >= 1) SetReal(result, std::modf(args[0].real, &integral));
}
ZB_BUILTIN(F_Sqrt)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, std::sqrt(args[0].real));
}
ZB_BUILTIN(F_Sqr)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, args[0].real * args[0].real);
}
ZB_BUILTIN(F_Exp)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, std::exp(args[0].real));
}
ZB_BUILTIN(F_Ln)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, std::log(args[0].real));
}
ZB_BUILTIN(F_Log2)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, std::log(args[0].real) / std::log(2.0));
}
ZB_BUILTIN(F_Log10)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, std::log10(args[0].real));
}
ZB_BUILTIN(F_Power)
{
    SetReal(result, 0.0);
    if (argc >= 2) SetReal(result, std::pow(args[0].real, args[1].real));
}
ZB_BUILTIN(F_Logn)
{
    SetReal(result, 0.0);
    if (argc >= 2) SetReal(result, std::log(args[0].real) / std::log(args[1].real));
}

// [SECTION] Trigonometry

ZB_BUILTIN(F_Sin)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Snap(std::sin(ArgFloat(args, 0))));
}
ZB_BUILTIN(F_Cos)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Snap(std::cos(ArgFloat(args, 0))));
}
ZB_BUILTIN(F_Tan)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Snap(std::tan(ArgFloat(args, 0))));
}
ZB_BUILTIN(F_Arcsin)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    float x = ArgFloat(args, 0);
    if (x < -1.0f || x > 1.0f) {
        Code_Error_Report("Error in function arcsin().", false);
        return;
    }
    SetReal(result, Snap(std::asin(x)));
}
ZB_BUILTIN(F_Arccos)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    float x = ArgFloat(args, 0);
    if (x < -1.0f || x > 1.0f) {
        Code_Error_Report("Error in function arccos().", false);
        return;
    }
    SetReal(result, Snap(std::acos(x)));
}
ZB_BUILTIN(F_Arctan)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, Snap(std::atan(ArgFloat(args, 0))));
}
ZB_BUILTIN(F_Arctan2)
{
    SetReal(result, 0.0);
    if (argc >= 2) SetReal(result, Snap(std::atan2(ArgFloat(args, 0), ArgFloat(args, 1))));
}
ZB_BUILTIN(F_DegToRad)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, args[0].real * PI_FD / 180.0);
}
ZB_BUILTIN(F_RadToDeg)
{
    SetReal(result, 0.0);
    if (argc >= 1) SetReal(result, args[0].real * 180.0 / PI_FD);
}

// [SECTION] Aggregates

void MinMax(ScriptValue* result, int32_t argc, ScriptValue* args, bool max)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    for (int32_t i = 0; i < argc; i++) {
        if (args[i].kind == VALUE_STRING) {
            Code_Error_Report(max ? "Error max(): illegal argument; strings not permitted"
                                  : "Error min(): illegal argument; strings not permitted",
                              false);
            return;
        }
    }
    int32_t best = 0;
    for (int32_t i = 1; i < argc; i++)
        if (max ? args[i].real > args[best].real : args[i].real < args[best].real) best = i;
    Value_Copy(result, &args[best]);
}
ZB_BUILTIN(F_Min) { MinMax(result, argc, args, false); }
ZB_BUILTIN(F_Max) { MinMax(result, argc, args, true); }
ZB_BUILTIN(F_Mean)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    double sum = 0.0;
    for (int32_t i = 0; i < argc; i++) sum += args[i].real;
    SetReal(result, sum / argc);
}
ZB_BUILTIN(F_Median)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    // Repeated selection of the smallest remaining value (the first of equal ones first)
    // until the middle position.
    std::vector<double> values(static_cast<size_t>(argc));
    for (int32_t i = 0; i < argc; i++) values[size_t(i)] = args[i].real;
    int32_t middle = argc / 2;
    for (int32_t i = 0; i <= middle; i++) {
        int32_t m = i;
        for (int32_t j = i + 1; j < argc; j++)
            if (values[size_t(j)] < values[size_t(m)]) m = j;
        double v = values[size_t(m)];
        values.erase(values.begin() + m);
        values.insert(values.begin() + i, v);
    }
    SetReal(result, values[size_t(middle)]);
}
ZB_BUILTIN(F_Choose)
{
    SetReal(result, 0.0);
    if (argc < 1) return;
    double pick = std::floor(double(Random_Int(argc)));
    int32_t i = int32_t(std::fmin(pick, double(argc - 1)));
    Value_Copy(result, &args[i]);
}
ZB_BUILTIN(F_Clamp)
{
    SetReal(result, 0.0);
    if (argc < 3) return;
    double r = args[0].real;
    if (args[1].real > r) r = args[1].real;
    if (r > args[2].real) r = args[2].real;
    SetReal(result, r);
}
ZB_BUILTIN(F_Lerp)
{
    SetReal(result, 0.0);
    if (argc != 3) return;
    double a = args[0].real, b = args[1].real, t = args[2].real;
    SetReal(result, a + (b - a) * t);
}

// [SECTION] Geometry

ZB_BUILTIN(F_PointDistance)
{
    SetReal(result, 0.0);
    if (argc < 4) return;
    float dx = ArgFloat(args, 2) - ArgFloat(args, 0);
    float dy = ArgFloat(args, 3) - ArgFloat(args, 1);
    float sum = dx * dx + dy * dy;
    SetReal(result, double(std::sqrt(sum)));
}
ZB_BUILTIN(F_PointDistance3D)
{
    SetReal(result, 0.0);
    if (argc < 6) return;
    float dx = ArgFloat(args, 3) - ArgFloat(args, 0);
    float dy = ArgFloat(args, 4) - ArgFloat(args, 1);
    float dz = ArgFloat(args, 5) - ArgFloat(args, 2);
    float sum = dx * dx + dy * dy + dz * dz;
    SetReal(result, double(std::sqrt(sum)));
}
ZB_BUILTIN(F_PointDirection)
{
    SetReal(result, 0.0);
    if (argc < 4) return;
    float dx = ArgFloat(args, 2) - ArgFloat(args, 0);
    float dy = ArgFloat(args, 3) - ArgFloat(args, 1);
    if (dx == 0.0f) {
        SetReal(result, dy > 0.0f ? 270.0 : (dy < 0.0f ? 90.0 : 0.0));
        return;
    }
    float a = std::atan2(dy, dx) * 180.0f / PI_F;
    SetReal(result, double(a > 0.0f ? 360.0f - a : -a));
}

// The length-direction results: the integral part when the fraction's magnitude is below 1e-4.
double SnapFraction(float v)
{
    float integral;
    float fraction = std::modf(v, &integral);
    return double(std::fabs(fraction) < 0.0001f ? integral : v);
}
ZB_BUILTIN(F_LengthdirX)
{
    SetReal(result, 0.0);
    if (argc < 2) return;
    float angle = ArgFloat(args, 1) * PI_F / 180.0f;
    SetReal(result, SnapFraction(ArgFloat(args, 0) * std::cos(angle)));
}
ZB_BUILTIN(F_LengthdirY)
{
    SetReal(result, 0.0);
    if (argc < 2) return;
    float angle = ArgFloat(args, 1) * PI_F / 180.0f;
    SetReal(result, SnapFraction(-(ArgFloat(args, 0) * std::sin(angle))));
}
ZB_BUILTIN(F_DotProduct)
{
    SetReal(result, 0.0);
    if (argc >= 4) SetReal(result, args[0].real * args[2].real + args[1].real * args[3].real);
}
ZB_BUILTIN(F_DotProduct3D)
{
    SetReal(result, 0.0);
    if (argc >= 6)
        SetReal(result, args[0].real * args[3].real + args[1].real * args[4].real + args[2].real * args[5].real);
}
ZB_BUILTIN(F_DotProductNormalised)
{
    SetReal(result, 0.0);
    if (argc < 4) return;
    float x1 = ArgFloat(args, 0), y1 = ArgFloat(args, 1), x2 = ArgFloat(args, 2), y2 = ArgFloat(args, 3);
    double dot = double(x1) * double(x2) + double(y1) * double(y2);
    float l1 = std::sqrt(x1 * x1 + y1 * y1), l2 = std::sqrt(x2 * x2 + y2 * y2);
    SetReal(result, dot / (double(l1) * double(l2)));
}
ZB_BUILTIN(F_DotProduct3DNormalised)
{
    SetReal(result, 0.0);
    if (argc < 6) return;
    float x1 = ArgFloat(args, 0), y1 = ArgFloat(args, 1), z1 = ArgFloat(args, 2);
    float x2 = ArgFloat(args, 3), y2 = ArgFloat(args, 4), z2 = ArgFloat(args, 5);
    double dot = double(x1) * double(x2) + double(y1) * double(y2) + double(z1) * double(z2);
    float l1 = std::sqrt(x1 * x1 + y1 * y1 + z1 * z1), l2 = std::sqrt(x2 * x2 + y2 * y2 + z2 * z2);
    SetReal(result, dot / (double(l1) * double(l2)));
}
ZB_BUILTIN(F_MathSetEpsilon)
{
    SetReal(result, 0.0);
    if (argc != 1 || args[0].kind != VALUE_REAL) return;
    double e = args[0].real;
    if (!(e >= 0.0 && e < 1.0)) {
        Code_Error_Report("math_set_epsilon :: value should be between 0 and 1", true);
        return;
    }
    VM_CompareEpsilon = e;
}

} // namespace

// [SECTION] Registration

void Function_Math_Init()
{
    Function_Add("is_real", F_IsReal, 1);
    Function_Add("is_string", F_IsString, 1);
    Function_Add("random", F_Random, 1);
    Function_Add("random_range", F_RandomRange, 2);
    Function_Add("irandom", F_IRandom, 1);
    Function_Add("irandom_range", F_IRandomRange, 2);
    Function_Add("random_set_seed", F_RandomSetSeed, 1);
    Function_Add("random_get_seed", F_RandomGetSeed, 0);
    Function_Add("randomize", F_Randomize, 0);
    Function_Add("abs", F_Abs, 1);
    Function_Add("round", F_Round, 1);
    Function_Add("floor", F_Floor, 1);
    Function_Add("ceil", F_Ceil, 1);
    Function_Add("sign", F_Sign, 1);
    Function_Add("frac", F_Frac, 1);
    Function_Add("sqrt", F_Sqrt, 1);
    Function_Add("sqr", F_Sqr, 1);
    Function_Add("exp", F_Exp, 1);
    Function_Add("ln", F_Ln, 1);
    Function_Add("log2", F_Log2, 1);
    Function_Add("log10", F_Log10, 1);
    Function_Add("sin", F_Sin, 1);
    Function_Add("cos", F_Cos, 1);
    Function_Add("tan", F_Tan, 1);
    Function_Add("arcsin", F_Arcsin, 1);
    Function_Add("arccos", F_Arccos, 1);
    Function_Add("arctan", F_Arctan, 1);
    Function_Add("arctan2", F_Arctan2, 2);
    Function_Add("degtorad", F_DegToRad, 1);
    Function_Add("radtodeg", F_RadToDeg, 1);
    Function_Add("power", F_Power, 2);
    Function_Add("logn", F_Logn, 2);
    Function_Add("min", F_Min, -1);
    Function_Add("max", F_Max, -1);
    Function_Add("min3", F_Min, 3);
    Function_Add("max3", F_Max, 3);
    Function_Add("mean", F_Mean, -1);
    Function_Add("median", F_Median, -1);
    Function_Add("choose", F_Choose, -1);
    Function_Add("clamp", F_Clamp, 3);
    Function_Add("lerp", F_Lerp, 3);
    Function_Add("point_distance", F_PointDistance, 4);
    Function_Add("point_distance_3d", F_PointDistance3D, 6);
    Function_Add("point_direction", F_PointDirection, 4);
    Function_Add("lengthdir_x", F_LengthdirX, 2);
    Function_Add("lengthdir_y", F_LengthdirY, 2);
    Function_Add("dot_product", F_DotProduct, 4);
    Function_Add("dot_product_3d", F_DotProduct3D, 6);
    Function_Add("dot_product_normalised", F_DotProductNormalised, 4);
    Function_Add("dot_product_3d_normalised", F_DotProduct3DNormalised, 6);
    Function_Add("math_set_epsilon", F_MathSetEpsilon, 1);
    Function_String_Register();
}

void InitFunctions_Math() { Function_Math_Init(); }
