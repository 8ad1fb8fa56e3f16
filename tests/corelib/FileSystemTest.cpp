// Files and folders by name (exists, delete, rename, copy, folders), the find list with its
// patterns and attribute mask, file attributes, file names taken apart, programs and the
// shell, the command line and the environment.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "Files/Function/Function_File.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

class FileSystem : public CorelibTest {
protected:
    // Every name of the find list for a pattern and mask.
    std::vector<std::string> Find(const std::string& pattern, double mask)
    {
        std::vector<std::string> names;
        for (std::string n = Str("file_find_first", {pattern, mask}); !n.empty(); n = Str("file_find_next"))
            names.push_back(n);
        Call("file_find_close");
        return names;
    }
};

using Names = std::vector<std::string>;

// [SECTION] Files and folders

TEST_F(FileSystem, ExistsLooksInBothFoldersForPlainFiles)
{
    Scratch_WriteFile(InProgram("p.txt"), "");
    Scratch_WriteFile(InSave("s.txt"), "");
    Scratch_WriteFile(InSave("folder/x"), "");
    Scratch_WriteFile(Outside() + "/o.txt", "");
    EXPECT_EQ(Num("file_exists", {"p.txt"}), 1);
    EXPECT_EQ(Num("file_exists", {"S.TXT"}), 1);
    EXPECT_EQ(Num("file_exists", {"folder"}), 0);
    EXPECT_EQ(Num("file_exists", {"none"}), 0);
    EXPECT_EQ(Num("file_exists", {"../outside/o.txt"}), 0);
    EXPECT_EQ(Num("file_exists", {Outside() + "/o.txt"}), 0);
    EXPECT_EQ(Num("file_exists", {5}), 0);
}

TEST_F(FileSystem, DeleteAndRenameWorkOnlyInTheSaveArea)
{
    Scratch_WriteFile(InProgram("p.txt"), "program");
    Scratch_WriteFile(InSave("s.txt"), "save");
    Call("file_delete", {"p.txt"});
    EXPECT_TRUE(Scratch_Exists(InProgram("p.txt")));
    Call("file_rename", {"p.txt", "q.txt"});
    EXPECT_TRUE(Scratch_Exists(InProgram("p.txt")));
    EXPECT_FALSE(Scratch_Exists(InSave("q.txt")));

    Call("file_rename", {"s.txt", "t.txt"});
    EXPECT_EQ(Scratch_ReadFile(InSave("t.txt")), "save");
    EXPECT_FALSE(Scratch_Exists(InSave("s.txt")));
    // Renaming onto an existing file keeps both.
    Scratch_WriteFile(InSave("u.txt"), "other");
    Call("file_rename", {"t.txt", "u.txt"});
    EXPECT_EQ(Scratch_ReadFile(InSave("t.txt")), "save");
    EXPECT_EQ(Scratch_ReadFile(InSave("u.txt")), "other");
    // Out of the save area nothing moves.
    Call("file_rename", {"t.txt", "../outside/t.txt"});
    EXPECT_TRUE(Scratch_Exists(InSave("t.txt")));

    Call("file_delete", {"T.txt"});
    EXPECT_FALSE(Scratch_Exists(InSave("t.txt")));
    Scratch_WriteFile(InSave("dir/inner"), "");
    Call("file_delete", {"dir"});
    EXPECT_TRUE(Scratch_Exists(InSave("dir/inner")));
    EXPECT_EQ(Errors(), 0);
}

TEST_F(FileSystem, CopyReadsEitherFolderAndWritesTheSaveArea)
{
    std::string big(10000, 'b');
    big[4095] = 'x';
    Scratch_WriteFile(InProgram("big.dat"), big);
    EXPECT_EQ(Num("file_copy", {"big.dat", "copy.dat"}), 0);
    EXPECT_EQ(Scratch_ReadFile(InSave("copy.dat")), big);
    EXPECT_EQ(Num("file_copy", {"copy.dat", "copy2.dat"}), 0);
    EXPECT_EQ(Scratch_ReadFile(InSave("copy2.dat")), big);

    EXPECT_EQ(Num("file_copy", {"none.dat", "x.dat"}), -1);
    EXPECT_TRUE(Logged("Unable to open source file none.dat\n"));
    EXPECT_FALSE(Scratch_Exists(InSave("x.dat")));
    // No folders are made for the destination; a refused destination copies nothing.
    EXPECT_EQ(Num("file_copy", {"big.dat", "sub/copy.dat"}), -1);
    EXPECT_EQ(Num("file_copy", {"big.dat", "../outside/copy.dat"}), -1);
    EXPECT_FALSE(Scratch_Exists(Outside() + "/copy.dat"));
    // A file copied onto itself keeps its bytes.
    EXPECT_EQ(Num("file_copy", {"copy.dat", "COPY.DAT"}), 0);
    EXPECT_EQ(Scratch_ReadFile(InSave("copy.dat")), big);
}

TEST_F(FileSystem, FoldersAreMadeInTheSaveAreaAndFoundInBoth)
{
    Call("directory_create", {"levels/one"});
    struct stat st;
    ASSERT_EQ(stat(InSave("levels/one").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(Num("directory_exists", {"levels"}), 1);
    EXPECT_EQ(Num("directory_exists", {"LEVELS/One"}), 1);
    Scratch_WriteFile(InProgram("assets/a.png"), "");
    EXPECT_EQ(Num("directory_exists", {"assets"}), 1);
    EXPECT_EQ(Num("directory_exists", {"assets/a.png"}), 0);
    EXPECT_EQ(Num("directory_exists", {"nothing"}), 0);
    Call("directory_create", {"../outside/made"});
    EXPECT_FALSE(Scratch_Exists(Outside() + "/made"));
}

TEST_F(FileSystem, CreateDirectoryForMakesTheFoldersOfAPath)
{
    File_CreateDirectoryFor((m_root.Path() + "/x/y/z.txt").c_str());
    EXPECT_TRUE(Scratch_Exists(m_root.Path() + "/x/y"));
    EXPECT_FALSE(Scratch_Exists(m_root.Path() + "/x/y/z.txt"));
    File_CreateDirectoryFor((m_root.Path() + "\\w\\v.txt").c_str()); // cut at the last separator of either kind
    File_CreateDirectoryFor("plain.txt");                             // nothing
    File_CreateDirectoryFor(nullptr);
}

// [SECTION] Find list

TEST_F(FileSystem, FindListsBothFoldersSaveAreaFirstEachNameOnce)
{
    Scratch_WriteFile(InSave("b.txt"), "");
    Scratch_WriteFile(InSave("A.txt"), "");
    Scratch_WriteFile(InSave("c.dat"), "");
    Scratch_WriteFile(InProgram("a.txt"), ""); // another spelling: another name
    Scratch_WriteFile(InProgram("b.txt"), "");
    Scratch_WriteFile(InProgram("0.TXT"), "");
    Scratch_WriteFile(InSave("sub/d.txt"), "");
    EXPECT_EQ(Find("*.txt", 0), (Names{"A.txt", "b.txt", "0.TXT", "a.txt"}));
    // With 16 folders come too; the save area's first.
    EXPECT_EQ(Find("*", 16), (Names{"A.txt", "b.txt", "c.dat", "sub", "0.TXT", "a.txt"}));
    EXPECT_EQ(Find("sub/*.TXT", 0), (Names{"d.txt"}));
    EXPECT_EQ(Find("?.dat", 0), (Names{"c.dat"}));
    EXPECT_EQ(Find("none*", 0), Names{});
    EXPECT_EQ(Find("../outside/*", 0), Names{});
    EXPECT_EQ(Find("sub/", 16), Names{});
}

TEST_F(FileSystem, FindMasksByAttributes)
{
    Scratch_WriteFile(InSave("plain"), "");
    Scratch_WriteFile(InSave(".hidden"), "");
    Scratch_WriteFile(InSave("locked"), "");
    chmod(InSave("locked").c_str(), 0444);
    Scratch_WriteFile(InSave("folder/x"), "");
    Scratch_WriteFile(InSave(".hiddenfolder/x"), "");
    // No bit apart from 16: every plain file.
    EXPECT_EQ(Find("*", 0), (Names{".hidden", "locked", "plain"}));
    EXPECT_EQ(Find("*", 16), (Names{".hidden", ".hiddenfolder", "folder", "locked", "plain"}));
    // Other bits: files sharing one of them; folders only with 16.
    EXPECT_EQ(Find("*", 1), (Names{"locked"}));
    EXPECT_EQ(Find("*", 2), (Names{".hidden"}));
    EXPECT_EQ(Find("*", 2 + 16), (Names{".hidden", ".hiddenfolder", "folder"}));
    EXPECT_EQ(Find("*", 32), (Names{".hidden", "locked", "plain"}));
    EXPECT_EQ(Find("*", 4), Names{});
    EXPECT_EQ(Find("*", 1.9), (Names{"locked"})); // the mask is truncated
}

TEST_F(FileSystem, FindNextAndCloseWalkTheListOnce)
{
    Scratch_WriteFile(InSave("one.sav"), "");
    Scratch_WriteFile(InSave("two.sav"), "");
    EXPECT_EQ(Str("file_find_first", {"*.sav", 0}), "one.sav");
    EXPECT_EQ(Str("file_find_next"), "two.sav");
    EXPECT_EQ(Str("file_find_next"), "");
    EXPECT_EQ(Str("file_find_next"), "");
    Call("file_find_close");
    EXPECT_EQ(Str("file_find_next"), "");
    Call("file_find_close");
    // A new search starts afresh; one with no match leaves nothing to walk.
    EXPECT_EQ(Str("file_find_first", {"two.*", 0}), "two.sav");
    EXPECT_EQ(Str("file_find_first", {"*.none", 0}), "");
    EXPECT_EQ(Str("file_find_next"), "");
}

TEST(FileWildcard, MatchesAsTheWindowsFindDoes)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "anything", true},        {"*", "", true},
        {"*.*", "noext", true},         {"*.*", "a.b", true},
        {"save.*", "save", true},       {"save.*", "saves", false},
        {"save.*", "save.dat", true},   {"*.txt", "A.TXT", true},
        {"*.txt", "a.txt.bak", false},  {"?", "ab", false},
        {"??", "ab", true},             {"a?c", "abc", true},
        {"a*b*c", "aXXbYYc", true},     {"a*b*c", "aXXbYY", false},
        {"*ab", "aab", true},           {"a[1].txt", "a[1].txt", true},
        {"a[1].txt", "a1.txt", false},  {"?.txt", "\xC3\xA9.txt", true}, // one character of two bytes
        {"*\xC3\xA9", "x\xC3\xA9", true}, {"", "", true},
        {"", "a", false},               {"***", "abc", true},
    };
    for (const Case& c : cases) EXPECT_EQ(File_WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
    EXPECT_FALSE(File_WildcardMatch(nullptr, "a"));
    // Long names and patterns stay fast (no backtracking blow-up).
    std::string name(20000, 'a'), pattern = std::string(200, '*') + "b";
    EXPECT_FALSE(File_WildcardMatch(pattern.c_str(), name.c_str()));
}

TEST_F(FileSystem, FileAttributesGiveTheBitsOfAFileThatHasThoseAskedFor)
{
    Scratch_WriteFile(InSave("plain"), "");
    Scratch_WriteFile(InProgram(".dot"), "");
    Scratch_WriteFile(InSave("ro"), "");
    chmod(InSave("ro").c_str(), 0444);
    Scratch_WriteFile(InSave("dir/x"), "");
    EXPECT_EQ(Num("file_attributes", {"plain", 0}), 32);
    EXPECT_EQ(Num("file_attributes", {".dot", 0}), 32 + 2);
    EXPECT_EQ(Num("file_attributes", {"ro", 0}), 32 + 1);
    EXPECT_EQ(Num("file_attributes", {"dir", 0}), 16);
    EXPECT_EQ(Num("file_attributes", {"ro", 1}), 33);
    EXPECT_EQ(Num("file_attributes", {"plain", 1}), 0);
    EXPECT_EQ(Num("file_attributes", {".dot", 2}), 34);
    EXPECT_EQ(Num("file_attributes", {"dir", 16}), 16);
    EXPECT_EQ(Num("file_attributes", {"none", 0}), 0);
    EXPECT_EQ(Num("file_attributes", {7, 0}), 0);
}

// [SECTION] Names

TEST_F(FileSystem, FileNamesTakenApart)
{
    EXPECT_EQ(Str("filename_name", {"C:\\a\\b.txt"}), "b.txt");
    EXPECT_EQ(Str("filename_path", {"C:\\a\\b.txt"}), "C:\\a");
    EXPECT_EQ(Str("filename_dir", {"C:\\a\\b.txt"}), "C:\\a");
    EXPECT_EQ(Str("filename_dir", {"C:\\a\\\\b.txt"}), "C:\\a");
    EXPECT_EQ(Str("filename_drive", {"C:\\a\\b.txt"}), "C:");
    EXPECT_EQ(Str("filename_ext", {"C:\\a\\b.txt"}), ".txt");
    EXPECT_EQ(Str("filename_name", {"dir/sub\\file"}), "file");
    EXPECT_EQ(Str("filename_path", {"dir\\sub/file"}), "dir\\sub");
    EXPECT_EQ(Str("filename_path", {"\\x.txt"}), "");
    EXPECT_EQ(Str("filename_path", {"x.txt"}), "");
    EXPECT_EQ(Str("filename_drive", {"/a/b"}), "");
    EXPECT_EQ(Str("filename_ext", {"a.b\\noext"}), "");
    EXPECT_EQ(Str("filename_ext", {"archive.tar.gz"}), ".gz");
    EXPECT_EQ(Str("filename_name", {5}), "");

    EXPECT_EQ(Str("filename_change_ext", {"a.b.txt", ".dat"}), "a.b.dat");
    EXPECT_EQ(Str("filename_change_ext", {"save", ".dat"}), "save..dat");
    EXPECT_EQ(Str("filename_change_ext", {"dir\\save.ini", ".bak"}), "dir\\save.bak");
    EXPECT_EQ(Str("filename_change_ext", {"dir.v2\\save", "dat"}), "dir.v2\\save.dat");
    EXPECT_EQ(Str("filename_change_ext", {"a.txt", ""}), "a");
    EXPECT_EQ(Str("filename_change_ext", {"a.txt", 5}), "");
    EXPECT_EQ(Str("filename_change_ext", {5, ".x"}), "");
    EXPECT_TRUE(Call("filename_change_ext", {5, ".x"}).IsString());
}

// [SECTION] Programs and environment

// Waits (bounded) for a file a started program makes.
bool WaitFor(const std::string& path)
{
    for (int i = 0; i < 200; i++) {
        if (Scratch_Exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

TEST_F(FileSystem, ProgramsStartInTheCurrentFolder)
{
    EXPECT_EQ(Num("execute_program", {"/bin/sh", "-c \"echo ran > started.txt\"", 1}), 0);
    EXPECT_EQ(Scratch_ReadFile(InProgram("started.txt")), "ran\n"); // waited for
    EXPECT_EQ(Num("execute_program", {"/bin/sh", "-c \"echo later > later.txt\"", 0}), 0);
    EXPECT_TRUE(WaitFor(InProgram("later.txt")));

    EXPECT_EQ(Num("execute_program", {"/no/such/program", "", 1}), -1);
    EXPECT_TRUE(Logged("Cannot execute /no/such/program\n"));

    Scratch_WriteFile(InProgram("tool.sh"), "#!/bin/sh\necho \"$1\" > shell.txt\n");
    chmod(InProgram("tool.sh").c_str(), 0755);
    EXPECT_EQ(Num("execute_shell", {InProgram("tool.sh"), "argument"}), 0);
    EXPECT_TRUE(WaitFor(InProgram("shell.txt")));
}

TEST_F(FileSystem, ParametersAreTheProcessArguments)
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\0', at);
        if (end == std::string::npos) end = all.size();
        args.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(Num("parameter_count"), double(args.size()));
    EXPECT_EQ(Str("parameter_string", {1}), args[0]);
    EXPECT_EQ(Str("parameter_string", {double(args.size())}), args.back());
    EXPECT_EQ(Str("parameter_string", {0}), "");
    EXPECT_EQ(Str("parameter_string", {-1}), "");
    EXPECT_EQ(Str("parameter_string", {double(args.size() + 1)}), "");
    EXPECT_EQ(Str("parameter_string", {0.5}), ""); // rounds to 0
}

TEST_F(FileSystem, EnvironmentVariables)
{
    ScopedEnv set("ZB_CORELIB_TEST", "value with spaces");
    ScopedEnv unset("ZB_CORELIB_NONE", nullptr);
    EXPECT_EQ(Str("environment_get_variable", {"ZB_CORELIB_TEST"}), "value with spaces");
    EXPECT_EQ(Str("environment_get_variable", {"ZB_CORELIB_NONE"}), "");
    EXPECT_EQ(Str("environment_get_variable", {""}), "");
    EXPECT_EQ(Str("environment_get_variable", {3}), "");
}

} // namespace
