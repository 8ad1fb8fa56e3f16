// Placeholders of the font table until the font resource module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: empties the font table.
void Font_Clear() {}
// Stands in for: reads the FONT chunk.
bool Font_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: makes the fonts' textures.
void Font_InitTextures() {}
// Stands in for: shutdown release of the fonts.
void Font_Free() {}
