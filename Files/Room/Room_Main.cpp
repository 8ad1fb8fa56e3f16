// Placeholders of the room table until the game-world module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: the room-start state of platform start-up.
void Room_InitStartState() {}
// Stands in for: empties the room table before a load.
void Room_FreeAll() {}
// Stands in for: reads the ROOM chunk.
bool Room_LoadChunk(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: compiles the rooms' creation code.
bool Room_Prepare() { return true; }
// Stands in for: frees the rooms and the room order.
void Room_Shutdown() {}
// Stands in for: frees the motion-planning grids.
void Grid_FreeAll() {}
