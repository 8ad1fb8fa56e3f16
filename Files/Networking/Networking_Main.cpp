// Placeholders of the socket layer, Steam and the online services until the networking
// module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: closes the 64 socket slots.
void Network_CloseAll() {}
// Stands in for: shuts Steam down when it was started.
void Steam_Shutdown() {}
// Stands in for: shuts the online services down.
void Services_Shutdown() {}
// Stands in for: screen orientations (nothing on this platform).
void OS_SetAllowedOrientations(bool, bool, bool, bool) {}
