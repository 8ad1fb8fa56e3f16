// Hostile save areas: symbolic links (to a file and to a folder), hard links and named pipes
// placed in the save area by something other than the game. Every read, write, folder
// creation, delete and rename through the file layer refuses them as it refuses a file that
// does not open, never follows them outside the area and never waits on a pipe; ordinary
// files beside them keep working.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "support/CaptureConsole.h"
#include "support/ScratchFolder.h"

namespace {

// <scratch>/game (current and working folder), <scratch>/prog (program folder), <scratch>/save
// (save area) and <scratch>/outside, which the game must never reach. The save area holds
// link.txt -> outside/secret.txt, dirlink -> outside, pipe (a FIFO), hard.txt (a second name
// of outside/victim.txt) and plain.txt.
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
    EXPECT_EQ(Read("plain.txt"), "plain");
    EXPECT_EQ(Read("link.txt"), "<null>");
    EXPECT_EQ(Read("dirlink/secret.txt"), "<null>");
    EXPECT_EQ(Read("pipe"), "<null>");
    EXPECT_TRUE(LoadSave_GameFileExists("plain.txt"));
    for (const char* name : {"link.txt", "dirlink/secret.txt", "pipe", "dirlink"})
        EXPECT_FALSE(LoadSave_GameFileExists(name)) << name;
    EXPECT_FALSE(File_Exists(Save("link.txt").c_str()));
    EXPECT_FALSE(File_Exists(Save("dirlink/secret.txt").c_str()));
    EXPECT_FALSE(File_DirectoryExists(Save("dirlink").c_str()));
    EXPECT_TRUE(File_DirectoryExists(Save("").c_str()));
    // The in-memory files of the file built-ins, text and binary.
    EXPECT_EQ(LoadSave_FOpen("link.txt", "rt"), nullptr);
    EXPECT_EQ(LoadSave_FOpen("pipe", "rb"), nullptr);
    // Folder listings and streams the built-ins open.
    EXPECT_LT(File_OpenDescriptor(Save("dirlink").c_str(), O_RDONLY | O_DIRECTORY), 0);
    const int area = File_OpenDescriptor(Save("").c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_GE(area, 0);
    if (area >= 0) close(area);
    EXPECT_EQ(File_OpenStream(Save("link.txt").c_str(), "rb"), nullptr);
    EXPECT_EQ(File_OpenStream(Save("pipe").c_str(), "rb"), nullptr);
}

TEST_F(SaveAreaHostile, WritesRefuseLinksPipesAndSecondNames)
{
    EXPECT_TRUE(LoadSave_WriteSaveFile("plain.txt", "new", 3));
    EXPECT_EQ(Scratch_ReadFile(Save("plain.txt")), "new");
    EXPECT_FALSE(LoadSave_WriteSaveFile("link.txt", "x", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("dirlink/new.txt", "x", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("dirlink/sub/new.txt", "x", 1)); // no folder made out there
    EXPECT_FALSE(LoadSave_WriteSaveFile("pipe", "x", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("hard.txt", "x", 1));
    for (const char* mode : {"wb", "ab", "r+b", "w+", "a+"}) {
        EXPECT_EQ(File_OpenStream(Save("link.txt").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(File_OpenStream(Save("dirlink/new.txt").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(File_OpenStream(Save("pipe").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(File_OpenStream(Save("hard.txt").c_str(), mode), nullptr) << mode;
    }
    EXPECT_FALSE(File_WriteAll(Save("link.txt").c_str(), "x", 1));
    // The save writer of a whole game, given a mapped name.
    EXPECT_FALSE(LoadSave_WriteFile(Save("dirlink/new.txt").c_str(), "x", 1));
    // The links and the pipe are still what they were.
    struct stat st;
    EXPECT_EQ(lstat(Save("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(lstat(Save("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ExpectOutsideUntouched();
}

TEST_F(SaveAreaHostile, AFileOrLinkWhereAFolderIsNeededIsSaidAsNotAFolder)
{
    StartStderrCapture();
    for (const char* name : {"plain.txt/a.ini", "dirlink/a.ini", "link.txt/deeper/a.ini"})
        EXPECT_FALSE(LoadSave_WriteSaveFile(name, "x", 1)) << name;
    EXPECT_EQ(TakeStderr(), "runner: cannot write " + Save("plain.txt/a.ini") +
                                                          ": Not a directory\nrunner: cannot write " +
                                                          Save("dirlink/a.ini") + ": Not a directory\nrunner: cannot write " +
                                                          Save("link.txt/deeper/a.ini") + ": Not a directory\n");
    ExpectOutsideUntouched();
}

TEST_F(SaveAreaHostile, FoldersDeletesAndRenamesStayInTheArea)
{
    EXPECT_TRUE(File_CreateDirectory(Save("deep/er").c_str()));
    EXPECT_TRUE(File_DirectoryExists(Save("deep/er").c_str()));
    EXPECT_FALSE(File_CreateDirectory(Save("dirlink/sub").c_str()));
    File_CreateDirectoryFor(Save("dirlink/sub/new.txt").c_str());
    EXPECT_FALSE(File_Delete(Save("dirlink/victim.txt").c_str()));
    EXPECT_FALSE(File_Rename(Save("plain.txt").c_str(), Save("dirlink/moved.txt").c_str()));
    EXPECT_FALSE(File_Rename(Save("dirlink/secret.txt").c_str(), Save("stolen.txt").c_str()));
    EXPECT_TRUE(Scratch_Exists(Save("plain.txt")));
    EXPECT_FALSE(Scratch_Exists(Save("stolen.txt")));
    // A link itself may be renamed or deleted: that touches only the area.
    EXPECT_TRUE(File_Rename(Save("link.txt").c_str(), Save("link2.txt").c_str()));
    EXPECT_TRUE(File_Delete(Save("link2.txt").c_str()));
    EXPECT_TRUE(File_Rename(Save("plain.txt").c_str(), Save("deep/plain.txt").c_str()));
    EXPECT_TRUE(File_Delete(Save("deep/plain.txt").c_str()));
    ExpectOutsideUntouched();
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

TEST_F(SaveAreaHostile, TheProgramFolderMayHoldLinks)
{
    // The program folder is the game's own distribution: its links are followed (for reading
    // only; nothing is ever written there).
    ASSERT_EQ(symlink(Outside("secret.txt").c_str(), (dir_ / "prog/shared.txt").c_str()), 0);
    EXPECT_EQ(Read("shared.txt"), "secret");
    ASSERT_EQ(mkfifo((dir_ / "prog/pipe2").c_str(), 0666), 0);
    EXPECT_EQ(Read("pipe2"), "<null>");
}
