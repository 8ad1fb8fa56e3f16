// Placeholders of the built-in function registrars until the built-in libraries land; each
// will register its group through Function_Add.
#include "Files/Runner/Runner_Services.h"

// Stands in for: the "HighScore.." group.
void InitFunctions_HighScore() {}
// Stands in for: the "Game.." group.
void InitFunctions_Game() {}
// Stands in for: the "Math.." group.
void InitFunctions_Math() {}
// Stands in for: the "Graphic.." group.
void InitFunctions_Graphic() {}
// Stands in for: the "Action.." group.
void InitFunctions_Action() {}
// Stands in for: the "File.." group.
void InitFunctions_File() {}
// Stands in for: the "Resource.." group.
void InitFunctions_Resource() {}
// Stands in for: the "Interaction.." group.
void InitFunctions_Interaction() {}
// Stands in for: the "3D.." group.
void InitFunctions_3D() {}
// Stands in for: the "Particle.." group.
void InitFunctions_Particle() {}
// Stands in for: the "Misc.." group.
void InitFunctions_Misc() {}
// Stands in for: the "DS.." group.
void InitFunctions_DS() {}
// Stands in for: the "Sound.." group.
void InitFunctions_Sound() {}
// Stands in for: the "DPlay.." group.
void InitFunctions_DPlay() {}
// Stands in for: the "Physics.." group.
void InitFunctions_Physics() {}
// Stands in for: the "Gamepad.." group.
void InitFunctions_Gamepad() {}
// Stands in for: the "Buffers.." group.
void InitFunctions_Buffers() {}
// Stands in for: the network functions of "Networking..".
void InitFunctions_Networking() {}
// Stands in for: the Steam functions of "Networking..".
void InitFunctions_Steam() {}
// Stands in for: the online-service functions of "Kovrin..".
void InitFunctions_Kovrin() {}
// Stands in for: the platform-store functions of "Kovrin..".
void InitFunctions_Store() {}
// Stands in for: the tile functions of "Kovrin..".
void InitFunctions_Tile() {}
// Stands in for: closes the file built-ins' open files.
void File_CloseAll() {}
