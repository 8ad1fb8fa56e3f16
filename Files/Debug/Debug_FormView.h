// The debug form's view: the form drawn with Dear ImGui in a window of its own beside the
// game window (an SDL window with its own OpenGL context), with its menu, toolbar, watch
// lists, status lines and information windows; the questions of its commands (add or change a
// watch, show an instance's variables) asked inside that window. Without a real display there
// is no view and the form is only its model.
//
// Backed by Files/Debug/Linux/Debug_FormM.cpp (SDL, Dear ImGui, OpenGL 2).
#pragma once

#include <cstdint>

union SDL_Event;
struct SDL_Window;

// Once a frame (and while the machine waits at a break): shows, hides and draws the form's
// window after the model; does nothing without a display.
void DebugFormView_Frame();
// The pump's filter for the pointer and window events: true when the event belonged to the
// form's window (it takes it). Keys are the dialog host's to route (DebugFormView_TakeKey).
bool DebugFormView_Filter(const SDL_Event& e);
// The keyboard: the form holds it once the player clicked into its window (until a click into
// another window of the runner), and while it asks one of its questions; what is typed then
// is the form's whatever window of the runner it came to, even typed ahead before the click
// was handled. The dialog host decides (Files/Debug/Linux/Dialog_HostM.cpp).
bool DebugFormView_HasKeyboard();
void DebugFormView_SetKeyboard(bool held);
bool DebugFormView_Asking();
// A key or text event for the form (queued with its window's input, in the order it came).
void DebugFormView_TakeKey(const SDL_Event& e);
// The form's window while it is shown; null otherwise.
SDL_Window* DebugFormView_Window();
// The form's window id (0 when none), for the tests.
uint32_t DebugFormView_WindowId();
// Closes the form's window and its context.
void DebugFormView_Shutdown();
