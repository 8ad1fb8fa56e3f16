// Extension packages: named groups of files, each a native library whose functions the game
// calls through the external-call layer (Files/DLL/DLL.h), or ZBL code whose functions
// run as code; files also carry constants and the names of an initialisation and a
// finalisation function. Extension functions have ids of their own (their index in one table,
// in the order they were added); the compiler names them 500000 + id.
//
// Loading: the game file's "EXTN" chunk is accepted and its packages are not read (the record
// layout of this runner's game files does not describe them); packages are added through
// Extension_AddPackage and its companions, which a loader of the records would fill.
//
// Preparation (Extension_Prepare) defines the files' constants, binds the library functions
// (DLL_Define; a function that cannot be bound is logged and answers real 0 when called) and
// compiles the code functions (a failed compile stops the game's preparation). With the
// command-line switch "-ext" the libraries are neither loaded nor called.
//
// Ownership: the package table owns its packages, their files, functions and compiled code.
// Main thread only. Needs the external-call layer, the compiler and execution entry points,
// the constant table, the start-up options, the message box. No Linux/ file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files/Base/Value.h"
#include "Files/DLL/DLL.h"

class CCode;
class CInstance;
class FileImage;
struct ScriptArguments;

// File kinds. ORDER: the kinds the game's package records name.
enum : int32_t {
    EXTENSION_FILE_OTHER = 0,   // carries constants only (its functions cannot be called)
    EXTENSION_FILE_LIBRARY = 1, // a native library
    EXTENSION_FILE_CODE = 2,    // ZBL code
};

struct CExtensionFunction {
    std::string name;           // the name games call
    std::string externalName;   // library files: the library's symbol; code files: unused
    int32_t id = -1;            // index in the extension function table
    int32_t callType = 0;       // 1 stdcall, else cdecl (one convention on x86-64)
    int32_t argCount = 0;       // library files: 0..16; code files: -1 = any number
    int32_t argKinds[DLL_MAX_ARGUMENTS] = {}; // DLL_KIND_REAL or DLL_KIND_STRING
    int32_t resultKind = DLL_KIND_REAL;
    std::string code;           // code files: the function's ZBL text
    int32_t kind = EXTENSION_FILE_OTHER; // of its file
    // Made by Extension_Prepare.
    int32_t definition = -1;    // the external-call definition; -1 none
    CCode* compiled = nullptr;  // owned
};

struct CExtensionConstant {
    std::string name, value; // the value is a constant expression in ZBL
};

struct CExtensionFile {
    std::string filename;      // the library's name as the game gives it ("x.dll")
    int32_t package = 0;       // its package's place in the package table
    int32_t position = 0;      // its place in its package
    int32_t kind = EXTENSION_FILE_OTHER;
    std::string initFunction, finalFunction; // names of extension functions; empty = none
    std::vector<CExtensionFunction*> functions; // owned
    std::vector<CExtensionConstant> constants;
};

struct CExtensionPackage {
    std::string name;
    std::vector<CExtensionFile*> files; // owned
};

// ---- Loading and building --------------------------------------------------------------------
// The "EXTN" chunk [begin, end): accepted (a list chunk the dispatcher has checked); the
// packages it lists are not read. Always true.
bool Extension_Load(const FileImage& image, uint32_t begin, uint32_t end);
CExtensionPackage* Extension_AddPackage(const char* name);
CExtensionFile* Extension_AddFile(CExtensionPackage* package, const char* filename, int32_t kind,
                                  const char* initFunction = "", const char* finalFunction = "");
// A function of the file (given the next id). argKinds may be null (all real); code is the
// ZBL text of a code file's function. A name found by Extension_Function_Find is the first
// function of that name in package order (packages, their files, the files' functions, each
// in the order added), whatever the order of the additions.
CExtensionFunction* Extension_AddFunction(CExtensionFile* file, const char* name, const char* externalName,
                                          int32_t callType, int32_t argCount, const int32_t* argKinds,
                                          int32_t resultKind, const char* code = "");
void Extension_AddConstant(CExtensionFile* file, const char* name, const char* value);
int32_t Extension_PackageCount();
CExtensionPackage* Extension_Package(int32_t index);
// Frees every package (and each library function's definition); no extension functions remain.
void Extension_Free();

// ---- Preparation, start and end of the game ---------------------------------------------------
// Defines every file's constants (an invalid name fails), binds library functions and compiles
// code functions (a compile error is shown and fails). False gives the start-up's "Failed to
// prepare extension packages.".
bool Extension_Prepare();
// Runs every file's initialisation function, in package and file order. False, after
// showing "Could not locate initialization function %s", when one is not an extension
// function; then the game does not start.
bool Extension_RunInitFunctions();
// Runs every file's finalisation function; a missing one shows "Could not locate
// finalization function %s" and the others still run. True when all were found.
bool Extension_RunFinalFunctions();

// ---- Function ids -------------------------------------------------------------------------------
// The lowest id of an extension function of that name (ids count up as functions are added,
// so this is the first one added); -1 when none. A hash look-up.
int32_t Extension_Function_Find(const char* name);
// The argument count of the function with that id; -100 when there is none.
int32_t Extension_Function_GetArgCount(int32_t id);
// The name of the function with that id; null when there is none.
const char* Extension_Function_GetName(int32_t id);
int32_t Extension_Function_Count();

// ---- Calls ------------------------------------------------------------------------------------
// Calls extension function index for self and other with argc arguments (at most 16 are
// passed). False for an index outside the table. Library functions: called with the values
// and the result (nothing with "-ext"), true. Code functions: the 16 argument slots are
// saved, the arguments copied into slots 0..count-1 and the rest set to real 0, the code runs
// with Code_ExecuteValue, a failure replaces the error text with "In extension function %s:
// \n%s" (at most 1023 characters), the slots come back; answers the execution's result. A
// code function without compiled code, or a function of another kind of file, gives false.
bool Extension_Call(int32_t index, CInstance* self, CInstance* other, int32_t argc, const ScriptArguments* args,
                    ScriptValue* result);
// Calls a library function only: false, nothing done, for any other index or kind.
bool Extension_CallDLL(int32_t index, int32_t argc, ScriptValue* args, ScriptValue* result);
// Installs the function table's extension hooks (find, counts, names, calls).
void Extension_InstallHooks();
