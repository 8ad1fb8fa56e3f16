// Placeholder of the motion-planning grids (not built yet).
#include "Files/Room/Room.h"

// Stands in for: frees the motion-planning grids.
void Grid_FreeAll() {}
