// Placeholders of the background table until the background resource module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: empties the background table.
void Background_Clear() {}
// Stands in for: reads the BGND chunk.
bool Background_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: makes the run-time backgrounds' textures.
void Background_InitTextures() {}
// Stands in for: shutdown release of the backgrounds.
void Background_Free() {}
