// Both sound systems as the rest of the runner sees them: start-up, the "SOND" and "AUDO"
// chunk readers of the legacy and the new engine, preparation, the per-frame update, the name
// lookups of the compiler's constants and shutdown. The chunks are accepted and skipped
// (their record layouts are not known), so the sound tables stay empty (Sound_Main.cpp).
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
// Once per frame before the step (streaming and sound state of the new engine).
void Audio_Update();
int64_t Audio_UpdateCount();
// The legacy sound with exactly that name; -1 when none (or the new engine is chosen).
int32_t Sound_Find(const char* name);
// The new engine's sound whose stored file name is the name followed by "."; -1 when none
// (or the legacy engine is chosen).
int32_t Audio_Find(const char* name);
// Shuts the sound hardware down ("-trace" logs "SoundHardware::Quit :: ").
bool SoundHardware_Quit();
// Shutdown release of the legacy sounds.
void Sound_Free();
