// The game-world fixture of the world and services tests: the whole runtime reset
// (Runtime_ResetAll) around each test; the compiler, the game, action, maths and resource
// built-ins and test_log(...) registered; fake sprites and input behind the world's hooks; objects with
// events given as source text, rooms made through the room table, instances placed in them,
// and frames run.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/World/World_Hooks.h"
#include "support/BuiltinTest.h"

// Fake sprites: index -> info; the per-pixel tests answer from the box alone unless a test
// installs its own.
extern std::map<int32_t, WorldSpriteInfo> g_FakeSprites;
// Fake input: keys and buttons held, pressed and released this step.
struct FakeInput {
    bool down[256] = {}, pressed[256] = {}, released[256] = {};
    bool mouseDown[4] = {}, mousePressed[4] = {}, mouseReleased[4] = {};
    void ClearStep();
};
extern FakeInput g_FakeInput;

// A plain sprite: size w x h, origin (ox, oy), box the whole image, frames.
WorldSpriteInfo FakeSprite(int32_t w, int32_t h, int32_t ox = 0, int32_t oy = 0, int32_t frames = 1);

// Registers the compiler, the constants, the game, action, maths and resource built-ins and
// test_log once a process.
void World_InitLanguage();

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new object (optionally with parent, sprite, depth, flags).
    int32_t Obj(const char* name, int32_t parent = -1, int32_t sprite = -1, int32_t depth = 0, bool solid = false,
                bool persistent = false);
    // Gives object o the event (type, subtype) with code; false when it does not compile.
    bool Ev(int32_t o, int32_t type, int32_t subtype, const char* code);
    // A new room (table index) of the given size and speed, appended to the room order.
    int32_t Room(int32_t w = 640, int32_t h = 480, int32_t speed = 1000000);
    // An instance record of the room's entry; returns its id.
    int32_t Place(int32_t room, int32_t object, float x, float y, const char* creationCode = nullptr);
    // Links parents, builds the lists and starts the game.
    void Start();
    // n frames (steps and room switches); the fake input's presses and releases last a frame.
    void Frames(int32_t n = 1);
    CInstance* Inst(int32_t id) { return Instance_Find(id); }
    // The first live instance of object o in the current room.
    CInstance* First(int32_t o);
    // A built-in variable of an instance (-99999 when it cannot be read), and setting one.
    double Get(CInstance* self, const char* variable, int32_t index = 0);
    bool Set(CInstance* self, const char* variable, double value);

    std::vector<int32_t> m_order;
};
