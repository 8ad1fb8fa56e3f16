// Room transition settings: the built-in kinds, definitions bound to callable functions, the
// kinds that store nothing, the table growing for large kinds, and the step count.
#include <gtest/gtest.h>

#include <cstring>

#include "Files/Code/Code_Function.h"
#include "Files/Graphics/Graphics_Transition.h"
#include "ThreeDTestSupport.h"

namespace {

class Transitions : public ::testing::Test {
protected:
    void SetUp() override
    {
        ThreeD_RegisterBuiltins();
        GR_Transition_Reset();
    }
    void TearDown() override { GR_Transition_Reset(); }
};

TEST_F(Transitions, BuiltinKindsExistAndOthersAreLogged)
{
    EXPECT_TRUE(TransFunctionExists(1));
    EXPECT_TRUE(TransFunctionExists(21));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(TransFunctionExists(22));
    EXPECT_FALSE(TransFunctionExists(0));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("TransFunctionExists()\n"), std::string::npos);
    // A defined kind is not consulted.
    EXPECT_TRUE(GR_Transition_Define(30, "transition_exists"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(Call("transition_exists", {30}), 0.0);
    EXPECT_EQ(Call("transition_exists", {20.6}), 1.0);
    testing::internal::GetCapturedStdout();
}

TEST_F(Transitions, DefineBindsKnownFunctionsOnly)
{
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("transition_define", &id));
    EXPECT_EQ(Call("transition_define", {5, "transition_define"}), 1.0);
    EXPECT_EQ(GR_Transition_FunctionId(5), id);
    EXPECT_STREQ(GR_Transition_FunctionName(5), "transition_define");
    EXPECT_EQ(Call("transition_define", {6, "no_such_function"}), 0.0);
    EXPECT_EQ(GR_Transition_FunctionId(6), -1);
    EXPECT_EQ(GR_Transition_FunctionName(6), nullptr);
    // Kinds 0 and 1000000 and beyond: true for a known name, nothing stored.
    EXPECT_EQ(Call("transition_define", {0, "transition_define"}), 1.0);
    EXPECT_EQ(Call("transition_define", {1000000, "transition_define"}), 1.0);
    EXPECT_EQ(GR_Transition_FunctionId(0), -1);
    EXPECT_EQ(GR_Transition_FunctionId(1000000), -1);
    // A large kind grows both tables; a later definition replaces the name.
    GR_Transition_Store(999999, "a", 7);
    EXPECT_EQ(GR_Transition_FunctionId(999999), 7);
    GR_Transition_Store(999999, nullptr, 8);
    EXPECT_EQ(GR_Transition_FunctionName(999999), nullptr);
    EXPECT_EQ(GR_Transition_FunctionId(999999), 8);
    EXPECT_EQ(GR_Transition_FunctionId(-1), -1);
    // A number given for the name is its text.
    EXPECT_EQ(Call("transition_define", {7, 12}), 0.0);
}

TEST_F(Transitions, StepsAreAtLeastOne)
{
    EXPECT_EQ(GR_Transition_GetSteps(), 80);
    GR_Transition_SetSteps(0);
    EXPECT_EQ(GR_Transition_GetSteps(), 1);
    GR_Transition_SetSteps(-20);
    EXPECT_EQ(GR_Transition_GetSteps(), 1);
    GR_Transition_SetSteps(12);
    EXPECT_EQ(GR_Transition_GetSteps(), 12);
}

} // namespace
