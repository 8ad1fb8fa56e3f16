// Start-up: the '@' moves, the folders of the run, the registration and preparation logs, and
// the failure paths of the start-up steps.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Load.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"
#include "Zimbrel.h"
#include "support/CaptureConsole.h"
#include "support/GameFileTools.h"
#include "support/ScratchFolder.h"

TEST(AtFiles, TargetsSpellFoldersAndNeverLeaveTheCurrentFolder)
{
    std::vector<std::string> folders;
    std::string target;
    ASSERT_TRUE(Main_AtFileTarget("gfx@ui@bar", folders, target));
    EXPECT_EQ(folders, (std::vector<std::string>{"gfx", "gfx/ui"}));
    EXPECT_EQ(target, "gfx/ui/bar");
    ASSERT_TRUE(Main_AtFileTarget("a@b.txt", folders, target));
    EXPECT_EQ(target, "a/b.txt");
    EXPECT_FALSE(Main_AtFileTarget("plain.txt", folders, target));
    for (const char* bad : {"@x", "a@@b", "a@", "a@..@..@x", "..@x", "a@.@b", "a@.."})
        EXPECT_FALSE(Main_AtFileTarget(bad, folders, target)) << bad;
}

TEST(AtFiles, MovesOnlyPlainWritableVisibleFiles)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "a@b", "moved");
    Scratch_WriteFile(dir / "gfx@ui@bar", "deep");
    Scratch_WriteFile(dir / ".h@b", "hidden");
    Scratch_WriteFile(dir / "r@b", "read-only");
    chmod((dir / "r@b").c_str(), 0444);
    Scratch_WriteFile(dir / "x@taken", "new");
    Scratch_WriteFile(dir / "x/taken", "old");
    mkdir((dir / "f@older").c_str(), 0777);
    // A folder of the name that is a link (the user's, in a run as root) leads nowhere.
    ScratchFolder outside;
    ASSERT_EQ(symlink(outside.Path().c_str(), (dir / "l").c_str()), 0);
    Scratch_WriteFile(dir / "l@x", "stays");
    Scratch_WriteFile(dir / "l@y@z", "stays");
    {
        ScopedCurrentFolder here(dir.Path());
        Main_MoveAtFiles();
    }
    EXPECT_EQ(Scratch_ReadFile(dir / "a/b"), "moved");
    EXPECT_FALSE(Scratch_Exists(dir / "a@b"));
    EXPECT_EQ(Scratch_ReadFile(dir / "gfx/ui/bar"), "deep");
    EXPECT_TRUE(Scratch_Exists(dir / ".h@b"));
    EXPECT_FALSE(Scratch_Exists(dir / ".h"));
    EXPECT_TRUE(Scratch_Exists(dir / "r@b"));
    EXPECT_EQ(Scratch_ReadFile(dir / "x/taken"), "old") << "an existing file is not replaced";
    EXPECT_TRUE(Scratch_Exists(dir / "x@taken"));
    EXPECT_TRUE(Scratch_Exists(dir / "f@older")) << "folders are not moved";
    EXPECT_TRUE(Scratch_List(outside.Path()).empty()) << "nothing moved or made through a link";
    EXPECT_TRUE(Scratch_Exists(dir / "l@x"));
    EXPECT_TRUE(Scratch_Exists(dir / "l@y@z"));
}

TEST(StartupFolders, ProgramFolderIsTheGameFilesFolderComputedOnce)
{
    char* saved = g_StartupOptions.gameFileName;
    g_StartupOptions.gameFileName = MEM_STRDUP("/games/demo/data.win");
    Main_ResetFolders();
    EXPECT_STREQ(Main_ExeDirectory(), "/games/demo/");
    MEM_FREE(g_StartupOptions.gameFileName);
    g_StartupOptions.gameFileName = MEM_STRDUP("/elsewhere/x.win");
    EXPECT_STREQ(Main_ExeDirectory(), "/games/demo/") << "later changes of the name do not move it";
    Main_ResetFolders();
    MEM_FREE(g_StartupOptions.gameFileName);
    g_StartupOptions.gameFileName = MEM_STRDUP("data.win");
    EXPECT_STREQ(Main_ExeDirectory(), "/");
    Main_ResetFolders();
    MEM_FREE(g_StartupOptions.gameFileName);
    g_StartupOptions.gameFileName = saved;
    EXPECT_NE(std::string(Main_ExePath()).find("test_runner"), std::string::npos);
    Main_ResetFolders();
}

TEST(StartupLog, RegistrationGroupsInOrderOnOneLine)
{
    CaptureConsole log;
    InitZBLFunctions();
    EXPECT_EQ(log.text, "HighScore..Game..Math..Graphic..Action..File..Resource..Interaction..3D..Particle..Misc..DS.."
                        "Sound..DPlay..Physics..Gamepad..Buffers..Networking..Kovrin..Fini\n");
}

namespace {

bool Fail() { return false; }

} // namespace

TEST(StartupLog, PreparationStepsLogWithTheirTrailingSpaceAndStopAtAFailure)
{
    {
        CaptureConsole log;
        EXPECT_TRUE(PrepareGame());
        EXPECT_EQ(log.text, "Extension_Prepare() \nCode_Constant_Prepare() \nScript_Prepare() \nTimeLine_Prepare() \n"
                            "Object_Prepare() \nPreparing 0 objects:\nRoom_Prepare() \nSound_Prepare() \nInitGraphics() \nFinished PrepareGame() \n");
    }
    const char* messages[] = {"Failed to prepare extension packages.", "Failed to define the constants.",
                              "Failed to compile the scripts.", "Failed to compile the actions in the time lines.",
                              "Failed to compile the actions in the objects.", "Failed to compile the actions in the objects.",
                              "Failed to prepare the sounds."};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        CaptureConsole log;
        CaptureBoxes boxes;
        PrepareGame_OverrideStep(i, Fail);
        EXPECT_FALSE(PrepareGame());
        PrepareGame_OverrideStep(i, nullptr);
        EXPECT_EQ(boxes.texts, std::vector<std::string>{messages[i]});
        EXPECT_FALSE(log.Has("Finished PrepareGame()"));
    }
}

TEST(StartupLog, FailedLoadStopsBeforePreparation)
{
    g_GameFile.broken = true;
    CaptureConsole log;
    EXPECT_FALSE(Main_DoTheWork());
    g_GameFile.broken = false;
    EXPECT_EQ(log.text, "LoadGameData()\nFailed to load the game\n");
}

namespace {

// Plays a game packed from manifest in a child process, as build/runner does, with the wave
// preparation (the last step before the game's code) replaced by late(); the child's wait
// status, and its log in *log.
int PlayWithLateLoad(const ScratchFolder& dir, bool (*late)(), std::string* log)
{
    const std::string manifest = R"({"name": "LateLoad", "objects": [{"name": "obj", "events": [
      {"type": "create", "code": "show_debug_message('create begins'); ini_open('create.ini'); ini_write_real('s', 'k', 1); ini_close();"},
      {"type": "other", "number": 5, "code": "ini_open('end.ini'); ini_write_real('room', 'end', 1); ini_close();"},
      {"type": "other", "number": 3, "code": "ini_open('end.ini'); ini_write_real('game', 'end', 1); ini_close();"}]}],
      "rooms": [{"name": "rm", "width": 64, "height": 48, "instances": [{"object": "obj"}]}]})";
    const PackOutput out = TestPack(manifest, dir.Path());
    const std::string game = dir / "game.win", logFile = dir / "log.txt";
    Scratch_WriteFile(game, std::string(out.game.begin(), out.game.end()));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        unsetenv("ZIMBREL_MAX_FRAMES");
        PrepareGame_OverrideStep(6, late);
        char* argv[] = {const_cast<char*>("runner"), const_cast<char*>("-game"), const_cast<char*>(game.c_str()),
                        const_cast<char*>("-output"), const_cast<char*>(logFile.c_str()), nullptr};
        const int code = Zimbrel_Main(5, argv);
        MainHost_EndBySignal();
        _exit(code);
    }
    int status = -1;
    if (pid > 0) waitpid(pid, &status, 0);
    *log = Scratch_ReadFile(logFile);
    return status;
}

bool SignalLate()
{
    raise(SIGTERM); // taken by the runner's handler on this thread, before the call returns
    return true;
}

bool CloseLate()
{
    Main_Quit();
    return true;
}

} // namespace

// A request taken while the game loads, however late (the last step of the preparation, after
// every step that could see it): the run ends at once, no code of the game runs (no create
// code, no room end, no game end, no file of theirs), by the signal, or with 0 after the
// window's close.
TEST(StartupQuit, ARequestWhileTheGameLoadsEndsTheRunBeforeAnyOfItsCode)
{
    for (const bool signal : {true, false}) {
        SCOPED_TRACE(signal ? "SIGTERM" : "the window's close");
        ScratchFolder dir;
        std::string log;
        const int status = PlayWithLateLoad(dir, signal ? SignalLate : CloseLate, &log);
        if (signal) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status << log;
            EXPECT_NE(log.find("Quit requested by signal 15\n"), std::string::npos) << log;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << log;
        }
        EXPECT_NE(log.find("Finished PrepareGame()"), std::string::npos) << log;
        EXPECT_EQ(log.find("create begins"), std::string::npos) << log;
        EXPECT_EQ(log.find("StartGame()"), std::string::npos) << log;
        EXPECT_TRUE(Scratch_List(dir / "data/LateLoad").empty()) << log;
    }
}
