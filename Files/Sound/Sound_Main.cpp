// Placeholders of both sound systems until the audio module lands.
#include "Files/Sound/Sound_Main.h"

// Stands in for: start-up initialiser of the sound layer (empty by design).
void SoundLayer_Init() {}
// Stands in for: empties the legacy sound table.
void Sound_ClearAll() {}
// Stands in for: SOND reader of the new engine.
bool Audio_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: SOND reader of the legacy engine.
bool Sound_Init(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: AUDO reader of the new engine.
bool Audio_WAVs(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: AUDO reader of the legacy engine.
bool Wave_Init(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: legacy sound preparation.
bool Sound_Prepare() { return true; }
// Stands in for: wave preparation.
bool Wave_Prepare() { return true; }
// Stands in for: the new engine's preparation.
void Audio_Prepare() {}
// Stands in for: shuts the sound hardware down.
bool SoundHardware_Quit() { return true; }
// Stands in for: shutdown release of the legacy sounds.
void Sound_Free() {}
