// Steam start, callbacks and shutdown (Files/Networking/Steam.h).
#include "Files/Networking/Steam.h"

#include <cstdio>
#include <string>

#include "Files/Base/Console.h"
#include "Files/DLL/DLL.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/File.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/LoadSave.h"

namespace {

constexpr const char* kLibrary = "libsteam_api.so";

std::string g_libraryName = kLibrary;
void* g_library = nullptr;
bool g_started = false;
bool (*g_init)() = nullptr;
void (*g_runCallbacks)() = nullptr;
void (*g_shutdown)() = nullptr;

template <class F>
bool Symbol(const char* name, F* out)
{
    *out = reinterpret_cast<F>(DLLM_Symbol(g_library, name));
    return *out != nullptr;
}

void Unload()
{
    DLLM_Close(g_library);
    g_library = nullptr;
    g_init = nullptr;
    g_runCallbacks = nullptr;
    g_shutdown = nullptr;
}

} // namespace

bool Steam_Init()
{
    if (g_started || !g_StartupOptions.steam) return g_started;
    g_library = DLLM_Open(g_libraryName.c_str());
    if (!g_library) {
        Console_Output("Steam: the Steam client library (%s) is not available; Steam is off\n", g_libraryName.c_str());
        return false;
    }
    if (!Symbol("SteamAPI_Init", &g_init) || !Symbol("SteamAPI_RunCallbacks", &g_runCallbacks) ||
        !Symbol("SteamAPI_Shutdown", &g_shutdown)) {
        Console_Output("Steam: %s lacks the Steam API; Steam is off\n", g_libraryName.c_str());
        Unload();
        return false;
    }
    if (g_GameHeader.steamAppId > 0) {
        char text[32];
        const int n = std::snprintf(text, sizeof text, "%d", g_GameHeader.steamAppId);
        const std::string path = std::string(LoadSave_ProgramFolder()) + "steam_appid.txt";
        if (!File_WriteAll(path.c_str(), text, n)) Console_Output("Steam: could not write %s\n", path.c_str());
    }
    g_started = g_init();
    if (!g_started) {
        Console_Output("Steam: SteamAPI_Init failed; Steam is off\n");
        Unload();
    }
    return g_started;
}

bool Steam_Started() { return g_started; }

void Steam_RunCallbacks()
{
    if (g_started) g_runCallbacks();
}

void Steam_Shutdown()
{
    if (!g_started) return;
    Console_Output("Steam_Shutdown\n");
    g_shutdown();
    g_started = false;
    Unload();
}

void Steam_SetLibraryName(const char* name) { g_libraryName = name && *name ? name : kLibrary; }
