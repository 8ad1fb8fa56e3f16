// Placeholders of the object loader until the game-world module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: reads the OBJT chunk.
bool Object_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: compiles the objects' events.
bool Object_Prepare() { return true; }
// Stands in for: frees the per-event object lists.
void Object_Lists_Free() {}
