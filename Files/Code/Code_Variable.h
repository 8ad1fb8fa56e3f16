// The variable-name table: every user variable name of the game gets one id, 100000 plus its
// index, the first time any code names it (the loader binding the game's variable names, the
// compiler, the variable built-ins). Built-in variables keep their table index (0 to 499).
// Names are never removed during a run. Shared by the compiler, the loader, both executors,
// the error reporter and saved games.
#pragma once

#include <cstdint>

constexpr int32_t VARIABLE_USER_BASE = 100000; // first user variable id
constexpr int32_t VARIABLE_BUILTIN_LIMIT = 10000; // ids below this go to the built-in table

// The built-in variable index of name, else the user id (added when new).
int32_t Code_Variable_Find(const char* name);
// The user id of name (exact, case-sensitive), appended when new. -1 for a null name.
int32_t Code_Variable_FindOrAdd(const char* name);
// The user id of name, or -1 when the table does not hold it.
int32_t Code_Variable_FindUser(const char* name);
// The name of a user id, or "<unknown variable>".
const char* Code_Variable_GetUserName(int32_t id);
// Below 100000 the built-in variable's name, else as Code_Variable_GetUserName.
const char* Code_Variable_GetName(int32_t id);
// The number of user names (the debugger reads the table).
int32_t Code_Variable_Count();
// Empties the table (game end, tests).
void Code_Variable_Free();
