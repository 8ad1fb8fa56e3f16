// Program entry, start-up and shutdown: the fixed order in which every subsystem starts, the
// main loop, and the order in which everything is released. Needs every subsystem's start-up
// and release (Files/Runner/Runner_Services.h), the game-file loader, the options, the command
// line, the file layer and the log console. Backed by Linux/ZimbrelM.cpp (executable path,
// the current folder's files).
//
// [SECTION] Entry and main loop
// [SECTION] Folders of the run
// [SECTION] Files moved at start
// [SECTION] Platform start-up
// [SECTION] Start-up steps
// [SECTION] Graphics and preparation
// [SECTION] Built-in function registration
// [SECTION] Shutdown
#include "Zimbrel.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Files/Background/Background_Main.h"
#include "Files/Base/CRC32.h"
#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_ErrorDialog.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/DLL/DLL.h"
#include "Files/DS/DS_Main.h"
#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/Debug_Net.h"
#include "Files/Debug/Dialog_Host.h"
#include "Files/Extension/Extension.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Function/Function_File.h"
#include "Files/Function/Function_Http.h"
#include "Files/Function/Function_Misc.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics/Graphics_Transition.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Files/Graphics_API/Graphics_Display.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Files/HTTP/HTTP.h"
#include "Files/IO/IO_Input.h"
#include "Files/Motion/Motion.h"
#include "Files/Networking/Network.h"
#include "Files/Networking/OnlineServices.h"
#include "Files/Networking/Steam.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Script/Script_Main.h"
#include "Files/Sound/Sound_Main.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Files/Support/Timing.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/Trigger/Trigger.h"
#include "Files/Variable/Variable_World.h"
#include "Platform/MemoryManager.h"

namespace {

bool g_GameStarted = false;
void* g_MainWindow = nullptr; // the game window (the target of the final quit)
int64_t g_StartTime = 0;
char* g_ExeDirectory = nullptr;
char* g_ExePath = nullptr;
char* g_SaveDirectory = nullptr;

// Names each signal's request in the log, once, by its own number.
void SaySignals()
{
    while (const int signal = QuitRequest_UnsaidSignal()) Console_Output("Quit requested by signal %d\n", signal);
}

} // namespace

// =============================================================================================
// [SECTION] Entry and main loop
// =============================================================================================

int Zimbrel_Main(int argc, char** argv)
{
    if (Main_HelpAsked(argc, argv)) { // before anything opens a window or moves a file
        std::fputs(Main_Usage(), stdout);
        return 0;
    }
    MemoryManager_Install();
    MainHost_InstallSignalHandlers();
    MainHost_StartDrainClock();
    Console_Install();
    Main_TakeCommandLine(argc, argv);
    Main_MoveAtFiles();

    // "data.win" beside the executable wins: the command line is then not read at all.
    std::string exe = Main_ExePath();
    std::string beside = exe.substr(0, exe.find_last_of('/') + 1) + "data.win";
    if (!exe.empty() && File_CanRead(beside.c_str())) {
        g_StartupOptions.gameFileName = MEM_STRDUP(beside.c_str());
        Main_ParseCommandLine(nullptr);
    } else {
        Main_ParseCommandLine(g_StartupOptions.commandLine);
    }
    if (const char* problem = Main_CommandLineProblem(); *problem) { // before any window
        Console_Problem("%s", problem);
        Console_CloseFiles();
        return 1;
    }

    if (Main_InitPlatform()) {
        Main_Startup();
        Main_CheckQuit(); // a signal during start-up ends the run before any frame
        // A fatal error or a quit during start-up (the first room's code) ends the run too,
        // although starting the loop set the running flag.
        while (g_StartupOptions.running == 1 && !QuitRequest_Asked() && !Main_ExitRequested()) {
            Run_Frame();
            ProcessMessages();
        }
        // The end events run their code (after a signal for kQuitEndGrace at most; a request
        // that is not the first one's burst ends them at once).
        Code_StopGameCode(false);
        MainHost_SetQuitStage(QuitStage::Ending);
        EndGame();
        MainHost_SetQuitStage(QuitStage::Closing); // the shutdown itself is never cut short
        Main_StopInput();
        Main_PostQuit();
        Main_Finalise();
        SaySignals(); // those of the shutdown too
    }
    if (!g_StartupOptions.gameFileName || !*g_StartupOptions.gameFileName) // none given, none chosen
        std::fputs(Main_Usage(), stderr);
    Console_CloseFiles();
    if (Main_ExitRequested()) return g_StartupOptions.exitCode;
    return g_GameStarted ? 0 : 1;
}

void ProcessMessages() { Timing_PumpEvents(); }

namespace {

// The run ends at once, in order: running code stops, no later game code runs; with 128 plus
// the first signal's number as the code (0 after the window's close alone).
void EndAtOnce()
{
    const int signal = QuitRequest_FirstSignal();
    Main_RequestExit(signal ? 128 + signal : 0);
    Code_StopGameCode(true);
}

// Acts on what the requests taken meant (QuitRequest_Take decided it when each came): the
// main loop ends and no further step starts; the run ends at once when a request said so, or
// when the quit request stands (the grace of the running code ran out): then the frame's code
// stops, and in the end events the run ends.
void ActOnRequests()
{
    if (!QuitRequest_Asked()) return;
    g_StartupOptions.running = 0;
    if (Main_ExitRequested()) return;
    if (QuitRequest_EndsAtOnce()) {
        EndAtOnce();
    } else if (QuitRequest_Pending()) {
        if (QuitRequest_Stage() == QuitStage::Ending) EndAtOnce();
        else Code_StopGameCode(true);
    }
}

} // namespace

void Main_Quit()
{
    QuitRequest_NoteQuit(); // every wait ends from now on
    QuitRequest_Take(QuitRequest_Now(), 0);
    ActOnRequests();
}

void Main_CheckQuit()
{
    SaySignals();
    ActOnRequests(); // the signals' requests, and the graces that ran out
    if (Code_GameCodeStopped()) Code_AbortRunning();
}

// The loop has ended by now; the quit the window layer would deliver only clears the flag.
void Main_PostQuit() { g_StartupOptions.running = 0; }

// =============================================================================================
// [SECTION] Folders of the run
// =============================================================================================

const char* Main_ExeDirectory()
{
    if (!g_ExeDirectory) {
        const char* name = g_StartupOptions.gameFileName ? g_StartupOptions.gameFileName : "";
        std::string s(name);
        size_t cut = s.find_last_of('/');
        if (cut == std::string::npos) cut = s.find_last_of('\\');
        std::string folder = cut == std::string::npos ? std::string("/") : s.substr(0, cut) + "/";
        g_ExeDirectory = MEM_STRDUP(folder.c_str());
    }
    return g_ExeDirectory;
}

const char* Main_ExePath()
{
    if (!g_ExePath) g_ExePath = MEM_STRDUP(MainHost_ExecutablePath().c_str());
    return g_ExePath;
}

const char* Main_SaveDirectory()
{
    if (!g_SaveDirectory) {
        const char* name = g_GameHeader.gameName ? g_GameHeader.gameName : "";
        g_SaveDirectory = LoadSave_MakeSaveArea(name, (g_GameHeader.infoFlags & HEADER_FLAG_ROAMING) != 0);
    }
    return g_SaveDirectory;
}

void Main_ResetFolders()
{
    MEM_FREE(g_ExeDirectory);
    MEM_FREE(g_ExePath);
    MEM_FREE(g_SaveDirectory);
    g_ExeDirectory = g_ExePath = g_SaveDirectory = nullptr;
}

// =============================================================================================
// [SECTION] Files moved at start
// =============================================================================================

bool Main_AtFileTarget(const std::string& name, std::vector<std::string>& folders, std::string& target)
{
    folders.clear();
    target.clear();
    if (name.find('@') == std::string::npos) return false;
    std::string component;
    for (char c : name) {
        if (c != '@') {
            component += c;
            target += c;
            continue;
        }
        if (component.empty() || component == "." || component == "..") return false;
        folders.push_back(target);
        target += '/';
        component.clear();
    }
    return !(component.empty() || component == "." || component == "..");
}

void Main_MoveAtFiles()
{
    std::vector<std::string> folders;
    std::string target;
    for (const std::string& name : MainHost_MovableFiles()) {
        if (!Main_AtFileTarget(name, folders, target)) continue;
        for (const std::string& f : folders) MainHost_MakeFolder(f);
        MainHost_Rename(name, target);
    }
}

// =============================================================================================
// [SECTION] Platform start-up
// =============================================================================================

bool Main_InitPlatform()
{
    GR_BuiltinImages_SetTable(GR_BuiltinImages_Default());
    GR_Hooks().quit = Main_Quit; // the window's quit reached the pump
    GR_Hooks().displayLost = Main_DisplayLost;
    Timing_SetQuitCheck(Main_CheckQuit);     // every drain looks at the signals
    VM_SetProcessMessagesHook(ProcessMessages); // and the machine drains every 4,096th branch and on request
    Error_SetProcessMessagesHook(ProcessMessages); // as does the error dialog before it shows
    CRC32_BuildTable();
    File_InitTempDirectory();
    GR_Draw_InitCircleTable();
    Code_Compiler_Init(); // the compiler's phases into the code units
    Extension_InstallHooks(); // extension functions into the function table's ids
    Runner_InitConstants();
    Code_Constant_SetGameSource(Options_GameConstants);
    GR_ViewPort_ClearAll();
    Particle_Init();
    Path_ResetTable();
    SoundLayer_Init();
    Run_Global_Init();
    World_InstallDefaultHooks();
    Variable_BuiltIn_Init();
    World_RegisterVariables();
    HighScore_Clear();
    Room_InitStartState();
    Dialogs_InstallHosts(); // on screen with a real display, else scripted
    HTTP_InstallSpriteLoader();
    ProcessMessages();
    return true;
}

// =============================================================================================
// [SECTION] Start-up steps
// =============================================================================================

namespace {

// The game file does not load: the log's line, and why on stderr.
bool LoadFailed()
{
    Console_Output("Failed to load the game\n");
    Console_Problem("cannot load the game %s: %s", g_StartupOptions.gameFileName,
                    g_GameFile.problem.empty() ? "it is damaged" : g_GameFile.problem.c_str());
    return false;
}

} // namespace

bool Main_Startup()
{
    if (!RunnerLoadGame()) return false; // no game file: the entry prints the usage line
    g_StartTime = int64_t(std::time(nullptr));

    Console_Output("Get Resolution\n");
    if (!Code_Load(g_GameFile.image, Runner_HeaderRead)) g_GameFile.broken = true;
    if (Main_ExitRequested()) return false;
    if (!Runner_CanLoad()) return LoadFailed(); // before any window opens
    LoadSave_SetFolders(Main_ExeDirectory(), Main_SaveDirectory(), Main_ExeDirectory());
    if (!Main_SaveDirectory()) Console_Problem("the game has no save area (no home folder is set); what the game writes is lost");
    // The working folder, traced once between two rules where it is set.
    const std::string rule(73, '#');
    Console_Debug()->Output("%s\n", rule.c_str());
    Console_Debug()->Output("####!!!!$$$$$$ pwd - %s\n", LoadSave_WorkingFolder());
    Console_Debug()->Output("%s\n", rule.c_str());
    HighScore_Load(); // the built-ins are registered and the save area known
    Steam_Init(); // reads the Steam switch, the header's application id and the program folder

    Console_Output("Create Window\n");
    GR_GameOptions& window = GR_Options();
    window.windowWidth = g_GameHeader.windowWidth;
    window.windowHeight = g_GameHeader.windowHeight;
    window.optionBits = g_GameHeader.infoFlags;
    window.creationFlags = g_GameHeader.infoFlags;
    GR_SetGameTitle(g_GameHeader.caption ? g_GameHeader.caption : "Zimbrel");
    g_MainWindow = GR_Window_Create(g_GameHeader.windowWidth, g_GameHeader.windowHeight);
    Console_Output("Init Graphics\n");
    if (!InitGraphics()) return false;
    Console_Output("IO Init\n");
    IO_Init();
    Console_Output("Process Messages\n");
    ProcessMessages();
    Console_Output("Splash!\n");
    Console_Output("Start Frame\n");
    GR_D3D_Start_Frame();
    Console_Output("Part Create Textures\n");
    Particle_InitShapes();
    Console_Output("Debug Init Remote Interface\n");
    Debug_InitRemoteInterface();
    Console_Output("VM Init\n");
    VM_Init();
    Console_Output("Create Score Form\n");
    Console_Output("Create Load Form\n");
    Console_Output("Create Error Form\n");
    Dialogs_AttachWindow(); // dialogs and message boxes in the game window from now on
    Console_Output("Do The Work\n");
    return Main_DoTheWork();
}

bool Main_DoTheWork()
{
    std::srand(2101988);
    if (!LoadGameData()) {
        if (Main_ExitRequested()) return false; // reported where it was found
        return LoadFailed();
    }
    GR_Options().allowFullscreenSwitch = g_Options.altEnterFullScreen != 0;
    Variable_Global_Init();
    Console_Output("PrepareGame()\n");
    if (!PrepareGame()) return false;
    Console_Output("Run_Start\n");
    MainHost_SetQuitStage(QuitStage::Playing); // the game's code runs from here: a quit lets it finish
    Main_CheckQuit(); // a request taken while the game loaded ends the run before any of its code
    if (Main_ExitRequested()) return false;
    if (!Run_StartGameLoop() && !Main_ExitRequested()) {
        // Nothing to play: the run fails (its first frame ends the loop).
        Console_Problem("cannot start the game %s: %s", g_StartupOptions.gameFileName,
                        Room_Exists(Room_First()) ? "its extension packages did not start" : "it has no room to start");
        return false;
    }
    g_GameStarted = true;
    return true;
}

// =============================================================================================
// [SECTION] Graphics and preparation
// =============================================================================================

bool InitGraphics()
{
    int32_t width = -1, height = -1, frequency = -1, depth = -1;
    bool set = g_Options.setDisplayMode != 0;
    if (set) {
        switch (g_Options.colourDepthCode) {
        case 1: depth = 16; break;
        case 2: depth = 32; break;
        default: break;
        }
        static const int32_t sizes[6][2] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
        if (g_Options.resolutionCode >= 1 && g_Options.resolutionCode <= 6) {
            width = sizes[g_Options.resolutionCode - 1][0];
            height = sizes[g_Options.resolutionCode - 1][1];
        }
        static const int32_t rates[5] = {60, 70, 85, 100, 120};
        if (g_Options.frequencyCode >= 1 && g_Options.frequencyCode <= 5) frequency = rates[g_Options.frequencyCode - 1];
    }
    if (!set || depth == -1) {
        int32_t current = GR_Display_GetColourDepth();
        if (current != 16 && current != 32) {
            int answer = MessageBox_Show("This application requires 16-bit or 32-bit color mode.\n Should I switch to a valid color mode?",
                                         nullptr, MB_YESNO_ | MB_ICONINFORMATION_);
            if (answer != IDYES_) return false;
            depth = 16;
            set = true;
        }
    }
    if (set) GR_Display_SetAll(width, height, frequency, depth);

    Console_Output("GR_D3D_Init()\n");
    if (!GR_D3D_Init(g_MainWindow, g_GameHeader.windowWidth, g_GameHeader.windowHeight, g_GameHeader.infoFlags))
        return false;
    Console_Output("Background_InitTextures()\n");
    Background_InitTextures();
    Console_Output("Sprite_InitTextures()\n");
    Sprite_InitTextures();
    Console_Output("Font_InitTextures()\n");
    Font_InitTextures();
    GR_PostInit();
    return true;
}

namespace {

struct PrepareStep {
    const char* line;
    bool (*run)();
    bool (*original)();
    const char* failure;
};

// Room preparation has no message of its own: it shares the objects' text.
PrepareStep g_PrepareSteps[] = {
    {"Extension_Prepare() \n", Extension_Prepare, Extension_Prepare, "Failed to prepare extension packages."},
    {"Code_Constant_Prepare() \n", Code_Constant_Prepare, Code_Constant_Prepare, "Failed to define the constants."},
    {"Script_Prepare() \n", Script_Prepare, Script_Prepare, "Failed to compile the scripts."},
    {"TimeLine_Prepare() \n", TimeLine_Prepare, TimeLine_Prepare, "Failed to compile the actions in the time lines."},
    {"Object_Prepare() \n", Object_Prepare, Object_Prepare, "Failed to compile the actions in the objects."},
    {"Room_Prepare() \n", Room_Prepare, Room_Prepare, "Failed to compile the actions in the objects."},
};
bool (*g_WavePrepare)() = Wave_Prepare;

} // namespace

void PrepareGame_OverrideStep(int index, bool (*run)())
{
    if (index >= 0 && index < 6) g_PrepareSteps[index].run = run ? run : g_PrepareSteps[index].original;
    if (index == 6) g_WavePrepare = run ? run : Wave_Prepare;
}

bool PrepareGame()
{
    for (const PrepareStep& s : g_PrepareSteps) {
        Console_Output("%s", s.line);
        if (!s.run()) {
            if (!QuitRequest_Pending()) ShowMessage(s.failure); // not when a signal stopped the compiler
            return false;
        }
    }
    Console_Output("Sound_Prepare() \n");
    Sound_Prepare(); // the legacy result is not looked at
    if (!g_WavePrepare()) {
        ShowMessage("Failed to prepare the sounds.");
        return false;
    }
    Audio_Prepare();
    Console_Output("InitGraphics() \n");
    Console_Output("Finished PrepareGame() \n");
    return true;
}

// =============================================================================================
// [SECTION] Built-in function registration
// =============================================================================================

// =============================================================================================
// [SECTION] Shutdown
// =============================================================================================

void Main_DisplayLost()
{
    // The files the shutdown would write and close; nothing of the window, the device, the
    // dialogs or the game's code (its end events may draw, size the window or show a dialog,
    // and the machine may be inside an event further down this very call).
    HighScore_SaveIfChanged();
    File_CloseAll(); // INI files held open, text and binary files
    File_DeleteTempDirectory();
    Console_CloseFiles();
}

void Main_StopInput()
{
    IO_Shutdown();
    SoundHardware_Quit();
}

void Main_Finalise()
{
    Services_Shutdown();
    Network_CloseAll();
    HTTP_Shutdown(); // aborts running requests, frees every request
    Debug_Shutdown();   // the debug form's window, the remote debugger
    Dialogs_Shutdown(); // before the device: the dialogs' textures
    Steam_Shutdown();
    Extension_Free(); // the packages' finalisation functions ran when the game ended
    DLL_FreeAll();    // external functions defined by the game
    HighScore_SaveIfChanged();
    Code_Constant_Free();
    Function_Free();
    Function_Misc_FreeExecuteCache(); // the units execute_string keeps, before the machine goes
    Code_Free();
    Code_Variable_Free();
    Motion_Grid_FreeAll();
    Trigger_Clear();
    Buffer_FreeAll();
    DS_Reset(); // every data structure the game left
    Room_Shutdown();
    Path_FreeAll();
    TimeLine_Free();
    Instance_FreeAll();
    Run_FreeArrays();
    Object_Lists_Free();
    Object_Free();
    Particle_FreeAll();
    Sprite_Free();
    File_DeleteTempDirectory();
    GR_Display_Restore();
    Background_Free();
    GR_Texture_FreeAll();
    Script_Free();
    Variable_Free();
    Font_Free();
    GR_Text_FreeDefaultFont();
    Library_FreeInitCode();
    File_CloseAll();
    Sound_Free();
    GR_3D_Model_FreeAll();
    GR_Transition_Reset();
    GR_D3D_FreeScreenTexture();
    GR_D3D_Release();
    Code_Table_Free();
    Options_Free();
    Runner_FreeGame();
    VM_StringTable_Free();
    VM_Free(); // the machine's finaliser
}
