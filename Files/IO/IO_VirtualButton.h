// The virtual-button table: 128 screen rectangles that act as a key or a mouse button (the
// virtual_key_* built-ins fill it). Here only the table and its records, taking a free record
// and freeing one; reading the options file, the update from touch points and the drawing of
// shown buttons belong with the rest of the input layer's virtual buttons.
//
// Main thread only. Needs nothing. No Linux/ file.
#pragma once

#include <cstdint>

constexpr int32_t IO_VIRTUAL_BUTTONS = 128;

// Flag bits of a record.
enum : uint16_t { IO_VBUTTON_IN_USE = 1, IO_VBUTTON_SHOWN = 2 };

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
