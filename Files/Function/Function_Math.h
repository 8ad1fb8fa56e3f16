// The maths, random-number and string built-in functions of ZBL (Function_Math.cpp and
// Function_String.cpp).
#pragma once

// Registers the group "Math..": the maths and random functions, then the string functions,
// through Function_Add. InitFunctions_Math (the start-up's registrar, Runner_Services.h) calls
// it.
void Function_Math_Init();

// The string family's part of the group (called by Function_Math_Init).
void Function_String_Register();
