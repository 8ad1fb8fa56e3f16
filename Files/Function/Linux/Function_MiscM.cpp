// Host side of the program and clipboard built-ins (Function_Program.h): the calling thread's
// nice value through setpriority (Linux keeps it per thread), and the text clipboard: SDL's
// while its video system is up (the game window exists), else a store of this process, so
// runs without a display still give back what they put there.
#include "Files/Function/Function_Program.h"

#include <SDL2/SDL.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The process's own clipboard, used without a video system.
std::string g_localText;
bool g_localHasText = false;
// SDL cannot tell an empty text on its clipboard from none: remember that we put one there.
bool g_sdlSetEmpty = false;

bool SdlUp() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

} // namespace

bool SystemHost_SetNice(int32_t nice)
{
    return setpriority(PRIO_PROCESS, id_t(gettid()), nice) == 0;
}

bool SystemHost_ClipboardHasText()
{
    if (!SdlUp()) return g_localHasText;
    return SDL_HasClipboardText() == SDL_TRUE || g_sdlSetEmpty;
}

std::string SystemHost_ClipboardGetText()
{
    if (!SdlUp()) return g_localHasText ? g_localText : std::string();
    char* text = SDL_GetClipboardText();
    std::string out = text ? text : "";
    SDL_free(text);
    return out;
}

void SystemHost_ClipboardSetText(const char* text)
{
    if (!text) text = "";
    if (!SdlUp()) {
        g_localText = text;
        g_localHasText = true;
        return;
    }
    if (SDL_SetClipboardText(text) == 0) g_sdlSetEmpty = text[0] == 0;
}
