// The parser and the checks: trees of every statement and operator as S-expressions, the
// grouping rules, folding, and every compile error text with its line and position.
#include "code/CompilerTestSupport.h"

namespace {
class CompilerParseTest : public CompilerTest {};

std::string Err(const char* line, int column, const char* message)
{
    return std::string("Error in code at line 1:\n   ") + line + "\n\nat position " + std::to_string(column) + ": " +
           message;
}
} // namespace

TEST_F(CompilerParseTest, Statements)
{
    EXPECT_EQ(TreeOf(""), "(program)");
    EXPECT_EQ(TreeOf("{a=1}"), "(block (:= (var a @-6) 1))");
    EXPECT_EQ(TreeOf("a=1 b=2"), "(block (:= (var a @-6) 1) (:= (var b @-6) 2))");
    EXPECT_EQ(TreeOf("if a then b=1 else b=2"),
              "(block (if (var a @-6) (:= (var b @-6) 1) (:= (var b @-6) 2)))");
    EXPECT_EQ(TreeOf("if (a) {b=1}"), "(block (if (var a @-6) (block (:= (var b @-6) 1))))");
    EXPECT_EQ(TreeOf("while x do y+=1"), "(block (while (var x @-6) (+= (var y @-6) 1)))");
    EXPECT_EQ(TreeOf("do y-=1 until y<0"), "(block (do (-= (var y @-6) 1) (< (var y @-6) 0)))");
    EXPECT_EQ(TreeOf("for (i=0; i<3; i+=1) s*=2"),
              "(block (for (:= (var i @-6) 0) (< (var i @-6) 3) (+= (var i @-6) 1) (*= (var s @-6) 2)))");
    EXPECT_EQ(TreeOf("for (;c;s+=1) ;"), "(block (for (empty) (var c @-6) (+= (var s @-6) 1) (empty)))");
    // The step is a statement: an empty one would be the closing bracket.
    EXPECT_NE(CompileError("for (;c;) ;"), "");
    EXPECT_EQ(TreeOf("repeat 3 {exit; break; continue}"), "(block (repeat 3 (block (exit) (break) (continue))))");
    EXPECT_EQ(TreeOf("with (other) x/=2"), "(block (with -2 (/= (var x @-6) 2)))");
    EXPECT_EQ(TreeOf("return 1"), "(block (return 1))");
    EXPECT_EQ(TreeOf("switch k { case 1: a|=1; case k: a&=2; default: a^=3 }"),
              "(block (switch (var k @-6) (case-const 1) (|= (var a @-6) 1) (case (var k @-6)) "
              "(&= (var a @-6) 2) (default) (^= (var a @-6) 3)))");
    EXPECT_EQ(TreeOf("var a, b c; globalvar g"), "(block (var-decl a b c) (globalvar g))");
    EXPECT_EQ(TreeOf("count(); count(1,2,); concat('a')"),
              "(block (call count) (call count 1 2) (call concat \"a\"))");
}

TEST_F(CompilerParseTest, Variables)
{
    EXPECT_EQ(TreeOf("a[i] = 1"), "(block (:= (var a -6 (var i @-6)) 1))");
    EXPECT_EQ(TreeOf("a[i, j] = 1"), "(block (:= (var a -6 (var i @-6) (var j @-6)) 1))");
    EXPECT_EQ(TreeOf("a.b.c = 1"), "(block (:= (var c (var b (var a @-6))) 1))");
    EXPECT_EQ(TreeOf("other.x = 1; global.g = 2; self.s = 3"),
              "(block (:= (var x @-2) 1) (:= (var g @-5) 2) (:= (var s @-1) 3))");
    EXPECT_EQ(TreeOf("(q).x = 1"), "(block (:= (var x (var q @-6)) 1))");
    // A statement that starts with a call is the call alone.
    EXPECT_NE(CompileError("sum2(1,2).x = 2"), "");
    EXPECT_EQ(TreeOf("var i; i = 1"), "(block (var-decl i) (:= (var i @-7) 1))");
    EXPECT_EQ(TreeOf("j = 1; var j"), "(block (:= (var j @-6) 1) (var-decl j))");
    EXPECT_EQ(TreeOf("(100001).x = 1; (5).y = 2"), "(block (:= (var x @100001) 1) (:= (var y @5) 2))");
}

TEST_F(CompilerParseTest, ExpressionGrouping)
{
    EXPECT_EQ(TreeOf("a+b*c-d", true), "(- (+ (var a @-6) (* (var b @-6) (var c @-6))) (var d @-6))");
    EXPECT_EQ(TreeOf("a && b || c", true), "(|| (&& (var a @-6) (var b @-6)) (var c @-6))");
    EXPECT_EQ(TreeOf("a | b == c", true), "(== (| (var a @-6) (var b @-6)) (var c @-6))");
    EXPECT_EQ(TreeOf("a << b + c", true), "(<< (var a @-6) (+ (var b @-6) (var c @-6)))");
    EXPECT_EQ(TreeOf("a div b mod c / d % e", true),
              "(mod (/ (mod (div (var a @-6) (var b @-6)) (var c @-6)) (var d @-6)) (var e @-6))");
    EXPECT_EQ(TreeOf("-a.b", true), "(- (var b (var a @-6)))");
    EXPECT_EQ(TreeOf("- -x + ~y + !z + +w", true),
              "(+ (+ (+ (- (- (var x @-6))) (~ (var y @-6))) (! (var z @-6))) (+ (var w @-6)))");
    EXPECT_EQ(TreeOf("x = 1 == 2; x = a = b"), "(block (:= (var x @-6) 0) (:= (var x @-6) (= (var a @-6) (var b @-6))))");
    EXPECT_EQ(TreeOf("a ^^ b xor c and d or e", true),
              "(|| (&& (^^ (^^ (var a @-6) (var b @-6)) (var c @-6)) (var d @-6)) (var e @-6))");
    EXPECT_EQ(TreeOf("a <= b >= c > d < e != f <> g", true),
              "(!= (!= (< (> (>= (<= (var a @-6) (var b @-6)) (var c @-6)) (var d @-6)) (var e @-6)) (var f @-6)) "
              "(var g @-6))");
    EXPECT_EQ(TreeOf("1 2", true), "1");
    EXPECT_EQ(TreeOf("", true), "0");
}

TEST_F(CompilerParseTest, Folding)
{
    EXPECT_EQ(EvalTree("2 + 3 * 4"), "14");
    EXPECT_EQ(EvalTree("'ab' + 'cd'"), "'abcd'");
    EXPECT_EQ(EvalTree("3 * 'ab'"), "'ababab'");
    EXPECT_EQ(EvalTree("0 * 'ab'"), "''");
    EXPECT_EQ(EvalTree("7 div 2"), "3");
    EXPECT_EQ(EvalTree("-7 div 2"), "-3");
    EXPECT_EQ(EvalTree("-2147483648 div -1"), "2147483648");
    EXPECT_EQ(EvalTree("-7 mod 3"), "-1");
    EXPECT_EQ(EvalTree("5.5 mod 2"), "1.5");
    EXPECT_EQ(EvalTree("~0"), "-1");
    EXPECT_EQ(EvalTree("~2.5"), "-3");
    EXPECT_EQ(EvalTree("1 << 33"), "2");
    EXPECT_EQ(EvalTree("-8 >> 1"), "-4");
    EXPECT_EQ(EvalTree("6 | 1 & 3 ^ 2"), "1"); // one level, left to right
    EXPECT_EQ(EvalTree("'a' < 'b'"), "1");
    EXPECT_EQ(EvalTree("!0.4"), "1");
    EXPECT_EQ(EvalTree("!0.5"), "0");
    EXPECT_EQ(EvalTree("0.5 && 1"), "1");
    EXPECT_EQ(EvalTree("0.4 || 0.49"), "0");
    EXPECT_EQ(EvalTree("1 ^^ 1"), "0");
    EXPECT_EQ(EvalTree("3 + 4"), "7");
    EXPECT_EQ(EvalTree("pi"), "3.1415927410125732");
    // A unit whose expression folds to a constant is a constant unit without byte code.
    CCode c("3+4", true);
    ASSERT_TRUE(c.Compile("c"));
    EXPECT_EQ(c.m_kind, CODE_CONSTANT);
    EXPECT_EQ(c.m_constant.real, 7);
    EXPECT_EQ(c.m_pCode, nullptr);
    CCode e("", true);
    ASSERT_TRUE(e.Compile("e"));
    EXPECT_EQ(e.m_kind, CODE_CONSTANT);
    EXPECT_EQ(e.m_constant.real, 0);
}

TEST_F(CompilerParseTest, ErrorsOfThePhases)
{
    struct Case {
        const char* text;
        int column;
        const char* message;
    };
    const Case cases[] = {
        {"{a=1} b=2", 7, "Program ends before end of the code."},
        {"if", 3, "Unexpected symbol in expression."},
        {"a = ", 5, "Unexpected symbol in expression."},
        {"x = count(1", 12, "Symbol ) expected."},
        {"x = count(1 2)", 13, "Symbol , or ) expected."},
        {"x = sum2(1,2,3)", 15, "Wrong number of arguments to function or script."},
        {"x = a[1", 8, "Symbol ] expected."},
        {"x = a[1 2]", 9, "Symbol , or ] expected."},
        {"x = a[1,2,3]", 11, "Only 1- and 2-dimensional arrays are supported."},
        {"x = (1", 7, "Symbol ) expected."},
        {"5 = x", 3, "Variable name expected."},
        {"x 5", 3, "Assignment operator expected."},
        {"var a, id", 8, "Cannot redeclare a builtin variable."},
        {"case 1 x", 8, "Symbol : expected."},
        {"default x", 9, "Symbol : expected."},
        {"switch 1 x", 10, "Symbol {  expected."},
        {"switch 1 { x = 1", 17, "Symbol  } expected."},
        {"{ x = 1", 8, "Symbol  } expected."},
        {"do x = 1", 9, "Keyword until expected."},
        {"for x", 5, "Symbol ( expected."},
        {"for (i=0;i<1;i+=1 x=1", 19, "Symbol ) expected."},
        {"x = .y", 5, "Unexpected symbol in expression."},
        {"x = a.(b)", 7, "Variable name expected."},
        {"x = 'a' * 'b'", 12, "Wrong type of arguments to *."},
        {"x = 'ab' * 3", 12, "Wrong type of arguments to *."},
        {"x = 7 / 0", 9, "Division by 0."},
        {"x = 7 div 0.5", 11, "Division by 0."},
        {"x = 7 mod 0", 11, "Modulo by 0."},
        {"x = 'a' == 1", 12, "Cannot compare arguments."},
        {"x = -'a'", 7, "Wrong type of arguments to unary operator."},
        {"x = 'a' && 1", 12, "Wrong type of arguments for &&."},
        {"x = 'a' || 1", 12, "Wrong type of arguments for ||."},
        {"x = 'a' ^^ 1", 12, "Wrong type of arguments for ^^."},
        {"x = 'a' - 1", 11, "Wrong type of arguments to -."},
        {"x = 1 + 'a'", 10, "Wrong type of arguments to +."},
        {"x = 'a' / 1", 11, "Wrong type of arguments to /."},
        {"x = 'a' div 1", 13, "Wrong type of arguments to div."},
        {"x = 'a' mod 1", 13, "Wrong type of arguments to mod."},
        {"x = 'a' | 1", 11, "Wrong type of arguments for |."},
        {"x = 'a' & 1", 11, "Wrong type of arguments for &."},
        {"x = 'a' ^ 1", 11, "Wrong type of arguments for ^."},
        {"x = 'a' << 1", 12, "Wrong type of arguments for <<."},
        {"x = 'a' >> 1", 12, "Wrong type of arguments for >>."},
        {"'obj'.x = 1", 2, "Left hand side must be a real value."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompileError(c.text), Err(c.text, c.column, c.message)) << c.text;
    }
    // Positions on later lines count from the line start; the first error wins.
    EXPECT_EQ(CompileError("a = 1\n  b = * 2\nc = )"),
              "Error in code at line 2:\n     b = * 2\n\nat position 7: Unexpected symbol in expression.");
    // The lexer runs over the whole text first.
    EXPECT_EQ(CompileError("a = 1\n  b = * 2\nc # 1"),
              "Error in code at line 3:\n   c # 1\n\nat position 3: Unexpected symbol.");
    EXPECT_EQ(CompileError("a = 1\n"), "");
}

TEST_F(CompilerParseTest, LimitsAreCompileErrors)
{
    std::string deep(CODE_MAX_NESTING + 10, '(');
    deep = "x = " + deep + "1";
    EXPECT_NE(CompileError(deep.c_str()).find("Code nested too deeply."), std::string::npos);
    std::string blocks;
    for (int i = 0; i < CODE_MAX_NESTING + 10; ++i) blocks += "if 1 ";
    blocks += "x = 1";
    EXPECT_NE(CompileError(blocks.c_str()).find("Code nested too deeply."), std::string::npos);
    std::string chain = "x = a";
    for (int i = 0; i < CODE_MAX_TREE_DEPTH + 10; ++i) chain += "+a";
    EXPECT_NE(CompileError(chain.c_str()).find("Code nested too deeply."), std::string::npos);
    // A chain far past the limit is refused as well, and its tree released without recursion.
    chain = "x = a";
    for (int i = 0; i < 300000; ++i) chain += "+a";
    EXPECT_NE(CompileError(chain.c_str()).find("Code nested too deeply."), std::string::npos);
    std::string locals = "var v0";
    for (int i = 1; i <= CODE_MAX_LOCALS; ++i) locals += ", v" + std::to_string(i);
    EXPECT_NE(CompileError(locals.c_str()).find("Too many local variable declarations."), std::string::npos);
    std::string repeated = "x = 2000000000 * 'abc'";
    EXPECT_NE(CompileError(repeated.c_str()).find("String too long."), std::string::npos);
    // Within the limits all is well.
    std::string fine = "x = a";
    for (int i = 0; i < 500; ++i) fine += "+a";
    EXPECT_EQ(CompileError(fine.c_str()), "");
}
