// File layer: name splitting, full paths, case-insensitive resolution, folder creation,
// plain-file reads, the symlink-safe tree delete, the temporary folder, and the lock held
// elsewhere that a whole-file read and a write in place wait for until the run's quit.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "Files/Base/QuitRequest.h"
#include "Files/Base/Random.h"
#include "Files/Support/File.h"
#include "Platform/MemoryManager.h"
#include "support/RunTime.h"
#include "support/ScratchFolder.h"

namespace {

std::string Take(char* s)
{
    std::string r = s ? s : "<null>";
    MEM_FREE(s);
    return r;
}

} // namespace

TEST(File, NamesSplitAtTheLastSeparatorOfEitherKind)
{
    EXPECT_EQ(Take(File_ExtractDir("C:\\a\\b.txt")), "C:\\a");
    EXPECT_EQ(Take(File_ExtractDir("b.txt")), "");
    EXPECT_EQ(Take(File_ExtractDir("/x")), "");
    EXPECT_EQ(Take(File_ExtractDir("a/b\\c/d.png")), "a/b\\c");
    EXPECT_EQ(Take(File_ExtractDir(nullptr)), "");
    EXPECT_EQ(Take(File_ExtractName("a\\b/c.txt")), "c.txt");
    EXPECT_EQ(Take(File_ExtractName("plain")), "plain");
    EXPECT_EQ(Take(File_ExtractName("dir/")), "");
    EXPECT_EQ(Take(File_ExtractDrive("C:\\a")), "C:");
    EXPECT_EQ(Take(File_ExtractDrive("/a")), "");
    EXPECT_EQ(Take(File_ExtractExt("a/b.tar.gz")), ".gz");
    EXPECT_EQ(Take(File_ExtractExt("a.d/noext")), "");
    EXPECT_EQ(Take(File_ExtractExt(".hidden")), ".hidden");
    EXPECT_EQ(Take(File_ExtractExt("C:x.ini")), ".ini");
}

TEST(File, FullPathsFoldDotsAndSeparators)
{
    ScratchFolder dir;
    ScopedCurrentFolder cwd(dir.Path());
    EXPECT_EQ(File_FullPath("a\\b\\..\\c.txt"), dir / "a/c.txt");
    EXPECT_EQ(File_FullPath("./x//y/"), dir / "x/y/");
    EXPECT_EQ(File_FullPath("/../../etc/./passwd"), "/etc/passwd");
    EXPECT_EQ(File_FullPath("/"), "/");
    EXPECT_EQ(File_FullPath("C:\\Games\\..\\x"), "C:/x");
    EXPECT_EQ(File_FullPath(""), "");
    EXPECT_EQ(File_FullPath(nullptr), "");
}

TEST(File, NamesResolveIgnoringLetterCaseComponentByComponent)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "Music/Level One/Theme.OGG", "x");
    EXPECT_EQ(File_Resolve((dir / "music\\level one\\theme.ogg").c_str()), dir / "Music/Level One/Theme.OGG");
    // Components after the first missing one stay as written.
    EXPECT_EQ(File_Resolve((dir / "MUSIC/new/File.txt").c_str()), dir / "Music/new/File.txt");
    EXPECT_EQ(File_Resolve((dir / "music/").c_str()), dir / "Music/");
    // An exact match wins; several case variants give the byte-wise smallest.
    Scratch_WriteFile(dir / "b/File", "1");
    Scratch_WriteFile(dir / "b/FILE", "2");
    Scratch_WriteFile(dir / "b/file", "3");
    EXPECT_EQ(File_Resolve((dir / "b/file").c_str()), dir / "b/file");
    EXPECT_EQ(File_Resolve((dir / "b/fILE").c_str()), dir / "b/FILE");

    ScopedCurrentFolder cwd(dir.Path());
    EXPECT_EQ(File_Resolve("MUSIC\\Level ONE"), "Music/Level One");
    EXPECT_TRUE(File_Exists("music/level one/theme.ogg"));
    EXPECT_TRUE(File_DirectoryExists("MUSIC"));
    EXPECT_FALSE(File_Exists("MUSIC"));
    EXPECT_FALSE(File_DirectoryExists("music/level one/theme.ogg"));
    EXPECT_FALSE(File_Exists(nullptr));
}

TEST(File, CreateDirectoryMakesEveryMissingParent)
{
    ScratchFolder dir;
    EXPECT_TRUE(File_CreateDirectory((dir / "a\\b\\").c_str()));
    EXPECT_TRUE(File_DirectoryExists((dir / "a").c_str()));
    EXPECT_TRUE(File_DirectoryExists((dir / "a/b").c_str()));
    EXPECT_TRUE(File_CreateDirectory((dir / "A/B/c").c_str())); // reuses a and b
    EXPECT_TRUE(File_DirectoryExists((dir / "a/b/c").c_str()));
    EXPECT_FALSE(Scratch_Exists(dir / "A"));
    Scratch_WriteFile(dir / "file", "x");
    EXPECT_FALSE(File_CreateDirectory((dir / "file/sub").c_str()));
    EXPECT_FALSE(File_CreateDirectory(""));
    EXPECT_FALSE(File_CreateDirectory(nullptr));
    EXPECT_TRUE(File_CreateDirectory("/"));
}

TEST(File, ReadAllTakesPlainFilesOnly)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "f", "abc");
    int32_t size = -1;
    uint8_t* data = File_ReadAll((dir / "f").c_str(), &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(data[3], 0); // terminated
    MEM_FREE(data);
    EXPECT_EQ(File_ReadAll(dir.Path().c_str(), &size), nullptr);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(File_ReadAll((dir / "pipe").c_str(), &size), nullptr); // and does not wait
    EXPECT_FALSE(File_CanRead((dir / "pipe").c_str()));
    EXPECT_EQ(size, 0);
}

TEST(File, TreeDeleteRemovesLinksWithoutFollowingThem)
{
    ScratchFolder dir;
    Scratch_WriteFile(dir / "keep/precious.txt", "mine");
    Scratch_WriteFile(dir / "tree/a/b/file.txt", "x");
    ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "tree/a/linkdir").c_str()), 0);
    ASSERT_EQ(symlink((dir / "keep/precious.txt").c_str(), (dir / "tree/linkfile").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (dir / "tree/dangling").c_str()), 0);
    Scratch_WriteFile(dir / "tree/ro/inner.txt", "y");
    chmod((dir / "tree/ro/inner.txt").c_str(), 0400);
    chmod((dir / "tree/ro").c_str(), 0500);

    EXPECT_TRUE(File_DeleteTree((dir / "tree").c_str()));
    EXPECT_FALSE(Scratch_Exists(dir / "tree"));
    EXPECT_EQ(Scratch_ReadFile(dir / "keep/precious.txt"), "mine");

    // A link given as the folder itself is refused.
    ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "toplink").c_str()), 0);
    EXPECT_FALSE(File_DeleteTree((dir / "toplink").c_str()));
    EXPECT_EQ(Scratch_ReadFile(dir / "keep/precious.txt"), "mine");
    EXPECT_FALSE(File_DeleteTree((dir / "missing").c_str()));
}

TEST(File, TheTemporaryFolderIsMadeUnderTempAndDeletedWhole)
{
    ScratchFolder dir;
    ScopedEnv temp("TEMP", dir.Path().c_str());
    EXPECT_EQ(File_TempDirectory(), nullptr);
    ASSERT_TRUE(File_InitTempDirectory());
    std::string folder = Take(File_TempDirectory());
    EXPECT_EQ(folder.rfind(dir / "zb_ttt_", 0), 0u) << folder;
    EXPECT_TRUE(File_DirectoryExists(folder.c_str()));
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    Scratch_WriteFile(folder + "/x/y.txt", "z");

    File_DeleteTempDirectory();
    EXPECT_FALSE(Scratch_Exists(folder));
    EXPECT_EQ(File_TempDirectory(), nullptr);
}

TEST(File, TheTemporaryFolderFallsBackToTmp)
{
    ScopedEnv temp("TEMP", "/nonexistent/zb/base");
    ASSERT_TRUE(File_InitTempDirectory());
    EXPECT_EQ(std::string(File_TempDirectoryPath()).rfind("/tmp/zb_ttt_", 0), 0u);
    File_DeleteTempDirectory();
}

TEST(File, TemporaryFileNamesAvoidExistingFiles)
{
    EXPECT_EQ(File_TempFileName(".txt"), nullptr); // no temporary folder yet
    ScratchFolder dir;
    ScopedEnv temp("TEMP", dir.Path().c_str());
    ASSERT_TRUE(File_InitTempDirectory());
    std::string folder = File_TempDirectoryPath();

    Random_SetSeed(99);
    std::string first = Take(File_TempFileName(".txt"));
    ASSERT_EQ(first.rfind(folder + "/a", 0), 0u) << first;
    EXPECT_EQ(first.substr(first.size() - 4), ".txt");
    std::string digits = first.substr(folder.size() + 2, first.size() - folder.size() - 6);
    EXPECT_FALSE(digits.empty());
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_LT(std::stol(digits), 100000);

    Scratch_WriteFile(first, "taken");
    Random_SetSeed(99); // the same draw comes first again
    std::string second = Take(File_TempFileName(".txt"));
    EXPECT_NE(second, first);
    EXPECT_EQ(second.rfind(folder + "/a", 0), 0u);
    File_DeleteTempDirectory();
}

// Another holder of a file's lock (here another open of it) is waited for while it lets go soon;
// once the run's quit comes the wait ends at once, and the file is read, or written in place
// (it has a second name), without the lock.
TEST(File, ALockHeldElsewhereIsWaitedForUntilTheQuit)
{
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
    ScratchFolder dir;
    const std::string file = dir / "f.txt";
    Scratch_WriteFile(file, "old");
    ASSERT_EQ(link(file.c_str(), (dir / "second").c_str()), 0); // written over in place, under the lock
    const int holder = open(file.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    int32_t size = 0;

    // Let go after 0.3 s: the read waits for it.
    std::thread letGo([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        flock(holder, LOCK_UN);
    });
    auto start = Clock::now();
    uint8_t* data = File_ReadAll(file.c_str(), &size);
    EXPECT_GE(secondsSince(start), 0.25);
    letGo.join();
    ASSERT_NE(data, nullptr);
    MEM_FREE(data);

    // Held for ever: the quit, noted meanwhile, ends the write's wait; afterwards the read does
    // not wait at all.
    ASSERT_EQ(flock(holder, LOCK_SH), 0);
    // At once: counted from the quit itself (the noter's sleep may run long on a loaded
    // machine), within a quarter of a second and what the load took from this process
    // meanwhile; not the two seconds a lock is waited for at most.
    std::atomic<Clock::rep> noted{0};
    RunTime times(getpid());
    std::thread noter([&noted, &times] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        times.Mark();
        noted = Clock::now().time_since_epoch().count();
        QuitRequest_NoteQuit();
    });
    EXPECT_TRUE(File_ReplaceAll(file.c_str(), "new", 3));
    const double waited = secondsSince(Clock::time_point(Clock::duration(noted.load())));
    noter.join();
    times.Sample();
    EXPECT_LT(waited, 0.25 + times.Lost());
    EXPECT_EQ(Scratch_ReadFile(dir / "second"), "new");
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    times.Mark();
    start = Clock::now();
    data = File_ReadAll(file.c_str(), &size);
    const double read = secondsSince(start);
    times.Sample();
    EXPECT_LT(read, 0.25 + times.Lost()); // no wait at all
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size_t(size)), "new");
    MEM_FREE(data);
    QuitRequest_ForgetQuit();
    close(holder);
}
