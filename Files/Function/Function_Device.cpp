// The window and device built-ins over the run state and the window: window_get_visible,
// device_mouse_x, device_mouse_y, os_get_config, sprite_save_strip, and the actions
// action_fullscreen and action_set_cursor.
//
// Needs: the run state, the window, the game header, the sprites and the PNG writer. No Linux/
// file.
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_World.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Option/Options.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/GameHeader.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

namespace {

#define BUILTIN(name)                                                                                                  \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                                 \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc, [[maybe_unused]] ScriptValue* args)

inline double R(const ScriptValue& v) { return v.kind == VALUE_REAL ? v.real : 0.0; }
inline int32_t I(const ScriptValue& v) { return Real_RoundToInt32(R(v)); }
inline void Ret(ScriptValue* result, double r) { Value_SetReal(result, r); }

BUILTIN(F_WindowGetVisible) { Ret(result, Run_State().windowVisible ? 1 : 0); }
BUILTIN(F_DeviceMouseX) { Ret(result, GR_Window_DeviceMouseX(I(args[0]))); }
BUILTIN(F_DeviceMouseY) { Ret(result, GR_Window_DeviceMouseY(I(args[0]))); }
BUILTIN(F_OsGetConfig) { Value_SetString(result, g_GameHeader.configName ? g_GameHeader.configName : ""); }

// Every frame of the sprite side by side, as one PNG file (frames that cannot be read stay
// transparent). Nothing for a missing sprite or one without frames.
BUILTIN(F_SpriteSaveStrip)
{
    Ret(result, 0);
    CSprite* s = Sprite_Data(I(args[0]));
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
    write_png_file(Value_Text(&args[1]), strip, int32_t(stripWidth), h);
    MEM_FREE(strip);
}

// action_fullscreen(kind): 0 switches, 1 windowed, 2 full screen.
BUILTIN(A_Fullscreen)
{
    Ret(result, 0);
    const int32_t kind = I(args[0]);
    GR_Window_SetFullscreen(kind == 0 ? !GR_Window_GetFullscreen() : kind == 2);
}
// action_set_cursor(sprite, show): the cursor sprite, and the window's own cursor shown or not.
BUILTIN(A_SetCursor)
{
    Ret(result, 0);
    Run_State().cursorSprite = I(args[0]);
    g_Options.cursorShown = R(args[1]) >= 0.5 ? 1 : 0;
    GR_Window_SetCursor(g_Options.cursorShown ? 0 : -1);
}

} // namespace

void Function_Device_Register()
{
    Function_Add("window_get_visible", F_WindowGetVisible, 0);
    Function_Add("device_mouse_x", F_DeviceMouseX, 1);
    Function_Add("device_mouse_y", F_DeviceMouseY, 1);
    Function_Add("os_get_config", F_OsGetConfig, 0);
    Function_Add("sprite_save_strip", F_SpriteSaveStrip, 2);
}

void Function_Device_RegisterActions()
{
    Function_Add("action_fullscreen", A_Fullscreen, 1);
    Function_Add("action_set_cursor", A_SetCursor, 2);
}
