// The high-score table and the remote debugger: start-up, load and save. Placeholders until
// their modules land (Debug_Main.cpp).
#pragma once

// Fills the ten places with "<nobody>" and 0.
void HighScore_Clear();
// Loads "hiscore.dat".
void HighScore_Load();
// Writes "hiscore.dat" when the table changed.
void HighScore_SaveIfChanged();
// Start-up of the remote debugger (empty by design).
void Debug_InitRemoteInterface();
