// The Steam integration's start, per-step callbacks and shutdown. Steam starts when the game
// asks for it (the "-steam" switch or the header's Steam flag) and the Steam client library
// can be loaded: "libsteam_api.so", found by the system's library search (the Steam runtime
// puts it on the search path). Without the library Steam stays off and says so once; the
// game runs on. With it, the game's Steam application id is written to "steam_appid.txt" in
// the program folder (what the library reads when the game was not started by Steam), then
// the library's own start-up decides.
//
// Main thread only. Needs the external-call layer's library loading (Files/DLL/DLL.h),
// the start-up options, the header, the program folder, the file layer and the log console.
// No Linux/ file of its own (Files/DLL/Linux/DLLM.cpp loads the library).
#pragma once

#include <cstdint>

// Starts Steam when the start-up options ask for it; true when it started.
bool Steam_Init();
bool Steam_Started();
// Once per step while Steam runs: the library's callbacks.
void Steam_RunCallbacks();
// When Steam was started: logs "Steam_Shutdown\n" and shuts it down; otherwise nothing.
void Steam_Shutdown();
// Test tooling: the library loaded instead of "libsteam_api.so" (null restores it).
void Steam_SetLibraryName(const char* name);
