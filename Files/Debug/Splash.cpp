// Splash screens (Files/Debug/Splash.h).
#include "Files/Debug/Splash.h"

namespace {
SplashSettings g_settings;
} // namespace

SplashSettings& Splash_Settings() { return g_settings; }

bool Splash_ShowImage(const char* file, double delay)
{
    (void)file;
    (void)delay;
    return true;
}

bool Splash_ShowVideo(const char* file, double loop)
{
    (void)file;
    (void)loop;
    return true;
}

bool Splash_ShowText(const char* file, double delay)
{
    (void)file;
    (void)delay;
    return true;
}
