// Placeholders of the sprite table until the sprite resource module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: empties the sprite table.
void Sprite_Clear() {}
// Stands in for: reads the SPRT chunk.
bool Sprite_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: makes the run-time sprites' textures.
void Sprite_InitTextures() {}
// Stands in for: shutdown release of the sprites.
void Sprite_Free() {}
