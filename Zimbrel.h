// The program entry and start-up: the order in which subsystems start and stop, the host of
// the main loop, the folders of the run, the files moved at start ('@' names) and the
// registration of the built-in functions. Linux/ZimbrelMainM.cpp calls Zimbrel_Main;
// Linux/ZimbrelM.cpp backs the host parts (the executable's path, the current folder's files).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files/Base/QuitRequest.h"

// Runs the runner with the process arguments; returns the process exit code: 0 when the game
// ran, 1 when there was no game file or it could not be started.
int Zimbrel_Main(int argc, char** argv);

// ---- Start-up steps -------------------------------------------------------------------------
// Moves the current folder's files whose names hold '@' into the folders their names spell.
void Main_MoveAtFiles();
bool Main_InitPlatform();
// The start-up steps, from reading the game file to starting the game. False when a step
// failed (the game is then not running).
bool Main_Startup();
bool Main_DoTheWork();
bool InitGraphics();
bool PrepareGame();
// Test tooling: replaces the function of preparation step index (0 extensions, 1 constants,
// 2 scripts, 3 time lines, 4 objects, 5 rooms, 6 waves); null restores it.
void PrepareGame_OverrideStep(int index, bool (*run)());
// The drain (Timing_PumpEvents): the window's events, then the quit requests. Also the
// virtual machine's drain every 4,096th branch.
void ProcessMessages();
// A quit request: the window was closed (a signal's handler takes its own). What it means is
// decided where it is taken, by the stage it came in (Files/Base/QuitRequest.h): while the
// game loads it ends the run at once. Once the game plays (its start and its frames) the first
// request ends the main loop, and no further step starts; the code running when it came goes
// on, its waits ended, and only code still running kQuitEventGrace after it is stopped. The
// game's end events then run their code, after a signal for kQuitEndGrace at most. A request
// once they run (whoever began them: a request, game_end, the frame limit), unless within
// kQuitSameRequest of a first one, ends the run at once in order (running code stops, no later
// game code runs, the shutdown follows: Main_RequestExit, 128 + the first signal's number as
// the code).
void Main_Quit();
// The quit check run after every pump: each signal's request is named in the log, and what the
// requests taken meant is acted on: the main loop ends; once the run is to end at once or the
// quit request is raised (the grace ran out) the running code is told to stop
// (Code_AbortRunning) and no more of it runs.
void Main_CheckQuit();
void Main_StopInput();
// The display was lost while the game played (installed as the window layer's display-lost
// hook; it runs inside the display call that found it out, and the process ends after it):
// writes the high-score table, the INI files and other files the game holds open, removes the
// run's temporary folder and closes the logs. The game's end events do not run.
void Main_DisplayLost();
void Main_Finalise();
// Ends the main loop: the quit that the window layer turns into its own quit event.
void Main_PostQuit();

// ---- Folders of the run ---------------------------------------------------------------------
// The program folder: the game file's folder with a trailing '/', computed once from the game
// file name at the first call ("/" when the name has no folder).
const char* Main_ExeDirectory();
// The executable's full path (computed once).
const char* Main_ExePath();
// The save area: the data folder of the user plus the game's name, or the configuration
// folder when the header asks for roaming (computed once; null when no home is known).
const char* Main_SaveDirectory();
// Forgets the cached folders (tests).
void Main_ResetFolders();

// ---- Files moved at start -------------------------------------------------------------------
// The move of one '@' name: the folders to make, in order, and the target name. False when
// the name has no '@' or would leave the current folder (an empty, "." or ".." component).
bool Main_AtFileTarget(const std::string& name, std::vector<std::string>& folders, std::string& target);

// ---- Host (Linux/ZimbrelM.cpp) --------------------------------------------------------------
// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no file the run
// opens takes the number of the standard input, output or error. First thing in the process.
void MainHost_KeepStandardDescriptors();
// SIGINT, SIGTERM and SIGHUP are taken as quit requests by a handler of our own, and
// SDL is told not to install its own (which only queues a quit event that a game stuck in its
// code never pumps); SIGXFSZ and SIGPIPE are ignored (the write fails instead). Called first
// thing by the entry.
void MainHost_InstallSignalHandlers();
// Starts the thread that asks running code for a drain every tenth of a second, and raises
// the quit request (QuitRequest_Raise) when QuitRequest_Deadline has come.
void MainHost_StartDrainClock();
// The run's stage for the quit (QuitRequest_SetStage); from Ending on, the quit request is
// cleared first, under the clock's lock, so that no raise made for the stage before reaches
// the new one.
void MainHost_SetQuitStage(QuitStage stage);
// After the orderly shutdown of a run that a signal ended: the process ends by that signal
// (its default action), as callers such as a shell expect. Nothing when no signal came.
void MainHost_EndBySignal();
// The executable's path from /proc/self/exe ("" when it cannot be read).
std::string MainHost_ExecutablePath();
// The plain files of the current folder that may be moved: regular files, not hidden (no
// leading '.') and not read-only (the owner's write bit is set).
std::vector<std::string> MainHost_MovableFiles();
// Makes one folder (an existing one is fine); renames a file into folders of the current
// folder, never over a file. Neither goes through a link on the way (the current folder may
// be a user's, the run root's). Failures are ignored by callers.
bool MainHost_MakeFolder(const std::string& path);
bool MainHost_Rename(const std::string& from, const std::string& to);
