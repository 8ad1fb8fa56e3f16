// The runner's one graphics device and the frame around every drawing call: creation at
// start-up, begin and end of the frame (everything is drawn into the screen texture, which
// the end of the frame scales onto the back buffer and presents), the reset that window,
// size and display-mode changes run, clears, the viewport, the view/projection/world
// matrices with the half-pixel offset, the render-target stack and frame timing.
//
// Needs: the device interface (Graphics_Device.h, backed by Linux/Graphics_DeviceM.cpp), the
// window host (Graphics_Host.h), the render-state cache and the vertex batch.
#pragma once

#include <cstdint>

#include "Files/Graphics_API/Graphics_Device.h"

struct TextureRecord;

enum { GR_RT_STACK_SIZE = 8 };

struct GR_DeviceState {
    IGfxSystem* system = nullptr;
    IGfxDevice* device = nullptr;     // null: no device, drawing does nothing
    uint32_t managedPool = 1;         // pool of non-render-target textures
    GfxPresentParams params{};
    void* window = nullptr;
    uint32_t wantedSwapEffect = GFX_SWAPEFFECT_COPY;
    uint32_t wantedMultisample = 0;
    bool vsync = false, keepAspect = false, filterScreen = true, fullscreen = false;
    uint32_t behaviour = 0x42;
    uint32_t multisampleMask = 0;     // 2, 4, 8, 16 when supported
    int32_t requestedWidth = 640, requestedHeight = 480;
    int32_t viewWidth = 640, viewHeight = 480;
    int32_t screenWidth = 640, screenHeight = 480;
    int32_t backBufferWidth = 640, backBufferHeight = 480;
    int32_t clientWidth = 640, clientHeight = 480;
    int32_t pendingWidth = -1, pendingHeight = -1;
    bool keepPosition = false;
    TextureRecord* screenTexture = nullptr;
    int32_t sceneCount = 0;
    GfxSurface* rtColour[GR_RT_STACK_SIZE] = {};
    GfxSurface* rtDepth[GR_RT_STACK_SIZE] = {};
    int32_t rtDepthCount = 0;
    float matrices[3][16] = {};       // view, projection, world as last set
    // The projection as last set by GR_D3D_SetView, in double precision (valid: it is the one
    // in matrices[1]): clip x and y divided by exactDivide last; the device places textured
    // vertices by it (SendProjection).
    double exactProjection[16] = {};
    double exactDivide[2] = {1.0, 1.0};
    bool exactProjectionValid = false;
    // Scales the projection's half-pixel offset and the primitives' pixel offset: 1, 1, or less
    // as the room's first view is scaled (set with every projection).
    float pixelOffset[2] = {1.0f, 1.0f};
    // The width and height of the viewport in force on the target (the screen texture, the back
    // buffer or a surface): the projection's half-pixel offset is half a pixel of it.
    int32_t targetViewport[2] = {640, 480};
    int32_t viewport[4] = {0, 0, 640, 480};
    float view[5] = {0, 0, 640, 480, 0};
    uint64_t presentTime = 0;
    uint64_t timerFrequency = 1000000, lastTick = 0, accumulator = 0;
    float frameSeconds = 0, frameMilliseconds = 0, frameTimeScaled = 0, frameTimeFactor = 1.0f;
    int32_t frameCounter = 0, framesPerSecond = 0;
    int32_t resetFailures = 0;        // resets that failed in a row (the frame is skipped)
    // The open frame is drawn straight into the back buffer, standing in for the screen
    // texture (GR_D3D_BeginScene); pictureOnWindow: the last frame's picture is there and not
    // in the screen texture.
    bool frameOnWindow = false, pictureOnWindow = false;
};
GR_DeviceState& GR_D3D_State();

bool GR_D3D_Init(void* window, int32_t width, int32_t height, uint32_t flags);
bool GR_D3D_CreateDevice(void* window, int32_t width, int32_t height, uint32_t flags);
bool GR_D3D_Reset();
bool GR_D3D_ResetDevice();
bool GR_D3D_Start_Frame();
bool GR_D3D_Finish_Frame(bool present);
// Presents the screen texture again as the last frame left it, with the window overlay over
// it, without ending the game's frame: the targets, viewport, projection and render states the
// game had are put back (modal dialogs redraw the window this way while the game waits).
bool GR_D3D_PresentHeld();
bool GR_D3D_BeginScene();
bool GR_D3D_EndScene();
bool GR_D3D_Present();
bool GR_D3D_LeaveFullscreen();
void GR_D3D_ShowPendingWindow();
void GR_D3D_Clear(uint32_t colour, float z, uint32_t stencil, uint32_t flags);
void GR_D3D_SetViewPort(int32_t x, int32_t y, int32_t w, int32_t h);
void GR_D3D_ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h);
void GR_D3D_SetSize(int32_t w, int32_t h);
void GR_D3D_GetSize(int32_t* w, int32_t* h);
void GR_D3D_SetView(float x, float y, float w, float h, float angle);
// Kind 0 view, 1 projection (moved by the half pixel; sets the pixel-offset pair), else world.
void GR_D3D_SetMatrix(int32_t kind, const float* m);
// One of the pixel-offset pair for a first view of this size shown in a port of this size (one
// side): 1 at 1:1, falling to 0 at a scale of 1.01 either way.
float GR_D3D_PixelOffsetFade(float view, float port);
void GR_D3D_GetMatrix(int32_t kind, float* m);
bool GR_D3D_PushRenderTarget();
bool GR_D3D_PopRenderTarget();
void GR_D3D_PopAllRenderTargets();
bool GR_D3D_SetRenderTarget(int32_t stage, TextureRecord* record);
// When the open frame is being drawn straight into the back buffer, moves it into the screen
// texture (what is drawn so far is copied there) and draws the rest of it there; between frames,
// copies the last picture there when it was drawn into the back buffer. For what needs the
// screen texture itself: reading it, depth testing, a clear of part of the depth buffer,
// presenting in the middle of a frame, a frame that does not fit the window.
void GR_D3D_MoveFrameToScreenTexture();
int32_t GR_D3D_GetFogSupport();
void GR_D3D_GetLetterboxOffset(float* x, float* y);
void GR_D3D_DrawScreenTexture();
void GR_D3D_DrawTextureRect(TextureRecord* texture, float x1, float y1, float x2, float y2,
                            float s1, float t1, float s2, float t2, uint32_t colour);
void GR_D3D_UpdateFrameTiming();
void GR_D3D_InitFrameState();
void GR_D3D_Shutdown();
void GR_D3D_Release(); // same as GR_D3D_Shutdown (the start-up's exit path names it so)
void GR_D3D_FreeScreenTexture();
void GR_Display_ShowMessage(const char* text);
// Post-start hook of the drawing layer (nothing to do on this platform).
void GR_PostInit();

// A device, screen or vertex buffer that cannot be made ends the run: the entry shuts down in
// order and exits with code (Main_RequestExit); the caller answers its failure.
void GR_Fatal(int code);
