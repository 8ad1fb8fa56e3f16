// The diagnostic layer drawn over each frame in window pixels: the frame profiler (coloured
// bars of the frame's named markers), the frame rate with the renderer's texture swaps and
// vertex batches, and a banner with the runner's and the game's versions; the minimum, maximum
// and average frame rates of the run, written to the log at graphics shutdown. Text uses the
// debug font: the built-in font's page (built-in image 15) with its glyph table.
//
// The overlay flags are the start-up options' debug form mode (0 at start; "-debug" and the
// options.ini "Debug" key set 2, the debug form's "Display FPS" sets and clears bit 2).
//
// Drawing happens where the graphics layer calls it (GR_Hooks: the profiler's frame starts
// with the scene, the overlay is drawn when the scene ends, into the screen texture with a
// projection of the window's size, so it lands on window pixels when the screen texture is
// put onto the back buffer). Nothing is drawn while every flag is clear.
//
// Main thread only. Needs the device, the render states, the vertex batch, the built-in font's
// texture and glyph table, the input state (banner clicks), the game header and options, the
// log console, the clock.
#pragma once

#include <cstdint>

// Overlay flag bits.
enum : uint32_t { OVERLAY_BANNER = 1, OVERLAY_FPS = 2, OVERLAY_FPS_SWITCH = 8 };

constexpr int32_t PROFILER_MARKERS = 1024;
constexpr float PROFILER_TIME_SCALE = 66666.664f; // microseconds across the window's width

struct ProfilerMarker {
    int64_t start, end; // microseconds (end 0: still open)
    uint32_t colour;    // 0xAARRGGBB
    const char* name;   // not owned
};

uint32_t Overlay_Flags();
void Overlay_SetFlags(uint32_t flags);

// ---- Profiler -------------------------------------------------------------------------------
// Starts a frame: no markers, frame start now, the renderer's swap and batch counters zeroed,
// then the marker "Total" opened.
void Profiler_Reset();
// Opens a marker (the frame starts first when none is open); markers past 1,024 are dropped.
void Profiler_Begin(uint32_t colour, const char* name);
// Closes the innermost open marker.
void Profiler_End();
// This frame's markers (tests, the band).
int32_t Profiler_Count();
const ProfilerMarker* Profiler_Marker(int32_t i);

// ---- Frame rates ----------------------------------------------------------------------------
struct FpsStats {
    int32_t minimum = 2147483647, maximum = -2147483647 - 1, average = 30, frames = 0;
    int64_t lastFrameTime = 0; // microseconds
};
FpsStats& Overlay_FpsStats();
// The frame rate of a frame of that many microseconds; 0 for a frame of no length.
int32_t Overlay_FrameRate(int64_t frameTime);
// Counts one frame of that rate (statistics start after the first 100 frames).
void FpsStats_Count(int32_t fps);
// "---...---\n", "minFPS, maxFPS, avgFPS\n", "%d, %d, %d\n" to the log.
void FpsStats_Print();

// ---- Drawing ----------------------------------------------------------------------------------
// Saves the render states and matrices it changes; window-pixel projection (y down), depth
// test and culling off, alpha blending on.
void Overlay_Begin();
void Overlay_End();
// Once a frame when the scene ends: statistics, banner clicks, the band, the texts.
void Overlay_DrawFrame();
// The text of the frame-rate line (texts of any size are formatted whole).
void Overlay_FrameRateText(int32_t fps, uint32_t swaps, uint32_t batches, char* out, int32_t size);

// Debug-font text (inside Overlay_Begin / Overlay_End). Colours are 0xAARRGGBB.
void DebugFont_Draw(float x, float y, float scaleX, float scaleY, uint32_t colour, const char* text, int32_t maxChars);
void DebugFont_DrawShadowed(float x, float y, uint32_t colour, uint32_t shadow, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void DebugFont_Print(float x, float y, uint32_t colour, const char* format, ...) __attribute__((format(printf, 4, 5)));
void DebugFont_DrawCentred(float y, uint32_t shadow, uint32_t colour, const char* text);
// x of 0x81234567 centres each line; wraps to the window width less 4 pixels.
constexpr int32_t DEBUGFONT_CENTRE = int32_t(0x81234567u);
void DebugFont_Printf(int32_t x, float y, uint32_t shadow, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// The advance of a text in the debug font (pixels).
int32_t DebugFont_Width(const char* text);

// Forgets the statistics, the profiler frame, the banner and its click sequences (tests).
void Overlay_Reset();
// The banner's click cells for the tests: the sequences' entries {column, row, tolerance}.
void Overlay_ClickSequences(const uint8_t (**show)[3], int32_t* showCount, const uint8_t (**fps)[3], int32_t* fpsCount);
