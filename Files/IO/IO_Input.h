// The keyboard and mouse state that the game sees, in two layers:
//   - the key-event layer, written at any time by the window procedure's handlers
//     (IO_OnKeyDown ... IO_OnMouseWheelDown) as keys and buttons go down and up and
//     characters are typed;
//   - the step layer, built from it once per step by IO_Update, and read by the built-in
//     functions, the built-in variables and the keyboard, mouse and joystick phases of the step,
//     so that every read within one step sees the same values.
// Pressed and released last exactly one step, and every press and every release the window
// reported since the last update shows in the step: a key or button pressed and released
// within one step (a tap: a click of a touchpad or of a tool, a quick key) is pressed and
// released in that step, and not down; its events run. Also here: the key map, the typed text
// (keyboard_string), IO_Clear and the start-up and shutdown of the input layer (the record and
// playback file of IO_Record.h, the gamepads of IO_Gamepad.h, the window hooks).
//
// Key codes are Windows virtual-key codes 0..255; mouse buttons 1 left, 2 right, 3 middle;
// mouse devices 0..4 (only device 0 receives window input; devices 1..4 keep what scripts
// set). Codes, buttons and devices outside those ranges read as 0 or false and are ignored by
// the writers.
//
// Needs: the window layer's hooks (Files/Graphics_API/Graphics_Hooks.h) and host (screen
// cursor), the UTF-8 routines, the start-up options (record and playback). No Linux/ file: the
// SDL events reach it through the window procedure (Files/Graphics_API/Linux/Graphics_EventsM).
// Main thread only.
#pragma once

class IniFile;

#include <cstdint>

constexpr int32_t IO_KEY_COUNT = 256;
constexpr int32_t IO_MOUSE_DEVICES = 5;
constexpr int32_t IO_MOUSE_BUTTONS = 3;
constexpr int32_t IO_TEXT_MAX = 1024; // characters (UTF-16 units) of the typed text

// What the window procedure has reported since the last update.
struct IO_EventLayer {
    uint8_t keyDown[IO_KEY_COUNT];
    uint8_t keyPressed[IO_KEY_COUNT];
    uint8_t keyReleased[IO_KEY_COUNT];
    int32_t currentKey;  // last key that went down; 0 when that key goes up
    int32_t pressedKey;  // last key pressed since the last update (0 none): a tap's, once up
    int32_t lastKey;     // last key that went down; kept after release
    uint16_t lastChar;   // last character message
    char16_t text[IO_TEXT_MAX + 1]; // typed text, terminated
    int32_t textLength;
    uint8_t mouseDown[IO_MOUSE_BUTTONS], mousePressed[IO_MOUSE_BUTTONS], mouseReleased[IO_MOUSE_BUTTONS];
    int32_t mouseButton;     // button held, 0 after a release
    int32_t mouseLastButton; // last button that went down
    int32_t pressedButton;   // last button pressed since the last update (0 none)
    int32_t mouseX, mouseY;  // client position of the last mouse move (left of or above: negative)
    uint8_t wheelUp, wheelDown;
    uint32_t mouseDownCount; // button-down messages seen (mouse_wait)
};

// What scripts read during one step.
struct IO_StepLayer {
    uint8_t keyDown[IO_KEY_COUNT];
    uint8_t keyPressed[IO_KEY_COUNT];
    uint8_t keyReleased[IO_KEY_COUNT];
    int32_t key;       // keyboard_key: the current key, else the key of a tap this step
    int32_t lastKey;   // keyboard_lastkey
    uint16_t lastChar; // keyboard_lastchar
    char16_t text[IO_TEXT_MAX + 1]; // keyboard_string
    int32_t mouseButton[IO_MOUSE_DEVICES]; // held, else the button of a tap this step
    int32_t mouseLastButton[IO_MOUSE_DEVICES];
    // Element device * 3 + button - 1.
    uint8_t mouseDown[IO_MOUSE_DEVICES * IO_MOUSE_BUTTONS];
    uint8_t mousePressed[IO_MOUSE_DEVICES * IO_MOUSE_BUTTONS];
    uint8_t mouseReleased[IO_MOUSE_DEVICES * IO_MOUSE_BUTTONS];
    uint8_t wheelUp[IO_MOUSE_DEVICES], wheelDown[IO_MOUSE_DEVICES];
    int32_t cursorX, cursorY; // screen cursor
    int32_t mouseX, mouseY;   // window position of device 0
    int32_t deviceX[IO_MOUSE_DEVICES], deviceY[IO_MOUSE_DEVICES];
};

struct IO_State {
    IO_EventLayer event;
    IO_StepLayer step;
    int32_t keyMap[IO_KEY_COUNT];
    int32_t stepCount;   // updates since start
    uint8_t firstUpdate; // set until the first update
};

// The one state record. The world's keyboard and mouse phases may read the step layer
// directly; everything else goes through the functions below.
IO_State& IO_GetState();

// ---- Window side (the window procedure's handlers) -------------------------------------------
// key: the message's virtual key; modifiers are not used; repeat: the key was already down.
void IO_OnKeyDown(int32_t key, int32_t modifiers, bool repeat);
void IO_OnKeyUp(int32_t key, int32_t modifiers);
// One UTF-16 unit of typed text (backspace 8 removes one).
void IO_OnChar(uint32_t ch);
void IO_OnMouseDown(int32_t button, int32_t x, int32_t y);
void IO_OnMouseUp(int32_t button, int32_t x, int32_t y);
void IO_OnMouseMove(int32_t x, int32_t y);
void IO_OnMouseWheelUp(int32_t modifiers, int32_t x, int32_t y, bool* handled);
void IO_OnMouseWheelDown(int32_t modifiers, int32_t x, int32_t y, bool* handled);

// ---- Step side ----------------------------------------------------------------------------------
// Start-up ("IO Init"): clears the state, makes the key map the identity, opens the record or
// playback file the command line asked for and installs the window hooks.
void IO_Init();
// Once per step, before the events: counts the step, clears pressed and released, then polls
// (copies the key-event layer, reads the screen cursor, polls the gamepads) or plays back one
// recorded step; appends the step to the record file when recording.
void IO_Update();
// Empties the keyboard state and device 0's mouse state in both layers (devices 1..4 keep
// theirs).
void IO_Clear();
// Game end: releases the gamepads, closes the record or playback file, removes the hooks.
void IO_Shutdown();

// ---- Readers (step layer) ----------------------------------------------------------------------
bool IO_KeyDown(int32_t key);
bool IO_KeyPressed(int32_t key);
bool IO_KeyReleased(int32_t key);
int32_t IO_GetCurrentKey();
int32_t IO_GetLastKey();
uint16_t IO_GetLastChar();
// keyboard_string as UTF-8, in a buffer owned by the module, valid until the next call.
const char* IO_GetKeyboardString();
int32_t IO_GetMouseButton(int32_t device);
int32_t IO_GetMouseLastButton(int32_t device);
bool IO_MouseButtonDown(int32_t button, int32_t device);
bool IO_MouseButtonPressed(int32_t button, int32_t device);
bool IO_MouseButtonReleased(int32_t button, int32_t device);
bool IO_MouseWheelUp(int32_t device);
bool IO_MouseWheelDown(int32_t device);
// The keyboard checks of the built-ins: key 0 (vk_nokey) is true when no key is in that
// state, 1 (vk_anykey) when any key is, 2..255 that key; other codes false.
bool IO_KeyboardCheck(int32_t key);
bool IO_KeyboardCheckPressed(int32_t key);
bool IO_KeyboardCheckReleased(int32_t key);
// The mouse checks of a device (0..4): button -1 (mb_any) any of the three, 0 (mb_none) none
// of them, 1..3 that button; other buttons and devices false.
bool IO_MouseCheckButton(int32_t button, int32_t device);
bool IO_MouseCheckButtonPressed(int32_t button, int32_t device);
bool IO_MouseCheckButtonReleased(int32_t button, int32_t device);
// Window position of a mouse device this step (0 outside 0..4).
int32_t IO_GetDeviceMouseX(int32_t device);
int32_t IO_GetDeviceMouseY(int32_t device);

// ---- Writers ---------------------------------------------------------------------------------
void IO_SetCurrentKey(int32_t key);  // keyboard_key, 0..255
void IO_SetLastKey(int32_t key);     // keyboard_lastkey, 0..255; also forgets the pending keys
void IO_SetLastChar(uint16_t ch);    // keyboard_lastchar, until the next character typed
void IO_SetKeyboardString(const char* utf8); // at most 1024 characters; null empties
void IO_SetMouseButton(int32_t button, int32_t device);     // button 1..3, device 0..4
void IO_SetMouseLastButton(int32_t button, int32_t device); // button 1..3, device 0..4
// Forgets down, pressed and released of a key (0..255) in both layers.
void IO_ClearKey(int32_t key);
// Forgets down, pressed and released of a button (1..3) of a device (0..4); for device 0 in
// the key-event layer too.
void IO_ClearMouseButton(int32_t button, int32_t device);

// ---- Key map -----------------------------------------------------------------------------------
int32_t IO_GetKeyMap(int32_t key);          // the key itself outside 0..255
void IO_SetKeyMap(int32_t key, int32_t value); // keys 0..255; a value outside 0..255 mutes the key
void IO_ResetKeyMap();

// ---- Test tooling ------------------------------------------------------------------------------
// Zeroes the whole state as at program start (first-update flag set, identity key map).
void IO_ResetState();
