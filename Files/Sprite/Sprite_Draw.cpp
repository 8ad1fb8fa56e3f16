// Sprite drawing: frame choice, view culling and the hand-over to the quad back ends of the
// texture table (page-entry form when the sprite has page entries, else its texture ids).
// See Sprite_Main.h. No host library here.
#include <cfloat>
#include <cmath>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Sprite/Sprite_Main.h"

namespace {

const float kDegToRad = PI_F / 180.0f;

// The room rectangle being drawn; without a room nothing is culled.
struct DrawRect {
    float left = -FLT_MAX, top = -FLT_MAX, right = FLT_MAX, bottom = FLT_MAX;
};
DrawRect g_rect;

// True when a frame at (x, y) reaching rx across and ry down from it can touch the rectangle.
bool Visible(float x, float y, float rx, float ry)
{
    return g_rect.top - y <= ry && y - g_rect.bottom <= ry && g_rect.left - x <= rx && x - g_rect.right <= rx;
}

// Culling of the simple and general forms: only on the screen and the room's own projection.
bool CullsOnScreen() { return GR_Surface_CurrentTarget() == -1 && !GR_CustomProjection; }

} // namespace

void Sprite_SetDrawRect(float left, float top, float right, float bottom)
{
    g_rect.left = left;
    g_rect.top = top;
    g_rect.right = right;
    g_rect.bottom = bottom;
}

void Sprite_ResetDrawRect() { g_rect = DrawRect(); }

void CSprite::Draw(int32_t frame, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
                   float alpha) const
{
    if (frameCount <= 0) return;
    const int32_t f = WrapFrame(frame);
    if (!GR_3D_GetMode() && !GR_CustomProjection) {
        const float r = std::fmax(std::fabs((float)boundingRadius * xscale), std::fabs((float)boundingRadius * yscale));
        if (!Visible(x, y, r, r)) return;
    }
    const float a = angle * kDegToRad;
    if (pageEntries) {
        if (pageEntries[f])
            GR_Texture_DrawExtTPE(pageEntries[f], (float)xOrigin, (float)yOrigin, x, y, xscale, yscale, a, colour, alpha);
    } else if (textures && f < textureCount) {
        GR_Texture_DrawExt(textures[f], (float)xOrigin, (float)yOrigin, x, y, xscale, yscale, a, colour, alpha);
    }
}

void CSprite::DrawSimple(int32_t frame, float x, float y) const
{
    if (frameCount <= 0) return;
    const int32_t f = WrapFrame(frame);
    if (CullsOnScreen() && !Visible(x, y, (float)boundingRadius, (float)boundingRadius)) return;
    if (pageEntries) {
        if (pageEntries[f]) GR_Texture_DrawTPE(pageEntries[f], x - (float)xOrigin, y - (float)yOrigin);
    } else if (textures && f < textureCount) {
        GR_Texture_Draw(textures[f], x - (float)xOrigin, y - (float)yOrigin);
    }
}

void CSprite::DrawStretched(int32_t frame, float x, float y, float w, float h, uint32_t colour, float alpha) const
{
    if (frameCount <= 0 || !(w > 0.0f) || !(h > 0.0f) || width <= 0 || height <= 0) return;
    const int32_t f = WrapFrame(frame);
    const float xs = w / (float)width, ys = h / (float)height;
    if (pageEntries) {
        if (pageEntries[f]) GR_Texture_DrawExtTPE(pageEntries[f], 0, 0, x, y, xs, ys, 0, colour, alpha);
    } else if (textures && f < textureCount) {
        GR_Texture_DrawExt(textures[f], 0, 0, x, y, xs, ys, 0, colour, alpha);
    }
}

void CSprite::DrawPart(int32_t frame, float left, float top, float w, float h, float x, float y, float xscale,
                       float yscale, uint32_t colour, float alpha) const
{
    if (frameCount <= 0) return;
    const int32_t f = WrapFrame(frame);
    if (pageEntries) {
        if (pageEntries[f])
            GR_Texture_DrawPartTPE(pageEntries[f], left, top, w, h, x, y, xscale, yscale, 0, colour, alpha);
    } else if (textures && f < textureCount) {
        GR_Texture_DrawPart(textures[f], left, top, w, h, x, y, xscale, yscale, 0, colour, alpha);
    }
}

void CSprite::DrawGeneral(int32_t frame, float left, float top, float w, float h, float x, float y, float xscale,
                          float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                          float alpha) const
{
    if (frameCount <= 0) return;
    const int32_t f = WrapFrame(frame);
    if (CullsOnScreen() &&
        !Visible(x, y, std::fabs((float)boundingRadius * xscale), std::fabs((float)boundingRadius * yscale)))
        return;
    const float a = angle * kDegToRad;
    if (pageEntries) {
        if (pageEntries[f])
            GR_Texture_DrawGeneralTPE(pageEntries[f], left, top, w, h, x, y, xscale, yscale, a, c1, c2, c3, c4, alpha);
    } else if (textures && f < textureCount) {
        GR_Texture_DrawGeneral(textures[f], left, top, w, h, x, y, xscale, yscale, a, c1, c2, c3, c4, alpha);
    }
}

void CSprite::DrawTiled(int32_t frame, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                        float areaLeft, float areaTop, float areaWidth, float areaHeight, uint32_t colour,
                        float alpha) const
{
    if (frameCount <= 0) return;
    const int32_t f = WrapFrame(frame);
    const float ox = (float)xOrigin, oy = (float)yOrigin;
    if (pageEntries) {
        if (pageEntries[f])
            GR_Texture_DrawTiledTPE(pageEntries[f], ox, oy, x, y, xscale, yscale, htiled, vtiled, areaLeft, areaTop,
                                    areaWidth, areaHeight, colour, alpha);
    } else if (textures && f < textureCount) {
        GR_Texture_DrawTiled(textures[f], ox, oy, x, y, xscale, yscale, htiled, vtiled, areaLeft, areaTop, areaWidth,
                             areaHeight, colour, alpha);
    }
}

void CSprite::DrawPos(int32_t frame, float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                      float alpha) const
{
    if (frameCount <= 0 || !pageEntries) return;
    const int32_t f = WrapFrame(frame);
    if (pageEntries[f]) GR_Texture_DrawPosTPE(pageEntries[f], x1, y1, x2, y2, x3, y3, x4, y4, 0xFFFFFF, alpha);
}
