// Every operator of the machine over the type pairs it takes, with the exact texts of the
// pairs it refuses; comparisons with the epsilon; conversions; string repetition and
// concatenation. Operands are written left first: the left one is the value below the top
// (the instruction's second type), the right one the top (its first type).
#include "Files/Base/RealConvert.h"
#include "code/CodeTestSupport.h"

#include <cmath>

namespace {

// A value as assembly: d:1.5 f:0.25 i:7 l:5000000000 b:true s:text v:2.5 (a real variable)
// vs:text (a string variable) vbad (a variable of kind 2) snull (a string slot holding null).
std::string Push(const std::string& v)
{
    std::string kind = v.substr(0, v.find(':'));
    std::string x = v.find(':') == std::string::npos ? "" : v.substr(v.find(':') + 1);
    if (kind == "d") return "push.d " + x + "\n";
    if (kind == "f") return "push.f " + x + "\n";
    if (kind == "i") return "push.i " + x + "\n";
    if (kind == "l") return "push.l " + x + "\n";
    if (kind == "b") return "push.b " + x + "\n";
    if (kind == "s") return "push.s \"" + x + "\"\n";
    if (kind == "v") return "push.d " + x + "\nconv.d.v\n";
    if (kind == "vs") return "push.s \"" + x + "\"\nconv.s.v\n";
    if (kind == "vbad") return "call.i bad_value 0\n";
    if (kind == "vnull") return "call.i null_string 0\n";
    if (kind == "snull") return "call.i null_string 0\nconv.v.s\n";
    ADD_FAILURE() << "bad operand " << v;
    return "";
}

char Letter(const std::string& v)
{
    std::string kind = v.substr(0, v.find(':'));
    if (kind[0] == 'v') return 'v';
    if (kind == "snull") return 's';
    return kind[0];
}

void BadValue(ScriptValue* r, CInstance*, CInstance*, int32_t, ScriptValue*) { *r = ScriptValue{2, nullptr, 0}; }
void NullString(ScriptValue* r, CInstance*, CInstance*, int32_t, ScriptValue*) { *r = ScriptValue{VALUE_STRING, nullptr, 0}; }

class VMOperatorTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        Function_Add("bad_value", BadValue, 0);
        Function_Add("null_string", NullString, 0);
    }

    // Runs body followed by a conversion of a result of type letter to a variable, and gives
    // "d:<real>" / "s:<text>" / "e:<error>"; for a real result the kind letter is the
    // result's static type.
    std::string Eval(const std::string& body, char result)
    {
        std::string src = body;
        if (result != 'v') src += std::string("conv.") + result + ".v\n";
        RunResult r = RunAsm(src.c_str());
        if (r.failed) return "e:" + r.error;
        char buf[64];
        if (r.value.kind == VALUE_STRING) return std::string(1, result) + "s:" + r.text();
        std::snprintf(buf, sizeof buf, "%.17g", r.value.real);
        return std::string(1, result) + ":" + buf;
    }

    std::string Binary(const char* op, const std::string& left, const std::string& right, char result)
    {
        std::string body = Push(left) + Push(right) + op + "." + Letter(right) + "." + Letter(left) + "\n";
        return Eval(body, result);
    }
};

struct Case {
    const char* op;
    const char* left;
    const char* right;
    char result;          // static type of the result
    const char* expected; // "<type>:<real>", "<type>s:<text>" or "e:<error>"
};

} // namespace

TEST_F(VMOperatorTest, Arithmetic)
{
    const Case cases[] = {
        // add
        {"add", "d:1.5", "d:2.25", 'd', "d:3.75"},
        {"add", "d:1.5", "i:2", 'd', "d:3.5"},
        {"add", "i:2", "d:1.5", 'd', "d:3.5"},
        {"add", "i:2", "i:3", 'i', "i:5"},
        {"add", "i:2147483647", "i:1", 'i', "i:-2147483648"},
        {"add", "d:1.5", "l:5000000000", 'd', "d:5000000001.5"},
        {"add", "l:5000000000", "d:1.5", 'l', "l:5000000001"},
        {"add", "i:1", "l:5000000000", 'l', "l:5000000001"},
        {"add", "l:5000000000", "l:5000000000", 'l', "l:10000000000"},
        {"add", "s:ab", "s:cd", 's', "ss:abcd"},
        {"add", "snull", "s:x", 's', "ss:x"},
        {"add", "v:1", "v:2.5", 'v', "v:3.5"},
        {"add", "vs:ab", "vs:cd", 'v', "vs:abcd"},
        {"add", "vs:ab", "s:cd", 'v', "vs:abcd"},
        {"add", "v:1", "i:2", 'v', "v:3"},
        {"add", "i:2", "v:1", 'v', "v:3"},
        {"add", "v:1", "vs:x", 'v', "e:DoAdd :: Execution Error"},
        {"add", "i:1", "s:x", 'i', "e:DoAdd :: Execution Error"},
        {"add", "s:x", "i:1", 's', "e:DoAdd :: Execution Error"},
        {"add", "f:1", "f:2", 'f', "e:DoAdd :: Execution Error"},
        {"add", "b:true", "b:true", 'b', "e:DoAdd :: Execution Error"},
        {"add", "vbad", "v:1", 'v', "e:Malformed variable"},
        // sub
        {"sub", "d:5", "d:1.5", 'd', "d:3.5"},
        {"sub", "i:5", "i:7", 'i', "i:-2"},
        {"sub", "i:-2147483648", "i:1", 'i', "i:2147483647"},
        {"sub", "d:10", "l:4", 'd', "d:6"},
        {"sub", "l:10", "i:4", 'l', "l:6"},
        {"sub", "v:5", "i:2", 'v', "v:3"},
        {"sub", "s:a", "s:b", 's', "e:DoSub :: Execution Engine - Cannot operate on string type"},
        {"sub", "i:1", "s:b", 'i', "e:DoSub :: Execution Engine - Cannot operate on string type"},
        {"sub", "vs:a", "v:1", 'v', "e:DoSub :: Execution Engine - Cannot operate on string type"},
        {"sub", "f:1", "i:1", 'i', "e:DoSub:: Execution Error"},
        // mul, with string repetition
        {"mul", "d:1.5", "d:4", 'd', "d:6"},
        {"mul", "i:65536", "i:65536", 'i', "i:0"},
        {"mul", "i:3", "s:ab", 's', "ss:ababab"},
        {"mul", "i:-1", "s:ab", 's', "ss:"},
        {"mul", "d:2.7", "s:ab", 's', "ss:abab"},
        {"mul", "v:3", "vs:ab", 'v', "vs:ababab"},
        {"mul", "v:2", "s:xy", 'v', "vs:xyxy"},
        {"mul", "s:ab", "i:3", 's', "e:DoMul :: Execution Error"},
        {"mul", "s:ab", "s:cd", 's', "e:DoMul :: Execution Error"},
        {"mul", "vs:ab", "v:3", 'v', "e:DoMul :: Execution Error"},
        {"mul", "vbad", "v:3", 'v', "e:Variable is malformed"},
        {"mul", "d:3", "l:2", 'd', "d:6"},
        // div
        {"div", "i:7", "i:2", 'i', "i:3"},
        {"div", "i:-7", "i:2", 'i', "i:-3"},
        {"div", "i:-2147483648", "i:-1", 'i', "i:-2147483648"},
        {"div", "d:1", "d:4", 'd', "d:0.25"},
        {"div", "d:1", "d:0.00000000001", 'd', "e:DoDiv :: Divide by zero"},
        {"div", "d:1", "d:0.0000001", 'd', "d:10000000"},
        {"div", "i:1", "i:0", 'i', "e:DoDiv :: Divide by zero"},
        {"div", "v:1", "i:0", 'v', "e:DoDiv :: Divide by zero"},
        {"div", "v:1", "v:0", 'v', "e:DoDiv :: Divide by zero"},
        {"div", "v:9", "v:3", 'v', "v:3"},
        {"div", "l:9", "i:2", 'l', "l:4"},
        {"div", "s:a", "i:2", 's', "e:DoDiv :: Execution Engine - Cannot operate on string type"},
        {"div", "f:1", "i:2", 'i', "e:DoDiv :: Execution Error"},
        // rem: the integer quotient of the truncated operands
        {"rem", "i:7", "i:2", 'i', "i:3"},
        {"rem", "i:-7", "i:2", 'i', "i:-3"},
        {"rem", "d:7.9", "d:2.9", 'd', "d:3"},
        {"rem", "d:1", "d:0.5", 'd', "e:DoRem :: Divide by zero"},
        {"rem", "i:-2147483648", "i:-1", 'i', "i:-2147483648"},
        {"rem", "v:-2147483648", "v:-1", 'v', "v:2147483648"}, // as the compiler folds it
        {"rem", "v:7", "i:2", 'v', "v:3"},
        {"rem", "s:a", "s:b", 's', "e:DoRem :: Execution Engine - Cannot operate on string type"},
        {"rem", "f:1", "i:2", 'i', "e:DoRem :: Execution Error"},
        // mod: the remainder, with the sign of the left operand; a zero is +0, as an int's
        {"mod", "i:7", "i:-3", 'i', "i:1"},
        {"mod", "i:-7", "i:3", 'i', "i:-1"},
        {"mod", "d:5.5", "d:2", 'd', "d:1.5"},
        {"mod", "d:-4", "d:2", 'd', "d:0"},
        {"mod", "d:-4.5", "d:1.5", 'd', "d:0"},
        {"mod", "v:-0", "d:7", 'v', "v:0"},
        {"mod", "i:-2147483648", "i:-1", 'i', "i:0"},
        {"mod", "i:7", "i:0", 'i', "e:DoMod :: Divide by zero"},
        {"mod", "v:7", "i:0", 'v', "e:DoMod :: Divide by zero"},
        {"mod", "v:-7.5", "i:2", 'v', "v:-1.5"},
        {"mod", "v:1e300", "i:7", 'v', "v:1"},
        {"mod", "vs:a", "i:2", 'v', "e:DoMod :: Execution Engine - Cannot operate on string type"},
        {"mod", "f:1", "i:2", 'i', "e:DoMod :: Execution Error"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Binary(c.op, c.left, c.right, c.result), c.expected) << c.op << " " << c.left << " " << c.right;
    }
}

TEST_F(VMOperatorTest, BitwiseAndShifts)
{
    const Case cases[] = {
        {"and", "i:12", "i:10", 'i', "i:8"},
        {"or", "i:12", "i:10", 'i', "i:14"},
        {"xor", "i:12", "i:10", 'i', "i:6"},
        {"and", "d:6.7", "d:3.2", 'd', "d:2"},
        {"or", "d:-1.5", "i:4", 'd', "d:-1"},
        {"xor", "i:5", "d:1", 'd', "d:4"},
        {"and", "b:true", "b:false", 'b', "b:0"},
        {"or", "b:true", "b:false", 'b', "b:1"},
        {"xor", "b:true", "b:true", 'b', "b:0"},
        {"and", "l:12", "l:10", 'l', "l:8"},
        {"or", "l:4294967296", "i:1", 'l', "l:4294967297"},
        {"and", "v:7", "v:2", 'v', "v:2"},
        {"and", "s:a", "i:1", 's', "e:DoAnd :: Execution Engine - Cannot operate on string type"},
        {"or", "i:1", "s:a", 'i', "e:DoOr :: Execution Engine - Cannot operate on string type"},
        {"xor", "vs:a", "v:1", 'v', "e:DoXor :: Execution Engine - Cannot operate on string type"},
        {"and", "f:1", "i:1", 'i', "e:DoAnd :: Execution Error"},
        {"or", "b:true", "i:1", 'b', "e:DoOr :: Execution Error"},
        {"xor", "f:1", "f:1", 'f', "e:DoXor :: Execution Error"},
        {"shl", "i:7", "i:33", 'i', "i:14"},
        {"shl", "d:7", "d:33", 'd', "d:60129542144"},
        {"shl", "d:7", "i:64", 'd', "d:0"},
        {"shl", "i:1", "d:40", 'd', "d:256"},
        {"shr", "i:-8", "i:1", 'i', "i:-4"},
        {"shr", "d:-8", "d:70", 'd', "d:-1"},
        {"shr", "d:1024", "i:3", 'd', "d:128"},
        {"shl", "l:1", "i:40", 'l', "l:1099511627776"},
        {"shl", "v:3", "i:2", 'v', "v:12"},
        {"shl", "b:true", "b:true", 'b', "e:DoShl :: Execution Error"},
        {"shr", "s:a", "i:1", 's', "e:DoShr :: Execution Engine - Cannot operate on string type"},
        {"shr", "f:1", "i:1", 'i', "e:DoShr :: Execution Error"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Binary(c.op, c.left, c.right, c.result), c.expected) << c.op << " " << c.left << " " << c.right;
    }
}

TEST_F(VMOperatorTest, NegateAndNot)
{
    struct Unary {
        const char* body;
        char result;
        const char* expected;
    };
    const Unary cases[] = {
        {"push.d 2.5\nneg.d\n", 'd', "d:-2.5"},
        {"push.f 2.5\nneg.f\n", 'f', "f:-2.5"},
        {"push.i 5\nneg.i\n", 'i', "i:-5"},
        {"push.i -2147483648\nneg.i\n", 'i', "i:-2147483648"},
        {"push.l 5000000000\nneg.l\n", 'l', "l:-5000000000"},
        {"push.b true\nneg.b\n", 'b', "b:1"},
        {"push.d 3\nconv.d.v\nneg.v\n", 'v', "v:-3"},
        {"push.s \"x\"\nconv.s.v\nneg.v\n", 'v', "e:DoNeg :: Execution Engine - Cannot operate on string type"},
        {"push.s \"x\"\nneg.s\n", 's', "e:DoNeg :: Execution Engine - Cannot operate on string type"},
        {"push.d 0\nnot.d\n", 'd', "d:-1"},
        {"push.d 5.9\nnot.d\n", 'd', "d:-6"},
        {"push.f 2.5\nnot.f\n", 'f', "f:-3"},
        {"push.i 5\nnot.i\n", 'i', "i:-6"},
        {"push.l 0\nnot.l\n", 'l', "l:-1"},
        {"push.b true\nnot.b\n", 'b', "b:0"},
        {"push.b false\nnot.b\n", 'b', "b:1"},
        {"push.d 0\nconv.d.v\nnot.v\n", 'v', "v:-1"},
        {"push.s \"x\"\nnot.s\n", 's', "e:DoNot :: Execution Engine - Cannot operate on string type"},
        // types without a slot do nothing
        {"push.i 4\nneg.e\n", 'i', "i:4"},
    };
    for (const Unary& c : cases) EXPECT_EQ(Eval(c.body, c.result), c.expected) << c.body;
}

TEST_F(VMOperatorTest, ComparisonsUseTheEpsilon)
{
    const Case cases[] = {
        {"seq", "d:0.3", "d:0.30000000000000004", 'b', "b:1"},
        {"seq", "d:1", "d:1.00002", 'b', "b:0"},
        {"sne", "d:1", "d:1.00002", 'b', "b:1"},
        {"slt", "d:1", "d:1.000005", 'b', "b:0"},
        {"sle", "d:1.000005", "d:1", 'b', "b:1"},
        {"sgt", "d:1.000005", "d:1", 'b', "b:0"},
        {"sge", "d:1", "d:1.000005", 'b', "b:1"},
        {"slt", "i:2", "d:2.5", 'b', "b:1"},
        {"slt", "d:2.5", "i:2", 'b', "b:0"},
        {"slt", "i:-5", "i:3", 'b', "b:1"},
        {"slt", "i:-2147483648", "i:1", 'b', "b:0"}, // the int difference wraps
        {"seq", "i:1", "b:true", 'b', "b:1"},
        {"sgt", "b:true", "b:false", 'b', "b:1"},
        {"sgt", "d:1.9", "b:true", 'b', "b:0"}, // the difference is truncated
        {"slt", "b:false", "d:0.9", 'b', "b:0"},
        {"slt", "d:1", "l:2", 'b', "b:1"},
        {"slt", "l:1", "d:2", 'b', "b:1"},
        {"seq", "i:5", "l:5", 'b', "b:1"},
        {"sgt", "l:6000000000", "l:5000000000", 'b', "b:1"},
        {"slt", "s:B", "s:a", 'b', "b:1"},
        {"seq", "s:", "snull", 'b', "b:1"},
        {"sgt", "s:abc", "s:ab", 'b', "b:1"},
        {"slt", "s:\xc3\xa9", "s:z", 'b', "b:0"}, // bytes compare unsigned
        {"seq", "v:2", "i:2", 'b', "b:1"},
        {"seq", "vs:x", "s:x", 'b', "b:1"},
        {"sne", "vs:x", "vs:y", 'b', "b:1"},
        {"seq", "v:2", "vs:2", 'b', "e:DoSet :: Invalid comparison type"},
        {"seq", "s:1", "i:1", 'b', "e:DoSet :: Invalid comparison type"},
        {"seq", "f:1", "i:1", 'b', "e:DoSet :: Invalid comparison type"},
        {"seq", "vbad", "v:1", 'b', "e:Malformed variable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Binary(c.op, c.left, c.right, c.result), c.expected) << c.op << " " << c.left << " " << c.right;
    }
    VM_CompareEpsilon = 0.1;
    EXPECT_EQ(Binary("seq", "d:1", "d:1.05", 'b'), "b:1");
}

TEST_F(VMOperatorTest, Conversions)
{
    struct Conv {
        const char* body;
        char result;
        const char* expected;
    };
    const Conv cases[] = {
        {"push.d 0.5\nconv.d.b\n", 'b', "b:0"},
        {"push.d 0.51\nconv.d.b\n", 'b', "b:1"},
        {"push.d -0.7\nconv.d.b\n", 'b', "b:0"},
        {"push.d -0.7\nconv.d.v\nconv.v.b\n", 'b', "b:1"},
        {"push.d 2.9\nconv.d.i\n", 'i', "i:2"},
        {"push.d -2.9\nconv.d.i\n", 'i', "i:-2"},
        {"push.d 3e10\nconv.d.i\n", 'i', "i:-2147483648"},
        {"push.d 3e10\nconv.d.l\n", 'l', "l:30000000000"},
        {"push.d 1.5\nconv.d.f\n", 'f', "f:1.5"},
        {"push.f 2.75\nconv.f.d\n", 'd', "d:2"},
        {"push.f 2.75\nconv.f.v\n", 'v', "v:2.75"},
        {"push.f 0.75\nconv.f.b\n", 'b', "b:1"},
        {"push.i 5\nconv.i.d\n", 'd', "d:5"},
        {"push.i -1\nconv.i.l\n", 'l', "l:-1"},
        {"push.i 0\nconv.i.b\n", 'b', "b:0"},
        {"push.l 4294967301\nconv.l.i\n", 'i', "i:5"},
        {"push.l 0\nconv.l.b\n", 'b', "b:0"},
        {"push.b true\nconv.b.d\n", 'd', "d:1"},
        {"push.b true\nconv.b.i\n", 'i', "i:1"},
        {"push.i 5\nconv.i.s\n", 's', "ss:5"},
        {"push.d 1.5\nconv.d.s\n", 's', "ss:1.5"},
        {"push.d 1e20\nconv.d.s\n", 's', "ss:1e+20"},
        {"push.l 5000000000\nconv.l.s\n", 's', "ss:5000000000"},
        {"push.b false\nconv.b.s\n", 's', "ss:false"},
        {"push.f 0.5\nconv.f.s\n", 's', "ss:0.5"},
        {"push.d 0.25\nconv.d.v\nconv.v.s\n", 's', "ss:0.25"},
        {"push.s \"hi\"\nconv.s.v\nconv.v.s\n", 's', "ss:hi"},
        {"push.s \"12abc\"\nconv.s.i\n", 'i', "i:12"},
        {"push.s \"  -3.5e2xyz\"\nconv.s.d\n", 'd', "d:-350"},
        {"push.s \"0x10\"\nconv.s.d\n", 'd', "d:0"},
        {"push.s \"inf\"\nconv.s.d\n", 'd', "d:0"},
        {"push.s \"nan\"\nconv.s.d\n", 'd', "d:0"},
        {"push.s \".5\"\nconv.s.d\n", 'd', "d:0.5"},
        {"push.s \"99999999999\"\nconv.s.i\n", 'i', "i:2147483647"},
        {"push.s \"-7\"\nconv.s.l\n", 'l', "l:-7"},
        {"push.s \"true\"\nconv.s.b\n", 'b', "b:1"},
        {"push.s \"TRUE\"\nconv.s.b\n", 'b', "b:0"},
        {"push.s \"4.5\"\nconv.s.v\nconv.v.d\n", 'd', "d:4.5"},
        {"push.s \"4.5\"\nconv.s.f\n", 'f', "f:4.5"},
        {"push.i 1\nconv.i.i\n", 'i', "e:DoConv :: Execution Error"},
        {"push.d 1\nconv.d.v\nconv.v.v\n", 'v', "e:DoConv :: Execution Error"},
        {"push.s \"a\"\nconv.s.s\n", 's', "e:DoConv :: Execution Error"},
        {"push.i 1\n.word 0x03720000\n", 'i', "e:DoConv :: Execution Error"},
    };
    for (const Conv& c : cases) EXPECT_EQ(Eval(c.body, c.result), c.expected) << c.body;
}

TEST(VMTextNumbers, CLocaleDecimalOnly)
{
    // The helpers the conversions use.
    EXPECT_EQ(VM_TextToReal("1e"), 1.0);
    EXPECT_EQ(VM_TextToReal("+2.5"), 2.5);
    EXPECT_EQ(VM_TextToReal("-"), 0.0);
    EXPECT_EQ(VM_TextToReal(nullptr), 0.0);
    EXPECT_EQ(VM_TextToReal("\t 7"), 7.0);
    EXPECT_EQ(VM_TextToReal("0.1"), 0.1);
    EXPECT_EQ(VM_TextToInt("-2147483649"), INT32_MIN);
    EXPECT_EQ(VM_TextToInt("  42x"), 42);
    EXPECT_EQ(Real_TruncToInt32(std::nan("")), INT32_MIN);
    EXPECT_EQ(Real_TruncToInt32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(Real_TruncToInt32(2147483647.9), INT32_MAX);
    EXPECT_EQ(Real_TruncToInt64(1e19), INT64_MIN);
}
