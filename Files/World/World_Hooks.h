// What the game world needs of the modules above it (sprites and their collision masks,
// backgrounds, surfaces, particle systems, input, physics, the services of sockets, Steam,
// online services and extension packages), as one table of hooks that the start-up's wiring
// fills (Files/Runner/Runner_Wiring.h). Until a module fills its part the world sees neutral answers:
// no sprite or background exists (so bounding boxes are empty and collide with nothing), no
// key or button is down, no particle system draws, no physics world is made. Tests fill the
// table with fakes.
//
// Needs nothing. No Linux/ file.
#pragma once

#include <cstdint>

// What the world reads of a sprite (sizes and boxes in sprite pixels, edges inclusive).
struct WorldSpriteInfo {
    int32_t width, height;
    int32_t xorigin, yorigin;
    int32_t bboxLeft, bboxTop, bboxRight, bboxBottom;
    int32_t frames;   // 0 = no frames
    uint8_t precise;  // per-pixel collision mask
};

// One instance's placement for the per-pixel tests.
struct WorldMaskPlacement {
    int32_t sprite, frame;
    int32_t bboxLeft, bboxTop, bboxRight, bboxBottom;
    int32_t x, y; // rounded position
    float xscale, yscale, angle;
};

// A physics fixture as the world builds it from an object (world units).
struct WorldPhysicsFixture {
    int32_t shape;      // 0 none, 1 circle, 2 polygon
    float radius;
    int32_t pointCount; // at most 8
    float points[16];
    float density, restitution, friction, linearDamping, angularDamping;
    int32_t collisionGroup;
    uint8_t sensor, awake, kinematic;
};

class CInstance;

struct WorldHooks {
    // ---- Sprites ----
    // Fills info and answers true when the sprite exists.
    bool (*spriteInfo)(int32_t sprite, WorldSpriteInfo* info) = nullptr;
    void (*spriteDraw)(int32_t sprite, int32_t frame, float x, float y, float xscale, float yscale,
                       float angle, uint32_t blend, float alpha) = nullptr;
    const char* (*spriteName)(int32_t sprite) = nullptr; // null for none
    void (*spriteDrawSimple)(int32_t sprite, int32_t frame, float x, float y) = nullptr;
    // Per-pixel mask tests, asked only after the bounding boxes met.
    bool (*maskPoint)(const WorldMaskPlacement* p, int32_t x, int32_t y) = nullptr;
    bool (*maskRectangle)(const WorldMaskPlacement* p, int32_t l, int32_t t, int32_t r, int32_t b) = nullptr;
    bool (*maskEllipse)(const WorldMaskPlacement* p, int32_t l, int32_t t, int32_t r, int32_t b) = nullptr;
    bool (*maskLine)(const WorldMaskPlacement* p, int32_t x1, int32_t y1, int32_t x2, int32_t y2) = nullptr;
    bool (*maskSprite)(const WorldMaskPlacement* a, const WorldMaskPlacement* b) = nullptr;
    // ---- Backgrounds ----
    bool (*backgroundSize)(int32_t background, int32_t* width, int32_t* height) = nullptr;
    void (*backgroundDrawTiled)(int32_t background, float x, float y, float xscale, float yscale,
                                bool htiled, bool vtiled, float left, float top, float width,
                                float height, uint32_t blend, float alpha) = nullptr;
    void (*backgroundDrawPart)(int32_t background, float left, float top, float width, float height,
                               float x, float y, float xscale, float yscale, uint32_t blend,
                               float alpha) = nullptr;
    // ---- Surfaces ----
    bool (*surfaceExists)(int32_t id) = nullptr;
    void* (*surfaceTexture)(int32_t id) = nullptr; // the texture record to draw a view into
    // A line strip of n points (x, y pairs) in the drawing colour (path drawing).
    void (*drawLineStrip)(const float* xy, int32_t n) = nullptr;
    // ---- Particles ----
    float (*particleMaxDepth)() = nullptr;            // -1e8 or less: none
    float (*particleNextDepthBelow)(float depth) = nullptr;
    void (*particleDrawAtDepth)(float depth) = nullptr;
    void (*particleUpdateAll)() = nullptr;
    void (*effectClear)() = nullptr;
    void (*particleResetAll)() = nullptr;             // game restart: every system and type goes
    // ---- Input ----
    void (*inputUpdate)() = nullptr;                 // once a step, before the events
    void (*inputClear)() = nullptr;                  // room start and after errors
    bool (*keyDown)(int32_t key) = nullptr;          // 0..255: held
    bool (*keyPressed)(int32_t key) = nullptr;       // pressed this step
    bool (*keyReleased)(int32_t key) = nullptr;      // released this step
    bool (*mouseDown)(int32_t button) = nullptr;     // 1 left, 2 right, 3 middle (device 0)
    bool (*mousePressed)(int32_t button) = nullptr;
    bool (*mouseReleased)(int32_t button) = nullptr;
    bool (*wheelUp)() = nullptr;
    bool (*wheelDown)() = nullptr;
    void (*joystickFireEvents)() = nullptr;
    void (*virtualButtonsClear)() = nullptr;
    void (*virtualButtonsDraw)() = nullptr;
    // The variables of the input state (keyboard_*, mouse_button, mouse_lastbutton).
    int32_t (*getCurrentKey)() = nullptr;
    int32_t (*getLastKey)() = nullptr;
    void (*setCurrentKey)(int32_t key) = nullptr;
    void (*setLastKey)(int32_t key) = nullptr;
    uint32_t (*getLastChar)() = nullptr;
    void (*setLastChar)(uint32_t ch) = nullptr;
    const char* (*getKeyboardString)() = nullptr;
    void (*setKeyboardString)(const char* text) = nullptr;
    int32_t (*getMouseButton)() = nullptr;
    int32_t (*getMouseLastButton)() = nullptr;
    void (*setMouseButton)(int32_t button) = nullptr;
    void (*setMouseLastButton)(int32_t button) = nullptr;
    // ---- Services: sockets, Steam, online services, extension packages ----
    void (*servicesStep)() = nullptr;   // once a step after the input: the online services' queue
    void (*servicesPoll)() = nullptr;   // after the begin-step events: sockets, then Steam callbacks
    void (*servicesAsync)() = nullptr;  // first in the asynchronous phase: purchases, queued callbacks
    bool (*extensionsStart)() = nullptr; // game start: initialisation functions; false stops the start
    bool (*extensionsEnd)() = nullptr;   // game end: finalisation functions; true when a package had any
    // ---- Physics ----
    // Binds a fixture to the instance in the room's world (creating its body).
    void (*physicsBindFixture)(void* world, const WorldPhysicsFixture* fixture, CInstance* instance) = nullptr;
    void* (*physicsCreateWorld)(float pixelsToMetres, int32_t speed, float gx, float gy) = nullptr;
    void* (*physicsCopyWorld)(void* world) = nullptr;
    void (*physicsDeleteWorld)(void* world) = nullptr;
    void (*physicsStep)(void* world, int32_t speed, bool anyPath) = nullptr;
    void (*physicsRemoveBody)(CInstance* instance) = nullptr;
    float (*physicsScale)(void* world) = nullptr; // pixels to world units
    // ---- Audio ----
    void (*audioUpdate)() = nullptr; // once per frame, before the step
    // ---- Game end ----
    void (*motionGridsFree)() = nullptr; // every motion-planning grid (Files/Motion)
};

WorldHooks& World_Hooks();

// Sprite facts through the hooks; false when the sprite does not exist.
bool World_SpriteInfo(int32_t sprite, WorldSpriteInfo* info);
bool World_SpriteExists(int32_t sprite);
bool World_BackgroundSize(int32_t background, int32_t* width, int32_t* height);
