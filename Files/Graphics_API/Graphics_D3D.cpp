// The graphics device and the frame (see Graphics_D3D.h). Backed by the device interface
// (Linux/Graphics_DeviceM.cpp) and the window host (Linux/Graphics_HostM.cpp).
//
// [SECTION] State and hooks
// [SECTION] Start-up and device creation
// [SECTION] Reset
// [SECTION] Frame
// [SECTION] Screen texture onto the back buffer
// [SECTION] Clear, viewport, view and matrices
// [SECTION] Render-target stack
// [SECTION] Timing and shut-down
#include "Files/Graphics_API/Graphics_D3D.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_RenderState.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

// ============================================================================================
// [SECTION] State and hooks
// ============================================================================================
static GR_DeviceState g_d3d;
GR_DeviceState& GR_D3D_State() { return g_d3d; }

static GR_GameOptions g_options;
GR_GameOptions& GR_Options() { return g_options; }

static char* g_title = nullptr;
void GR_SetGameTitle(const char* title)
{
    MEM_FREE(g_title);
    g_title = MEM_STRDUP(title ? title : "");
}
const char* GR_GetGameTitle() { return g_title ? g_title : "Zimbrel"; }

static GR_RoomProvider g_roomProvider = nullptr;
void GR_SetRoomProvider(GR_RoomProvider provider) { g_roomProvider = provider; }
bool GR_GetRoomInfo(GR_RoomInfo* info) { return g_roomProvider && g_roomProvider(info); }
void GR_RoomArea(float* w, float* h)
{
    GR_RoomInfo room;
    if (GR_GetRoomInfo(&room)) {
        *w = (float)room.roomWidth;
        *h = (float)room.roomHeight;
    } else {
        *w = g_d3d.view[2];
        *h = g_d3d.view[3];
    }
}

static GR_WindowStateRecord g_windowState;
GR_WindowStateRecord& GR_WindowState() { return g_windowState; }

uint8_t GR_ResetPending = 0;

static GR_HookTable g_hooks;
GR_HookTable& GR_Hooks() { return g_hooks; }

void GR_Fatal(int code) { Main_RequestExit(code); }

void GR_Display_ShowMessage(const char* text)
{
    MessageBox_Show(text, "Zimbrel", MB_ICONINFORMATION_);
}

void GR_PostInit() {}

static void Trace(const char* text) { Console_Debug()->Output("%s", text); }
static void SendProjection();
static void SetMatrixExact(int32_t kind, const float* m, const double* exact, const double* divide = nullptr);
static void ViewportSized(int32_t w, int32_t h);

// ============================================================================================
// [SECTION] Start-up and device creation
// ============================================================================================
bool GR_D3D_Init(void* window, int32_t width, int32_t height, uint32_t flags)
{
    GR_Window_HoldSize(&width, &height);
    g_d3d.requestedWidth = width;
    g_d3d.requestedHeight = height;
    int32_t depth = GR_Display_GetColourDepth();
    if (depth != 16 && depth != 32) {
        GR_Display_ShowMessage("This program requires 16-bit (High Color) or 32-bit (Full Color) "
                               "mode. Please change this in your display properties and run "
                               "again.");
        return false;
    }
    bool ok = GR_D3D_CreateDevice(window, g_d3d.requestedWidth, g_d3d.requestedHeight, flags);
    if (g_hooks.textureTableClear) g_hooks.textureTableClear();
    GR_State_ApplyAll();
    GR_D3D_Clear(0, 1.0f, 0, 7);
    if (g_d3d.device) GR_D3D_SetViewPort(0, 0, g_d3d.viewWidth, g_d3d.viewHeight);
    GR_D3D_SetView(0, 0, (float)g_d3d.viewWidth, (float)g_d3d.viewHeight, 0);
    GR_D3D_InitFrameState();
    return ok;
}

static TextureRecord* CreateScreenTexture(int32_t w, int32_t h)
{
    return GR_D3D_CreateTexture(w, h, 1, 1, 6);
}

bool GR_D3D_CreateDevice(void* window, int32_t width, int32_t height, uint32_t flags)
{
    g_d3d.window = window;
    // No desktop-composition scheduling on this platform: the plain path is taken.
    g_d3d.vsync = (flags & 2) != 0;
    g_d3d.keepAspect = (flags & 16) != 0;
    g_d3d.filterScreen = (flags & 8) != 0;
    GR_Settings().interpolation = g_d3d.filterScreen;
    uint32_t interval = g_d3d.vsync ? GFX_PRESENT_INTERVAL_DEFAULT : GFX_PRESENT_INTERVAL_IMMEDIATE;
    g_d3d.behaviour = (flags & 4) ? 0x22 : 0x42;

    Trace("Create D3D9 interface\n");
    g_d3d.system = GfxSystem_Get();
    if (!g_d3d.system) {
        GR_Display_ShowMessage("Failed to create Direct3D 9 device");
        return false;
    }
    g_d3d.managedPool = 1;

    Trace("Enumerate Adapters\n");
    GR_Display_EnumerateAdapters();
    const GR_Adapter* adapter = GR_Display_GetAdapter(0);
    if (!adapter) {
        GR_Display_ShowMessage("No hardware-accelerated graphics adapter was found.");
        return false;
    }
    int32_t ordinal = adapter->ordinal;
    if (flags & 1) {
        width = adapter->desktopWidth;
        height = adapter->desktopHeight;
    }
    Console_Debug()->Output("Selected Resolution: %dx%d\n", width, height);

    Trace("Get Current Desktop Display Mode\n");
    GfxDisplayMode mode;
    if (!g_d3d.system->GetAdapterDisplayMode(ordinal, &mode)) {
        GR_Display_ShowMessage("Failed to retrieve display mode.");
        return false;
    }

    Trace("Prepare to create device\n");
    GfxPresentParams& pp = g_d3d.params;
    std::memset(&pp, 0, sizeof(pp));
    pp.backBufferWidth = width;
    pp.backBufferHeight = height;
    pp.backBufferFormat = GFX_FMT_A8R8G8B8;
    pp.backBufferCount = 1;
    pp.multiSampleType = 0;
    pp.swapEffect = GFX_SWAPEFFECT_COPY;
    pp.windowed = (flags & 1) == 0;
    pp.autoDepthStencil = true;
    pp.depthStencilFormat = GFX_FMT_D24S8;
    pp.presentationInterval = interval;
    g_d3d.wantedMultisample = 0;
    g_d3d.wantedSwapEffect = GFX_SWAPEFFECT_COPY;
    g_d3d.fullscreen = (flags & 1) != 0;

    Trace("Creating D3D device - ARGB=32bit, D24S8, SwapEffect=Copy, Hardware vertex processing\n");
    g_d3d.device = g_d3d.system->CreateDevice(ordinal, window, g_d3d.behaviour, pp);
    if (!g_d3d.device) {
        pp.depthStencilFormat = GFX_FMT_D16;
        pp.swapEffect = GFX_SWAPEFFECT_DISCARD;
        Trace("Creating D3D device - ARGB=32bit, D16, SwapEffect=Discard, Software Vertex "
              "Processing\n");
        g_d3d.behaviour = 0x22;
        g_d3d.device = g_d3d.system->CreateDevice(ordinal, window, 0x22, pp);
        if (!g_d3d.device) {
            GR_Display_ShowMessage("Failed to create Direct3D Screen requirements and that your "
                                   "drivers are up-to-date. If your graphics card has little "
                                   "memory, try switching your computer to a lower resolution.");
            GR_Fatal(-1);
            return false;
        }
    }
    GR_State_ForgetDeviceShadows();
    // The device starts with identity transforms; so do the stored copies.
    for (int i = 0; i < 3; ++i) grm::Identity(g_d3d.matrices[i]);
    g_d3d.device->SetTransform(GFX_TS_WORLD, g_d3d.matrices[2]);

    Trace("Creating screen render target\n");
    g_d3d.viewWidth = g_d3d.screenWidth;
    g_d3d.viewHeight = g_d3d.screenHeight;
    g_d3d.backBufferWidth = width;
    g_d3d.backBufferHeight = height;
    if (g_d3d.screenTexture) {
        GR_D3D_FreeTexture(g_d3d.screenTexture);
        g_d3d.screenTexture = nullptr;
    }
    g_d3d.screenTexture = CreateScreenTexture(g_d3d.screenWidth, g_d3d.screenHeight);
    if (!g_d3d.screenTexture) {
        char text[1024];
        std::snprintf(text, sizeof(text),
                      "Unable to create a screen that is %d x %d - please ensure settings are "
                      "correct", width, height);
        GR_Display_ShowMessage(text);
        GR_Fatal(-1);
        return false;
    }

    Trace("Get Device Caps\n");
    g_d3d.multisampleMask = 0;
    for (uint32_t n = 2; n <= 16; n *= 2)
        if (g_d3d.system->CheckMultiSample(ordinal, mode.format, true, n)) g_d3d.multisampleMask |= n;

    g_d3d.pendingWidth = g_d3d.pendingHeight = -1;
    Trace("Graphics initialisation end...\n");
    return true;
}

// ============================================================================================
// [SECTION] Reset
// ============================================================================================
bool GR_D3D_Reset()
{
    Trace("Free all surfaces\n");
    if (g_hooks.surfaceFreeAll) g_hooks.surfaceFreeAll();
    Trace("Graphics::Reset()\n");
    if (!GR_D3D_ResetDevice()) return false;
    Trace("Graphics::Clear()\n");
    GR_D3D_Clear(0, 1.0f, 0, 7);
    Trace("D3D Settings Init\n");
    GR_State_ApplyAll();
    return true;
}

bool GR_D3D_ResetDevice()
{
    Trace("--Reset Begin\n");
    Trace("Restore Target\n");
    GR_D3D_PopAllRenderTargets();
    if (!g_d3d.device) return false;
    GR_D3D_Flush();
    Trace("Check Display Mode\n");
    GfxDisplayMode mode;
    if (!g_d3d.device->GetDisplayMode(&mode)) return false;
    if (g_d3d.wantedMultisample != 0 &&
        !g_d3d.system->CheckMultiSample(0, mode.format, true, g_d3d.wantedMultisample)) {
        g_d3d.wantedMultisample = 0;
        g_d3d.wantedSwapEffect = GFX_SWAPEFFECT_COPY;
    }
    GfxPresentParams& pp = g_d3d.params;
    pp.presentationInterval = g_d3d.vsync ? GFX_PRESENT_INTERVAL_DEFAULT : GFX_PRESENT_INTERVAL_IMMEDIATE;

    Trace("Free Screen Texture\n");
    // The back buffer's picture does not outlive the reset; the frame goes on in the new
    // screen texture.
    g_d3d.frameOnWindow = g_d3d.pictureOnWindow = false;
    int32_t rw = -1, rh = -1;
    if (g_d3d.screenTexture) {
        rw = g_d3d.screenWidth;
        rh = g_d3d.screenHeight;
        GR_D3D_FreeTexture(g_d3d.screenTexture);
        g_d3d.screenTexture = nullptr;
    } else if (g_d3d.resetFailures > 0) {
        // An earlier reset failed and left no screen texture: it is made again now.
        rw = g_d3d.screenWidth;
        rh = g_d3d.screenHeight;
    }

    Trace("Toggle Fullscreen/windowed mode settings\n");
    int32_t bw = g_d3d.pendingWidth >= 0 ? g_d3d.pendingWidth : rw;
    int32_t bh = g_d3d.pendingHeight >= 0 ? g_d3d.pendingHeight : rh;
    IWindowHost* host = WindowHost_Get();
    uint32_t style;
    if (g_d3d.fullscreen) {
        pp.windowed = false;
        style = WSTYLE_POPUP | WSTYLE_VISIBLE;
        const GR_Adapter* adapter = GR_Display_GetAdapter(0);
        if (adapter) {
            bw = adapter->desktopWidth;
            bh = adapter->desktopHeight;
        }
    } else {
        pp.windowed = true;
        style = (GR_Options().optionBits & 64) ? 0x10CF0000u : 0x10CA0000u;
    }
    if (host) host->SetStyle(style);
    if (bw < 1 || bh < 1) {
        bw = g_d3d.backBufferWidth;
        bh = g_d3d.backBufferHeight;
    }
    pp.multiSampleType = g_d3d.wantedMultisample;
    pp.swapEffect = g_d3d.wantedSwapEffect;
    pp.backBufferWidth = bw;
    pp.backBufferHeight = bh;
    Trace("Execute Reset()\n");
    if (!g_d3d.device->Reset(pp)) {
        Console_Debug()->Output("Reset() Failed: %X\n", 0x8876086Cu);
        g_d3d.wantedSwapEffect = pp.swapEffect = GFX_SWAPEFFECT_DISCARD;
        g_d3d.wantedMultisample = pp.multiSampleType = 0;
        Trace("Change SWAP+Multisample type effect, try Reset() again\n");
        if (!g_d3d.device->Reset(pp)) {
            // The frame is skipped; the next frame start retries the whole reset because the
            // screen texture is missing.
            ++g_d3d.resetFailures;
            return false;
        }
    }
    g_d3d.resetFailures = 0;
    GR_State_ForgetDeviceShadows();
    g_d3d.backBufferWidth = bw;
    g_d3d.backBufferHeight = bh;

    bool pending = g_d3d.pendingWidth >= 0 && g_d3d.pendingHeight >= 0;
    if (pending) {
        g_d3d.viewWidth = g_d3d.pendingWidth;
        g_d3d.viewHeight = g_d3d.pendingHeight;
        GR_D3D_SetSize(g_d3d.pendingWidth, g_d3d.pendingHeight);
    }
    if (g_d3d.fullscreen) {
        if (pending) {
            g_d3d.screenWidth = g_d3d.pendingWidth;
            g_d3d.screenHeight = g_d3d.pendingHeight;
        }
    } else {
        Trace("WindowedMode: Setup window prefs\n");
        if (pending) {
            g_d3d.screenWidth = g_d3d.pendingWidth;
            g_d3d.screenHeight = g_d3d.pendingHeight;
        }
        g_d3d.clientWidth = g_d3d.backBufferWidth = g_d3d.screenWidth;
        g_d3d.clientHeight = g_d3d.backBufferHeight = g_d3d.screenHeight;
        if (host) {
            int32_t left, top;
            if (!g_d3d.keepPosition) {
                int32_t dw, dh;
                host->GetDisplaySize(&dw, &dh);
                left = (dw - g_d3d.screenWidth) / 2;
                top = (dh - g_d3d.screenHeight) / 2;
            } else {
                int32_t x, y, w, h;
                host->GetWindowRect(&x, &y, &w, &h);
                left = x;
                top = y;
            }
            // The edges in 64 bits, held to the 32-bit range: a game may ask for any place and
            // size.
            int32_t l = left, t = top, r = Int_HoldToInt32(int64_t(left) + g_d3d.screenWidth),
                    b = Int_HoldToInt32(int64_t(top) + g_d3d.screenHeight);
            host->AdjustWindowRect(host->GetStyle(), &l, &t, &r, &b);
            int64_t r64 = r, b64 = b;
            if (g_d3d.keepPosition) {
                // The window's corner stays where it is.
                r64 += int64_t(left) - l;
                b64 += int64_t(top) - t;
                l = left;
                t = top;
            }
            host->SetWindowPos(l, t, Int_HoldToInt32(r64 - l), Int_HoldToInt32(b64 - t));
        }
        g_d3d.keepPosition = false;
        if (pp.backBufferWidth != g_d3d.backBufferWidth || pp.backBufferHeight != g_d3d.backBufferHeight) {
            pp.backBufferWidth = g_d3d.backBufferWidth;
            pp.backBufferHeight = g_d3d.backBufferHeight;
            g_d3d.device->Reset(pp);
        }
    }

    if (rw >= 0 || pending) {
        Trace("Recreate screen texture\n");
        g_d3d.screenTexture = CreateScreenTexture(g_d3d.screenWidth, g_d3d.screenHeight);
        if (g_d3d.screenTexture && g_d3d.sceneCount > 0) {
            GR_D3D_PushRenderTarget();
            GR_D3D_SetRenderTarget(0, g_d3d.screenTexture);
        }
    }
    GR_D3D_Clear(0, 1.0f, 0, 7);
    g_d3d.pendingWidth = g_d3d.pendingHeight = -1;
    Trace("--Reset End\n");
    GR_State_ApplyAll();
    return true;
}

// ============================================================================================
// [SECTION] Frame
// ============================================================================================
// Whether the frame can be drawn straight into the back buffer: the window keeps what is drawn
// there and shows it as it is, the screen texture would be put there 1:1 (same size, no bars),
// nothing is drawn over the window after the frame, and no depth test needs the screen
// texture's depth surface. Without the copy of the screen texture at the end of the frame the
// program does not wait for the picture to be finished: it goes on with the next frame while
// the picture is drawn.
void GR_D3D_GetScreenRect(float* x1, float* y1, float* x2, float* y2);

static bool FrameFitsWindow()
{
    TextureRecord* t = g_d3d.screenTexture;
    if (!t || !t->colour || g_hooks.windowOverlay || !g_d3d.device->PresentKeepsBackBuffer()) return false;
    const int32_t bw = g_d3d.backBufferWidth, bh = g_d3d.backBufferHeight;
    if (t->Width() != bw || t->Height() != bh || g_d3d.clientWidth != bw || g_d3d.clientHeight != bh) return false;
    float x1, y1, x2, y2;
    GR_D3D_GetScreenRect(&x1, &y1, &x2, &y2);
    if (x1 != 0.0f || y1 != 0.0f || x2 != (float)bw || y2 != (float)bh) return false;
    return !GR_Settings().depthTestOn;
}

void GR_D3D_MoveFrameToScreenTexture()
{
    const bool open = g_d3d.frameOnWindow;
    if (!g_d3d.pictureOnWindow) return;
    g_d3d.frameOnWindow = g_d3d.pictureOnWindow = false;
    IGfxDevice* dev = g_d3d.device;
    TextureRecord* t = g_d3d.screenTexture;
    if (!dev || !t || !t->colour) return;
    // The back buffer (one reference held here): the bottom of the target stack while the
    // frame is open, else the target.
    GfxSurface* back = nullptr;
    if (!open) back = dev->GetRenderTarget(0);
    else if (g_d3d.rtDepthCount > 0 && (back = g_d3d.rtColour[0]) != nullptr) back->AddRef();
    if (!back) return;
    GfxRect r{0, 0, g_d3d.backBufferWidth, g_d3d.backBufferHeight};
    dev->StretchRect(back, &r, t->colour, &r, GFX_TEXF_POINT);
    t->flags |= 1;
    if (open) {
        // Targets that were the back buffer become the screen texture, the current one keeping
        // its viewport.
        for (int32_t i = 1; i < g_d3d.rtDepthCount; ++i)
            if (g_d3d.rtColour[i] == back) {
                t->colour->AddRef();
                back->Release();
                g_d3d.rtColour[i] = t->colour;
            }
        GfxSurface* current = dev->GetRenderTarget(0);
        if (current == back) {
            GfxViewport vp{};
            const bool haveViewport = dev->GetViewport(&vp);
            dev->SetRenderTarget(0, t->colour);
            dev->SetDepthStencilSurface(t->depth);
            if (haveViewport) dev->SetViewport(vp);
        }
        if (current) current->Release();
    }
    back->Release();
}

bool GR_D3D_BeginScene()
{
    if (!g_d3d.device) return false;
    if (g_d3d.sceneCount != 0) return true;
    uint32_t level = g_d3d.device->TestCooperativeLevel();
    if (level == GFX_ERR_DEVICELOST || level == GFX_ERR_DEVICENOTRESET || !g_d3d.screenTexture)
        GR_D3D_Reset();
    if (!g_d3d.screenTexture) return false; // the reset failed: skip this frame
    g_d3d.device->BeginScene();
    GR_D3D_PopAllRenderTargets();
    GR_D3D_PushRenderTarget();
    GfxSurface* back = g_d3d.rtDepthCount > 0 ? g_d3d.rtColour[g_d3d.rtDepthCount - 1] : nullptr;
    if (back) ViewportSized(back->width, back->height); // the back buffer's whole viewport
    IWindowHost* host = WindowHost_Get();
    if (host) host->GetClientSize(&g_d3d.clientWidth, &g_d3d.clientHeight);
    if (FrameFitsWindow()) {
        // The back buffer stands in for the screen texture; depth-stencil clears are kept for
        // the screen texture's own depth surface, should the frame move there.
        g_d3d.frameOnWindow = g_d3d.pictureOnWindow = true;
        g_d3d.device->SetDepthStencilSurface(g_d3d.screenTexture->depth);
    } else {
        GR_D3D_MoveFrameToScreenTexture(); // the last picture, should the game draw over it
        GR_D3D_SetRenderTarget(0, g_d3d.screenTexture);
    }
    if (g_hooks.profilerReset) g_hooks.profilerReset();
    g_d3d.sceneCount = 1;
    return true;
}

bool GR_D3D_EndScene()
{
    if (!g_d3d.device) return false;
    if (g_d3d.sceneCount != 1) return false;
    GR_D3D_Flush();
    if (g_hooks.overlayDrawFrame) g_hooks.overlayDrawFrame();
    GR_D3D_UpdateFrameTiming();
    g_d3d.sceneCount = 0;
    GR_D3D_Flush();
    // Targets the game left pushed are popped (and released) down to the frame's own entry.
    while (g_d3d.rtDepthCount > 1) GR_D3D_PopRenderTarget();
    GR_D3D_PopRenderTarget();
    g_d3d.frameOnWindow = false; // the picture stays in the back buffer (pictureOnWindow)
    GR_D3D_DrawScreenTexture();
    GR_D3D_Flush();
    GR_D3D_EndFrameVertexBuffers();
    g_d3d.device->EndScene();
    GR_D3D_PopAllRenderTargets();
    return true;
}

bool GR_D3D_Start_Frame() { return GR_D3D_BeginScene(); }

bool GR_D3D_Finish_Frame(bool present)
{
    if (!g_d3d.device) return false;
    bool ok = GR_D3D_EndScene();
    if (present) {
        uint64_t t0 = GR_Clock_Micros();
        ok = GR_D3D_Present() && ok;
        g_d3d.presentTime = GR_Clock_Micros() - t0;
    }
    return ok;
}

void GR_D3D_ShowPendingWindow()
{
    if (!GR_Window_ShowRequest()) return;
    IWindowHost* host = WindowHost_Get();
    if (host) {
        host->ShowWindow();
        host->PumpMessages();
    }
    GR_Window_ClearShowRequest();
}

bool GR_D3D_Present()
{
    GR_D3D_ShowPendingWindow();
    if (!g_d3d.device) return false;
    return g_d3d.device->Present();
}

bool GR_D3D_PresentHeld()
{
    if (!g_d3d.device || !g_d3d.screenTexture) return false;
    GR_D3D_Flush();
    GR_D3D_MoveFrameToScreenTexture();
    IGfxDevice* dev = g_d3d.device;
    const bool inScene = g_d3d.sceneCount != 0;
    // What the game draws into now, to be put back afterwards.
    GfxSurface* colour = dev->GetRenderTarget(0);
    GfxSurface* depth = dev->GetDepthStencilSurface();
    GfxViewport viewport{};
    const bool haveViewport = dev->GetViewport(&viewport);
    float projection[16];
    std::memcpy(projection, g_d3d.matrices[1], sizeof(projection));
    RenderStateCache& c = g_RenderStateCache;
    uint32_t states[GR_RS_COUNT], samplers[GR_SAMPLER_ENTRIES];
    std::memcpy(states, c.m_wanted, sizeof(states));
    std::memcpy(samplers, c.m_samplerWanted, sizeof(samplers));

    if (!inScene) dev->BeginScene();
    // The back buffer: the bottom of the frame's target stack while a frame is open.
    GfxSurface* back = inScene && g_d3d.rtDepthCount > 0 ? g_d3d.rtColour[0] : colour;
    GfxSurface* backDepth = inScene && g_d3d.rtDepthCount > 0 ? g_d3d.rtDepth[0] : depth;
    if (back) dev->SetRenderTarget(0, back);
    dev->SetDepthStencilSurface(backDepth);
    GR_D3D_DrawScreenTexture();
    GR_D3D_Flush();
    GR_D3D_EndFrameVertexBuffers();
    dev->EndScene();
    const bool ok = GR_D3D_Present();
    if (inScene) dev->BeginScene();

    if (colour) dev->SetRenderTarget(0, colour);
    dev->SetDepthStencilSurface(depth);
    if (colour) colour->Release();
    if (depth) depth->Release();
    if (haveViewport) dev->SetViewport(viewport);
    std::memcpy(c.m_wanted, states, sizeof(states));
    std::memcpy(c.m_samplerWanted, samplers, sizeof(samplers));
    c.MarkAllDirty();
    GR_D3D_SetMatrix(1, projection);
    return ok;
}

bool GR_D3D_LeaveFullscreen()
{
    GR_D3D_ShowPendingWindow();
    if (!g_d3d.fullscreen) return g_d3d.device != nullptr;
    g_d3d.fullscreen = false;
    bool open = g_d3d.sceneCount > 0;
    if (open) GR_D3D_Finish_Frame(false);
    bool ok = GR_D3D_ResetDevice();
    if (open) GR_D3D_Start_Frame();
    return ok;
}

// ============================================================================================
// [SECTION] Screen texture onto the back buffer
// ============================================================================================
// Switches off what would disturb a plain textured quad (used when no overlay module has
// installed its own begin/end).
static void PlainStateBegin()
{
    RenderStateCache& c = g_RenderStateCache;
    c.SetRenderState(GR_RS_ZENABLE, 0);
    c.SetRenderState(GR_RS_CULLMODE, 0);
    c.SetRenderState(GR_RS_LIGHTING, 0);
    c.SetRenderState(GR_RS_FOG, 0);
    c.SetRenderState(GR_RS_ALPHATEST, 0);
    c.SetRenderState(GR_RS_COLOURWRITE, 15);
    c.SetRenderState(GR_RS_FILLMODE, 3);
}

static void PlainStateEnd()
{
    RenderStateCache& c = g_RenderStateCache;
    GR_DrawSettings& s = GR_Settings();
    c.SetRenderState(GR_RS_ZENABLE, (s.mode3D && s.hidden) ? 1 : 0);
    c.SetRenderState(GR_RS_CULLMODE, s.culling ? 2 : 0);
    c.SetRenderState(GR_RS_LIGHTING, s.lighting ? 1 : 0);
    c.SetRenderState(GR_RS_FOG, s.fog ? 1 : 0);
    c.SetRenderState(GR_RS_ALPHATEST, s.alphaTest ? 1 : 0);
    c.SetRenderState(GR_RS_COLOURWRITE, s.colourWriteMask);
    c.SetRenderState(GR_RS_FILLMODE, 3);
}

void GR_D3D_GetScreenRect(float* x1, float* y1, float* x2, float* y2)
{
    float bw = (float)g_d3d.backBufferWidth, bh = (float)g_d3d.backBufferHeight;
    *x1 = 0;
    *y1 = 0;
    *x2 = bw;
    *y2 = bh;
    if (g_d3d.keepAspect && g_d3d.screenWidth > 0 && g_d3d.screenHeight > 0) {
        float ox, oy;
        GR_D3D_GetLetterboxOffset(&ox, &oy);
        *x1 = ox;
        *y1 = oy;
        *x2 = bw - ox;
        *y2 = bh - oy;
    }
}

// Whether the white quad of the whole screen texture would put its texels on the back buffer
// unchanged: drawn 1:1 over all of it, with nothing of the drawing state (blending, alpha test,
// fog, lighting, write mask, fill mode, culling of its clockwise fan) altering them. Texel
// centres fall on pixel centres then, so filtering and addressing change nothing either.
static bool ScreenCopyIsExact(float x1, float y1, float x2, float y2)
{
    TextureRecord* t = g_d3d.screenTexture;
    int32_t bw = g_d3d.backBufferWidth, bh = g_d3d.backBufferHeight;
    if (!t->colour || t->Width() != bw || t->Height() != bh) return false;
    if (x1 != 0.0f || y1 != 0.0f || x2 != (float)bw || y2 != (float)bh) return false;
    const RenderStateCache& c = g_RenderStateCache;
    if (c.Dirty()) return false;
    const uint32_t* s = c.m_applied;
    return s[GR_RS_ALPHABLEND] == 0 && s[GR_RS_ALPHATEST] == 0 && s[GR_RS_FOG] == 0 && s[GR_RS_LIGHTING] == 0 &&
           (s[GR_RS_COLOURWRITE] & 15) == 15 && s[GR_RS_FILLMODE] == 3 && s[GR_RS_CULLMODE] != 2;
}

// The copy standing in for that quad. The texture is bound as the quad would bind it, so the
// device binding and the texture-swap count come out the same.
static void CopyScreenTexture()
{
    GR_D3D_SetTexture(0, g_d3d.screenTexture);
    GfxSurface* back = g_d3d.device->GetRenderTarget(0);
    if (!back) return;
    GfxRect r{0, 0, g_d3d.backBufferWidth, g_d3d.backBufferHeight};
    g_d3d.device->StretchRect(g_d3d.screenTexture->colour, &r, back, &r, GFX_TEXF_POINT);
    back->Release();
}

void GR_D3D_DrawScreenTexture()
{
    if (!g_d3d.device || !g_d3d.screenTexture) return;
    GR_D3D_Flush();
    float x1, y1, x2, y2;
    GR_D3D_GetScreenRect(&x1, &y1, &x2, &y2);
    int32_t sw = g_d3d.screenWidth, sh = g_d3d.screenHeight;
    g_d3d.screenWidth = g_d3d.backBufferWidth;
    g_d3d.screenHeight = g_d3d.backBufferHeight;
    if (g_hooks.overlayBegin) g_hooks.overlayBegin();
    else PlainStateBegin();
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 0);
    bool interpolation = GR_Texture_GetInterpolation();
    bool savedSetting = GR_Settings().interpolation;
    GR_Texture_SetInterpolation(g_d3d.filterScreen);
    GR_D3D_Flush();

    int32_t bw = g_d3d.backBufferWidth, bh = g_d3d.backBufferHeight;
    float view[16], proj[16], world[16], savedView[16], savedWorld[16];
    std::memcpy(savedView, g_d3d.matrices[0], sizeof(savedView));
    std::memcpy(savedWorld, g_d3d.matrices[2], sizeof(savedWorld));
    grm::Identity(view);
    view[12] = (float)-(bw / 2);
    view[13] = (float)-(bh / 2);
    view[14] = 16000.0f;
    grm::Identity(world);
    g_d3d.device->SetTransform(GFX_TS_VIEW, view);
    g_d3d.device->SetTransform(GFX_TS_WORLD, world);
    grm::Ortho(proj, (float)bw, (float)-bh, 1.0f, 32000.0f);
    proj[12] -= 1.0f / (float)g_d3d.screenWidth;
    proj[13] += 1.0f / (float)g_d3d.screenHeight;
    g_d3d.device->SetHalfPixelFaded(false);
    g_d3d.device->SetTransform(GFX_TS_PROJECTION, proj);
    // The bars take the window colour; without bars the picture covers the whole back
    // buffer and only depth and stencil need clearing.
    bool bars = x1 > 0.0f || y1 > 0.0f || x2 < (float)bw || y2 < (float)bh;
    // A frame drawn straight into the back buffer is already there.
    if (!g_d3d.pictureOnWindow) {
        GR_D3D_Clear(GR_Window_GetColour(), 1.0f, 0, bars ? 7 : 6);
        // The view and projection map back-buffer pixels (y down) onto the target.
        if (ScreenCopyIsExact(x1, y1, x2, y2)) CopyScreenTexture();
        else GR_D3D_DrawTextureRect(g_d3d.screenTexture, x1, y1, x2, y2, 0, 0, 1, 1, 0xFFFFFFFFu);
    }
    GR_D3D_Flush();
    if (g_hooks.windowOverlay) {
        g_hooks.windowOverlay();
        GR_D3D_Flush();
    }
    GR_Texture_SetInterpolation(interpolation);
    GR_Settings().interpolation = savedSetting;
    if (g_hooks.overlayEnd) g_hooks.overlayEnd();
    else PlainStateEnd();
    g_RenderStateCache.SetRenderState(GR_RS_ALPHABLEND, 1);
    g_RenderStateCache.Apply();
    g_d3d.device->SetTransform(GFX_TS_VIEW, savedView);
    g_d3d.device->SetTransform(GFX_TS_WORLD, savedWorld);
    g_d3d.screenWidth = sw;
    g_d3d.screenHeight = sh;
}

void GR_D3D_DrawTextureRect(TextureRecord* texture, float x1, float y1, float x2, float y2,
                            float s1, float t1, float s2, float t2, uint32_t colour)
{
    if (!g_d3d.device) return;
    struct V {
        float x, y, z;
        uint32_t c;
        float u, v;
    } v[4] = {{x1, y1, 0, colour, s1, t1},
              {x2, y1, 0, colour, s2, t1},
              {x2, y2, 0, colour, s2, t2},
              {x1, y2, 0, colour, s1, t2}};
    g_d3d.device->SetFVF(GFX_FVF_2DTEX);
    GR_D3D_SetTexture(0, texture);
    g_d3d.device->DrawPrimitiveUP(GFX_PT_TRIANGLEFAN, 2, v, 24);
}

void GR_D3D_GetLetterboxOffset(float* x, float* y)
{
    *x = 0;
    *y = 0;
    if (!g_d3d.keepAspect || g_d3d.screenWidth <= 0 || g_d3d.screenHeight <= 0) return;
    float sw = (float)g_d3d.screenWidth, sh = (float)g_d3d.screenHeight;
    float bw = (float)g_d3d.backBufferWidth, bh = (float)g_d3d.backBufferHeight;
    float a = sw / sh;
    if (bh > bw / a) *y = (bh - (sh / sw) * bw) * 0.5f;
    else *x = (bw - bh * a) * 0.5f;
}

// ============================================================================================
// [SECTION] Clear, viewport, view and matrices
// ============================================================================================
void GR_D3D_Clear(uint32_t colour, float z, uint32_t stencil, uint32_t flags)
{
    if (!g_d3d.device || flags == 0) return;
    // The screen texture's depth-stencil surface keeps the clears of a frame drawn into the
    // back buffer for later, in its own rows; a clear of part of it is made there instead.
    GfxViewport vp{};
    if ((flags & (GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL)) && g_d3d.frameOnWindow && g_d3d.device->GetViewport(&vp) &&
        (vp.x != 0 || vp.y != 0 || vp.w != g_d3d.backBufferWidth || vp.h != g_d3d.backBufferHeight))
        GR_D3D_MoveFrameToScreenTexture();
    uint32_t argb = (colour & 0xFF00FF00u) | ((colour & 0xFF) << 16) | ((colour >> 16) & 0xFF);
    g_d3d.device->Clear(flags, argb, z, stencil);
}

void GR_D3D_ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (!g_d3d.device) return;
    GfxViewport vp{x, y, w, h, 0.0f, 1.0f};
    g_d3d.device->SetViewport(vp);
    ViewportSized(w, h);
}

void GR_D3D_SetViewPort(int32_t x, int32_t y, int32_t w, int32_t h)
{
    GR_D3D_Flush();
    g_d3d.viewport[0] = x;
    g_d3d.viewport[1] = y;
    g_d3d.viewport[2] = w;
    g_d3d.viewport[3] = h;
    GR_D3D_ApplyViewport(x, y, w, h);
}

void GR_D3D_SetSize(int32_t w, int32_t h)
{
    GR_Window_HoldSize(&w, &h);
    if (w == g_d3d.requestedWidth && h == g_d3d.requestedHeight) return;
    g_d3d.requestedWidth = w;
    g_d3d.requestedHeight = h;
    if (g_d3d.device) GR_D3D_SetViewPort(0, 0, w, h);
    GR_D3D_SetView(0, 0, (float)w, (float)h, 0);
}

void GR_D3D_GetSize(int32_t* w, int32_t* h)
{
    *w = g_d3d.requestedWidth;
    *h = g_d3d.requestedHeight;
}

void GR_D3D_SetView(float x, float y, float w, float h, float angle)
{
    g_d3d.view[0] = x;
    g_d3d.view[1] = y;
    g_d3d.view[2] = w;
    g_d3d.view[3] = h;
    g_d3d.view[4] = angle;
    float cx = x + w / 2, cy = y + h / 2;
    float a = -angle * 0.01745329238474369f;
    float up[3] = {std::sin(a), std::cos(a), 0.0f};
    float target[3] = {cx, cy, 0.0f};
    float view[16], proj[16];
    if (GR_Settings().mode3D && GR_Settings().perspective) {
        // The height is negative, as in the orthographic view: room y runs down the screen
        // (a positive height would show the room upside down; docs/decisions.md).
        float eye[3] = {cx, cy, -w};
        grm::LookAt(view, eye, target, up);
        grm::Perspective(proj, 1.0f, -h / w, 1.0f, 32000.0f);
    } else {
        float eye[3] = {cx, cy, -16000.0f};
        grm::LookAt(view, eye, target, up);
        grm::Ortho(proj, w, -h, 1.0f, 32000.0f);
        if (angle == 0.0f && w != 0.0f && h != 0.0f) {
            // The same two in double precision: the view's centre and scale exactly, so that
            // the device can place a room point on the window as the view maps it (single
            // precision is 1/16384 of a pixel off at room x 512 in a view magnifying by four).
            // The projection's scale is 2 / w across and 2 / -h down, kept as the numerators 2
            // and -2 with w and h to divide by last (2 / w itself is rounded).
            const double ex[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -((double)x + (double)w / 2), -((double)y + (double)h / 2), 16000, 1};
            const double px[16] = {2.0, 0, 0, 0, 0, -2.0, 0, 0, 0, 0, 1.0 / 31999.0, 0, 0, 0, 1.0 / -31999.0, 1};
            const double divide[2] = {w, h};
            SetMatrixExact(0, view, ex);
            SetMatrixExact(1, proj, px, divide);
            return;
        }
    }
    GR_D3D_SetMatrix(0, view);
    GR_D3D_SetMatrix(1, proj);
}

void GR_D3D_SetMatrix(int32_t kind, const float* m) { SetMatrixExact(kind, m, nullptr); }

static void SetMatrixExact(int32_t kind, const float* m, const double* exact, const double* divide)
{
    if (!g_d3d.device) return;
    GR_D3D_Flush();
    int32_t slot = kind == 0 ? 0 : kind == 1 ? 1 : 2;
    std::memcpy(g_d3d.matrices[slot], m, 16 * sizeof(float));
    if (kind == 0) {
        g_d3d.device->SetExactTransform(GFX_TS_VIEW, exact);
        g_d3d.device->SetTransform(GFX_TS_VIEW, m);
        return;
    }
    if (kind != 1) {
        g_d3d.device->SetTransform(GFX_TS_WORLD, m);
        return;
    }
    g_d3d.exactProjectionValid = exact != nullptr;
    if (exact) {
        std::memcpy(g_d3d.exactProjection, exact, sizeof(g_d3d.exactProjection));
        g_d3d.exactDivide[0] = divide ? divide[0] : 1.0;
        g_d3d.exactDivide[1] = divide ? divide[1] : 1.0;
    }
    g_d3d.pixelOffset[0] = g_d3d.pixelOffset[1] = 1.0f;
    GR_RoomInfo room;
    if (GR_GetRoomInfo(&room) && room.firstView) {
        g_d3d.pixelOffset[0] = GR_D3D_PixelOffsetFade((float)room.viewWidth, (float)room.portWidth);
        g_d3d.pixelOffset[1] = GR_D3D_PixelOffsetFade((float)room.viewHeight, (float)room.portHeight);
    }
    SendProjection();
}

float GR_D3D_PixelOffsetFade(float view, float port)
{
    const float a = std::fabs(view), b = std::fabs(port);
    const float larger = std::fmax(a, b), smaller = std::fmin(a, b);
    const float f = (0.01f - (larger / smaller - 1.0f)) / 0.01f;
    return f > 0.0f ? f : 0.0f; // also for a side of 0
}

// The projection as last set, moved by the half-pixel offset (scaled by the pixel-offset pair)
// that puts Direct3D's pixel centres where textures and points are meant to meet them: half a
// pixel of the viewport in force, on the screen as on a surface, so that what is drawn lands
// as in a 640 x 480 room whatever the target's size, the room's, its views' or the window's.
// Once the room's first view is scaled by more than a percent the pair is 0, 0 and nothing is
// moved (docs/decisions.md, the pixel rule). The device is told the same in double precision
// first, each axis with its own member of the pair: the view's own projection where
// GR_D3D_SetView made it (its divisions last), else the one set.
static void SendProjection()
{
    if (!g_d3d.device) return;
    const float width = (float)g_d3d.targetViewport[0], height = (float)g_d3d.targetViewport[1];
    float p[16];
    std::memcpy(p, g_d3d.matrices[1], sizeof(p));
    if (width != 0.0f) p[12] -= (1.0f / width) * g_d3d.pixelOffset[0];
    if (height != 0.0f) p[13] += (1.0f / height) * g_d3d.pixelOffset[1];
    g_d3d.device->SetHalfPixelFaded(g_d3d.pixelOffset[0] < 1.0f || g_d3d.pixelOffset[1] < 1.0f);
    GfxExactProjection e;
    for (int i = 0; i < 16; ++i) e.m[i] = g_d3d.exactProjectionValid ? g_d3d.exactProjection[i] : (double)g_d3d.matrices[1][i];
    e.divide[0] = g_d3d.exactProjectionValid ? g_d3d.exactDivide[0] : 1.0;
    e.divide[1] = g_d3d.exactProjectionValid ? g_d3d.exactDivide[1] : 1.0;
    e.offset[0] = -(double)g_d3d.pixelOffset[0], e.offsetOver[0] = width;
    e.offset[1] = (double)g_d3d.pixelOffset[1], e.offsetOver[1] = height;
    g_d3d.device->SetExactProjection(e);
    g_d3d.device->SetTransform(GFX_TS_PROJECTION, p);
}

void GR_D3D_GetMatrix(int32_t kind, float* m)
{
    int32_t slot = kind == 0 ? 0 : kind == 1 ? 1 : 2;
    std::memcpy(m, g_d3d.matrices[slot], 16 * sizeof(float));
}

// ============================================================================================
// [SECTION] Render-target stack
// ============================================================================================
// The viewport in force is w x h (a new one, or a new target's whole surface): a projection
// set for another size is sent again with its offset for this one.
static void ViewportSized(int32_t w, int32_t h)
{
    if (w == g_d3d.targetViewport[0] && h == g_d3d.targetViewport[1]) return;
    GR_D3D_Flush();
    g_d3d.targetViewport[0] = w;
    g_d3d.targetViewport[1] = h;
    SendProjection();
}

bool GR_D3D_PushRenderTarget()
{
    if (!g_d3d.device) return false;
    if (g_d3d.rtDepthCount >= GR_RT_STACK_SIZE) return false; // full: refused
    GfxSurface* colour = g_d3d.device->GetRenderTarget(0);
    if (!colour) return false;
    g_d3d.rtColour[g_d3d.rtDepthCount] = colour;
    g_d3d.rtDepth[g_d3d.rtDepthCount] = g_d3d.device->GetDepthStencilSurface();
    ++g_d3d.rtDepthCount;
    return true;
}

bool GR_D3D_PopRenderTarget()
{
    if (!g_d3d.device || g_d3d.rtDepthCount <= 0) return false;
    GR_D3D_Flush();
    int32_t i = --g_d3d.rtDepthCount;
    g_d3d.device->SetRenderTarget(0, g_d3d.rtColour[i]);
    g_d3d.device->SetDepthStencilSurface(g_d3d.rtDepth[i]);
    if (g_d3d.rtColour[i]) ViewportSized(g_d3d.rtColour[i]->width, g_d3d.rtColour[i]->height);
    if (g_d3d.rtColour[i]) g_d3d.rtColour[i]->Release();
    if (g_d3d.rtDepth[i]) g_d3d.rtDepth[i]->Release();
    g_d3d.rtColour[i] = nullptr;
    g_d3d.rtDepth[i] = nullptr;
    return true;
}

void GR_D3D_PopAllRenderTargets()
{
    while (g_d3d.rtDepthCount > 0 && GR_D3D_PopRenderTarget()) {
    }
}

bool GR_D3D_SetRenderTarget(int32_t stage, TextureRecord* record)
{
    (void)stage;
    if (!g_d3d.device || !record) return false;
    GR_D3D_Flush();
    g_d3d.device->SetRenderTarget(0, record->colour);
    g_d3d.device->SetDepthStencilSurface(record->depth);
    if (record->colour) ViewportSized(record->colour->width, record->colour->height);
    record->flags |= 1;
    return true;
}

int32_t GR_D3D_GetFogSupport()
{
    if (!g_d3d.device) return 0;
    uint32_t caps = g_d3d.device->GetRasterCaps();
    if (caps & GFX_PRASTERCAPS_FOGTABLE) return 1;
    if (caps & GFX_PRASTERCAPS_FOGVERTEX) return 2;
    return 0;
}

// ============================================================================================
// [SECTION] Timing and shut-down
// ============================================================================================
void GR_D3D_InitFrameState()
{
    g_d3d.sceneCount = 0;
    if (g_hooks.overlayStartup) g_hooks.overlayStartup();
    g_d3d.timerFrequency = 1000000;
    g_d3d.lastTick = GR_Clock_Micros();
}

void GR_D3D_UpdateFrameTiming()
{
    uint64_t now = GR_Clock_Micros();
    uint64_t delta = now - g_d3d.lastTick;
    g_d3d.lastTick = now;
    g_d3d.frameSeconds = (float)((double)delta / (double)g_d3d.timerFrequency);
    g_d3d.frameTimeScaled = g_d3d.frameSeconds * g_d3d.frameTimeFactor;
    g_d3d.frameMilliseconds = (float)(1000.0 / (double)g_d3d.timerFrequency * (double)delta);
    g_d3d.accumulator += delta;
    ++g_d3d.frameCounter;
    if (g_d3d.accumulator > g_d3d.timerFrequency) {
        g_d3d.accumulator -= g_d3d.timerFrequency;
        g_d3d.framesPerSecond = g_d3d.frameCounter;
        g_d3d.frameCounter = 0;
    }
}

void GR_D3D_FreeScreenTexture()
{
    if (g_d3d.screenTexture) {
        GR_D3D_FreeTexture(g_d3d.screenTexture);
        g_d3d.screenTexture = nullptr;
    }
    if (g_hooks.fpsStatsPrint) g_hooks.fpsStatsPrint();
}

void GR_D3D_Shutdown()
{
    GR_D3D_PopAllRenderTargets();
    if (g_d3d.screenTexture) {
        GR_D3D_FreeTexture(g_d3d.screenTexture);
        g_d3d.screenTexture = nullptr;
    }
    // Texture records stay (the texture table frees them later); their device objects are
    // released with the device's resources.
    GR_D3D_ReleaseBatchObjects();
    delete g_d3d.device;
    g_d3d.device = nullptr;
    g_d3d.sceneCount = 0;
}

void GR_D3D_Release() { GR_D3D_Shutdown(); }
