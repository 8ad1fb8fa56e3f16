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

// What a step must show of the keys or of the mouse's buttons, kept as plain sets: the
// window's reports since the last update, what is held, and the view the last update made.
// Keys and buttons differ in one thing: any release of a button leaves none current (the
// mouse_button of a held one), a key's only its own.
struct Switches {
    struct View {
        std::set<int32_t> down, pressed, released;
        int32_t current = 0, last = 0;
    };
    explicit Switches(bool anyRelease) : anyReleaseEndsCurrent(anyRelease) {}
    bool anyReleaseEndsCurrent;
    std::set<int32_t> held, pressed, released;
    int32_t current = 0, last = 0, tapped = 0; // tapped: the last one pressed since the update
    View view;

    void Down(int32_t k, bool repeat)
    {
        if (!repeat && !held.count(k)) {
            pressed.insert(k);
            tapped = k;
        }
        held.insert(k);
        current = last = k;
    }
    void Up(int32_t k)
    {
        released.insert(k);
        held.erase(k);
        if (current == k || anyReleaseEndsCurrent) current = 0;
    }
    void Update()
    {
        view = View{held, pressed, released, current ? current : tapped, last};
        pressed.clear();
        released.clear();
        tapped = 0;
    }
    void Clear() { *this = Switches(anyReleaseEndsCurrent); }
    void Forget(int32_t k)
    {
        for (std::set<int32_t>* s : {&held, &pressed, &released, &view.down, &view.pressed, &view.released}) s->erase(k);
        if (tapped == k) tapped = 0;
    }
    // keyboard_lastkey set: the keys reported are forgotten as current and last.
    void SetLast(int32_t k)
    {
        view.last = k;
        current = last = tapped = 0;
    }
};

struct Model {
    Switches keys{false}, buttons{true};
};

// The step the input layer shows, in the model's terms.
Model Seen()
{
    Model m;
    for (int32_t k = 0; k < IO_KEY_COUNT; ++k) {
        if (IO_KeyDown(k)) m.keys.view.down.insert(k);
        if (IO_KeyPressed(k)) m.keys.view.pressed.insert(k);
        if (IO_KeyReleased(k)) m.keys.view.released.insert(k);
    }
    for (int32_t b = 1; b <= IO_MOUSE_BUTTONS; ++b) {
        if (IO_MouseButtonDown(b, 0)) m.buttons.view.down.insert(b);
        if (IO_MouseButtonPressed(b, 0)) m.buttons.view.pressed.insert(b);
        if (IO_MouseButtonReleased(b, 0)) m.buttons.view.released.insert(b);
    }
    m.keys.view.current = IO_GetCurrentKey();
    m.keys.view.last = IO_GetLastKey();
    m.buttons.view.current = IO_GetMouseButton(0);
    m.buttons.view.last = IO_GetMouseLastButton(0);
    return m;
}

std::string Shown(const Model& m)
{
    auto view = [](const Switches::View& v) {
        std::string out;
        for (const auto& [name, set] : {std::pair{"down", &v.down}, {"pressed", &v.pressed}, {"released", &v.released}}) {
            out += std::string(name) + " {";
            for (int32_t k : *set) out += std::to_string(k) + " ";
            out += "} ";
        }
        return out + "current " + std::to_string(v.current) + " last " + std::to_string(v.last);
    };
    return "keys: " + view(m.keys.view) + " | buttons: " + view(m.buttons.view);
}

// A step that shows a key or button pressed and released in it and not down.
bool Tapped(const Switches::View& v)
{
    for (int32_t k : v.pressed)
        if (v.released.count(k) && !v.down.count(k)) return true;
    return false;
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
            m.keys.Down(op.what, op.kind == Op::KeyRepeat);
            IO_OnKeyDown(op.what, 0, op.kind == Op::KeyRepeat);
            break;
        case Op::KeyUp:
            m.keys.Up(op.what);
            IO_OnKeyUp(op.what, 0);
            break;
        case Op::MouseDown:
            m.buttons.Down(op.what, false);
            IO_OnMouseDown(op.what, 0, 0);
            break;
        case Op::MouseUp:
            m.buttons.Up(op.what);
            IO_OnMouseUp(op.what, 0, 0);
            break;
        case Op::Update: {
            m.keys.Update();
            m.buttons.Update();
            IO_Update();
            std::vector<uint8_t> record(IO_RECORD_SIZE);
            IO_Record_Encode(IO_GetState().step, record.data());
            if (live) records.push_back(record);
            else ASSERT_EQ(record, records.at(step)) << "step " << step << " played back otherwise";
            ++step;
            taps += Tapped(m.keys.view) + Tapped(m.buttons.view);
            break;
        }
        case Op::Clear:
            m.keys.Clear();
            m.buttons.Clear();
            IO_Clear();
            break;
        case Op::ClearKey:
            m.keys.Forget(op.what);
            IO_ClearKey(op.what);
            break;
        case Op::ClearButton:
            m.buttons.Forget(op.what);
            IO_ClearMouseButton(op.what, 0);
            break;
        case Op::SetLastKey:
            m.keys.SetLast(0);
            IO_SetLastKey(0);
            break;
        }
        if (op.kind >= Op::Update) {
            ASSERT_EQ(Shown(Seen()), Shown(m)) << "step " << step << ", op " << i;
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

} // namespace
