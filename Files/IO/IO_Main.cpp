// Placeholders of the input layer until the input module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: input start-up (states, key map, record/playback file, virtual buttons).
void IO_Init() {}
// Stands in for: input shutdown (gamepads, record/playback file, virtual buttons).
void IO_Shutdown() {}
// Stands in for: reads the virtual-button sections of options.ini.
void IO_InitVirtualButtons(IniFile*) {}
