// Built-in script functions of sprites: the table and file operations, grabs from the screen
// and surfaces, boxes and masks, the sprite_get_* readers, sprite_save and the draw_sprite*
// forms (see Sprite_Main.h for the registrar). Argument conversions: Files/Code/Code_Builtin.h.
#include <string>

#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/Sprite/Sprite_Main.h"

using namespace zbargs;

namespace {

float DrawAlpha() { return (float)GR_Draw_GetAlpha(); }

} // namespace

// ---- Table and files -------------------------------------------------------------------------
// sprite_add(name, images, removeback, smooth, xorig, yorig) or
// sprite_add(name, images, precise, transparent, smooth, preload, xorig, yorig).
ZB_BUILTIN(F_SpriteAdd)
{
    SetReal(result, -1);
    ArgAsText name(args, 0);
    if (argc == 6)
        SetReal(result, Sprite_Add(name.text, NumRound(args, 1), true, NumFromHalf(args, 2), NumFromHalf(args, 3), true,
                                   NumRound(args, 4), NumRound(args, 5)));
    else if (argc == 8)
        SetReal(result, Sprite_Add(name.text, NumRound(args, 1), NumFromHalf(args, 2), NumFromHalf(args, 3),
                                   NumFromHalf(args, 4), NumFromHalf(args, 5), NumRound(args, 6), NumRound(args, 7)));
    else
        Code_Error_Report("Illegal argument count", false);
}

ZB_BUILTIN(F_SpriteReplace)
{
    ArgAsText name(args, 1);
    bool ok = false;
    if (argc == 7)
        ok = Sprite_Replace(NumRound(args, 0), name.text, NumRound(args, 2), true, NumFromHalf(args, 3),
                            NumFromHalf(args, 4), true, NumRound(args, 5), NumRound(args, 6));
    else if (argc == 9)
        ok = Sprite_Replace(NumRound(args, 0), name.text, NumRound(args, 2), NumFromHalf(args, 3), NumFromHalf(args, 4),
                            NumFromHalf(args, 5), NumFromHalf(args, 6), NumRound(args, 7), NumRound(args, 8));
    else
        Code_Error_Report("Illegal argument count", false);
    SetReal(result, ok ? 1 : 0);
}

ZB_BUILTIN(F_SpriteAddAlpha)
{
    ArgAsText name(args, 0);
    SetReal(result, Sprite_AddAlpha(name.text, NumRound(args, 1), NumFromHalf(args, 2), NumFromHalf(args, 3),
                                    NumRound(args, 4), NumRound(args, 5)));
}

ZB_BUILTIN(F_SpriteReplaceAlpha)
{
    ArgAsText name(args, 1);
    SetReal(result, Sprite_ReplaceAlpha(NumRound(args, 0), name.text, NumRound(args, 2), NumFromHalf(args, 3),
                                        NumFromHalf(args, 4), NumRound(args, 5), NumRound(args, 6))
                        ? 1
                        : 0);
}

ZB_BUILTIN(F_SpriteDelete) { SetReal(result, Sprite_Delete(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SpriteDuplicate) { SetReal(result, Sprite_Duplicate(NumRound(args, 0))); }
ZB_BUILTIN(F_SpriteAssign) { SetReal(result, Sprite_Assign(NumRound(args, 0), NumRound(args, 1)) ? 1 : 0); }

ZB_BUILTIN(F_SpriteMerge)
{
    CSprite* to = Sprite_Data(NumRound(args, 0));
    CSprite* from = Sprite_Data(NumRound(args, 1));
    if (to && from) to->Merge(from);
}

ZB_BUILTIN(F_SpriteSetAlphaFromSprite)
{
    CSprite* to = Sprite_Data(NumRound(args, 0));
    CSprite* from = Sprite_Data(NumRound(args, 1));
    if (to && from) to->SetAlphaFromSprite(from);
}

// ---- Grabs ---------------------------------------------------------------------------------------
// A screen grab is taken opaque (the screen's alpha is the drawing's, not the picture's); a
// surface grab keeps the surface's alpha unless the background is to be removed.
ZB_BUILTIN(F_SpriteCreateFromScreen)
{
    const int32_t index = Sprite_AddEmpty();
    TBitmap* image = GR_D3D_ScreenToBitmap(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
    Sprite_Data(index)->CreateFromScreen(image, true, NumFromHalf(args, 4), NumFromHalf(args, 5), true,
                                         NumRound(args, 6), NumRound(args, 7), false);
    delete image;
    SetReal(result, index);
}

ZB_BUILTIN(F_SpriteAddFromScreen)
{
    CSprite* s = Sprite_Data(NumRound(args, 0));
    if (!s) return;
    TBitmap* image = GR_D3D_ScreenToBitmap(NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4));
    s->AddFrameFromScreen(image, NumFromHalf(args, 5), NumFromHalf(args, 6), false);
    delete image;
}

ZB_BUILTIN(F_SpriteCreateFromSurface)
{
    const int32_t index = Sprite_AddEmpty();
    TBitmap* image = GR_Surface_GrabBitmap(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3),
                                           NumRound(args, 4));
    Sprite_Data(index)->CreateFromScreen(image, true, NumFromHalf(args, 5), NumFromHalf(args, 6), true,
                                         NumRound(args, 7), NumRound(args, 8), !NumFromHalf(args, 5));
    delete image;
    SetReal(result, index);
}

ZB_BUILTIN(F_SpriteAddFromSurface)
{
    CSprite* s = Sprite_Data(NumRound(args, 0));
    if (!s) return;
    TBitmap* image = GR_Surface_GrabBitmap(NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4),
                                           NumRound(args, 5));
    s->AddFrameFromScreen(image, NumFromHalf(args, 6), NumFromHalf(args, 7), !NumFromHalf(args, 6));
    delete image;
}

// ---- Boxes, masks, textures, saving -----------------------------------------------------------
ZB_BUILTIN(F_SpriteSetBBoxMode)
{
    if (CSprite* s = Sprite_Data(NumRound(args, 0))) s->SetBBoxMode(NumRound(args, 1));
}
ZB_BUILTIN(F_SpriteSetBBox)
{
    if (CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->SetBBox(SpriteBox{NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4)});
}
ZB_BUILTIN(F_SpriteSetPrecise)
{
    if (CSprite* s = Sprite_Data(NumRound(args, 0))) s->SetPrecise(NumFromHalf(args, 1));
}
// Only the switch to precise masks is taken; the other arguments are not used.
ZB_BUILTIN(F_SpriteCollisionMask)
{
    if (CSprite* s = Sprite_Data(NumRound(args, 0))) {
        s->precise = 1;
        s->CreateMask();
    }
}
ZB_BUILTIN(F_SpriteGetTexture)
{
    CSprite* s = Sprite_Data(NumRound(args, 0));
    SetReal(result, s ? (double)s->GetTexture(NumTrunc(args, 1)) : -1.0);
}
ZB_BUILTIN(F_SpriteSave)
{
    CSprite* s = Sprite_Data(NumRound(args, 0));
    TBitmap* image = s ? s->GetFrameTBitmap(NumTrunc(args, 1)) : nullptr;
    if (!image) return;
    ArgAsText name(args, 2);
    int32_t pitch = 0;
    uint8_t* base = image->Lock(0, nullptr, &pitch);
    if (base && pitch == image->GetWidth() * 4) write_png_file(name.text, base, image->GetWidth(), image->GetHeight());
    delete image;
}

// ---- Readers ---------------------------------------------------------------------------------
ZB_BUILTIN(F_SpriteExists) { SetReal(result, Sprite_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SpriteGetName) { Value_SetString(result, Sprite_GetName(NumRound(args, 0))); }
#define SPRITE_READER(fn, expr)                                                                                        \
    ZB_BUILTIN(fn)                                                                                                     \
    {                                                                                                                  \
        if (const CSprite* s = Sprite_Data(NumRound(args, 0))) SetReal(result, (expr));                                \
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
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawSimple(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_DrawSpriteExt)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->Draw(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                NumFloat(args, 6), NumRoundU32(args, 7), NumFloat(args, 8));
}
ZB_BUILTIN(F_DrawSpriteStretched)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawStretched(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                         0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawSpriteStretchedExt)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawStretched(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                         NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawSpritePart)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawPart(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                    NumFloat(args, 6), NumFloat(args, 7), 1, 1, 0xFFFFFF, DrawAlpha());
}
ZB_BUILTIN(F_DrawSpritePartExt)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawPart(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                    NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9), NumRoundU32(args, 10),
                    NumFloat(args, 11));
}
ZB_BUILTIN(F_DrawSpriteGeneral)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawGeneral(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                       NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9), NumFloat(args, 10),
                       NumRoundU32(args, 11), NumRoundU32(args, 12), NumRoundU32(args, 13), NumRoundU32(args, 14),
                       NumFloat(args, 15));
}
ZB_BUILTIN(F_DrawSpriteTiled)
{
    float w, h;
    GR_RoomArea(&w, &h);
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawTiled(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), 1, 1, true, true, 0, 0, w, h, 0xFFFFFF,
                     DrawAlpha());
}
ZB_BUILTIN(F_DrawSpriteTiledExt)
{
    float w, h;
    GR_RoomArea(&w, &h);
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawTiled(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                     true, true, 0, 0, w, h, NumRoundU32(args, 6), NumFloat(args, 7));
}
ZB_BUILTIN(F_DrawSpritePos)
{
    if (const CSprite* s = Sprite_Data(NumRound(args, 0)))
        s->DrawPos(NumTrunc(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                   NumFloat(args, 6), NumFloat(args, 7), NumFloat(args, 8), NumFloat(args, 9), NumFloat(args, 10));
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
