// String built-ins: conversions, positions in and out of range, error texts, UTF-8 that is cut
// short, and the sizes of long results.
#include "builtins/BuiltinsTestSupport.h"

#include <cmath>

namespace {

class StringBuiltins : public BuiltinsTest {
protected:
    std::string S(const char* name, std::initializer_list<Val> args) { return Call(name, args).Text(); }
    double R(const char* name, std::initializer_list<Val> args) { return Call(name, args).Real(); }
};

TEST_F(StringBuiltins, StringOfReals)
{
    EXPECT_EQ(S("string", {10}), "10");
    EXPECT_EQ(S("string", {0.1}), "0.10");
    EXPECT_EQ(S("string", {-7.0}), "-7");
    EXPECT_EQ(S("string", {0.5}), "0.50");
    EXPECT_EQ(S("string", {2.5}), "2.50");
    EXPECT_EQ(S("string", {1.0 / 3}), "0.33");
    EXPECT_EQ(S("string", {-0.004}), "-0.00");
    EXPECT_EQ(S("string", {3e9}), "3000000000.00");
    EXPECT_EQ(S("string", {-2147483648.0}), "-2147483648");
    EXPECT_EQ(S("string", {"text"}), "text");
    // Huge reals print in full (no fixed buffer).
    std::string big = S("string", {1e300});
    EXPECT_EQ(big.size(), 304u);
    EXPECT_EQ(big.substr(0, 4), "1000");
    EXPECT_EQ(big.substr(big.size() - 3), ".00");
    EXPECT_EQ(S("string", {-1.7976931348623157e308}).size(), 313u);
    EXPECT_EQ(S("string", {INFINITY}), "inf");
}

TEST_F(StringBuiltins, RealOfTexts)
{
    EXPECT_EQ(R("real", {"  3.5xyz"}), 3.5);
    EXPECT_EQ(R("real", {" 12.5 "}), 12.5);
    EXPECT_EQ(R("real", {"12abc"}), 12);
    EXPECT_EQ(R("real", {"abc"}), 0);
    EXPECT_EQ(R("real", {""}), 0);
    EXPECT_EQ(R("real", {NoText()}), 0);
    EXPECT_EQ(R("real", {"\xC3\xA9\xE2\x82\xAC"}), 0);      // only non-ASCII characters
    EXPECT_EQ(R("real", {"\xC3\xA9" "4\xC3\xA9" "2"}), 42); // non-ASCII characters dropped first
    EXPECT_EQ(R("real", {7.25}), 7.25);
    // Decimal only, in the "C" locale.
    EXPECT_EQ(R("real", {"0x1A"}), 0);
    EXPECT_EQ(R("real", {"inf"}), 0);
    EXPECT_EQ(R("real", {"nan"}), 0);
    EXPECT_EQ(R("real", {"1,5"}), 1);
    EXPECT_EQ(R("real", {"-.5e1"}), -5);
    EXPECT_EQ(R("real", {"+2."}), 2);
    EXPECT_EQ(R("real", {"1e"}), 1);
    EXPECT_EQ(R("real", {"1e400"}), INFINITY);
    EXPECT_EQ(R("real", {"-1e400"}), -INFINITY);
    EXPECT_EQ(R("real", {"1e-400"}), 0);
    EXPECT_EQ(R("real", {"0.1"}), 0.1);
}

TEST_F(StringBuiltins, StringFormat)
{
    EXPECT_EQ(S("string_format", {3.14159, 6, 2}), "3.14");
    EXPECT_EQ(S("string_format", {3.14159, 8, 2}), "  3.14");
    EXPECT_EQ(S("string_format", {7, 8, 3}), "7.000");
    EXPECT_EQ(S("string_format", {-1.5, 8, 1}), "   -1.5");
    EXPECT_EQ(S("string_format", {2.5, 0, 0}), "2");
    EXPECT_EQ(S("string_format", {3.5, 0, 0}), "4");
    EXPECT_EQ(S("string_format", {3.14159, 1, 4}), "3.1416"); // "%-3.4f"
    EXPECT_EQ(S("string_format", {1, 0, 5}), "1.00000");
    EXPECT_EQ(S("string_format", {1, -10, 2}), "1.00        ");
    EXPECT_EQ(S("string_format", {"keep", 9, 9}), "keep");
    EXPECT_EQ(S("string_format", {1, 6, -3}), "        1"); // width 9, negative decimals: none
    // Widths and decimals are bounded.
    EXPECT_EQ(S("string_format", {1, 1e9, 0}).size(), 1024u);
    EXPECT_EQ(S("string_format", {1, 400, 400}).size(), 352u);
    EXPECT_EQ(S("string_format", {1e308, 0, 2}).size(), 312u);
}

TEST_F(StringBuiltins, Characters)
{
    EXPECT_EQ(S("chr", {65}), "A");
    EXPECT_EQ(S("chr", {233}), "\xC3\xA9");
    EXPECT_EQ(S("chr", {0x20AC}), "\xE2\x82\xAC");
    EXPECT_EQ(S("chr", {0}), "");
    EXPECT_EQ(S("chr", {-1}), "\x7F");
    EXPECT_EQ(S("chr", {65.9}), "A");
    EXPECT_EQ(R("ord", {"\xC3\xA9"}), 233);
    EXPECT_EQ(R("ord", {""}), 0);
    EXPECT_EQ(R("ord", {5}), 0);
    EXPECT_EQ(S("ansi_char", {233}), "\xE9");
    EXPECT_EQ(S("ansi_char", {256 + 66}), "B");
    EXPECT_EQ(S("ansi_char", {256}), "");
    EXPECT_EQ(R("string_length", {"\xC3\xA9\xC3\xA9\xC3\xA9"}), 3);
    EXPECT_EQ(R("string_byte_length", {"\xC3\xA9\xC3\xA9\xC3\xA9"}), 6);
    EXPECT_EQ(R("string_length", {NoText()}), 0);
    // A sequence cut short by the end of the text is one character, nothing beyond is read.
    EXPECT_EQ(R("string_length", {"ab\xE2\x82"}), 3);
    EXPECT_EQ(S("string_char_at", {"ab\xE2\x82", 3}), "\xE2\x82");
    EXPECT_EQ(S("string_char_at", {"ab\xE2\x82", 4}), "");
}

TEST_F(StringBuiltins, Copy)
{
    EXPECT_EQ(S("string_copy", {"hello", 2, 3}), "ell");
    EXPECT_EQ(S("string_copy", {"hello", 0, 2}), "he");
    EXPECT_EQ(S("string_copy", {"hello", 4, 10}), "lo");
    EXPECT_EQ(S("string_copy", {"hello", 6, 1}), "");
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(S("string_copy", {"hello", 7, 1}), "");
    EXPECT_TRUE(Logged("string_copy(hello, 7, 1): Index is out of bounds"));
    EXPECT_EQ(S("string_copy", {"\xC3\xA9t\xC3\xA9", 2, 2}), "t\xC3\xA9");
    EXPECT_EQ(S("string_copy", {"hello", -5, 2}), "he");
    EXPECT_EQ(S("string_copy", {"hello", 2, -1}), "");
    EXPECT_EQ(S("string_copy", {5, 1, 1}), "");
    EXPECT_EQ(S("string_copy", {"hello", "1", 1}), "");
    EXPECT_EQ(Errors(), 1);
    EXPECT_EQ(S("string_copy", {"hello", 1e300, 1}), "h"); // position INT_MIN: the start
    EXPECT_EQ(Errors(), 1);
}

TEST_F(StringBuiltins, CharAndByteAt)
{
    EXPECT_EQ(S("string_char_at", {"abc", 0}), "a");
    EXPECT_EQ(S("string_char_at", {"abc", -1e300}), "a");
    EXPECT_EQ(S("string_char_at", {"abc", 3}), "c");
    EXPECT_EQ(S("string_char_at", {"abc", 4}), "");
    EXPECT_EQ(S("string_char_at", {"a\xC3\xA9", 2}), "\xC3\xA9");
    EXPECT_EQ(R("string_byte_at", {"\xC3\xA9", 1}), -61);
    EXPECT_EQ(R("string_byte_at", {"abc", 0}), 97);
    EXPECT_EQ(R("string_byte_at", {"abc", 99}), 99);
    EXPECT_EQ(R("string_byte_at", {"", 1}), 0);
    EXPECT_EQ(S("string_set_byte_at", {"abc", 2, 66}), "aBc");
    EXPECT_EQ(S("string_set_byte_at", {"abc", 2, 66.9 + 256}), "aBc");
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(S("string_set_byte_at", {"abc", 4, 66}), "abc");
    EXPECT_TRUE(Logged("string_set_byte_at : index beyond end of string"));
    EXPECT_EQ(S("string_set_byte_at", {"abc", 0, 66}), "abc");
    EXPECT_EQ(S("string_set_byte_at", {"abc", 2}), "abc");
    EXPECT_EQ(Errors(), 2);
}

TEST_F(StringBuiltins, DeleteAndInsert)
{
    EXPECT_EQ(S("string_delete", {"abcdef", 3, 2}), "abef");
    EXPECT_EQ(S("string_delete", {"abcdef", 3, 0}), "abcdef");
    EXPECT_EQ(S("string_delete", {"abcdef", 5, 10}), "abcd");
    EXPECT_EQ(S("string_delete", {"abcdef", 0, 1}), "abcdef");
    EXPECT_EQ(S("string_delete", {"abcdef", 7, 1}), "abcdef");
    EXPECT_EQ(S("string_delete", {"\xC3\xA9t\xC3\xA9", 2, 1}), "\xC3\xA9\xC3\xA9");
    // The rest after a cut-short sequence is encoded again: the text may grow.
    EXPECT_EQ(S("string_delete", {"abc\xE2", 1, 1}), "bc\xEF\xBF\xBD");
    EXPECT_EQ(S("string_insert", {"XY", "abc", 2}), "aXYbc");
    EXPECT_EQ(S("string_insert", {"XY", "abc", 0}), "XYabc");
    EXPECT_EQ(S("string_insert", {"XY", "abc", 10}), "abcXY");
    EXPECT_EQ(S("string_insert", {"", "abc", 2}), "abc");
    EXPECT_EQ(S("string_insert", {"XY", 5, 2}), "");
    EXPECT_EQ(S("string_insert", {"\xC3\xA9", "\xC3\xA9\xC3\xA9", 2}), "\xC3\xA9\xC3\xA9\xC3\xA9");
}

TEST_F(StringBuiltins, CaseAndClasses)
{
    EXPECT_EQ(S("string_upper", {"ab\xC3\xA9z1"}), "AB\xC3\xA9Z1");
    EXPECT_EQ(S("string_lower", {"AB\xC3\x89Z1"}), "ab\xC3\x89z1");
    EXPECT_EQ(S("string_upper", {5}), "");
    EXPECT_EQ(S("string_letters", {"a1b2\xC3\xA9!C"}), "abC");
    EXPECT_EQ(S("string_digits", {"a1b2\xC3\xA9!C3"}), "123");
    EXPECT_EQ(S("string_lettersdigits", {"a1b2\xC3\xA9!C"}), "a1b2C");
    EXPECT_EQ(S("string_digits", {1}), "");
    EXPECT_EQ(Call("string_digits", {"1", "2"}).Text(), "");
    EXPECT_EQ(S("string_upper", {"x\xF0\x9F\x98\x80"}), "X\xEF\xBF\xBD"); // four bytes: one U+FFFD
}

TEST_F(StringBuiltins, PositionsAndCounts)
{
    EXPECT_EQ(R("string_pos", {"b", "abcb"}), 2);
    EXPECT_EQ(R("string_pos", {"", "abc"}), 0);
    EXPECT_EQ(R("string_pos", {"a", ""}), 0);
    EXPECT_EQ(R("string_pos", {"cd", "abc"}), 0);
    EXPECT_EQ(R("string_pos", {"t", "\xC3\xA9t"}), 2);
    EXPECT_EQ(R("string_pos", {"\xC3\xA9", "a\xC3\xA9"}), 2);
    EXPECT_EQ(R("string_count", {"aa", "aaaa"}), 3);
    EXPECT_EQ(R("string_count", {"", "aaaa"}), 0);
    EXPECT_EQ(R("string_count", {"x", "abc"}), 0);
    EXPECT_EQ(R("string_count", {"ab", "abab"}), 2);
}

TEST_F(StringBuiltins, Replace)
{
    EXPECT_EQ(S("string_replace", {"aaa", "a", "b"}), "baa");
    EXPECT_EQ(S("string_replace_all", {"aaa", "a", "ab"}), "ababab");
    EXPECT_EQ(S("string_replace_all", {"abc", "", "x"}), "abc");
    EXPECT_EQ(S("string_replace_all", {"a.b.c", ".", ""}), "abc");
    EXPECT_EQ(S("string_replace_all", {"aaaa", "aa", "a"}), "aa");
    EXPECT_EQ(S("string_replace_all", {"\xC3\xA9x\xC3\xA9", "\xC3\xA9", "e"}), "exe");
    EXPECT_EQ(S("string_replace", {5, "a", "b"}), "");
    EXPECT_EQ(S("string_replace", {"abc", "b", 5}), "ac");
}

TEST_F(StringBuiltins, Repeat)
{
    EXPECT_EQ(S("string_repeat", {"ab", 3}), "ababab");
    EXPECT_EQ(S("string_repeat", {"ab", 0}), "");
    EXPECT_EQ(S("string_repeat", {"", 5}), "");
    EXPECT_EQ(S("string_repeat", {"ab", 2.5}), "abab");
    // Sizes are computed in 64 bits: a product past 4 GB is refused, not wrapped.
    EXPECT_EQ(S("string_repeat", {"abcd", 1073741825}), "");
    EXPECT_TRUE(Logged("string_repeat : result too long"));
    EXPECT_EQ(S("string_repeat", {"x", 2147483647.0}), "");
    EXPECT_EQ(Errors(), 2);
}

} // namespace
