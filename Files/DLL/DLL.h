// External calls: functions of native libraries that games define by library and function
// name and then call with reals and strings (external_define / external_call).
//
// A game names a Windows library ("x.dll", possibly in a folder). It is looked for as a native
// shared library of the same name: "libx.so", then "x.so", in the game's save area, then its
// program folder (names matched ignoring case), and, for a name without a folder, through the
// system's library search. A library that exists only as a Windows DLL cannot be loaded, so
// its definitions fail. The stdcall and cdecl conventions are one convention on x86-64.
//
// Definitions are kept in one table; an id is never handed out twice, so the id of a freed
// definition stays invalid. Main thread only.
//
// DLL.cpp holds the tables, the name search and the argument conversion; Linux/DLLM.cpp the
// dlopen/dlsym/dlclose and libffi calls.
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

constexpr int32_t DLL_MAX_ARGUMENTS = 16;
// Argument and result kinds.
enum : int32_t { DLL_KIND_REAL = 0, DLL_KIND_STRING = 1 };

// Loads the library (once per name), finds the function by its name (or, for callType 1, the
// stdcall-decorated "_name@bytes"), and stores a definition of argCount arguments (0..16) of
// the given kinds (DLL_KIND_STRING or real). Returns the definition's id, or -1 when anything
// fails (nothing is stored then).
int32_t DLL_Define(const char* library, const char* function, int32_t callType, int32_t argCount,
                   const int32_t* argKinds, bool resultIsString);
// Calls definition id with argc arguments: false, result untouched, when the id is unknown or
// freed or argc differs from the definition's count. Strings are passed as copies (null-free:
// a real given for a string passes ""; a string given for a real passes its real field); a
// string result is copied (a null result gives the empty string).
bool DLL_Call(int32_t id, int32_t argc, const ScriptValue* args, ScriptValue* result);
// Unloads the library of that name (once) and forgets every definition of it.
void DLL_Free(const char* library);
// Unloads everything (shutdown, tests).
void DLL_FreeAll();

// ---- Platform part (Linux/DLLM.cpp) ---------------------------------------------------------
// A loaded library from a path (or a bare name for the system search), or null.
void* DLLM_Open(const char* path);
// The address of a symbol, or null.
void* DLLM_Symbol(void* library, const char* name);
void DLLM_Close(void* library);
// Calls function with argc arguments: kinds[i] DLL_KIND_STRING passes texts[i] (const char*),
// anything else reals[i] (double). A string result is stored in *outText, else the real in
// *outReal. False when the call could not be prepared.
bool DLLM_Call(void* function, int32_t argc, const int32_t* kinds, const double* reals, const char* const* texts,
               bool resultIsString, double* outReal, const char** outText);
