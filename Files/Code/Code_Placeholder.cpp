// Placeholder of the compiler's release until the compiler module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: frees the compiler's code (phase-4 state).
void Code_Free() {}
