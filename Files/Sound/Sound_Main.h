// Both sound systems as the rest of the runner sees them: start-up, the "SOND" and "AUDO"
// chunk readers of the legacy and the new engine, preparation and shutdown. Placeholders
// until the audio module lands (Sound_Main.cpp): the chunks are accepted and skipped.
#pragma once

#include <cstdint>

class FileImage;

// Start-up initialiser of the sound layer (empty by design).
void SoundLayer_Init();
// Empties the legacy sound table.
void Sound_ClearAll();
// "SOND" readers of the new and the legacy engine.
bool Audio_Load(const FileImage& image, uint32_t begin, uint32_t end);
bool Sound_Init(const FileImage& image, uint32_t begin, uint32_t end);
// "AUDO" readers of the new and the legacy engine.
bool Audio_WAVs(const FileImage& image, uint32_t begin, uint32_t end);
bool Wave_Init(const FileImage& image, uint32_t begin, uint32_t end);
// Preparation of the legacy sounds, the waves and the new engine.
bool Sound_Prepare();
bool Wave_Prepare();
void Audio_Prepare();
// Shuts the sound hardware down.
bool SoundHardware_Quit();
// Shutdown release of the legacy sounds.
void Sound_Free();
