// The keyboard and mouse state of the game (see IO_Input.h): the window side, the per-step
// update, clearing, the readers and writers and the key map. Start-up and shutdown are in
// IO_Main.cpp.
#include "Files/IO/IO_Input.h"

#include <cstring>

#include "Files/Base/Utf8.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/IO/IO_Gamepad.h"
#include "Files/IO/IO_Record.h"
#include "Files/IO/IO_VirtualButton.h"

namespace {

IO_State g_io;

bool ValidKey(int32_t key) { return key >= 0 && key < IO_KEY_COUNT; }
bool ValidButton(int32_t button) { return button >= 1 && button <= IO_MOUSE_BUTTONS; }
bool ValidDevice(int32_t device) { return device >= 0 && device < IO_MOUSE_DEVICES; }
int32_t MouseSlot(int32_t button, int32_t device) { return device * IO_MOUSE_BUTTONS + button - 1; }

// The key a message's key stands for after the key map; -1 when it makes no key state.
int32_t MappedKey(int32_t key)
{
    if (!ValidKey(key)) return -1;
    int32_t mapped = g_io.keyMap[key];
    return ValidKey(mapped) ? mapped : -1;
}

// Copies the step layer into the key-event layer (the first update only: what scripts set
// before the first step is kept).
void StepToEvent()
{
    IO_EventLayer& e = g_io.event;
    const IO_StepLayer& s = g_io.step;
    std::memcpy(e.text, s.text, sizeof e.text);
    int32_t n = 0;
    while (n < IO_TEXT_MAX && e.text[n]) ++n;
    e.textLength = n;
    e.currentKey = s.key;
    e.lastKey = s.lastKey;
    e.lastChar = s.lastChar;
    std::memcpy(e.keyDown, s.keyDown, sizeof e.keyDown);
    std::memcpy(e.keyPressed, s.keyPressed, sizeof e.keyPressed);
    std::memcpy(e.keyReleased, s.keyReleased, sizeof e.keyReleased);
    e.mouseButton = s.mouseButton[0];
    e.mouseLastButton = s.mouseLastButton[0];
    std::memcpy(e.mouseDown, s.mouseDown, IO_MOUSE_BUTTONS);
    std::memcpy(e.mousePressed, s.mousePressed, IO_MOUSE_BUTTONS);
    std::memcpy(e.mouseReleased, s.mouseReleased, IO_MOUSE_BUTTONS);
    e.wheelUp = s.wheelUp[0];
    e.wheelDown = s.wheelDown[0];
    e.pressedKey = e.pressedButton = 0; // the window's presses before the first step go with the rest
}

void EventToStep()
{
    const IO_EventLayer& e = g_io.event;
    IO_StepLayer& s = g_io.step;
    s.lastChar = e.lastChar;
    std::memcpy(s.text, e.text, sizeof s.text);
    s.mouseX = s.deviceX[0] = e.mouseX;
    s.mouseY = s.deviceY[0] = e.mouseY;
    std::memcpy(s.keyDown, e.keyDown, sizeof s.keyDown);
    // A key pressed and released since the last update is this step's key, as it would be
    // had its release come a step later.
    s.key = e.currentKey ? e.currentKey : e.pressedKey;
    s.lastKey = e.lastKey;
    for (int32_t k = 0; k < IO_KEY_COUNT; ++k) {
        if (e.keyPressed[k]) s.keyPressed[k] = 1;
        if (e.keyReleased[k]) s.keyReleased[k] = 1;
    }
    s.mouseButton[0] = e.mouseButton ? e.mouseButton : e.pressedButton;
    s.mouseLastButton[0] = e.mouseLastButton;
    std::memcpy(s.mouseDown, e.mouseDown, IO_MOUSE_BUTTONS);
    s.wheelUp[0] = e.wheelUp;
    s.wheelDown[0] = e.wheelDown;
    for (int32_t b = 0; b < IO_MOUSE_BUTTONS; ++b) {
        if (e.mousePressed[b]) s.mousePressed[b] = 1;
        if (e.mouseReleased[b]) s.mouseReleased[b] = 1;
    }
}

bool KeyboardCheck(const uint8_t* keys, int32_t key)
{
    if (key == 0 || key == 1) {
        bool any = false;
        for (int32_t k = 0; k < IO_KEY_COUNT && !any; ++k) any = keys[k] != 0;
        return key == 0 ? !any : any;
    }
    return ValidKey(key) && keys[key];
}

bool MouseCheck(const uint8_t* buttons, int32_t button, int32_t device)
{
    if (!ValidDevice(device)) return false;
    const uint8_t* b = buttons + device * IO_MOUSE_BUTTONS;
    if (button == -1) return b[0] || b[1] || b[2];
    if (button == 0) return !b[0] && !b[1] && !b[2];
    return ValidButton(button) && b[button - 1];
}

} // namespace

IO_State& IO_GetState() { return g_io; }

void IO_ResetState()
{
    std::memset(&g_io, 0, sizeof g_io);
    g_io.firstUpdate = 1;
    IO_ResetKeyMap();
}

// =============================================================================================
// Window side
// =============================================================================================

void IO_OnKeyDown(int32_t key, int32_t, bool repeat)
{
    int32_t k = MappedKey(key);
    if (k < 0) return;
    IO_EventLayer& e = g_io.event;
    e.currentKey = k;
    e.lastKey = k;
    if (e.keyDown[k] != 1 && !repeat) {
        e.keyPressed[k] = 1;
        e.pressedKey = k;
    }
    e.keyDown[k] = 1;
}

void IO_OnKeyUp(int32_t key, int32_t)
{
    int32_t k = MappedKey(key);
    if (k < 0) return;
    IO_EventLayer& e = g_io.event;
    if (e.currentKey == k) e.currentKey = 0;
    e.keyDown[k] = 0;
    e.keyReleased[k] = 1; // a press since the last update stays: the step sees both
}

void IO_OnChar(uint32_t ch)
{
    IO_EventLayer& e = g_io.event;
    char16_t unit = char16_t(ch & 0xFFFF);
    e.lastChar = uint16_t(unit);
    // A full text restarts with its last character.
    if (e.textLength >= IO_TEXT_MAX - 1) {
        e.text[0] = e.textLength > 0 ? e.text[e.textLength - 1] : 0;
        e.text[1] = 0;
        e.textLength = 1;
    }
    if (unit == 8) {
        if (e.textLength > 0) e.text[--e.textLength] = 0;
        return;
    }
    if (unit < 32) return;
    e.text[e.textLength++] = unit;
    e.text[e.textLength] = 0;
}

void IO_OnMouseDown(int32_t button, int32_t, int32_t)
{
    if (!ValidButton(button)) return;
    IO_EventLayer& e = g_io.event;
    e.mouseButton = button;
    e.mouseLastButton = button;
    if (!e.mouseDown[button - 1]) {
        e.mousePressed[button - 1] = 1;
        e.pressedButton = button;
    }
    e.mouseDown[button - 1] = 1;
    ++e.mouseDownCount;
}

void IO_OnMouseUp(int32_t button, int32_t, int32_t)
{
    if (!ValidButton(button)) return;
    IO_EventLayer& e = g_io.event;
    e.mouseButton = 0;
    e.mouseDown[button - 1] = 0;
    e.mouseReleased[button - 1] = 1; // a press since the last update stays: the step sees both
}

void IO_OnMouseMove(int32_t x, int32_t y)
{
    g_io.event.mouseX = x;
    g_io.event.mouseY = y;
}

void IO_OnMouseWheelUp(int32_t, int32_t, int32_t, bool* handled)
{
    g_io.event.wheelUp = 1;
    if (handled) *handled = true;
}

void IO_OnMouseWheelDown(int32_t, int32_t, int32_t, bool* handled)
{
    g_io.event.wheelDown = 1;
    if (handled) *handled = true;
}

// =============================================================================================
// Step side
// =============================================================================================

void IO_Update()
{
    ++g_io.stepCount;
    IO_StepLayer& s = g_io.step;
    std::memset(s.keyPressed, 0, sizeof s.keyPressed);
    std::memset(s.keyReleased, 0, sizeof s.keyReleased);
    std::memset(s.mousePressed, 0, sizeof s.mousePressed);
    std::memset(s.mouseReleased, 0, sizeof s.mouseReleased);
    std::memset(s.wheelUp, 0, sizeof s.wheelUp);
    std::memset(s.wheelDown, 0, sizeof s.wheelDown);

    if (!IO_Record_PlayingBack()) {
        if (g_io.firstUpdate) {
            StepToEvent();
            g_io.firstUpdate = 0;
        }
        IWindowHost* host = WindowHost_Get();
        int32_t cx = 0, cy = 0;
        if (host && host->GetCursorPos(&cx, &cy)) {
            s.cursorX = cx;
            s.cursorY = cy;
        }
        EventToStep();
        IO_EventLayer& e = g_io.event;
        std::memset(e.keyPressed, 0, sizeof e.keyPressed);
        std::memset(e.keyReleased, 0, sizeof e.keyReleased);
        std::memset(e.mousePressed, 0, sizeof e.mousePressed);
        std::memset(e.mouseReleased, 0, sizeof e.mouseReleased);
        e.pressedKey = e.pressedButton = 0;
        e.wheelUp = e.wheelDown = 0;
        XInput_Poll();
    } else {
        IO_Record_ReadStep(s);
    }
    // The held left button is the one touch point of this platform (played input too); a click
    // pressed and let go within the step touches and lets go.
    if (s.mouseDown[0]) IO_VirtualButton_Touch(0, s.mouseX, s.mouseY);
    else if (s.mousePressed[0]) IO_VirtualButton_Touch(0, s.mouseX, s.mouseY, true);
    IO_VirtualButton_Update();

    if (IO_Record_Recording()) IO_Record_WriteStep(s);
}

void IO_Clear()
{
    IO_EventLayer& e = g_io.event;
    IO_StepLayer& s = g_io.step;
    e.text[0] = 0;
    e.textLength = 0;
    s.text[0] = 0;
    s.lastKey = s.key = 0;
    s.lastChar = 0;
    e.lastKey = e.currentKey = e.pressedKey = 0;
    e.lastChar = 0;
    std::memset(e.keyDown, 0, sizeof e.keyDown);
    std::memset(e.keyPressed, 0, sizeof e.keyPressed);
    std::memset(e.keyReleased, 0, sizeof e.keyReleased);
    std::memset(s.keyDown, 0, sizeof s.keyDown);
    std::memset(s.keyPressed, 0, sizeof s.keyPressed);
    std::memset(s.keyReleased, 0, sizeof s.keyReleased);
    s.mouseButton[0] = s.mouseLastButton[0] = 0;
    e.mouseButton = e.mouseLastButton = e.pressedButton = 0;
    s.wheelUp[0] = s.wheelDown[0] = 0;
    e.wheelUp = e.wheelDown = 0;
    for (int32_t b = 0; b < IO_MOUSE_BUTTONS; ++b) {
        s.mouseDown[b] = s.mousePressed[b] = s.mouseReleased[b] = 0;
        e.mouseDown[b] = e.mousePressed[b] = e.mouseReleased[b] = 0;
    }
}

// =============================================================================================
// Readers
// =============================================================================================

bool IO_KeyDown(int32_t key) { return ValidKey(key) && g_io.step.keyDown[key]; }
bool IO_KeyPressed(int32_t key) { return ValidKey(key) && g_io.step.keyPressed[key]; }
bool IO_KeyReleased(int32_t key) { return ValidKey(key) && g_io.step.keyReleased[key]; }
int32_t IO_GetCurrentKey() { return g_io.step.key; }
int32_t IO_GetLastKey() { return g_io.step.lastKey; }
uint16_t IO_GetLastChar() { return g_io.step.lastChar; }

const char* IO_GetKeyboardString()
{
    static char buffer[IO_TEXT_MAX * 3 + 1];
    char* out = buffer;
    for (int32_t i = 0; i < IO_TEXT_MAX && g_io.step.text[i]; ++i) Utf8_Encode(&out, uint16_t(g_io.step.text[i]));
    *out = 0;
    return buffer;
}

int32_t IO_GetMouseButton(int32_t device) { return ValidDevice(device) ? g_io.step.mouseButton[device] : 0; }
int32_t IO_GetMouseLastButton(int32_t device) { return ValidDevice(device) ? g_io.step.mouseLastButton[device] : 0; }

bool IO_MouseButtonDown(int32_t button, int32_t device)
{
    return ValidButton(button) && ValidDevice(device) && g_io.step.mouseDown[MouseSlot(button, device)];
}

bool IO_MouseButtonPressed(int32_t button, int32_t device)
{
    return ValidButton(button) && ValidDevice(device) && g_io.step.mousePressed[MouseSlot(button, device)];
}

bool IO_MouseButtonReleased(int32_t button, int32_t device)
{
    return ValidButton(button) && ValidDevice(device) && g_io.step.mouseReleased[MouseSlot(button, device)];
}

bool IO_MouseWheelUp(int32_t device) { return ValidDevice(device) && g_io.step.wheelUp[device]; }
bool IO_MouseWheelDown(int32_t device) { return ValidDevice(device) && g_io.step.wheelDown[device]; }
bool IO_KeyboardCheck(int32_t key) { return KeyboardCheck(g_io.step.keyDown, key); }
bool IO_KeyboardCheckPressed(int32_t key) { return KeyboardCheck(g_io.step.keyPressed, key); }
bool IO_KeyboardCheckReleased(int32_t key) { return KeyboardCheck(g_io.step.keyReleased, key); }
bool IO_MouseCheckButton(int32_t button, int32_t device) { return MouseCheck(g_io.step.mouseDown, button, device); }

bool IO_MouseCheckButtonPressed(int32_t button, int32_t device)
{
    return MouseCheck(g_io.step.mousePressed, button, device);
}

bool IO_MouseCheckButtonReleased(int32_t button, int32_t device)
{
    return MouseCheck(g_io.step.mouseReleased, button, device);
}

int32_t IO_GetDeviceMouseX(int32_t device) { return ValidDevice(device) ? g_io.step.deviceX[device] : 0; }
int32_t IO_GetDeviceMouseY(int32_t device) { return ValidDevice(device) ? g_io.step.deviceY[device] : 0; }

// =============================================================================================
// Writers
// =============================================================================================

void IO_SetCurrentKey(int32_t key)
{
    if (ValidKey(key)) g_io.step.key = key;
}

void IO_SetLastKey(int32_t key)
{
    if (!ValidKey(key)) return;
    g_io.step.lastKey = key;
    g_io.event.currentKey = 0;
    g_io.event.lastKey = 0;
    g_io.event.pressedKey = 0;
}

void IO_SetLastChar(uint16_t ch)
{
    g_io.step.lastChar = ch;
    g_io.event.lastChar = ch;
}

void IO_SetKeyboardString(const char* utf8)
{
    IO_StepLayer& s = g_io.step;
    int32_t n = 0;
    if (utf8) {
        const char* p = utf8;
        while (n < IO_TEXT_MAX) {
            uint16_t c = Utf8_DecodeNext(&p);
            if (c == 0) break;
            s.text[n++] = char16_t(c);
        }
    }
    s.text[n] = 0;
    std::memcpy(g_io.event.text, s.text, sizeof s.text);
    g_io.event.textLength = n;
}

void IO_SetMouseButton(int32_t button, int32_t device)
{
    if (ValidButton(button) && ValidDevice(device)) g_io.step.mouseButton[device] = button;
}

void IO_SetMouseLastButton(int32_t button, int32_t device)
{
    if (ValidButton(button) && ValidDevice(device)) g_io.step.mouseLastButton[device] = button;
}

void IO_ClearKey(int32_t key)
{
    if (!ValidKey(key)) return;
    g_io.step.keyDown[key] = g_io.step.keyPressed[key] = g_io.step.keyReleased[key] = 0;
    g_io.event.keyDown[key] = g_io.event.keyPressed[key] = g_io.event.keyReleased[key] = 0;
    if (g_io.event.pressedKey == key) g_io.event.pressedKey = 0;
}

void IO_ClearMouseButton(int32_t button, int32_t device)
{
    if (!ValidButton(button) || !ValidDevice(device)) return;
    int32_t i = MouseSlot(button, device);
    g_io.step.mouseDown[i] = g_io.step.mousePressed[i] = g_io.step.mouseReleased[i] = 0;
    if (device == 0) {
        g_io.event.mouseDown[button - 1] = g_io.event.mousePressed[button - 1] = 0;
        g_io.event.mouseReleased[button - 1] = 0;
        if (g_io.event.pressedButton == button) g_io.event.pressedButton = 0;
    }
}

// =============================================================================================
// Key map
// =============================================================================================

int32_t IO_GetKeyMap(int32_t key) { return ValidKey(key) ? g_io.keyMap[key] : key; }

void IO_SetKeyMap(int32_t key, int32_t value)
{
    if (ValidKey(key)) g_io.keyMap[key] = value;
}

void IO_ResetKeyMap()
{
    for (int32_t k = 0; k < IO_KEY_COUNT; ++k) g_io.keyMap[k] = k;
}
