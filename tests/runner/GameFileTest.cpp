// The game file's container, chunk walk, header, options and texture pages.
#include <gtest/gtest.h>

#include <cstring>

#include "Files/Code/Code_Load.h"
#include "Files/Option/Options.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/IniFile.h"
#include "GamePack_Writer.h"
#include "Platform/MemoryManager.h"
#include "support/CaptureConsole.h"
#include "support/GameFileTools.h"

namespace {

// A header chunk of a version: word 0, strings at +4, +8 and +40, ids, the window fields, a
// caption at +100 from version 10, and a room order written where `orderAt` says.
void WriteHeader(GameWriter& w, uint8_t version, uint32_t orderAt, const std::vector<int32_t>& order,
                 uint32_t flags = 0, uint32_t length = 0)
{
    uint32_t chunk = w.BeginChunk("GEN8");
    uint32_t start = w.Pos();
    w.U32(uint32_t(version) << 8 | 1);
    w.RefString("file");
    w.RefString("Default");
    w.I32(100007);
    w.I32(10000003);
    w.I32(77);
    w.Zeros(40 - 24);
    if (version >= 8) w.RefString("My Game");
    else w.U32(0);
    w.Zeros(60 - 44);
    w.I32(1024);
    w.I32(768);
    w.U32(flags);
    while (w.Pos() - start < 100) w.U32(0);
    if (version >= 10) w.RefString("The Caption");
    while (w.Pos() - start < 112) w.U32(0);
    w.U32(0x12345678); // +112 usage flags (low)
    w.U32(0x9);
    w.I32(480); // +120 Steam app id
    while (w.Pos() - start < orderAt) w.U32(0);
    if (orderAt >= 100 && orderAt < w.Pos() - start) {
        // the order overlaps fields written above (versions 8 to 12): overwrite them
        uint32_t at = start + orderAt;
        w.PutU32(at, uint32_t(order.size()));
        for (size_t i = 0; i < order.size(); ++i) {
            if (at + 4 + 4 * i + 4 > w.Pos()) w.U32(0);
            w.PutU32(at + 4 + uint32_t(4 * i), uint32_t(order[i]));
        }
    } else {
        w.U32(uint32_t(order.size()));
        for (int32_t r : order) w.I32(r);
    }
    while (length && w.Pos() - start < length) w.U8(0);
    w.EndChunk(chunk);
}

std::vector<uint8_t> HeaderFile(uint8_t version, uint32_t orderAt, const std::vector<int32_t>& order, uint32_t flags = 0)
{
    GameWriter w;
    WriteHeader(w, version, orderAt, order, flags);
    w.WriteStrings();
    return w.Finish();
}

class GameFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestBindHooks_Install();
        saved = g_StartupOptions.inAWindow;
    }
    void TearDown() override
    {
        TestBindHooks_Remove();
        g_StartupOptions.inAWindow = saved;
        g_StartupOptions.steam = 0;
        Header_Clear(g_GameHeader);
        Code_Clear();
        Code_ClearDebug();
    }
    uint8_t saved = 0;
};

} // namespace

TEST_F(GameFile, ContainerNeedsTheMagicAndTheExactBodyLength)
{
    std::vector<uint8_t> f = HeaderFile(13, 124, {0});
    FileImage good(f.data(), uint32_t(f.size()));
    EXPECT_TRUE(FileImage_CheckContainer(good));

    std::vector<uint8_t> reversed = f;
    std::memcpy(reversed.data(), "MROF", 4);
    EXPECT_TRUE(FileImage_CheckContainer(FileImage(reversed.data(), uint32_t(reversed.size()))));

    std::vector<uint8_t> tag = f;
    tag[0] = 'X';
    EXPECT_FALSE(FileImage_CheckContainer(FileImage(tag.data(), uint32_t(tag.size()))));
    std::vector<uint8_t> length = f;
    TestPutU32(length, 4, uint32_t(f.size() - 9));
    EXPECT_FALSE(FileImage_CheckContainer(FileImage(length.data(), uint32_t(length.size()))));
    std::vector<uint8_t> bare = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
    EXPECT_FALSE(FileImage_CheckContainer(FileImage(bare.data(), 8)));

    // A body length off by one loads nothing and is a failure, not a success.
    CaptureConsole log;
    TestLoad load;
    TestLoad_Run(load, length);
    EXPECT_FALSE(load.ok);
    EXPECT_FALSE(log.Has("Process Chunk"));
}

TEST_F(GameFile, ChunkPastTheEndFailsTheWalk)
{
    std::vector<uint8_t> f = HeaderFile(13, 124, {});
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(f, "STRG", data, length));
    TestPutU32(f, data - 4, length + 1);
    TestPutU32(f, 4, uint32_t(f.size() - 8));
    TestLoad load;
    TestLoad_Run(load, f);
    EXPECT_FALSE(load.ok);
}

TEST_F(GameFile, UnknownChunkIsLoggedAndFailsButTheWalkGoesOn)
{
    GameWriter w;
    uint32_t c = w.BeginChunk("ABCD");
    w.U32(5);
    w.EndChunk(c);
    c = w.BeginChunk("ZZZZ"); // empty: logged, never dispatched
    w.EndChunk(c);
    WriteHeader(w, 13, 124, {});
    w.WriteStrings();
    CaptureConsole log;
    TestLoad load;
    TestLoad_Run(load, w.Finish());
    EXPECT_FALSE(load.ok);
    EXPECT_TRUE(log.Has("unknown Chunk ABCD:1145258561\n"));
    EXPECT_TRUE(log.Has("Process Chunk: ZZZZ   0\n"));
    EXPECT_FALSE(log.Has("unknown Chunk ZZZZ"));
    EXPECT_TRUE(log.Has("Process Chunk: STRG")) << "chunks after the unknown one are still read";
}

TEST_F(GameFile, HeaderFieldsAndRoomOrderByVersion)
{
    struct Case {
        uint8_t version;
        uint32_t orderAt;
    } cases[] = {{8, 100}, {9, 100}, {10, 104}, {11, 112}, {12, 120}, {13, 124}, {14, 124}, {200, 124}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.version));
        std::vector<uint8_t> f = HeaderFile(c.version, c.orderAt, {3, 1, 2});
        TestLoad load;
        TestLoad_Run(load, f);
        ASSERT_TRUE(load.ok);
        EXPECT_EQ(g_GameHeader.version, c.version);
        EXPECT_EQ(g_GameHeader.debugFlag, 1);
        EXPECT_EQ(g_GameHeader.roomOrder, (std::vector<int32_t>{3, 1, 2}));
        EXPECT_STREQ(g_GameHeader.gameName, "My Game");
        EXPECT_STREQ(g_GameHeader.configName, "Default");
        EXPECT_EQ(g_GameHeader.lastInstanceId, 100007);
        EXPECT_EQ(g_GameHeader.lastTileId, 10000003);
        EXPECT_EQ(g_GameHeader.gameId, 77);
        EXPECT_EQ(g_GameHeader.windowWidth, 1024);
        EXPECT_EQ(g_GameHeader.windowHeight, 768);
        if (c.version >= 10) EXPECT_STREQ(g_GameHeader.caption, "The Caption");
        else EXPECT_EQ(g_GameHeader.caption, nullptr);
        EXPECT_EQ(g_GameHeader.usageFlags, c.version >= 12 ? 0x912345678ull : ~0ull);
        EXPECT_EQ(g_GameHeader.steamAppId, c.version >= 13 ? 480 : 0);
    }
}

TEST_F(GameFile, OldHeadersKeepTheirRoomOrderAtFortyAndHaveNoGameName)
{
    GameWriter w;
    uint32_t chunk = w.BeginChunk("GEN7");
    w.U32(7u << 8);
    w.Zeros(32);
    w.U32(2); // +36 count
    w.I32(5); // +40
    w.I32(4);
    w.Zeros(96 - 48);
    w.EndChunk(chunk);
    TestLoad load;
    TestLoad_Run(load, w.Finish());
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(g_GameHeader.roomOrder, (std::vector<int32_t>{5, 4}));
    EXPECT_EQ(g_GameHeader.gameName, nullptr);
    EXPECT_EQ(g_GameHeader.windowWidth, 800);
    EXPECT_EQ(g_GameHeader.windowHeight, 480);
    EXPECT_EQ(g_GameFile.dataFileVersion, 700);
}

TEST_F(GameFile, HeaderThatCannotHoldItsFieldsOrItsRoomOrderFails)
{
    // Room order count larger than the chunk.
    std::vector<uint8_t> f = HeaderFile(13, 124, {1, 2});
    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(f, "GEN8", data, length));
    TestPutU32(f, data + 124, 3);
    TestLoad load;
    TestLoad_Run(load, f);
    EXPECT_FALSE(load.ok);

    // A version-13 header cut before its Steam id.
    GameWriter w;
    uint32_t chunk = w.BeginChunk("GEN8");
    w.U32(13u << 8);
    w.Zeros(116);
    w.EndChunk(chunk);
    TestLoad_Run(load, w.Finish());
    EXPECT_FALSE(load.ok);

    // A string offset outside the file.
    f = HeaderFile(13, 124, {});
    ASSERT_TRUE(TestFindChunk(f, "GEN8", data, length));
    TestPutU32(f, data + 40, uint32_t(f.size()));
    TestLoad_Run(load, f);
    EXPECT_FALSE(load.ok);
}

TEST_F(GameFile, SteamFlagAndCaption)
{
    TestLoad load;
    TestLoad_Run(load, HeaderFile(13, 124, {}, 0x1000));
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(g_StartupOptions.steam, 1);
    EXPECT_STREQ(MessageBox_GetCaption(), "The Caption");
    g_StartupOptions.steam = 0;
    TestLoad_Run(load, HeaderFile(13, 124, {}, 0x2000));
    EXPECT_EQ(g_StartupOptions.steam, 0);
    MessageBox_SetCaption("Zimbrel");
}

namespace {

std::vector<uint8_t> OptionsFile(uint8_t version, const std::vector<uint32_t>& words,
                                 const std::vector<std::pair<const char*, const char*>>& constants, int cut = 0)
{
    GameWriter w;
    WriteHeader(w, version < 8 ? 8 : version, 124 > 0 && version >= 13 ? 124 : 100, {});
    if (version < 8) w.PutU32(16, uint32_t(version) << 8); // the version byte only
    uint32_t chunk = w.BeginChunk("OPTN");
    for (int i = 0; i < 35; ++i) w.U32(i < int(words.size()) ? words[size_t(i)] : 0);
    w.U32(uint32_t(constants.size()));
    for (auto& [n, v] : constants) {
        n ? w.RefString(n) : w.U32(0);
        v ? w.RefString(v) : w.U32(0);
    }
    w.EndChunk(chunk);
    w.WriteStrings();
    std::vector<uint8_t> f = w.Finish();
    if (cut) {
        uint32_t data = 0, length = 0;
        TestFindChunk(f, "OPTN", data, length);
        TestPutU32(f, data - 4, length - uint32_t(cut));
        f.erase(f.begin() + data + length - cut, f.begin() + data + length);
        TestPutU32(f, 4, uint32_t(f.size() - 8));
    }
    return f;
}

} // namespace

TEST_F(GameFile, OptionsChunkWordsConstantsAndVersion)
{
    g_StartupOptions.errorsShown = 0;
    std::vector<uint32_t> words(35, 0);
    words[0] = 7;
    words[4] = 0;
    words[8] = 0x123456;
    words[22] = 1;
    words[34] = 1;
    TestLoad load;
    TestLoad_Run(load, OptionsFile(13, words, {{"VersionMajor", "3"}, {nullptr, "x"}, {"VersionMinor", "14"}, {"K", nullptr}}));
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(g_StartupOptions.errorsShown, 1) << "the options' defaults show errors again";
    EXPECT_EQ(g_Options.fullScreen, 1);
    EXPECT_EQ(g_Options.cursorShown, 0);
    EXPECT_EQ(g_Options.windowColour, 0x123456);
    EXPECT_EQ(g_Options.freezeOnLostFocus, 1);
    EXPECT_EQ(g_Options.createEventFirst, 1);
    ASSERT_EQ(g_Options.constantCount, 4);
    EXPECT_STREQ(g_Options.constantNames[0], "VersionMajor");
    EXPECT_EQ(g_Options.constantNames[1], nullptr);
    EXPECT_STREQ(g_Options.constantValues[1], "x");
    EXPECT_EQ(g_Options.constantValues[3], nullptr);
    EXPECT_EQ(g_Options.versionMajor, 3);
    EXPECT_EQ(g_Options.versionMinor, 14);

    // "-inawindow" keeps full screen off.
    g_StartupOptions.inAWindow = 1;
    TestLoad_Run(load, OptionsFile(13, words, {}));
    EXPECT_EQ(g_Options.fullScreen, 0);
    EXPECT_EQ(g_Options.constantCount, 0);
}

TEST_F(GameFile, CreateEventFirstIsReadFromVersionFiveOnly)
{
    std::vector<uint32_t> words(35, 0);
    words[34] = 1;
    g_Options.createEventFirst = 0;
    TestLoad load;
    TestLoad_Run(load, OptionsFile(4, words, {}));
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(g_Options.createEventFirst, 0);
    TestLoad_Run(load, OptionsFile(5, words, {}));
    EXPECT_EQ(g_Options.createEventFirst, 1);
}

TEST_F(GameFile, OptionsChunkShorterThanItsConstantsFails)
{
    TestLoad load;
    TestLoad_Run(load, OptionsFile(13, {}, {{"A", "1"}, {"B", "2"}}, 4));
    EXPECT_FALSE(load.ok);
    TestLoad_Run(load, OptionsFile(13, {}, {}, 8)); // not even the 36 words
    EXPECT_FALSE(load.ok);
}

TEST_F(GameFile, OptionsIniDebugAndTrace)
{
    const uint8_t debug = g_StartupOptions.debugMode, trace = g_StartupOptions.trace;
    g_StartupOptions.debugMode = 1; // as "-debug" left it
    IniFile ini;
    ini.SetText("[DEFAULT]\nDebug=0\nTrace=1\nOrientPortrait=0\n");
    Options_ReadIni(&ini);
    EXPECT_EQ(g_StartupOptions.debugMode, 0) << "the ini is read after the command line";
    EXPECT_EQ(g_StartupOptions.trace, 1);
    ini.SetText("[DEFAULT]\nDebug=2\n");
    Options_ReadIni(&ini);
    EXPECT_EQ(g_StartupOptions.debugMode, 1);
    EXPECT_EQ(g_StartupOptions.debugFormMode, 2);
    ini.SetText("[OTHER]\nDebug=0\n");
    Options_ReadIni(&ini);
    EXPECT_EQ(g_StartupOptions.debugMode, 1) << "absent keys change nothing";
    g_StartupOptions.debugMode = debug;
    g_StartupOptions.trace = trace;
    g_StartupOptions.debugFormMode = 0;
}

TEST_F(GameFile, TexturePagesAreBoundedByTheNextPageAndEntriesGetTextureIds)
{
    GameWriter w;
    WriteHeader(w, 13, 124, {});
    uint32_t chunk = w.BeginChunk("TPAG");
    int e0 = w.NewLabel(), e1 = w.NewLabel();
    w.List({e0, e1});
    w.Bind(e0);
    for (int i = 0; i < 10; ++i) w.I16(int16_t(i));
    w.I16(1); // page 1
    w.Bind(e1);
    for (int i = 0; i < 10; ++i) w.I16(0);
    w.I16(5); // no such page
    w.AlignTo(4);
    w.EndChunk(chunk);
    chunk = w.BeginChunk("TXTR");
    int r0 = w.NewLabel(), r1 = w.NewLabel(), b0 = w.NewLabel(), b1 = w.NewLabel();
    w.List({r0, r1});
    w.Bind(r0);
    w.U32(0);
    w.Ref(b0);
    w.Bind(r1);
    w.U32(1);
    w.Ref(b1);
    w.Bind(b1); // the second page's image comes first in the file
    w.Bytes("second", 6);
    w.Bind(b0);
    w.Bytes("first image", 11);
    w.EndChunk(chunk);
    w.WriteStrings();
    std::vector<uint8_t> f = w.Finish();

    uint32_t data = 0, length = 0;
    ASSERT_TRUE(TestFindChunk(f, "TXTR", data, length));
    FileImage image(f.data(), uint32_t(f.size()));
    std::vector<std::pair<uint32_t, uint32_t>> blobs;
    std::vector<uint32_t> flags;
    ASSERT_TRUE(Texture_Blobs(image, data, data + length, blobs, flags));
    ASSERT_EQ(blobs.size(), 2u);
    EXPECT_EQ(blobs[0].second, 11u) << "the last image runs to the chunk's end";
    EXPECT_EQ(blobs[1].second, 6u) << "an image stops where the next one starts";
    EXPECT_EQ(flags[1], 1u);

    CaptureConsole log;
    TestLoad load;
    TestLoad_Run(load, f);
    ASSERT_TRUE(load.ok);
    ASSERT_EQ(g_GameFile.textureIds.size(), 2u);
    uint32_t tpag = 0;
    ASSERT_TRUE(TestFindChunk(load.bytes, "TPAG", tpag, length));
    uint32_t entry0 = TestU32(load.bytes, tpag + 4), entry1 = TestU32(load.bytes, tpag + 8);
    EXPECT_EQ(load.bytes[entry0 + 20] | load.bytes[entry0 + 21] << 8, g_GameFile.textureIds[1] & 0xFFFF);
    EXPECT_EQ(load.bytes[entry1 + 20], 5) << "an index outside the pages is left alone";
    EXPECT_TRUE(log.Has("what!!!!\n"));
}

TEST_F(GameFile, TexturePageImageOutsideItsChunkFails)
{
    GameWriter w;
    WriteHeader(w, 13, 124, {});
    uint32_t chunk = w.BeginChunk("TXTR");
    int r0 = w.NewLabel();
    w.List({r0});
    w.Bind(r0);
    w.U32(0);
    w.U32(8); // inside the file but before the chunk
    w.EndChunk(chunk);
    w.WriteStrings();
    TestLoad load;
    TestLoad_Run(load, w.Finish());
    EXPECT_FALSE(load.ok);
}

TEST(GameFilePaths, OptionsIniAndDebugCompanionBesideTheGame)
{
    auto str = [](char* p) {
        std::string s = p ? p : "(null)";
        MEM_FREE(p);
        return s;
    };
    EXPECT_EQ(str(Runner_OptionsIniPath("/games/x/data.win")), "/games/x/options.ini");
    EXPECT_EQ(str(Runner_OptionsIniPath("C:\\games\\data.win")), "C:\\games/options.ini");
    EXPECT_EQ(str(Runner_OptionsIniPath("data.win")), "(null)");
    EXPECT_EQ(str(Runner_DebugCompanionPath("/games/x/data.win")), "/games/x/data.kvdebug");
    EXPECT_EQ(str(Runner_DebugCompanionPath("/games/v1.2/game")), "/games/v1.2/game.kvdebug")
        << "a dot in a folder name is not the extension";
    EXPECT_EQ(str(Runner_DebugCompanionPath("/a.b\\c.d.win")), "/a.b\\c.d.kvdebug");
}

TEST_F(GameFile, SecondHeaderFailsTheLoad)
{
    GameWriter w;
    WriteHeader(w, 13, 124, {});
    WriteHeader(w, 13, 124, {1});
    w.WriteStrings();
    TestLoad load;
    TestLoad_Run(load, w.Finish());
    EXPECT_FALSE(load.ok);
}
