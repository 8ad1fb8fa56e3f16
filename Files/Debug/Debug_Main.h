// Start-up, wiring and shutdown of the high-score table and the debugging aids: the overlay
// and profiler (Debug_Overlay.h), the debug form (Debug_Form.h) and its window, the remote
// debugger (Debug_Net.h).
#pragma once

struct WorldHooks;

// Fills the ten places with the empty-entry name and 0 (start-up, before the file is read).
void HighScore_Clear();
// Loads "hiscore.dat" from the save area (once the save area is known).
void HighScore_Load();
// Writes "hiscore.dat" when the table changed (shutdown).
void HighScore_SaveIfChanged();

// The graphics layer's overlay hooks (the profiler's frame, the overlay, the statistics at
// shutdown) and the world's debugging hooks (profiler markers, the debug form's life cycle and
// refresh, the once-a-frame poll). Run by the start-up wiring.
void Debug_InstallHooks(WorldHooks& hooks);
// Once a frame, paused or not: the remote debugger, then the debug form's window.
void Debug_FramePoll();
// Forgets the debug form, the remote debugger's server, the overlay's statistics and the
// scratch instance (a reset of the runtime, tests).
void Debug_Reset();
// Shutdown, before the device goes: the form's window, the remote debugger, the scratch
// instance.
void Debug_Shutdown();
