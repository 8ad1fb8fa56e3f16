// Start-up and shutdown of the high-score table and the remote debugger (Debug_Main.h).
#include "Files/Debug/Debug_Main.h"

#include "Files/Debug/Score.h"

void HighScore_Clear() { Score_Clear(); }
void HighScore_Load() { Score_Load(); }
void HighScore_SaveIfChanged() { Score_SaveIfChanged(); }
// Stands in for: remote-debugger start-up (empty by design).
void Debug_InitRemoteInterface() {}
