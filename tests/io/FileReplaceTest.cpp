// Files written whole over an earlier file: its owner and group stay, a rename that is refused
// (a sticky folder, a name mounted over) and a file with a second name are written in place,
// and a write in place that cannot fit leaves the file as it was. Cases that need another
// user run in a forked child (as nobody when the tests run as root); giving files to another
// user, mounts and sticky folders of another user's files need root and are skipped without it.
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "support/ScratchFolder.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kNotHere = 98; // the child could not set up what the case needs

struct Child {
    bool plainUser = false; // as nobody when this process is root
    rlim_t fileLimit = 0;   // bytes (ulimit -f), 0 for none; SIGXFSZ ignored as the runner does
};

// Runs body in a forked child; its result is the child's exit code (-1 when it did not exit).
int InChild(const std::function<int()>& body, Child how = {})
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (how.plainUser && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kNotHere);
        if (how.fileLimit) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{how.fileLimit, how.fileLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kNotHere);
        }
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Written(bool ok) { return ok ? 0 : 1; }

// <scratch>/game (current and working folder), <scratch>/prog, <scratch>/save (save area), all
// reachable by another user.
class FileReplaceTest : public ::testing::Test {
protected:
    FileReplaceTest() : cwd_(Ensure(dir_ / "game"))
    {
        chmod(dir_.Path().c_str(), 0755);
        Ensure(dir_ / "save");
        LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "save").c_str(), (dir_ / "game").c_str());
    }
    ~FileReplaceTest() override
    {
        LoadSave_SetFolders(nullptr, nullptr, nullptr);
        LoadSave_ClearAllowedFiles();
    }
    static std::string Ensure(const std::string& folder)
    {
        mkdir(folder.c_str(), 0755);
        return folder;
    }
    std::string Save(const std::string& rest) const { return dir_ / ("save/" + rest); }
    static struct stat Stat(const std::string& path)
    {
        struct stat st {};
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        return st;
    }
    // A file of the test's with its mode bits set (owned by this process).
    static void Make(const std::string& path, const std::string& text, mode_t mode)
    {
        Scratch_WriteFile(path, text);
        chmod(path.c_str(), mode);
    }
    static void ExpectNoTemporary(const std::string& folder)
    {
        for (const std::string& name : Scratch_List(folder)) EXPECT_NE(name[0], '.') << folder << "/" << name;
    }

    ScratchFolder dir_;
    ScopedCurrentFolder cwd_;
};

} // namespace

TEST_F(FileReplaceTest, TheOwnerAndGroupOfAReplacedFileStay)
{
    if (geteuid() != 0) GTEST_SKIP() << "files of another user need root";
    // Root (a game started with sudo) replaces a user's file: it stays the user's.
    Make(Save("user.ini"), "earlier", 0640);
    ASSERT_EQ(chown(Save("user.ini").c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(LoadSave_WriteSaveFile("user.ini", "new", 3));
    struct stat st = Stat(Save("user.ini"));
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Scratch_ReadFile(Save("user.ini")), "new");
    // A user replaces root's file open to all in a folder open to all: the new file cannot be
    // given to root, so it is written in place and stays root's.
    chmod(Save("").c_str(), 0777);
    Make(Save("root.ini"), "the earlier text", 0666);
    EXPECT_EQ(InChild([] { return Written(LoadSave_WriteSaveFile("root.ini", "new", 3)); }, {true}), 0);
    EXPECT_EQ(Scratch_ReadFile(Save("root.ini")), "new");
    EXPECT_EQ(Stat(Save("root.ini")).st_uid, 0u);
    ExpectNoTemporary(Save(""));
}

TEST_F(FileReplaceTest, ARefusedRenameIsWrittenInPlace)
{
    if (geteuid() != 0) GTEST_SKIP() << "another user's file and mounts need root";
    // A save folder with the sticky bit holding another user's file open to all.
    chmod(Save("").c_str(), 01777);
    Make(Save("shared.ini"), "the earlier text", 0666);
    EXPECT_EQ(InChild([] { return Written(LoadSave_WriteSaveFile("shared.ini", "new", 3)); }, {true}), 0);
    EXPECT_EQ(Scratch_ReadFile(Save("shared.ini")), "new");
    EXPECT_EQ(Stat(Save("shared.ini")).st_uid, 0u);
    // A file mounted over the name (a file bound into a container): the rename is refused
    // (busy), and the file is written through the name in place.
    const std::string bound = dir_ / "bound.ini";
    Make(bound, "the earlier text", 0644);
    Make(Save("bound.ini"), "", 0644);
    const int result = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(bound.c_str(), Save("bound.ini").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return kNotHere;
        return Written(LoadSave_WriteSaveFile("bound.ini", "new", 3));
    });
    ExpectNoTemporary(Save(""));
    if (result == kNotHere) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Scratch_ReadFile(bound), "new");
}

TEST_F(FileReplaceTest, AFileWithASecondNameIsWrittenThroughEveryName)
{
    // A file picked in a save dialog outside the save area, with a second name elsewhere.
    const std::string picked = dir_ / "picked.txt", other = dir_ / "elsewhere/other.txt";
    Make(picked, "the earlier text, longer", 0644);
    Ensure(dir_ / "elsewhere");
    ASSERT_EQ(link(picked.c_str(), other.c_str()), 0);
    LoadSave_AllowWrite(picked.c_str());
    ASSERT_TRUE(LoadSave_WriteSaveFile(picked.c_str(), "new", 3));
    EXPECT_EQ(Scratch_ReadFile(picked), "new");
    EXPECT_EQ(Scratch_ReadFile(other), "new");
    EXPECT_EQ(Stat(picked).st_ino, Stat(other).st_ino);
    // The stream writers (pictures) alike.
    FileReplace out;
    ASSERT_TRUE(out.Open(picked.c_str()));
    std::fputs("streamed", out.Stream());
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(Scratch_ReadFile(other), "streamed");
    // Past the file-size limit nothing is written and nothing emptied.
    const std::string large(64, 'x');
    EXPECT_EQ(InChild([&] { return Written(LoadSave_WriteSaveFile(picked.c_str(), large.data(), 64)); }, {false, 16}), 1);
    EXPECT_EQ(Scratch_ReadFile(other), "streamed");
    ExpectNoTemporary(dir_.Path());
    ExpectNoTemporary(dir_ / "elsewhere");
}

TEST_F(FileReplaceTest, AWriteInPlaceThatCannotFitLeavesTheFileAsItWas)
{
    // Nothing can be made beside the file (a folder the user may not write): written in place,
    // and only once the whole content is known to fit.
    Make(Save("open.ini"), "the earlier text", 0666);
    chmod(Save("").c_str(), 0555);
    const Child limited{true, 16};
    const std::string large(64, 'x');
    EXPECT_EQ(InChild([&] { return Written(LoadSave_WriteSaveFile("open.ini", large.data(), 64)); }, limited), 1);
    EXPECT_EQ(Scratch_ReadFile(Save("open.ini")), "the earlier text");
    EXPECT_EQ(InChild([] { return Written(LoadSave_WriteSaveFile("open.ini", "new", 3)); }, limited), 0);
    EXPECT_EQ(Scratch_ReadFile(Save("open.ini")), "new");
    chmod(Save("").c_str(), 0755);
    // On a full disk (a file system that can tell in advance), likewise.
    if (geteuid() != 0) GTEST_SKIP() << "a small disk needs root";
    const std::string disk = dir_ / "disk";
    Ensure(disk);
    const int result = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
            return kNotHere;
        const std::string file = disk + "/two.txt", second = disk + "/names.txt";
        Scratch_WriteFile(file, "the earlier text");
        if (link(file.c_str(), second.c_str()) != 0) return kNotHere;
        const std::string filler(60 * 1024, 'f');
        File_WriteAll((disk + "/filler").c_str(), filler.data(), int64_t(filler.size())); // as much as fits
        const std::string big(16 * 1024, 'x');
        const bool written = File_ReplaceAll(file.c_str(), big.data(), int64_t(big.size()));
        return written ? 1 : Scratch_ReadFile(second) == "the earlier text" ? 0 : 2;
    });
    if (result == kNotHere) GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(result, 0);
}
