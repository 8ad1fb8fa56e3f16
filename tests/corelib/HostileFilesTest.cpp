// The file built-ins against a hostile save area (links to a file and to a folder outside it,
// named pipes, placed there before the game runs) and execute_file against names outside the
// game's folders: each built-in refuses as it refuses a file that does not open, nothing
// outside is read, written, deleted or moved, and no call waits on a pipe. The links are
// refused in a run as root; a plain user's run follows its user's own links (this process's
// user made them: tests/io/SaveAreaHostileTest.cpp), so there only the pipes and the names
// outside are tried.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/Function/Function_Misc.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

class HostileFiles : public CorelibTest {
protected:
    void SetUp() override
    {
        CorelibTest::SetUp();
        Scratch_WriteFile(Outside() + "/secret.txt", "SECRET LINE\nx = 1;\n");
        Scratch_WriteFile(Outside() + "/victim.ini", "[s]\nk=outside\n");
        Scratch_WriteFile(InSave("plain.txt"), "plain\n");
        Link(Outside() + "/secret.txt", "link.txt");
        Link(Outside() + "/victim.ini", "link.ini");
        Link(Outside(), "dirlink");
        for (const char* pipe : {"pipe", "pipe.ini"}) ASSERT_EQ(mkfifo(InSave(pipe).c_str(), 0666), 0);
        alarm(60); // a built-in that waited on a pipe would end the test here
    }
    void TearDown() override
    {
        alarm(0);
        Function_Misc_FreeExecuteCache(); // the units execute_file kept, before the machine's tables
        CorelibTest::TearDown();
    }
    void Link(const std::string& target, const char* name) { ASSERT_EQ(symlink(target.c_str(), InSave(name).c_str()), 0); }
    // A run as root refuses every link in the save area; a plain user's follows its own.
    static bool RefusesLinks() { return geteuid() == 0; }
    // The names in the save area that lead nowhere: the links (as root) and the pipe.
    static std::vector<std::string> Hostile()
    {
        if (!RefusesLinks()) return {"pipe"};
        return {"link.txt", "dirlink/secret.txt", "pipe"};
    }
    void ExpectOutsideUntouched()
    {
        EXPECT_EQ(Scratch_ReadFile(Outside() + "/secret.txt"), "SECRET LINE\nx = 1;\n");
        EXPECT_EQ(Scratch_ReadFile(Outside() + "/victim.ini"), "[s]\nk=outside\n");
        for (const char* made : {"new.txt", "sub", "moved.txt", "copy.txt"})
            EXPECT_FALSE(Scratch_Exists(Outside() + "/" + made)) << made;
        EXPECT_FALSE(Log().find("SECRET") != std::string::npos) << Log();
    }
};

} // namespace

TEST_F(HostileFiles, TextAndBinaryFilesRefuseLinksAndPipes)
{
    for (const std::string& hostile : Hostile()) {
        const char* name = hostile.c_str();
        EXPECT_EQ(Num("file_text_open_read", {name}), -1) << name;
        EXPECT_EQ(Num("file_text_open_write", {name}), -1) << name;
        EXPECT_EQ(Num("file_text_open_append", {name}), -1) << name;
        for (int mode : {0, 1, 2}) EXPECT_EQ(Num("file_bin_open", {name, mode}), -1) << name << " " << mode;
    }
    EXPECT_TRUE(Logged("ERROR!!! :: Failed to open file: pipe\n"));
    EXPECT_TRUE(Logged("Error opening binary file pipe\n"));
    if (RefusesLinks()) {
        EXPECT_EQ(Num("file_text_open_write", {"dirlink/new.txt"}), -1);
        EXPECT_EQ(Num("file_bin_open", {"dirlink/new.txt", 1}), -1);
        EXPECT_TRUE(Logged("ERROR!!! :: Failed to open file: link.txt\n"));
        // The older single file takes the same mapping.
        Call("file_open_write", {"link.txt"});
        Call("file_write_string", {"x"});
        Call("file_close");
    }
    Call("file_open_read", {"pipe"});
    Call("file_close");
    // Ordinary files beside them still work.
    const double h = Num("file_text_open_read", {"plain.txt"});
    ASSERT_GE(h, 1);
    EXPECT_EQ(Str("file_text_read_string", {h}), "plain");
    Call("file_text_close", {h});
    ExpectOutsideUntouched();
    struct stat st {};
    EXPECT_EQ(lstat(InSave("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)); // still the pipe, never opened for writing
}

TEST_F(HostileFiles, IniFilesNeitherReadNorWriteThroughLinksOrPipes)
{
    if (RefusesLinks()) {
        Call("ini_open", {"link.ini"});
        EXPECT_EQ(Str("ini_read_string", {"s", "k", "none"}), "none"); // the outside file was not read
        Call("ini_write_real", {"s", "k", 7});
        Call("ini_close");
        Call("ini_open", {"dirlink/new.txt"});
        Call("ini_write_real", {"s", "k", 7});
        Call("ini_close");
    }
    Call("ini_open", {"pipe.ini"});
    Call("ini_write_real", {"s", "k", 7});
    Call("ini_close"); // would wait for a reader of the pipe for ever
    ExpectOutsideUntouched();
}

TEST_F(HostileFiles, CopyDeleteRenameAndFoldersStayInTheSaveArea)
{
    EXPECT_EQ(Num("file_copy", {"plain.txt", "pipe"}), -1);
    EXPECT_EQ(Num("file_copy", {"pipe", "copy.txt"}), -1);
    if (RefusesLinks()) {
        EXPECT_EQ(Num("file_copy", {"plain.txt", "link.txt"}), -1);
        EXPECT_EQ(Num("file_copy", {"plain.txt", "dirlink/copy.txt"}), -1);
        EXPECT_EQ(Num("file_copy", {"link.txt", "copy.txt"}), -1);
        Call("file_delete", {"dirlink/secret.txt"});
        Call("file_rename", {"plain.txt", "dirlink/moved.txt"});
        Call("file_rename", {"dirlink/secret.txt", "stolen.txt"});
        Call("directory_create", {"dirlink/sub"});
        EXPECT_EQ(Num("directory_exists", {"dirlink"}), 0);
        EXPECT_EQ(Str("file_find_first", {"dirlink/*", 0}), ""); // no listing of the folder outside
        Call("file_find_close");
    }
    EXPECT_FALSE(Scratch_Exists(InSave("copy.txt")));
    EXPECT_TRUE(Scratch_Exists(InSave("plain.txt")));
    EXPECT_FALSE(Scratch_Exists(InSave("stolen.txt")));
    for (const std::string& name : Hostile()) EXPECT_EQ(Num("file_exists", {name}), 0) << name;
    ExpectOutsideUntouched();
}

TEST_F(HostileFiles, ExecuteFileReadsOnlyTheGamesFiles)
{
    Scratch_WriteFile(InSave("ok.txt"), "return argument0 + 1;\n");
    Scratch_WriteFile(InProgram("prog.txt"), "return 40 + 2;\n");
    EXPECT_EQ(Num("execute_file", {"ok.txt", 6}), 7);
    EXPECT_EQ(Num("execute_file", {"prog.txt"}), 42);
    EXPECT_EQ(Errors(), 0);
    // A file outside the game's folders, by its absolute path, through "..", through a link
    // to it or to its folder: never read (its first line would show in the compile error).
    std::vector<std::string> names = Hostile();
    names.insert(names.end(), {Outside() + "/secret.txt", std::string("../outside/secret.txt")});
    for (const std::string& name : names) {
        ClearLog();
        EXPECT_EQ(Num("execute_file", {name}), 0) << name;
        EXPECT_EQ(Errors(), 1) << name << Log();
        EXPECT_TRUE(Logged("Trying to execute non-existing file.")) << name << Log();
        const char* last = Code_Error_LastShown();
        EXPECT_EQ(std::string(last ? last : "").find("SECRET"), std::string::npos) << last;
    }
    ExpectOutsideUntouched();
}
