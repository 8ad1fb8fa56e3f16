// What the script language reaches above it: the instances and objects of the game world, and
// the scripts. Both executors, the built-in variable access and the error reporter go through
// these two tables instead of naming the modules that own the records; the owners install them
// (the instance module when it makes its first instance, the script module when it starts or
// gains a script). Until a table is installed its answers are neutral: no instance is found,
// an instance has no variables of its own, no script exists.
//
// Main thread only. Needs nothing. No Linux/ file.
#pragma once

#include <cstdint>
#include <vector>

#include "Files/Base/Value.h"

class CCode;
class CInstance;
class CVariableList;

struct CodeWorldAccess {
    // The instance's own variables (never null for an instance).
    CVariableList* (*variables)(CInstance* instance);
    int32_t (*id)(CInstance* instance);
    int32_t (*objectIndex)(CInstance* instance);
    // Neither marked for deletion nor deactivated; marked for deletion.
    bool (*isLive)(CInstance* instance);
    bool (*isMarked)(CInstance* instance);
    // The instance with that id, or null.
    CInstance* (*find)(int32_t id);
    // Appends the instances scope names, live or not, in list order: for SCOPE_ALL the current
    // room's active list; for an object index the object's own instances, then, when queued is
    // set, the instances whose change to that object waits for the step's pending pass.
    void (*instancesOf)(int32_t scope, bool queued, std::vector<CInstance*>* out);
    // The object's name ("<undefined>" for none); the index of the object with that name, or -1.
    const char* (*objectName)(int32_t object);
    int32_t (*objectFind)(const char* name);
};

struct CodeScriptAccess {
    // The index of the script with that name, or -1.
    int32_t (*find)(const char* name);
    // The script's name ("<undefined>" for none).
    const char* (*name)(int32_t index);
    // The script's compiled unit (null when it has none or does not exist); *exists tells which.
    CCode* (*code)(int32_t index, bool* exists);
    // Runs the script for self and other with argc arguments (the tree interpreter's call);
    // false for a missing script or a failed run.
    bool (*execute)(int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* result,
                    const ScriptValue* args);
};

// Installs a table (null restores the neutral one).
void Code_SetWorldAccess(const CodeWorldAccess* access);
void Code_SetScriptAccess(const CodeScriptAccess* access);
const CodeWorldAccess& Code_World();
const CodeScriptAccess& Code_Scripts();

// Shorthands the executors use.
inline CVariableList* Code_InstanceVariables(CInstance* instance)
{
    return instance ? Code_World().variables(instance) : nullptr;
}
