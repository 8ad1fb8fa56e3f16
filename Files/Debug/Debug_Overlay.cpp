// The overlay, the profiler and the frame-rate statistics (Files/Debug/Debug_Overlay.h).
//
// [SECTION] Profiler
// [SECTION] Frame rates
// [SECTION] Drawing state
// [SECTION] Debug font
// [SECTION] The frame's overlay
#include "Files/Debug/Debug_Overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/IO/IO_Input.h"
#include "Files/Option/Options.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/GameHeader.h"

namespace {

// =============================================================================================
// [SECTION] Profiler
// =============================================================================================
struct Profiler {
    ProfilerMarker markers[PROFILER_MARKERS];
    int32_t count = 0;
    ProfilerMarker* stack[PROFILER_MARKERS];
    int32_t depth = 0;
    int64_t frameStart = 0;
    bool frameOpen = false;
};
Profiler g_profiler;

int64_t Now() { return int64_t(GR_Clock_Micros()); }

FpsStats g_fps;
int32_t g_lastFps = 0;

// Banner clicks: cells of a 10 x 10 grid over the window {column, row, tolerance in cells}.
const uint8_t kShowBanner[7][3] = {{0, 0, 1}, {9, 0, 1}, {9, 9, 1}, {0, 9, 1}, {0, 0, 1}, {9, 9, 1}, {5, 5, 1}};
const uint8_t kShowSwitch[8][3] = {{0, 0, 1}, {0, 9, 1}, {9, 9, 1}, {9, 0, 1}, {0, 0, 1}, {5, 5, 1}, {0, 5, 1}, {9, 5, 1}};
int32_t g_showAt = 0, g_switchAt = 0;

} // namespace

uint32_t Overlay_Flags() { return uint32_t(g_StartupOptions.debugFormMode); }
void Overlay_SetFlags(uint32_t flags) { g_StartupOptions.debugFormMode = int32_t(flags); }

void Profiler_Reset()
{
    Profiler& p = g_profiler;
    p.count = 0;
    p.depth = 0;
    p.frameStart = Now();
    p.frameOpen = true;
    GR_BatchStats& stats = GR_Batch_Stats();
    stats.textureSwaps = 0;
    stats.batches = 0;
    Profiler_Begin(0xFF000080u, "Total");
}

void Profiler_Begin(uint32_t colour, const char* name)
{
    Profiler& p = g_profiler;
    if (!p.frameOpen) Profiler_Reset(); // opens "Total" first
    if (p.count >= PROFILER_MARKERS) return;
    ProfilerMarker& m = p.markers[p.count++];
    m = ProfilerMarker{Now(), 0, colour, name};
    p.stack[p.depth++] = &m;
}

void Profiler_End()
{
    Profiler& p = g_profiler;
    if (p.depth <= 0) return;
    ProfilerMarker* m = p.stack[--p.depth];
    m->end = std::max(Now(), m->start);
}

int32_t Profiler_Count() { return g_profiler.count; }
const ProfilerMarker* Profiler_Marker(int32_t i) { return i >= 0 && i < g_profiler.count ? &g_profiler.markers[i] : nullptr; }

// =============================================================================================
// [SECTION] Frame rates
// =============================================================================================
FpsStats& Overlay_FpsStats() { return g_fps; }

int32_t Overlay_FrameRate(int64_t frameTime)
{
    if (frameTime <= 0) return 0; // a frame of no length has no rate
    const int64_t fps = 1000000 / frameTime;
    return fps > 2147483647 ? 2147483647 : int32_t(fps);
}

void FpsStats_Count(int32_t fps)
{
    if (g_fps.frames >= 100 && fps > 0) {
        g_fps.minimum = std::min(g_fps.minimum, fps);
        g_fps.maximum = std::max(g_fps.maximum, fps);
        g_fps.average = int32_t((int64_t(g_fps.average) + fps) / 2);
    }
    if (g_fps.frames < 2147483647) ++g_fps.frames;
}

void FpsStats_Print()
{
    Console_Output("---------------------------------------------------------------\n");
    Console_Output("minFPS, maxFPS, avgFPS\n");
    Console_Output("%d, %d, %d\n", g_fps.minimum, g_fps.maximum, g_fps.average);
}

void Overlay_FrameRateText(int32_t fps, uint32_t swaps, uint32_t batches, char* out, int32_t size)
{
    if (!out || size <= 0) return;
    std::snprintf(out, size_t(size), "%dfps\t\t(%u)(%u)", fps, swaps, batches);
}

// =============================================================================================
// [SECTION] Drawing state
// =============================================================================================
namespace {

struct Saved {
    uint32_t states[GR_RS_COUNT];
    float matrices[3][16];
    GfxViewport viewport;
    bool haveViewport;
    bool interpolation;
    int32_t depth = 0; // nested begins keep the outermost's saved state
};
Saved g_saved;

const int32_t kStates[] = {GR_RS_ZENABLE,   GR_RS_ZWRITE,   GR_RS_CULLMODE, GR_RS_ALPHABLEND, GR_RS_SRCBLEND,
                           GR_RS_DESTBLEND, GR_RS_LIGHTING, GR_RS_FOG,      GR_RS_ALPHATEST,  GR_RS_COLOURWRITE,
                           GR_RS_FILLMODE};

void WindowSize(int32_t* w, int32_t* h)
{
    const GR_DeviceState& st = GR_D3D_State();
    *w = std::max(1, st.clientWidth);
    *h = std::max(1, st.clientHeight);
}

} // namespace

void Overlay_Begin()
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device) return;
    if (g_saved.depth++ > 0) return;
    GR_D3D_Flush();
    RenderStateCache& c = g_RenderStateCache;
    std::memcpy(g_saved.states, c.m_wanted, sizeof g_saved.states);
    std::memcpy(g_saved.matrices, st.matrices, sizeof g_saved.matrices);
    g_saved.haveViewport = st.device->GetViewport(&g_saved.viewport);
    g_saved.interpolation = GR_Texture_GetInterpolation();
    c.SetRenderState(GR_RS_ZENABLE, 0);
    c.SetRenderState(GR_RS_ZWRITE, 0);
    c.SetRenderState(GR_RS_CULLMODE, 0); // none
    c.SetRenderState(GR_RS_ALPHABLEND, 1);
    c.SetRenderState(GR_RS_SRCBLEND, 5);  // source alpha
    c.SetRenderState(GR_RS_DESTBLEND, 6); // inverse source alpha
    c.SetRenderState(GR_RS_LIGHTING, 0);
    c.SetRenderState(GR_RS_FOG, 0);
    c.SetRenderState(GR_RS_ALPHATEST, 0);
    c.SetRenderState(GR_RS_COLOURWRITE, 15);
    c.SetRenderState(GR_RS_FILLMODE, 3);
    GR_Texture_SetInterpolation(false); // glyphs texel for pixel
    int32_t w, h;
    WindowSize(&w, &h);
    // The whole target, mapped from window pixels (y down).
    GfxViewport vp{0, 0, std::max(1, st.screenWidth), std::max(1, st.screenHeight), 0.0f, 1.0f};
    st.device->SetViewport(vp);
    float view[16], proj[16], world[16];
    grm::Identity(view);
    view[12] = float(-(w / 2));
    view[13] = float(-(h / 2));
    view[14] = 16000.0f;
    grm::Identity(world);
    grm::Ortho(proj, float(w), float(-h), 1.0f, 32000.0f);
    st.device->SetTransform(GFX_TS_VIEW, view);
    st.device->SetTransform(GFX_TS_WORLD, world);
    st.device->SetTransform(GFX_TS_PROJECTION, proj);
}

void Overlay_End()
{
    GR_DeviceState& st = GR_D3D_State();
    if (!st.device || g_saved.depth <= 0) return;
    if (--g_saved.depth > 0) return;
    GR_D3D_Flush();
    RenderStateCache& c = g_RenderStateCache;
    for (int32_t s : kStates) c.SetRenderState(s, g_saved.states[s]);
    GR_Texture_SetInterpolation(g_saved.interpolation);
    if (g_saved.haveViewport) st.device->SetViewport(g_saved.viewport);
    st.device->SetTransform(GFX_TS_VIEW, g_saved.matrices[0]);
    st.device->SetTransform(GFX_TS_PROJECTION, g_saved.matrices[1]);
    st.device->SetTransform(GFX_TS_WORLD, g_saved.matrices[2]);
}

// =============================================================================================
// [SECTION] Debug font
// =============================================================================================
namespace {

struct Vertex { // GFX_FVF_2DTEX
    float x, y, z;
    uint32_t colour;
    float u, v;
};

const GR_DebugGlyph* Glyph(unsigned char c)
{
    if (c < GR_DEBUG_FIRST_CHAR || c > GR_DEBUG_LAST_CHAR) return nullptr;
    return &GR_DebugFont_Glyphs()[c - GR_DEBUG_FIRST_CHAR];
}

std::string Format(const char* format, va_list args)
{
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format ? format : "", copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (size_t(n) < sizeof small) return std::string(small, size_t(n));
    std::string out(size_t(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(size_t(n));
    return out;
}

void Quad(Vertex* v, float l, float t, float r, float b, uint32_t colour, float u0, float v0, float u1, float v1, float z)
{
    const Vertex q[6] = {{l, t, z, colour, u0, v0}, {r, t, z, colour, u1, v0}, {r, b, z, colour, u1, v1},
                         {r, b, z, colour, u1, v1}, {l, b, z, colour, u0, v1}, {l, t, z, colour, u0, v0}};
    std::memcpy(v, q, sizeof q);
}

} // namespace

int32_t DebugFont_Width(const char* text)
{
    int32_t w = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
        if (*p == '\t') w = (w + 63) / 64 * 64;
        else if (const GR_DebugGlyph* g = Glyph(*p)) w += g->w;
    }
    return w;
}

void DebugFont_Draw(float x, float y, float scaleX, float scaleY, uint32_t colour, const char* text, int32_t maxChars)
{
    if (!text) return;
    TextureRecord* font = GR_Text_DefaultFontRecord();
    const int32_t length = int32_t(std::strlen(text));
    const int32_t n = maxChars >= 0 ? std::min(maxChars, length) : length;
    int32_t drawn = 0;
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        drawn += c > 32 && c <= GR_DEBUG_LAST_CHAR ? 1 : 0;
    }
    if (drawn == 0 || !font) return;
    auto* v = static_cast<Vertex*>(GR_D3D_AllocVertices(GFX_PT_TRIANGLELIST, font, int32_t(sizeof(Vertex)), drawn * 6));
    if (!v) return;
    int32_t used = 0;
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\t') {
            x = std::floor((x + 63.0f) / 64.0f) * 64.0f;
            continue;
        }
        const GR_DebugGlyph* g = Glyph(c);
        if (!g) continue; // no glyph: nothing, no advance
        if (c > 32) {
            Quad(v + used * 6, x, y, x + g->w * scaleX, y + g->h * scaleY, colour, g->x / 256.0f, g->y / 128.0f,
                 (g->x + g->w) / 256.0f, (g->y + g->h) / 128.0f, 0.7f);
            ++used;
        }
        x += g->w * scaleX;
    }
    if (used < drawn) GR_D3D_ReturnVertices((drawn - used) * 6);
}

namespace {
// The text in the shadow colour at (x - 1, y), (x + 1, y), (x, y - 1), (x, y + 2) (always, or
// only for a shadow colour other than 0), then in the colour at (x, y).
void Shadowed(float x, float y, uint32_t colour, uint32_t shadow, const std::string& text, bool always)
{
    if (always || shadow != 0) {
        DebugFont_Draw(x - 1, y, 1, 1, shadow, text.c_str(), -1);
        DebugFont_Draw(x + 1, y, 1, 1, shadow, text.c_str(), -1);
        DebugFont_Draw(x, y - 1, 1, 1, shadow, text.c_str(), -1);
        DebugFont_Draw(x, y + 2, 1, 1, shadow, text.c_str(), -1);
    }
    DebugFont_Draw(x, y, 1, 1, colour, text.c_str(), -1);
}
} // namespace

void DebugFont_DrawShadowed(float x, float y, uint32_t colour, uint32_t shadow, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    Shadowed(x, y, colour, shadow, text, true); // black is a shadow colour too
}

void DebugFont_Print(float x, float y, uint32_t colour, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    DebugFont_Draw(x, y, 1, 1, colour, text.c_str(), -1);
}

void DebugFont_DrawCentred(float y, uint32_t shadow, uint32_t colour, const char* text)
{
    int32_t w, h;
    WindowSize(&w, &h);
    const float x = float((w - DebugFont_Width(text) + 1) / 2);
    DebugFont_DrawShadowed(x, y, colour, shadow, "%s", text ? text : "");
}

void DebugFont_Printf(int32_t x, float y, uint32_t shadow, uint32_t colour, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = Format(format, args);
    va_end(args);
    if (text.size() > 2048) text.resize(2048);
    int32_t w, h;
    WindowSize(&w, &h);
    const int32_t limit = std::max(1, w - 4);
    const int32_t lineHeight = (Glyph('@') ? int32_t(Glyph('@')->h) : int32_t(GR_DEBUG_LINE_HEIGHT)) + 2;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n')) ++at;
        if (at >= text.size()) break;
        size_t end = at, lastSpace = std::string::npos;
        int32_t width = 0;
        while (end < text.size() && text[end] != '\n') {
            const GR_DebugGlyph* g = Glyph(static_cast<unsigned char>(text[end]));
            const int32_t advance = g ? g->w : 0;
            if (width + advance > limit) break;
            if (text[end] == ' ') lastSpace = end;
            width += advance;
            ++end;
        }
        if (end < text.size() && text[end] != '\n' && lastSpace != std::string::npos) end = lastSpace; // at the last space
        if (end == at) ++end; // a glyph wider than the window: one character a line
        const std::string line = text.substr(at, end - at);
        const int32_t lineWidth = DebugFont_Width(line.c_str());
        const float lx = x == DEBUGFONT_CENTRE ? float((limit - lineWidth) / 2) : float(x);
        Shadowed(lx, y, colour, shadow, line, false);
        y += float(lineHeight);
        at = end;
    }
}

// =============================================================================================
// [SECTION] The frame's overlay
// =============================================================================================
namespace {

bool CellMatches(const uint8_t cell[3], int32_t x, int32_t y, int32_t w, int32_t h)
{
    const int32_t column = int32_t(int64_t(x) * 10 / std::max(1, w)), row = int32_t(int64_t(y) * 10 / std::max(1, h));
    return std::abs(column - cell[0]) <= cell[2] && std::abs(row - cell[1]) <= cell[2];
}

// Advances a click sequence; true when it is complete.
bool Advance(const uint8_t (*cells)[3], int32_t count, int32_t* at, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (CellMatches(cells[*at], x, y, w, h)) {
        if (++*at >= count) {
            *at = 0;
            return true;
        }
    } else {
        *at = CellMatches(cells[0], x, y, w, h) ? 1 : 0;
    }
    return false;
}

void HandleClicks()
{
    if (!IO_MouseButtonReleased(1, 0)) return;
    int32_t w, h;
    WindowSize(&w, &h);
    const int32_t x = IO_GetDeviceMouseX(0), y = IO_GetDeviceMouseY(0);
    uint32_t flags = Overlay_Flags();
    if (!(flags & OVERLAY_BANNER)) {
        if (Advance(kShowBanner, 7, &g_showAt, x, y, w, h)) Overlay_SetFlags(flags | OVERLAY_BANNER);
        return;
    }
    if (x > w - 80 && x < w - 16 && y >= 81 && y <= 95) {
        Overlay_SetFlags(flags & ~(OVERLAY_BANNER | OVERLAY_FPS_SWITCH));
        return;
    }
    if (flags & OVERLAY_FPS_SWITCH) {
        if (x >= 11 && x <= 73 && y >= 11 && y <= 25) Overlay_SetFlags(flags ^ OVERLAY_FPS);
    } else if (Advance(kShowSwitch, 8, &g_switchAt, x, y, w, h)) {
        Overlay_SetFlags(flags | OVERLAY_FPS_SWITCH);
    }
}

void Band(int64_t frameTime, int32_t w)
{
    const Profiler& p = g_profiler;
    const float scale = float(w) / PROFILER_TIME_SCALE;
    auto* v = static_cast<Vertex*>(GR_D3D_AllocVertices(GFX_PT_TRIANGLELIST, nullptr, int32_t(sizeof(Vertex)), (p.count + 1) * 6));
    if (!v) return;
    const int64_t now = Now();
    Quad(v, 0, 10, float(std::max<int64_t>(frameTime, 0)) * scale, 20, 0xFFFFFFFFu, 0, 0, 0, 0, 0.5f);
    for (int32_t i = 0; i < p.count; ++i) {
        const ProfilerMarker& m = p.markers[i];
        const int64_t end = m.end ? m.end : now; // left open by an early return: up to now
        Quad(v + (i + 1) * 6, float(m.start - p.frameStart) * scale, 10, float(end - p.frameStart) * scale, 20, m.colour,
             0, 0, 0, 0, 0.5f);
    }
}

} // namespace

void Overlay_DrawFrame()
{
    Profiler& p = g_profiler;
    if (!p.frameOpen) Profiler_Reset();
    if (p.depth > 0) {
        // Markers a frame left open close with it; "Total" is the outermost.
        while (p.depth > 1) Profiler_End();
        Profiler_End();
    }
    const int64_t now = Now();
    const int64_t frameTime = g_fps.lastFrameTime ? now - g_fps.lastFrameTime : 0;
    g_fps.lastFrameTime = now;
    int32_t fps = Overlay_FrameRate(frameTime);
    if (fps == 0) fps = g_lastFps; // no time passed: the last rate still holds
    else FpsStats_Count(fps);
    g_lastFps = fps;
    HandleClicks();

    const uint32_t flags = Overlay_Flags();
    if (flags & (OVERLAY_FPS | OVERLAY_BANNER)) {
        int32_t w, h;
        WindowSize(&w, &h);
        Overlay_Begin();
        if (flags & OVERLAY_FPS) {
            Band(frameTime, w);
            const GR_BatchStats& stats = GR_Batch_Stats();
            char line[96];
            Overlay_FrameRateText(fps, stats.textureSwaps, stats.batches, line, int32_t(sizeof line));
            DebugFont_DrawShadowed(0, 0, 0xFFFFFFFFu, 0xFF000000u, "%s", line);
        }
        if (flags & OVERLAY_BANNER) {
            auto* v = static_cast<Vertex*>(GR_D3D_AllocVertices(GFX_PT_TRIANGLELIST, nullptr, int32_t(sizeof(Vertex)), 6));
            if (v) Quad(v, 0, 0, float(w), 100, 0xC0000000u, 0, 0, 0, 0, 0.5f);
            char banner[128];
            std::snprintf(banner, sizeof banner, "Kovrin Games Runner v%d.%d(%d)[%s]%c", 1, 2, 0, "r0",
                          g_StartupOptions.debugMode ? '*' : ' ');
            DebugFont_DrawCentred(40, 0xFF000000u, 0xFFFFFFFFu, banner);
            if (g_GameHeader.present) {
                const std::string game = std::string("Game : ") + (g_GameHeader.gameName ? g_GameHeader.gameName : "") +
                                         " v" + std::to_string(g_Options.versionMajor) + "." +
                                         std::to_string(g_Options.versionMinor);
                DebugFont_DrawCentred(54, 0xFF000000u, 0xFFFFFFFFu, game.c_str());
            }
            DebugFont_DrawShadowed(float(w - 80), 80, 0xFFFFFFFFu, 0xFF000000u, "CLOSE");
            if (flags & OVERLAY_FPS_SWITCH)
                DebugFont_DrawShadowed(10, 10, 0xFFFFFFFFu, 0xFF000000u, "%s", (flags & OVERLAY_FPS) ? "FPS : ON" : "FPS : OFF");
        }
        Overlay_End();
    }
    p.frameOpen = false;
}

void Overlay_Reset()
{
    g_profiler.count = g_profiler.depth = 0;
    g_profiler.frameOpen = false;
    g_fps = FpsStats();
    g_lastFps = 0;
    g_showAt = g_switchAt = 0;
    g_saved.depth = 0;
}

void Overlay_ClickSequences(const uint8_t (**show)[3], int32_t* showCount, const uint8_t (**fps)[3], int32_t* fpsCount)
{
    *show = kShowBanner;
    *showCount = 7;
    *fps = kShowSwitch;
    *fpsCount = 8;
}
