// The first rows of the "Interaction.." group: splash and show settings and screens, the
// message, question, input and login dialogs (modal and asynchronous), the high-score table,
// the message_* and menu functions the runner accepts without carrying them out, and the file
// dialogs; 65 rows in the group's order (the keyboard, mouse and joystick rows of
// Function_Interaction.cpp follow them).
//
// Numbers given where a text is shown are formatted as whole numbers when they are integral
// and fit in 32 bits, else with two decimals (any length). Dialogs leave full screen first; the
// modal ones and most others clear the input afterwards (IO_Clear), so the key or click that
// closed them does not reach the game.
//
// Needs the dialogs, the high-score table, the splash screens and the file dialogs
// (Files/Debug), the error reporter, the input state, the run state (score) and the file
// layer's allowed-file lists. No Linux/ file.
#pragma once

#include <cstdint>
#include <string>

// Registers the 65 rows with Function_Add.
void InitFunctions_InteractionDialogs();
// The high-score and dialog rows of the "Action.." group (action_highscore_clear).
void InitFunctions_DialogActions();

// A number as show_message shows it: "%d" for an integral value within 32 bits, else "%.2f".
std::string Dialog_FormatNumber(double x);
