// Save-area and program-folder mapping, allowed files, whole files and in-memory files.
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "support/CaptureConsole.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

namespace {

// A game laid out as: <scratch>/game (current and working folder), <scratch>/prog (program
// folder), <scratch>/save (save area).
class LoadSaveTest : public ::testing::Test {
protected:
    LoadSaveTest() : cwd_(Ensure(dir_ / "game"))
    {
        LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "save").c_str(), (dir_ / "game").c_str());
    }
    ~LoadSaveTest() override
    {
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
        LoadSave_ClearAllowedFiles();
    }
    static std::string Ensure(const std::string& folder)
    {
        File_CreateDirectory(folder.c_str());
        return folder;
    }
    std::string Save(const std::string& rest) const { return dir_ / ("save/" + rest); }
    std::string Prog(const std::string& rest) const { return dir_ / ("prog/" + rest); }

    ScratchFolder dir_;
    ScopedCurrentFolder cwd_;
};

// The whole file that reader gives for name, or "<null>".
std::string ReadText(uint8_t* (*reader)(const char*, int32_t*), const char* name)
{
    int32_t size = -1;
    uint8_t* block = reader(name, &size);
    std::string s = block ? std::string(reinterpret_cast<char*>(block), size_t(size)) : "<null>";
    MEM_FREE(block);
    return s;
}

constexpr uid_t kNobody = 65534;
constexpr int kNotHere = 98; // the child could not set up what the case needs

// The exit code of body run in a forked child (-1 when it did not exit): as nobody when asked
// and this process is root, under a file-size limit (bytes, SIGXFSZ ignored as the runner does).
int InChild(const std::function<int()>& body, bool nobody = false, rlim_t fileLimit = 0)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (nobody && geteuid() == 0 && !Test_BecomeUser({kNobody, kNobody}))
            _exit(kNotHere);
        const rlimit limit{fileLimit, fileLimit};
        signal(SIGXFSZ, SIG_IGN);
        if (fileLimit && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kNotHere);
        _exit(body());
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}


void MakeFile(const std::string& path, const std::string& text, mode_t mode)
{
    Scratch_WriteFile(path, text);
    chmod(path.c_str(), mode);
}

void ExpectNoTemporary(const std::string& folder)
{
    for (const std::string& name : Scratch_List(folder)) EXPECT_NE(name[0], '.') << folder << "/" << name;
}

} // namespace

TEST_F(LoadSaveTest, NamesUnderTheCurrentOrWorkingFolderAreRebased)
{
    EXPECT_EQ(LoadSave_SavePathOf("data.txt"), Save("data.txt"));
    EXPECT_EQ(LoadSave_BundlePathOf("data.txt"), Prog("data.txt"));
    EXPECT_EQ(LoadSave_SavePathOf("sub\\Deep\\x.ini"), Save("sub/Deep/x.ini"));
    EXPECT_EQ(LoadSave_SavePathOf("./a/../b.txt"), Save("b.txt"));
    // From another current folder, names under the working folder.
    ScopedCurrentFolder elsewhere(Ensure(dir_ / "elsewhere"));
    EXPECT_EQ(LoadSave_SavePathOf((dir_ / "game/lvl/1.txt").c_str()), Save("lvl/1.txt"));
    EXPECT_EQ(LoadSave_BundlePathOf("../game/x.png"), Prog("x.png"));
    // The current folder is tried first.
    EXPECT_EQ(LoadSave_BundlePathOf("y.png"), Prog("y.png"));
}

TEST_F(LoadSaveTest, NamesInsideTheSaveAreaStayForSavingOnly)
{
    std::string inSave = Save("slot1.dat");
    EXPECT_EQ(LoadSave_SavePathOf(inSave.c_str()), inSave);
    EXPECT_EQ(LoadSave_BundlePathOf(inSave.c_str()), "");
}

TEST_F(LoadSaveTest, NamesOutsideEveryFolderAreRefusedUnlessChosenInADialog)
{
    EXPECT_EQ(LoadSave_SavePathOf("../outside.txt"), "");
    EXPECT_EQ(LoadSave_SavePathOf("/etc/passwd"), "");
    EXPECT_EQ(LoadSave_BundlePathOf("../../../../../../etc/passwd"), "");
    EXPECT_EQ(LoadSave_SavePathOf("C:\\Windows\\win.ini"), "");
    // A sibling folder whose name begins like the current one is outside too.
    EXPECT_EQ(LoadSave_SavePathOf((dir_ / "gamex/f.txt").c_str()), "");

    std::string chosen = dir_ / "Docs/Picked.TXT";
    LoadSave_AllowWrite(chosen.c_str());
    EXPECT_EQ(LoadSave_SavePathOf((dir_ / "docs/picked.txt").c_str()), chosen); // any letter case
    EXPECT_EQ(LoadSave_BundlePathOf(chosen.c_str()), "");                       // not for reading
    LoadSave_AllowRead(chosen.c_str());
    EXPECT_EQ(LoadSave_BundlePathOf(chosen.c_str()), chosen);
    EXPECT_EQ(LoadSave_SavePathOf((dir_ / "docs/other.txt").c_str()), "");
}

TEST_F(LoadSaveTest, AFilePickedBelowTheCurrentFolderIsTheFilePicked)
{
    // Picked to save: written and read there, not in the save area; the name beside it still maps.
    const std::string saved = dir_ / "game/Documents/picked.ini", opened = dir_ / "game/open.ini";
    LoadSave_AllowWrite(saved.c_str());
    EXPECT_EQ(LoadSave_SavePathOf("Documents/PICKED.ini"), saved);
    EXPECT_EQ(LoadSave_SavePathOf("Documents/other.ini"), Save("Documents/other.ini"));
    ASSERT_TRUE(LoadSave_WriteSaveFile("Documents/picked.ini", "mine", 4));
    EXPECT_EQ(Scratch_ReadFile(saved), "mine");
    EXPECT_FALSE(Scratch_Exists(Save("Documents")));
    EXPECT_EQ(ReadText(LoadSave_ReadGameFile, saved.c_str()), "mine");
    // Picked to open: read there even when the save area holds a file of the same mapped name,
    // and never written elsewhere under its name: refused, but in the save area, where it is
    // written where it was picked.
    Scratch_WriteFile(opened, "picked");
    Scratch_WriteFile(Save("open.ini"), "saved");
    LoadSave_AllowRead(opened.c_str());
    EXPECT_EQ(ReadText(LoadSave_ReadGameFile, "open.ini"), "picked");
    EXPECT_EQ(LoadSave_ReadPathOf("open.ini"), opened);
    EXPECT_TRUE(LoadSave_GameFileExists("open.ini"));
    EXPECT_EQ(LoadSave_SavePathOf("open.ini"), "");
    EXPECT_FALSE(LoadSave_WriteSaveFile("open.ini", "lost", 4));
    EXPECT_EQ(Scratch_ReadFile(Save("open.ini")), "saved");
    LoadSave_AllowRead(Save("Area.ini").c_str());
    EXPECT_EQ(LoadSave_SavePathOf(Save("AREA.INI").c_str()), Save("Area.ini"));
    // A picked file that is gone is not looked for elsewhere.
    unlink(opened.c_str());
    EXPECT_EQ(LoadSave_ReadPathOf("open.ini"), "");
    EXPECT_EQ(ReadText(LoadSave_ReadGameFile, "open.ini"), "<null>");
}

TEST_F(LoadSaveTest, MappingIntoACallersBufferRefusesWhatDoesNotFit)
{
    char out[2048];
    EXPECT_TRUE(LoadSave_SavePath(out, sizeof out, "a.txt"));
    EXPECT_EQ(std::string(out), Save("a.txt"));
    char small[8] = "junk";
    EXPECT_FALSE(LoadSave_SavePath(small, sizeof small, "a.txt"));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(LoadSave_BundlePath(out, sizeof out, nullptr));
    EXPECT_STREQ(out, "");
}

TEST_F(LoadSaveTest, WithoutFoldersNothingMaps)
{
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
    EXPECT_EQ(LoadSave_SavePathOf("a.txt"), "");
    EXPECT_EQ(LoadSave_BundlePathOf("a.txt"), "");
    EXPECT_FALSE(LoadSave_WriteSaveFile("a.txt", "x", 1));
}

TEST_F(LoadSaveTest, WholeFilesGoToTheSaveAreaAndComeFromEither)
{
    ASSERT_TRUE(LoadSave_WriteSaveFile("deep/er/f.bin", "abc", 3));
    EXPECT_EQ(Scratch_ReadFile(Save("deep/er/f.bin")), "abc");
    EXPECT_TRUE(LoadSave_SaveFileExists("deep/er/f.bin"));
    EXPECT_FALSE(LoadSave_BundleFileExists("deep/er/f.bin"));
    EXPECT_EQ(ReadText(LoadSave_ReadSaveFile, "deep/er/f.bin"), "abc");
    int32_t size = -1;

    Scratch_WriteFile(Prog("shipped.txt"), "");
    uint8_t* empty = LoadSave_ReadBundleFile("shipped.txt", &size);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(empty[0], 0);
    MEM_FREE(empty);
    EXPECT_EQ(LoadSave_ReadBundleFile("missing.txt", &size), nullptr);
    EXPECT_EQ(size, 0);
    // A folder is not a file.
    File_CreateDirectory(Prog("folder").c_str());
    EXPECT_EQ(LoadSave_ReadBundleFile("folder", &size), nullptr);
    EXPECT_FALSE(LoadSave_BundleFileExists("folder"));

    // A game's read: the save area's copy wins, else the program folder's.
    Scratch_WriteFile(Prog("both.txt"), "shipped");
    EXPECT_EQ(ReadText(LoadSave_ReadGameFile, "both.txt"), "shipped");
    ASSERT_TRUE(LoadSave_WriteSaveFile("both.txt", "saved", 5));
    EXPECT_EQ(ReadText(LoadSave_ReadGameFile, "both.txt"), "saved");
    EXPECT_TRUE(LoadSave_GameFileExists("shipped.txt"));
    EXPECT_TRUE(LoadSave_GameFileExists("deep/er/f.bin"));
    EXPECT_EQ(LoadSave_ReadGameFile("missing.txt", &size), nullptr);
    EXPECT_FALSE(LoadSave_GameFileExists("missing.txt"));
}

TEST_F(LoadSaveTest, NamesAreFoundIgnoringLetterCase)
{
    Scratch_WriteFile(Prog("Data/Level1.TXT"), "level");
    EXPECT_EQ(ReadText(LoadSave_ReadBundleFile, "data\\level1.txt"), "level");
    EXPECT_TRUE(LoadSave_BundleFileExists("DATA/LEVEL1.txt"));

    // Writing a name that exists in another case replaces that file.
    Scratch_WriteFile(Save("Saves/Slot.dat"), "old");
    ASSERT_TRUE(LoadSave_WriteSaveFile("saves/SLOT.dat", "new", 3));
    EXPECT_EQ(Scratch_ReadFile(Save("Saves/Slot.dat")), "new");
    EXPECT_FALSE(Scratch_Exists(Save("saves")));
}

TEST_F(LoadSaveTest, SaveAreaFollowsTheXdgFoldersAndKeepsTheNameToOneFolder)
{
    ScopedEnv data("XDG_DATA_HOME", "/xdg/data/");
    ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
    ScopedEnv home("HOME", "/home/player");
    auto area = [](const char* name, bool roaming) {
        char* s = LoadSave_MakeSaveArea(name, roaming);
        std::string r = s ? s : "<null>";
        MEM_FREE(s);
        return r;
    };
    EXPECT_EQ(area("Space Game", false), "/xdg/data/Space Game/");
    EXPECT_EQ(area("Space Game", true), "/xdg/config/Space Game/");
    EXPECT_EQ(area("../../etc", false), "/xdg/data/____etc/");
    EXPECT_EQ(area("a\\b/c..d", false), "/xdg/data/a_b_c_d/");
    EXPECT_EQ(area("", false), "/xdg/data/_/");
    EXPECT_EQ(area(".", false), "/xdg/data/_/");
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/path"); // ignored
        ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(area("g", false), "/home/player/.local/share/g/");
        EXPECT_EQ(area("g", true), "/home/player/.config/g/");
    }
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(area("g", false), "<null>");
}

TEST_F(LoadSaveTest, SetFoldersMakesThemAbsolute)
{
    LoadSave_SetFolders("../prog", "../save/", "rel");
    EXPECT_EQ(std::string(LoadSave_ProgramFolder()), Prog(""));
    EXPECT_EQ(std::string(LoadSave_SaveArea()), Save(""));
    EXPECT_STREQ(LoadSave_WorkingFolder(), "rel");
}

// ---- In-memory files ------------------------------------------------------------------------

TEST_F(LoadSaveTest, OpenLooksInTheProgramFolderFirstAndSkipsAMarkInTextMode)
{
    Scratch_WriteFile(Prog("both.txt"), "program");
    Scratch_WriteFile(Save("both.txt"), "save");
    Scratch_WriteFile(Save("only.txt"), "\xEF\xBB\xBFhi");
    Scratch_WriteFile(Prog("mark.txt"), "\xEF\xBB\xBF");

    LoadSaveFile* f = LoadSave_FOpen("both.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_FGetC(f), 'p');
    LoadSave_FClose(f);

    f = LoadSave_FOpen("only.txt", "rt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_FTell(f), 3);
    LoadSave_FClose(f);
    f = LoadSave_FOpen("only.txt", "rb");
    EXPECT_EQ(LoadSave_FTell(f), 0);
    LoadSave_FClose(f);

    f = LoadSave_FOpen("mark.txt", "rt");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(LoadSave_FEof(f));
    LoadSave_FClose(f);

    EXPECT_EQ(LoadSave_FOpen("none.txt", "r"), nullptr);
}

TEST_F(LoadSaveTest, GetCGivesBytesAsUnsignedAndMinusOneOnlyAtTheEnd)
{
    Scratch_WriteFile(Prog("b.bin"), std::string("\xFF\r\n", 3));
    LoadSaveFile* f = LoadSave_FOpen("b.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(LoadSave_FEoln(f));
    EXPECT_EQ(LoadSave_FGetC(f), 255);
    EXPECT_TRUE(LoadSave_FEoln(f));
    EXPECT_EQ(LoadSave_FGetC(f), '\r');
    EXPECT_EQ(LoadSave_FGetC(f), '\n');
    EXPECT_TRUE(LoadSave_FEof(f));
    EXPECT_EQ(LoadSave_FGetC(f), -1);
    EXPECT_EQ(LoadSave_FTell(f), 4); // still moved
    LoadSave_FClose(f);
}

TEST_F(LoadSaveTest, SeekStaysInsideTheDataAndReadCutsAtTheEnd)
{
    Scratch_WriteFile(Prog("s.bin"), "0123456789");
    LoadSaveFile* f = LoadSave_FOpen("s.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(LoadSave_FSeek(f, 3, 2), 0); // size - offset
    EXPECT_EQ(LoadSave_FTell(f), 7);
    LoadSave_FSeek(f, 5, 1);
    EXPECT_EQ(LoadSave_FTell(f), 10);
    LoadSave_FSeek(f, -50, 1);
    EXPECT_EQ(LoadSave_FTell(f), 0);
    LoadSave_FSeek(f, INT32_MAX, 0);
    EXPECT_EQ(LoadSave_FTell(f), 10);
    LoadSave_FSeek(f, INT32_MIN, 2);
    EXPECT_EQ(LoadSave_FTell(f), 10);
    EXPECT_EQ(LoadSave_FSeek(f, 1, 7), -1);
    EXPECT_EQ(LoadSave_FTell(f), 10);

    LoadSave_FSeek(f, 6, 0);
    char buffer[16] = {};
    EXPECT_EQ(LoadSave_FRead(buffer, 3, 5, f), 4);
    EXPECT_STREQ(buffer, "6789");
    EXPECT_EQ(LoadSave_FRead(buffer, 1, 1, f), 0);
    EXPECT_EQ(LoadSave_FRead(buffer, INT32_MAX, INT32_MAX, f), 0);
    LoadSave_FSeek(f, 0, 0);
    EXPECT_EQ(LoadSave_FRead(buffer, -1, 4, f), 0);
    LoadSave_FClose(f);
}

TEST_F(LoadSaveTest, ReadRealTakesDecimalNumbersOnly)
{
    Scratch_WriteFile(Prog("n.txt"), "  12.5e1x -0.25\n0x10 inf .5 1e400 -1e-400 1e+ 7. +3 nan 42");
    LoadSaveFile* f = LoadSave_FOpen("n.txt", "r");
    ASSERT_NE(f, nullptr);
    double v = -1;
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 125.0);
    EXPECT_EQ(LoadSave_FGetC(f), 'x');
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, -0.25);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v)); // "0x10": the 0 only
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(LoadSave_FGetC(f), 'x');
    EXPECT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 10.0);
    EXPECT_FALSE(LoadSave_FReadReal(f, &v)); // "inf" is no number
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(LoadSave_FGetC(f), 'i');
    LoadSave_FGetC(f);
    LoadSave_FGetC(f);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 0.5);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_TRUE(std::isinf(v) && v > 0);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(std::signbit(v));
    ASSERT_TRUE(LoadSave_FReadReal(f, &v)); // "1e+": the exponent has no digits
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(LoadSave_FGetC(f), 'e');
    LoadSave_FGetC(f);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 7.0);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v));
    EXPECT_EQ(v, 3.0);
    EXPECT_FALSE(LoadSave_FReadReal(f, &v));
    for (int i = 0; i < 3; i++) LoadSave_FGetC(f);
    ASSERT_TRUE(LoadSave_FReadReal(f, &v)); // runs to the very end of the data
    EXPECT_EQ(v, 42.0);
    EXPECT_TRUE(LoadSave_FEof(f));
    EXPECT_FALSE(LoadSave_FReadReal(f, &v));
    LoadSave_FClose(f);
}

TEST_F(LoadSaveTest, WriteFileReportsAFileThatDoesNotOpen)
{
    std::string target = dir_ / "plain.bin";
    EXPECT_TRUE(LoadSave_WriteFile(target.c_str(), "xyz", 3));
    EXPECT_EQ(Scratch_ReadFile(target), "xyz");
    StartStderrCapture();
    EXPECT_FALSE(LoadSave_WriteFile((dir_ / "no/such/folder/f").c_str(), "x", 1));
    EXPECT_NE(TakeStderr().find("_WriteFile"), std::string::npos);
}

TEST_F(LoadSaveTest, WholeFilesReplaceTheEarlierOneKeepingItsPermissions)
{
    Scratch_WriteFile(Save("keep.bin"), "earlier");
    chmod(Save("keep.bin").c_str(), 0600);
    ASSERT_TRUE(LoadSave_WriteSaveFile("keep.bin", "new", 3));
    EXPECT_EQ(Scratch_ReadFile(Save("keep.bin")), "new");
    struct stat st;
    ASSERT_EQ(stat(Save("keep.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Scratch_List(Save("")), std::set<std::string>{"keep.bin"}); // no temporary file left
}

TEST_F(LoadSaveTest, ASaveAreaThatMayNotBeWrittenIsSaidOnceAtTheFirstWrite)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root; scripts/as_user.sh runs this as a plain user";
    Scratch_WriteFile(Save("open.bin"), "earlier");
    chmod(Save("").c_str(), 0555);
    StartStderrCapture();
    EXPECT_FALSE(LoadSave_WriteSaveFile("new.ini", "x", 1));
    EXPECT_FALSE(LoadSave_WriteSaveFile("sub/new.ini", "x", 1));
    // A file the user may still write is written (in place: nothing can be made beside it).
    EXPECT_TRUE(LoadSave_WriteSaveFile("open.bin", "new", 3));
    const std::string err = TakeStderr();
    chmod(Save("").c_str(), 0755);
    EXPECT_EQ(err, "runner: the save area " + Save("") +
                       " cannot be written: Permission denied; what the game writes there is lost\n");
    EXPECT_EQ(Scratch_ReadFile(Save("open.bin")), "new");
    EXPECT_EQ(Scratch_List(Save("")), std::set<std::string>{"open.bin"});
}

TEST_F(LoadSaveTest, SecondNamesAndFoldersTakingNoNewFileAreWrittenInPlaceWholeOnlyWhenItFits)
{
    // A file picked in a save dialog outside the save area, with a second name elsewhere.
    const std::string picked = dir_ / "picked.txt", other = Ensure(dir_ / "elsewhere") + "/other.txt";
    MakeFile(picked, "the earlier text, longer", 0644);
    ASSERT_EQ(link(picked.c_str(), other.c_str()), 0);
    LoadSave_AllowWrite(picked.c_str());
    ASSERT_TRUE(LoadSave_WriteSaveFile(picked.c_str(), "new", 3));
    EXPECT_EQ(Scratch_ReadFile(other), "new");
    FileReplace out; // the picture writers' stream alike
    ASSERT_TRUE(out.Open(picked.c_str()));
    std::fputs("streamed", out.Stream());
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(Scratch_ReadFile(other), "streamed");
    const std::string large(64, 'x');
    EXPECT_EQ(InChild([&] { return LoadSave_WriteSaveFile(picked.c_str(), large.data(), 64); }, false, 16), 0);
    EXPECT_EQ(Scratch_ReadFile(other), "streamed");
    ExpectNoTemporary(dir_.Path());
    // A picked link: the file it names is replaced, the link stays a link.
    const std::string link = dir_ / "link.txt";
    ASSERT_EQ(symlink(other.c_str(), link.c_str()), 0);
    LoadSave_AllowWrite(link.c_str());
    ASSERT_TRUE(LoadSave_WriteSaveFile(link.c_str(), "through", 7));
    EXPECT_EQ(Scratch_ReadFile(picked), "through"); // the link's file has a second name: written over
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // A folder where nothing can be made beside the file (as a plain user: root may).
    chmod(dir_.Path().c_str(), 0755);
    MakeFile(Save("open.ini"), "the earlier text", 0666);
    chmod(Save("").c_str(), 0555);
    EXPECT_EQ(InChild([&] { return LoadSave_WriteSaveFile("open.ini", large.data(), 64); }, true, 16), 0);
    EXPECT_EQ(Scratch_ReadFile(Save("open.ini")), "the earlier text");
    EXPECT_EQ(InChild([] { return LoadSave_WriteSaveFile("open.ini", "new", 3); }, true, 16), 1);
    EXPECT_EQ(Scratch_ReadFile(Save("open.ini")), "new");
    chmod(Save("").c_str(), 0755);
}

TEST_F(LoadSaveTest, AnotherUsersFileStaysTheirsAndARefusedRenameIsWrittenInPlace)
{
    if (geteuid() != 0) GTEST_SKIP() << "files of another user and mounts need root";
    chmod(dir_.Path().c_str(), 0755);
    // Root (a game started with sudo) replaces a user's file.
    MakeFile(Save("user.ini"), "earlier", 0640);
    ASSERT_EQ(chown(Save("user.ini").c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(LoadSave_WriteSaveFile("user.ini", "new", 3));
    struct stat st;
    ASSERT_EQ(stat(Save("user.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A user replaces root's file open to all in a folder with the sticky bit.
    chmod(Save("").c_str(), 01777);
    MakeFile(Save("shared.ini"), "the earlier text", 0666);
    EXPECT_EQ(InChild([] { return LoadSave_WriteSaveFile("shared.ini", "new", 3); }, true), 1);
    EXPECT_EQ(Scratch_ReadFile(Save("shared.ini")), "new");
    ASSERT_EQ(stat(Save("shared.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    // A file mounted over the name (bound into a container): the rename is refused as busy.
    const std::string bound = dir_ / "bound.ini", disk = Ensure(dir_ / "disk");
    MakeFile(bound, "the earlier text", 0644);
    MakeFile(Save("bound.ini"), "", 0644);
    const int result = InChild([&] {
        if (!Test_OwnMounts() || mount(bound.c_str(), Save("bound.ini").c_str(), nullptr, MS_BIND, nullptr) != 0) return kNotHere;
        // The save area opened again in the new mounts, as a run started in them holds it.
        LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "save").c_str(), (dir_ / "game").c_str());
        if (!LoadSave_WriteSaveFile("bound.ini", "new", 3)) return 2;
        // In place on a full disk: nothing written when the room is not there.
        const std::string file = disk + "/two.txt", filler(60 * 1024, 'f'), big(16 * 1024, 'x');
        if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) return kNotHere;
        Scratch_WriteFile(file, "the earlier text");
        link(file.c_str(), (disk + "/second.txt").c_str());
        File_WriteAll((disk + "/filler").c_str(), filler.data(), int64_t(filler.size())); // as much as fits
        return File_ReplaceAll(file.c_str(), big.data(), int64_t(big.size())) ? 3
               : Scratch_ReadFile(disk + "/second.txt") == "the earlier text" ? 1 : 4;
    });
    ExpectNoTemporary(Save(""));
    if (result == kNotHere) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Scratch_ReadFile(bound), "new");
}

namespace {

// Self-checking contents for the writers that race: "<size> <stamp>\n" and then bytes made
// from the stamp, so a file read half of one version and half of another, or cut, is told.
std::string Version(uint32_t stamp)
{
    const size_t size = 1024 + (stamp * 7919u) % (160 * 1024); // 1 KB to 161 KB
    char head[32];
    const int n = std::snprintf(head, sizeof head, "%zu %u\n", size, stamp);
    std::string s(head, size_t(n));
    while (s.size() < size) s += char('a' + (stamp + s.size()) % 26);
    return s;
}

bool IsWholeVersion(const std::string& s)
{
    size_t size = 0;
    unsigned stamp = 0;
    return std::sscanf(s.c_str(), "%zu %u", &size, &stamp) == 2 && size == s.size() && s == Version(stamp);
}

} // namespace

TEST_F(LoadSaveTest, RunnersNeverReadAHalfWrittenFileWhereverItIsReplaced)
{
    if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
    chmod(dir_.Path().c_str(), 0755);
    const std::string outside = Ensure(dir_ / "outside"), elsewhere = Ensure(dir_ / "elsewhere");
    chmod(outside.c_str(), 0777);
    struct Case {
        const char* what;
        std::string path; // below the save area, or outside it (written as a file picked there)
    };
    // The user's folder and file, of root's group (what chown -R user leaves after a root run);
    // root's file open to all in a folder open to all; the same with the sticky bit; a file
    // with a second name.
    const std::vector<Case> cases = {{"another group", Save("group/f.dat")},
                                     {"0777 folder, another user's file", Save("open/f.dat")},
                                     {"sticky folder, another user's file", Save("sticky/f.dat")},
                                     {"second name", outside + "/f.dat"}};
    Ensure(Save("group"));
    ASSERT_EQ(chown(Save("group").c_str(), kNobody, kNobody), 0);
    MakeFile(Save("group/f.dat"), Version(1), 0664);
    ASSERT_EQ(chown(Save("group/f.dat").c_str(), kNobody, 0), 0);
    Ensure(Save("open"));
    chmod(Save("open").c_str(), 0777);
    MakeFile(Save("open/f.dat"), Version(1), 0666);
    Ensure(Save("sticky"));
    chmod(Save("sticky").c_str(), 01777);
    MakeFile(Save("sticky/f.dat"), Version(1), 0666);
    MakeFile(outside + "/f.dat", Version(1), 0666);
    ASSERT_EQ(link((outside + "/f.dat").c_str(), (elsewhere + "/f.dat").c_str()), 0);
    for (const Case& c : cases) {
        const std::string stop = dir_ / "stop";
        unlink(stop.c_str());
        // Three runners write it again and again; a fourth reads it as a runner does.
        std::vector<pid_t> writers;
        for (uint32_t w = 0; w < 3; w++) {
            const pid_t pid = fork();
            if (pid == 0) {
                if (!Test_BecomeUser({kNobody, kNobody})) _exit(kNotHere);
                for (uint32_t i = 0; i < 150; i++) {
                    const std::string v = Version(2 + i * 3 + w);
                    if (!File_ReplaceAll(c.path.c_str(), v.data(), int64_t(v.size()))) _exit(1);
                }
                _exit(0);
            }
            writers.push_back(pid);
        }
        const pid_t reader = fork();
        if (reader == 0) {
            if (!Test_BecomeUser({kNobody, kNobody})) _exit(kNotHere);
            int torn = 0;
            while (access(stop.c_str(), F_OK) != 0) {
                int32_t size = 0;
                uint8_t* data = File_ReadAll(c.path.c_str(), &size);
                if (data && !IsWholeVersion(std::string(reinterpret_cast<char*>(data), size_t(size)))) torn++;
                MEM_FREE(data);
            }
            _exit(torn > 0 ? 1 : 0);
        }
        for (pid_t pid : writers) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what << ": a write failed";
        }
        Scratch_WriteFile(stop, "");
        int status = 0;
        ASSERT_EQ(waitpid(reader, &status, 0), reader);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what << ": a runner read a half-written file";
        EXPECT_TRUE(IsWholeVersion(Scratch_ReadFile(c.path))) << c.what;
        ExpectNoTemporary(c.path.substr(0, c.path.rfind('/')));
    }
    // The second name still names the file; another user's file in a folder where the user may
    // rename is the user's own now, as before the file was theirs; the sticky folder's stays root's.
    EXPECT_TRUE(IsWholeVersion(Scratch_ReadFile(elsewhere + "/f.dat")));
    struct stat st;
    ASSERT_EQ(stat(Save("open/f.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    ASSERT_EQ(stat(Save("sticky/f.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
}

TEST_F(LoadSaveTest, AFullDiskLeavesTheEarlierFileWholeWhereItIsWrittenInPlace)
{
    if (geteuid() != 0) GTEST_SKIP() << "a file system of its own needs root";
    chmod(dir_.Path().c_str(), 0755);
    const std::string disk = Ensure(dir_ / "disk"), image = dir_ / "disk.img";
    const std::string earlier = Version(1), big(100 * 1024, 'n');
    // A small file system nearly full, a folder with the sticky bit holding root's INI file of
    // 20 KB open to all, and a user who writes 100 KB into it: written nowhere, said, the
    // earlier file whole. Then, with room, written whole.
    const auto play = [&](const std::string& kind) {
        return InChild([&] {
            if (!Test_OwnMounts()) return kNotHere;
            if (kind == "tmpfs" && mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k,mode=755") != 0) return kNotHere;
            // ext2 reserves no room ahead (no fallocate): where a write in place runs out part way.
            if (kind == "ext2" &&
                std::system(("(truncate -s 1M " + image + " && mke2fs -q -F -m 0 -t ext2 " + image + " && mount -o loop " +
                             image + " " + disk + ") >/dev/null 2>&1")
                        .c_str()) != 0)
                return kNotHere;
            const std::string area = disk + "/save", shared = area + "/shared.ini";
            mkdir(area.c_str(), 01777);
            chmod(area.c_str(), 01777);
            MakeFile(shared, earlier, 0666);
            for (int i = 0; i < 1000; i++) { // fill it to some 40 KB of room
                const std::string filler = disk + "/filler" + std::to_string(i);
                struct statvfs fs;
                if (statvfs(disk.c_str(), &fs) != 0) return kNotHere;
                const uint64_t room = uint64_t(fs.f_bavail) * fs.f_frsize;
                if (room <= 48 * 1024) break;
                Scratch_WriteFile(filler, std::string(size_t(std::min<uint64_t>(room - 40 * 1024, 64 * 1024)), 'f'));
            }
            LoadSave_SetFolders((dir_ / "prog").c_str(), area.c_str(), (dir_ / "game").c_str());
            const int full = InChild([&] { return LoadSave_WriteSaveFile("shared.ini", big.data(), int32_t(big.size())) ? 1 : 0; },
                                     true);
            if (full != 0) return 10 + full;
            if (Scratch_ReadFile(shared) != earlier) return 20;
            for (const std::string& name : Scratch_List(area))
                if (name != "shared.ini") return 30;
            for (int i = 0; i < 1000; i++) unlink((disk + "/filler" + std::to_string(i)).c_str());
            const int roomy = InChild([&] { return LoadSave_WriteSaveFile("shared.ini", big.data(), int32_t(big.size())) ? 1 : 0; },
                                      true);
            if (roomy != 1 || Scratch_ReadFile(shared) != big) return 40;
            return 0;
        });
    };
    int played = 0;
    for (const char* kind : {"tmpfs", "ext2"}) {
        const int result = play(kind);
        if (result == kNotHere) continue;
        played++;
        EXPECT_EQ(result, 0) << kind << ": 11 written though it did not fit, 20 the earlier file cut, 30 a temporary left, "
                                       "40 not written with room";
    }
    if (!played) GTEST_SKIP() << "no file system of its own here";
}

TEST_F(LoadSaveTest, ARootRunMakesItsNewFilesAndFoldersInAUsersSaveAreaTheUsers)
{
    if (geteuid() != 0) GTEST_SKIP() << "files for another user need root";
    chmod(dir_.Path().c_str(), 0755);
    // A user's home whose save area does not exist yet, played by a game started with sudo.
    const std::string home = Ensure(dir_ / "home"), area = home + "/share/game";
    ASSERT_EQ(chown(home.c_str(), kNobody, kNobody), 0);
    LoadSave_SetFolders((dir_ / "prog").c_str(), area.c_str(), (dir_ / "game").c_str());
    ASSERT_TRUE(LoadSave_WriteSaveFile("new.ini", "root's", 6));           // a file replaced whole
    ASSERT_TRUE(LoadSave_WriteSaveFile("saves/slot1.dat", "root's", 6));   // and its folder
    FILE* text = File_OpenStream((area + "/log.txt").c_str(), "w");       // a text file by handle
    ASSERT_NE(text, nullptr);
    std::fclose(text);
    ASSERT_TRUE(File_CreateDirectory((area + "/made").c_str()));
    for (const char* name : {"share", "share/game", "share/game/new.ini", "share/game/saves", "share/game/saves/slot1.dat",
                             "share/game/log.txt", "share/game/made"}) {
        struct stat st;
        ASSERT_EQ(lstat((home + "/" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, kNobody) << name;
        EXPECT_EQ(st.st_gid, kNobody) << name;
    }
    // The user's next run replaces and adds to them.
    EXPECT_EQ(InChild([] { return LoadSave_WriteSaveFile("new.ini", "mine", 4) && LoadSave_WriteSaveFile("saves/slot2.dat", "mine", 4) &&
                                           LoadSave_WriteSaveFile("made/a.txt", "mine", 4)
                                       ? 0
                                       : 1; },
                      true),
              0);
    EXPECT_EQ(Scratch_ReadFile(area + "/new.ini"), "mine");
    // Root's own folder keeps root's files.
    LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "rootsave").c_str(), (dir_ / "game").c_str());
    ASSERT_TRUE(LoadSave_WriteSaveFile("root.ini", "x", 1));
    struct stat st;
    ASSERT_EQ(stat((dir_ / "rootsave/root.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
}
