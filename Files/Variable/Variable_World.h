// Registration of the game world's built-in variables, in their fixed order: the instance
// rows (Variable_Instance.cpp), then the game rows, which begin with the script arguments
// (Variable_Global.cpp). Run once at start-up, after Variable_BuiltIn_Init.
#pragma once

void Variable_BuiltIn_InitInstance();
void Variable_BuiltIn_InitGlobal();
// Both, in that order.
void World_RegisterVariables();
