// The INI built-ins (one current INI, read from either folder, written to the save area when
// closed, checked arguments) and the registry-named key store.
#include "Files/Function/Function_File.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

class IniBuiltins : public CorelibTest {};

TEST_F(IniBuiltins, ReadsFromTheProgramFolderAndWritesTheSaveAreaOnClose)
{
    Scratch_WriteFile(InProgram("settings.ini"), "[video]\nwidth=640\nname=  Hero \n");
    Call("ini_open", {"settings.ini"});
    EXPECT_EQ(Num("ini_read_real", {"video", "width", 0}), 640);
    EXPECT_EQ(Str("ini_read_string", {"video", "name", "x"}), "Hero");
    EXPECT_EQ(Str("ini_read_string", {"video", "missing", "fallback"}), "fallback");
    EXPECT_EQ(Num("ini_key_exists", {"video", "width"}), 1);
    EXPECT_EQ(Num("ini_key_exists", {"Video", "width"}), 0); // names compare exactly
    EXPECT_EQ(Num("ini_section_exists", {"video"}), 1);
    Call("ini_write_real", {"video", "height", 480});
    std::string text = Str("ini_close");
    EXPECT_EQ(text, "[video]\r\nheight=480.000000\r\nname=Hero\r\nwidth=640\r\n");
    EXPECT_EQ(Scratch_ReadFile(InSave("settings.ini")), text);
    EXPECT_EQ(Scratch_ReadFile(InProgram("settings.ini")), "[video]\nwidth=640\nname=  Hero \n");

    // The save area's copy is read from now on.
    Call("ini_open", {"settings.ini"});
    EXPECT_EQ(Num("ini_read_real", {"video", "height", 0}), 480);
    Call("ini_key_delete", {"video", "name"});
    Call("ini_section_delete", {"nothing"});
    // (IniFile lists keys in the reverse order of the text it read.)
    EXPECT_EQ(Str("ini_close"), "[video]\r\nwidth=640\r\nheight=480.000000\r\n");
    EXPECT_EQ(Errors(), 0);
}

TEST_F(IniBuiltins, ReadRealDefaultsAndValues)
{
    Call("ini_open_from_string", {"[s]\nk=abc\nn=-2.5e1\n"});
    EXPECT_EQ(Num("ini_read_real", {"s", "none", "12.5"}), 12.5);
    EXPECT_EQ(Num("ini_read_real", {"s", "none", ""}), 0);
    EXPECT_EQ(Num("ini_read_real", {"s", "none", 7}), 7);
    EXPECT_EQ(Num("ini_read_real", {"s", "k", 5}), 0);
    EXPECT_EQ(Num("ini_read_real", {"s", "n", 5}), -25);
    EXPECT_EQ(Str("ini_read_string", {"s", "n", ""}), "-2.5e1");
}

TEST_F(IniBuiltins, WriteRealUsesSixDecimalsAtAnyMagnitude)
{
    Call("ini_open_from_string", {""});
    Call("ini_write_real", {"s", "one", 1});
    Call("ini_write_real", {"s", "neg", -0.0000005});
    Call("ini_write_real", {"s", "big", 1e300});
    EXPECT_EQ(Str("ini_read_string", {"s", "one", ""}), "1.000000");
    EXPECT_EQ(Str("ini_read_string", {"s", "neg", ""}), "-0.000000");
    std::string big = Str("ini_read_string", {"s", "big", ""});
    EXPECT_EQ(big.size(), 301u + 7u);
    EXPECT_EQ(big.substr(0, 4), "1000");
    EXPECT_EQ(big.substr(big.size() - 7), ".000000");
}

TEST_F(IniBuiltins, FromStringIsNeverWrittenToDisk)
{
    Call("ini_open_from_string", {"[b]\nx=1\n[a]\ny=2\n"});
    Call("ini_write_string", {"a", "z", "3"});
    EXPECT_EQ(Str("ini_close"), "[a]\r\nz=3\r\ny=2\r\n[b]\r\nx=1\r\n");
    EXPECT_EQ(Num("parameter_count") >= 1, true);
    // Nothing was written anywhere in the game's folders.
    EXPECT_EQ(Str("file_find_first", {"*", 16}), "");
}

TEST_F(IniBuiltins, OpeningAnotherIniWritesOutTheFirst)
{
    Call("ini_open", {"a.ini"});
    Call("ini_write_string", {"s", "k", "v"});
    Call("ini_open", {"b.ini"});
    EXPECT_EQ(Scratch_ReadFile(InSave("a.ini")), "[s]\r\nk=v\r\n");
    Call("ini_write_string", {"t", "k", "w"});
    Call("ini_open_from_string", {""});
    EXPECT_EQ(Scratch_ReadFile(InSave("b.ini")), "[t]\r\nk=w\r\n");
    // An unchanged INI is not written.
    Call("ini_open", {"c.ini"});
    Call("ini_close");
    EXPECT_FALSE(Scratch_Exists(InSave("c.ini")));
}

TEST_F(IniBuiltins, AnIniLeftOpenIsWrittenAtShutdown)
{
    Call("ini_open", {"sub/left.ini"});
    Call("ini_write_string", {"s", "k", "kept"});
    Function_File_CloseAll();
    EXPECT_EQ(Scratch_ReadFile(InSave("sub/left.ini")), "[s]\r\nk=kept\r\n");
    EXPECT_EQ(Str("ini_close"), "");
}

TEST_F(IniBuiltins, FlushCommandWritesAtOnce)
{
    Call("ini_open", {"now.ini"});
    Call("ini_write_string", {"s", "k", "1"});
    Call("ini_write_string", {"SYSTEM_COMMAND", "INI_FILE_FLUSH", "NOW"});
    EXPECT_EQ(Scratch_ReadFile(InSave("now.ini")), "[s]\r\nk=1\r\n");
}

TEST_F(IniBuiltins, ValuesThatWouldNotReadBackAreQuoted)
{
    Call("ini_open", {"q.ini"});
    Call("ini_write_string", {"s", "empty", ""});
    Call("ini_write_string", {"s", "comment", "a;b"});
    Call("ini_write_string", {"s", "lines", "one\r\n[evil]\r\nx=1"});
    Call("ini_close");
    Call("ini_open", {"q.ini"});
    EXPECT_EQ(Num("ini_key_exists", {"s", "empty"}), 1);
    EXPECT_EQ(Str("ini_read_string", {"s", "comment", ""}), "a;b");
    EXPECT_EQ(Num("ini_section_exists", {"evil"}), 0);
}

TEST_F(IniBuiltins, WithoutAnIniEveryCallReportsAndReturnsNothing)
{
    struct Case {
        const char* f;
        std::vector<Val> args;
        const char* message;
    } cases[] = {
        {"ini_read_string", {"s", "k", "d"}, "Trying to read from undefined INI file"},
        {"ini_write_string", {"s", "k", "v"}, "Trying to read from undefined INI file"},
        {"ini_write_real", {"s", "k", 1}, "Trying to read from undefined INI file"},
        {"ini_key_exists", {"s", "k"}, "Trying to read from undefined INI file"},
        {"ini_section_exists", {"s"}, "Trying to read from undefined INI file"},
        {"ini_key_delete", {"s", "k"}, "Trying to change undefined INI file"},
        {"ini_section_delete", {"s"}, "Trying to change undefined INI file"},
    };
    for (const Case& c : cases) {
        ClearLog();
        Val r = CallV(c.f, c.args);
        EXPECT_EQ(Errors(), 1) << c.f;
        EXPECT_TRUE(Logged(c.message)) << c.f;
        if (r.IsString()) {
            EXPECT_EQ(r.Text(), "") << c.f;
        } else {
            EXPECT_EQ(r.Real(), 0) << c.f;
        }
    }
    // ini_read_real checks its arguments first and returns the default.
    ClearLog();
    EXPECT_EQ(Num("ini_read_real", {"s", "k", "3.5"}), 3.5);
    EXPECT_TRUE(Logged("Trying to read from undefined INI file"));
    EXPECT_EQ(Str("ini_close"), "");
}

TEST_F(IniBuiltins, ArgumentsOfTheWrongKindAreReported)
{
    Call("ini_open_from_string", {"[s]\nk=v\n"});
    struct Case {
        const char* f;
        std::vector<Val> args;
        const char* message;
    } cases[] = {
        {"ini_read_string", {"s", "k", 1}, "ini_read_string wrong type of arguments"},
        {"ini_read_string", {"s", "k"}, "ini_read_string wrong type of arguments"},
        {"ini_read_real", {"s", 2, 1}, "ini_read_real wrong type of arguments"},
        {"ini_read_real", {"s", "k", 1, 2}, "ini_read_real wrong type of arguments"},
        {"ini_write_string", {"s", "k", 3}, "Wrong argument types for ini_write_string"},
        {"ini_write_real", {"s", "k", "3"}, "Wrong argument types for ini_write_real"},
        {"ini_write_real", {1, "k", 3}, "Wrong argument types for ini_write_real"},
    };
    for (const Case& c : cases) {
        ClearLog();
        CallV(c.f, c.args);
        EXPECT_EQ(Errors(), 1) << c.f;
        EXPECT_TRUE(Logged(c.message)) << c.f;
    }
    EXPECT_EQ(Str("ini_read_string", {"s", "k", ""}), "v");
}

class RegistryBuiltins : public CorelibTest {};

TEST_F(RegistryBuiltins, KeysIgnoreCaseAndLiveForTheRun)
{
    Call("registry_write_string", {"Key", "a"});
    EXPECT_EQ(Str("registry_read_string", {"KEY"}), "a");
    Call("registry_write_string", {"one", "1"});
    Call("registry_write_string", {"two", "2"});
    Call("registry_write_real", {"three", 3.25});
    EXPECT_EQ(Str("registry_read_string", {"ONE"}), "1");
    EXPECT_EQ(Str("registry_read_string", {"two"}), "2");
    EXPECT_EQ(Str("registry_read_string", {"Three"}), "3.250000");
    EXPECT_EQ(Num("registry_read_real", {"three"}), 3.25);
    EXPECT_EQ(Num("registry_read_real", {"key"}), 0);
    EXPECT_EQ(Num("registry_exists", {"kEy"}), 1);
    Call("registry_write_string", {"key", "b"}); // the same key
    EXPECT_EQ(Str("registry_read_string", {"Key"}), "b");

    EXPECT_EQ(Str("registry_read_string", {"absent"}), "");
    EXPECT_EQ(Num("registry_read_real", {"absent"}), 0);
    EXPECT_EQ(Num("registry_exists", {"absent"}), 0);
    // A value without text: the key exists, its text is empty.
    Call("registry_write_string", {"notext", 5});
    EXPECT_EQ(Num("registry_exists", {"notext"}), 1);
    EXPECT_EQ(Str("registry_read_string", {"notext"}), "");

    Function_File_CloseAll(); // the end of the run
    EXPECT_EQ(Num("registry_exists", {"one"}), 0);
}

TEST_F(RegistryBuiltins, ExtendedFormsDoNothing)
{
    Call("registry_write_string_ext", {"path", "k", "v"});
    Call("registry_write_real_ext", {"path", "k", 1});
    Call("registry_set_root", {1});
    EXPECT_EQ(Num("registry_exists_ext", {"path", "k"}), 0);
    EXPECT_EQ(Str("registry_read_string_ext", {"path", "k"}), "");
    EXPECT_EQ(Num("registry_read_real_ext", {"path", "k"}), 0);
    EXPECT_EQ(Num("registry_exists", {"k"}), 0);
    EXPECT_EQ(Errors(), 0);
}

} // namespace
