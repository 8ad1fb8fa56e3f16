// Hostile save areas: symbolic links (to a file and to a folder), hard links and named pipes
// placed in the save area. A run as root refuses every symbolic link there: each read, write,
// folder creation, delete and rename through the file layer refuses them as it refuses a file
// that does not open and never leads outside the area. A plain user's run follows the user's
// own symbolic links (the player made them, and may write where they lead anyway); links of
// anyone else are refused there too (played by tests/e2e/HostileGamesTest.cpp, which can run a
// game as another user). Neither writes a file with a second name there nor waits on a pipe,
// and ordinary files beside them keep working. CI runs this group as root and as a plain user
// (scripts/as_user.sh).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "support/CaptureConsole.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

namespace {

// <scratch>/game (current and working folder), <scratch>/prog (program folder), <scratch>/save
// (save area) and <scratch>/outside, which a run as root must never reach. The save area
// holds link.txt -> outside/secret.txt, dirlink -> outside, pipe (a FIFO), hard.txt (a second
// name of outside/victim.txt) and plain.txt, all made by this process's user.
class SaveAreaHostile : public ::testing::Test {
protected:
    SaveAreaHostile() : cwd_(Ensure(dir_ / "game"))
    {
        Ensure(dir_ / "prog");
        Ensure(dir_ / "save");
        Scratch_WriteFile(Outside("secret.txt"), "secret");
        Scratch_WriteFile(Outside("victim.txt"), "victim");
        Scratch_WriteFile(Save("plain.txt"), "plain");
        EXPECT_EQ(symlink(Outside("secret.txt").c_str(), Save("link.txt").c_str()), 0);
        EXPECT_EQ(symlink((dir_ / "outside").c_str(), Save("dirlink").c_str()), 0);
        EXPECT_EQ(mkfifo(Save("pipe").c_str(), 0666), 0);
        EXPECT_EQ(link(Outside("victim.txt").c_str(), Save("hard.txt").c_str()), 0);
        LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "save").c_str(), (dir_ / "game").c_str());
        alarm(60); // a pipe that held an open would end the test here
    }
    ~SaveAreaHostile() override
    {
        alarm(0);
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
    }
    static std::string Ensure(const std::string& folder)
    {
        mkdir(folder.c_str(), 0777);
        return folder;
    }
    // Whether the links are followed: they are this process's user's own, and a plain user's
    // run follows those.
    static bool Follows() { return geteuid() != 0; }
    std::string Save(const std::string& rest) const { return dir_ / ("save/" + rest); }
    std::string Outside(const std::string& rest) const { return dir_ / ("outside/" + rest); }
    // Whole-file read through the game's mapping; "<null>" when refused.
    static std::string Read(const char* name)
    {
        int32_t size = 0;
        uint8_t* data = LoadSave_ReadGameFile(name, &size);
        std::string s = data ? std::string(reinterpret_cast<char*>(data), size_t(size)) : "<null>";
        MEM_FREE(data);
        return s;
    }
    // The names in outside/ are only those the test made.
    void ExpectOutsideUntouched() const
    {
        EXPECT_EQ(Scratch_ReadFile(Outside("secret.txt")), "secret");
        EXPECT_EQ(Scratch_ReadFile(Outside("victim.txt")), "victim");
        for (const char* made : {"new.txt", "sub", "moved.txt", "a.txt", "copy.txt"})
            EXPECT_FALSE(Scratch_Exists(Outside(made))) << made;
    }

    ScratchFolder dir_;
    ScopedCurrentFolder cwd_;
};

} // namespace

TEST_F(SaveAreaHostile, ReadsRefuseLinksAndPipes)
{
    const bool f = Follows();
    EXPECT_EQ(Read("plain.txt"), "plain");
    EXPECT_EQ(Read("link.txt"), f ? "secret" : "<null>");
    EXPECT_EQ(Read("dirlink/secret.txt"), f ? "secret" : "<null>");
    EXPECT_EQ(Read("pipe"), "<null>");
    EXPECT_TRUE(LoadSave_GameFileExists("plain.txt"));
    for (const char* name : {"link.txt", "dirlink/secret.txt"}) EXPECT_EQ(LoadSave_GameFileExists(name), f) << name;
    for (const char* name : {"pipe", "dirlink"}) EXPECT_FALSE(LoadSave_GameFileExists(name)) << name;
    EXPECT_EQ(File_Exists(Save("link.txt").c_str()), f);
    EXPECT_EQ(File_Exists(Save("dirlink/secret.txt").c_str()), f);
    EXPECT_EQ(File_DirectoryExists(Save("dirlink").c_str()), f);
    EXPECT_TRUE(File_DirectoryExists(Save("").c_str()));
    // The in-memory files of the file built-ins, text and binary.
    LoadSaveFile* linked = LoadSave_FOpen("link.txt", "rt");
    EXPECT_EQ(linked != nullptr, f);
    LoadSave_FClose(linked);
    EXPECT_EQ(LoadSave_FOpen("pipe", "rb"), nullptr);
    // Folder listings and streams the built-ins open.
    const int listed = File_OpenDescriptor(Save("dirlink").c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(listed >= 0, f);
    if (listed >= 0) close(listed);
    const int area = File_OpenDescriptor(Save("").c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_GE(area, 0);
    if (area >= 0) close(area);
    FILE* stream = File_OpenStream(Save("link.txt").c_str(), "rb");
    EXPECT_EQ(stream != nullptr, f);
    if (stream) std::fclose(stream);
    EXPECT_EQ(File_OpenStream(Save("pipe").c_str(), "rb"), nullptr);
}

TEST_F(SaveAreaHostile, WritesRefuseLinksPipesAndSecondNames)
{
    const bool f = Follows();
    EXPECT_TRUE(LoadSave_WriteSaveFile("plain.txt", "new", 3));
    EXPECT_EQ(Scratch_ReadFile(Save("plain.txt")), "new");
    EXPECT_FALSE(LoadSave_WriteSaveFile("pipe", "x", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("hard.txt", "x", 1));
    EXPECT_EQ(Scratch_ReadFile(Outside("victim.txt")), "victim");
    for (const char* mode : {"wb", "ab", "r+b", "w+", "a+"}) {
        FILE* through = File_OpenStream(Save("dirlink/new.txt").c_str(), mode);
        EXPECT_EQ(through != nullptr, f) << mode;
        if (through) std::fclose(through);
        EXPECT_EQ(File_OpenStream(Save("pipe").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(File_OpenStream(Save("hard.txt").c_str(), mode), nullptr) << mode;
        if (!f) {
            EXPECT_EQ(File_OpenStream(Save("link.txt").c_str(), mode), nullptr) << mode;
        }
    }
    if (!f) {
        EXPECT_FALSE(LoadSave_WriteSaveFile("link.txt", "x", 1));
        EXPECT_FALSE(LoadSave_WriteSaveFile("dirlink/new.txt", "x", 1));
        EXPECT_FALSE(LoadSave_WriteSaveFile("dirlink/sub/new.txt", "x", 1)); // no folder made out there
        EXPECT_FALSE(File_WriteAll(Save("link.txt").c_str(), "x", 1));
        // The save writer of a whole game, given a mapped name.
        EXPECT_FALSE(LoadSave_WriteFile(Save("dirlink/new.txt").c_str(), "x", 1));
        ExpectOutsideUntouched();
    } else {
        // Where the player's links lead: the file a link names replaced (the link stays), a
        // folder's file made there with its folders.
        EXPECT_TRUE(LoadSave_WriteSaveFile("link.txt", "through", 7));
        EXPECT_EQ(Scratch_ReadFile(Outside("secret.txt")), "through");
        EXPECT_TRUE(LoadSave_WriteSaveFile("dirlink/sub/new.txt", "made", 4));
        EXPECT_EQ(Scratch_ReadFile(Outside("sub/new.txt")), "made");
    }
    // The links and the pipe are still what they were.
    struct stat st;
    EXPECT_EQ(lstat(Save("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(lstat(Save("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SaveAreaHostile, AFileOrLinkWhereAFolderIsNeededIsSaidAsNotAFolder)
{
    StartStderrCapture();
    EXPECT_FALSE(LoadSave_WriteSaveFile("plain.txt/a.ini", "x", 1));
    EXPECT_EQ(LoadSave_WriteSaveFile("dirlink/a.ini", "x", 1), Follows()); // a folder where the player's link leads
    EXPECT_FALSE(LoadSave_WriteSaveFile("link.txt/deeper/a.ini", "x", 1));  // a file where it leads
    EXPECT_EQ(TakeStderr(), "runner: cannot write " + Save("plain.txt/a.ini") + ": Not a directory\n" +
                                (Follows() ? "" : "runner: cannot write " + Save("dirlink/a.ini") + ": Not a directory\n") +
                                "runner: cannot write " + Save("link.txt/deeper/a.ini") + ": Not a directory\n");
    if (!Follows()) ExpectOutsideUntouched();
}

TEST_F(SaveAreaHostile, FoldersDeletesAndRenamesStayInTheArea)
{
    const bool f = Follows();
    EXPECT_TRUE(File_CreateDirectory(Save("deep/er").c_str()));
    EXPECT_TRUE(File_DirectoryExists(Save("deep/er").c_str()));
    EXPECT_EQ(File_CreateDirectory(Save("dirlink/sub").c_str()), f);
    EXPECT_EQ(Scratch_Exists(Outside("sub")), f);
    EXPECT_EQ(File_Rename(Save("dirlink/secret.txt").c_str(), Save("stolen.txt").c_str()), f);
    EXPECT_EQ(Scratch_Exists(Save("stolen.txt")), f);
    EXPECT_EQ(File_Delete(Save("stolen.txt").c_str()), f);
    EXPECT_EQ(File_Rename(Save("plain.txt").c_str(), Save("dirlink/moved.txt").c_str()), f);
    EXPECT_EQ(Scratch_Exists(Save("plain.txt")), !f);
    EXPECT_EQ(File_Delete(Save("dirlink/moved.txt").c_str()), f);
    if (!f) {
        EXPECT_FALSE(File_Delete(Save("dirlink/victim.txt").c_str()));
        ExpectOutsideUntouched();
    }
    // A link itself may be renamed or deleted: that touches only the area.
    EXPECT_TRUE(File_Rename(Save("link.txt").c_str(), Save("link2.txt").c_str()));
    EXPECT_TRUE(File_Delete(Save("link2.txt").c_str()));
    EXPECT_TRUE(Scratch_Exists(Outside("victim.txt")));
    if (f) return;
    EXPECT_TRUE(File_Rename(Save("plain.txt").c_str(), Save("deep/plain.txt").c_str()));
    EXPECT_TRUE(File_Delete(Save("deep/plain.txt").c_str()));
}

TEST_F(SaveAreaHostile, TheAreaItselfMayBeALinkAndIsMadeWhenMissing)
{
    // The user's own set-up: the save area reached through a link, or not made yet.
    Ensure(dir_ / "real");
    ASSERT_EQ(symlink((dir_ / "real").c_str(), (dir_ / "linked").c_str()), 0);
    LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "linked").c_str(), (dir_ / "game").c_str());
    EXPECT_TRUE(LoadSave_WriteSaveFile("a/b.txt", "ok", 2));
    EXPECT_EQ(Scratch_ReadFile(dir_ / "real/a/b.txt"), "ok");
    LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "fresh/area").c_str(), (dir_ / "game").c_str());
    EXPECT_TRUE(LoadSave_WriteSaveFile("c.txt", "ok", 2));
    EXPECT_EQ(Scratch_ReadFile(dir_ / "fresh/area/c.txt"), "ok");
}

TEST_F(SaveAreaHostile, TheAreaIsTheFolderItsPathNamesWhenMovedReplacedOrRemovedDuringTheRun)
{
    // Opened, then moved aside and a fresh folder made in its place: every later write, read
    // and existence test goes to the fresh folder, and nothing more to the moved one.
    const std::string moved = dir_ / "save.moved";
    ASSERT_TRUE(LoadSave_WriteSaveFile("first.ini", "1", 1));
    ASSERT_EQ(rename(Save("").c_str(), moved.c_str()), 0);
    Ensure(Save(""));
    EXPECT_FALSE(LoadSave_SaveFileExists("first.ini"));
    EXPECT_EQ(Read("first.ini"), "<null>");
    EXPECT_TRUE(LoadSave_WriteSaveFile("sub/second.ini", "2", 1));
    FILE* text = File_OpenStream(LoadSave_SavePathOf("third.txt").c_str(), "w");
    ASSERT_NE(text, nullptr);
    std::fclose(text);
    EXPECT_EQ(Scratch_ReadFile(Save("sub/second.ini")), "2");
    EXPECT_TRUE(Scratch_Exists(Save("third.txt")));
    EXPECT_EQ(Read("sub/second.ini"), "2");
    // Replaced by another folder renamed into its place.
    Scratch_WriteFile(dir_ / "other/kept.ini", "kept");
    ASSERT_EQ(rename(Save("").c_str(), (dir_ / "save.second").c_str()), 0);
    ASSERT_EQ(rename((dir_ / "other").c_str(), Save("").c_str()), 0);
    EXPECT_EQ(Read("kept.ini"), "kept");
    EXPECT_FALSE(LoadSave_SaveFileExists("sub/second.ini"));
    EXPECT_TRUE(LoadSave_WriteSaveFile("fourth.ini", "4", 1));
    EXPECT_EQ(Scratch_ReadFile(Save("fourth.ini")), "4");
    // Removed: nothing is found, and the next write makes it again.
    std::filesystem::remove_all(Save(""));
    EXPECT_FALSE(LoadSave_SaveFileExists("fourth.ini"));
    EXPECT_FALSE(File_DirectoryExists(Save("").c_str()));
    EXPECT_TRUE(LoadSave_WriteSaveFile("again/fifth.ini", "5", 1));
    EXPECT_EQ(Scratch_ReadFile(Save("again/fifth.ini")), "5");
    // Replaced by a file: the one line of an area that cannot be made, nothing written.
    std::filesystem::remove_all(Save(""));
    Scratch_WriteFile(dir_ / "save", "a file");
    StartStderrCapture();
    EXPECT_FALSE(LoadSave_WriteSaveFile("sixth.ini", "6", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("seventh.ini", "7", 1));
    EXPECT_EQ(TakeStderr(), "runner: the save area " + Save("") + " cannot be made: Not a directory; what the game "
                                                              "writes there is lost\n");
    // Replaced by a link of the player's own to a folder of the player's: the area is where
    // the link leads (the user's set-up).
    const std::string mine = Ensure(dir_ / "mine");
    ASSERT_EQ(unlink((dir_ / "save").c_str()), 0);
    ASSERT_EQ(symlink(mine.c_str(), (dir_ / "save").c_str()), 0);
    const bool root = geteuid() == 0;
    const TestUser user = Test_PlainUser();
    if (root) {
        ASSERT_EQ(lchown((dir_ / "save").c_str(), user.uid, user.gid), 0);
        ASSERT_EQ(chown(mine.c_str(), user.uid, user.gid), 0);
    }
    EXPECT_TRUE(LoadSave_WriteSaveFile("eighth.ini", "8", 1));
    EXPECT_EQ(Scratch_ReadFile(mine + "/eighth.ini"), "8");
    struct stat st;
    ASSERT_EQ(stat((mine + "/eighth.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, root ? user.uid : geteuid()); // a run as root made it for the user
    if (root) {
        // A run as root: the user's link swapped to lead to a folder of root's is refused, and
        // nothing is written there.
        ASSERT_EQ(unlink((dir_ / "save").c_str()), 0);
        ASSERT_EQ(symlink(Outside("").c_str(), (dir_ / "save").c_str()), 0);
        ASSERT_EQ(lchown((dir_ / "save").c_str(), user.uid, user.gid), 0);
        StartStderrCapture();
        EXPECT_FALSE(LoadSave_WriteSaveFile("a.txt", "x", 1));
        EXPECT_FALSE(LoadSave_SaveFileExists("secret.txt"));
        TakeStderr();
        ExpectOutsideUntouched();
    }
    // What was moved aside, or replaced, kept only what was written while it was the area.
    EXPECT_EQ(Scratch_List(moved).count("sub"), 0u);
    EXPECT_EQ(Scratch_List(moved).count("third.txt"), 0u);
    EXPECT_EQ(Scratch_List(dir_ / "save.second"), (std::set<std::string>{"sub", "third.txt"}));
    ExpectOutsideUntouched();
}

TEST_F(SaveAreaHostile, TheProgramFolderMayHoldLinks)
{
    // The program folder is the game's own distribution: its links are followed (for reading
    // only; nothing is ever written there).
    ASSERT_EQ(symlink(Outside("secret.txt").c_str(), (dir_ / "prog/shared.txt").c_str()), 0);
    EXPECT_EQ(Read("shared.txt"), "secret");
    ASSERT_EQ(mkfifo((dir_ / "prog/pipe2").c_str(), 0666), 0);
    EXPECT_EQ(Read("pipe2"), "<null>");
}
