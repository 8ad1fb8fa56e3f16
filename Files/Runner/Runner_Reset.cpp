// The reset of the whole runtime (Runner_Reset.h).
#include "Files/Runner/Runner_Reset.h"

#include "Files/Background/Background_Main.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/DLL/DLL.h"
#include "Files/DS/DS_Main.h"
#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/Score.h"
#include "Files/Debug/Splash.h"
#include "Files/Extension/Extension.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Function/Function_File.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Motion/Motion.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Script/Script_Main.h"
#include "Files/Sound/Sound_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/Trigger/Trigger.h"
#include "Files/World/World_Hooks.h"

void Runtime_ResetAll()
{
    // The world first: rooms delete their instances, then the objects the instances came from.
    Room_Shutdown();
    Instance_FreeAll();
    Run_FreeArrays();
    Run_SetActiveList(nullptr);
    Run_ClearObjectChanges();
    Object_InitHash();
    Path_FreeAll();
    TimeLine_Free();
    Trigger_Clear();
    Motion_Grid_FreeAll();
    Room_SetLastInstanceId(100000);
    Room_SetLastTileId(10000000);
    Event_State() = EventState();
    World_Hooks() = WorldHooks();
    Run_Global_Init(); // the run state, the pending changes and the hooks it installs below

    // What the game made at run time.
    DS_Reset();
    Buffer_FreeAll();
    Function_File_CloseAll();
    Function_Misc_FreeExecuteCache();
    Extension_Free();
    DLL_FreeAll();
    Particle_ResetAll();
    GR_3D_Model_FreeAll();
    GR_Surface_ResetTable();
    Score_Display() = ScoreDisplay(); // the high-score table and the splash settings
    Score_Clear();
    Score_Table().changed = false;
    Splash_Settings() = SplashSettings();
    IO_VirtualButton_Reset();
    Debug_Reset(); // the debug form, the remote debugger's state, the overlay's statistics

    // The game file's resources and code.
    Sprite_Free();
    Background_Free();
    Font_Free();
    GR_Text_FreeDefaultFont();
    GR_Text_SetFont(-1);
    GR_Text_SetHAlign(0);
    GR_Text_SetVAlign(0);
    Sprite_ResetDrawRect();
    GR_FilePageEntries_Clear();
    Sound_ClearAll();
    Script_Init();
    Code_Clear();
    Code_ClearDebug();
    Code_Table_Free();
    VM_StringTable_Free();
    Code_FreeArguments();
    Code_SetArgumentCount(0);
    Code_Variable_Free();
    Variable_Global_Init();
    Options_Free();
    Runner_FreeGame(); // the file's record and its header
    Code_Error_Reset();
    Code_Error_ClearRecorded();
    Code_Error_SetText(nullptr);
    // An end a fatal condition asked for belongs to the run that was reset.
    g_StartupOptions.exitRequested = 0;
    g_StartupOptions.exitCode = 0;
}
