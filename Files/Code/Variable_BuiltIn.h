// Built-in variables and variable access by scope.
//
// The built-in variable table: at most 500 rows, each a name, a getter, a setter (null for a
// read-only row) and a settable flag; a row's index is its variable id. The rows are
// registered at start-up by the game world (instance rows, then game rows); the argument rows
// are registered from here (Variable_BuiltIn_RegisterArguments).
//
// Also here: the global variables (one program-wide list) with the globalvar declarations,
// the per-instance access that splits built-in ids (below 10000) from user ids, and the
// resolution of the scopes all (-3), object index (0..99999) and instance id (100000 and up).
// The scopes self, other, global, plain name and local are resolved by the executors.
//
// Needs: the instance (Files/Object/Instance.h), the object table (Files/Object/Object.h), the
// current room's active instance list and pending object changes (Files/World/World_State.h).
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

class CInstance;
class CVariableList;
class IBuffer;

constexpr int32_t BUILTIN_VARIABLE_MAX = 500;

// Scope values that code carries. ORDER: byte code and the built-in constants self, other,
// all, noone, global and local hold these numbers.
enum : int32_t {
    SCOPE_SELF = -1,
    SCOPE_OTHER = -2,
    SCOPE_ALL = -3,
    SCOPE_NOONE = -4,
    SCOPE_GLOBAL = -5,
    SCOPE_PLAIN = -6, // a name without scope: global when declared globalvar, else self
    SCOPE_LOCAL = -7,
    SCOPE_INSTANCE_BASE = 100000, // scopes from here on are instance ids; below, object indexes
};

// The scope that an instance id written as an offset names (byte code's instance form: 100000
// added to the scope of the word or of the stack), in the machine's 32-bit arithmetic: an offset
// from the stack within 100000 of the integer limit wraps to a negative scope, which names no
// instance, as it always did on the 32-bit machine.
constexpr int32_t Scope_FromInstanceOffset(int32_t offset)
{
    return int32_t(uint32_t(offset) + uint32_t(SCOPE_INSTANCE_BASE));
}

// Getter: fills out (which arrives as real 0 without text) for self and the array index;
// true on success. Setter: takes a copy of value; true on success.
using BuiltinVariableGetter = bool (*)(CInstance* self, int32_t index, ScriptValue* out);
using BuiltinVariableSetter = bool (*)(CInstance* self, int32_t index, ScriptValue* value);

struct BuiltinVariable {
    char* name; // owned copy
    BuiltinVariableGetter get;
    BuiltinVariableSetter set; // null for a read-only row
    uint8_t settable;          // writes are refused when 0, and when there is no setter
};

// Empties the table (all 500 rows). The game world's registrars fill it afterwards, once, at
// start-up.
void Variable_BuiltIn_Init();
// Appends a row; a 501st is refused with "INTERNAL ERROR: Adding too many variables".
void RegisterBuiltinVariable(const char* name, BuiltinVariableGetter get, BuiltinVariableSetter set,
                             bool settable);
// The index of the first row named exactly name; -1 when none.
int32_t Variable_BuiltIn_Find(const char* name);
// The row's name, "<unknown built-in variable>" outside the rows in use.
const char* Variable_BuiltIn_GetName(int32_t id);
int32_t Variable_BuiltIn_Count();
// The row of id, or null outside the rows in use.
const BuiltinVariable* Variable_BuiltIn_Row(int32_t id);
// All 500 rows (unused ones empty: no getter, no setter), for the machine's direct reads.
extern BuiltinVariable g_BuiltinVariableRows[BUILTIN_VARIABLE_MAX];

// The rows of the script arguments, in this order: argument_relative, argument, argument0 to
// argument15, argument_count (the first rows of the game variables).
void Variable_BuiltIn_RegisterArguments();

// True for the rows that read or write the running script's arguments (argument,
// argument0..15, argument_count): the byte-code machine gives the script's arguments to the
// argument slots before such a row is reached.
bool Variable_BuiltIn_IsArgumentRow(int32_t id);

// Globals.
void Variable_Global_Init();
CVariableList* Variable_Global_List();
bool Variable_Global_Get(int32_t id, int32_t index, ScriptValue* out);
bool Variable_Global_Set(int32_t id, int32_t index, const ScriptValue* value);
void Variable_Global_Declare(int32_t id);
bool Variable_Global_IsDeclared(int32_t id);
// Counts every change that may turn a name into a declared global (a declaration, a restored
// game, a new table); the machine caches "not declared" per instruction against it.
extern uint32_t g_VariableDeclarations;
// The length of the declaration array (10000 at start, grows by 1000).
int32_t Variable_Global_DeclaredLength();
void Variable_Global_Serialise(IBuffer* buffer);
// Reads and commits the saved globals; false (the globals unchanged) when the saved data is
// malformed.
bool Variable_Global_DeSerialise(IBuffer* buffer);
// The two halves of that read, for a caller that commits several parts together: the saved
// list and declarations read aside (every length bounded by the bytes left), then made the
// globals (or freed).
struct SavedGlobals {
    CVariableList* list = nullptr; // owned
    uint8_t* declared = nullptr;   // owned, length bytes
    int32_t length = 0;
};
bool Variable_Global_ReadSaved(IBuffer* buffer, SavedGlobals* out);
void Variable_Global_CommitSaved(SavedGlobals* saved);
void Variable_Global_FreeSaved(SavedGlobals* saved);

// Per-instance access: ids below 10000 go to the built-in row (its getter, or its setter when
// the row is settable and has one); other ids to the instance's own list. A null instance, and
// a built-in id beyond the rows in use, fail.
bool Variable_Local_Get(CInstance* instance, int32_t id, int32_t index, ScriptValue* out);
bool Variable_Local_Set(CInstance* instance, int32_t id, int32_t index, const ScriptValue* value);

// Access through the scopes all, object index and instance id. A read that reaches no
// instance fails; a write that reaches none succeeds (nothing written); other negative scopes
// fail both ways.
bool Variable_Scope_Get(int32_t scope, int32_t id, int32_t index, ScriptValue* out);
bool Variable_Scope_Set(int32_t scope, int32_t id, int32_t index, const ScriptValue* value);
// Where the value of user variable id at index lies when a read and a write through scope
// both reach it and only it: self's, other's or the global one (a plain name: the global one
// when declared globalvar), an instance id's that is not marked for deletion, or that of the
// one live instance of an object or of all. Null when the variable or element does not exist,
// for built-in ids, local, noone and a scope that reaches no instance or several. Both
// executors append to a string there in place (see Value_SumStore).
ScriptValue* Variable_Scope_Storage(CInstance* self, CInstance* other, int32_t scope, int32_t id, int32_t index);

// Shutdown: names, globals and declarations freed.
void Variable_Free();
