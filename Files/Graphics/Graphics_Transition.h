// Room transition settings. No transition is ever played between rooms (the transition_kind
// variable always reads 0); the settings are kept so that games which make them run
// unchanged: a table binding transition kinds to callable functions (transition_define), the
// built-in kinds 1..21 (transition_exists) and the step count (transition_steps).
//
// Needs: the built-in function table (Code_Function_Find), the run state (which keeps the step
// count). No Linux/ file.
#pragma once

#include <cstdint>

// Looks the name up as a callable function (script, extension function or built-in) and,
// when found, stores it for the kind; false (nothing stored) when the name is unknown.
bool GR_Transition_Define(int32_t kind, const char* name);
// Stores a function id and a copy of its name for 0 < kind < 1000000 (other kinds: nothing).
void GR_Transition_Store(int32_t kind, const char* name, int32_t functionId);
// True for the built-in kinds 1..21; any other kind logs "TransFunctionExists()".
bool TransFunctionExists(int32_t kind);
void GR_Transition_SetSteps(int32_t n); // below 1 counts as 1
int32_t GR_Transition_GetSteps();
// The stored definition of a kind (tests): function id (-1 none) and name (null none).
int32_t GR_Transition_FunctionId(int32_t kind);
const char* GR_Transition_FunctionName(int32_t kind);
// Forgets every definition and sets the step count back to 80 (shutdown, tests).
void GR_Transition_Reset();
// Registers transition_define and transition_exists.
void GR_Transition_RegisterBuiltins();
