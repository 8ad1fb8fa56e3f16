// The lexer and name resolution: token streams of every symbol, keyword and literal form.
#include "code/CompilerTestSupport.h"

namespace {
class CompilerLexTest : public CompilerTest {};
} // namespace

TEST_F(CompilerLexTest, OperatorsAndKeywords)
{
    EXPECT_EQ(TokensOf("a<>b"), "0:a 207 0:b END");
    EXPECT_EQ(TokensOf("a=b a:=b"), "0:a 101 0:b 0:a 101 0:b END");
    EXPECT_EQ(TokensOf("+= -= *= /= |= &= ^= ( ) ; , [ ] . :"),
              "102 103 104 105 114 115 116 106 107 108 109 110 111 112 113 END");
    EXPECT_EQ(TokensOf("&& || ! < <= == != >= > + - * / % ^^ | & ^ ~ << >>"),
              "201 202 203 204 205 206 207 208 209 210 211 212 213 215 216 217 218 219 220 221 222 END");
    EXPECT_EQ(TokensOf("and or not div mod xor"), "201:and 202:or 203:not 214:div 215:mod 216:xor END");
    EXPECT_EQ(TokensOf("{ } begin end if then else while do for until repeat exit break continue with "
                       "return switch case default var globalvar"),
              "11 12 11:begin 12:end 13:if 14:then 15:else 16:while 17:do 18:for 19:until 20:repeat "
              "21:exit 22:break 23:continue 24:with 25:return 26:switch 27:case 28:default 29:var "
              "30:globalvar END");
    // Keywords are lower case only.
    EXPECT_EQ(TokensOf("IF Begin"), "0:IF 0:Begin END");
}

TEST_F(CompilerLexTest, NumbersStringsAndComments)
{
    EXPECT_EQ(TokensOf("x = .5"), "0:x 101 1:.5 END");
    EXPECT_EQ(TokensOf("1.2.3"), "1:1.2 1:.3 END");
    EXPECT_EQ(TokensOf("$ff $"), "1:$ff 1:$ END");
    EXPECT_EQ(TokensOf("'it''s'"), "2:it 2:s END");
    EXPECT_EQ(TokensOf("\"a\nb\""), "2:a\nb END");
    EXPECT_EQ(TokensOf("'abc"), "2:abc   END");
    EXPECT_EQ(TokensOf("a /* b"), "0:a END");
    EXPECT_EQ(TokensOf("a // b\nc"), "0:a 0:c END");
    EXPECT_EQ(TokensOf(""), "END");
    // Bytes above 127 outside strings separate tokens.
    EXPECT_EQ(TokensOf("a\xC3\xA9" "b '\xC3\xA9'"), "0:a 0:b 2:\xC3\xA9 END");
    // A long word is taken whole.
    std::string longWord(2000, 'w');
    EXPECT_EQ(TokensOf(longWord.c_str()), "0:" + longWord + " END");
}

TEST_F(CompilerLexTest, PositionsAndTheUnknownSymbol)
{
    CCode code("ab 'cd'", false);
    CodeTokenList list;
    ASSERT_TRUE(Code_Tokenize(&code, &list));
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.tokens[0].position, 0);
    EXPECT_EQ(list.tokens[1].position, 4); // behind the quote
    EXPECT_EQ(list.tokens[2].position, 10); // the end: text length plus 3
    Code_TokenList_Free(&list);
    EXPECT_EQ(CompileError("a # b"), "Error in code at line 1:\n   a # b\n\nat position 3: Unexpected symbol.");
    EXPECT_EQ(CompileError("x = 1\r\ny = ?"), "Error in code at line 2:\n   y = ?\n\nat position 5: Unexpected symbol.");
    EXPECT_EQ(CompileError("`", true), "Error in expression: `\n position 1: Unexpected symbol.");
}

TEST_F(CompilerLexTest, NumberValues)
{
    EXPECT_EQ(Code_NumberValue("$1F"), 31);
    EXPECT_EQ(Code_NumberValue("$1f"), 31);
    EXPECT_EQ(Code_NumberValue("1.25"), 1.25);
    EXPECT_EQ(Code_NumberValue("12"), 12);
    EXPECT_EQ(Code_NumberValue(""), 0);
    EXPECT_EQ(Code_NumberValue("$"), 0);
}

TEST_F(CompilerLexTest, NameResolution)
{
    // Unknown call.
    EXPECT_EQ(CompileError("foo(1)"), "Error in code at line 1:\n   foo(1)\n\nat position 1: "
                                      "Unknown function or script: foo");
    // A word alone is a new user variable; the same word twice gets the same id.
    EXPECT_EQ(TreeOf("foo = 1; foo = 2"), "(block (:= (var foo @-6) 1) (:= (var foo @-6) 2))");
    EXPECT_EQ(Code_Variable_FindUser("foo"), 100000);
    // Constants and built-in variables.
    EXPECT_EQ(TreeOf("x = c_red"), "(block (:= (var x @-6) 255))");
    // A script named like a built-in is called instead of it.
    Script_Add("sum2", "return 0", -1);
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("sum2", &id));
    EXPECT_EQ(id, FUNCTION_SCRIPT_BASE);
    EXPECT_EQ(TreeOf("sum2(1, 2, 3)"), "(block (call sum2 1 2 3))");
}
