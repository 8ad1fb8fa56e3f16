// The services of the other subsystems that start-up, the game-file loader and shutdown call,
// grouped by the subsystem that owns them. Each is defined by its own module; modules not
// built yet are stood in for by one-line placeholders in their future folders (each says what
// it stands for), replaced when those modules arrive.
//
// Chunk loaders take the image and the chunk's data [begin, end) and answer false for
// malformed data, which fails the load ("Failed to load the game").
#pragma once

#include <cstdint>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics/BuiltinImages.h"
#include "Files/Graphics/TBitmap.h"
#include "Files/Object/Object.h"
#include "Files/Object/Instance.h"
#include "Files/Script/Script_Main.h"
#include "Files/Code/Variable_BuiltIn.h"

class FileImage;
class IniFile;

// ---- Rendering (Files/Graphics, Files/Graphics_API, Files/Platform) ---------------------------
// The graphics module's headers declare the window, device, display, texture and built-in
// image services; these two are not carried by it yet.
void GR_Draw_InitCircleTable();
void GR_Text_FreeDefaultFont();

// ---- Graphic resources and particles (Files/Sprite, Background, Font, Particle) -------------
void Sprite_Clear();
void Background_Clear();
void Font_Clear();
bool Sprite_Load(const FileImage& image, uint32_t begin, uint32_t end);
bool Background_Load(const FileImage& image, uint32_t begin, uint32_t end);
bool Font_Load(const FileImage& image, uint32_t begin, uint32_t end);
void Background_InitTextures();
void Sprite_InitTextures();
void Font_InitTextures();
void Sprite_Free();
void Background_Free();
void Font_Free();
void Particle_Init();
void Particle_InitShapes();
void Particle_FreeAll();

// ---- Input, dialogs and debugging (Files/IO, Files/Debug) ------------------------------------
void IO_Init();
void IO_Shutdown();
void IO_InitVirtualButtons(IniFile* ini);
void HighScore_Clear();
void HighScore_Load();
void HighScore_SaveIfChanged();
void Debug_InitRemoteInterface();

// ---- Built-in function registrars (Files/Function) ------------------------------------------
void InitFunctions_HighScore();
void InitFunctions_Game();
void InitFunctions_Math();
void InitFunctions_Graphic();
void InitFunctions_Action();
void InitFunctions_File();
void InitFunctions_Resource();
void InitFunctions_Interaction();
void InitFunctions_3D();
void InitFunctions_Particle();
void InitFunctions_Misc();
void InitFunctions_DS();
void InitFunctions_Sound();
void InitFunctions_DPlay();
void InitFunctions_Physics();
void InitFunctions_Gamepad();
void InitFunctions_Buffers();
void InitFunctions_Networking();
void InitFunctions_Steam();
void InitFunctions_Kovrin();
void InitFunctions_Store();
void InitFunctions_Tile();
void File_CloseAll();

// ---- Audio (Files/Sound) ----------------------------------------------------------------------
void SoundLayer_Init();
void Sound_ClearAll();
bool Audio_Load(const FileImage& image, uint32_t begin, uint32_t end);
bool Sound_Init(const FileImage& image, uint32_t begin, uint32_t end);
bool Audio_WAVs(const FileImage& image, uint32_t begin, uint32_t end);
bool Wave_Init(const FileImage& image, uint32_t begin, uint32_t end);
bool Sound_Prepare();
bool Wave_Prepare();
void Audio_Prepare();
bool SoundHardware_Quit();
void Sound_Free();

// ---- Physics (Files/Physics) ------------------------------------------------------------------
#include "Files/Physics/Physics.h"

// ---- Extensions (Files/Extension) -------------------------------------------------------------
#include "Files/Extension/Extension.h"

// ---- Networking and online services (Files/Networking) ---------------------------------------
#include "Files/Networking/Network.h"
#include "Files/Networking/OnlineServices.h"
#include "Files/Networking/Steam.h"

// ---- Script language (Files/Code, Files/Script, Files/Variable) -------------------------------
// The script machine's own headers declare the rest (code table, function and variable
// tables, error reporter, scripts, built-in variables, the machine).
void Code_Free();               // the compiler's code

// ---- Game world and run loop (Files/Run, Object, Event, Room, Path, TimeLine) ----------------
// Declared by the world's own headers (Run_Main.h, Room.h, Path.h, TimeLine.h, Event.h,
// Object.h); the motion-planning grids are not built yet.
#include "Files/Event/Event.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/TimeLine/TimeLine.h"
void Grid_FreeAll();
