// The built-in function table (Files/Code/Code_Function.h).
#include "Files/Code/Code_Function.h"

#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Code/Code_World.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {

BuiltinFunction* g_rows = nullptr;
// Name -> first row of that name (lookups by name are constant-time; the first row wins).
NameIndex g_byName;
int32_t g_count = 0;
int32_t g_capacity = 0;
bool g_relative = false;

constexpr int32_t kGrowth = 500;

int32_t NoFind(const char*) { return -1; }
int32_t NoArgCount(int32_t) { return -100; }
const char* NoName(int32_t) { return nullptr; }
int32_t NoCount() { return 0; }
bool NoCall(int32_t, int32_t, ScriptValue*, ScriptValue*) { return false; }
bool LibraryOnly(int32_t index, CInstance*, CInstance*, int32_t argc, ScriptValue* args, ScriptValue* result);

constexpr ExtensionHooks g_noExtensions = {NoFind, NoArgCount, NoName, NoCount, NoCall, LibraryOnly};
ExtensionHooks g_extensions = g_noExtensions;

// A table without the full call reaches its library functions only.
bool LibraryOnly(int32_t index, CInstance*, CInstance*, int32_t argc, ScriptValue* args, ScriptValue* result)
{
    return g_extensions.callDLL && g_extensions.callDLL(index, argc, args, result);
}

} // namespace

void Function_SetExtensionHooks(const ExtensionHooks* hooks)
{
    g_extensions = hooks ? *hooks : g_noExtensions;
    if (!g_extensions.call) g_extensions.call = LibraryOnly;
    NameGeneration::Advance(); // extension function names resolve through the new hooks
}

const ExtensionHooks* Function_GetExtensionHooks() { return &g_extensions; }

void Function_Add(const char* name, BuiltinRoutine f, int32_t argCount, bool)
{
    if (g_count >= g_capacity) {
        g_capacity += kGrowth;
        g_rows = static_cast<BuiltinFunction*>(
            MEM_REALLOC(g_rows, sizeof(BuiltinFunction) * size_t(g_capacity)));
    }
    BuiltinFunction& row = g_rows[g_count++];
    std::memset(row.name, 0, sizeof row.name);
    if (name) std::strncpy(row.name, name, sizeof row.name - 1);
    row.f = f;
    row.argCount = argCount;
    row.calls = -1;
    g_byName.Add(row.name, g_count - 1);
}

const BuiltinFunction* Function_Get(int32_t index)
{
    return index >= 0 && index < g_count ? &g_rows[index] : nullptr;
}

BuiltinFunction* Function_Row(int32_t index)
{
    return index >= 0 && index < g_count ? &g_rows[index] : nullptr;
}

int32_t Function_Count() { return g_count; }
int32_t Function_Capacity() { return g_capacity; }

bool Code_Function_Find(const char* name, int32_t* id)
{
    *id = -1;
    if (!name || !*name) return false;
    int32_t s = Code_Scripts().find(name);
    if (s >= 0) {
        *id = s + FUNCTION_SCRIPT_BASE;
        return true;
    }
    int32_t e = g_extensions.find(name);
    if (e >= 0) {
        *id = e + FUNCTION_EXTENSION_BASE;
        return true;
    }
    *id = g_byName.Find(name);
    return *id >= 0;
}

int32_t Function_GetArgCount(int32_t id)
{
    if (id >= FUNCTION_EXTENSION_BASE) return g_extensions.getArgCount(id - FUNCTION_EXTENSION_BASE);
    if (id >= FUNCTION_SCRIPT_BASE) return -1;
    if (id < 0 || id >= g_count) return -100;
    return g_rows[id].argCount;
}

const char* Function_GetName(int32_t id)
{
    if (id >= FUNCTION_EXTENSION_BASE) {
        const char* n = g_extensions.getName(id - FUNCTION_EXTENSION_BASE);
        return n ? n : "<unknown>";
    }
    if (id >= FUNCTION_SCRIPT_BASE) return Code_Scripts().name(id - FUNCTION_SCRIPT_BASE);
    if (id < 0 || id >= g_count) return "<unknown>";
    return g_rows[id].name;
}

bool Function_GetRelative() { return g_relative; }

bool Function_SetRelative(int32_t value)
{
    g_relative = value == 1;
    return g_relative;
}

void Function_DumpUsage()
{
    for (;;) {
        int32_t best = -1;
        for (int32_t i = 0; i < g_count; ++i) {
            if (g_rows[i].calls > 0 && (best < 0 || g_rows[i].calls > g_rows[best].calls)) best = i;
        }
        if (best < 0) return;
        Console_Output("%s    %d\n", g_rows[best].name, g_rows[best].calls);
        g_rows[best].calls = -1;
    }
}

void Function_Free()
{
    MEM_FREE(g_rows);
    g_rows = nullptr;
    g_count = g_capacity = 0;
    g_byName.Clear();
}
