// Splash screens: the settings the splash_set_* and show built-ins keep, and the back ends of
// the splash and show built-ins. On this platform a splash shows nothing: each back end
// succeeds at once, whatever the file, so the built-ins' "not found" reports stay unused. The
// settings are still kept (and reset with the game) for whatever reads them.
//
// Main thread only. Needs nothing. No Linux/ file.
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

// Show nothing and return true (false would make the built-ins report "Image file not
// found.", "Video file not found (or name too long)." or "Text file not found.").
bool Splash_ShowImage(const char* file, double delay);
bool Splash_ShowVideo(const char* file, double loop);
bool Splash_ShowText(const char* file, double delay);
