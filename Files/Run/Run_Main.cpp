// Placeholders of the run loop until the game-world module lands: the game starts, and the
// first frame ends it (there is no world to run yet).
#include "Files/Runner/Runner_Services.h"
#include "Files/Runner/Runner_CommandLine.h"
#include "Files/Base/Console.h"

// Stands in for: the run-state globals of platform start-up.
void Run_Global_Init() {}
// Stands in for: frees the run loop's arrays.
void Run_FreeArrays() {}
// Stands in for: frees the library initialisation texts.
void Library_FreeInitCode() {}
// Stands in for: starts the game.
void Run_StartGameLoop() { g_StartupOptions.running = 1; Console_Output("Entering main loop.\n"); }
// Stands in for: one frame; ends the game at once.
void Run_Frame() { g_StartupOptions.running = 0; }
// Stands in for: ends the game (room end, extension finalisers).
void EndGame() {}
