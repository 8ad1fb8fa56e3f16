// The on-screen dialogs with a real ImGui context (no window): far more typed ahead than the
// input queue holds still ends with the key that answers, after the text that fits, in order;
// a place that shows one dialog after another lays each out for itself.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "Files/Debug/InputQuery.h"
#include "Files/Debug/Linux/Dialog_ImGuiM.h"

namespace {

SDL_Event Key(Uint32 type, SDL_Keycode sym)
{
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    return e;
}

SDL_Event Text(char c)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.text[0] = c;
    return e;
}

} // namespace

class DialogInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImGui::SetCurrentContext(context);
        DialogInput_Setup();
        ImGui::GetIO().DisplaySize = ImVec2(800, 600);
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    void TearDown() override
    {
        ImGui::SetCurrentContext(nullptr);
        ImGui::DestroyContext(context);
    }
    ImGuiContext* context = ImGui::CreateContext();
};

TEST_F(DialogInput, AFullQueueDropsTypedTextBeforeTheKeyThatAnswers)
{
    QueryDialog dialog(DIALOG_INPUT, "Caption", "Name?", "default");
    dialog.Init();
    DialogUi ui;
    DialogUi_Begin(ui, &dialog);
    DialogInputQueue queue;
    std::string typed;
    for (int i = 0; i < 10000; ++i) { // three events a character: far past the capacity
        const char c = char('a' + i % 26);
        typed += c;
        queue.Push(Key(SDL_KEYDOWN, SDLK_a + i % 26), 1, 1, true);
        queue.Push(Text(c), 1, 1, true);
        queue.Push(Key(SDL_KEYUP, SDLK_a + i % 26), 1, 1, true);
    }
    queue.Push(Key(SDL_KEYDOWN, SDLK_RETURN), 1, 1, true);
    queue.Push(Key(SDL_KEYUP, SDLK_RETURN), 1, 1, true);
    int32_t result = -1;
    for (int frame = 0; frame < 20000 && !queue.Empty() && !dialog.Ended(&result); ++frame) {
        queue.FeedFrame(&ui);
        ImGui::NewFrame();
        ImGui::SetNextWindowFocus();
        DialogUi_Draw(ui, ImGui::GetIO().DisplaySize, false);
        ImGui::EndFrame();
    }
    ASSERT_TRUE(dialog.Ended(&result)) << "the Return was dropped";
    EXPECT_EQ(result, 1); // OK
    const std::string answer = dialog.ControlText(IDC_ANSWER);
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer, typed.substr(0, answer.size())); // what was kept came in order, from the first key
}

TEST_F(DialogInput, EachDialogShownInOnePlaceIsLaidOutForItself)
{
    // The modeless place shows one dialog after another: the second, of another size, is laid
    // out as it would be in a place of its own, not at the first one's scale.
    QueryDialog small(DIALOG_MESSAGE, "Caption", "Hi", ""), large(DIALOG_INPUT, "Caption", "Name?", "default");
    small.Init();
    large.Init();
    const ImVec2 display(220, 120);
    DialogUi fresh, reused;
    DialogUi_Begin(fresh, &large);
    DialogUi_LayOut(fresh, display);
    DialogUi_Begin(reused, &small);
    DialogUi_LayOut(reused, display);
    DialogUi_Begin(reused, &large);
    EXPECT_EQ(DialogUi_LayOut(reused, display), fresh.holds);
    EXPECT_EQ(reused.fit, fresh.fit);
    EXPECT_NE(reused.fit, 1.0f) << "the display is too small for the input dialog at its own size";
}

TEST_F(DialogInput, AWindowHoldsADialogOnlyWithEveryButtonLabelWhole)
{
    // ImGui pads a button's label on every side and clips it at the button's edge: a window
    // too small for the padding does not hold the dialog (it goes to a window of its own).
    QueryDialog question(DIALOG_QUESTION, "Caption", "Sure?", "");
    question.Init();
    for (const auto& [w, h, holds] : {std::tuple{320.0f, 240.0f, false}, {360.0f, 270.0f, false}, {400.0f, 300.0f, true}}) {
        DialogUi ui;
        DialogUi_Begin(ui, &question);
        EXPECT_EQ(DialogUi_LayOut(ui, ImVec2(w, h)), holds) << w << "x" << h;
    }
}
