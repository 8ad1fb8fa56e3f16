// Placeholders of the drawing layer's start-up and shutdown pieces that the graphics module
// does not carry yet. Each line says what it stands for.
#include "Files/Runner/Runner_Services.h"

// Stands in for: fills the 24-segment circle table of the drawing layer.
void GR_Draw_InitCircleTable() {}
// Stands in for: frees the built-in default font.
void GR_Text_FreeDefaultFont() {}
