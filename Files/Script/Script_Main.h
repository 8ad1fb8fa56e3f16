// Scripts: named pieces of ZBL that other code calls like functions, with up to 16 arguments
// read through argument0 to argument15. The script table (from the game file's "SCPT" chunk),
// the CScript resource, compiling or binding every script when the game is prepared, lookups
// by index and name, and Script_Execute (the tree interpreter's, script_execute's and
// extension code's way of running a script; the byte-code machine runs scripts on its own
// frames).
//
// Needs: the code units (CCode), the execution entry points, the error reporter, the game
// file reader.
#pragma once

#include <cstdint>

#include "Files/Base/Value.h"

class CCode;
class CInstance;
class CStream;
class FileImage;

class CScript {
public:
    CScript() = default;
    virtual ~CScript();
    CScript(const CScript&) = delete;
    CScript& operator=(const CScript&) = delete;

    CCode* GetCode() const { return m_pCode; }
    // The script's source text (the empty text for a game with byte code, whose scripts carry
    // a code-table index instead).
    const char* GetText() const;

    CStream* m_pStream = nullptr; // owned; none of the loaders sets it
    CCode* m_pCode = nullptr;     // owned
    char* m_pText = nullptr;      // owned source text (games without byte code)
    int32_t m_codeIndex = -1;     // code-table index (games with byte code)
    char* m_pName = nullptr;      // owned copy
};

// Arguments handed to Script_Execute.
struct ScriptArguments {
    int32_t count;
    const ScriptValue* values;
};

// Empties the table and gives the script language its view of the scripts
// (Code_SetScriptAccess; loading or adding a script gives it too).
void Script_Init();
// Reads the "SCPT" chunk, the bytes [begin, end) of the image: u32 count, count u32 entry
// offsets (0 = empty slot); each entry: u32 name offset, u32 code-table index (games with
// byte code, Code_Table_Present) or source text offset. False on malformed data.
bool Script_Load(const FileImage& image, uint32_t begin, uint32_t end);
// Adds a script at the end of the table (test tooling and the game packer's checks): its
// source text (copied) or its code-table index when text is null. Returns its index.
int32_t Script_Add(const char* name, const char* text, int32_t codeIndex);
// Binds (byte code) or compiles (source) every script; false after the first failure, which
// is shown as "COMPILATION ERROR in Script: %s\n%s".
bool Script_Prepare();
void Script_Free();
bool Script_Exists(int32_t index);
const char* Script_GetName(int32_t index);
int32_t Script_Find(const char* name);
CScript* Script_Data(int32_t index);
int32_t Script_Count();
// Runs script index for self and other with the given arguments (at most 16 are passed);
// the caller's arguments are restored afterwards. False for a missing script or a failed run
// (result "ERROR", the current error text prefixed "In script %s:\n" by Code_Error_InScript).
bool Script_Execute(int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* result,
                    const ScriptArguments* args);
