// The choice of the dialog and message-box hosts, made once at start-up (Files/Base/
// DialogHost.h and Files/Base/Console.h hold the interfaces).
//
// With a real display (SDL's video starts with a driver other than "offscreen" or "dummy"):
// the on-screen host. Before the game window and its device exist, a dialog gets a plain
// window of its own and a message box is SDL's; once the window is attached, dialogs and
// message boxes are drawn inside the game window over the last game frame (Dear ImGui through
// the runner's own device and vertex batch) when it holds them at their own size and shows
// its picture unscaled, else each in a window of its own over the game's; modal ones in a loop of their own (the window
// still moves, resizes and closes; closing gives the dialog's answer for a closed dialog),
// modeless ones over every frame, taking the input first while they have the focus.
// Without a display: the scripted host (ZIMBREL_DIALOG_SCRIPT) and message boxes on stderr
// with their default answer.
//
// Main thread only. Backed by Files/Debug/Linux/Dialog_HostM.cpp (SDL, Dear ImGui).
#pragma once

// Chooses and installs the hosts; true for the on-screen host.
bool Dialogs_InstallHosts();
// The game window and its device are up: dialogs and message boxes are drawn in it from now
// on (nothing without the on-screen host).
void Dialogs_AttachWindow();
// Once a frame, after the game's: draws the modeless dialog when it has a window of its own
// (one the game window cannot hold), and gives it its input.
void Dialogs_Frame();
// Before the device goes: the on-screen host lets go of its textures, the window's hooks and
// its context; the scripted host and the stderr message boxes are back.
void Dialogs_Shutdown();
