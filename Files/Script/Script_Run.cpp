// Compiling or binding the scripts when the game is prepared, and Script_Execute.
#include "Files/Script/Script_Main.h"

#include <cstdio>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Load.h"

bool Script_Prepare()
{
    // Byte code carries no globalvar declaration: the names the file declares are declared
    // here, where compiling the source would declare them, before any code runs.
    if (Code_Table_Present()) Code_DeclareGlobals();
    for (int32_t i = 0; i < Script_Count(); ++i) {
        CScript* s = Script_Data(i);
        if (!s) continue;
        delete s->m_pCode;
        s->m_pCode = nullptr;
        if (Code_Table_Present()) {
            s->m_pCode = new CCode(s->m_codeIndex, false);
            continue;
        }
        s->m_pCode = new CCode(s->GetText(), false);
        char name[256];
        std::snprintf(name, sizeof name, "Script.%s", s->m_pName);
        if (!s->m_pCode->Compile(name)) {
            std::string text = std::string("COMPILATION ERROR in Script: ") + s->m_pName + "\n" +
                               (Code_Error_GetText() ? Code_Error_GetText() : "");
            Code_Error_Show(text.c_str(), true);
            return false;
        }
    }
    return true;
}

bool Script_Execute(int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* result,
                    const ScriptArguments* args)
{
    CScript* s = Script_Data(index);
    if (!s) return false;
    ScriptValue saved[16];
    Code_SaveArguments(saved);
    int32_t n = argc < 0 ? 0 : argc > 16 ? 16 : argc;
    if (!args) n = 0;
    else if (args->count < n) n = args->count < 0 ? 0 : args->count;
    Code_FillArguments(n, args ? args->values : nullptr);
    // The script sees its own argument count, as a script called from byte code does.
    int32_t savedCount = Code_GetArgumentCount();
    Code_SetArgumentCount(n);
    bool ok = Code_ExecuteValue(self, other, s->m_pCode, result);
    if (!ok) Code_Error_InScript(Script_GetName(index));
    Code_SetArgumentCount(savedCount);
    Code_RestoreArguments(saved);
    return ok;
}
