// Registrars of the built-ins over the game world that live in their own files: game save and
// load (Function_Save.cpp), motion planning (Function_Motion.cpp), the resources changed at run
// time (rooms, tiles, paths, objects, time-line moments, asset types, scripts:
// Function_Resource.cpp) and the window and device readers (Function_Device.cpp). Each is
// called from its group's registrar (Function_Game.cpp, Function_Registrars.cpp).
#pragma once

void Function_Save_Register();          // "Game.."
void Function_Save_RegisterActions();   // "Action.."
void Function_Motion_Register();        // "Game.."
void Function_Resource_Register();      // "Resource.."
void Function_Device_Register();        // "Game.."
void Function_Device_RegisterActions(); // "Action.."
