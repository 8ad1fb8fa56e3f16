// Placeholder of the physics layer until the physics module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: installs the physics debug-message output.
void Physics_EnableDebugMessages() {}
