// Extension packages (Files/Extension/Extension.h): the package table, the "EXTN" chunk,
// preparation, the initialisation and finalisation functions, function ids and calls.
//
// Needs the external-call layer, the compiler, the execution entry points and the argument
// slots, the error texts, the constant table, the start-up options, the log console and the
// message box. No Linux/ file.
//
// [SECTION] The package table
// [SECTION] Preparation
// [SECTION] Initialisation and finalisation
// [SECTION] Function ids
// [SECTION] Calls
#include "Files/Extension/Extension.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Function.h"
#include "Files/Object/Instance.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/FileImage.h"
#include "Platform/NameIndex.h"

namespace {

std::vector<CExtensionPackage*> g_packages;
std::vector<CExtensionFunction*> g_functions; // by id; owned by their files
NameIndex g_functionNames;                     // name -> the first id of that name in package order
CInstance* g_scratch = nullptr;               // self and other of the init and final functions

// The instance the initialisation and finalisation functions run for: they run before the
// first room and after the last, when no instance of the game exists.
CInstance* Scratch()
{
    if (!g_scratch) g_scratch = new CInstance(0, 0, 0, -1, false);
    return g_scratch;
}

} // namespace

// =============================================================================================
// [SECTION] The package table
// =============================================================================================

bool Extension_Load(const FileImage& image, uint32_t begin, uint32_t end)
{
    uint32_t count = 0;
    if (end - begin >= 4 && image.U32(begin, count) && count > 0)
        Console_Output("Extension packages of the game file are not read (%u in the file)\n", count);
    return true;
}

CExtensionPackage* Extension_AddPackage(const char* name)
{
    auto* p = new CExtensionPackage();
    p->name = name ? name : "";
    g_packages.push_back(p);
    return p;
}

CExtensionFile* Extension_AddFile(CExtensionPackage* package, const char* filename, int32_t kind,
                                  const char* initFunction, const char* finalFunction)
{
    auto* f = new CExtensionFile();
    f->filename = filename ? filename : "";
    f->package = int32_t(std::find(g_packages.begin(), g_packages.end(), package) - g_packages.begin());
    f->position = int32_t(package->files.size());
    f->kind = kind;
    f->initFunction = initFunction ? initFunction : "";
    f->finalFunction = finalFunction ? finalFunction : "";
    package->files.push_back(f);
    return f;
}

CExtensionFunction* Extension_AddFunction(CExtensionFile* file, const char* name, const char* externalName,
                                          int32_t callType, int32_t argCount, const int32_t* argKinds,
                                          int32_t resultKind, const char* code)
{
    auto* f = new CExtensionFunction();
    f->name = name ? name : "";
    f->externalName = externalName && *externalName ? externalName : f->name;
    f->id = int32_t(g_functions.size());
    f->callType = callType;
    f->argCount = argCount < -1 ? -1 : argCount > DLL_MAX_ARGUMENTS ? DLL_MAX_ARGUMENTS : argCount;
    for (int32_t k = 0; k < DLL_MAX_ARGUMENTS; ++k)
        f->argKinds[k] = argKinds && k < f->argCount && argKinds[k] == DLL_KIND_STRING ? DLL_KIND_STRING : DLL_KIND_REAL;
    f->resultKind = resultKind == DLL_KIND_STRING ? DLL_KIND_STRING : DLL_KIND_REAL;
    f->code = code ? code : "";
    f->kind = file->kind;
    // Ranked by package, file and place in the file (21 bits each: far beyond any game).
    const uint64_t rank = (uint64_t(uint32_t(file->package)) << 42) | (uint64_t(uint32_t(file->position)) << 21) |
                          uint64_t(file->functions.size());
    file->functions.push_back(f);
    g_functions.push_back(f);
    if (!f->name.empty()) g_functionNames.Add(f->name.c_str(), f->id, rank);
    return f;
}

void Extension_AddConstant(CExtensionFile* file, const char* name, const char* value)
{
    file->constants.push_back(CExtensionConstant{name ? name : "", value ? value : ""});
}

int32_t Extension_PackageCount() { return int32_t(g_packages.size()); }

CExtensionPackage* Extension_Package(int32_t index)
{
    return index >= 0 && size_t(index) < g_packages.size() ? g_packages[size_t(index)] : nullptr;
}

void Extension_Free()
{
    for (CExtensionPackage* p : g_packages) {
        for (CExtensionFile* file : p->files) {
            for (CExtensionFunction* f : file->functions) {
                delete f->compiled;
                delete f;
            }
            if (file->kind == EXTENSION_FILE_LIBRARY) DLL_Free(file->filename.c_str());
            delete file;
        }
        delete p;
    }
    g_packages.clear();
    g_functions.clear();
    g_functionNames.Clear();
    delete g_scratch;
    g_scratch = nullptr;
}

// =============================================================================================
// [SECTION] Preparation
// =============================================================================================

bool Extension_Prepare()
{
    for (CExtensionPackage* p : g_packages) {
        for (CExtensionFile* file : p->files) {
            std::vector<const char*> names, values;
            for (const CExtensionConstant& c : file->constants) {
                names.push_back(c.name.c_str());
                values.push_back(c.value.c_str());
            }
            if (!names.empty() && !Code_Constant_DefineGame(int32_t(names.size()), names.data(), values.data()))
                return false;
            for (CExtensionFunction* f : file->functions) {
                if (file->kind == EXTENSION_FILE_LIBRARY) {
                    if (g_StartupOptions.extensionsOff || f->definition >= 0) continue;
                    f->definition = DLL_Define(file->filename.c_str(), f->externalName.c_str(), f->callType,
                                               f->argCount < 0 ? 0 : f->argCount, f->argKinds,
                                               f->resultKind == DLL_KIND_STRING);
                    if (f->definition < 0)
                        Console_Output("Extension function %s could not be bound to %s in %s\n", f->name.c_str(),
                                       f->externalName.c_str(), file->filename.c_str());
                } else if (file->kind == EXTENSION_FILE_CODE) {
                    if (f->compiled || f->code.empty()) continue;
                    f->compiled = new CCode(f->code.c_str(), false);
                    const std::string name = "Extension." + f->name;
                    if (!f->compiled->Compile(name.c_str())) {
                        std::string text = "COMPILATION ERROR in extension function: " + f->name + "\n" +
                                           (Code_Error_GetText() ? Code_Error_GetText() : "");
                        delete f->compiled;
                        f->compiled = nullptr;
                        Code_Error_Show(text.c_str(), true);
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// =============================================================================================
// [SECTION] Initialisation and finalisation
// =============================================================================================

namespace {

// Runs the function of that name with no arguments; false when there is none.
bool RunNamed(const std::string& name)
{
    const int32_t id = Extension_Function_Find(name.c_str());
    if (id < 0) return false;
    ScriptValue result = Value_Real(0);
    ScriptArguments none{0, nullptr};
    if (!Extension_Call(id, Scratch(), Scratch(), 0, &none, &result) && Code_Error_GetText())
        Code_Error_Report(Code_Error_GetText(), false);
    Value_FreeString(&result);
    return true;
}

} // namespace

bool Extension_RunInitFunctions()
{
    for (CExtensionPackage* p : g_packages) {
        for (CExtensionFile* file : p->files) {
            if (file->initFunction.empty() || RunNamed(file->initFunction)) continue;
            char text[1024];
            std::snprintf(text, sizeof text, "Could not locate initialization function %s", file->initFunction.c_str());
            ShowMessage(text);
            return false;
        }
    }
    return true;
}

bool Extension_RunFinalFunctions()
{
    bool all = true;
    for (CExtensionPackage* p : g_packages) {
        for (CExtensionFile* file : p->files) {
            if (file->finalFunction.empty() || RunNamed(file->finalFunction)) continue;
            char text[1024];
            std::snprintf(text, sizeof text, "Could not locate finalization function %s", file->finalFunction.c_str());
            ShowMessage(text);
            all = false;
        }
    }
    return all;
}

// =============================================================================================
// [SECTION] Function ids
// =============================================================================================

int32_t Extension_Function_Find(const char* name)
{
    if (!name || !*name) return -1;
    return g_functionNames.Find(name);
}

int32_t Extension_Function_GetArgCount(int32_t id)
{
    return id >= 0 && size_t(id) < g_functions.size() ? g_functions[size_t(id)]->argCount : -100;
}

const char* Extension_Function_GetName(int32_t id)
{
    return id >= 0 && size_t(id) < g_functions.size() ? g_functions[size_t(id)]->name.c_str() : nullptr;
}

int32_t Extension_Function_Count() { return int32_t(g_functions.size()); }

// =============================================================================================
// [SECTION] Calls
// =============================================================================================

namespace {

void CallLibrary(const CExtensionFunction* f, int32_t argc, const ScriptValue* args, ScriptValue* result)
{
    if (g_StartupOptions.extensionsOff || f->definition < 0) return;
    DLL_Call(f->definition, argc, args, result);
}

} // namespace

bool Extension_Call(int32_t index, CInstance* self, CInstance* other, int32_t argc, const ScriptArguments* args,
                    ScriptValue* result)
{
    if (index < 0 || size_t(index) >= g_functions.size()) return false;
    CExtensionFunction* f = g_functions[size_t(index)];
    int32_t n = argc < 0 ? 0 : argc > 16 ? 16 : argc;
    if (!args || !args->values) n = 0;
    else if (args->count < n) n = args->count < 0 ? 0 : args->count;
    if (f->kind == EXTENSION_FILE_LIBRARY) {
        CallLibrary(f, n, n ? args->values : nullptr, result);
        return true;
    }
    if (f->kind != EXTENSION_FILE_CODE || !f->compiled) return false;

    ScriptValue saved[16];
    Code_SaveArguments(saved);
    Code_FillArguments(n, n ? args->values : nullptr);
    const int32_t savedCount = Code_GetArgumentCount();
    Code_SetArgumentCount(n);
    const bool ok = Code_ExecuteValue(self, other, f->compiled, result);
    if (!ok) {
        // At most 1,023 bytes, cut at a character's start so that the text stays UTF-8.
        const std::string text = "In extension function " + f->name + ": \n" + (Code_Error_GetText() ? Code_Error_GetText() : "");
        Code_Error_SetText(std::string(Code_Error_Cut(text.c_str(), 1023)).c_str());
    }
    Code_SetArgumentCount(savedCount);
    Code_RestoreArguments(saved);
    return ok;
}

bool Extension_CallDLL(int32_t index, int32_t argc, ScriptValue* args, ScriptValue* result)
{
    if (index < 0 || size_t(index) >= g_functions.size()) return false;
    const CExtensionFunction* f = g_functions[size_t(index)];
    if (f->kind != EXTENSION_FILE_LIBRARY) return false;
    CallLibrary(f, argc < 0 ? 0 : argc, args, result);
    return true;
}

void Extension_InstallHooks()
{
    static const ExtensionHooks hooks = {
        Extension_Function_Find,
        Extension_Function_GetArgCount,
        Extension_Function_GetName,
        Extension_Function_Count,
        Extension_CallDLL,
        [](int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* args, ScriptValue* result) {
            ScriptArguments list{argc, args};
            return Extension_Call(index, self, other, argc, &list, result);
        },
    };
    Function_SetExtensionHooks(&hooks);
}
