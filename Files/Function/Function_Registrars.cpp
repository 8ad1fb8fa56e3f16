// Placeholders of the built-in function registrars until the built-in libraries land; each
// will register its group through Function_Add.
#include "Files/Background/Background_Main.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Function/Function_3D.h"
#include "Files/Function/Function_Draw.h"
#include "Files/Function/Function_File.h"
#include "Files/Function/Function_Graphics.h"
#include "Files/Function/Function_Http.h"
#include "Files/Function/Function_Program.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Function/Function_World.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Transition.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Sprite/Sprite_Main.h"

// Stands in for: the "HighScore.." group.
void InitFunctions_HighScore() {}
// The "Graphic.." group: display, window, render states, 3D switches and textures, then 2D
// primitives (with the action-library drawing forms), text (with the action text forms),
// surfaces and the room transition settings.
void InitFunctions_Graphic()
{
    GR_Builtins_Register();
    GR_Draw_RegisterBuiltins();
    GR_Text_RegisterBuiltins();
    GR_Surface_RegisterBuiltins();
    GR_Transition_RegisterBuiltins();
}
// The "File.." group: files, folders, names, programs and the command line, then INI files
// and the registry-named key store, then HTTP and JSON.
void InitFunctions_File()
{
    Function_File_Init();
    Function_Http_Register();
}
// The "Resource.." group: sprites (with draw_sprite*), backgrounds (with draw_background*)
// and fonts; the other resources' functions join it when their modules land.
void InitFunctions_Resource()
{
    Sprite_RegisterBuiltins();
    Background_RegisterBuiltins();
    Font_RegisterBuiltins();
    Function_Resource_Register();
}
// The "3D.." group: 3D primitives vertex by vertex, the shapes and the models.
void InitFunctions_3D() { GR_3D_RegisterBuiltins(); }
// The "Particle.." group: particle types, systems and their parts, effects and action_effect.
void InitFunctions_Particle() { Particle_RegisterBuiltins(); }
// Stands in for: the "Sound.." group.
void InitFunctions_Sound() {}
// Stands in for: the platform-store functions of "Kovrin..".
void InitFunctions_Store() {}
// The tile functions of "Kovrin..": the tablet-platform names, stubs on this platform.
void InitFunctions_Tile() { Function_Program_RegisterTablet(); }
