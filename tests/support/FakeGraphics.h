// Fakes of the graphics platform for tests without a display: a recording graphics device
// (every call logged; render targets, textures and surfaces keep real pixels so clears,
// uploads, copies and read-back can be checked), its system object, and a window host with
// a settable display, window rectangle, cursor and key state. GraphicsFixture installs them
// and starts the graphics layer on them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Host.h"

struct FakeDraw {
    uint32_t type, primitives, fvf, stride;
    GfxTexture* texture;
    std::vector<uint8_t> vertices; // primitives' vertices, as drawn
    float world[16] = {};          // the world matrix the device held for the draw
    uint32_t addressU = 0;         // stage 0's horizontal texture addressing at the draw
    uint32_t destBlend = 0;        // the destination blend factor at the draw
    uint32_t vertexCount() const { return stride ? (uint32_t)(vertices.size() / stride) : 0; }
    // Field access for the 24-byte layout (x y z colour u v).
    float F(uint32_t vertex, uint32_t field) const;
    uint32_t Colour(uint32_t vertex) const;
};

struct FakePixels {
    int32_t w = 0, h = 0;
    std::vector<uint32_t> px;
};

class FakeTexture : public GfxTexture {
public:
    FakePixels pixels;
    std::vector<uint8_t> raw; // last upload as given
};

class FakeSurface : public GfxSurface {
public:
    FakePixels* pixels = nullptr; // its own, or its texture's
    FakePixels own;
    FakeTexture* parent = nullptr;
    ~FakeSurface() override
    {
        if (parent) parent->Release();
    }
};

class FakeVertexBuffer : public GfxVertexBuffer {
public:
    std::vector<uint8_t> data;
};

class FakeDevice : public IGfxDevice {
public:
    explicit FakeDevice(const GfxPresentParams& pp);
    ~FakeDevice() override;

    // Recording.
    std::vector<std::string> log;
    std::vector<FakeDraw> draws;
    uint32_t renderState[GFX_RS_COUNT] = {};
    bool renderStateSet[GFX_RS_COUNT] = {};
    uint32_t sampler[16] = {};
    uint32_t stageState[16] = {};
    float transform[3][16] = {};
    GfxViewport viewport{};
    GfxTexture* boundTexture = nullptr;
    uint32_t fvf = 0;
    int32_t resets = 0, presents = 0, liveObjects = 0;
    GfxLight lights[8] = {};
    bool lightOn[8] = {};

    // Failure injection and answers.
    int32_t failTextures = 0, failRenderTargets = 0, failDepth = 0, failResets = 0, failVertexBuffers = 0;
    uint32_t rasterCaps = GFX_PRASTERCAPS_FOGTABLE;
    int32_t maxTextureSide = INT32_MAX; // none of its own, unless a test sets one
    int32_t displayW = 1024, displayH = 768;

    void ClearLog()
    {
        log.clear();
        draws.clear();
    }
    size_t Count(const std::string& prefix) const;
    // The calls of a method (its name, as the log's lines start) since the log was cleared.
    size_t Calls(const std::string& method) const;
    FakeSurface* CurrentTarget() { return m_colour; }
    FakeSurface* BackBuffer() { return m_back; }

    uint32_t TestCooperativeLevel() override { return GFX_OK; }
    bool Reset(GfxPresentParams& pp) override;
    bool BeginScene() override;
    bool EndScene() override;
    bool Present() override;
    bool GetDisplayMode(GfxDisplayMode* mode) override;
    uint32_t GetRasterCaps() override { return rasterCaps; }
    int32_t GetMaxTextureSide() override { return maxTextureSide; }
    void Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) override;
    void SetViewport(const GfxViewport& vp) override;
    void SetTransform(uint32_t slot, const float* m) override;
    void SetRenderState(uint32_t state, uint32_t value) override;
    void SetSamplerState(uint32_t stage, uint32_t type, uint32_t value) override;
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override;
    void SetTexture(uint32_t stage, GfxTexture* texture) override;
    void SetMaterial(const GfxMaterial&) override { log.push_back("SetMaterial"); }
    void SetLight(uint32_t index, const GfxLight& light) override;
    void LightEnable(uint32_t index, bool on) override;
    GfxTexture* CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t usage, uint32_t format, uint32_t pool) override;
    GfxSurface* CreateRenderTarget(int32_t w, int32_t h, uint32_t format, uint32_t ms) override;
    GfxSurface* CreateDepthStencilSurface(int32_t w, int32_t h, uint32_t format, uint32_t ms) override;
    GfxSurface* GetSurfaceLevel(GfxTexture* texture, uint32_t level) override;
    GfxSurface* GetRenderTarget(uint32_t index) override;
    GfxSurface* GetDepthStencilSurface() override;
    bool SetRenderTarget(uint32_t index, GfxSurface* surface) override;
    bool SetDepthStencilSurface(GfxSurface* surface) override;
    bool StretchRect(GfxSurface* src, const GfxRect* sr, GfxSurface* dst, const GfxRect* dr, uint32_t filter) override;
    bool UpdateTexture(GfxTexture* texture, uint32_t level, const void* pixels, uint32_t pitch) override;
    bool ReadSurface(GfxSurface* src, const GfxRect& rect, uint32_t* out) override;
    void PreLoad(GfxTexture*) override { log.push_back("PreLoad"); }
    uint32_t SetPriority(GfxTexture*, uint32_t p) override
    {
        log.push_back("SetPriority " + std::to_string(p));
        return 0;
    }
    GfxVertexBuffer* CreateVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf, uint32_t pool) override;
    void* LockVertexBuffer(GfxVertexBuffer* vb, uint32_t offset, uint32_t size, uint32_t flags) override;
    void UnlockVertexBuffer(GfxVertexBuffer* vb) override;
    void SetFVF(uint32_t f) override { fvf = f; }
    void SetStreamSource(uint32_t stream, GfxVertexBuffer* vb, uint32_t offset, uint32_t stride) override;
    void DrawPrimitive(uint32_t type, uint32_t start, uint32_t count) override;
    void DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data, uint32_t stride) override;
    bool DrawReadsVerticesAtOnce() override { return readsVerticesAtOnce; }
    bool readsVerticesAtOnce = false;

private:
    void Record(uint32_t type, uint32_t count, const uint8_t* base, uint32_t stride);
    FakeSurface* m_back = nullptr;
    FakeSurface* m_backDepth = nullptr;
    FakeSurface* m_colour = nullptr;
    FakeSurface* m_depth = nullptr;
    FakeVertexBuffer* m_stream = nullptr;
    uint32_t m_offset = 0, m_stride = 0;
};

class FakeSystem : public IGfxSystem {
public:
    FakeDevice* device = nullptr; // the last device made
    int32_t failDevices = 0;
    uint32_t multisampleMask = 0; // samples the fake accepts
    std::vector<uint32_t> behaviours;
    int32_t GetAdapterCount() override { return 1; }
    bool GetAdapterInfo(int32_t ordinal, GfxAdapterInfo* info) override;
    bool GetAdapterDisplayMode(int32_t ordinal, GfxDisplayMode* mode) override;
    bool CheckMultiSample(int32_t, uint32_t, bool, uint32_t samples) override { return (multisampleMask & samples) != 0; }
    IGfxDevice* CreateDevice(int32_t ordinal, void* window, uint32_t behaviour, GfxPresentParams& pp) override;
};

class FakeHost : public IWindowHost {
public:
    int32_t displayW = 1024, displayH = 768, displayBits = 32, refresh = 60;
    int32_t winX = 0, winY = 0, winW = 0, winH = 0, clientW = 0, clientH = 0;
    int32_t borderL = 0, borderT = 0, borderR = 0, borderB = 0; // frame added by AdjustWindowRect
    int32_t cursorX = 0, cursorY = 0, cursorIndex = -2;
    uint32_t style = 0;
    bool created = false, shown = false, failCreate = false;
    std::string caption;
    std::vector<int32_t> keysDown;
    std::vector<std::string> log;
    int32_t modeChanges = 0;

    bool CreateMainWindow(const char*, uint32_t s, int32_t x, int32_t y, int32_t w, int32_t h) override;
    void* NativeWindow() override { return created ? (void*)this : nullptr; }
    void SetStyle(uint32_t s) override { style = s; }
    uint32_t GetStyle() override { return style; }
    void AdjustWindowRect(uint32_t, int32_t* l, int32_t* t, int32_t* r, int32_t* b) override
    {
        *l -= borderL;
        *t -= borderT;
        *r += borderR;
        *b += borderB;
    }
    void SetWindowPos(int32_t x, int32_t y, int32_t w, int32_t h) override;
    void MoveWindow(int32_t x, int32_t y, int32_t w, int32_t h) override { SetWindowPos(x, y, w, h); }
    void GetWindowRect(int32_t* x, int32_t* y, int32_t* w, int32_t* h) override
    {
        *x = winX;
        *y = winY;
        *w = winW;
        *h = winH;
    }
    void GetClientSize(int32_t* w, int32_t* h) override
    {
        *w = clientW;
        *h = clientH;
    }
    void ClientToScreen(int32_t* x, int32_t* y) override
    {
        *x += winX + borderL;
        *y += winY + borderT;
    }
    void ScreenToClient(int32_t* x, int32_t* y) override
    {
        *x -= winX + borderL;
        *y -= winY + borderT;
    }
    void ShowWindow() override { shown = true; }
    void SetCaption(const char* c) override { caption = c ? c : ""; }
    void Destroy() override { created = false; }
    void SetCursor(int32_t index) override { cursorIndex = index; }
    bool GetCursorPos(int32_t* x, int32_t* y) override
    {
        *x = cursorX;
        *y = cursorY;
        return true;
    }
    void SetCursorPos(int32_t x, int32_t y) override
    {
        cursorX = x;
        cursorY = y;
    }
    bool IsKeyDown(int32_t vkey) override;
    // Injected keys are recorded (key, down); Num Lock toggles at its press.
    std::vector<std::pair<int32_t, bool>> postedKeys;
    bool numLock = false;
    bool PostKey(int32_t vkey, bool down) override
    {
        postedKeys.emplace_back(vkey, down);
        if (down && vkey == 144) numLock = !numLock;
        return true;
    }
    bool IsNumLockOn() override { return numLock; }
    bool PumpMessages() override { return true; }
    int32_t GetDisplayCount() override { return 1; }
    void GetDisplaySize(int32_t* w, int32_t* h) override
    {
        *w = displayW;
        *h = displayH;
    }
    bool GetCurrentMode(int32_t display, HostDisplayMode* mode) override;
    bool EnumMode(int32_t display, int32_t index, HostDisplayMode* mode) override;
    const char* GetDisplayName(int32_t) override { return "fake"; }
    bool ChangeMode(int32_t w, int32_t h, int32_t f, int32_t b, bool test) override;
};

// Installs the fakes, resets the graphics layer's global state and starts it.
class GraphicsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the device with these creation flags (SetUp starts it with 0).
    void Start(uint32_t flags = 0, int32_t w = 640, int32_t h = 480);
    void Stop();
    FakeDevice* dev() { return system.device; }

    FakeSystem system;
    FakeHost host;
    bool started = false;
    int exitCode = 0;
};

// Resets every global of the graphics layer (cache, settings, device state, window record,
// texture table, view ports, hooks).
void GraphicsTest_ResetGlobals();
