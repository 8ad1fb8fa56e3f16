// Helpers of the particle tests: a fixture over the recording graphics fake with the shape
// textures made, every particle table emptied and the random generator seeded around each
// test; calls of the particle built-ins by name; the quads drawn since the last look.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Files/Particle/Particle_Main.h"
#include "support/FakeGraphics.h"

class ParticleTest : public GraphicsFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // The live particles of a system (a copy).
    static std::vector<Particle> Live(int32_t system);
    static Particle& At(int32_t system, int32_t i) { return ParticleSystem_Get(system)->particles[i]; }
    // Vertices drawn since the last call (the batch is flushed first).
    std::vector<FakeDraw> Drawn();
};

// Calls a registered built-in by name with real arguments (registers the group once); the
// result's real.
double CallBuiltin(const char* name, std::initializer_list<double> args);

// A type that lives `life` steps, one colour, moving at speed in direction (degrees).
int32_t SimpleType(int32_t life, float speed = 0.0f, float direction = 0.0f);
