// The virtual buttons (Files/IO/IO_VirtualButton.h).
#include "Files/IO/IO_VirtualButton.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_Input.h"
#include "Files/Support/IniFile.h"

namespace {

struct TouchPoint {
    uint32_t flags; // IO_TOUCH_NEW: touched since the last update; IO_TOUCH_LIFTED: let go again
    int32_t x, y;   // window pixels
};

// A bit per button: every one of the 128 has its own (buttons 32 and up too).
struct Mask {
    uint32_t words[IO_VIRTUAL_BUTTONS / 32] = {};
    void Set(int32_t i) { words[i >> 5] |= 1u << (i & 31); }
    bool Has(int32_t i) const { return (words[i >> 5] >> (i & 31)) & 1u; }
};

struct State {
    IO_VirtualButton records[IO_VIRTUAL_BUTTONS];
    IO_VirtualButton loaded[IO_VIRTUAL_BUTTONS]; // the options' buttons as read
    TouchPoint touches[IO_TOUCH_POINTS];
    Mask previous;
    std::string texture;
    State() { Reset(); }
    void Reset()
    {
        for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) {
            records[i] = IO_VirtualButton{0, uint16_t(i), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            loaded[i] = records[i];
        }
        for (TouchPoint& t : touches) t = TouchPoint{0, 0, 0};
        previous = Mask();
        texture.clear();
    }
};

State& Buttons()
{
    static State state;
    return state;
}

IO_KeyNameLookup g_lookup = nullptr;

int32_t Constant(const char* name)
{
    int32_t value = 0;
    if (g_lookup && g_lookup(name, &value)) return value & 0xFF;
    return 0;
}

bool Begins(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

} // namespace

IO_VirtualButton* IO_VirtualButton_Get(int32_t n)
{
    return n >= 0 && n < IO_VIRTUAL_BUTTONS ? &Buttons().records[n] : nullptr;
}

IO_VirtualButton* IO_VirtualButton_FindFree()
{
    for (IO_VirtualButton& b : Buttons().records)
        if (b.flags == 0) return &b;
    return nullptr;
}

void IO_VirtualButton_Delete(int32_t n)
{
    if (IO_VirtualButton* b = IO_VirtualButton_Get(n)) b->flags = 0;
}

void IO_VirtualButton_ClearAll()
{
    State& s = Buttons();
    for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) s.records[i] = s.loaded[i];
}

void IO_VirtualButton_Reset() { Buttons().Reset(); }

// ---- Options --------------------------------------------------------------------------------

void IO_SetKeyNameLookup(IO_KeyNameLookup lookup) { g_lookup = lookup; }

int32_t IO_ParseKeyName(const char* text)
{
    if (!text || !*text) return 0;
    if (Begins(text, "VK_")) return Constant(text);
    if (Begins(text, "MB_")) return 0;
    if (std::isspace(static_cast<unsigned char>(*text))) return 0;
    return static_cast<unsigned char>(*text);
}

int32_t IO_ParseButtonName(const char* text) { return text && Begins(text, "MB_") ? Constant(text) : 0; }

const char* IO_VirtualButton_TextureName() { return Buttons().texture.c_str(); }

void IO_InitVirtualButtons(IniFile* ini)
{
    if (!ini) return;
    State& s = Buttons();
    const int32_t count = ini->ReadInt("IO_VIRTUAL_BUTTONS", "NUM_BUTTONS", 0);
    if (const char* t = ini->ReadString("IO_VIRTUAL_BUTTONS", "TEXTURE", nullptr)) s.texture = t;
    for (int32_t i = 0; i < count; ++i) {
        IO_VirtualButton* b = IO_VirtualButton_FindFree();
        if (!b) break; // the other sections have no record left
        char section[32];
        std::snprintf(section, sizeof section, "IO_BUTTON_%d", i);
        b->x = ini->ReadInt(section, "X", 0);
        b->y = ini->ReadInt(section, "Y", 0);
        b->w = ini->ReadInt(section, "W", 0);
        b->h = ini->ReadInt(section, "H", 0);
        b->u = ini->ReadInt(section, "U", 0);
        b->v = ini->ReadInt(section, "V", 0);
        b->right = int32_t(uint32_t(b->x) + uint32_t(b->w)); // wraps as the machine's sum would
        b->bottom = int32_t(uint32_t(b->y) + uint32_t(b->h));
        b->key = 0;
        b->mouseButton = 0;
        if (const char* k = ini->ReadString(section, "KEY", nullptr)) b->key = IO_ParseKeyName(k);
        if (const char* m = ini->ReadString(section, "BUTTON", nullptr)) b->mouseButton = IO_ParseButtonName(m);
        b->flags = IO_VBUTTON_IN_USE | IO_VBUTTON_FROM_OPTIONS;
        s.loaded[b->index] = *b;
    }
}

// ---- Update ---------------------------------------------------------------------------------

void IO_VirtualButton_Touch(int32_t i, int32_t x, int32_t y, bool lifted)
{
    if (i < 0 || i >= IO_TOUCH_POINTS) return;
    Buttons().touches[i] = TouchPoint{IO_TOUCH_NEW | (lifted ? IO_TOUCH_LIFTED : 0u), x, y};
}

void IO_VirtualButton_Update()
{
    State& s = Buttons();
    int32_t dw = 0, dh = 0, cw = 0, ch = 0;
    DesignSize(&dw, &dh, &cw, &ch);
    Mask now, tapped; // held at the update; touched and let go within the step
    for (TouchPoint& t : s.touches) {
        if (!(t.flags & IO_TOUCH_NEW)) continue;
        Mask& into = (t.flags & IO_TOUCH_LIFTED) ? tapped : now;
        t.flags = 0;
        if (cw <= 0 || ch <= 0) continue; // no window to map from
        const int64_t x = int64_t(t.x) * dw / cw, y = int64_t(t.y) * dh / ch;
        for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) {
            const IO_VirtualButton& b = s.records[i];
            if ((b.flags & IO_VBUTTON_IN_USE) && b.x <= x && x < b.right && b.y <= y && y < b.bottom) into.Set(i);
        }
    }
    IO_StepLayer& step = IO_GetState().step;
    for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) {
        const IO_VirtualButton& b = s.records[i];
        if (!(b.flags & IO_VBUTTON_IN_USE)) continue;
        const bool on = now.Has(i), changed = on != s.previous.Has(i);
        uint8_t *pressed, *down, *released;
        if (b.key != 0) {
            if (b.key < 0 || b.key >= IO_KEY_COUNT) continue;
            pressed = &step.keyPressed[b.key];
            down = &step.keyDown[b.key];
            released = &step.keyReleased[b.key];
        } else {
            if (b.mouseButton < 1 || b.mouseButton > IO_MOUSE_BUTTONS) continue;
            pressed = &step.mousePressed[b.mouseButton - 1];
            down = &step.mouseDown[b.mouseButton - 1];
            released = &step.mouseReleased[b.mouseButton - 1];
        }
        if (on && changed) *pressed = 1;
        else if (on) *down = 1;
        else if (changed) *released = 1;
        if (tapped.Has(i) && !on) *pressed = *released = 1;
    }
    s.previous = now;
}

// ---- Drawing --------------------------------------------------------------------------------

bool IO_VirtualButton_AnyShown()
{
    for (const IO_VirtualButton& b : Buttons().records)
        if (b.flags & IO_VBUTTON_SHOWN) return true;
    return false;
}

void IO_VirtualButton_DrawAll()
{
    int32_t n = 0;
    for (const IO_VirtualButton& b : Buttons().records) n += (b.flags & IO_VBUTTON_SHOWN) ? 1 : 0;
    if (n == 0) return;
    int32_t dw = 0, dh = 0, cw = 0, ch = 0;
    DesignSize(&dw, &dh, &cw, &ch);
    if (dw <= 0 || dh <= 0) return;
    const float sx = float(cw) / float(dw), sy = float(ch) / float(dh);
    struct Vertex {
        float x, y, z;
        uint32_t colour;
        float u, v;
    };
    auto* v = static_cast<Vertex*>(GR_D3D_AllocVertices(GFX_PT_TRIANGLELIST, nullptr, int32_t(sizeof(Vertex)), n * 6));
    if (!v) return;
    for (const IO_VirtualButton& b : Buttons().records) {
        if (!(b.flags & IO_VBUTTON_SHOWN)) continue;
        const float l = float(b.x) * sx, t = float(b.y) * sy, r = float(b.right) * sx, bo = float(b.bottom) * sy;
        const Vertex q[6] = {{l, t, 0.5f, 0xFFFFFFFFu, 0, 0},  {r, t, 0.5f, 0xFFFFFFFFu, 0, 0},
                             {r, bo, 0.5f, 0xFFFFFFFFu, 0, 0}, {r, bo, 0.5f, 0xFFFFFFFFu, 0, 0},
                             {l, bo, 0.5f, 0xFFFFFFFFu, 0, 0}, {l, t, 0.5f, 0xFFFFFFFFu, 0, 0}};
        std::memcpy(v, q, sizeof q);
        v += 6;
    }
}
