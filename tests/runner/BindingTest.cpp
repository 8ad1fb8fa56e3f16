// The byte-code chunks: code bodies, variable and function binding, string operands and the
// debug companion.
#include <gtest/gtest.h>

#include <functional>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/VM_Format.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/CommandLine.h"
#include "GamePack_Writer.h"
#include "support/CaptureConsole.h"
#include "support/GameFileTools.h"

namespace {

uint32_t Word(uint32_t op, uint32_t t1, uint32_t field = 0) { return op << 24 | (t1 & 15) << 16 | (field & 0xFFFF); }

// A small game with hand-made code: one body of words, and VARI/FUNC records written by the
// caller with the file offsets of the body's words (body start + byte offset).
struct MiniGame {
    GameWriter w;
    uint32_t bodyStart = 0;

    explicit MiniGame(const std::vector<uint32_t>& words, bool variBeforeCode = false,
                      const std::function<void(MiniGame&)>& vari = nullptr,
                      const std::function<void(MiniGame&)>& func = nullptr)
    {
        uint32_t c = w.BeginChunk("GEN8");
        w.U32(13u << 8);
        w.Zeros(124);
        w.U32(0);
        w.EndChunk(c);
        if (variBeforeCode && vari) {
            c = w.BeginChunk("VARI");
            vari(*this);
            w.EndChunk(c);
        }
        c = w.BeginChunk("CODE");
        int entry = w.NewLabel();
        w.List({entry});
        w.Bind(entry);
        w.RefString("body");
        w.U32(uint32_t(words.size() * 4));
        bodyStart = w.Pos();
        for (uint32_t v : words) w.U32(v);
        w.EndChunk(c);
        if (!variBeforeCode && vari) {
            c = w.BeginChunk("VARI");
            vari(*this);
            w.EndChunk(c);
        }
        if (func) {
            c = w.BeginChunk("FUNC");
            func(*this);
            w.EndChunk(c);
        }
        w.String("one");
        w.String("two");
        w.WriteStrings();
    }
    std::vector<uint8_t> Finish() { return w.Finish(); }
};

constexpr uint32_t PUSHV = 0xC0;
constexpr uint32_t CALL = 0xDA;

class Binding : public ::testing::Test {
protected:
    void SetUp() override { TestBindHooks_Install(); }
    void TearDown() override
    {
        TestBindHooks_Remove();
        GamePack_SetCompiler(nullptr);
        Header_Clear(g_GameHeader);
        Code_Clear();
        Code_ClearDebug();
    }
};

} // namespace

TEST_F(Binding, VariableChainKeepsTheTopBitsAndWalksBackwards)
{
    // Three references to "score": at words 0, 4 and 2 of the body (the chain goes forwards
    // then back), operands carrying scope bits 101 and 111.
    const uint32_t w0 = Word(PUSHV, 5, 0xFFFF);
    const uint32_t popz = Word(0x9F, 5);
    std::vector<uint32_t> words = {w0, 0xA0000000u | 16, w0, 0xE0000000u | (uint32_t(-8) & 0x1FFFFFFF), w0, 0xA0000000u | (uint32_t(-8) & 0x1FFFFFFF), popz, popz, popz, Word(0x9E, 2)};
    MiniGame g(words, false, [](MiniGame& m) {
        m.w.RefString("score");
        m.w.U32(3);
        m.w.U32(m.bodyStart);
        m.w.RefString("unused"); // count 0: its first offset is never read
        m.w.U32(0);
        m.w.U32(0xFFFFFFFF);
        m.w.U16(7); // a trailing partial record is ignored
    });
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    ASSERT_TRUE(load.ok);
    const uint32_t id = uint32_t(TestVariableId("score"));
    EXPECT_EQ(TestU32(load.bytes, g.bodyStart + 4), 0xA0000000u | id);
    EXPECT_EQ(TestU32(load.bytes, g.bodyStart + 20), 0xA0000000u | id);
    EXPECT_EQ(TestU32(load.bytes, g.bodyStart + 12), 0xE0000000u | id);
}

TEST_F(Binding, FunctionChainAddsWithWrapAround)
{
    const uint32_t call = Word(CALL, 2, 0);
    const uint32_t popz = Word(0x9F, 5);
    std::vector<uint32_t> words = {call, 8, call, uint32_t(-8) + 16, call, uint32_t(-8), popz, popz, popz, Word(0x9E, 2)};
    // first at word 0 -> +8 -> word 2 (offset 8) -> +8 -> offset 16.
    words[3] = 8;
    words[5] = uint32_t(-16); // unused: the last reference's distance
    MiniGame g(words, false, nullptr, [](MiniGame& m) {
        m.w.RefString("test_call_target");
        m.w.U32(3);
        m.w.U32(m.bodyStart);
    });
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    ASSERT_TRUE(load.ok);
    const uint32_t id = uint32_t(TestFunctionId("test_call_target"));
    for (uint32_t at : {4u, 12u, 20u}) EXPECT_EQ(TestU32(load.bytes, g.bodyStart + at), id);

    // A chain that starts late and steps back with a wrapped distance.
    std::vector<uint32_t> back = {call, 0, call, uint32_t(-8), popz, popz, Word(0x9E, 2)};
    MiniGame g2(back, false, nullptr, [](MiniGame& m) {
        m.w.RefString("test_call_target");
        m.w.U32(2);
        m.w.U32(m.bodyStart + 8);
    });
    TestLoad_Run(load, g2.Finish());
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(TestU32(load.bytes, g2.bodyStart + 4), id);
    EXPECT_EQ(TestU32(load.bytes, g2.bodyStart + 12), id);
}

TEST_F(Binding, MalformedChainsFailTheLoad)
{
    const uint32_t w0 = Word(PUSHV, 5, 0xFFFF);
    struct Case {
        const char* what;
        std::vector<uint32_t> words;
        uint32_t count, firstAt;
    } cases[] = {
        {"leaves the body", {w0, 0xA0000000u | 64, Word(0x9E, 2)}, 2, 0},
        {"lands between instructions", {w0, 0xA0000000u | 4, Word(0x9E, 2)}, 2, 0},
        {"comes back to a bound reference", {w0, 0xA0000000u, Word(0x9E, 2)}, 2, 0},
        {"starts outside the file", {w0, 0xA0000000u, Word(0x9E, 2)}, 1, 0x7FFFFFF0},
        {"names an instruction without an operand", {Word(0x9E, 2), w0, 0xA0000000u}, 1, 0},
        {"names an 8-byte operand", {Word(PUSHV, 0), 0, 0, Word(0x9E, 2)}, 1, 0},
        {"has a huge count on a short chain", {w0, 0xA0000000u, Word(0x9E, 2)}, 0xFFFFFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MiniGame g(c.words, false, [&](MiniGame& m) {
            m.w.RefString("v");
            m.w.U32(c.count);
            m.w.U32(c.firstAt >= 0x10000 ? c.firstAt : m.bodyStart + c.firstAt);
        });
        TestLoad load;
        TestLoad_Run(load, g.Finish());
        EXPECT_FALSE(load.ok);
    }
    // References before the code bodies cannot be checked.
    MiniGame early({w0, 0xA0000000u, Word(0x9E, 2)}, true, [](MiniGame& m) {
        m.w.RefString("v");
        m.w.U32(1);
        m.w.U32(0);
    });
    TestLoad load;
    TestLoad_Run(load, early.Finish());
    EXPECT_FALSE(load.ok);
}

TEST_F(Binding, OperandPastItsBodyFails)
{
    MiniGame g({Word(0x9E, 2), Word(PUSHV, 0), 0}); // an 8-byte operand with 4 bytes left
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    EXPECT_FALSE(load.ok);
}

TEST_F(Binding, StringOperandsAreCheckedIndexes)
{
    // A type-6 word without bit 30 (popz.s) has no operand; with it, the index must name a string.
    std::vector<uint32_t> words = {Word(PUSHV, 6), 1, Word(0x9F, 6), Word(0x9E, 2)};
    MiniGame g(words);
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(TestU32(load.bytes, g.bodyStart + 4), 1u) << "the index stays an index";
    EXPECT_STREQ(Code_GetString(load.image, 1), "one");
    EXPECT_EQ(Code_GetString(load.image, 99), nullptr);

    words[1] = 3; // "body", "one" and "two" are the only strings
    MiniGame bad(words);
    TestLoad_Run(load, bad.Finish());
    EXPECT_FALSE(load.ok);
}

TEST_F(Binding, UnknownFunctionFailsTheLoadAndEndsTheRunWithOne)
{
    std::vector<uint32_t> words = {Word(PUSHV, 5, 0xFFFF), 0xA0000000u, Word(0x9E, 2)};
    MiniGame g(words, false, nullptr, [](MiniGame& m) {
        m.w.RefString("missing_script");
        m.w.U32(1);
        m.w.U32(m.bodyStart);
    });
    const StartupOptions saved = g_StartupOptions;
    TestBindHooks_Install();
    CaptureConsole log;
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    EXPECT_FALSE(load.ok);
    EXPECT_TRUE(Main_ExitRequested());
    EXPECT_EQ(g_StartupOptions.exitCode, 1);
    EXPECT_EQ(g_StartupOptions.running, 0);
    EXPECT_TRUE(log.Has("Unable to find function missing_script")) << log.text;
    g_StartupOptions = saved;
}

TEST_F(Binding, PackedByteCodeGameBindsToTheCompilersOutput)
{
    GamePack_SetCompiler(TestCompile);
    const std::string manifest = R"json({
      "name": "ByteCode", "mode": "bytecode",
      "scripts": [{"name": "scr_a", "code": "score = 10\nlives = score\nshow_message(lives)\nreturn x"},
                  {"name": "scr_b", "code": "y = \"hello\"; scr_a(); score = y"}],
      "objects": [{"name": "obj", "events": [{"type": "create", "code": "speed = 3; scr_b()"},
                                              {"type": "step", "number": 1, "code": "x = speed"}]}],
      "rooms": [{"name": "rm", "code": "lives = 3", "instances": [{"object": "obj", "code": "speed = lives"}]}]
    })json";
    PackOutput out = TestPack(manifest, ".");
    ASSERT_FALSE(out.debug.empty());

    FileImage debug(out.debug.data(), uint32_t(out.debug.size()));
    ASSERT_TRUE(Code_LoadDebugCompanion(debug));
    TestLoad load;
    TestLoad_Run(load, out.game);
    ASSERT_TRUE(load.ok);
    ASSERT_TRUE(g_Code.present);

    // Each body equals what the compiler made, with every name bound and strings as indexes.
    const char* sources[] = {"score = 10\nlives = score\nshow_message(lives)\nreturn x",
                             "y = \"hello\"; scr_a(); score = y", "speed = 3; scr_b()", "x = speed", "lives = 3",
                             "speed = lives"};
    ASSERT_EQ(g_Code.entries.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(sources[i]);
        CompiledUnit unit;
        std::string error;
        ASSERT_TRUE(TestCompile(sources[i], "", unit, error));
        const CodeEntry& e = g_Code.entries[i];
        ASSERT_EQ(e.length, unit.code.size());
        std::vector<uint8_t> bound(load.bytes.begin() + e.code, load.bytes.begin() + e.code + e.length);
        std::vector<uint8_t> expected = unit.code;
        for (auto& r : unit.variables) TestPutU32(expected, r.at + 4, (TestU32(expected, r.at + 4) & 0xE0000000u) | uint32_t(TestVariableId(r.name)));
        for (auto& r : unit.functions) TestPutU32(expected, r.at + 4, uint32_t(TestFunctionId(r.name)));
        for (auto& r : unit.strings) {
            EXPECT_STREQ(Code_GetString(load.image, int32_t(TestU32(bound, r.at + 4))), r.name.c_str());
            TestPutU32(expected, r.at + 4, TestU32(bound, r.at + 4));
        }
        EXPECT_EQ(bound, expected);
        // The machine's disassembly of the table's body equals that of the compiler's output.
        CaptureConsole fromTable, fromCompiler;
        ASSERT_NE(Code_Table_Code(int32_t(i)), nullptr);
        VM_DisassembleAll(&fromTable, Code_Table_Code(int32_t(i)));
        VMBuffer reference(expected.data(), int32_t(expected.size()));
        VM_DisassembleAll(&fromCompiler, &reference);
        EXPECT_EQ(fromTable.text, fromCompiler.text);
        if (!unit.functions.empty()) {
            EXPECT_NE(fromTable.text.find("call"), std::string::npos) << fromTable.text;
        }
        if (!unit.strings.empty()) {
            EXPECT_NE(fromTable.text.find("hello"), std::string::npos) << fromTable.text;
        }
        EXPECT_STREQ(Code_DebugSource(int32_t(i)), sources[i]);
        const uint8_t* pairs = nullptr;
        EXPECT_EQ(Code_DebugPairs(int32_t(i), &pairs), int32_t(unit.debug.size() / 2));
    }
    // The script entry carries its code index, the body its name.
    uint32_t scpt = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(load.bytes, "SCPT", scpt, length));
    uint32_t entry = TestU32(load.bytes, scpt + 8);
    EXPECT_EQ(TestString(load.bytes, TestU32(load.bytes, entry)), "scr_b");
    EXPECT_EQ(TestU32(load.bytes, entry + 4), 1u);
    // Event bodies carry the names the runner gives the same code compiled from source.
    EXPECT_EQ(TestString(load.bytes, TestU32(load.bytes, g_Code.entries[2].at)), "Object.obj.Create.0");
    EXPECT_EQ(TestString(load.bytes, TestU32(load.bytes, g_Code.entries[3].at)), "Object.obj.BeginStep.0");
}

TEST_F(Binding, DamagedCompanionIsRefused)
{
    GamePack_SetCompiler(TestCompile);
    PackOutput out = TestPack(R"json({"mode": "bytecode", "scripts": [{"name": "s", "code": "a = 1"}], "rooms": [{"name": "r"}]})json", ".");
    std::vector<uint8_t> d = out.debug;
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(d, "DBGI", data, length));
    uint32_t entry = TestU32(d, data + 4);
    TestPutU32(d, entry, 0x10000000); // more pairs than the file holds
    EXPECT_FALSE(Code_LoadDebugCompanion(FileImage(d.data(), uint32_t(d.size()))));
    EXPECT_STREQ(Code_DebugSource(0), "");
}

TEST_F(Binding, ACompanionIsUsedWithItsOwnGameFileOnly)
{
    // The companion holds the size and hash of the game file it describes: another file (one
    // byte changed, one byte longer) does not fit; a companion written before the check
    // (without its chunk) is used as before.
    GamePack_SetCompiler(TestCompile);
    PackOutput out = TestPack(R"json({"mode": "bytecode", "scripts": [{"name": "s", "code": "a = 1"}], "rooms": [{"name": "r"}]})json", ".");
    ASSERT_TRUE(Code_LoadDebugCompanion(FileImage(out.debug.data(), uint32_t(out.debug.size()))));
    EXPECT_TRUE(Code_DebugCompanionFits(out.game.data(), out.game.size()));
    std::vector<uint8_t> other = out.game;
    other[other.size() / 2] ^= 1;
    EXPECT_FALSE(Code_DebugCompanionFits(other.data(), other.size()));
    other = out.game;
    other.push_back(0);
    EXPECT_FALSE(Code_DebugCompanionFits(other.data(), other.size()));
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(out.debug, "GAME", data, length));
    out.debug[data - 5] = 'X'; // "GAMX": a chunk of no meaning
    ASSERT_TRUE(Code_LoadDebugCompanion(FileImage(out.debug.data(), uint32_t(out.debug.size()))));
    EXPECT_TRUE(Code_DebugCompanionFits(other.data(), other.size()));
    EXPECT_STREQ(Code_DebugSource(0), "a = 1");
}

TEST_F(Binding, ByteCodeTheMachineRefusesFailsTheLoad)
{
    MiniGame g({Word(0x9F, 5), Word(0x9E, 2)}); // pops from an empty stack
    CaptureConsole log;
    TestLoad load;
    TestLoad_Run(load, g.Finish());
    EXPECT_FALSE(load.ok);
    EXPECT_TRUE(log.Has("Byte code refused: body: ")) << log.text;
}
