// Binary files, text files and the older single file: where names go (save area, program
// folder, refused names), the two tables of 31 handles, reading and writing with the text
// streams' line ends, positions, and every error of a handle in the wrong state.
#include <sys/stat.h>

#include "Files/Function/Function_File.h"
#include "Files/Support/LoadSave.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

class FileHandles : public CorelibTest {};

// [SECTION] Binary files

TEST_F(FileHandles, BinaryWriteGoesToTheSaveAreaWithItsFoldersAndReadsBack)
{
    double h = Num("file_bin_open", {"data/level/a.bin", 1});
    ASSERT_EQ(h, 1);
    for (int b : {0, 1, 127, 128, 255}) Call("file_bin_write_byte", {h, b});
    Call("file_bin_write_byte", {h, 263.5}); // rounds to 264: low byte 8
    Call("file_bin_write_byte", {h, -1});    // low byte 255
    EXPECT_EQ(Num("file_bin_position", {h}), 7);
    EXPECT_EQ(Num("file_bin_size", {h}), 7);
    Call("file_bin_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InSave("data/level/a.bin")), std::string("\x00\x01\x7f\x80\xff\x08\xff", 7));
    EXPECT_FALSE(Scratch_Exists(InProgram("data")));

    h = Num("file_bin_open", {"DATA/Level/A.BIN", 0}); // found ignoring case
    ASSERT_EQ(h, 1);
    EXPECT_EQ(Num("file_bin_size", {h}), 7);
    std::vector<int> bytes;
    for (int i = 0; i < 7; i++) bytes.push_back(int(Num("file_bin_read_byte", {h})));
    EXPECT_EQ(bytes, (std::vector<int>{0, 1, 127, 128, 255, 8, 255}));
    EXPECT_EQ(Errors(), 0);
    // Past the end: an error and 0.
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 0);
    EXPECT_TRUE(Logged("Error reading byte."));
    EXPECT_EQ(Num("file_bin_position", {h}), 7);
}

TEST_F(FileHandles, BinaryReadOfAProgramFileAndReadWriteCopiesItIntoTheSaveArea)
{
    Scratch_WriteFile(InProgram("table.dat"), "ABC");
    double h = Num("file_bin_open", {"table.dat", 0});
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 'A');
    Call("file_bin_write_byte", {h, 'Z'}); // read-only: nothing
    Call("file_bin_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InProgram("table.dat")), "ABC");

    h = Num("file_bin_open", {"table.dat", 2});
    ASSERT_GE(h, 1);
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 'A');
    Call("file_bin_write_byte", {h, 'x'}); // the write after a read lands at position 1
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 'C');
    Call("file_bin_write_byte", {h, 'D'});
    Call("file_bin_seek", {h, 0});
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 'A');
    Call("file_bin_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InSave("table.dat")), "AxCD");
    EXPECT_EQ(Scratch_ReadFile(InProgram("table.dat")), "ABC"); // the program's file is untouched
}

TEST_F(FileHandles, BinaryReadWriteOfANewNameMakesTheFileInTheSaveArea)
{
    double h = Num("file_bin_open", {"new/rw.bin", 7}); // any mode other than 0 and 1
    ASSERT_EQ(h, 1);
    EXPECT_EQ(Num("file_bin_size", {h}), 0);
    Call("file_bin_write_byte", {h, 1});
    Call("file_bin_write_byte", {h, 2});
    Call("file_bin_seek", {h, 1});
    EXPECT_EQ(Num("file_bin_read_byte", {h}), 2);
    EXPECT_EQ(Num("file_bin_size", {h}), 2);
    EXPECT_EQ(Num("file_bin_position", {h}), 2); // size keeps the position
    Call("file_bin_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InSave("new/rw.bin")), std::string("\x01\x02", 2));
    EXPECT_EQ(Errors(), 0);
}

TEST_F(FileHandles, BinarySeekClampsAndWritingPastTheEndFillsWithZeros)
{
    Scratch_WriteFile(InSave("s.bin"), "0123456789");
    double r = Num("file_bin_open", {"s.bin", 0});
    Call("file_bin_seek", {r, 100});
    EXPECT_EQ(Num("file_bin_position", {r}), 10);
    Call("file_bin_seek", {r, -5});
    EXPECT_EQ(Num("file_bin_position", {r}), 0);
    Call("file_bin_seek", {r, 2.5}); // rounded half to even
    EXPECT_EQ(Num("file_bin_read_byte", {r}), '2');
    Call("file_bin_close", {r});

    double w = Num("file_bin_open", {"gap.bin", 1});
    Call("file_bin_seek", {w, 3});
    Call("file_bin_write_byte", {w, 'x'});
    Call("file_bin_close", {w});
    EXPECT_EQ(Scratch_ReadFile(InSave("gap.bin")), std::string("\0\0\0x", 4));
}

TEST_F(FileHandles, ThirtyOneBinaryHandlesThenTheTableIsFull)
{
    std::vector<double> handles;
    for (int i = 0; i < 31; i++) handles.push_back(Num("file_bin_open", {"f" + std::to_string(i), 1}));
    for (int i = 0; i < 31; i++) EXPECT_EQ(handles[size_t(i)], i + 1);
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(Num("file_bin_open", {"one_more", 1}), -1);
    EXPECT_TRUE(Logged("Cannot open another file (maximum exceeded)."));
    EXPECT_FALSE(Scratch_Exists(InSave("one_more")));
    // The text table is separate.
    Scratch_WriteFile(InSave("t.txt"), "x");
    EXPECT_EQ(Num("file_text_open_read", {"t.txt"}), 1);
    // A closed handle is the next one handed out.
    Call("file_bin_close", {17});
    EXPECT_EQ(Num("file_bin_open", {"again", 1}), 17);
}

TEST_F(FileHandles, BinaryHandleErrors)
{
    for (Val h : {Val(0), Val(32), Val(-1), Val(5)}) {
        ClearLog();
        Call("file_bin_close", {h});
        EXPECT_TRUE(Logged("Trying to close unopened file."));
        ClearLog();
        Call("file_bin_rewrite", {h});
        EXPECT_TRUE(Logged("Trying to rewrite unopened file."));
        for (const char* f : {"file_bin_size", "file_bin_position", "file_bin_read_byte"}) {
            ClearLog();
            EXPECT_EQ(Num(f, {h}), 0) << f;
            EXPECT_TRUE(Logged("File is not opened.")) << f;
        }
        for (const char* f : {"file_bin_seek", "file_bin_write_byte"}) {
            ClearLog();
            Call(f, {h, 1});
            EXPECT_TRUE(Logged("File is not opened.")) << f;
        }
    }
    // Reading a file opened for writing.
    double w = Num("file_bin_open", {"w.bin", 1});
    ClearLog();
    EXPECT_EQ(Num("file_bin_read_byte", {w}), 0);
    EXPECT_TRUE(Logged("Error reading byte."));
}

TEST_F(FileHandles, NamesOutsideTheGamesFoldersAreRefused)
{
    Scratch_WriteFile(Outside() + "/secret.bin", "s");
    for (std::string name : {std::string("../outside/secret.bin"), Outside() + "/secret.bin",
                             std::string("../outside/new.bin"), std::string("")}) {
        for (int mode : {0, 1, 2}) {
            ClearLog();
            EXPECT_EQ(Num("file_bin_open", {name, mode}), -1) << name << " " << mode;
            EXPECT_TRUE(Logged("Error opening binary file " + name + "\n")) << Log();
        }
        EXPECT_EQ(Num("file_text_open_read", {name}), -1);
        EXPECT_EQ(Num("file_text_open_write", {name}), -1);
        EXPECT_EQ(Num("file_text_open_append", {name}), -1);
    }
    EXPECT_EQ(Scratch_ReadFile(Outside() + "/secret.bin"), "s");
    EXPECT_FALSE(Scratch_Exists(Outside() + "/new.bin"));
    // A file the player picked in a save dialog may be written.
    LoadSave_AllowWrite((Outside() + "/picked.bin").c_str());
    double h = Num("file_bin_open", {Outside() + "/picked.bin", 1});
    EXPECT_GE(h, 1);
    Call("file_bin_close", {h});
    EXPECT_TRUE(Scratch_Exists(Outside() + "/picked.bin"));
}

TEST_F(FileHandles, FoldersAndMissingFilesDoNotOpen)
{
    Scratch_WriteFile(InSave("dir/inner"), "x");
    EXPECT_EQ(Num("file_bin_open", {"dir", 0}), -1);
    EXPECT_EQ(Num("file_bin_open", {"dir", 1}), -1);
    EXPECT_EQ(Num("file_bin_open", {"dir", 2}), -1);
    EXPECT_EQ(Num("file_bin_open", {"missing", 0}), -1);
    EXPECT_EQ(Num("file_text_open_read", {"dir"}), -1);
    EXPECT_TRUE(Logged("ERROR!!! :: Failed to open file: dir\n"));
    EXPECT_EQ(Num("file_text_open_write", {"dir"}), -1);
    // A pipe is never waited on.
    ASSERT_EQ(mkfifo(InSave("pipe").c_str(), 0600), 0);
    EXPECT_EQ(Num("file_bin_open", {"pipe", 1}), -1);
    EXPECT_EQ(Num("file_bin_open", {"pipe", 0}), -1);
    EXPECT_EQ(Num("file_text_open_append", {"pipe"}), -1);
}

TEST_F(FileHandles, RewriteEmptiesTheFileAndKeepsTheHandleWritable)
{
    double w = Num("file_bin_open", {"r.bin", 1});
    for (int b : {1, 2, 3}) Call("file_bin_write_byte", {w, b});
    Call("file_bin_rewrite", {w});
    EXPECT_EQ(Num("file_bin_size", {w}), 0);
    Call("file_bin_write_byte", {w, 9});
    Call("file_bin_close", {w});
    EXPECT_EQ(Scratch_ReadFile(InSave("r.bin")), "\x09");

    // A program file opened for reading becomes an empty save-area file open for writing.
    Scratch_WriteFile(InProgram("p.bin"), "abc");
    double r = Num("file_bin_open", {"p.bin", 0});
    Call("file_bin_rewrite", {r});
    Call("file_bin_write_byte", {r, 'q'});
    EXPECT_EQ(Num("file_bin_size", {r}), 1);
    Call("file_bin_close", {r});
    EXPECT_EQ(Scratch_ReadFile(InSave("p.bin")), "q");
    EXPECT_EQ(Scratch_ReadFile(InProgram("p.bin")), "abc");
    EXPECT_EQ(Errors(), 0);
}

// [SECTION] Text files

TEST_F(FileHandles, TextWritesLineEndsAsCrLfAndReadsThemBack)
{
    double h = Num("file_text_open_write", {"notes/t.txt"});
    ASSERT_EQ(h, 1);
    Call("file_text_write_string", {h, "abc"});
    Call("file_text_writeln", {h});
    Call("file_text_write_real", {h, 2.5});
    Call("file_text_write_real", {h, -3});
    Call("file_text_write_real", {h, 1e20});
    Call("file_text_writeln", {h});
    Call("file_text_write_string", {h, "x\ny"});
    Call("file_text_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InSave("notes/t.txt")), "abc\r\n2.5 -3 1e+20 \r\nx\r\ny");

    h = Num("file_text_open_read", {"notes/t.txt"});
    EXPECT_EQ(Str("file_text_read_string", {h}), "abc");
    EXPECT_EQ(Num("file_text_eoln", {h}), 1);
    EXPECT_EQ(Str("file_text_read_string", {h}), ""); // still before the line end
    EXPECT_EQ(Str("file_text_readln", {h}), "\r\n");
    EXPECT_EQ(Num("file_text_read_real", {h}), 2.5);
    EXPECT_EQ(Num("file_text_read_real", {h}), -3);
    EXPECT_EQ(Num("file_text_read_real", {h}), 1e20);
    EXPECT_EQ(Num("file_text_eof", {h}), 0);
    EXPECT_EQ(Str("file_text_readln", {h}), " \r\n");
    EXPECT_EQ(Str("file_text_read_string", {h}), "x");
    EXPECT_EQ(Str("file_text_readln", {h}), "\r\n");
    EXPECT_EQ(Num("file_text_eoln", {h}), 0);
    EXPECT_EQ(Str("file_text_read_string", {h}), "y");
    EXPECT_EQ(Num("file_text_eof", {h}), 1);
    EXPECT_EQ(Num("file_text_eoln", {h}), 1);
    // At the end: empty texts, no stray bytes, and 0 for a number.
    EXPECT_EQ(Str("file_text_read_string", {h}), "");
    EXPECT_EQ(Str("file_text_readln", {h}), "");
    EXPECT_EQ(Num("file_text_read_real", {h}), 0);
    Call("file_text_close", {h});
    EXPECT_EQ(Errors(), 0);
}

TEST_F(FileHandles, TextReadStringThenReadlnOnTheLastLine)
{
    Scratch_WriteFile(InProgram("last.txt"), "abc\r\n");
    double h = Num("file_text_open_read", {"last.txt"});
    EXPECT_EQ(Str("file_text_read_string", {h}), "abc");
    EXPECT_EQ(Str("file_text_readln", {h}), "\r\n");
    EXPECT_EQ(Num("file_text_eof", {h}), 1);
}

TEST_F(FileHandles, TextReadingSkipsAByteOrderMarkAndPrefersTheSaveArea)
{
    Scratch_WriteFile(InProgram("pref.txt"), "program");
    Scratch_WriteFile(InSave("pref.txt"), "\xEF\xBB\xBFsave");
    double h = Num("file_text_open_read", {"pref.txt"});
    EXPECT_EQ(Str("file_text_read_string", {h}), "save");
}

TEST_F(FileHandles, TextLinesLongerThanAnyBufferComeBackWhole)
{
    std::string longLine(100000, 'q');
    Scratch_WriteFile(InSave("long.txt"), longLine + "\n" + longLine);
    double h = Num("file_text_open_read", {"long.txt"});
    EXPECT_EQ(Str("file_text_readln", {h}), longLine + "\n");
    EXPECT_EQ(Str("file_text_read_string", {h}), longLine);
}

TEST_F(FileHandles, TextAppendAndOpenFromString)
{
    Scratch_WriteFile(InSave("log.txt"), "one\r\n");
    double h = Num("file_text_open_append", {"log.txt"});
    Call("file_text_write_string", {h, "two"});
    Call("file_text_writeln", {h});
    Call("file_text_close", {h});
    EXPECT_EQ(Scratch_ReadFile(InSave("log.txt")), "one\r\ntwo\r\n");

    h = Num("file_text_open_from_string", {"10 20\nname"});
    ASSERT_GE(h, 1);
    EXPECT_EQ(Num("file_text_read_real", {h}), 10);
    EXPECT_EQ(Num("file_text_read_real", {h}), 20);
    EXPECT_EQ(Str("file_text_readln", {h}), "\n");
    EXPECT_EQ(Str("file_text_read_string", {h}), "name");
    EXPECT_EQ(Num("file_text_eof", {h}), 1);
    Call("file_text_close", {h});

    ClearLog();
    EXPECT_EQ(Num("file_text_open_from_string", {5}), -1);
    EXPECT_TRUE(Logged("ERROR!!! :: wrong type for filename\n"));
    ClearLog();
    EXPECT_EQ(Num("file_text_open_read", {5}), -1);
    EXPECT_TRUE(Logged("ERROR!!! :: wrong type for filename\n"));
    ClearLog();
    EXPECT_EQ(Num("file_text_open_read", {"nothing.txt"}), -1);
    EXPECT_TRUE(Logged("ERROR!!! :: Failed to open file: nothing.txt\n"));
}

TEST_F(FileHandles, TextReadRealSkipsWhiteSpaceAndReadsDecimalsOnly)
{
    double h = Num("file_text_open_from_string", {"  \r\n\t-1.5e2 0x10 abc"});
    EXPECT_EQ(Num("file_text_read_real", {h}), -150);
    EXPECT_EQ(Num("file_text_read_real", {h}), 0); // "0" of "0x10"
    EXPECT_EQ(Str("file_text_read_string", {h}), "x10 abc");
}

TEST_F(FileHandles, TextHandleErrors)
{
    double w = Num("file_text_open_write", {"w.txt"});
    Scratch_WriteFile(InSave("r.txt"), "r");
    double r = Num("file_text_open_read", {"r.txt"});
    for (Val h : {Val(w), Val(0), Val(32), Val(9)}) {
        for (const char* f : {"file_text_read_string", "file_text_read_real", "file_text_readln", "file_text_eof",
                              "file_text_eoln"}) {
            ClearLog();
            Call(f, {h});
            EXPECT_TRUE(Logged("File is not opened for reading.")) << f;
        }
    }
    for (Val h : {Val(r), Val(0), Val(32), Val(9)}) {
        ClearLog();
        Call("file_text_write_string", {h, "x"});
        Call("file_text_write_real", {h, 1});
        Call("file_text_writeln", {h});
        EXPECT_EQ(Errors(), 3);
        EXPECT_TRUE(Logged("File not opened for writing."));
    }
    for (Val h : {Val(0), Val(32), Val(-3)}) {
        ClearLog();
        Call("file_text_close", {h});
        EXPECT_TRUE(Logged("Trying to close unexisting text file."));
    }
    ClearLog();
    Call("file_text_close", {9}); // free but inside 1..31: nothing
    EXPECT_EQ(Errors(), 0);
    EXPECT_EQ(Scratch_ReadFile(InSave("r.txt")), "r");
}

TEST_F(FileHandles, ThirtyOneTextHandlesThenTheTableIsFull)
{
    for (int i = 1; i <= 31; i++) EXPECT_EQ(Num("file_text_open_write", {"t" + std::to_string(i)}), i);
    EXPECT_EQ(Num("file_text_open_write", {"t32"}), -1);
    EXPECT_EQ(Num("file_text_open_from_string", {"x"}), -1);
    EXPECT_EQ(Num("file_text_open_read", {"t1"}), -1);
    EXPECT_TRUE(Logged("Cannot open another file (maximum exceeded)."));
    EXPECT_FALSE(Scratch_Exists(InSave("t32")));
    // The older file and the binary table are separate.
    Call("file_open_write", {"older.txt"});
    Call("file_write_string", {"o"});
    Call("file_close");
    EXPECT_EQ(Scratch_ReadFile(InSave("older.txt")), "o");
    EXPECT_EQ(Num("file_bin_open", {"b", 1}), 1);
}

// [SECTION] The older single file

TEST_F(FileHandles, OlderFileWritesTextWithCrLfAndFixedReals)
{
    Call("file_open_write", {"old.txt"});
    Call("file_write_string", {"hello"});
    Call("file_writeln");
    Call("file_write_real", {2.5});
    Call("file_write_real", {-1234567.125});
    Call("file_writeln");
    Call("file_close");
    EXPECT_EQ(Scratch_ReadFile(InSave("old.txt")), "hello\r\n    2.5000-1234567.1250\r\n");

    Call("file_open_append", {"old.txt"});
    Call("file_write_string", {"more"});
    Call("file_close");
    EXPECT_EQ(Scratch_ReadFile(InSave("old.txt")), "hello\r\n    2.5000-1234567.1250\r\nmore");
    EXPECT_EQ(Errors(), 0);
}

TEST_F(FileHandles, OlderFileReadsCrLfAsOneLineEnd)
{
    Scratch_WriteFile(InProgram("in.txt"), "first\r\nsecond\n3.25 4\r\nlast\r");
    Call("file_open_read", {"in.txt"});
    EXPECT_EQ(Num("file_eof"), 0);
    EXPECT_EQ(Str("file_read_string"), "first");
    EXPECT_EQ(Str("file_read_string"), "second");
    EXPECT_EQ(Num("file_read_real"), 3.25);
    EXPECT_EQ(Num("file_read_real"), 4);
    EXPECT_EQ(Str("file_readln"), "\n");
    EXPECT_EQ(Str("file_readln"), "last\r");
    EXPECT_EQ(Num("file_eof"), 1);
    EXPECT_EQ(Str("file_read_string"), "");
    EXPECT_EQ(Str("file_readln"), "");
    Call("file_close");
    EXPECT_EQ(Errors(), 0);
}

TEST_F(FileHandles, OlderFileErrorsAndRefusedNames)
{
    for (const char* f : {"file_read_string", "file_read_real", "file_readln"}) {
        ClearLog();
        Call(f);
        EXPECT_TRUE(Logged("File not opened for reading.")) << f;
    }
    ClearLog();
    Call("file_eof");
    EXPECT_TRUE(Logged("File is not opened for reading."));
    ClearLog();
    Call("file_write_string", {"x"});
    Call("file_write_real", {1});
    Call("file_writeln");
    EXPECT_EQ(Errors(), 3);
    EXPECT_TRUE(Logged("File not opened for writing."));

    // Opening for writing closes a reading file; reading functions then refuse.
    Scratch_WriteFile(InSave("a.txt"), "a");
    Call("file_open_read", {"a.txt"});
    Call("file_open_write", {"b.txt"});
    ClearLog();
    Call("file_read_string");
    EXPECT_EQ(Errors(), 1);
    // A missing file leaves the older file closed.
    Call("file_open_read", {"missing.txt"});
    ClearLog();
    Call("file_write_string", {"x"});
    Call("file_eof");
    EXPECT_EQ(Errors(), 2);
    // Outside the game's folders nothing is written.
    Call("file_open_write", {"../outside/older.txt"});
    Call("file_write_string", {"x"});
    Call("file_close");
    EXPECT_FALSE(Scratch_Exists(Outside() + "/older.txt"));
}

TEST_F(FileHandles, CloseAllClosesEveryTableAndFlushesWriters)
{
    double b = Num("file_bin_open", {"b.bin", 1});
    Call("file_bin_write_byte", {b, 'b'});
    double t = Num("file_text_open_write", {"t.txt"});
    Call("file_text_write_string", {t, "t"});
    Call("file_open_write", {"o.txt"});
    Call("file_write_string", {"o"});
    Function_File_CloseAll();
    EXPECT_EQ(Scratch_ReadFile(InSave("b.bin")), "b");
    EXPECT_EQ(Scratch_ReadFile(InSave("t.txt")), "t");
    EXPECT_EQ(Scratch_ReadFile(InSave("o.txt")), "o");
    EXPECT_EQ(Num("file_bin_open", {"b.bin", 0}), 1);
    EXPECT_EQ(Num("file_text_open_write", {"t.txt"}), 1);
}

} // namespace
