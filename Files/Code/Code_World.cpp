// The script language's tables of the world and the scripts, with their neutral answers
// (Files/Code/Code_World.h).
#include "Files/Code/Code_World.h"

#include "Platform/NameIndex.h"

namespace {

const CodeWorldAccess kNoWorld = {
    [](CInstance*) -> CVariableList* { return nullptr; },
    [](CInstance*) { return int32_t(0); },
    [](CInstance*) { return int32_t(-1); },
    [](CInstance*) { return false; },
    [](CInstance*) { return false; },
    [](int32_t) -> CInstance* { return nullptr; },
    [](int32_t, bool, std::vector<CInstance*>*) {},
    [](int32_t) { return "<undefined>"; },
    [](const char*) { return int32_t(-1); },
};

const CodeScriptAccess kNoScripts = {
    [](const char*) { return int32_t(-1); },
    [](int32_t) -> const char* { return "<undefined>"; },
    [](int32_t, bool* exists) -> CCode* {
        *exists = false;
        return nullptr;
    },
    [](int32_t, CInstance*, CInstance*, int32_t, ScriptValue*, const ScriptValue*) { return false; },
};

const CodeWorldAccess* g_world = &kNoWorld;
const CodeScriptAccess* g_scripts = &kNoScripts;

} // namespace

// A new table answers name look-ups (objects, scripts) of its own: units compiled before may
// resolve differently.
void Code_SetWorldAccess(const CodeWorldAccess* access)
{
    const CodeWorldAccess* next = access ? access : &kNoWorld;
    if (next != g_world) NameGeneration::Advance();
    g_world = next;
}
void Code_SetScriptAccess(const CodeScriptAccess* access)
{
    const CodeScriptAccess* next = access ? access : &kNoScripts;
    if (next != g_scripts) NameGeneration::Advance();
    g_scripts = next;
}
const CodeWorldAccess& Code_World() { return *g_world; }
const CodeScriptAccess& Code_Scripts() { return *g_scripts; }
