// What the ZBL benchmarks share: the script language made ready as start-up makes it (the
// built-in variable and constant tables, the globals, the machine, the compiler, the maths and
// string built-ins) with one instance to run code for. Header only; bench_*.cpp include it.
#pragma once

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/VM.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Function/Function_Math.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"

// The first call makes everything ready and the instance (id 100001, no object); later calls
// give the same instance.
inline CInstance* Bench_ScriptInstance()
{
    static CInstance* self = nullptr;
    if (self) return self;
    Object_InitHash();
    Variable_BuiltIn_Init();
    Variable_BuiltIn_RegisterArguments();
    Variable_Global_Init();
    VM_Init();
    Code_Compiler_Init();
    Code_Constant_Init();
    Function_Math_Init();
    Code_Error_SetShowErrors(false);
    self = new CInstance(0, 0, 100001, -1, false);
    return self;
}
