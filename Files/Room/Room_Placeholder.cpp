// Placeholder of the motion-planning grids (not built yet).
#include "Files/Runner/Runner_Services.h"

// Stands in for: frees the motion-planning grids.
void Grid_FreeAll() {}
