// The render-state cache, the drawing settings, the drawing colour and the lights (see
// Graphics_RenderState.h). Device calls go through Graphics_D3D's device; the device itself
// is backed by Linux/Graphics_DeviceM.cpp.
#include "Files/Graphics_API/Graphics_RenderState.h"

#include <cstring>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"

// ---- Defaults and device states by the program's index (ORDER: GR_RS_*) --------------------
static const uint32_t kDefaults[GR_RS_COUNT] = {
    0, 0, 3, 1, 1, 0, 5, 6, 0, 0, 1, 5, 1, 0, 0, 0, 1, 0, 0x3F800000u, 0, 0, 0, 0, 3, 15,
};
static const uint32_t kDeviceState[GR_RS_COUNT] = {
    0, GFX_RS_ZENABLE, GFX_RS_FILLMODE, GFX_RS_SHADEMODE, GFX_RS_ZWRITEENABLE,
    GFX_RS_ALPHATESTENABLE, GFX_RS_SRCBLEND, GFX_RS_DESTBLEND, GFX_RS_CULLMODE, 0,
    GFX_RS_ALPHAREF, GFX_RS_ALPHAFUNC, GFX_RS_ALPHABLENDENABLE, GFX_RS_FOGENABLE, 0,
    GFX_RS_FOGCOLOR, GFX_RS_FOGTABLEMODE, GFX_RS_FOGSTART, GFX_RS_FOGEND, 0,
    GFX_RS_RANGEFOGENABLE, GFX_RS_LIGHTING, 0, GFX_RS_FOGVERTEXMODE, GFX_RS_COLORWRITEENABLE,
};

RenderStateCache g_RenderStateCache;

RenderStateCache::RenderStateCache()
{
    std::memcpy(m_applied, kDefaults, sizeof(kDefaults));
    std::memcpy(m_wanted, kDefaults, sizeof(kDefaults));
    std::memset(m_samplerApplied, 0, sizeof(m_samplerApplied));
    std::memset(m_samplerWanted, 0, sizeof(m_samplerWanted));
    m_renderDirty = 0;
    m_samplerDirty = 0;
}

void RenderStateCache::SetRenderState(int32_t index, uint32_t value)
{
    if (index < 0 || index >= GR_RS_COUNT || value == m_wanted[index]) return;
    if (value != m_applied[index]) m_renderDirty |= 1u << index;
    else m_renderDirty &= ~(1u << index);
    m_wanted[index] = value;
}

void RenderStateCache::SetSamplerState(int32_t stage, int32_t kind, uint32_t value)
{
    int32_t i = stage * 4 + kind;
    if (i < 0 || i >= GR_SAMPLER_ENTRIES || value == m_samplerWanted[i]) return;
    if (value != m_samplerApplied[i]) m_samplerDirty |= 1ull << i;
    else m_samplerDirty &= ~(1ull << i);
    m_samplerWanted[i] = value;
}

void RenderStateCache::Apply()
{
    if (m_renderDirty) {
        for (int32_t i = 0; i < GR_RS_COUNT; ++i)
            if (m_renderDirty & (1u << i)) {
                GR_State_SetRenderState(i, m_wanted[i]);
                m_applied[i] = m_wanted[i];
            }
        m_renderDirty = 0;
    }
    if (m_samplerDirty) {
        for (int32_t i = 0; i < GR_SAMPLER_ENTRIES; ++i)
            if (m_samplerDirty & (1ull << i)) {
                GR_State_ApplySampler(i / 4, i, m_samplerWanted[i]);
                m_samplerApplied[i] = m_samplerWanted[i];
            }
        m_samplerDirty = 0;
    }
}

void RenderStateCache::MarkAllDirty()
{
    m_renderDirty |= 0x1B7BDFEu;
    m_samplerDirty |= 0x3FFull;
    Apply();
}

// ---- Device-side shadows ------------------------------------------------------------------
static uint32_t s_rsShadow[GFX_RS_COUNT];
static bool s_rsKnown[GFX_RS_COUNT];
static uint32_t s_sampShadow[8][16];
static bool s_sampKnown[8][16];

void GR_State_ForgetDeviceShadows()
{
    std::memset(s_rsKnown, 0, sizeof(s_rsKnown));
    std::memset(s_sampKnown, 0, sizeof(s_sampKnown));
}

static void DeviceRS(uint32_t state, uint32_t value)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev || state >= GFX_RS_COUNT) return;
    if (s_rsKnown[state] && s_rsShadow[state] == value) return;
    s_rsKnown[state] = true;
    s_rsShadow[state] = value;
    dev->SetRenderState(state, value);
}

static void DeviceSampler(uint32_t stage, uint32_t type, uint32_t value)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev || stage >= 8 || type >= 16) return;
    if (s_sampKnown[stage][type] && s_sampShadow[stage][type] == value) return;
    s_sampKnown[stage][type] = true;
    s_sampShadow[stage][type] = value;
    dev->SetSamplerState(stage, type, value);
}

static GR_DrawSettings g_settings;
GR_DrawSettings& GR_Settings() { return g_settings; }

static uint32_t ConvertFogMode(uint32_t v) { return v <= 2 ? v : 3; }

void GR_State_SetRenderState(int32_t index, uint32_t value)
{
    if (index < 1 || index >= GR_RS_COUNT || kDeviceState[index] == 0) return;
    switch (index) {
    case GR_RS_ZENABLE:
        g_settings.depthTestOn = value != 0;
        // The back buffer has no depth buffer: depth-tested drawing goes to the screen texture.
        if (value != 0 && GR_D3D_State().frameOnWindow) GR_D3D_MoveFrameToScreenTexture();
        break;
    case GR_RS_FILLMODE: value = (value == 1 || value == 2) ? value : 3; break;
    case GR_RS_SHADEMODE: value = value == 1 ? 1 : 2; break;
    case GR_RS_SRCBLEND:
    case GR_RS_DESTBLEND: value = (value >= 2 && value <= 17) ? value : 1; break;
    case GR_RS_CULLMODE:
        g_settings.lastCulling = value;
        value = value == 1 ? 2 : value == 2 ? 3 : 1;
        break;
    case GR_RS_ALPHAFUNC: value = (value >= 1 && value <= 7) ? value : 8; break;
    case GR_RS_FOG: g_settings.fogOn = value != 0; break;
    case GR_RS_FOGTABLEMODE:
    case GR_RS_FOGVERTEXMODE: value = ConvertFogMode(value); break;
    case GR_RS_LIGHTING: g_settings.lightingOn = value != 0; break;
    case GR_RS_COLOURWRITE: value &= 15; break;
    default: break;
    }
    DeviceRS(kDeviceState[index], value);
}

void GR_State_ApplySampler(int32_t stage, int32_t entry, uint32_t value)
{
    if (stage != 0) return; // only stage 0 is ever sent
    switch (entry & 3) {
    case 0: DeviceSampler(0, GFX_SAMP_MAGFILTER, value == 0 ? GFX_TEXF_LINEAR : GFX_TEXF_POINT); break;
    case 1: DeviceSampler(0, GFX_SAMP_MINFILTER, value == 0 ? GFX_TEXF_LINEAR : GFX_TEXF_POINT); break;
    case 2: DeviceSampler(0, GFX_SAMP_ADDRESSU, value == 0 ? GFX_TADDRESS_WRAP : GFX_TADDRESS_CLAMP); break;
    default: DeviceSampler(0, GFX_SAMP_ADDRESSV, value == 0 ? GFX_TADDRESS_WRAP : GFX_TADDRESS_CLAMP); break;
    }
}

void GR_State_SetDeviceDefaults()
{
    std::memset(s_rsKnown, 0, sizeof(s_rsKnown));
    static const uint32_t kList[][2] = {
        {GFX_RS_LIGHTING, 1}, {GFX_RS_ZENABLE, 1}, {GFX_RS_FILLMODE, 3}, {GFX_RS_SHADEMODE, 2},
        {GFX_RS_ZWRITEENABLE, 1}, {GFX_RS_ALPHATESTENABLE, 0}, {GFX_RS_LASTPIXEL, 1},
        {GFX_RS_SRCBLEND, 2}, {GFX_RS_DESTBLEND, 1}, {GFX_RS_CULLMODE, 1}, {GFX_RS_ZFUNC, 4},
        {GFX_RS_ALPHAREF, 128}, {GFX_RS_ALPHAFUNC, 8}, {GFX_RS_DITHERENABLE, 1},
        {GFX_RS_ALPHABLENDENABLE, 0}, {GFX_RS_FOGENABLE, 0}, {GFX_RS_SPECULARENABLE, 0},
        {GFX_RS_FOGCOLOR, 0}, {GFX_RS_FOGTABLEMODE, 0}, {GFX_RS_FOGSTART, 0},
        {GFX_RS_STENCILENABLE, 0}, {GFX_RS_STENCILFAIL, 1}, {GFX_RS_COLORWRITEENABLE, 15},
        {GFX_RS_BLENDOP, 1},
    };
    for (auto& e : kList) DeviceRS(e[0], e[1]);
}

void GR_State_ApplyAll()
{
    if (!GR_D3D_State().device) return;
    RenderStateCache& c = g_RenderStateCache;
    GR_State_SetDeviceDefaults();
    std::memset(s_sampKnown, 0, sizeof(s_sampKnown));
    c.SetRenderState(GR_RS_ALPHABLEND, 1);
    GR_3D_SetCulling(g_settings.culling);
    GR_State_SetBlendModeExt(g_settings.srcBlend, g_settings.destBlend);
    c.SetRenderState(GR_RS_LIGHTING, g_settings.lighting ? 1 : 0);
    c.SetRenderState(GR_RS_SHADEMODE, g_settings.smoothShading ? 2 : 1);
    GR_3D_SetHidden(g_settings.hidden);
    GR_3D_SetFog(g_settings.fog, g_settings.fogColour, (int32_t)g_settings.fogStart,
                 (int32_t)g_settings.fogEnd);
    GR_D3D_SetTexture(0, nullptr);
    GR_Texture_SetInterpolation(g_settings.interpolation);
    GR_D3D_Flush();
    GR_Texture_SetBlending(g_settings.blending);
    GR_Texture_SetRepeat(g_settings.repeat);
    c.SetRenderState(GR_RS_COLOURWRITE, g_settings.colourWriteMask);
    c.SetRenderState(GR_RS_ALPHATEST, g_settings.alphaTest ? 1 : 0);
    c.SetRenderState(GR_RS_ALPHAREF, g_settings.alphaRef);
    c.SetRenderState(GR_RS_ALPHAFUNC, g_settings.alphaFunc);
    c.MarkAllDirty();
}

// ---- Setters behind the drawing built-ins ----------------------------------------------------
void GR_State_SetBlendModeExt(uint32_t src, uint32_t dest)
{
    g_settings.srcBlend = src;
    g_settings.destBlend = dest;
    g_RenderStateCache.SetRenderState(GR_RS_SRCBLEND, src);
    g_RenderStateCache.SetRenderState(GR_RS_DESTBLEND, dest);
}

void GR_State_SetBlendMode(int32_t mode)
{
    switch (mode) {
    case 1: GR_State_SetBlendModeExt(5, 2); break;
    case 2: GR_State_SetBlendModeExt(5, 4); break;
    case 3: GR_State_SetBlendModeExt(1, 4); break;
    default: GR_State_SetBlendModeExt(5, 6); break;
    }
}

void GR_State_SetColourWriteEnable(bool red, bool green, bool blue, bool alpha)
{
    uint32_t mask = (red ? 1u : 0u) | (green ? 2u : 0u) | (blue ? 4u : 0u) | (alpha ? 8u : 0u);
    g_settings.colourWriteMask = mask;
    g_RenderStateCache.SetRenderState(GR_RS_COLOURWRITE, mask);
}

void GR_State_SetAlphaTest(bool on)
{
    if (!GR_D3D_State().device) return;
    g_settings.alphaTest = on;
    g_RenderStateCache.SetRenderState(GR_RS_ALPHATEST, on ? 1 : 0);
}
bool GR_State_GetAlphaTest() { return g_settings.alphaTest; }

void GR_State_SetAlphaTestRef(uint32_t value)
{
    g_settings.alphaRef = value;
    g_RenderStateCache.SetRenderState(GR_RS_ALPHAREF, value);
}
uint32_t GR_State_GetAlphaTestRef() { return g_settings.alphaRef; }

void GR_State_SetAlphaBlend(bool on) { g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, on ? 1 : 0); }

// ---- 3D switches ---------------------------------------------------------------------------
void GR_3D_SetPerspective(bool on) { g_settings.perspective = on; }

void GR_3D_SetHidden(bool on)
{
    g_settings.hidden = on;
    g_RenderStateCache.SetRenderState(GR_RS_ZENABLE, (g_settings.mode3D && on) ? 1 : 0);
}

void GR_3D_SetZWriteEnable(bool on)
{
    g_settings.zwrite = on;
    g_RenderStateCache.SetRenderState(GR_RS_ZWRITE, on ? 1 : 0);
}

void GR_3D_SetCulling(bool on)
{
    g_settings.culling = on;
    g_RenderStateCache.SetRenderState(GR_RS_CULLMODE, on ? 2 : 0);
}

void GR_3D_SetShading(bool smooth)
{
    g_settings.smoothShading = smooth;
    g_RenderStateCache.SetRenderState(GR_RS_SHADEMODE, smooth ? 2 : 1);
}

void GR_3D_SetLighting(bool on)
{
    g_settings.lighting = on;
    g_RenderStateCache.SetRenderState(GR_RS_LIGHTING, on ? 1 : 0);
}

static uint32_t FloatBits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

static uint32_t ScriptToDevice(uint32_t c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void GR_3D_SetFog(bool on, uint32_t colour, int32_t start, int32_t end)
{
    // Start and end arrive as 16-bit signed whole numbers.
    int16_t s16 = (int16_t)(uint16_t)(uint32_t)start, e16 = (int16_t)(uint16_t)(uint32_t)end;
    g_settings.fog = on;
    g_settings.fogColour = colour & 0xFFFFFF;
    g_settings.fogStart = (float)s16;
    g_settings.fogEnd = (float)e16;
    RenderStateCache& c = g_RenderStateCache;
    if (!on) {
        c.SetRenderState(GR_RS_FOG, 0);
        return;
    }
    int32_t support = GR_D3D_GetFogSupport();
    c.SetRenderState(GR_RS_FOG, 1);
    if (support == 1) {
        c.SetRenderState(GR_RS_FOGTABLEMODE, 3);
    } else if (support == 2) {
        c.SetRenderState(GR_RS_FOGVERTEXMODE, 3);
        c.SetRenderState(GR_RS_RANGEFOG, 1);
    } else {
        g_settings.fog = false;
        c.SetRenderState(GR_RS_FOG, 0);
        return;
    }
    c.SetRenderState(GR_RS_FOGCOLOUR, 0xFF000000u | ScriptToDevice(colour));
    c.SetRenderState(GR_RS_FOGSTART, FloatBits(g_settings.fogStart));
    c.SetRenderState(GR_RS_FOGEND, FloatBits(g_settings.fogEnd));
}

// ---- Texture settings ----------------------------------------------------------------------
void GR_Texture_SetInterpolation(bool on)
{
    g_settings.interpolation = on;
    g_RenderStateCache.SetSamplerState(0, 0, on ? 0 : 1);
    g_RenderStateCache.SetSamplerState(0, 1, on ? 0 : 1);
}
bool GR_Texture_GetInterpolation() { return g_settings.interpolation; }

void GR_Texture_SetRepeat(bool on)
{
    g_settings.repeat = on;
    g_RenderStateCache.SetSamplerState(0, 2, on ? 0 : 1);
    g_RenderStateCache.SetSamplerState(0, 3, on ? 0 : 1);
}
bool GR_Texture_GetRepeat() { return g_settings.repeat; }

void GR_Texture_SetBlending(bool on)
{
    g_settings.blending = on;
    GR_D3D_Flush();
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    if (on) {
        dev->SetTextureStageState(0, GFX_TSS_COLOROP, GFX_TOP_MODULATE);
        dev->SetTextureStageState(0, GFX_TSS_COLORARG1, GFX_TA_TEXTURE);
        dev->SetTextureStageState(0, GFX_TSS_COLORARG2, GFX_TA_DIFFUSE);
        dev->SetTextureStageState(0, GFX_TSS_ALPHAOP, GFX_TOP_MODULATE);
        dev->SetTextureStageState(0, GFX_TSS_ALPHAARG1, GFX_TA_TEXTURE);
        dev->SetTextureStageState(0, GFX_TSS_ALPHAARG2, GFX_TA_DIFFUSE);
    } else {
        dev->SetTextureStageState(0, GFX_TSS_COLOROP, GFX_TOP_SELECTARG1);
        dev->SetTextureStageState(0, GFX_TSS_ALPHAOP, GFX_TOP_SELECTARG1);
    }
}

// ---- Lights ----------------------------------------------------------------------------------
void GR_3D_SetAmbient(uint32_t colour)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    GR_D3D_Flush();
    GfxMaterial m{};
    m.diffuse = m.ambient = m.specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    m.power = 1.0f;
    dev->SetMaterial(m);
    DeviceRS(GFX_RS_AMBIENT, 0xFF000000u | ScriptToDevice(colour));
}

static GfxColourValue LightColour(uint32_t colour)
{
    return {(float)(colour & 0xFF) / 255.0f, (float)((colour >> 8) & 0xFF) / 255.0f,
            (float)((colour >> 16) & 0xFF) / 255.0f, 1.0f};
}

void GR_3D_DefineDirectionalLight(int32_t index, float x, float y, float z, uint32_t colour)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    GR_D3D_Flush();
    GfxLight l{};
    l.type = GFX_LIGHT_DIRECTIONAL;
    l.diffuse = LightColour(colour);
    l.direction[0] = x;
    l.direction[1] = y;
    l.direction[2] = z;
    dev->SetLight((uint32_t)index & 7, l);
}

void GR_3D_DefinePointLight(int32_t index, float x, float y, float z, float range, uint32_t colour)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    GR_D3D_Flush();
    GfxLight l{};
    l.type = GFX_LIGHT_POINT;
    l.diffuse = LightColour(colour);
    l.position[0] = x;
    l.position[1] = y;
    l.position[2] = z;
    l.range = range;
    l.attenuation0 = 1.0f;
    if (range > 0.0f) l.attenuation1 = 1.0f / range;
    dev->SetLight((uint32_t)index & 7, l);
}

void GR_3D_EnableLight(int32_t index, bool on)
{
    IGfxDevice* dev = GR_D3D_State().device;
    if (!dev) return;
    GR_D3D_Flush();
    dev->LightEnable((uint32_t)index & 7, on);
}

// ---- Drawing colour --------------------------------------------------------------------------
static uint32_t g_drawColour = 0xFF000000u;
static uint32_t g_drawAlpha = 255;

void GR_Draw_SetColour(uint32_t colour)
{
    g_drawColour = (g_drawAlpha << 24) | ScriptToDevice(colour);
}

void GR_Draw_SetAlpha(float a)
{
    if (a > 1.0f) a = 1.0f;
    if (!(a >= 0.0f)) a = 0.0f; // also NaN
    g_drawAlpha = (uint32_t)(a * 255.0f);
    g_drawColour = (g_drawColour & 0xFFFFFF) | (g_drawAlpha << 24);
}

uint32_t GR_Draw_GetColour()
{
    return (g_drawAlpha << 24) | ScriptToDevice(g_drawColour & 0xFFFFFF);
}

double GR_Draw_GetAlpha() { return (double)g_drawAlpha / 255.0; }
uint32_t GR_Draw_GetColourARGB() { return g_drawColour; }

uint32_t GR_Colour_FromRGB(int32_t red, int32_t green, int32_t blue)
{
    return (uint32_t)((blue * 256 + green) * 256 + red);
}
