// The argument readers and result setters every built-in uses (Files/Code/Code_Builtin.h): one
// table row per argument value, one column per conversion.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "Files/Code/Code_Builtin.h"

using namespace zbargs;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ScriptValue Real(double x) { return Value_Real(x); }
// A string whose real field holds x (the Arg... readers see it, the Num... readers do not).
ScriptValue Text(const char* text, double x = 0.0) { return ScriptValue{VALUE_STRING, const_cast<char*>(text), x}; }

bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

} // namespace

TEST(BuiltinArgs, NumberReadersConvertAsNamed)
{
    struct Case {
        ScriptValue v;
        double argReal, num;
        int32_t argRound, numRound, argTrunc, numTrunc;
        int64_t numRound64;
        bool argFromHalf, argAboveHalf, numFromHalf, numAboveHalf;
    };
    const Case cases[] = {
        {Real(2.5), 2.5, 2.5, 2, 2, 2, 2, 2, true, true, true, true},
        {Real(3.5), 3.5, 3.5, 4, 4, 3, 3, 4, true, true, true, true},
        {Real(-2.5), -2.5, -2.5, -2, -2, -2, -2, -2, false, false, false, false},
        {Real(-0.7), -0.7, -0.7, -1, -1, 0, 0, -1, false, false, false, false},
        {Real(0.5), 0.5, 0.5, 0, 0, 0, 0, 0, true, false, true, false},
        {Real(0.4999999), 0.4999999, 0.4999999, 0, 0, 0, 0, 0, false, false, false, false},
        {Real(kNaN), kNaN, kNaN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, -1, false, false, false, false},
        {Real(3e9), 3e9, 3e9, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 3000000000, true, true, true, true},
        {Real(-1e16), -1e16, -1e16, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, -1, false, false, false, false},
        {Text("7", 7.0), 7.0, 0.0, 7, 0, 7, 0, 0, true, true, false, false},
        {ScriptValue{5, nullptr, 0.75}, 0.75, 0.0, 1, 0, 0, 0, 0, true, true, false, false},
    };
    for (const Case& c : cases) {
        const ScriptValue* a = &c.v;
        SCOPED_TRACE(testing::Message() << "kind " << c.v.kind << " real " << c.v.real);
        EXPECT_TRUE(Same(ArgReal(a, 0), c.argReal));
        EXPECT_TRUE(Same(Num(a, 0), c.num));
        EXPECT_EQ(ArgRound(a, 0), c.argRound);
        EXPECT_EQ(NumRound(a, 0), c.numRound);
        EXPECT_EQ(NumRoundU32(a, 0), uint32_t(c.numRound));
        EXPECT_EQ(ArgTrunc(a, 0), c.argTrunc);
        EXPECT_EQ(NumTrunc(a, 0), c.numTrunc);
        EXPECT_EQ(NumRound64(a, 0), c.numRound64);
        EXPECT_EQ(ArgFromHalf(a, 0), c.argFromHalf);
        EXPECT_EQ(ArgAboveHalf(a, 0), c.argAboveHalf);
        EXPECT_EQ(NumFromHalf(a, 0), c.numFromHalf);
        EXPECT_EQ(NumAboveHalf(a, 0), c.numAboveHalf);
        EXPECT_TRUE(Same(ArgFloat(a, 0), double(float(c.argReal))));
        EXPECT_TRUE(Same(NumFloat(a, 0), double(float(c.num))));
    }
    const ScriptValue big = Real(16777217.0); // not a float: narrowed to the nearest one
    EXPECT_EQ(NumFloat(&big, 0), 16777216.0f);
}

TEST(BuiltinArgs, TextReadersTellStringsFromNumbers)
{
    struct Case {
        ScriptValue v;
        const char* text;       // ArgText
        const char* stringText; // ArgStringText (null: none)
        const char* asText;     // ArgAsText
    };
    const Case cases[] = {
        {Text("abc"), "abc", "abc", "abc"},      {Text(nullptr), "", "", ""},
        {Real(1234567), "", nullptr, "1234567"}, {Real(-3), "", nullptr, "-3"},
        {Real(0.25), "", nullptr, "0.25"},       {Real(1e15), "", nullptr, "1e+15"},
        {Real(2.5e-7), "", nullptr, "2.5e-07"},  {ScriptValue{5, nullptr, 4.0}, "", nullptr, ""},
    };
    auto same = [](const char* a, const char* b) { return a == b || (a && b && std::strcmp(a, b) == 0); };
    for (const Case& c : cases) {
        const ScriptValue* a = &c.v;
        SCOPED_TRACE(testing::Message() << "kind " << c.v.kind << " real " << c.v.real);
        EXPECT_STREQ(ArgText(a, 0), c.text);
        EXPECT_TRUE(same(ArgStringText(a, 0), c.stringText));
        EXPECT_STREQ(ArgAsText(a, 0).text, c.asText);
    }
}

TEST(BuiltinArgs, CountedReadersReadMissingArgumentsAsZero)
{
    ScriptValue args[2] = {Real(2.5), Text("x", 9.0)};
    EXPECT_EQ(ArgReal(2, args, 1), 9.0);
    EXPECT_EQ(ArgRound(2, args, 0), 2);
    EXPECT_STREQ(ArgText(2, args, 1), "x");
    EXPECT_TRUE(ArgIsString(2, args, 1));
    EXPECT_TRUE(ArgIsNotString(2, args, 0));
    // The second argument is beyond a count of 1.
    EXPECT_EQ(ArgOrZero(1, args, 1).kind, VALUE_REAL);
    EXPECT_EQ(ArgReal(1, args, 1), 0.0);
    EXPECT_EQ(ArgRound(1, args, 1), 0);
    EXPECT_EQ(ArgTrunc(1, args, 1), 0);
    EXPECT_STREQ(ArgText(1, args, 1), "");
    EXPECT_FALSE(ArgIsString(1, args, 1));
    EXPECT_FALSE(ArgIsNotString(1, args, 1));
}

TEST(BuiltinArgs, SettersKeepTheEmptyTextApartFromNoText)
{
    ScriptValue r = Value_Real(0.0);
    SetBool(&r, true);
    EXPECT_EQ(r.real, 1.0);
    SetText(&r, "");
    ASSERT_EQ(r.kind, VALUE_STRING);
    EXPECT_STREQ(r.text, ""); // a block holding the empty text
    SetBytes(&r, "abc", 0);
    EXPECT_EQ(r.kind, VALUE_STRING);
    EXPECT_EQ(r.text, nullptr); // no bytes: no block
    SetBytes(&r, std::string("ab\0c", 4));
    EXPECT_EQ(std::memcmp(r.text, "ab\0c", 5), 0);
    SetNoText(&r);
    EXPECT_EQ(r.text, nullptr);
    SetReal(&r, 2.0);
    EXPECT_EQ(r.kind, VALUE_REAL);
    EXPECT_EQ(r.real, 2.0);
    Value_FreeString(&r);
}
