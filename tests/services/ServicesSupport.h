// Helpers of the services tests (physics, extensions, networking): a game-world fixture with
// the compiler, the world's built-ins and variables, fake sprites and the physics hooks, and
// a test_log(...) built-in whose calls are kept in g_ServicesLog.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Object/Instance.h"
#include "Files/World/World_Hooks.h"

#include "Files/Base/Console.h"

// Keeps the texts of the message boxes shown while it lives (answers with the default button).
class CaptureBoxes : public IMessageBoxHost {
public:
    CaptureBoxes() { MessageBox_SetHost(this); }
    ~CaptureBoxes() override { MessageBox_SetHost(nullptr); }
    int Show(const char* text, const char*, uint32_t flags) override
    {
        texts.push_back(text ? text : "");
        return MessageBox_DefaultAnswer(flags);
    }
    bool Has(const std::string& s) const
    {
        for (const std::string& t : texts)
            if (t.find(s) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> texts;
};

extern std::vector<std::string> g_ServicesLog;
std::string ServicesLogText(); // entries joined with ' '
// Registers the compiler, constants, the game built-ins and test_log once per process.
void Services_InitLanguage();

class ServicesWorldTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new object with a w x h sprite of its own (origin 0, 0).
    int32_t Obj(const char* name, int32_t spriteWidth = 16, int32_t spriteHeight = 16);
    // Makes the object a physics object: box (points of the sprite box) or circle (radius r).
    void PhysicsBox(int32_t o, float w, float h, float density, bool sensor = false);
    void PhysicsCircle(int32_t o, float r, float density);
    bool Ev(int32_t o, int32_t type, int32_t subtype, const char* code);
    // A room with a physics world of the given scale and gravity when scale > 0.
    int32_t Room(int32_t speed = 30, float scale = 0, float gx = 0, float gy = 0);
    int32_t Place(int32_t room, int32_t object, float x, float y);
    void Start();
    void Frames(int32_t n = 1);
    CInstance* First(int32_t o);
    double Get(CInstance* self, const char* variable, int32_t index = 0);
    bool Set(CInstance* self, const char* variable, double value);

    std::map<int32_t, WorldSpriteInfo> m_sprites;
    std::vector<int32_t> m_order;
};
