// The render-state cache and the drawing settings that survive a device reset. Drawing code
// sets wanted values in the one RenderStateCache; only differences from what was applied are
// marked, and the vertex batch's flush sends them (Apply) after drawing what was gathered
// under the old states. Below it a device-side shadow drops calls whose value the device
// already holds. Also here: the drawing colour and alpha, the 3D switches, fog, texture
// filtering/blending/repeat, the colour-write mask and the fixed-function lights.
//
// Needs: Graphics_D3D (the device), Graphics_Batch (flush).
#pragma once

#include <cstdint>

enum { GR_RS_COUNT = 25, GR_SAMPLER_ENTRIES = 32 };

// Program-wide render-state indices (ORDER: the cache's own numbering).
enum : int32_t {
    GR_RS_NONE = 0, GR_RS_ZENABLE = 1, GR_RS_FILLMODE = 2, GR_RS_SHADEMODE = 3,
    GR_RS_ZWRITE = 4, GR_RS_ALPHATEST = 5, GR_RS_SRCBLEND = 6, GR_RS_DESTBLEND = 7,
    GR_RS_CULLMODE = 8, GR_RS_ALPHAREF = 10, GR_RS_ALPHAFUNC = 11, GR_RS_ALPHABLEND = 12,
    GR_RS_FOG = 13, GR_RS_FOGCOLOUR = 15, GR_RS_FOGTABLEMODE = 16, GR_RS_FOGSTART = 17,
    GR_RS_FOGEND = 18, GR_RS_RANGEFOG = 20, GR_RS_LIGHTING = 21, GR_RS_FOGVERTEXMODE = 23,
    GR_RS_COLOURWRITE = 24,
};

class RenderStateCache {
public:
    RenderStateCache();
    void SetRenderState(int32_t index, uint32_t value);
    void SetSamplerState(int32_t stage, int32_t kind, uint32_t value);
    void Apply();
    void MarkAllDirty();
    bool Dirty() const { return m_renderDirty != 0 || m_samplerDirty != 0; }

    uint32_t m_renderDirty;
    uint32_t m_applied[GR_RS_COUNT];
    uint32_t m_wanted[GR_RS_COUNT];
    uint64_t m_samplerDirty;
    uint32_t m_samplerApplied[GR_SAMPLER_ENTRIES];
    uint32_t m_samplerWanted[GR_SAMPLER_ENTRIES];
};
extern RenderStateCache g_RenderStateCache;

struct GR_DrawSettings {
    uint32_t srcBlend = 5, destBlend = 6;
    bool interpolation = true, blending = true, perspective = true, hidden = true;
    bool zwrite = true, smoothShading = true;
    float fogEnd = 1.0f;
    uint32_t colourWriteMask = 15;
    uint32_t alphaFunc = 5;
    bool mode3D = false, repeat = false, culling = false, lighting = false, fog = false;
    uint32_t fogColour = 0;
    float fogStart = 0.0f;
    uint32_t alphaRef = 0;
    bool alphaTest = false;
    // Kept by the device-state setter for the overlay.
    bool depthTestOn = true, fogOn = true, lightingOn = true;
    uint32_t lastCulling = 0;
};
GR_DrawSettings& GR_Settings();

void GR_State_SetRenderState(int32_t index, uint32_t value);
void GR_State_ApplySampler(int32_t stage, int32_t entry, uint32_t value);
void GR_State_SetDeviceDefaults();
void GR_State_ApplyAll();
// Forgets the device-side shadows (every value unknown): after a device is created or reset.
void GR_State_ForgetDeviceShadows();

void GR_State_SetBlendModeExt(uint32_t src, uint32_t dest);
void GR_State_SetBlendMode(int32_t mode);
void GR_State_SetColourWriteEnable(bool red, bool green, bool blue, bool alpha);
void GR_State_SetAlphaTest(bool on);
bool GR_State_GetAlphaTest();
void GR_State_SetAlphaTestRef(uint32_t value);
uint32_t GR_State_GetAlphaTestRef();
void GR_State_SetAlphaBlend(bool on);

void GR_3D_SetPerspective(bool on);
void GR_3D_SetHidden(bool on);
void GR_3D_SetZWriteEnable(bool on);
void GR_3D_SetCulling(bool on);
void GR_3D_SetShading(bool smooth);
void GR_3D_SetLighting(bool on);
void GR_3D_SetFog(bool on, uint32_t colour, int32_t start, int32_t end);

void GR_Texture_SetInterpolation(bool on);
bool GR_Texture_GetInterpolation();
void GR_Texture_SetBlending(bool on);
void GR_Texture_SetRepeat(bool on);
bool GR_Texture_GetRepeat();

void GR_3D_SetAmbient(uint32_t colour);
void GR_3D_DefineDirectionalLight(int32_t index, float x, float y, float z, uint32_t colour);
void GR_3D_DefinePointLight(int32_t index, float x, float y, float z, float range,
                            uint32_t colour);
void GR_3D_EnableLight(int32_t index, bool on);

void GR_Draw_SetColour(uint32_t colour);
void GR_Draw_SetAlpha(float alpha);
uint32_t GR_Draw_GetColour();
double GR_Draw_GetAlpha();
uint32_t GR_Draw_GetColourARGB(); // device order with the alpha byte
uint32_t GR_Colour_FromRGB(int32_t red, int32_t green, int32_t blue);
