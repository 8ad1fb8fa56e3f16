// Command-line tokens and options, table-driven; the argv text the Linux entry builds; the
// "-output" files reaching the log console.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

namespace {

std::vector<std::string> Tokens(const char* text)
{
    std::vector<std::string> out;
    int32_t pos = 0;
    do {
        pos = Main_ReadToken(pos, text);
        out.push_back(Main_Token());
    } while (text[pos] != 0);
    return out;
}

std::string Str(const char* s) { return s ? s : "<null>"; }

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        Reset();
        Console_SetOutputFile(false, nullptr);
        Console_SetOutputFile(true, nullptr);
    }
    static void Reset()
    {
        StartupOptions& o = g_StartupOptions;
        MEM_FREE(o.gameFileName);
        MEM_FREE(o.recordFileName);
        MEM_FREE(o.outputFileName);
        MEM_FREE(o.debugOutputFileName);
        o = StartupOptions{};
    }
};

} // namespace

TEST_F(CommandLine, Tokeniser)
{
    struct Case {
        const char* text;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"a b", {"a", "b"}},
        {"  \t a\r\n b  ", {"a", "b", ""}},
        {"\"C:/My Games/x.win\" -debug", {"C:/My Games/x.win", "-debug"}},
        {"pre\"fix mid\"post x", {"prefix midpost", "x"}},
        {"\"\" next", {"", "next"}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"/home/j\xC3\xBCrgen/sp\xC3\xA9l.win", {"/home/j\xC3\xBCrgen/sp\xC3\xA9l.win"}},
        {"\x01x\x1Fy\x7Fz", {"x", "y\x7Fz"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;

    EXPECT_EQ(Main_ReadToken(0, nullptr), 0);
    EXPECT_STREQ(Main_Token(), "");
    EXPECT_EQ(Main_ReadToken(0, ""), 0);
    EXPECT_EQ(Main_ReadToken(2, "ab"), 2);
    EXPECT_EQ(Main_ReadToken(0, "   "), 3); // only separators: an empty token at the end
    EXPECT_STREQ(Main_Token(), "");
}

TEST_F(CommandLine, LongTokensAreKeptWhole)
{
    std::string big(5000, 'x');
    std::string line = "runner -game " + big + " -debug";
    Main_ParseCommandLine(line.c_str());
    EXPECT_EQ(Str(g_StartupOptions.gameFileName), big);
    EXPECT_EQ(g_StartupOptions.debugMode, 1);
    std::string huge(100000, 'y'); // far past any fixed buffer
    Main_ReadToken(0, huge.c_str());
    EXPECT_EQ(std::string(Main_Token()).size(), huge.size());
}

TEST_F(CommandLine, Options)
{
    struct Case {
        const char* text;
        const char* game;
        uint8_t debug, ext, errors, bytecode, noaudio, window, steam, trace, record, playback;
        const char* recordName;
    };
    // Defaults first: errors shown 1, byte code 1, everything else 0.
    const Case cases[] = {
        {"runner", nullptr, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr},
        {"runner -debug -trace -ext -noerrors -oldexec -noaudio -inawindow -steam", nullptr, 1, 1, 0,
         0, 1, 1, 1, 1, 0, 0, nullptr},
        {"runner -Debug -TRACE -game", "", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr},
        {"runner -game first.win -game second.win", "first.win", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr},
        {"runner -record a.rec -playback b.rec", nullptr, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, "b.rec"},
        {"runner -game \"/tmp/my game/data.win\" -unknown x", "/tmp/my game/data.win", 0, 0, 1, 1, 0,
         0, 0, 0, 0, 0, nullptr},
        {"runner -game /tmp/\xE6\xB8\xB8\xE6\x88\x8F.win", "/tmp/\xE6\xB8\xB8\xE6\x88\x8F.win", 0, 0, 1,
         1, 0, 0, 0, 0, 0, 0, nullptr},
        {"runner -record", nullptr, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, ""},
        {"     ", nullptr, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr},
        {"-debug", nullptr, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr}, // the first token is not skipped by position
        {"runner -debug-trace", nullptr, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        Reset();
        Main_ParseCommandLine(c.text);
        const StartupOptions& o = g_StartupOptions;
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Str(o.gameFileName), Str(c.game));
        EXPECT_EQ(o.debugMode, c.debug);
        EXPECT_EQ(o.debugFormMode, c.debug ? 2 : 0);
        EXPECT_EQ(o.physicsDebugMessages, c.debug);
        EXPECT_EQ(o.extensionsOff, c.ext);
        EXPECT_EQ(o.errorsShown, c.errors);
        EXPECT_EQ(o.byteCodeInterpreter, c.bytecode);
        EXPECT_EQ(o.noAudio, c.noaudio);
        EXPECT_EQ(o.inAWindow, c.window);
        EXPECT_EQ(o.steam, c.steam);
        EXPECT_EQ(o.trace, c.trace);
        EXPECT_EQ(o.record, c.record);
        EXPECT_EQ(o.playback, c.playback);
        EXPECT_EQ(Str(o.recordFileName), Str(c.recordName));
    }
}

TEST_F(CommandLine, DefaultsResetOnlyTheirFlags)
{
    StartupOptions& o = g_StartupOptions;
    o.debugMode = o.extensionsOff = o.record = o.playback = o.noAudio = o.inAWindow = 1;
    o.byteCodeInterpreter = 0;
    o.debugFormMode = 2;
    o.trace = o.steam = 1;
    o.errorsShown = 0;
    Main_ParseCommandLine(nullptr); // data.win beside the program: defaults only
    EXPECT_EQ(o.debugMode, 0);
    EXPECT_EQ(o.extensionsOff, 0);
    EXPECT_EQ(o.record, 0);
    EXPECT_EQ(o.playback, 0);
    EXPECT_EQ(o.noAudio, 0);
    EXPECT_EQ(o.inAWindow, 0);
    EXPECT_EQ(o.byteCodeInterpreter, 1);
    EXPECT_EQ(o.debugFormMode, 0);
    EXPECT_EQ(o.trace, 1); // not reset by the parse
    EXPECT_EQ(o.steam, 1);
    EXPECT_EQ(o.errorsShown, 0);
}

TEST_F(CommandLine, RepeatedNamesReplaceWithoutLeaking)
{
    uint32_t blocks = MemoryManager::BlocksInUse();
    Main_ParseCommandLine("r -record a -record bb -playback ccc -game g");
    EXPECT_EQ(Str(g_StartupOptions.recordFileName), "ccc");
    EXPECT_EQ(MemoryManager::BlocksInUse(), blocks + 2); // one record name, one game name
}

TEST_F(CommandLine, RecordWithPlaybackIsRefusedNamingBothFiles)
{
    // They share one file name (the last given) and playback wins: nothing would be recorded.
    Main_ParseCommandLine("r -playback \"old run.rec\" -record a -record new.rec -debug");
    EXPECT_STREQ(Main_CommandLineProblem(), "-record new.rec and -playback old run.rec are both given: a run either "
                                            "records its input or plays a recording back; give one");
    for (const char* line : {"r -record a -record b", "r -playback a -playback a", "r -record a", "", "r -playback"}) {
        Main_ParseCommandLine(line);
        EXPECT_STREQ(Main_CommandLineProblem(), "") << line;
    }
    Main_ParseCommandLine("r -record a -playback b");
    Main_ParseCommandLine(nullptr); // data.win beside the program: the command line is not read
    EXPECT_STREQ(Main_CommandLineProblem(), "");
}

TEST_F(CommandLine, OutputOptionsSendTheConsolesToTheirFiles)
{
    std::string rel = ::testing::TempDir() + "cl_out_" + std::to_string(getpid());
    std::string dbg = ::testing::TempDir() + "cl dbg " + std::to_string(getpid());
    std::remove(rel.c_str());
    std::remove(dbg.c_str());
    std::string line = "runner -output " + rel + " -debugoutput \"" + dbg + "\"";
    Main_ParseCommandLine(line.c_str());
    EXPECT_EQ(g_StartupOptions.outputToFile, 1);
    EXPECT_EQ(g_StartupOptions.debugOutputToFile, 1);
    EXPECT_EQ(Str(g_StartupOptions.debugOutputFileName), dbg);
    Console_Release()->Output("to release\n");
    Console_Debug()->Output("to debug\n");
    Console_CloseFiles();
    auto read = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    EXPECT_EQ(read(rel), "to release\n");
    EXPECT_EQ(read(dbg), "to debug\n");
    std::remove(rel.c_str());
    std::remove(dbg.c_str());
}

TEST_F(CommandLine, ArgvTextTokenisesBackToTheArguments)
{
    std::vector<std::vector<const char*>> argvs = {
        {"/opt/zb/runner", "-game", "/tmp/my game/data.win", "-debug"},
        {"runner", "-output", "", "-game", "x"},
        {"runner", "tab\there", "nl\nthere", "\xC3\xA9t\xC3\xA9"},
        {"runner", "say \"hi\" there", "\"\""},
    };
    for (auto& argv : argvs) {
        std::string line = Main_CommandLineFromArgv(int(argv.size()), argv.data());
        std::vector<std::string> want;
        for (const char* a : argv) {
            std::string s;
            for (const char* p = a; *p; ++p)
                if (*p != '"') s += *p;
            want.push_back(s);
        }
        EXPECT_EQ(Tokens(line.c_str()), want) << line;
    }
}

TEST_F(CommandLine, StoredCommandLineIsCutAt8191)
{
    std::string big(9000, 'a');
    const char* argv[] = {"runner", big.c_str()};
    Main_TakeCommandLine(2, argv);
    EXPECT_EQ(g_StartupOptions.commandLineLength, int32_t(7 + 9000));
    EXPECT_EQ(std::string(g_StartupOptions.commandLine).size(), 8191u);
    const char* small[] = {"runner", "-game", "a b.win"};
    Main_TakeCommandLine(3, small);
    EXPECT_STREQ(g_StartupOptions.commandLine, "runner -game \"a b.win\"");
    Main_ParseCommandLine(g_StartupOptions.commandLine);
    EXPECT_EQ(Str(g_StartupOptions.gameFileName), "a b.win");
}
