// Program, window and clipboard built-ins of the "Misc.." group: set_program_priority,
// set_application_title, window_handle, clipboard_has_text, clipboard_get_text,
// clipboard_set_text (Function_Program.cpp); and the 30 tablet-platform functions (win8_*),
// which this platform does not have, registered in the "Kovrin.." group by InitFunctions_Tile.
//
// The host side (Linux/Function_MiscM.cpp): the scheduling priority of the calling thread
// (setpriority) and the text clipboard (SDL's while the video system is up, else a store of
// this process).
#pragma once

#include <cstdint>
#include <string>

// Registers the program, window and clipboard built-ins (Function_Misc_Init calls it).
void Function_Program_Register();
// Registers the win8_* names, each bound to a stub that writes "Windows8 functionality not
// supported\n" to the debug console and returns 0.
void Function_Program_RegisterTablet();

// The nice value that stands for a program priority (-3 idle .. 3 real time, rounded; any
// other value counts as 0): -3 -> 19, -2 -> 10, -1 -> 5, 0 -> 0, 1 -> -5, 2 -> -10, 3 -> -20.
int32_t Program_NiceOfPriority(int32_t priority);

// What set_program_priority calls with the nice value (tests install a recorder; null
// restores the host's). Its answer is ignored: raising the priority needs rights the player
// may not have.
using PriorityHook = bool (*)(int32_t nice);
void Program_SetPriorityHook(PriorityHook hook);

// ---- Host (Linux/Function_MiscM.cpp) ---------------------------------------------------------
// Sets the nice value of the calling thread; false when the system refuses.
bool SystemHost_SetNice(int32_t nice);
// The text clipboard. After a text was put there, HasText is true even for an empty text.
bool SystemHost_ClipboardHasText();
std::string SystemHost_ClipboardGetText();
void SystemHost_ClipboardSetText(const char* text);
