// Placeholders of the extension packages until the extension module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: reads the EXTN chunk.
bool Extension_Load(const FileImage&, uint32_t, uint32_t) { return true; }
// Stands in for: prepares the extension packages.
bool Extension_Prepare() { return true; }
