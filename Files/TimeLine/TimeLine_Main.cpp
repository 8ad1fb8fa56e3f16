// Placeholders of the time-line table until the game-world module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: empties the time-line table.
void TimeLine_Init() {}
// Stands in for: reads the TMLN chunk.
bool TimeLine_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: compiles the time lines' moments.
bool TimeLine_Prepare() { return true; }
