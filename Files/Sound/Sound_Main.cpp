// Both sound systems as far as the rest of the runner reaches them (Files/Sound/Sound_Main.h).
//
// The records of "SOND" and "AUDO" are not laid out anywhere this runner knows, so both chunks
// are accepted and skipped and the sound tables stay empty: no sound plays, the name lookups
// find nothing, and every operation reads the no-audio flag ("-noaudio") and the
// new-audio-engine option first, so that either engine's path is the one a real table would
// take.
#include "Files/Sound/Sound_Main.h"

#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Option/Options.h"
#include "Files/Support/CommandLine.h"

namespace {

// The legacy sounds' names and the new engine's stored file names, by index (empty: the
// chunks are skipped).
std::vector<std::string> g_soundNames;
std::vector<std::string> g_audioFiles;
// Frames the new engine's update has run (tests).
int64_t g_updates = 0;

bool AudioOff() { return g_StartupOptions.noAudio != 0; }
bool NewEngine() { return g_Options.newAudioEngine != 0; }

} // namespace

void SoundLayer_Init() {}

void Sound_ClearAll() { g_soundNames.clear(); }

bool Audio_Load(const FileImage&, uint32_t, uint32_t) { return true; }
bool Sound_Init(const FileImage&, uint32_t, uint32_t) { return true; }
bool Audio_WAVs(const FileImage&, uint32_t, uint32_t) { return true; }
bool Wave_Init(const FileImage&, uint32_t, uint32_t) { return true; }

bool Sound_Prepare() { return true; }
bool Wave_Prepare() { return true; }
void Audio_Prepare()
{
    if (AudioOff() || !NewEngine()) return;
}

void Audio_Update()
{
    if (AudioOff() || !NewEngine()) return;
    ++g_updates;
}

int64_t Audio_UpdateCount() { return g_updates; }

int32_t Sound_Find(const char* name)
{
    if (!name || NewEngine()) return -1;
    for (size_t k = 0; k < g_soundNames.size(); ++k)
        if (g_soundNames[k] == name) return int32_t(k);
    return -1;
}

int32_t Audio_Find(const char* name)
{
    if (!name || !NewEngine()) return -1;
    // The stored file name is the resource name followed by ".".
    const size_t n = std::strlen(name);
    for (size_t k = 0; k < g_audioFiles.size(); ++k) {
        const std::string& f = g_audioFiles[k];
        if (f.size() > n && f.compare(0, n, name) == 0 && f[n] == '.') return int32_t(k);
    }
    return -1;
}

bool SoundHardware_Quit()
{
    if (g_StartupOptions.trace) Console_Output("%s :: \n", "SoundHardware::Quit");
    return true;
}

void Sound_Free() { g_soundNames.clear(); g_audioFiles.clear(); }
