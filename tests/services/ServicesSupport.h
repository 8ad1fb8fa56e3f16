// Helpers of the services tests (physics, extensions, networking): the game-world fixture
// (tests/support/GameWorld.h) with the services' and the physics hooks, a clock that runs
// frames at once, objects with sprites of their own and physics shapes, and rooms with a
// physics world.
#pragma once

#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "support/CaptureConsole.h"
#include "support/GameWorld.h"

class ServicesWorldTest : public WorldTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new visible object with a w x h sprite of its own (origin 0, 0).
    int32_t Obj(const char* name, int32_t spriteWidth = 16, int32_t spriteHeight = 16);
    // Makes the object a physics object: box (points of the sprite box) or circle (radius r).
    void PhysicsBox(int32_t o, float w, float h, float density, bool sensor = false);
    void PhysicsCircle(int32_t o, float r, float density);
    // A 640 x 480 room with a physics world of the given scale and gravity when scale > 0.
    int32_t Room(int32_t speed = 30, float scale = 0, float gx = 0, float gy = 0);
    int32_t Place(int32_t room, int32_t object, float x, float y) { return WorldTest::Place(room, object, x, y); }
};
