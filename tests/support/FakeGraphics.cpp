// Fakes of the graphics platform (see FakeGraphics.h).
#include "support/FakeGraphics.h"

#include <algorithm>
#include <cstring>

#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"

float FakeDraw::F(uint32_t vertex, uint32_t field) const
{
    float f;
    std::memcpy(&f, vertices.data() + (size_t)vertex * stride + field * 4, 4);
    return f;
}

uint32_t FakeDraw::Colour(uint32_t vertex) const
{
    uint32_t c;
    std::memcpy(&c, vertices.data() + (size_t)vertex * stride + (stride == 36 ? 24 : 12), 4);
    return c;
}

static void Resize(FakePixels& p, int32_t w, int32_t h)
{
    p.w = w;
    p.h = h;
    p.px.assign((size_t)w * h, 0);
}

FakeDevice::FakeDevice(const GfxPresentParams& pp)
{
    m_back = new FakeSurface();
    m_back->width = pp.backBufferWidth;
    m_back->height = pp.backBufferHeight;
    Resize(m_back->own, pp.backBufferWidth, pp.backBufferHeight);
    m_back->pixels = &m_back->own;
    m_backDepth = new FakeSurface();
    m_backDepth->depth = true;
    m_colour = m_back;
    m_colour->AddRef();
    m_depth = m_backDepth;
    m_depth->AddRef();
    viewport = {0, 0, pp.backBufferWidth, pp.backBufferHeight, 0, 1};
}

FakeDevice::~FakeDevice()
{
    m_colour->Release();
    if (m_depth) m_depth->Release();
    m_back->Release();
    m_backDepth->Release();
}

size_t FakeDevice::Count(const std::string& prefix) const
{
    return (size_t)std::count_if(log.begin(), log.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}

size_t FakeDevice::Calls(const std::string& method) const
{
    return (size_t)std::count_if(log.begin(), log.end(), [&](const std::string& s) {
        return s.compare(0, method.size(), method) == 0 && (s.size() == method.size() || s[method.size()] == ' ');
    });
}

bool FakeDevice::Reset(GfxPresentParams& pp)
{
    log.push_back("Reset " + std::to_string(pp.backBufferWidth) + "x" + std::to_string(pp.backBufferHeight) +
                  (pp.windowed ? " windowed" : " fullscreen") + " swap " + std::to_string(pp.swapEffect) + " ms " +
                  std::to_string(pp.multiSampleType));
    ++resets;
    if (failResets > 0) {
        --failResets;
        return false;
    }
    m_back->width = pp.backBufferWidth;
    m_back->height = pp.backBufferHeight;
    Resize(m_back->own, pp.backBufferWidth, pp.backBufferHeight);
    SetRenderTarget(0, m_back);
    SetDepthStencilSurface(m_backDepth);
    return true;
}

bool FakeDevice::BeginScene()
{
    log.push_back("BeginScene");
    return true;
}

bool FakeDevice::EndScene()
{
    log.push_back("EndScene");
    return true;
}

bool FakeDevice::Present()
{
    log.push_back("Present");
    ++presents;
    return true;
}

bool FakeDevice::GetDisplayMode(GfxDisplayMode* mode)
{
    *mode = {displayW, displayH, 60, GFX_FMT_X8R8G8B8};
    return true;
}

void FakeDevice::Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil)
{
    char buf[96];
    std::snprintf(buf, sizeof(buf), "Clear %u %08X %g %u", flags, argb, z, stencil);
    log.push_back(buf);
    if ((flags & GFX_CLEAR_TARGET) && m_colour && m_colour->pixels) {
        FakePixels& p = *m_colour->pixels;
        for (int32_t y = std::max(0, viewport.y); y < std::min(p.h, viewport.y + viewport.h); ++y)
            for (int32_t x = std::max(0, viewport.x); x < std::min(p.w, viewport.x + viewport.w); ++x)
                p.px[(size_t)y * p.w + x] = argb;
    }
}

void FakeDevice::SetViewport(const GfxViewport& vp)
{
    viewport = vp;
    log.push_back("SetViewport " + std::to_string(vp.x) + " " + std::to_string(vp.y) + " " + std::to_string(vp.w) + " " +
                  std::to_string(vp.h));
}

void FakeDevice::SetTransform(uint32_t slot, const float* m)
{
    int i = slot == GFX_TS_VIEW ? 0 : slot == GFX_TS_PROJECTION ? 1 : 2;
    std::memcpy(transform[i], m, sizeof(transform[i]));
    log.push_back("SetTransform " + std::to_string(slot));
}

void FakeDevice::SetRenderState(uint32_t state, uint32_t value)
{
    if (state < GFX_RS_COUNT) {
        renderState[state] = value;
        renderStateSet[state] = true;
    }
    log.push_back("SetRenderState " + std::to_string(state) + " " + std::to_string(value));
}

void FakeDevice::SetSamplerState(uint32_t stage, uint32_t type, uint32_t value)
{
    if (stage == 0 && type < 16) sampler[type] = value;
    log.push_back("SetSamplerState " + std::to_string(stage) + " " + std::to_string(type) + " " + std::to_string(value));
}

void FakeDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    if (stage == 0 && type < 16) stageState[type] = value;
    log.push_back("SetTextureStageState " + std::to_string(type) + " " + std::to_string(value));
}

void FakeDevice::SetTexture(uint32_t, GfxTexture* texture)
{
    boundTexture = texture;
    log.push_back(texture ? "SetTexture" : "SetTexture null");
}

void FakeDevice::SetLight(uint32_t index, const GfxLight& light)
{
    if (index < 8) lights[index] = light;
    log.push_back("SetLight " + std::to_string(index));
}

void FakeDevice::LightEnable(uint32_t index, bool on)
{
    if (index < 8) lightOn[index] = on;
    log.push_back("LightEnable " + std::to_string(index) + (on ? " 1" : " 0"));
}

GfxTexture* FakeDevice::CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t usage, uint32_t format, uint32_t pool)
{
    log.push_back("CreateTexture " + std::to_string(w) + "x" + std::to_string(h) + " usage " + std::to_string(usage) +
                  " format " + std::to_string(format) + " pool " + std::to_string(pool));
    if (failTextures > 0) {
        --failTextures;
        return nullptr;
    }
    FakeTexture* t = new FakeTexture();
    t->width = w;
    t->height = h;
    t->levels = levels;
    t->usage = usage;
    t->format = format;
    t->pool = pool;
    Resize(t->pixels, w, h);
    return t;
}

GfxSurface* FakeDevice::CreateRenderTarget(int32_t w, int32_t h, uint32_t format, uint32_t ms)
{
    log.push_back("CreateRenderTarget " + std::to_string(w) + "x" + std::to_string(h) + " ms " + std::to_string(ms));
    if (failRenderTargets > 0) {
        --failRenderTargets;
        return nullptr;
    }
    FakeSurface* s = new FakeSurface();
    s->width = w;
    s->height = h;
    s->format = format;
    Resize(s->own, w, h);
    s->pixels = &s->own;
    return s;
}

GfxSurface* FakeDevice::CreateDepthStencilSurface(int32_t w, int32_t h, uint32_t format, uint32_t)
{
    log.push_back("CreateDepthStencilSurface " + std::to_string(w) + "x" + std::to_string(h) + " format " +
                  std::to_string(format));
    if (failDepth > 0) {
        --failDepth;
        return nullptr;
    }
    FakeSurface* s = new FakeSurface();
    s->width = w;
    s->height = h;
    s->format = format;
    s->depth = true;
    return s;
}

GfxSurface* FakeDevice::GetSurfaceLevel(GfxTexture* texture, uint32_t level)
{
    if (!texture || level) return nullptr;
    FakeTexture* t = static_cast<FakeTexture*>(texture);
    FakeSurface* s = new FakeSurface();
    s->width = t->width;
    s->height = t->height;
    s->pixels = &t->pixels;
    s->parent = t;
    t->AddRef();
    return s;
}

GfxSurface* FakeDevice::GetRenderTarget(uint32_t index)
{
    if (index || !m_colour) return nullptr;
    m_colour->AddRef();
    return m_colour;
}

GfxSurface* FakeDevice::GetDepthStencilSurface()
{
    if (!m_depth) return nullptr;
    m_depth->AddRef();
    return m_depth;
}

bool FakeDevice::SetRenderTarget(uint32_t index, GfxSurface* surface)
{
    if (index || !surface) return false;
    surface->AddRef();
    m_colour->Release();
    m_colour = static_cast<FakeSurface*>(surface);
    viewport = {0, 0, surface->width, surface->height, 0, 1};
    log.push_back(surface == m_back ? "SetRenderTarget back" : "SetRenderTarget surface");
    return true;
}

bool FakeDevice::SetDepthStencilSurface(GfxSurface* surface)
{
    if (surface) surface->AddRef();
    if (m_depth) m_depth->Release();
    m_depth = static_cast<FakeSurface*>(surface);
    log.push_back(surface ? "SetDepthStencilSurface" : "SetDepthStencilSurface null");
    return true;
}

bool FakeDevice::StretchRect(GfxSurface* src, const GfxRect* sr, GfxSurface* dst, const GfxRect* dr, uint32_t filter)
{
    FakeSurface* s = static_cast<FakeSurface*>(src);
    FakeSurface* d = static_cast<FakeSurface*>(dst);
    GfxRect a = sr ? *sr : GfxRect{0, 0, s->width, s->height}, b = dr ? *dr : GfxRect{0, 0, d->width, d->height};
    log.push_back("StretchRect " + std::to_string(a.right - a.left) + "x" + std::to_string(a.bottom - a.top) + " filter " +
                  std::to_string(filter));
    if (!s->pixels || !d->pixels) return true;
    int32_t w = b.right - b.left, h = b.bottom - b.top, sw = a.right - a.left, sh = a.bottom - a.top;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int32_t sx = a.left + x * sw / w, sy = a.top + y * sh / h, dx = b.left + x, dy = b.top + y;
            if (sx < 0 || sy < 0 || sx >= s->pixels->w || sy >= s->pixels->h || dx < 0 || dy < 0 || dx >= d->pixels->w ||
                dy >= d->pixels->h)
                continue;
            d->pixels->px[(size_t)dy * d->pixels->w + dx] = s->pixels->px[(size_t)sy * s->pixels->w + sx];
        }
    return true;
}

bool FakeDevice::UpdateTexture(GfxTexture* texture, uint32_t level, const void* pixels, uint32_t pitch)
{
    FakeTexture* t = static_cast<FakeTexture*>(texture);
    log.push_back("UpdateTexture " + std::to_string(t->width) + "x" + std::to_string(t->height) + " pitch " +
                  std::to_string(pitch));
    if (level) return false;
    const uint8_t* p = (const uint8_t*)pixels;
    uint32_t bytes = pitch * (uint32_t)t->height;
    if (t->format >= GFX_FMT_DXT1) bytes = (uint32_t)((t->width + 3) / 4) * ((t->height + 3) / 4) * (t->format == GFX_FMT_DXT1 ? 8 : 16);
    t->raw.assign(p, p + bytes);
    if (t->format == GFX_FMT_A8R8G8B8)
        for (int32_t y = 0; y < t->height; ++y) std::memcpy(&t->pixels.px[(size_t)y * t->width], p + (size_t)y * pitch, (size_t)t->width * 4);
    return true;
}

bool FakeDevice::ReadSurface(GfxSurface* src, const GfxRect& r, uint32_t* out)
{
    FakeSurface* s = static_cast<FakeSurface*>(src);
    log.push_back("ReadSurface " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                  std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
    if (!s->pixels || r.left < 0 || r.top < 0 || r.right > s->pixels->w || r.bottom > s->pixels->h) return false;
    int32_t w = r.right - r.left;
    for (int32_t y = r.top; y < r.bottom; ++y)
        std::memcpy(out + (size_t)(y - r.top) * w, &s->pixels->px[(size_t)y * s->pixels->w + r.left], (size_t)w * 4);
    return true;
}

GfxVertexBuffer* FakeDevice::CreateVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t f, uint32_t pool)
{
    log.push_back("CreateVertexBuffer " + std::to_string(bytes) + " usage " + std::to_string(usage) + " pool " +
                  std::to_string(pool));
    if (failVertexBuffers > 0) {
        --failVertexBuffers;
        return nullptr;
    }
    FakeVertexBuffer* vb = new FakeVertexBuffer();
    vb->size = bytes;
    vb->usage = usage;
    vb->fvf = f;
    vb->pool = pool;
    vb->data.resize(bytes);
    return vb;
}

void* FakeDevice::LockVertexBuffer(GfxVertexBuffer* vb, uint32_t offset, uint32_t size, uint32_t flags)
{
    log.push_back("Lock " + std::to_string(offset) + " " + std::to_string(size) + " " + std::to_string(flags));
    return static_cast<FakeVertexBuffer*>(vb)->data.data() + offset;
}

void FakeDevice::UnlockVertexBuffer(GfxVertexBuffer*) { log.push_back("Unlock"); }

void FakeDevice::SetStreamSource(uint32_t, GfxVertexBuffer* vb, uint32_t offset, uint32_t stride)
{
    m_stream = static_cast<FakeVertexBuffer*>(vb);
    m_offset = offset;
    m_stride = stride;
}

static uint32_t Vertices(uint32_t type, uint32_t count)
{
    switch (type) {
    case 2: return count * 2;
    case 3: return count + 1;
    case 4: return count * 3;
    case 5:
    case 6: return count + 2;
    default: return count;
    }
}

void FakeDevice::Record(uint32_t type, uint32_t count, const uint8_t* base, uint32_t stride)
{
    FakeDraw d{type, count, fvf, stride, boundTexture, {}};
    d.vertices.assign(base, base + (size_t)Vertices(type, count) * stride);
    std::memcpy(d.world, transform[2], sizeof d.world);
    d.addressU = sampler[GFX_SAMP_ADDRESSU];
    d.destBlend = renderState[GFX_RS_DESTBLEND];
    draws.push_back(std::move(d));
    log.push_back("Draw " + std::to_string(type) + " " + std::to_string(count));
}

void FakeDevice::DrawPrimitive(uint32_t type, uint32_t start, uint32_t count)
{
    if (!m_stream) return;
    Record(type, count, m_stream->data.data() + m_offset + (size_t)start * m_stride, m_stride);
}

void FakeDevice::DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data, uint32_t stride)
{
    Record(type, count, (const uint8_t*)data, stride);
    log.back() = "DrawUP " + std::to_string(type) + " " + std::to_string(count);
}

// ---- System and host -------------------------------------------------------------------------------
bool FakeSystem::GetAdapterInfo(int32_t ordinal, GfxAdapterInfo* info)
{
    if (ordinal) return false;
    std::memset(info, 0, sizeof(*info));
    std::strcpy(info->driver, "fake");
    info->hal = true;
    info->groupSize = 1;
    return true;
}

bool FakeSystem::GetAdapterDisplayMode(int32_t, GfxDisplayMode* mode)
{
    *mode = {1024, 768, 60, GFX_FMT_X8R8G8B8};
    return true;
}

IGfxDevice* FakeSystem::CreateDevice(int32_t, void*, uint32_t behaviour, GfxPresentParams& pp)
{
    behaviours.push_back(behaviour);
    if (failDevices > 0) {
        --failDevices;
        return nullptr;
    }
    device = new FakeDevice(pp);
    return device;
}

bool FakeHost::CreateMainWindow(const char*, uint32_t s, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (failCreate) return false;
    created = true;
    style = s;
    SetWindowPos(x, y, w, h);
    return true;
}

void FakeHost::SetWindowPos(int32_t x, int32_t y, int32_t w, int32_t h)
{
    winX = x;
    winY = y;
    winW = w;
    winH = h;
    clientW = w - borderL - borderR;
    clientH = h - borderT - borderB;
    log.push_back("SetWindowPos " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
                  std::to_string(h));
}

bool FakeHost::IsKeyDown(int32_t vkey) { return std::find(keysDown.begin(), keysDown.end(), vkey) != keysDown.end(); }

bool FakeHost::GetCurrentMode(int32_t, HostDisplayMode* mode)
{
    *mode = {displayW, displayH, displayBits, refresh, 0, 0};
    return true;
}

bool FakeHost::EnumMode(int32_t, int32_t index, HostDisplayMode* mode)
{
    static const HostDisplayMode kModes[] = {{640, 480, 8, 60, 0, 0}, {640, 480, 32, 60, 0, 0}, {800, 600, 16, 60, 0, 0},
                                             {1024, 768, 32, 75, 0, 0}, {1024, 768, 24, 300, 0, 0}};
    if (index < 0 || index >= 5) return false;
    *mode = kModes[index];
    return true;
}

bool FakeHost::ChangeMode(int32_t w, int32_t h, int32_t f, int32_t b, bool test)
{
    log.push_back(std::string(test ? "TestMode " : "ChangeMode ") + std::to_string(w) + " " + std::to_string(h) + " " +
                  std::to_string(f) + " " + std::to_string(b));
    if (!test) {
        ++modeChanges;
        if (w > 0) displayW = w;
        if (h > 0) displayH = h;
        if (f > 0) refresh = f;
        if (b > 0) displayBits = b;
    }
    return true;
}

// ---- Fixture --------------------------------------------------------------------------------------
void GraphicsTest_ResetGlobals()
{
    GR_D3D_ReleaseBatchObjects();
    while (GR_D3D_FirstTexture()) GR_D3D_FreeTexture(GR_D3D_FirstTexture());
    GR_Texture_ClearTable();
    GR_TPE_ClearRegistry();
    g_RenderStateCache = RenderStateCache();
    GR_Settings() = GR_DrawSettings();
    GR_D3D_State() = GR_DeviceState();
    GR_Options() = GR_GameOptions();
    GR_Hooks() = GR_HookTable();
    GR_WindowState() = GR_WindowStateRecord();
    GR_Window_Record() = GR_WindowRecord{false, 0, 640, 480, 640, 480, 0, 0, 1, 1, 0, 0, 0, false};
    GR_ViewPort_ClearAll();
    GR_SetRoomProvider(nullptr);
    GR_ResetPending = 0;
    GR_3D_TransformStackClear();
    GR_Draw_SetAlpha(1.0f);
    GR_Draw_SetColour(0);
    GR_3D_SetDepth(0);
    GR_State_ForgetDeviceShadows();
}

void GraphicsFixture::SetUp()
{
    GraphicsTest_ResetGlobals();
    GfxSystem_Set(&system);
    WindowHost_Set(&host);
    Start();
}

void GraphicsFixture::Start(uint32_t flags, int32_t w, int32_t h)
{
    if (started) Stop();
    void* window = GR_Window_Create(w, h);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(GR_D3D_Init(window, w, h, flags));
    started = true;
}

void GraphicsFixture::Stop()
{
    if (!started) return;
    GR_D3D_Shutdown();
    GR_Texture_FreeAll();
    started = false;
    GraphicsTest_ResetGlobals();
}

void GraphicsFixture::TearDown()
{
    Stop();
    GfxSystem_Set(nullptr);
    WindowHost_Set(nullptr);
}
