// Built-in script functions of backgrounds: readers, files, duplicates, colours, gradients,
// grabs, background_save, the draw_background* forms and action_draw_background (see
// Background_Main.h for the registrar). The preload argument of the creating forms may be left
// out (preload then on). Argument conversions: Files/Code/Code_Builtin.h.
#include "Files/Background/Background_Main.h"
#include "Files/Base/Console.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Object/Instance.h"

using namespace zbargs;

namespace {

float DrawAlpha() { return (float)GR_Draw_GetAlpha(); }

// The optional last preload argument (on when left out); false for a count outside the forms.
bool Preload(int32_t argc, const ScriptValue* args, int32_t without, bool* preload)
{
    if (argc == without) {
        *preload = true;
        return true;
    }
    if (argc == without + 1) {
        *preload = NumFromHalf(args, without);
        return true;
    }
    Code_Error_Report("Illegal argument count", false);
    return false;
}

} // namespace

// ---- Readers -------------------------------------------------------------------------------
ZB_BUILTIN(F_BackgroundExists) { SetReal(result, Background_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_BackgroundGetName) { Value_SetString(result, Background_GetName(NumRound(args, 0))); }
#define BACKGROUND_READER(fn, expr)                                                                                    \
    ZB_BUILTIN(fn)                                                                                                     \
    {                                                                                                                  \
        if (const CBackground* b = Background_Data(NumRound(args, 0))) SetReal(result, (expr));                        \
    }
BACKGROUND_READER(F_BackgroundGetWidth, b->GetWidth())
BACKGROUND_READER(F_BackgroundGetHeight, b->GetHeight())
BACKGROUND_READER(F_BackgroundGetTransparent, b->GetTransparent() ? 1 : 0)
BACKGROUND_READER(F_BackgroundGetSmooth, b->GetSmooth() ? 1 : 0)
BACKGROUND_READER(F_BackgroundGetPreload, b->GetPreload() ? 1 : 0)
ZB_BUILTIN(F_BackgroundGetTexture)
{
    const CBackground* b = Background_Data(NumRound(args, 0));
    SetReal(result, b ? (double)b->GetTexture() : -1.0);
}

// ---- Making and changing ---------------------------------------------------------------------
ZB_BUILTIN(F_BackgroundSetAlphaFromBackground)
{
    CBackground* to = Background_Data(NumRound(args, 0));
    const CBackground* from = Background_Data(NumRound(args, 1));
    if (to && from) to->SetAlphaFromBackground(from);
}

ZB_BUILTIN(F_BackgroundCreateColour)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 3, &preload)) return;
    const int32_t index = Background_AddEmpty();
    Background_Data(index)->CreateColor(NumRound(args, 0), NumRound(args, 1), NumRoundU32(args, 2), preload);
    SetReal(result, index);
}

ZB_BUILTIN(F_BackgroundCreateGradient)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 5, &preload)) return;
    const int32_t index = Background_AddEmpty();
    Background_Data(index)->CreateGradient(NumRound(args, 0), NumRound(args, 1), NumRoundU32(args, 2),
                                           NumRoundU32(args, 3), NumRound(args, 4), preload);
    SetReal(result, index);
}

// A screen grab is taken opaque; a surface grab keeps the surface's alpha unless the
// background is to be removed.
ZB_BUILTIN(F_BackgroundCreateFromScreen)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 6, &preload)) return;
    const int32_t index = Background_AddEmpty();
    TBitmap* image = GR_D3D_ScreenToBitmap(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
    Background_Data(index)->SetFromBitmap(image, NumFromHalf(args, 4), NumFromHalf(args, 5), preload, false);
    delete image;
    SetReal(result, index);
}

ZB_BUILTIN(F_BackgroundCreateFromSurface)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 7, &preload)) return;
    const int32_t index = Background_AddEmpty();
    TBitmap* image = GR_Surface_GrabBitmap(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3),
                                           NumRound(args, 4));
    Background_Data(index)->SetFromBitmap(image, NumFromHalf(args, 5), NumFromHalf(args, 6), preload,
                                          !NumFromHalf(args, 5));
    delete image;
    SetReal(result, index);
}

ZB_BUILTIN(F_BackgroundAdd)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 3, &preload)) return;
    ArgAsText name(args, 0);
    SetReal(result, Background_Add(name.text, NumFromHalf(args, 1), NumFromHalf(args, 2), preload));
}

ZB_BUILTIN(F_BackgroundAddAlpha)
{
    SetReal(result, -1);
    bool preload;
    if (!Preload(argc, args, 1, &preload)) return;
    ArgAsText name(args, 0);
    SetReal(result, Background_AddAlpha(name.text, preload));
}

ZB_BUILTIN(F_BackgroundReplace)
{
    bool preload;
    if (!Preload(argc, args, 4, &preload)) return;
    ArgAsText name(args, 1);
    SetReal(result,
            Background_Replace(NumRound(args, 0), name.text, NumFromHalf(args, 2), NumFromHalf(args, 3), preload) ? 1
                                                                                                                  : 0);
}

ZB_BUILTIN(F_BackgroundReplaceAlpha)
{
    bool preload;
    if (!Preload(argc, args, 2, &preload)) return;
    ArgAsText name(args, 1);
    SetReal(result, Background_ReplaceAlpha(NumRound(args, 0), name.text, preload) ? 1 : 0);
}

ZB_BUILTIN(F_BackgroundDelete) { SetReal(result, Background_Delete(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_BackgroundDuplicate) { SetReal(result, Background_Duplicate(NumRound(args, 0))); }
ZB_BUILTIN(F_BackgroundAssign) { SetReal(result, Background_Assign(NumRound(args, 0), NumRound(args, 1)) ? 1 : 0); }

ZB_BUILTIN(F_BackgroundSave)
{
    const CBackground* b = Background_Data(NumRound(args, 0));
    if (!b) {
        Console_Output("Trying to save non-existing background bitmap.");
        return;
    }
    if (!b->bitmap || !b->bitmap->valid) {
        Console_Output("background_save() failed - no bitmap data available\n");
        return;
    }
    ArgAsText name(args, 1);
    TBitmap* image = b->bitmap->ToTBitmap32();
    int32_t pitch = 0;
    uint8_t* base = image ? image->Lock(0, nullptr, &pitch) : nullptr;
    // The bitmap's own size (the width and height fields of a coloured background may differ
    // from the image made for them).
    if (base && pitch == image->GetWidth() * 4) write_png_file(name.text, base, image->GetWidth(), image->GetHeight());
    delete image;
}

// ---- Drawing ---------------------------------------------------------------------------------
ZB_BUILTIN(F_DrawBackground)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0))) b->Draw(NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_DrawBackgroundExt)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawExt(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                   NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawBackgroundStretched)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawStretched(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), 0xFFFFFF,
                         DrawAlpha());
}
ZB_BUILTIN(F_DrawBackgroundStretchedExt)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawStretched(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                         NumRoundU32(args, 5), NumFloat(args, 6));
}
ZB_BUILTIN(F_DrawBackgroundPart)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawPart(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                    NumFloat(args, 6), 1, 1, 0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawBackgroundPartExt)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawPart(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                    NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumRoundU32(args, 9), NumFloat(args, 10));
}
ZB_BUILTIN(F_DrawBackgroundGeneral)
{
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawGeneral(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                       NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9),
                       NumRoundU32(args, 10), NumRoundU32(args, 11), NumRoundU32(args, 12), NumRoundU32(args, 13),
                       NumFloat(args, 14));
}
ZB_BUILTIN(F_DrawBackgroundTiled)
{
    float w, h;
    GR_RoomArea(&w, &h);
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawTiled(NumFloat(args, 1), NumFloat(args, 2), 1, 1, true, true, 0, 0, w, h, 0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawBackgroundTiledExt)
{
    float w, h;
    GR_RoomArea(&w, &h);
    if (const CBackground* b = Background_Data(NumRound(args, 0)))
        b->DrawTiled(NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), true, true, 0, 0, w, h,
                     NumRoundU32(args, 5), NumFloat(args, 6));
}
// action_draw_background(background, x, y, tiled): relative to self when the action says so.
ZB_BUILTIN(F_ActionDrawBackground)
{
    const CBackground* b = Background_Data(NumRound(args, 0));
    if (!b) return;
    float x = NumFloat(args, 1), y = NumFloat(args, 2);
    if (Function_GetRelative() && self) {
        x += self->i_x;
        y += self->i_y;
    }
    if (NumFromHalf(args, 3)) {
        float w, h;
        GR_RoomArea(&w, &h);
        b->DrawTiled(x, y, 1, 1, true, true, 0, 0, w, h, 0xFFFFFF, DrawAlpha());
    } else {
        b->Draw(x, y);
    }
}

// ORDER: registration order (rows are ids).
void Background_RegisterBuiltins()
{
    static const Row rows[] = {
        {"background_exists", F_BackgroundExists, 1}, {"background_get_name", F_BackgroundGetName, 1},
        {"background_name", F_BackgroundGetName, 1}, {"background_get_width", F_BackgroundGetWidth, 1},
        {"background_get_height", F_BackgroundGetHeight, 1},
        {"background_get_transparent", F_BackgroundGetTransparent, 1},
        {"background_get_smooth", F_BackgroundGetSmooth, 1}, {"background_get_preload", F_BackgroundGetPreload, 1},
        {"background_get_texture", F_BackgroundGetTexture, 1},
        {"background_set_alpha_from_background", F_BackgroundSetAlphaFromBackground, 2},
        {"background_create_color", F_BackgroundCreateColour, -1},
        {"background_create_gradient", F_BackgroundCreateGradient, -1},
        {"background_create_from_screen", F_BackgroundCreateFromScreen, -1},
        {"background_create_from_surface", F_BackgroundCreateFromSurface, -1},
        {"background_add", F_BackgroundAdd, -1}, {"background_add_alpha", F_BackgroundAddAlpha, -1},
        {"background_replace", F_BackgroundReplace, -1}, {"background_replace_alpha", F_BackgroundReplaceAlpha, -1},
        {"background_delete", F_BackgroundDelete, 1}, {"background_duplicate", F_BackgroundDuplicate, 1},
        {"background_assign", F_BackgroundAssign, 2}, {"background_save", F_BackgroundSave, 2},
        {"draw_background", F_DrawBackground, 3}, {"draw_background_ext", F_DrawBackgroundExt, 8},
        {"draw_background_stretched", F_DrawBackgroundStretched, 5},
        {"draw_background_stretched_ext", F_DrawBackgroundStretchedExt, 7},
        {"draw_background_part", F_DrawBackgroundPart, 7}, {"draw_background_part_ext", F_DrawBackgroundPartExt, 11},
        {"draw_background_general", F_DrawBackgroundGeneral, 15},
        {"draw_background_tiled", F_DrawBackgroundTiled, 3},
        {"draw_background_tiled_ext", F_DrawBackgroundTiledExt, 7},
        {"action_draw_background", F_ActionDrawBackground, 4},
    };
    Register(rows);
}
