// Placeholders of the high-score table and the remote debugger (Debug_Main.h) until their
// modules land.
#include "Files/Debug/Debug_Main.h"

// Stands in for: fills the ten places with "<nobody>" and 0.
void HighScore_Clear() {}
// Stands in for: loads "hiscore.dat".
void HighScore_Load() {}
// Stands in for: writes "hiscore.dat" when the table changed.
void HighScore_SaveIfChanged() {}
// Stands in for: remote-debugger start-up (empty by design).
void Debug_InitRemoteInterface() {}
