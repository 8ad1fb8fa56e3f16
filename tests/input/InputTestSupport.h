// Shared set-up of the input tests: a fresh input state on the fake window host (cursor, key
// state, injected keys and Num Lock), SDL started headless for the tests that drive SDL, and
// calls of built-ins by name.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support/BuiltinTest.h"
#include "support/FakeGraphics.h"

class InputFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    FakeHost host;
};

// Starts SDL's event subsystem (and video on the offscreen driver) once for the process.
void Input_StartSDL();

// Registers the interaction and gamepad groups once for the process (the fixture does it
// first, so that the gamepad registrar's start of the pads happens before a test's own).
void Input_RegisterBuiltins();
// Calls a built-in by name (the groups registered first; the count is checked against the
// row's).
Val Input_Call(const char* name, std::initializer_list<Val> args);
