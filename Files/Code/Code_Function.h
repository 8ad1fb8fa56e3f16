// The built-in function table: one row per built-in ZBL function, registered by name at
// start-up by the library registrars. A row's index is its function id; rows are never
// removed or reordered. Function ids form one number space: 0..99999 rows of this table,
// 100000 + n script n, 500000 + n extension function n.
//
// Also the relative flag of the drag-and-drop actions (argument_relative).
// Needs: the script table (names), the extension functions (through hooks, below).
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

class CInstance;

constexpr int32_t FUNCTION_SCRIPT_BASE = 100000;
constexpr int32_t FUNCTION_EXTENSION_BASE = 500000;

// Every built-in: writes its result into result (which arrives as real 0), for self and
// other, with argc arguments (argument 0 first). The arguments belong to the caller.
using BuiltinRoutine = void (*)(ScriptValue* result, CInstance* self, CInstance* other, int32_t argc,
                                ScriptValue* args);

struct BuiltinFunction {
    char name[64];      // at most 63 characters, terminated
    BuiltinRoutine f;
    int32_t argCount;   // -1 = any number
    int32_t calls;      // -1 when added; counted by the tree interpreter
};

// Appends a row (the table grows by 500 rows when full). flag is kept for the registrars that
// pass one; it has no effect.
void Function_Add(const char* name, BuiltinRoutine f, int32_t argCount, bool flag = false);
// The row of index, or null outside the rows in use.
const BuiltinFunction* Function_Get(int32_t index);
BuiltinFunction* Function_Row(int32_t index);
int32_t Function_Count();
int32_t Function_Capacity();
// Script (exact name) -> index + 100000; else extension function -> index + 500000; else the
// first row of that exact name. id is -1 when not found.
bool Code_Function_Find(const char* name, int32_t* id);
// Extension ids: the extension's count; scripts: -1 (any number); outside the table: -100;
// otherwise the row's count.
int32_t Function_GetArgCount(int32_t id);
// The name of a function id (a row, a script or an extension function), "<unknown>" else.
const char* Function_GetName(int32_t id);
bool Function_GetRelative();
bool Function_SetRelative(int32_t value);
// Writes "%s    %d\n" for each row called through the tree interpreter, most calls first, to
// the log console, and marks each written row -1.
void Function_DumpUsage();
void Function_Free();

// The extension packages' side of function ids. The extension module installs these; until
// then there are no extension functions.
struct ExtensionHooks {
    int32_t (*find)(const char* name);             // id or -1
    int32_t (*getArgCount)(int32_t id);            // -100 when unknown
    const char* (*getName)(int32_t id);            // null when unknown
    int32_t (*count)();                            // number of extension functions
    // Calls a function backed by an external library (argument values and result as for a
    // built-in); false for any other index or kind of function.
    bool (*callDLL)(int32_t index, int32_t argc, ScriptValue* args, ScriptValue* result);
    // Calls any extension function for self and other (library or ZBL code); false for an
    // index outside the table or a call that failed (its error text is then set). Both
    // executors call through this one.
    bool (*call)(int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* args,
                 ScriptValue* result);
};
void Function_SetExtensionHooks(const ExtensionHooks* hooks);
const ExtensionHooks* Function_GetExtensionHooks();
