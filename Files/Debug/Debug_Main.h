// Start-up and shutdown of the high-score table and the remote debugger.
#pragma once

// Fills the ten places with the empty-entry name and 0 (start-up, before the file is read).
void HighScore_Clear();
// Loads "hiscore.dat" from the save area (once the save area is known).
void HighScore_Load();
// Writes "hiscore.dat" when the table changed (shutdown).
void HighScore_SaveIfChanged();
// Start-up of the remote debugger (empty by design).
void Debug_InitRemoteInterface();
