// Splash screens: the settings the splash_set_* built-ins keep and the back ends of the
// splash and show built-ins. An image (PNG, BMP, DDS, "RAW ") or a text file is shown through
// the dialog host over the game, captioned with the splash caption, until its delay has passed
// (milliseconds; none when 0 or less), a key or a click when the settings ask for that, Escape
// or the window's close. Videos are not played: no decoder is at hand; a video file that
// exists is accepted and nothing is shown.
//
// Main thread only. Needs the dialog host, the game's file reader and the image decoders.
// No Linux/ file.
#pragma once

#include <cstdint>
#include <string>

struct SplashSettings {
    bool hasCaption = false;
    std::string caption;
    bool fullscreen = false, border = true;
    int32_t width = -1, height = -1;
    bool adapt = false, top = false;
    int32_t colour = 0;
    bool main = true;
    double scale = 1.0;
    bool cursor = true, interrupt = true, stopKey = true, stopMouse = true;
};
SplashSettings& Splash_Settings();

// False when the file cannot be read or decoded (the built-ins then report "Image file not
// found.", "Video file not found (or name too long)." or "Text file not found.").
bool Splash_ShowImage(const char* file, double delay);
bool Splash_ShowVideo(const char* file, double loop);
bool Splash_ShowText(const char* file, double delay);
