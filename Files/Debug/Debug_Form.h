// The debug form: in debug mode ("-debug", or the options.ini "Debug" key) the game's author
// runs, pauses, single-steps, restarts and stops the game, keeps watch expressions with their
// values, and opens information windows on the global variables, the room's instances, the
// variables of one instance and the trace messages. Layout and watches persist in "Debug.ini"
// in the save area.
//
// This is the form's model: its state, its commands, its refresh once per step and its
// settings. How it looks is the view's (Files/Debug/Linux/Debug_FormM.cpp: Dear ImGui in a
// window of its own beside the game window); without a display the model still works and
// its questions go to the dialog host (the scripted host in tests).
//
// Watches are compiled once when their text changes and run every refresh with the form's
// scratch instance as self and other, quietly (Files/Debug/Debug_Eval.h); a watch that does not
// compile or fails shows "Unable to evaluate". The trace messages are a ring of the newest
// DEBUGFORM_MESSAGES lines.
//
// Main thread only. Needs the run loop (pause, step, restart, stop), the room and its
// instances, objects and sprites by name, the built-in and user variables, the input state,
// the INI file, the dialog host's input query, the overlay flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Files/Base/Value.h"

// Commands (ORDER: the menu's command ids).
enum : int32_t {
    DEBUGFORM_RUN = 32771, DEBUGFORM_PAUSE = 32772, DEBUGFORM_STEP = 32773, DEBUGFORM_RESTART = 32774,
    DEBUGFORM_STOP = 32775, DEBUGFORM_ADD_WATCH = 32776, DEBUGFORM_DELETE_WATCH = 32777,
    DEBUGFORM_CLEAR_WATCHES = 32778, DEBUGFORM_CHANGE_WATCH = 32779, DEBUGFORM_SHOW_GLOBALS = 32786,
    DEBUGFORM_SHOW_LOCALS = 32787, DEBUGFORM_SHOW_INSTANCES = 32788, DEBUGFORM_SHOW_MESSAGES = 32789,
};

// Information windows (ORDER: the record index; 3..8 are the six Locals windows).
enum : int32_t {
    DEBUGWIN_GLOBALS = 0, DEBUGWIN_INSTANCES = 1, DEBUGWIN_MESSAGES = 2, DEBUGWIN_LOCALS_FIRST = 3,
    DEBUGWIN_LOCALS_LAST = 8, DEBUGWIN_COUNT = 9,
};

constexpr int32_t DEBUGFORM_MESSAGES = 4096;   // trace lines kept (newest first)
constexpr int32_t DEBUGFORM_MESSAGE_UNITS = 4096; // UTF-16 units kept of one line
constexpr int32_t DEBUGFORM_COPY_ROWS = 512;   // rows Ctrl+C copies at most

// One row of a list: globals and locals (name, value), instances (id, object, sprite).
struct DebugRow {
    std::string column[3];
};

struct DebugInfoWindow {
    std::string section;     // its Debug.ini section
    std::string title;
    bool shown = false;
    int32_t rect[4] = {0, 0, 0, 0}; // left, top, right, bottom (the view's pixels); none when right - left < 1
    int32_t instanceId = 0;  // Locals windows: the instance shown
    std::vector<DebugRow> rows;
    int32_t selected = -1;
};

struct DebugWatchRow {
    std::string expression, value;
};

struct DebugFormStatus {
    std::string roomSpeed = "Room Speed: ###", fps = "FPS:###", mouse = "MouseID: ###", instances = "Inst: ###";
    std::string textureSwaps = "Num Tex Swaps:####", vertexBatches = "Num Vertex Batches:####";
};

// ---- Life cycle ----------------------------------------------------------------------------
bool DebugForm_Exists();
// Game start in debug mode: the form (shown), its windows (hidden), "Debug.ini" opened.
void DebugForm_Create();
// Game end: the settings saved, the form destroyed (the game's flags untouched).
void DebugForm_End();
// The form closed by its author while the game goes on: the settings saved, a paused game
// resumed, the form destroyed.
void DebugForm_Close();
// Once per step in debug mode, before an error is shown, after the watch commands: the first
// call loads the settings; then the status lines, the watches and the shown windows.
void DebugForm_Update();
// Writes "Debug.ini" (section "DebugForm" and one per window).
void DebugForm_SaveSettings();
void DebugForm_ShowWindow(bool show);
bool DebugForm_Shown();

// ---- Commands ---------------------------------------------------------------------------------
void DebugForm_Command(int32_t command);
// The "Display FPS" check box.
void DebugForm_SetFpsVisible(bool on);
bool DebugForm_FpsVisible();
// The questions of Add, Change and Show Instance Variables: true and the answer after OK. By
// default the dialog host's input query.
using DebugFormAsk = bool (*)(const char* caption, const char* prompt, const char* def, std::string* answer);
void DebugForm_SetAsk(DebugFormAsk ask);

// ---- Watches ----------------------------------------------------------------------------------
void DebugForm_AddWatch(const char* expression);
int32_t DebugForm_WatchCount();
// The rows of the watch lists (before the first refresh the single row "Expressions").
const std::vector<DebugWatchRow>& DebugForm_WatchRows();
void DebugForm_SelectWatch(int32_t row);
int32_t DebugForm_SelectedWatch();
// Times a watch's text was compiled since the form was made (tests).
int32_t DebugForm_CompileCount();

// ---- Status and windows -------------------------------------------------------------------
const DebugFormStatus& DebugForm_Status();
DebugInfoWindow& DebugForm_Window(int32_t index);
void DebugForm_ShowInfoWindow(int32_t index, bool show);
// A Locals window for the instance with that id, or (for a text that is not "0" and does not
// read as a number) the first active instance of the object of that name.
void DebugForm_ShowLocals(const char* text);
void DebugForm_ShowLocalsOf(int32_t id);
// Double-clicks: a global's name or a local's name becomes a watch; an instance row opens its
// Locals window.
void DebugForm_DoubleClick(int32_t window, int32_t row);
// Where a window without a saved rectangle goes (form at left, top): left + 8n, top + 32n.
void DebugForm_PlaceWindow(int32_t index, int32_t formLeft, int32_t formTop, int32_t* x, int32_t* y);

// ---- Messages -------------------------------------------------------------------------------
// Every trace line while a form exists (the log console's form sink).
void DebugConsole_Output(const char* text);
int32_t DebugForm_MessageCount();
// Row i, newest first.
const std::string& DebugForm_Message(int32_t i);
// The clipboard text of Ctrl+C: the selected rows (at most 512), or all rows when none is
// selected, each UTF-16 unit as its low byte, each row followed by "\n".
std::string DebugForm_CopyMessages(const std::vector<int32_t>& selected);

// ---- Values -------------------------------------------------------------------------------------
// A string's text; a real as "%d" when within 1e-12 of an integer, else with 2, 4, 6 or 8
// decimals when that many hold it within 1e-12, else "%10.10f".
std::string Debug_FormatValue(const ScriptValue& value);

// Forgets the form and its messages (tests, a reset of the runtime).
void DebugForm_Reset();
