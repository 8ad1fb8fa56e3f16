// The "Gamepad.." group of built-in functions (gamepad_*), over the pad table of
// Files/IO/IO_Gamepad.h. Device indices and button and axis numbers are rounded to integers
// (halves to even); button and axis numbers go through the gp_* translation. A device outside
// the table gives 0 (or the empty text) without a message. The button, axis and vibration
// functions report once per run that gamepad support is missing when the back end did not
// start, then go on (pads read as unconnected).
#pragma once

// Registers the 16 rows with Function_Add, then starts the pads (XInput_Init).
void InitFunctions_Gamepad();
