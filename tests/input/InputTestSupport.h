// Shared set-up of the input tests: a fresh input state on the fake window host (cursor, key
// state, injected keys and Num Lock), SDL started headless for the tests that drive SDL, and
// calls of built-ins through the function table.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "Files/Base/Value.h"
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
// Calls a built-in by name with real
// arguments (the count is checked against the row's).
ScriptValue Input_Call(const char* name, std::initializer_list<double> args);
// The same with the arguments as given.
ScriptValue Input_CallValues(const char* name, ScriptValue* args, int32_t argc);
// The text of a string result ("" for null), released afterwards.
std::string Input_Text(ScriptValue value);
