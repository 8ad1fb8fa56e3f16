#include "code/CodeTestSupport.h"

void ResetScriptState()
{
    Code_Error_Reset();
    Code_Error_ClearRecorded();
    Code_Error_SetText(nullptr);
    Code_SetCompilerHooks(nullptr);
    Script_Free();
    Code_Table_Free();
    VM_StringTable_Free();
    Function_Free();
    Function_SetExtensionHooks(nullptr);
    Function_SetRelative(0);
    Variable_Free();
    Variable_Global_Init();
    Variable_SetUnsetReadsZero(false);
    Code_Variable_Free();
    Code_FreeArguments();
    Code_SetArgumentCount(0);
    Run_SetActiveList(nullptr);
    Run_ClearObjectChanges();
    Instance_FreeAll();
    Object_InitHash();
    VM_CompareEpsilon = 0.00001;
}

LogCapture::LogCapture() : m_previous(Console_Get()) { Console_Set(&m_console); }
LogCapture::~LogCapture() { Console_Set(m_previous); }
