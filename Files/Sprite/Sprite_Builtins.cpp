// Built-in script functions of sprites: the table and file operations, grabs from the screen
// and surfaces, boxes and masks, the sprite_get_* readers, sprite_save and the draw_sprite*
// forms (see Sprite_Main.h for the registrar). Argument conversions: Graphics_Args.h.
#include <string>

#include "Files/Code/Code_Error.h"
#include "Files/Graphics/Graphics_Args.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Sprite/Sprite_Main.h"

using namespace zbargs;

namespace {

float DrawAlpha() { return (float)GR_Draw_GetAlpha(); }

void RoomArea(float* w, float* h)
{
    GR_RoomViewInfo room;
    if (GR_GetRoomViewInfo(&room)) {
        *w = (float)room.roomWidth;
        *h = (float)room.roomHeight;
    } else {
        *w = GR_D3D_State().view[2];
        *h = GR_D3D_State().view[3];
    }
}

} // namespace

// ---- Table and files -------------------------------------------------------------------------
// sprite_add(name, images, removeback, smooth, xorig, yorig) or
// sprite_add(name, images, precise, transparent, smooth, preload, xorig, yorig).
ZB_BUILTIN(F_SpriteAdd)
{
    ZB_UNUSED;
    Real(result, -1);
    TextArg name(args, 0);
    if (argc == 6)
        Real(result, Sprite_Add(name.text, I(args, 1), true, B(args, 2), B(args, 3), true, I(args, 4), I(args, 5)));
    else if (argc == 8)
        Real(result, Sprite_Add(name.text, I(args, 1), B(args, 2), B(args, 3), B(args, 4), B(args, 5), I(args, 6),
                                I(args, 7)));
    else
        Code_Error_Report("Illegal argument count", false);
}

ZB_BUILTIN(F_SpriteReplace)
{
    ZB_UNUSED;
    TextArg name(args, 1);
    bool ok = false;
    if (argc == 7)
        ok = Sprite_Replace(I(args, 0), name.text, I(args, 2), true, B(args, 3), B(args, 4), true, I(args, 5), I(args, 6));
    else if (argc == 9)
        ok = Sprite_Replace(I(args, 0), name.text, I(args, 2), B(args, 3), B(args, 4), B(args, 5), B(args, 6),
                            I(args, 7), I(args, 8));
    else
        Code_Error_Report("Illegal argument count", false);
    Real(result, ok ? 1 : 0);
}

ZB_BUILTIN(F_SpriteAddAlpha)
{
    ZB_UNUSED;
    TextArg name(args, 0);
    Real(result, Sprite_AddAlpha(name.text, I(args, 1), B(args, 2), B(args, 3), I(args, 4), I(args, 5)));
}

ZB_BUILTIN(F_SpriteReplaceAlpha)
{
    ZB_UNUSED;
    TextArg name(args, 1);
    Real(result,
         Sprite_ReplaceAlpha(I(args, 0), name.text, I(args, 2), B(args, 3), B(args, 4), I(args, 5), I(args, 6)) ? 1 : 0);
}

ZB_BUILTIN(F_SpriteDelete) { ZB_UNUSED; Real(result, Sprite_Delete(I(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SpriteDuplicate) { ZB_UNUSED; Real(result, Sprite_Duplicate(I(args, 0))); }
ZB_BUILTIN(F_SpriteAssign) { ZB_UNUSED; Real(result, Sprite_Assign(I(args, 0), I(args, 1)) ? 1 : 0); }

ZB_BUILTIN(F_SpriteMerge)
{
    ZB_UNUSED;
    CSprite* to = Sprite_Data(I(args, 0));
    CSprite* from = Sprite_Data(I(args, 1));
    if (to && from) to->Merge(from);
}

ZB_BUILTIN(F_SpriteSetAlphaFromSprite)
{
    ZB_UNUSED;
    CSprite* to = Sprite_Data(I(args, 0));
    CSprite* from = Sprite_Data(I(args, 1));
    if (to && from) to->SetAlphaFromSprite(from);
}

// ---- Grabs ---------------------------------------------------------------------------------------
// A screen grab is taken opaque (the screen's alpha is the drawing's, not the picture's); a
// surface grab keeps the surface's alpha unless the background is to be removed.
ZB_BUILTIN(F_SpriteCreateFromScreen)
{
    ZB_UNUSED;
    const int32_t index = Sprite_AddEmpty();
    TBitmap* image = GR_D3D_ScreenToBitmap(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
    Sprite_Data(index)->CreateFromScreen(image, true, B(args, 4), B(args, 5), true, I(args, 6), I(args, 7), false);
    delete image;
    Real(result, index);
}

ZB_BUILTIN(F_SpriteAddFromScreen)
{
    ZB_UNUSED;
    CSprite* s = Sprite_Data(I(args, 0));
    if (!s) return;
    TBitmap* image = GR_D3D_ScreenToBitmap(I(args, 1), I(args, 2), I(args, 3), I(args, 4));
    s->AddFrameFromScreen(image, B(args, 5), B(args, 6), false);
    delete image;
}

ZB_BUILTIN(F_SpriteCreateFromSurface)
{
    ZB_UNUSED;
    const int32_t index = Sprite_AddEmpty();
    TBitmap* image = GR_Surface_GrabBitmap(I(args, 0), I(args, 1), I(args, 2), I(args, 3), I(args, 4));
    Sprite_Data(index)->CreateFromScreen(image, true, B(args, 5), B(args, 6), true, I(args, 7), I(args, 8), !B(args, 5));
    delete image;
    Real(result, index);
}

ZB_BUILTIN(F_SpriteAddFromSurface)
{
    ZB_UNUSED;
    CSprite* s = Sprite_Data(I(args, 0));
    if (!s) return;
    TBitmap* image = GR_Surface_GrabBitmap(I(args, 1), I(args, 2), I(args, 3), I(args, 4), I(args, 5));
    s->AddFrameFromScreen(image, B(args, 6), B(args, 7), !B(args, 6));
    delete image;
}

// ---- Boxes, masks, textures, saving -----------------------------------------------------------
ZB_BUILTIN(F_SpriteSetBBoxMode)
{
    ZB_UNUSED;
    if (CSprite* s = Sprite_Data(I(args, 0))) s->SetBBoxMode(I(args, 1));
}
ZB_BUILTIN(F_SpriteSetBBox)
{
    ZB_UNUSED;
    if (CSprite* s = Sprite_Data(I(args, 0))) s->SetBBox(SpriteBox{I(args, 1), I(args, 2), I(args, 3), I(args, 4)});
}
ZB_BUILTIN(F_SpriteSetPrecise)
{
    ZB_UNUSED;
    if (CSprite* s = Sprite_Data(I(args, 0))) s->SetPrecise(B(args, 1));
}
// Only the switch to precise masks is taken; the other arguments are not used.
ZB_BUILTIN(F_SpriteCollisionMask)
{
    ZB_UNUSED;
    if (CSprite* s = Sprite_Data(I(args, 0))) {
        s->precise = 1;
        s->CreateMask();
    }
}
ZB_BUILTIN(F_SpriteGetTexture)
{
    ZB_UNUSED;
    CSprite* s = Sprite_Data(I(args, 0));
    Real(result, s ? (double)s->GetTexture(Frame(args, 1)) : -1.0);
}
ZB_BUILTIN(F_SpriteSave)
{
    ZB_UNUSED;
    CSprite* s = Sprite_Data(I(args, 0));
    TBitmap* image = s ? s->GetFrameTBitmap(Frame(args, 1)) : nullptr;
    if (!image) return;
    TextArg name(args, 2);
    int32_t pitch = 0;
    uint8_t* base = image->Lock(0, nullptr, &pitch);
    if (base && pitch == image->GetWidth() * 4) write_png_file(name.text, base, image->GetWidth(), image->GetHeight());
    delete image;
}

// ---- Readers ---------------------------------------------------------------------------------
ZB_BUILTIN(F_SpriteExists) { ZB_UNUSED; Real(result, Sprite_Exists(I(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SpriteGetName) { ZB_UNUSED; Value_SetString(result, Sprite_GetName(I(args, 0))); }
#define SPRITE_READER(fn, expr)                                                                                       \
    ZB_BUILTIN(fn)                                                                                                    \
    {                                                                                                                 \
        ZB_UNUSED;                                                                                                    \
        if (const CSprite* s = Sprite_Data(I(args, 0))) Real(result, (expr));                                          \
    }
SPRITE_READER(F_SpriteGetNumber, s->frameCount)
SPRITE_READER(F_SpriteGetWidth, s->width)
SPRITE_READER(F_SpriteGetHeight, s->height)
SPRITE_READER(F_SpriteGetXOffset, s->xOrigin)
SPRITE_READER(F_SpriteGetYOffset, s->yOrigin)
SPRITE_READER(F_SpriteGetBBoxMode, s->bboxMode)
SPRITE_READER(F_SpriteGetBBoxLeft, s->bboxLeft)
SPRITE_READER(F_SpriteGetBBoxRight, s->bboxRight)
SPRITE_READER(F_SpriteGetBBoxTop, s->bboxTop)
SPRITE_READER(F_SpriteGetBBoxBottom, s->bboxBottom)
SPRITE_READER(F_SpriteGetTransparent, s->transparent)
SPRITE_READER(F_SpriteGetSmooth, s->smooth)
SPRITE_READER(F_SpriteGetPreload, s->preload)
SPRITE_READER(F_SpriteGetPrecise, s->precise)

// ---- Drawing ---------------------------------------------------------------------------------
ZB_BUILTIN(F_DrawSprite)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0))) s->DrawSimple(Frame(args, 1), F(args, 2), F(args, 3));
}
ZB_BUILTIN(F_DrawSpriteExt)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->Draw(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), Colour(args, 7), F(args, 8));
}
ZB_BUILTIN(F_DrawSpriteStretched)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawStretched(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), 0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawSpriteStretchedExt)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawStretched(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), Colour(args, 6), F(args, 7));
}
ZB_BUILTIN(F_DrawSpritePart)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawPart(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7), 1, 1,
                    0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawSpritePartExt)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawPart(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7), F(args, 8),
                    F(args, 9), Colour(args, 10), F(args, 11));
}
ZB_BUILTIN(F_DrawSpriteGeneral)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawGeneral(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7),
                       F(args, 8), F(args, 9), F(args, 10), Colour(args, 11), Colour(args, 12), Colour(args, 13),
                       Colour(args, 14), F(args, 15));
}
ZB_BUILTIN(F_DrawSpriteTiled)
{
    ZB_UNUSED;
    float w, h;
    RoomArea(&w, &h);
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawTiled(Frame(args, 1), F(args, 2), F(args, 3), 1, 1, true, true, 0, 0, w, h, 0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawSpriteTiledExt)
{
    ZB_UNUSED;
    float w, h;
    RoomArea(&w, &h);
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawTiled(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), true, true, 0, 0, w, h,
                     Colour(args, 6), F(args, 7));
}
ZB_BUILTIN(F_DrawSpritePos)
{
    ZB_UNUSED;
    if (const CSprite* s = Sprite_Data(I(args, 0)))
        s->DrawPos(Frame(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6), F(args, 7), F(args, 8),
                   F(args, 9), F(args, 10));
}

// ORDER: registration order (rows are ids).
void Sprite_RegisterBuiltins()
{
    static const Row rows[] = {
        {"sprite_exists", F_SpriteExists, 1}, {"sprite_get_name", F_SpriteGetName, 1},
        {"sprite_get_number", F_SpriteGetNumber, 1}, {"sprite_get_width", F_SpriteGetWidth, 1},
        {"sprite_get_height", F_SpriteGetHeight, 1}, {"sprite_get_xoffset", F_SpriteGetXOffset, 1},
        {"sprite_get_yoffset", F_SpriteGetYOffset, 1}, {"sprite_get_bbox_mode", F_SpriteGetBBoxMode, 1},
        {"sprite_get_bbox_left", F_SpriteGetBBoxLeft, 1}, {"sprite_get_bbox_right", F_SpriteGetBBoxRight, 1},
        {"sprite_get_bbox_top", F_SpriteGetBBoxTop, 1}, {"sprite_get_bbox_bottom", F_SpriteGetBBoxBottom, 1},
        {"sprite_get_transparent", F_SpriteGetTransparent, 1}, {"sprite_get_smooth", F_SpriteGetSmooth, 1},
        {"sprite_get_preload", F_SpriteGetPreload, 1}, {"sprite_get_precise", F_SpriteGetPrecise, 1},
        {"sprite_get_texture", F_SpriteGetTexture, 2}, {"sprite_add", F_SpriteAdd, -1},
        {"sprite_replace", F_SpriteReplace, -1}, {"sprite_add_alpha", F_SpriteAddAlpha, 6},
        {"sprite_replace_alpha", F_SpriteReplaceAlpha, 7}, {"sprite_delete", F_SpriteDelete, 1},
        {"sprite_duplicate", F_SpriteDuplicate, 1}, {"sprite_assign", F_SpriteAssign, 2},
        {"sprite_merge", F_SpriteMerge, 2}, {"sprite_set_alpha_from_sprite", F_SpriteSetAlphaFromSprite, 2},
        {"sprite_create_from_screen", F_SpriteCreateFromScreen, 8},
        {"sprite_add_from_screen", F_SpriteAddFromScreen, 7},
        {"sprite_create_from_surface", F_SpriteCreateFromSurface, 9},
        {"sprite_add_from_surface", F_SpriteAddFromSurface, 8}, {"sprite_set_bbox_mode", F_SpriteSetBBoxMode, 2},
        {"sprite_set_bbox", F_SpriteSetBBox, 5}, {"sprite_set_precise", F_SpriteSetPrecise, 2},
        {"sprite_collision_mask", F_SpriteCollisionMask, 9}, {"sprite_save", F_SpriteSave, 3},
        {"draw_sprite", F_DrawSprite, 4}, {"draw_sprite_ext", F_DrawSpriteExt, 9},
        {"draw_sprite_stretched", F_DrawSpriteStretched, 6}, {"draw_sprite_stretched_ext", F_DrawSpriteStretchedExt, 8},
        {"draw_sprite_part", F_DrawSpritePart, 8}, {"draw_sprite_part_ext", F_DrawSpritePartExt, 12},
        {"draw_sprite_general", F_DrawSpriteGeneral, 16}, {"draw_sprite_tiled", F_DrawSpriteTiled, 4},
        {"draw_sprite_tiled_ext", F_DrawSpriteTiledExt, 8}, {"draw_sprite_pos", F_DrawSpritePos, 11},
    };
    Register(rows);
}
