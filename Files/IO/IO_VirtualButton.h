// The virtual buttons: 128 screen rectangles that act as a key or a mouse button while a touch
// point lies inside them. They come from the "IO_VIRTUAL_BUTTONS" and "IO_BUTTON_%d" sections
// of options.ini (read at game load) and from the virtual_key_* built-ins. The input layer
// updates them once per step (IO_Update: after the poll or the playback of a step) and the
// frame draws the shown ones over the game.
//
// Touch points: this platform has no touch screen; the left mouse button of device 0, while
// held, is one touch point at the mouse position (so a button under a held click acts as its
// key, in recorded and played input too), and a click pressed and let go within one step is a
// tap there.
//
// Buttons read from options.ini are kept for the whole run: a room end or a game restart frees
// only the buttons scripts made and puts the options' buttons back as they were read.
//
// Main thread only. Needs the input state (IO_Input.h), the window's design size and the
// vertex batch for the drawing, the INI file; the key names through a lookup the code layer
// installs (IO_SetKeyNameLookup). No Linux/ file.
#pragma once

#include <cstdint>

class IniFile;

constexpr int32_t IO_VIRTUAL_BUTTONS = 128;
constexpr int32_t IO_TOUCH_POINTS = 128;
constexpr uint32_t IO_TOUCH_NEW = 0x80000000u; // a touch point's flag: touched since the last update
constexpr uint32_t IO_TOUCH_LIFTED = 0x40000000u; // and let go again before the update (a tap)

// Flag bits of a record.
enum : uint16_t { IO_VBUTTON_IN_USE = 1, IO_VBUTTON_SHOWN = 2, IO_VBUTTON_FROM_OPTIONS = 4 };

struct IO_VirtualButton {
    uint16_t flags;       // IO_VBUTTON_*
    uint16_t index;       // the record's own position, 0..127
    int32_t x, y;         // top-left corner, game design coordinates
    int32_t right, bottom; // x + w, y + h
    int32_t w, h;
    int32_t u, v;         // texture position (kept; nothing draws with it)
    int32_t key;          // virtual-key code; 0 for a mouse button
    int32_t mouseButton;  // 1..3 when key is 0
};

// Record n (0..127), or null.
IO_VirtualButton* IO_VirtualButton_Get(int32_t n);
// The first record whose flags are 0, or null when all are in use.
IO_VirtualButton* IO_VirtualButton_FindFree();
// For 0 <= n < 128: the record's flags become 0.
void IO_VirtualButton_Delete(int32_t n);
// Room end and game restart: the buttons scripts made are freed; those of options.ini are in
// use and hidden again, as read.
void IO_VirtualButton_ClearAll();
// Every record empty, no touch, no texture name (tests, a new game file).
void IO_VirtualButton_Reset();

// Reads the options file's sections (game load); a null ini reads nothing.
void IO_InitVirtualButtons(IniFile* ini);
// The "TEXTURE" name of the options file (kept, not drawn with); "" when none.
const char* IO_VirtualButton_TextureName();
// The value of a built-in constant by name (case ignored); false when there is none.
using IO_KeyNameLookup = bool (*)(const char* name, int32_t* value);
void IO_SetKeyNameLookup(IO_KeyNameLookup lookup);
// The key-name rule: "VK_" names give the constant's value (low 8 bits, 0 when unknown), "MB_"
// names 0, a white-space first character 0, any other first character its byte code.
int32_t IO_ParseKeyName(const char* text);
// A button name: "MB_" names give the constant's value (low 8 bits), anything else 0.
int32_t IO_ParseButtonName(const char* text);

// Touch point i (0..127) at window pixel (x, y), marked new; lifted: touched and let go since
// the last update (a tap). Out of range does nothing.
void IO_VirtualButton_Touch(int32_t i, int32_t x, int32_t y, bool lifted = false);
// Once a step: the touch points against the buttons in use, into the step layer's key (or
// device 0's mouse button) pressed, down and released. A button tapped within the step is
// pressed and released in it.
void IO_VirtualButton_Update();
// True when some record is shown.
bool IO_VirtualButton_AnyShown();
// One batch of white untextured triangles, six vertices per shown button, scaled from design
// to window pixels (z 0.5); nothing when none is shown. The caller brackets it with the
// overlay's drawing state.
void IO_VirtualButton_DrawAll();
