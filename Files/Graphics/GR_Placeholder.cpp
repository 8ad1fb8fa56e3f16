// Placeholders of the drawing layer that start-up and shutdown call, until primitives and text land.
#include "Files/Runner/Runner_Services.h"

// Stands in for: fills the 24-segment circle table.
void GR_Draw_InitCircleTable() {}
// Stands in for: frees the built-in font.
void GR_Text_FreeDefaultFont() {}
