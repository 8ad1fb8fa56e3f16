// Constants: built-ins, game constants with their value texts, resources, shadowing and
// the case-blind lookup.
#include "code/CompilerTestSupport.h"

#include "Files/Base/Console.h"

namespace {

class CompilerConstantTest : public CompilerTest {};

class CapturingBox : public IMessageBoxHost {
public:
    int Show(const char* text, const char*, uint32_t) override
    {
        shown += text;
        return 1;
    }
    std::string shown;
};

int32_t SpriteFinder(const char* name) { return std::string(name) == "spr_hero" ? 4 : -1; }

} // namespace

TEST_F(CompilerConstantTest, BuiltinsInTheirOrder)
{
    ScriptValue v = Value_Real(0.0);
    ASSERT_TRUE(Code_Constant_FindResource("c_ltgray", &v));
    EXPECT_EQ(v.real, 12632256);
    ASSERT_TRUE(Code_Constant_FindResource("vk_return", &v));
    EXPECT_EQ(v.real, 13);
    ASSERT_TRUE(Code_Constant_FindResource("ev_step", &v));
    EXPECT_EQ(v.real, 3);
    ASSERT_TRUE(Code_Constant_FindResource("cr_size_nesw", &v));
    EXPECT_EQ(v.real, -6);
    ASSERT_TRUE(Code_Constant_FindResource("pi", &v));
    EXPECT_EQ(v.real, double(3.14159265358979f));
    EXPECT_FALSE(Code_Constant_FindResource("C_RED", &v));
    ASSERT_NE(Code_Constant_Find("C_RED"), nullptr);
    EXPECT_EQ(Code_Constant_Find("C_RED")->real, 255);
    EXPECT_EQ(Code_Constant_Find("no_such"), nullptr);
}

TEST_F(CompilerConstantTest, GameConstantsTakeTheirValues)
{
    const char* names[] = {"LIVES", "TITLE", "DOUBLE", "c_red", nullptr, "BROKEN", "LATER"};
    const char* values[] = {"3", "'Quest'", "LIVES * 2", "", "1", "1 +", "x"};
    CaptureConsole log;
    ASSERT_TRUE(Code_Constant_DefineGame(7, names, values));
    EXPECT_EQ(EvalTree("LIVES + DOUBLE"), "9");
    EXPECT_EQ(EvalTree("TITLE"), "'Quest'");
    // A game constant named like a built-in shadows it.
    EXPECT_EQ(EvalTree("c_red"), "0");
    // A value text that does not compile, or is no constant, leaves 0 and says why.
    EXPECT_EQ(EvalTree("BROKEN"), "0");
    EXPECT_EQ(EvalTree("LATER"), "0");
    EXPECT_NE(log.Text().find("Constant BROKEN:"), std::string::npos);
    EXPECT_NE(log.Text().find("Constant LATER: value \"x\" is not a constant expression"), std::string::npos);
}

TEST_F(CompilerConstantTest, InvalidNamesStopTheDefinition)
{
    CapturingBox box;
    MessageBox_SetHost(&box);
    const char* names[] = {" good ", "3lives", "never"};
    EXPECT_FALSE(Code_Constant_DefineGame(3, names, nullptr));
    MessageBox_SetHost(nullptr);
    EXPECT_EQ(box.shown, "Constant name 3lives  is not valid.");
    ScriptValue v = Value_Real(1.0);
    EXPECT_TRUE(Code_Constant_FindResource("good", &v));
    EXPECT_FALSE(Code_Constant_FindResource("never", &v));
    EXPECT_TRUE(Code_Constant_IsValidName("_a1"));
    EXPECT_FALSE(Code_Constant_IsValidName(""));
    EXPECT_FALSE(Code_Constant_IsValidName("a-b"));
}

TEST_F(CompilerConstantTest, ResourcesComeFirst)
{
    Code_Constant_SetResourceFinder(RESOURCE_SPRITE, SpriteFinder);
    Code_Constant_AddReal("spr_hero", 99);
    EXPECT_EQ(EvalTree("spr_hero"), "4");
    Code_Constant_SetResourceFinder(RESOURCE_SPRITE, nullptr);
    EXPECT_EQ(EvalTree("spr_hero"), "99");
    // Objects and scripts are known through their tables.
    int32_t obj = Object_Add();
    Object_Lookup(obj)->SetName("obj_wall");
    EXPECT_EQ(EvalTree("obj_wall"), std::to_string(obj));
    Script_Add("scr_go", "", -1);
    EXPECT_EQ(EvalTree("scr_go"), "0");
    // A resource or constant name is never a variable.
    EXPECT_NE(CompileError("obj_wall = 1"), "");
}

TEST_F(CompilerConstantTest, PrepareUsesTheGameSource)
{
    EXPECT_TRUE(Code_Constant_Prepare());
    Code_Constant_SetGameSource([](int32_t* count, const char* const** names, const char* const** values) {
        static const char* const n[] = {"SPEED"};
        static const char* const v[] = {"4.5"};
        *count = 1;
        *names = n;
        *values = v;
    });
    EXPECT_TRUE(Code_Constant_Prepare());
    Code_Constant_SetGameSource(nullptr);
    EXPECT_EQ(EvalTree("SPEED"), "4.5");
}
