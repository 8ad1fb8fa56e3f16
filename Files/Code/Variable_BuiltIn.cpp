// The built-in variable table, the globals with their globalvar declarations, per-instance
// access and scope resolution (Files/Code/Variable_BuiltIn.h).
#include "Files/Code/Variable_BuiltIn.h"

#include <cstring>
#include <vector>
#include <utility>

#include "Files/Base/Console.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

BuiltinVariable g_BuiltinVariableRows[BUILTIN_VARIABLE_MAX];

namespace {

BuiltinVariable (&g_rows)[BUILTIN_VARIABLE_MAX] = g_BuiltinVariableRows;
int32_t g_rowCount = 0;
// Name -> first row of that name.
NameIndex g_byName;

CVariableList* g_globals = nullptr;
uint8_t* g_declared = nullptr; // one byte per user variable id - 100000
int32_t g_declaredLength = 0;

constexpr int32_t kDeclaredStart = 10000;
constexpr int32_t kDeclaredStep = 1000;

void SetDeclaredLength(int32_t n)
{
    g_declared = static_cast<uint8_t*>(MEM_REALLOC(g_declared, uint32_t(n)));
    if (n > g_declaredLength && g_declared) std::memset(g_declared + g_declaredLength, 0, size_t(n - g_declaredLength));
    g_declaredLength = n;
}

// Writes through a built-in row; refused when the row is read-only or has no setter.
bool SetBuiltin(CInstance* instance, int32_t id, int32_t index, const ScriptValue* value)
{
    if (id < 0 || id >= g_rowCount) return false;
    const BuiltinVariable& row = g_rows[id];
    if (!row.settable || !row.set) return false;
    return row.set(instance, index, const_cast<ScriptValue*>(value));
}

// The instances a scope of all or of an object reaches, in the order they are visited: each
// that is live when its turn comes, until f answers false.
template <class F>
void ForEachScopeInstance(int32_t scope, F&& f)
{
    std::vector<CInstance*> found;
    Code_World().instancesOf(scope, true, &found);
    for (CInstance* i : found)
        if (Code_World().isLive(i) && !f(i)) return;
}

// Argument rows: argument[i] and argumentN read and write the running script's arguments.
bool GetArgumentRelative(CInstance*, int32_t, ScriptValue* out)
{
    Value_SetReal(out, Function_GetRelative() ? 1.0 : 0.0);
    return true;
}

int32_t ArgumentSlot(int32_t index) { return index >= 0 && index < 16 ? index : 0; }

bool GetArgument(CInstance*, int32_t index, ScriptValue* out)
{
    Value_Copy(out, &Code_Arguments()[ArgumentSlot(index)]);
    return true;
}

bool SetArgument(CInstance*, int32_t index, ScriptValue* value)
{
    Value_Copy(&Code_Arguments()[ArgumentSlot(index)], value);
    return true;
}

template <int N>
bool GetArgumentN(CInstance*, int32_t, ScriptValue* out)
{
    Value_Copy(out, &Code_Arguments()[N]);
    return true;
}

template <int N>
bool SetArgumentN(CInstance*, int32_t, ScriptValue* value)
{
    Value_Copy(&Code_Arguments()[N], value);
    return true;
}

bool GetArgumentCount(CInstance*, int32_t, ScriptValue* out)
{
    Value_SetReal(out, double(Code_GetArgumentCount()));
    return true;
}

template <int... N>
void RegisterArgumentRows(std::integer_sequence<int, N...>)
{
    static const char* const names[] = {"argument0", "argument1", "argument2", "argument3",
                                        "argument4", "argument5", "argument6", "argument7",
                                        "argument8", "argument9", "argument10", "argument11",
                                        "argument12", "argument13", "argument14", "argument15"};
    (RegisterBuiltinVariable(names[N], GetArgumentN<N>, SetArgumentN<N>, true), ...);
}

} // namespace

uint32_t g_VariableDeclarations = 1;

void Variable_BuiltIn_Init()
{
    for (int32_t i = 0; i < BUILTIN_VARIABLE_MAX; ++i) {
        MEM_FREE(g_rows[i].name);
        g_rows[i] = BuiltinVariable{nullptr, nullptr, nullptr, 0};
    }
    g_rowCount = 0;
    g_byName.Clear();
}

void RegisterBuiltinVariable(const char* name, BuiltinVariableGetter get, BuiltinVariableSetter set,
                             bool settable)
{
    if (g_rowCount >= BUILTIN_VARIABLE_MAX) {
        ShowMessage("INTERNAL ERROR: Adding too many variables");
        return;
    }
    BuiltinVariable& row = g_rows[g_rowCount];
    MEM_FREE(row.name);
    row.name = name ? MEM_STRDUP(name) : nullptr;
    row.get = get;
    row.set = set;
    row.settable = settable ? 1 : 0;
    if (row.name) g_byName.Add(row.name, g_rowCount);
    ++g_rowCount;
}

int32_t Variable_BuiltIn_Find(const char* name)
{
    if (!name) return -1;
    return g_byName.Find(name);
}

const char* Variable_BuiltIn_GetName(int32_t id)
{
    if (id < 0 || id >= g_rowCount || !g_rows[id].name) return "<unknown built-in variable>";
    return g_rows[id].name;
}

int32_t Variable_BuiltIn_Count() { return g_rowCount; }

const BuiltinVariable* Variable_BuiltIn_Row(int32_t id)
{
    return id >= 0 && id < g_rowCount ? &g_rows[id] : nullptr;
}

int32_t Variable_BuiltIn_ArgumentSlot(int32_t id)
{
    static const BuiltinVariableGetter getters[16] = {
        GetArgumentN<0>,  GetArgumentN<1>,  GetArgumentN<2>,  GetArgumentN<3>,
        GetArgumentN<4>,  GetArgumentN<5>,  GetArgumentN<6>,  GetArgumentN<7>,
        GetArgumentN<8>,  GetArgumentN<9>,  GetArgumentN<10>, GetArgumentN<11>,
        GetArgumentN<12>, GetArgumentN<13>, GetArgumentN<14>, GetArgumentN<15>};
    if (id < 0 || id >= g_rowCount) return -1;
    for (int32_t k = 0; k < 16; ++k)
        if (g_rows[id].get == getters[k]) return k;
    return -1;
}

bool Variable_BuiltIn_IsArgumentRow(int32_t id)
{
    if (id < 0 || id >= g_rowCount) return false;
    BuiltinVariableGetter g = g_rows[id].get;
    return g == GetArgument || g == GetArgumentCount || Variable_BuiltIn_ArgumentSlot(id) >= 0;
}

void Variable_BuiltIn_RegisterArguments()
{
    RegisterBuiltinVariable("argument_relative", GetArgumentRelative, nullptr, false);
    RegisterBuiltinVariable("argument", GetArgument, SetArgument, true);
    RegisterArgumentRows(std::make_integer_sequence<int, 16>());
    // Read-only although the row is marked settable: assignments are refused for want of a
    // setter.
    RegisterBuiltinVariable("argument_count", GetArgumentCount, nullptr, true);
}

void Variable_Global_Init()
{
    delete g_globals;
    g_globals = new CVariableList();
    MEM_FREE(g_declared);
    g_declared = nullptr;
    g_declaredLength = 0;
    SetDeclaredLength(kDeclaredStart);
    ++g_VariableDeclarations;
}

CVariableList* Variable_Global_List()
{
    if (!g_globals) Variable_Global_Init();
    return g_globals;
}

bool Variable_Global_Get(int32_t id, int32_t index, ScriptValue* out)
{
    return Variable_Global_List()->Get(id, index, out);
}

bool Variable_Global_Set(int32_t id, int32_t index, const ScriptValue* value)
{
    return Variable_Global_List()->Set(id, index, value);
}

void Variable_Global_Declare(int32_t id)
{
    if (id < VARIABLE_USER_BASE) return;
    Variable_Global_List();
    int32_t i = id - VARIABLE_USER_BASE;
    if (i >= g_declaredLength) {
        int32_t n = g_declaredLength;
        while (i >= n) n += kDeclaredStep;
        SetDeclaredLength(n);
    }
    g_declared[i] = 1;
    ++g_VariableDeclarations;
    g_globals->Ensure(id);
}

bool Variable_Global_IsDeclared(int32_t id)
{
    int64_t i = int64_t(id) - VARIABLE_USER_BASE;
    return i >= 0 && i < g_declaredLength && g_declared[i] != 0;
}

int32_t Variable_Global_DeclaredLength() { return g_declaredLength; }

void Variable_Global_Serialise(IBuffer* buffer)
{
    Variable_Global_List()->Serialise(buffer);
    Buffer_WriteNumber(buffer, eBuffer_S32, g_declaredLength);
    for (int32_t i = 0; i < g_declaredLength; ++i) Buffer_WriteNumber(buffer, eBuffer_S32, g_declared[i]);
}

bool Variable_Global_ReadSaved(IBuffer* buffer, SavedGlobals* out)
{
    *out = SavedGlobals();
    out->list = new CVariableList();
    double n = 0;
    if (!out->list->DeSerialise(buffer) || !Buffer_ReadNumber(buffer, eBuffer_S32, &n) || !(n >= 0 && n <= 536870912.0)) {
        Variable_Global_FreeSaved(out);
        return false;
    }
    // The flags grow as they are read, so a length that the data cannot back allocates
    // nothing for it.
    std::vector<uint8_t> flags;
    for (int32_t i = 0; i < int32_t(n); ++i) {
        double b = 0;
        if (!Buffer_ReadNumber(buffer, eBuffer_S32, &b)) {
            Variable_Global_FreeSaved(out);
            return false;
        }
        flags.push_back(b != 0 ? 1 : 0);
    }
    out->length = int32_t(flags.size());
    if (out->length) {
        out->declared = static_cast<uint8_t*>(MEM_ALLOC(uint32_t(out->length)));
        std::memcpy(out->declared, flags.data(), flags.size());
    }
    return true;
}

void Variable_Global_CommitSaved(SavedGlobals* saved)
{
    Variable_Global_List()->Assign(saved->list);
    MEM_FREE(g_declared);
    g_declared = saved->declared;
    g_declaredLength = saved->length;
    saved->declared = nullptr;
    saved->length = 0;
    ++g_VariableDeclarations;
    Variable_Global_FreeSaved(saved);
}

void Variable_Global_FreeSaved(SavedGlobals* saved)
{
    delete saved->list;
    MEM_FREE(saved->declared);
    *saved = SavedGlobals();
}

bool Variable_Global_DeSerialise(IBuffer* buffer)
{
    SavedGlobals saved;
    if (!Variable_Global_ReadSaved(buffer, &saved)) return false;
    Variable_Global_CommitSaved(&saved);
    return true;
}

bool Variable_Local_Get(CInstance* instance, int32_t id, int32_t index, ScriptValue* out)
{
    if (!instance) return false;
    if (id < VARIABLE_BUILTIN_LIMIT) {
        if (id < 0 || id >= g_rowCount || !g_rows[id].get) return false;
        Value_SetReal(out, 0.0);
        return g_rows[id].get(instance, index, out);
    }
    CVariableList* own = Code_InstanceVariables(instance);
    return own && own->Get(id, index, out);
}

bool Variable_Local_Set(CInstance* instance, int32_t id, int32_t index, const ScriptValue* value)
{
    if (!instance) return false;
    if (id < VARIABLE_BUILTIN_LIMIT) return SetBuiltin(instance, id, index, value);
    CVariableList* own = Code_InstanceVariables(instance);
    return own && own->Set(id, index, value);
}

bool Variable_Scope_Get(int32_t scope, int32_t id, int32_t index, ScriptValue* out)
{
    CInstance* target = nullptr;
    if (scope >= SCOPE_INSTANCE_BASE) {
        target = Code_World().find(scope);
        if (target && Code_World().isMarked(target)) target = nullptr; // a deactivated one is still read
    } else if (scope == SCOPE_ALL || scope >= 0) {
        ForEachScopeInstance(scope, [&](CInstance* i) {
            target = i;
            return false;
        });
    }
    if (!target) return false;
    return Variable_Local_Get(target, id, index, out);
}

bool Variable_Scope_Set(int32_t scope, int32_t id, int32_t index, const ScriptValue* value)
{
    if (scope >= SCOPE_INSTANCE_BASE) {
        CInstance* target = Code_World().find(scope);
        if (!target || Code_World().isMarked(target)) return true;
        return Variable_Local_Set(target, id, index, value);
    }
    if (scope != SCOPE_ALL && scope < 0) return false;
    bool result = true;
    ForEachScopeInstance(scope, [&](CInstance* i) {
        result = Variable_Local_Set(i, id, index, value);
        return true;
    });
    return result;
}

ScriptValue* Variable_Scope_Storage(CInstance* self, CInstance* other, int32_t scope, int32_t id, int32_t index)
{
    if (id < VARIABLE_BUILTIN_LIMIT) return nullptr;
    CInstance* target = nullptr;
    CVariableList* list = nullptr;
    switch (scope) {
    case SCOPE_GLOBAL: list = Variable_Global_List(); break;
    case SCOPE_PLAIN:
        if (Variable_Global_IsDeclared(id)) {
            list = Variable_Global_List();
        } else {
            target = self;
        }
        break;
    case SCOPE_SELF: target = self; break;
    case SCOPE_OTHER: target = other; break;
    default:
        if (scope >= SCOPE_INSTANCE_BASE) {
            target = Code_World().find(scope);
            if (target && Code_World().isMarked(target)) return nullptr;
        } else if (scope == SCOPE_ALL || scope >= 0) {
            // A read takes the first live instance, a write every one: the same only for one.
            static std::vector<CInstance*> found; // main thread; nothing runs while it is used
            found.clear();
            Code_World().instancesOf(scope, true, &found);
            for (CInstance* i : found) {
                if (!Code_World().isLive(i)) continue;
                if (target) return nullptr;
                target = i;
            }
        }
        break;
    }
    if (target) list = Code_InstanceVariables(target);
    CVariable* v = list ? list->Find(id) : nullptr;
    return v ? CVariableList::ElementAt(v, index) : nullptr;
}

void Variable_Free()
{
    for (int32_t i = 0; i < BUILTIN_VARIABLE_MAX; ++i) {
        MEM_FREE(g_rows[i].name);
        g_rows[i] = BuiltinVariable{nullptr, nullptr, nullptr, 0};
    }
    g_rowCount = 0;
    g_byName.Clear();
    delete g_globals;
    g_globals = nullptr;
    MEM_FREE(g_declared);
    g_declared = nullptr;
    g_declaredLength = 0;
    ++g_VariableDeclarations;
}
