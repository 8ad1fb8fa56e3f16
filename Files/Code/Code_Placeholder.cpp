// Placeholders of the compiler's tables until the compiler module lands: the constant table
// (built-in constants at start-up, the game's constants when it is prepared) and the release
// of the compiler's code.
#include "Files/Runner/Runner_Services.h"

// Stands in for: registers the built-in constants.
void Code_Constant_Init() {}
// Stands in for: defines the game's constants (options chunk).
bool Code_Constant_Prepare() { return true; }
// Stands in for: frees the constant table.
void Code_Constant_Free() {}
// Stands in for: frees the compiler's code (phase-4 state).
void Code_Free() {}
