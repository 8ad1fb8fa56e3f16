#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "Files/Base/Console.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + name + std::to_string(getpid());
}

class RecordingSink : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override
    {
        char buf[8192];
        va_list a;
        va_start(a, format);
        vsnprintf(buf, sizeof buf, format, a);
        va_end(a);
        text += buf;
    }
    std::string text;
};

} // namespace

TEST(Console, EachConsoleAppendsToItsOwnFile)
{
    std::string rel = TempPath("rel"), dbg = TempPath("dbg");
    std::remove(rel.c_str());
    std::remove(dbg.c_str());
    Console_SetOutputFile(false, rel.c_str());
    Console_SetOutputFile(true, dbg.c_str());
    Console_Release()->Output("release %d\n", 1);
    Console_Debug()->Output("debug %s\n", "two");
    Console_Release()->Output("again\n");
    Console_CloseFiles();
    EXPECT_EQ(ReadAll(rel), "release 1\nagain\n");
    EXPECT_EQ(ReadAll(dbg), "debug two\n");
    Console_SetOutputFile(false, nullptr);
    Console_SetOutputFile(true, nullptr);
}

TEST(Console, LongLinesAreCutInFileAndFormKeepingTheirLineBreak)
{
    std::string rel = TempPath("long");
    std::remove(rel.c_str());
    Console_SetOutputFile(false, rel.c_str());
    RecordingSink sink;
    Console_SetFormSink(&sink);
    std::string line(5000, 'x');
    Console_Output("%s", line.c_str());
    Console_Output("\n%s\n", line.c_str());
    // A two-byte character across the cut is left out whole, with a line break or without.
    Console_Output("%s\u00e9tail\n", std::string(4093, 'y').c_str());
    Console_Output("%s\u00e9tail", std::string(4094, 'z').c_str());
    Console_Output("\nnext\n");
    Console_SetFormSink(nullptr);
    Console_CloseFiles();
    Console_SetOutputFile(false, nullptr);
    const std::string expected = std::string(4095, 'x') + "\n" + std::string(4093, 'x') + "\n" +
                                 std::string(4093, 'y') + "\n" + std::string(4094, 'z') + "\nnext\n";
    EXPECT_EQ(ReadAll(rel), expected);
    EXPECT_EQ(sink.text, expected);
}

TEST(MessageBox, DefaultAnswerFollowsButtonsAndDefault)
{
    EXPECT_EQ(MessageBox_DefaultAnswer(MB_OK_), IDOK_);
    EXPECT_EQ(MessageBox_DefaultAnswer(MB_YESNO_ | MB_ICONINFORMATION_), IDYES_);
    EXPECT_EQ(MessageBox_DefaultAnswer(MB_YESNO_ | MB_DEFBUTTON2_), IDNO_);
    EXPECT_EQ(MessageBox_DefaultAnswer(MB_ABORTRETRYIGNORE_ | MB_DEFBUTTON3_), IDIGNORE_);
}

TEST(MessageBox, ShowMessageUsesCaptionAndHost)
{
    struct Host : IMessageBoxHost {
        int Show(const char* text, const char* caption, uint32_t flags) override
        {
            seen = std::string(caption) + "|" + text;
            this->flags = flags;
            return IDOK_;
        }
        std::string seen;
        uint32_t flags = 0;
    } host;
    MessageBox_SetHost(&host);
    MessageBox_SetCaption("My Game");
    EXPECT_EQ(ShowMessage("Failed to compile the scripts."), IDOK_);
    EXPECT_EQ(host.seen, "My Game|Failed to compile the scripts.");
    EXPECT_EQ(host.flags & MB_TOPMOST_, (uint32_t)MB_TOPMOST_);
    MessageBox_SetHost(nullptr);
    MessageBox_SetCaption("Zimbrel");
}
