// The "Interaction.." group of built-in functions: the keyboard, mouse and joystick rows
// (keyboard_*, mouse_*, joystick_*, io_clear, io_handle, device_mouse_dbclick_enable,
// keyboard_wait, mouse_wait), registered in the group's order after the splash, show, message,
// dialog, file-dialog and high-score rows of Function_Dialog.h (102 rows in all).
//
// Arguments: key codes, buttons and joystick numbers are rounded to integers (halves to
// even); a text where a number is expected counts as 0. The functions that pump first drain
// the window's events (ProcessMessages). The waits return when the game is closed, and at
// once while input is played back (the window's input does not reach the game then).
//
// Needs the input state (Files/IO/IO_Input.h), the joysticks (Files/IO/IO_Joystick.h), the
// window host (injected keys, direct key state, Num Lock) and the timer.
#pragma once

// Registers the group's rows with Function_Add (Function_Dialog.h's first).
void InitFunctions_Interaction();
// The setting of device_mouse_dbclick_enable (kept; nothing reads it).
bool Interaction_MouseDoubleClickEnabled();
