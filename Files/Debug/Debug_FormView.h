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

// Once a frame (and while the machine waits at a break): shows, hides and draws the form's
// window after the model; does nothing without a display.
void DebugFormView_Frame();
// The pump's filter: true when the event belonged to the form's window (it takes it).
bool DebugFormView_Filter(const SDL_Event& e);
// The form's window id (0 when none), for the tests.
uint32_t DebugFormView_WindowId();
// Closes the form's window and its context.
void DebugFormView_Shutdown();
