// Placeholders of the path table until the game-world module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: empties the path table at start-up.
void Path_ResetTable() {}
// Stands in for: empties the path table before a load.
void Path_FreeAll() {}
// Stands in for: reads the PATH chunk.
bool Path_LoadChunk(const FileImage&, uint32_t, uint32_t) { return true; }
