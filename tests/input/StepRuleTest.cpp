// The rule of a step, over random window input against a model of it: every press and every
// release the window reported since the last update shows in the step, so a key or button
// pressed and released within one step is pressed and released in it and not down; down is
// what is held at the update; keyboard_key and mouse_button are the held ones, else those of a
// tap in the step. Scripts' clears and keyboard_lastkey writes come in between, and the same
// steps recorded and played back show the same.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Record.h"
#include "input/InputTestSupport.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"

namespace {

// A few keys, so that presses and releases of one key meet within a step: letters, an arrow,
// Shift and its left key.
constexpr int32_t kKeys[] = {'A', 'Z', 37, 16, 160};

// What the step must show, kept as plain sets: the window's reports since the last update,
// the held keys and buttons, and the view the last update made.
struct Model {
    struct View {
        std::set<int32_t> down, pressed, released, mouseDown, mousePressed, mouseReleased;
        int32_t key = 0, lastKey = 0, button = 0, lastButton = 0;
    };
    std::set<int32_t> held, pressed, released, mouseHeld, mousePressed, mouseReleased;
    int32_t current = 0, lastKey = 0, tapKey = 0; // tapKey: the last key pressed since the update
    int32_t button = 0, lastButton = 0, tapButton = 0;
    View view;

    void KeyDown(int32_t k, bool repeat)
    {
        if (!repeat && !held.count(k)) {
            pressed.insert(k);
            tapKey = k;
        }
        held.insert(k);
        current = lastKey = k;
    }
    void KeyUp(int32_t k)
    {
        released.insert(k);
        held.erase(k);
        if (current == k) current = 0;
    }
    void MouseDown(int32_t b)
    {
        if (!mouseHeld.count(b)) {
            mousePressed.insert(b);
            tapButton = b;
        }
        mouseHeld.insert(b);
        button = lastButton = b;
    }
    void MouseUp(int32_t b)
    {
        mouseReleased.insert(b);
        mouseHeld.erase(b);
        button = 0;
    }
    void Update()
    {
        view = View{held, pressed, released, mouseHeld, mousePressed, mouseReleased,
                    current ? current : tapKey, lastKey, button ? button : tapButton, lastButton};
        pressed.clear();
        released.clear();
        mousePressed.clear();
        mouseReleased.clear();
        tapKey = tapButton = 0;
    }
    void Clear() { *this = Model(); }
    void ClearKey(int32_t k)
    {
        for (std::set<int32_t>* s : {&held, &pressed, &released, &view.down, &view.pressed, &view.released}) s->erase(k);
        if (tapKey == k) tapKey = 0;
    }
    void ClearButton(int32_t b)
    {
        for (std::set<int32_t>* s : {&mouseHeld, &mousePressed, &mouseReleased, &view.mouseDown, &view.mousePressed,
                                     &view.mouseReleased})
            s->erase(b);
        if (tapButton == b) tapButton = 0;
    }
    void SetLastKey(int32_t k)
    {
        view.lastKey = k;
        current = lastKey = tapKey = 0;
    }
};

// The step the input layer shows, in the model's terms.
Model::View Seen()
{
    Model::View v;
    for (int32_t k = 0; k < IO_KEY_COUNT; ++k) {
        if (IO_KeyDown(k)) v.down.insert(k);
        if (IO_KeyPressed(k)) v.pressed.insert(k);
        if (IO_KeyReleased(k)) v.released.insert(k);
    }
    for (int32_t b = 1; b <= IO_MOUSE_BUTTONS; ++b) {
        if (IO_MouseButtonDown(b, 0)) v.mouseDown.insert(b);
        if (IO_MouseButtonPressed(b, 0)) v.mousePressed.insert(b);
        if (IO_MouseButtonReleased(b, 0)) v.mouseReleased.insert(b);
    }
    v.key = IO_GetCurrentKey();
    v.lastKey = IO_GetLastKey();
    v.button = IO_GetMouseButton(0);
    v.lastButton = IO_GetMouseLastButton(0);
    return v;
}

std::string Shown(const Model::View& v)
{
    auto set = [](const std::set<int32_t>& s) {
        std::string out = "{";
        for (int32_t k : s) out += (out.size() > 1 ? "," : "") + std::to_string(k);
        return out + "}";
    };
    return "down " + set(v.down) + " pressed " + set(v.pressed) + " released " + set(v.released) + " key " +
           std::to_string(v.key) + " last " + std::to_string(v.lastKey) + " | mouse down " + set(v.mouseDown) +
           " pressed " + set(v.mousePressed) + " released " + set(v.mouseReleased) + " button " +
           std::to_string(v.button) + " last " + std::to_string(v.lastButton);
}

// One thing that happens between two updates: a report of the window or a script's call.
struct Op {
    enum Kind { KeyDown, KeyRepeat, KeyUp, MouseDown, MouseUp, Update, Clear, ClearKey, ClearButton, SetLastKey } kind;
    int32_t what;
};

// Random runs of steps: mostly reports of the window, a few of them a step, now and then a
// script's clear or keyboard_lastkey write.
std::vector<Op> RandomRun(std::mt19937& r, int steps)
{
    std::vector<Op> ops;
    auto pick = [&](int n) { return int32_t(r() % uint32_t(n)); };
    for (int s = 0; s < steps; ++s) {
        for (int n = pick(6); n > 0; --n) {
            const int32_t key = kKeys[pick(int(std::size(kKeys)))], b = 1 + pick(3);
            switch (pick(9)) {
            case 0:
            case 1: ops.push_back({Op::KeyDown, key}); break;
            case 2: ops.push_back({Op::KeyRepeat, key}); break;
            case 3:
            case 4: ops.push_back({Op::KeyUp, key}); break;
            case 5:
            case 6: ops.push_back({Op::MouseDown, b}); break;
            default: ops.push_back({Op::MouseUp, b}); break;
            }
            if (pick(40) == 0) {
                const Op::Kind k[] = {Op::Clear, Op::ClearKey, Op::ClearButton, Op::SetLastKey};
                const Op::Kind kind = k[pick(4)];
                ops.push_back({kind, kind == Op::ClearButton ? b : key});
            }
        }
        ops.push_back({Op::Update, 0});
    }
    return ops;
}

// Plays the run on the input layer and the model alike; after each update and each script call,
// what the step shows must be the model's view. With live false the input layer plays the
// records back (the window's reports reach only the model); live, it gives them. taps counts
// the steps with a key or button pressed and released in them and not down.
void Play(const std::vector<Op>& ops, bool live, std::vector<std::vector<uint8_t>>& records, int& taps)
{
    Model m;
    size_t step = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
        const Op& op = ops[i];
        switch (op.kind) {
        case Op::KeyDown:
        case Op::KeyRepeat:
            m.KeyDown(op.what, op.kind == Op::KeyRepeat);
            IO_OnKeyDown(op.what, 0, op.kind == Op::KeyRepeat);
            break;
        case Op::KeyUp:
            m.KeyUp(op.what);
            IO_OnKeyUp(op.what, 0);
            break;
        case Op::MouseDown:
            m.MouseDown(op.what);
            IO_OnMouseDown(op.what, 0, 0);
            break;
        case Op::MouseUp:
            m.MouseUp(op.what);
            IO_OnMouseUp(op.what, 0, 0);
            break;
        case Op::Update: {
            m.Update();
            IO_Update();
            std::vector<uint8_t> record(IO_RECORD_SIZE);
            IO_Record_Encode(IO_GetState().step, record.data());
            if (live) records.push_back(record);
            else ASSERT_EQ(record, records.at(step)) << "step " << step << " played back otherwise";
            ++step;
            auto tapped = [](const std::set<int32_t>& pressed, const std::set<int32_t>& released,
                             const std::set<int32_t>& down) {
                for (int32_t k : pressed)
                    if (released.count(k) && !down.count(k)) return 1;
                return 0;
            };
            taps += tapped(m.view.pressed, m.view.released, m.view.down) +
                    tapped(m.view.mousePressed, m.view.mouseReleased, m.view.mouseDown);
            break;
        }
        case Op::Clear:
            m.Clear();
            IO_Clear();
            break;
        case Op::ClearKey:
            m.ClearKey(op.what);
            IO_ClearKey(op.what);
            break;
        case Op::ClearButton:
            m.ClearButton(op.what);
            IO_ClearMouseButton(op.what, 0);
            break;
        case Op::SetLastKey:
            m.SetLastKey(0);
            IO_SetLastKey(0);
            break;
        }
        if (op.kind >= Op::Update) {
            ASSERT_EQ(Shown(Seen()), Shown(m.view)) << "step " << step << ", op " << i;
        }
    }
}

class StepRule : public InputFixture {
protected:
    void TearDown() override
    {
        InputFixture::TearDown();
        IO_Record_Close();
    }
    ScratchFolder dir;
};

TEST_F(StepRule, EveryPressAndReleaseSinceTheLastUpdateShowsInTheStepAndPlaysBackAlike)
{
    const uint32_t seed = Property_Seed(5806);
    SCOPED_TRACE(Property_SeedNote(seed));
    std::mt19937 r(seed);
    const std::string file = dir / "run.rec";
    int taps = 0;
    for (int run = 0; run < 200 && !HasFatalFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::vector<Op> ops = RandomRun(r, 40);
        // Every other run without the scripts' calls, recorded and played back: a played step
        // is what was recorded, and the scripts' calls change only the live layers.
        const bool recorded = run % 2 == 0;
        if (recorded) std::erase_if(ops, [](const Op& op) { return op.kind > Op::Update; });
        IO_ResetState();
        IO_Update(); // past the first update
        if (recorded) {
            ASSERT_TRUE(IO_Record_Open(file.c_str(), false));
        }
        std::vector<std::vector<uint8_t>> records;
        Play(ops, true, records, taps);
        if (!recorded) continue;
        IO_Record_Close();
        ASSERT_EQ(Scratch_ReadFile(file).size(), records.size() * IO_RECORD_SIZE);
        IO_ResetState();
        ASSERT_TRUE(IO_Record_Open(file.c_str(), true));
        int played = 0;
        Play(ops, false, records, played);
        IO_Record_Close();
    }
    EXPECT_GT(taps, 100) << "the runs hold taps within one step";
}

// Taps of each kind, one step each: the key-press and release events and the press and release
// of a button all come from these flags (the world's keyboard and mouse phases read them).
TEST_F(StepRule, ATapWithinOneStepIsPressedAndReleasedButNotDown)
{
    IO_OnKeyDown(32, 0, false);
    IO_OnKeyUp(32, 0);
    IO_OnMouseDown(3, 0, 0);
    IO_OnMouseUp(3, 0, 0);
    IO_Update();
    EXPECT_TRUE(IO_KeyboardCheckPressed(32) && IO_KeyboardCheckReleased(32) && !IO_KeyboardCheck(32));
    EXPECT_EQ(IO_GetCurrentKey(), 32) << "the key of the step's press";
    EXPECT_EQ(IO_GetLastKey(), 32);
    EXPECT_TRUE(IO_MouseCheckButtonPressed(3, 0) && IO_MouseCheckButtonReleased(3, 0) && !IO_MouseCheckButton(3, 0));
    EXPECT_EQ(IO_GetMouseButton(0), 3);
    EXPECT_EQ(IO_GetMouseLastButton(0), 3);
    IO_Update();
    EXPECT_FALSE(IO_KeyboardCheckPressed(1) || IO_KeyboardCheckReleased(1) || IO_KeyboardCheck(1));
    EXPECT_EQ(IO_GetCurrentKey(), 0);
    EXPECT_EQ(IO_GetMouseButton(0), 0);
}

} // namespace
