// What the world benchmarks share: the script language and the game built-ins made ready once,
// then an empty world (globals, run state, hooks, object table, rooms) for each new game.
// Header only; bench_world.cpp and bench_objects.cpp include it.
#pragma once

#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Function/Function_World.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Variable/Variable_World.h"
#include "Files/World/World_Hooks.h"

inline void Bench_EmptyWorld()
{
    static bool once = false;
    if (!once) {
        once = true;
        Code_Compiler_Init();
        Code_Constant_Init();
        InitFunctions_Game();
        Function_Resource_Register();
        Variable_BuiltIn_Init();
        World_RegisterVariables();
    }
    Code_Error_SetShowErrors(false);
    Variable_Global_Init();
    Run_Global_Init();
    World_Hooks() = WorldHooks();
    Object_InitHash();
    Room_FreeAll();
}
