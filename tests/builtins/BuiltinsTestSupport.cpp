#include "builtins/BuiltinsTestSupport.h"

#include "Files/Function/Function_DS.h"
#include "Files/Function/Function_Math.h"
#include "Files/Function/Function_Misc.h"

void BuiltinsTest::Register()
{
    Function_Misc_FreeExecuteCache();
    Function_Misc_SetEventHooks(nullptr);
    Function_Math_Init();
    Function_DS_Init();
    Function_Misc_Init(false);
}

void BuiltinsTest::TearDown()
{
    Function_Misc_FreeExecuteCache();
    Function_Misc_SetEventHooks(nullptr);
    BuiltinTest::TearDown();
}
