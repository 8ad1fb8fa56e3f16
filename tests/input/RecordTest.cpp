// Input record and playback files: the 2,939-byte record laid out field by field, a recorded
// run played back step for step with the window's own input ignored, the end of the file,
// and files that cannot be opened.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Record.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"
#include "input/InputTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

uint32_t U16(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8); }
int32_t I32(const uint8_t* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }

std::vector<uint8_t> Encoded(const IO_StepLayer& s)
{
    std::vector<uint8_t> out(IO_RECORD_SIZE);
    IO_Record_Encode(s, out.data());
    return out;
}

// A step layer whose every field holds its own recognisable value.
IO_StepLayer Sample()
{
    IO_StepLayer s{};
    s.lastChar = 0xBEEF;
    for (int i = 0; i < IO_TEXT_MAX; ++i) s.text[i] = char16_t(0x4000 + i);
    s.text[IO_TEXT_MAX] = 0;
    s.lastKey = 0x01020304;
    s.key = -2;
    for (int k = 0; k < 256; ++k) {
        s.keyDown[k] = uint8_t(k);
        s.keyReleased[k] = uint8_t(255 - k);
        s.keyPressed[k] = uint8_t(k ^ 0x5A);
    }
    for (int d = 0; d < 5; ++d) {
        s.mouseLastButton[d] = 10 + d;
        s.mouseButton[d] = 20 + d;
        s.wheelUp[d] = uint8_t(30 + d);
        s.wheelDown[d] = uint8_t(40 + d);
    }
    for (int i = 0; i < 15; ++i) {
        s.mouseDown[i] = uint8_t(50 + i);
        s.mouseReleased[i] = uint8_t(70 + i);
        s.mousePressed[i] = uint8_t(90 + i);
    }
    s.cursorX = -1000;
    s.cursorY = 2000;
    s.mouseX = -7;
    s.mouseY = 65536;
    return s;
}

TEST(RecordFormat, FieldsFollowEachOtherWithoutPadding)
{
    std::vector<uint8_t> r = Encoded(Sample());
    ASSERT_EQ(r.size(), 2939u);
    EXPECT_EQ(U16(&r[0]), 0xBEEFu);
    EXPECT_EQ(U16(&r[2]), 0x4000u);
    EXPECT_EQ(U16(&r[2 + 2 * 1023]), 0x4000u + 1023);
    EXPECT_EQ(U16(&r[2 + 2 * 1024]), 0u);
    EXPECT_EQ(I32(&r[2052]), 0x01020304);
    EXPECT_EQ(r[2052], 0x04) << "little-endian";
    EXPECT_EQ(I32(&r[2056]), -2);
    EXPECT_EQ(r[2060 + 77], 77);          // key down
    EXPECT_EQ(r[2316 + 77], 255 - 77);    // key released
    EXPECT_EQ(r[2572 + 77], 77 ^ 0x5A);   // key pressed
    EXPECT_EQ(I32(&r[2828 + 4 * 3]), 13); // mouse_lastbutton
    EXPECT_EQ(I32(&r[2848 + 4 * 4]), 24); // mouse_button
    EXPECT_EQ(r[2868 + 14], 64);          // mouse down
    EXPECT_EQ(r[2883], 70);               // mouse released
    EXPECT_EQ(r[2898 + 1], 91);           // mouse pressed
    EXPECT_EQ(r[2913 + 2], 32);           // wheel up
    EXPECT_EQ(r[2918 + 4], 44);           // wheel down
    EXPECT_EQ(I32(&r[2923]), -1000);
    EXPECT_EQ(I32(&r[2927]), 2000);
    EXPECT_EQ(I32(&r[2931]), -7);
    EXPECT_EQ(I32(&r[2935]), 65536);
}

TEST(RecordFormat, DecodeRestoresEveryFieldAndEndsTheText)
{
    IO_StepLayer in = Sample();
    std::vector<uint8_t> r = Encoded(in);
    IO_StepLayer out{};
    IO_Record_Decode(r.data(), out);
    EXPECT_EQ(Encoded(out), r);
    EXPECT_EQ(out.deviceX[0], -7);
    EXPECT_EQ(out.deviceY[0], 65536);
    // A record whose text has no terminator still reads as a text of 1024 units.
    r[2 + 2 * 1024] = 0x41;
    IO_Record_Decode(r.data(), out);
    EXPECT_EQ(out.text[1024], 0);
}

class RecordRun : public InputFixture {
protected:
    void TearDown() override
    {
        InputFixture::TearDown();
        MEM_FREE(g_StartupOptions.recordFileName);
        g_StartupOptions.recordFileName = nullptr;
        g_StartupOptions.record = g_StartupOptions.playback = 0;
    }
    void StartWith(const std::string& file, bool record, bool playback)
    {
        IO_Shutdown();
        IO_ResetState();
        MEM_FREE(g_StartupOptions.recordFileName);
        g_StartupOptions.recordFileName = MEM_STRDUP(file.c_str());
        g_StartupOptions.record = record;
        g_StartupOptions.playback = playback;
        IO_Init();
    }
    ScratchFolder dir;
};

TEST_F(RecordRun, PlaybackReproducesEveryRecordedStepAndIgnoresTheWindow)
{
    const std::string file = dir / "input.rec";
    StartWith(file, true, false);
    ASSERT_TRUE(IO_Record_Recording());
    std::vector<std::vector<uint8_t>> recorded;
    host.cursorX = 300;
    for (int step = 0; step < 6; ++step) {
        if (step == 1) IO_OnKeyDown('A', 0, false);
        if (step == 2) IO_OnChar(u'a');
        if (step == 3) {
            IO_OnKeyUp('A', 0);
            IO_OnMouseDown(1, 0, 0);
            IO_OnMouseMove(-4, 9);
        }
        if (step == 4) {
            bool handled;
            IO_OnMouseWheelDown(0, 0, 0, &handled);
            IO_SetKeyboardString("typed");
        }
        host.cursorY = step;
        IO_Update();
        recorded.push_back(Encoded(IO_GetState().step));
    }
    IO_Shutdown();
    EXPECT_EQ(Scratch_ReadFile(file).size(), 6u * 2939u);

    StartWith(file, false, true);
    ASSERT_TRUE(IO_Record_PlayingBack());
    host.cursorX = -1;
    for (int step = 0; step < 6; ++step) {
        IO_OnKeyDown('Z', 0, false); // the window's own input does not reach the game
        IO_Update();
        EXPECT_EQ(Encoded(IO_GetState().step), recorded[step]) << "step " << step;
    }
    EXPECT_FALSE(IO_KeyPressed('Z'));
    EXPECT_EQ(IO_GetDeviceMouseX(0), -4);
    EXPECT_STREQ(IO_GetKeyboardString(), "typed");

    // Past the end: nothing more is read, pressed and released clear, the window stays out.
    IO_OnKeyDown('Y', 0, false);
    IO_Update();
    EXPECT_FALSE(IO_KeyboardCheckPressed(1));
    EXPECT_FALSE(IO_KeyboardCheckReleased(1));
    EXPECT_FALSE(IO_KeyDown('Y'));
    EXPECT_FALSE(IO_MouseWheelDown(0));
}

TEST_F(RecordRun, PlaybackWinsOverRecordingAndAShortLastRecordIsTheEnd)
{
    const std::string file = dir / "cut.rec";
    std::vector<uint8_t> one = Encoded(Sample());
    std::string bytes(one.begin(), one.end());
    Scratch_WriteFile(file, bytes + bytes.substr(0, 100));
    StartWith(file, true, true);
    EXPECT_TRUE(IO_Record_PlayingBack());
    EXPECT_FALSE(IO_Record_Recording());
    IO_Update();
    EXPECT_EQ(IO_GetLastKey(), 0x01020304);
    EXPECT_EQ(IO_GetCurrentKey(), -2) << "recorded values are kept as recorded";
    EXPECT_FALSE(IO_KeyDown(-2));
    IO_Update();
    EXPECT_EQ(IO_GetLastKey(), 0x01020304) << "the cut record is not read";
    EXPECT_EQ(Scratch_ReadFile(file).size(), 2939u + 100u) << "playback never writes";
}

TEST_F(RecordRun, FilesThatCannotBeOpenedTurnTheFeatureOff)
{
    StartWith(dir / "missing.rec", false, true);
    EXPECT_FALSE(IO_Record_PlayingBack());
    IO_Update();
    IO_OnKeyDown('A', 0, false);
    IO_Update();
    EXPECT_TRUE(IO_KeyDown('A')) << "the window's input is used";
    StartWith(dir / "no/such/folder/x.rec", true, false);
    EXPECT_FALSE(IO_Record_Recording());
    StartWith("", true, false);
    EXPECT_FALSE(IO_Record_Recording());
}

} // namespace
