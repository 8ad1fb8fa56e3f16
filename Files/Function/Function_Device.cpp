// The window and device built-ins over the run state and the window: window_get_visible,
// device_mouse_x, device_mouse_y, os_get_config, sprite_save_strip, and the actions
// action_fullscreen and action_set_cursor.
//
// Needs: the run state, the window, the game header, the sprites and the PNG writer. No Linux/
// file.
#include <cstring>

#include "Files/Code/Code_Builtin.h"
#include "Files/Function/Function_World.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Option/Options.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/GameHeader.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

using namespace zbargs;

namespace {

ZB_BUILTIN(F_WindowGetVisible) { SetBool(result, Run_State().windowVisible); }
ZB_BUILTIN(F_DeviceMouseX) { SetReal(result, GR_Window_DeviceMouseX(NumRound(args, 0))); }
ZB_BUILTIN(F_DeviceMouseY) { SetReal(result, GR_Window_DeviceMouseY(NumRound(args, 0))); }
ZB_BUILTIN(F_OsGetConfig) { SetText(result, g_GameHeader.configName ? g_GameHeader.configName : ""); }

// Every frame of the sprite side by side, as one PNG file (frames that cannot be read stay
// transparent). Nothing for a missing sprite or one without frames.
ZB_BUILTIN(F_SpriteSaveStrip)
{
    SetReal(result, 0);
    CSprite* s = Sprite_Data(NumRound(args, 0));
    if (!s || s->frameCount < 1 || s->width < 1 || s->height < 1) return;
    const int64_t stripWidth = int64_t(s->width) * s->frameCount;
    if (stripWidth > 0x7FFF || s->height > 0x7FFF) return; // the PNG writer's and memory's bounds
    const int32_t w = s->width, h = s->height;
    auto* strip = static_cast<uint32_t*>(MEM_ALLOC_CLEAR(size_t(stripWidth) * size_t(h) * 4));
    for (int32_t f = 0; f < s->frameCount; ++f) {
        TBitmap* image = s->GetFrameTBitmap(f);
        if (!image) continue;
        int32_t pitch = 0;
        uint8_t* base = image->Lock(0, nullptr, &pitch);
        if (base && image->GetWidth() == w && image->GetHeight() == h && pitch >= w * 4)
            for (int32_t y = 0; y < h; ++y)
                std::memcpy(strip + size_t(y) * size_t(stripWidth) + size_t(f) * size_t(w), base + size_t(y) * size_t(pitch),
                            size_t(w) * 4);
        delete image;
    }
    write_png_file(ArgText(args, 1), strip, int32_t(stripWidth), h);
    MEM_FREE(strip);
}

// action_fullscreen(kind): 0 switches, 1 windowed, 2 full screen.
ZB_BUILTIN(A_Fullscreen)
{
    SetReal(result, 0);
    const int32_t kind = NumRound(args, 0);
    GR_Window_SetFullscreen(kind == 0 ? !GR_Window_GetFullscreen() : kind == 2);
}
// action_set_cursor(sprite, show): the cursor sprite, and the window's own cursor shown or not.
ZB_BUILTIN(A_SetCursor)
{
    SetReal(result, 0);
    Run_State().cursorSprite = NumRound(args, 0);
    g_Options.cursorShown = NumFromHalf(args, 1) ? 1 : 0;
    GR_Window_SetCursor(g_Options.cursorShown ? 0 : -1);
}

} // namespace

void Function_Device_Register()
{
    static const Row kRows[] = {
        {"window_get_visible", F_WindowGetVisible, 0},
        {"device_mouse_x", F_DeviceMouseX, 1},
        {"device_mouse_y", F_DeviceMouseY, 1},
        {"os_get_config", F_OsGetConfig, 0},
        {"sprite_save_strip", F_SpriteSaveStrip, 2},
    };
    Register(kRows);
}

void Function_Device_RegisterActions()
{
    static const Row kRows[] = {
        {"action_fullscreen", A_Fullscreen, 1},
        {"action_set_cursor", A_SetCursor, 2},
    };
    Register(kRows);
}
