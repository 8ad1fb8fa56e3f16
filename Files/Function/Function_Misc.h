// The "Misc.." group of built-in functions: direct event calls (event_perform, event_user,
// event_perform_object, event_inherited), external calls (external_define*, external_call*,
// external_free), executed code (execute_string, execute_file), variables by name
// (variable_global_*, variable_local_*), then the dates (Function_Date.h) and the program,
// window and clipboard built-ins (Function_Program.h).
#pragma once

#include <cstdint>

class CInstance;

// Registers the group through Function_Add: the event built-ins first; then, unless
// forbidExternalCode is set, the external and execute built-ins; then the rest.
// InitFunctions_Misc (the start-up's registrar, Runner_Services.h) registers everything:
// header bit 0x1000 is the Steam switch, not a ban on external code (docs/decisions.md), and
// nothing else asks for the ban.
void Function_Misc_Init(bool forbidExternalCode = false);

// The game world's event dispatch, as the event built-ins use it. The world installs these at
// start-up; until then the event built-ins do nothing.
struct EventDispatchHooks {
    // PerformEvent: runs the event (type, number) of the object (found through its parents)
    // for self and other.
    void (*perform)(CInstance* self, CInstance* other, int32_t object, int32_t type, int32_t number);
    // The event being run: its object index, type and number (object -1 when none runs).
    void (*current)(int32_t* object, int32_t* type, int32_t* number);
};
void Function_Misc_SetEventHooks(const EventDispatchHooks* hooks);

// Forgets the compiled texts kept by execute_string and execute_file (shutdown, tests).
void Function_Misc_FreeExecuteCache();
// Texts execute_string and execute_file have compiled so far (those reused not counted).
int64_t Function_Misc_ExecuteCompiles();
