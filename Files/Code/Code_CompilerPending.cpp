// Stand-ins for two entries of the virtual-machine module that the compiler's tree
// interpreter calls, until that module lands on this branch: Script_Execute (runs a script's
// code through the tree interpreter with the arguments saved and restored) and VM_Execute
// (runs nothing). Removed when the machine's own definitions arrive.
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/VM.h"
#include "Files/Script/Script_Main.h"

void VM_Execute(const char*, CInstance*, CInstance*, VMBuffer*, ScriptValue*, VMBuffer*, const char*) {}

bool Script_Execute(int32_t index, CInstance* self, CInstance* other, int32_t argc, ScriptValue* result,
                    const ScriptArguments* args)
{
    CScript* s = Script_Data(index);
    if (!s || !s->GetCode()) return false;
    ScriptValue saved[16];
    Code_SaveArguments(saved);
    Code_FillArguments(argc > 16 ? 16 : argc, args ? args->values : nullptr);
    const CodeCompilerHooks* hooks = Code_GetCompilerHooks();
    int32_t status = hooks->execute ? hooks->execute(s->GetCode(), self, other, result) : -1;
    Code_RestoreArguments(saved);
    if (status == -1) {
        Value_SetString(result, "ERROR");
        return false;
    }
    return true;
}
