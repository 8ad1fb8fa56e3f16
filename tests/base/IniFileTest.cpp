// IniFile: the reader's rules, the writer's exact text, edits, and the file round trip
// through the save area.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Files/Support/IniFile.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "support/ScratchFolder.h"

namespace {

std::string FlushText(IniFile& ini, bool* saved = nullptr)
{
    char* t = ini.Flush(saved);
    std::string s = t;
    MEM_FREE(t);
    return s;
}

std::string Read(const IniFile& ini, const char* section, const char* key)
{
    return ini.ReadString(section, key, "<none>");
}

} // namespace

TEST(IniFile, ValuesEndAtCommentsAndLineEnds)
{
    IniFile ini;
    ini.SetText("[a]\r\nk = v  ;note\r\nq = \"x;y \" trailing\r\ns='it''s'\r\nempty=\"\"\r\nt=\ttabbed\t\r\n");
    EXPECT_EQ(Read(ini, "a", "k"), "v");
    EXPECT_EQ(Read(ini, "a", "q"), "x;y");
    EXPECT_EQ(Read(ini, "a", "s"), "it");
    EXPECT_EQ(Read(ini, "a", "empty"), "");
    EXPECT_EQ(Read(ini, "a", "t"), "tabbed");
    EXPECT_EQ(Read(ini, "A", "k"), "<none>"); // names compare exactly
}

TEST(IniFile, AKeyWhoseValueIsNotOnItsLineIsDropped)
{
    IniFile ini;
    ini.SetText("[a]\r\nk=\r\nj=2\r\nc= ;comment\r\nd=4\nlast=");
    EXPECT_EQ(ini.FindKey("a", "k"), nullptr);
    EXPECT_EQ(Read(ini, "a", "j"), "2");
    EXPECT_EQ(ini.FindKey("a", "c"), nullptr);
    EXPECT_EQ(Read(ini, "a", "d"), "4");
    EXPECT_EQ(ini.FindKey("a", "last"), nullptr);
}

TEST(IniFile, CommentsWithLfLineEndsKeepTheNextKeyWhole)
{
    IniFile ini;
    ini.SetText("# top\n[s]\n; one\nkey=1\n#two\n\nother=2\n");
    EXPECT_EQ(Read(ini, "s", "key"), "1");
    EXPECT_EQ(Read(ini, "s", "other"), "2");
}

TEST(IniFile, TextBeforeTheFirstHeaderIsIgnored)
{
    IniFile ini;
    ini.SetText("\xEF\xBB\xBFloose=1\r\n[a]\r\nk=v\r\n");
    EXPECT_EQ(ini.FindKey("", "loose"), nullptr);
    ASSERT_NE(ini.FirstSection(), nullptr);
    EXPECT_STREQ(ini.FirstSection()->name, "a");
    EXPECT_EQ(ini.FirstSection()->next, nullptr);

    IniFile none;
    none.SetText("k=v\r\nno sections here");
    EXPECT_EQ(none.FirstSection(), nullptr);
}

TEST(IniFile, AnUnclosedHeaderEndsTheParseKeepingWhatWasRead)
{
    IniFile ini;
    ini.SetText("[a]\nk=1\n[b\nj=2\n");
    EXPECT_EQ(Read(ini, "a", "k"), "1");
    EXPECT_EQ(ini.FindSection("b"), nullptr);
    EXPECT_EQ(ini.FirstSection()->next, nullptr);
}

TEST(IniFile, RepeatedSectionsReadTheLaterAndWriteBothReversed)
{
    IniFile ini;
    ini.SetText("[a]\r\nk=1\r\nx=first\r\n[a]\r\nk=2\r\n");
    EXPECT_EQ(Read(ini, "a", "k"), "2");
    EXPECT_EQ(Read(ini, "a", "x"), "<none>");
    EXPECT_EQ(FlushText(ini), "[a]\r\nk=2\r\n[a]\r\nx=first\r\nk=1\r\n");
}

TEST(IniFile, DeletingTheLaterOfRepeatedNamesUncoversTheEarlier)
{
    // Repeated sections and keys, read, then deleted one at a time: each deletion takes the
    // one found, and the next look-up finds the one before it; a section's keys go with it.
    IniFile ini;
    ini.SetText("[a]\nk=1\nk=2\n[b]\nk=b\n[a]\nk=3\nj=x\n");
    EXPECT_EQ(Read(ini, "a", "k"), "3");
    EXPECT_TRUE(ini.DeleteSection("a"));
    EXPECT_EQ(Read(ini, "a", "k"), "2");
    EXPECT_EQ(Read(ini, "a", "j"), "<none>");
    EXPECT_TRUE(ini.DeleteKey("a", "k"));
    EXPECT_EQ(Read(ini, "a", "k"), "1");
    EXPECT_TRUE(ini.WriteString("a", "k", "new"));
    EXPECT_EQ(Read(ini, "a", "k"), "new");
    EXPECT_EQ(Read(ini, "b", "k"), "b");
    EXPECT_TRUE(ini.DeleteKey("a", "k"));
    EXPECT_FALSE(ini.DeleteKey("a", "k"));
    EXPECT_TRUE(ini.DeleteSection("a"));
    EXPECT_FALSE(ini.DeleteSection("a"));
    EXPECT_EQ(FlushText(ini), "[b]\r\nk=b\r\n");
    // A section made again after its deletion starts empty.
    EXPECT_TRUE(ini.WriteString("a", "n", "4"));
    EXPECT_EQ(Read(ini, "a", "k"), "<none>");
    EXPECT_EQ(FlushText(ini), "[a]\r\nn=4\r\n[b]\r\nk=b\r\n");
}

TEST(IniFile, ReadIntReadsAsAtoi)
{
    IniFile ini;
    ini.SetText("[n]\na= 42abc\nb=-17\nc=+8\nd=x1\ne=99999999999\nf=-99999999999\n");
    EXPECT_EQ(ini.ReadInt("n", "a", -1), 42);
    EXPECT_EQ(ini.ReadInt("n", "b", -1), -17);
    EXPECT_EQ(ini.ReadInt("n", "c", -1), 8);
    EXPECT_EQ(ini.ReadInt("n", "d", -1), 0);
    EXPECT_EQ(ini.ReadInt("n", "e", -1), INT32_MAX);
    EXPECT_EQ(ini.ReadInt("n", "f", -1), INT32_MIN);
    EXPECT_EQ(ini.ReadInt("n", "missing", -1), -1);
}

TEST(IniFile, WritesAndDeletesEditTheListsAndMarkTheObject)
{
    IniFile ini;
    EXPECT_FALSE(ini.WriteString(nullptr, "k", "v"));
    EXPECT_FALSE(ini.WriteString("s", nullptr, "v"));
    EXPECT_FALSE(ini.IsChanged());
    EXPECT_TRUE(ini.WriteString("s", "k", "1"));
    EXPECT_TRUE(ini.WriteString("s", "j", "2"));
    EXPECT_TRUE(ini.WriteString("t", "k", "3"));
    EXPECT_TRUE(ini.WriteString("s", "k", "one"));
    EXPECT_TRUE(ini.IsChanged());
    EXPECT_EQ(FlushText(ini), "[t]\r\nk=3\r\n[s]\r\nj=2\r\nk=one\r\n");
    EXPECT_TRUE(ini.IsChanged()); // no file name: nothing was written

    EXPECT_FALSE(ini.DeleteKey("s", "nope"));
    EXPECT_TRUE(ini.DeleteKey("s", "j"));
    EXPECT_FALSE(ini.DeleteSection("u"));
    EXPECT_TRUE(ini.DeleteSection("t"));
    EXPECT_EQ(FlushText(ini), "[s]\r\nk=one\r\n");
}

TEST(IniFile, ValuesTheReaderWouldChangeAreQuoted)
{
    const std::vector<std::string> values = {"", " lead", "\ttab", "a;b", "a#b", "\"q\"", "'q'",
                                             "say \"hi\";", "plain", "x=y", "[z]"};
    IniFile ini;
    for (size_t i = 0; i < values.size(); i++)
        ini.WriteString("v", ("k" + std::to_string(i)).c_str(), values[i].c_str());
    ini.WriteString("v", "lines", "one\r\n[evil]\r\nk=v");
    std::string text = FlushText(ini);
    EXPECT_NE(text.find("k0=\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("k8=plain\r\n"), std::string::npos);
    EXPECT_NE(text.find("k3=\"a;b\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("k7='say \"hi\";'\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\n[evil]"), std::string::npos);

    IniFile back;
    back.SetText(text.c_str());
    for (size_t i = 0; i < values.size(); i++)
        EXPECT_EQ(Read(back, "v", ("k" + std::to_string(i)).c_str()), values[i]) << i;
    EXPECT_EQ(Read(back, "v", "lines"), "one  [evil]  k=v");
    EXPECT_EQ(back.FindSection("evil"), nullptr);
}

TEST(IniFile, NamesCannotReachPastTheirOwnLine)
{
    // A player's name used as a key must not add keys or sections of its own.
    IniFile ini;
    ini.WriteString("scores", "bob\r\n[admin]\r\nlevel", "1");
    ini.WriteString("scores", "eve=999", "5");
    ini.WriteString("scores", " [cfg]", "2");
    ini.WriteString("a]\nb=c\n[x", "k", "v");
    ini.WriteString("scores", "ann", "3");
    IniFile back;
    back.SetText(FlushText(ini).c_str());
    EXPECT_EQ(back.FindSection("admin"), nullptr);
    EXPECT_EQ(back.FindSection("cfg"), nullptr);
    EXPECT_EQ(back.FindSection("x"), nullptr);
    EXPECT_EQ(Read(back, "scores", "eve"), "<none>");
    EXPECT_EQ(Read(back, "scores", "ann"), "3");
    EXPECT_EQ(Read(back, "scores", "eve 999"), "5");
    EXPECT_EQ(Read(back, "a  b=c [x", "k"), "v");
    EXPECT_EQ(Read(ini, "scores", "eve=999"), "5"); // the open object keeps the name as given
}

TEST(IniFile, TextsWithZerosAndOddBytesParseSafely)
{
    IniFile ini;
    const char raw[] = "[a]\nk=v\0w\n[\0]\nz=1";
    std::string text(raw, sizeof raw - 1);
    ini.SetText(text.data(), int32_t(text.size()));
    EXPECT_EQ(Read(ini, "a", "k"), "v"); // the value stops at the zero when read as text
    ini.SetText(nullptr);
    ini.SetText("[", 1);
    ini.SetText("=", 1);
    ini.SetText("[a]=", 4);
    ini.SetText("[a]\n'", 5);
    EXPECT_EQ(Read(ini, "a", ""), "<none>");
}

// ---- Files ----------------------------------------------------------------------------------

class IniFileFiles : public ::testing::Test {
protected:
    IniFileFiles() : cwd_(dir_.Path())
    {
        LoadSave_SetFolders((dir_ / "prog").c_str(), (dir_ / "save").c_str(), nullptr);
    }
    ~IniFileFiles() override { LoadSave_SetFolders(nullptr, nullptr, nullptr); }
    ScratchFolder dir_;
    ScopedCurrentFolder cwd_;
};

TEST_F(IniFileFiles, LoadPrefersTheSaveAreaAndFlushWritesThere)
{
    Scratch_WriteFile(dir_ / "prog/options.ini", "[DEFAULT]\r\nDebug=0\r\n");
    IniFile shipped;
    shipped.Load("options.ini", false);
    EXPECT_EQ(shipped.ReadInt("DEFAULT", "Debug", -1), 0);

    Scratch_WriteFile(dir_ / "save/options.ini", "[DEFAULT]\r\nDebug=1\r\n");
    IniFile ini;
    ini.Load("options.ini", false);
    EXPECT_EQ(ini.ReadInt("DEFAULT", "Debug", -1), 1);
    EXPECT_FALSE(ini.IsChanged());

    bool saved = false;
    FlushText(ini, &saved); // unchanged: nothing written
    EXPECT_TRUE(saved);
    ini.WriteString("DEFAULT", "Debug", "2");
    EXPECT_EQ(FlushText(ini, &saved), "[DEFAULT]\r\nDebug=2\r\n");
    EXPECT_TRUE(saved);
    EXPECT_FALSE(ini.IsChanged());
    EXPECT_EQ(Scratch_ReadFile(dir_ / "save/options.ini"), "[DEFAULT]\r\nDebug=2\r\n");
    EXPECT_EQ(Scratch_ReadFile(dir_ / "prog/options.ini"), "[DEFAULT]\r\nDebug=0\r\n");
}

TEST_F(IniFileFiles, AMissingFileParsesAsEmpty)
{
    IniFile ini;
    ini.Load("absent.ini", false);
    EXPECT_EQ(ini.FirstSection(), nullptr);
    EXPECT_STREQ(ini.ReadString("a", "b", "def"), "def");
}

TEST_F(IniFileFiles, TheFlushCommandWritesAtOnceAndStoresNothing)
{
    IniFile ini;
    ini.Load("sub/cfg.ini", false);
    ini.WriteString("video", "w", "640");
    EXPECT_FALSE(Scratch_Exists(dir_ / "save/sub/cfg.ini"));
    EXPECT_TRUE(ini.WriteString("SYSTEM_COMMAND", "INI_FILE_FLUSH", "NOW"));
    EXPECT_EQ(ini.FindSection("SYSTEM_COMMAND"), nullptr);
    EXPECT_EQ(Scratch_ReadFile(dir_ / "save/sub/cfg.ini"), "[video]\r\nw=640\r\n");
    EXPECT_TRUE(ini.WriteString("SYSTEM_COMMAND", "OTHER", "NOW"));
    EXPECT_EQ(ini.FindSection("SYSTEM_COMMAND"), nullptr);
}

TEST_F(IniFileFiles, ARefusedFlushKeepsTheChangesMarked)
{
    IniFile ini;
    ini.Load("/elsewhere/outside.ini", false); // outside every folder of the game
    ini.WriteString("a", "k", "v");
    bool saved = true;
    EXPECT_EQ(FlushText(ini, &saved), "[a]\r\nk=v\r\n");
    EXPECT_FALSE(saved);
    EXPECT_TRUE(ini.IsChanged());
}
