// Named constants of ZBL: the built-in constants registered at start-up (scopes, colours,
// keys, event numbers...), the constants the game defines (names and value texts from the
// game's options), and the names of the game's resources, which the compiler also treats as
// constants. Name resolution asks Code_Constant_FindResource about every word that is not a
// call.
//
// The table keeps every entry (a later entry of the same name shadows an earlier one); hash
// indexes give the newest entry of a name directly, exact and case-blind.
//
// Resource names are looked up through finders that the resource modules install
// (Code_Constant_SetResourceFinder); objects and scripts are asked directly.
// Needs: the object table, the script table, the compiler (value texts of game constants),
// the message box.
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

void Code_Constant_Add(const char* name, const ScriptValue* value);
void Code_Constant_AddReal(const char* name, double real);
void Code_Constant_AddString(const char* name, const char* text);
// Not empty, a letter or "_" first, then letters, digits and "_".
bool Code_Constant_IsValidName(const char* name);
// Trims the text (bytes below 33 at both ends); a valid name is added with the value real 0
// and true returned; otherwise "Constant name <name>  is not valid." is shown and false
// returned.
bool Code_Constant_CheckName(const char* text);
// Defines the game's constants in order: each name is checked (the first invalid one stops
// with false) and then takes the value of its value text compiled as an expression (an
// empty or absent text, or one that is not a constant expression, leaves 0; the reason is
// logged). Entries with a null name are skipped.
bool Code_Constant_DefineGame(int32_t count, const char* const* names, const char* const* values);
// The start-up step: Code_Constant_DefineGame over the list the game options hand over
// through Code_Constant_SetGameSource (none: nothing to define, true).
bool Code_Constant_Prepare();
using GameConstantSource = void (*)(int32_t* count, const char* const** names, const char* const** values);
void Code_Constant_SetGameSource(GameConstantSource source);

// Resources first (objects, sprites, sounds, audio, backgrounds, paths, fonts, time lines,
// scripts, rooms: the first index of 0 or more, as a real), then the table, newest first,
// exact comparison. out receives a copy (its old text freed).
bool Code_Constant_FindResource(const char* name, ScriptValue* out);
// The newest constant whose name matches without regard to case, or null.
const ScriptValue* Code_Constant_Find(const char* name);
int32_t Code_Constant_Count();
// The entry of that index in the order added (null outside the table).
const char* Code_Constant_NameAt(int32_t index);
const ScriptValue* Code_Constant_ValueAt(int32_t index);

// The resource kinds asked by Code_Constant_FindResource, in the order asked.
enum ResourceKind : int32_t {
    RESOURCE_OBJECT,
    RESOURCE_SPRITE,
    RESOURCE_SOUND,
    RESOURCE_AUDIO,
    RESOURCE_BACKGROUND,
    RESOURCE_PATH,
    RESOURCE_FONT,
    RESOURCE_TIMELINE,
    RESOURCE_SCRIPT,
    RESOURCE_ROOM,
    RESOURCE_KIND_COUNT
};
// Index of the resource of that name, -1 when none.
using ResourceFinder = int32_t (*)(const char* name);
// Installs the finder of one kind (null: the default, which knows objects and scripts
// through their tables and nothing of the other kinds).
void Code_Constant_SetResourceFinder(ResourceKind kind, ResourceFinder finder);

// Registers the built-in constants in their order (start-up; the runner then has the online
// services add theirs: OnlineServices_RegisterConstants).
void Code_Constant_RegisterBuiltins();
// Start-up entry: the built-in constants.
void Code_Constant_Init();
void Code_Constant_Free();
