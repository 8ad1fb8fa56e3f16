// The wiring of the modules at start-up: what the lower layers reach through hooks is filled
// here from the modules above them (the world's sprites, backgrounds, surfaces, particles,
// input and physics; the event built-ins' dispatch; the compiler's resource names), and the
// registration of every built-in function group in its fixed order.
//
// Needs: every module that fills a hook or registers built-ins. No Linux/ file.
#pragma once

struct WorldHooks;

// Fills every world hook from the modules of this build; run at start-up after the run state
// is reset (Run_Global_Init); tests replace single hooks afterwards.
void World_InstallDefaultHooks();
// The services' part of them: sockets, Steam, online services, extension packages.
void World_InstallServiceHooks(WorldHooks& hooks);
// Registers every built-in function group (logging "HighScore..", ... "Fini"); a second call
// in the same process only logs the lines.
void InitZBLFunctions();
// The runner's built-in constants: the script language's, then the online services' 52.
void Runner_InitConstants();
