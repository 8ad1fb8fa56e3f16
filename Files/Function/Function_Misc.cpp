// The "Misc.." built-ins of events, external calls, executed code and variables by name:
// thin layers that convert arguments and call the game world's event dispatch (through
// EventDispatchHooks), the external-call layer (Files/DLL/DLL.h), the compiler and the
// execution entry points, and the variable lists.
//
// Executed code: execute_string keeps the units it compiled, keyed by their text (at most
// kCacheEntries, least recently used first out; texts above kCacheTextLimit bytes are not
// kept). A unit is taken out of the cache while it runs, so code that executes itself again
// compiles a second unit instead of sharing the running one. A unit is reused only under the
// name generation it was compiled in (Platform/NameIndex.h): once a resource, script,
// function or constant name has changed, the text is compiled again, so that every execution
// gives what compiling the text now would.
//
// Needs the code units, the compiler hooks, the execution entry points, the error reporter,
// the variable tables, the object table, the file layer (execute_file).
//
// Index: [SECTION] Events, External calls, Executed code, Variables, Registration
#include "Files/Function/Function_Misc.h"

#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/DLL/DLL.h"
#include "Files/Function/Function_Date.h"
#include "Files/Function/Function_Program.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {

using namespace zbargs;

// [SECTION] Events

EventDispatchHooks g_events = {nullptr, nullptr};

void Perform(CInstance* self, CInstance* other, int32_t object, int32_t type, int32_t number)
{
    if (g_events.perform) g_events.perform(self, other, object, type, number);
}

// The event of self's own object.
void PerformOnSelf(CInstance* self, CInstance* other, int32_t type, int32_t number)
{
    if (self) Perform(self, other, self->GetObjectIndex(), type, number);
}

ZB_BUILTIN(F_EventPerform)
{
    Value_SetReal(result, 0.0);
    if (argc >= 2) PerformOnSelf(self, other, ArgRound(args, 0), ArgRound(args, 1));
}
ZB_BUILTIN(F_EventUser)
{
    Value_SetReal(result, 0.0);
    // User events are "other" events 10 to 25.
    if (argc >= 1) PerformOnSelf(self, other, 7, int32_t(uint32_t(ArgRound(args, 0)) + 10u));
}
ZB_BUILTIN(F_EventPerformObject)
{
    Value_SetReal(result, 0.0);
    if (argc >= 3) Perform(self, other, ArgRound(args, 0), ArgRound(args, 1), ArgRound(args, 2));
}
ZB_BUILTIN(F_EventInherited)
{
    Value_SetReal(result, 0.0);
    if (!g_events.current) return;
    int32_t object = -1, type = 0, number = 0;
    g_events.current(&object, &type, &number);
    CObject* current = Object_Lookup(object);
    if (!current || !Object_Exists(current->m_parentIndex)) return;
    Perform(self, other, current->m_parentIndex, type, number);
}

// [SECTION] External calls

void ReportDefineError() { Code_Error_Report("Error defining an external function.", false); }

// Defines and sets the result to the id, or -1 with the report.
void Define(ScriptValue* result, const ScriptValue& library, const ScriptValue& function, int32_t callType,
            int32_t argCount, const int32_t* kinds, bool resultIsString)
{
    int32_t id = DLL_Define(Value_Text(&library), Value_Text(&function), callType, argCount, kinds, resultIsString);
    Value_SetReal(result, double(id));
    if (id == -1) ReportDefineError();
}

ZB_BUILTIN(F_ExternalDefine)
{
    Value_SetReal(result, -1.0); // a refused definition is no id (0 may name an earlier one)
    // (dll, name, calltype, restype, argnumb, argtype1, ...)
    int32_t n = argc >= 5 ? ArgRound(args, 4) : -1;
    if (argc < 5 || int64_t(argc) != int64_t(n) + 5) {
        Code_Error_Report("Wrong number of arguments to external_define()", false);
        return;
    }
    if (n >= 17) {
        Code_Error_Report("DLL functions can have at most 16 arguments", false);
        return;
    }
    int32_t kinds[DLL_MAX_ARGUMENTS] = {};
    for (int32_t i = 0; i < n; i++) {
        int32_t type = ArgRound(args, 5 + i);
        if (n > 4 && type != 0) {
            Code_Error_Report("DLL functions with more than 4 arguments cannot have string arguments", false);
            return;
        }
        kinds[i] = type == 1 ? DLL_KIND_STRING : DLL_KIND_REAL;
    }
    Define(result, args[0], args[1], ArgRound(args, 2), n, kinds, ArgRound(args, 3) == 1);
}

ZB_BUILTIN(F_ExternalCall)
{
    Value_SetReal(result, 0.0);
    if (argc < 1 || argc - 1 > DLL_MAX_ARGUMENTS) return;
    DLL_Call(ArgRound(args, 0), argc - 1, args + 1, result);
}

ZB_BUILTIN(F_ExternalFree)
{
    Value_SetReal(result, 0.0);
    if (argc >= 1) DLL_Free(Value_Text(&args[0]));
}

// external_defineN for N = 0..4: (dll, name, argtype1 .. argtypeN, restype), cdecl.
template <int N>
ZB_BUILTIN(F_ExternalDefineTyped)
{
    Value_SetReal(result, 0.0);
    if (argc < N + 3) return;
    int32_t kinds[DLL_MAX_ARGUMENTS] = {};
    for (int32_t i = 0; i < N; i++) kinds[i] = ArgRound(args, 2 + i) == 1 ? DLL_KIND_STRING : DLL_KIND_REAL;
    Define(result, args[0], args[1], 0, N, kinds, ArgRound(args, 2 + N) == 1);
}

// external_defineN for N = 5..8: (dll, name, restype), N real arguments, cdecl.
template <int N>
ZB_BUILTIN(F_ExternalDefineReals)
{
    Value_SetReal(result, 0.0);
    if (argc < 3) return;
    int32_t kinds[DLL_MAX_ARGUMENTS] = {};
    Define(result, args[0], args[1], 0, N, kinds, ArgRound(args, 2) == 1);
}

// external_callN: (id, arg1 .. argN).
template <int N>
ZB_BUILTIN(F_ExternalCallN)
{
    Value_SetReal(result, 0.0);
    if (argc < N + 1) return;
    DLL_Call(ArgRound(args, 0), N, args + 1, result);
}

// [SECTION] Executed code

constexpr size_t kCacheEntries = 64;
constexpr size_t kCacheTextLimit = 64 * 1024;

struct CompiledText {
    std::string text; // the unit's source (the unit points into it)
    std::unique_ptr<CCode> code;
    uint64_t names = 0; // the name generation the unit was compiled in
};

using CacheList = std::list<std::unique_ptr<CompiledText>>; // most recently used first
CacheList g_cache;
std::unordered_map<std::string, CacheList::iterator> g_cacheIndex;

int32_t g_executeStringCount = 0;
int32_t g_executeFileCount = 0;
int64_t g_compiles = 0;

// A compiled unit of text named name: from the cache (taken out of it) or compiled now. Null
// after a compile error (recorded through the error layer).
std::unique_ptr<CompiledText> Obtain(const std::string& text, const char* name)
{
    auto found = g_cacheIndex.find(text);
    if (found != g_cacheIndex.end()) {
        std::unique_ptr<CompiledText> entry = std::move(*found->second);
        g_cache.erase(found->second);
        g_cacheIndex.erase(found);
        if (entry->names == NameGeneration::Current()) {
            // The unit carries the name of this execution.
            MEM_FREE(entry->code->m_pName);
            entry->code->m_pName = MEM_STRDUP(name);
            return entry;
        }
        // Compiled before a name changed: dropped, and the text compiled again.
    }
    auto entry = std::make_unique<CompiledText>();
    entry->text = text;
    entry->code = std::make_unique<CCode>(entry->text.c_str(), false);
    entry->names = NameGeneration::Current();
    ++g_compiles;
    Code_Error_ClearRecorded();
    if (!entry->code->Compile(name)) return nullptr;
    return entry;
}

void Keep(std::unique_ptr<CompiledText> entry)
{
    if (entry->text.size() > kCacheTextLimit || g_cacheIndex.count(entry->text)) return;
    g_cache.push_front(std::move(entry));
    g_cacheIndex[g_cache.front()->text] = g_cache.begin();
    while (g_cache.size() > kCacheEntries) {
        g_cacheIndex.erase(g_cache.back()->text);
        g_cache.pop_back();
    }
}

// Runs text with the arguments after the first (at most 15) in argument0.., the caller's
// arguments saved and restored around it.
void Execute(ScriptValue* result, CInstance* self, CInstance* other, const std::string& text, int32_t argc,
             ScriptValue* args, const char* namePrefix, int32_t* counter, const char* errorPrefix)
{
    ScriptValue saved[16];
    Code_SaveArguments(saved);
    int32_t n = argc - 1;
    if (n > 15) n = 15;
    Code_FillArguments(n, args + 1);

    char name[32];
    std::snprintf(name, sizeof name, "%s.%d", namePrefix, (*counter)++);
    std::unique_ptr<CompiledText> entry = Obtain(text, name);
    if (entry) {
        Code_Execute(self, other, entry->code.get(), result);
        Keep(std::move(entry));
    } else if (!QuitRequest_Pending()) { // a quit stops the compiler: nothing to show
        const char* error = Code_Error_GetText();
        std::string message = std::string(errorPrefix) + (error ? error : "");
        Code_Error_Show(message.c_str(), false);
    }
    Code_RestoreArguments(saved);
}

ZB_BUILTIN(F_ExecuteString)
{
    Value_SetReal(result, 0.0);
    if (argc < 1) return;
    Execute(result, self, other, Value_Text(&args[0]), argc, args, "Execute", &g_executeStringCount,
            "COMPILATION ERROR in string to be executed\n");
}

// The code text of a file as the runner builds it: each line (at most 5119 bytes, its line
// feed included) followed by one more line feed, at most 5119 bytes in all.
constexpr size_t kExecuteFileLimit = 5119;

std::string ExecuteFileText(const uint8_t* data, size_t size)
{
    std::string code;
    size_t at = 0;
    while (at < size && code.size() < kExecuteFileLimit) {
        size_t start = at;
        while (at < size && at - start < kExecuteFileLimit) {
            if (data[at++] == '\n') break;
        }
        // A zero byte ends the line as text.
        std::string line(reinterpret_cast<const char*>(data + start), at - start);
        line.resize(std::strlen(line.c_str()));
        code += line;
        code += '\n';
    }
    if (code.size() > kExecuteFileLimit) code.resize(kExecuteFileLimit);
    return code;
}

ZB_BUILTIN(F_ExecuteFile)
{
    Value_SetReal(result, 0.0);
    if (argc < 1) return;
    if (argc > 16) argc = 16;
    const char* name = Value_Text(&args[0]);
    // Read as every file built-in reads: the save area, else the program folder.
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadGameFile(name, &size);
    if (!data) {
        Code_Error_Report("Trying to execute non-existing file.", false);
        return;
    }
    std::string text = ExecuteFileText(data, size_t(size));
    MEM_FREE(data);
    Execute(result, self, other, text, argc, args, "ExecuteFile", &g_executeFileCount,
            "COMPILATION ERROR in file to be executed\n");
}

// [SECTION] Variables

// The variable id of a name argument; false for an argument that is not a string.
bool VariableId(const ScriptValue& name, int32_t* id)
{
    if (name.kind != VALUE_STRING) return false;
    *id = Code_Variable_Find(Value_Text(&name));
    return *id >= 0;
}

// The element index of one or two array indices; false (after the report) for an index of
// 32000 or more. A negative index gives -1: nothing is stored there and nothing read.
bool ArrayIndex(const ScriptValue* i, const ScriptValue* j, int32_t* index)
{
    int32_t a = ArgRound(i, 0);
    int32_t b = j ? ArgRound(j, 0) : 0;
    if (a >= ARRAY_ROW_LENGTH || (j && b >= ARRAY_ROW_LENGTH)) {
        Code_Error_Report("Array index >= 32000", false);
        return false;
    }
    if (a < 0 || b < 0) *index = -1;
    else *index = j ? a * ARRAY_ROW_LENGTH + b : a;
    return true;
}

struct Scope {
    bool global;
    CInstance* self;
    bool Get(int32_t id, int32_t index, ScriptValue* out) const
    {
        return global ? Variable_Global_Get(id, index, out) : Variable_Local_Get(self, id, index, out);
    }
    bool Set(int32_t id, int32_t index, const ScriptValue* value) const
    {
        return global ? Variable_Global_Set(id, index, value) : Variable_Local_Set(self, id, index, value);
    }
};

void VarExists(ScriptValue* result, const Scope& scope, int32_t argc, ScriptValue* args)
{
    Value_SetReal(result, 0.0);
    int32_t id;
    if (argc < 1 || !VariableId(args[0], &id)) return;
    ScriptValue value = Value_Real(0.0);
    bool set = scope.Get(id, 0, &value);
    Value_FreeString(&value);
    Value_SetReal(result, set ? 1.0 : 0.0);
}

// dims: 0 scalar, 1 or 2 array indices after the name.
void VarGet(ScriptValue* result, const Scope& scope, int32_t argc, ScriptValue* args, int dims)
{
    Value_SetReal(result, 0.0);
    int32_t id, index = 0;
    if (argc < 1 + dims || !VariableId(args[0], &id)) return;
    if (dims > 0 && !ArrayIndex(&args[1], dims > 1 ? &args[2] : nullptr, &index)) return;
    if (!scope.Get(id, index, result)) Value_SetReal(result, 0.0);
}

void VarSet(ScriptValue* result, const Scope& scope, int32_t argc, ScriptValue* args, int dims)
{
    Value_SetReal(result, 0.0);
    int32_t id, index = 0;
    if (argc < 2 + dims || !VariableId(args[0], &id)) return;
    if (dims > 0 && !ArrayIndex(&args[1], dims > 1 ? &args[2] : nullptr, &index)) return;
    if (index < 0) return; // a negative index names no element
    scope.Set(id, index, &args[1 + dims]);
}

ZB_BUILTIN(F_VarGlobalExists) { VarExists(result, Scope{true, self}, argc, args); }
ZB_BUILTIN(F_VarGlobalGet) { VarGet(result, Scope{true, self}, argc, args, 0); }
ZB_BUILTIN(F_VarGlobalArrayGet) { VarGet(result, Scope{true, self}, argc, args, 1); }
ZB_BUILTIN(F_VarGlobalArray2Get) { VarGet(result, Scope{true, self}, argc, args, 2); }
ZB_BUILTIN(F_VarGlobalSet) { VarSet(result, Scope{true, self}, argc, args, 0); }
ZB_BUILTIN(F_VarGlobalArraySet) { VarSet(result, Scope{true, self}, argc, args, 1); }
ZB_BUILTIN(F_VarGlobalArray2Set) { VarSet(result, Scope{true, self}, argc, args, 2); }
ZB_BUILTIN(F_VarLocalExists) { VarExists(result, Scope{false, self}, argc, args); }
ZB_BUILTIN(F_VarLocalGet) { VarGet(result, Scope{false, self}, argc, args, 0); }
ZB_BUILTIN(F_VarLocalArrayGet) { VarGet(result, Scope{false, self}, argc, args, 1); }
ZB_BUILTIN(F_VarLocalArray2Get) { VarGet(result, Scope{false, self}, argc, args, 2); }
ZB_BUILTIN(F_VarLocalSet) { VarSet(result, Scope{false, self}, argc, args, 0); }
ZB_BUILTIN(F_VarLocalArraySet) { VarSet(result, Scope{false, self}, argc, args, 1); }
ZB_BUILTIN(F_VarLocalArray2Set) { VarSet(result, Scope{false, self}, argc, args, 2); }

} // namespace

void Function_Misc_SetEventHooks(const EventDispatchHooks* hooks)
{
    g_events = hooks ? *hooks : EventDispatchHooks{nullptr, nullptr};
}

int64_t Function_Misc_ExecuteCompiles() { return g_compiles; }

void Function_Misc_FreeExecuteCache()
{
    g_cacheIndex.clear();
    g_cache.clear();
    g_executeStringCount = 0;
    g_executeFileCount = 0;
}

// [SECTION] Registration

void Function_Misc_Init(bool forbidExternalCode)
{
    Function_Add("event_inherited", F_EventInherited, 0);
    Function_Add("event_perform", F_EventPerform, 2);
    Function_Add("event_user", F_EventUser, 1);
    Function_Add("event_perform_object", F_EventPerformObject, 3);

    if (!forbidExternalCode) {
        Function_Add("external_define", F_ExternalDefine, -1);
        Function_Add("external_call", F_ExternalCall, -1);
        Function_Add("external_free", F_ExternalFree, 1);
        Function_Add("external_define0", F_ExternalDefineTyped<0>, 3);
        Function_Add("external_call0", F_ExternalCallN<0>, 1);
        Function_Add("external_define1", F_ExternalDefineTyped<1>, 4);
        Function_Add("external_call1", F_ExternalCallN<1>, 2);
        Function_Add("external_define2", F_ExternalDefineTyped<2>, 5);
        Function_Add("external_call2", F_ExternalCallN<2>, 3);
        Function_Add("external_define3", F_ExternalDefineTyped<3>, 6);
        Function_Add("external_call3", F_ExternalCallN<3>, 4);
        Function_Add("external_define4", F_ExternalDefineTyped<4>, 7);
        Function_Add("external_call4", F_ExternalCallN<4>, 5);
        Function_Add("external_define5", F_ExternalDefineReals<5>, 3);
        Function_Add("external_call5", F_ExternalCallN<5>, 6);
        Function_Add("external_define6", F_ExternalDefineReals<6>, 3);
        Function_Add("external_call6", F_ExternalCallN<6>, 7);
        Function_Add("external_define7", F_ExternalDefineReals<7>, 3);
        Function_Add("external_call7", F_ExternalCallN<7>, 8);
        Function_Add("external_define8", F_ExternalDefineReals<8>, 3);
        Function_Add("external_call8", F_ExternalCallN<8>, 9);
        Function_Add("execute_string", F_ExecuteString, -1);
        Function_Add("execute_file", F_ExecuteFile, -1);
    }

    Function_Add("variable_global_exists", F_VarGlobalExists, 1);
    Function_Add("variable_global_get", F_VarGlobalGet, 1);
    Function_Add("variable_global_array_get", F_VarGlobalArrayGet, 2);
    Function_Add("variable_global_array2_get", F_VarGlobalArray2Get, 3);
    Function_Add("variable_global_set", F_VarGlobalSet, 2);
    Function_Add("variable_global_array_set", F_VarGlobalArraySet, 3);
    Function_Add("variable_global_array2_set", F_VarGlobalArray2Set, 4);
    Function_Add("variable_local_exists", F_VarLocalExists, 1);
    Function_Add("variable_local_get", F_VarLocalGet, 1);
    Function_Add("variable_local_array_get", F_VarLocalArrayGet, 2);
    Function_Add("variable_local_array2_get", F_VarLocalArray2Get, 3);
    Function_Add("variable_local_set", F_VarLocalSet, 2);
    Function_Add("variable_local_array_set", F_VarLocalArraySet, 3);
    Function_Add("variable_local_array2_set", F_VarLocalArray2Set, 4);

    Function_Date_Register();
    Function_Program_Register();
}

void InitFunctions_Misc() { Function_Misc_Init(false); }
