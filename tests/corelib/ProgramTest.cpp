// Program priority, window title and number, the clipboard (the process's own store without a
// video system, SDL's with one), the tablet-platform stubs, and the registration of the
// "File..", "Misc.." and tile groups.
#include <SDL2/SDL.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_Program.h"
#include "Files/Function/Function_Registrars.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

std::vector<int32_t> g_nice;
bool RecordNice(int32_t nice)
{
    g_nice.push_back(nice);
    return false; // refused: the built-in does not care
}

class ProgramBuiltins : public CorelibTest {};

TEST_F(ProgramBuiltins, PriorityMapsToANiceValue)
{
    g_nice.clear();
    Program_SetPriorityHook(RecordNice);
    for (Val p : {Val(-3), Val(-2), Val(-1), Val(0), Val(1), Val(2), Val(3), Val(5), Val(2.5), Val(-2.5), Val(-4),
                  Val("text")})
        EXPECT_EQ(Num("set_program_priority", {p}), 0);
    EXPECT_EQ(g_nice, (std::vector<int32_t>{19, 10, 5, 0, -5, -10, -20, 0, -10, 10, 0, 0}));
    EXPECT_EQ(Errors(), 0);
}

TEST(ProgramHost, NiceValueOfTheCallingThread)
{
    // In a child process, so this process keeps its priority.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = SystemHost_SetNice(7) && getpriority(PRIO_PROCESS, id_t(gettid())) == 7;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ProgramBuiltins, TitleTakesStringsOnly)
{
    Call("set_application_title", {"My Game"});
    EXPECT_STREQ(GR_Window_GetCaption(), "My Game");
    Call("set_application_title", {12});
    EXPECT_STREQ(GR_Window_GetCaption(), "My Game");
    Call("set_application_title", {""});
    EXPECT_STREQ(GR_Window_GetCaption(), "");
}

TEST_F(ProgramBuiltins, NoWindowHasNumberZero)
{
    ASSERT_FALSE(GR_Window_Record().created);
    EXPECT_EQ(Num("window_handle"), 0);
}

TEST_F(ProgramBuiltins, ClipboardWithoutAVideoSystem)
{
    // (The window layer may have started the video system in this process.)
    for (int i = 0; i < 8 && SDL_WasInit(SDL_INIT_VIDEO); i++) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    Call("clipboard_set_text", {"copied text"});
    EXPECT_EQ(Num("clipboard_has_text"), 1);
    EXPECT_EQ(Str("clipboard_get_text"), "copied text");
    // An empty text is a text.
    Call("clipboard_set_text", {""});
    EXPECT_EQ(Num("clipboard_has_text"), 1);
    EXPECT_EQ(Str("clipboard_get_text"), "");
    EXPECT_TRUE(Call("clipboard_get_text").IsString());
    Call("clipboard_set_text", {42}); // a real puts the empty text
    EXPECT_EQ(Num("clipboard_has_text"), 1);
    EXPECT_EQ(Str("clipboard_get_text"), "");
    Call("clipboard_set_text", {"\xC3\xA9t\xC3\xA9"});
    EXPECT_EQ(Str("clipboard_get_text"), "\xC3\xA9t\xC3\xA9");
}

TEST_F(ProgramBuiltins, ClipboardOfTheVideoSystem)
{
    ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    Call("clipboard_set_text", {"through SDL"});
    EXPECT_EQ(Num("clipboard_has_text"), 1);
    EXPECT_EQ(Str("clipboard_get_text"), "through SDL");
    char* seen = SDL_GetClipboardText();
    EXPECT_STREQ(seen, "through SDL");
    SDL_free(seen);
    Call("clipboard_set_text", {""});
    EXPECT_EQ(Num("clipboard_has_text"), 1);
    EXPECT_EQ(Str("clipboard_get_text"), "");
    SDL_SetClipboardText("from elsewhere");
    EXPECT_EQ(Str("clipboard_get_text"), "from elsewhere");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST_F(ProgramBuiltins, TabletFunctionsSayTheyAreNotSupported)
{
    ClearLog();
    EXPECT_EQ(Num("win8_livetile_tile_notification", {1, 2, 3, 4}), 0);
    EXPECT_EQ(Log(), "Windows8 functionality not supported\n");
    EXPECT_EQ(Num("win8_search_disable"), 0);
    EXPECT_EQ(Num("win8_secondarytile_pin", {1, 2, 3, 4, 5, 6, 7, 8}), 0);
    EXPECT_EQ(Num("win8_share_text", {"a"}), 0); // whatever the arguments
    size_t lines = 0;
    for (size_t at = Log().find("Windows8 functionality not supported\n"); at != std::string::npos;
         at = Log().find("Windows8 functionality not supported\n", at + 1))
        lines++;
    EXPECT_EQ(lines, 4u);
}

TEST_F(ProgramBuiltins, GroupsRegisterEveryNameOnceWithItsCount)
{
    struct Row {
        const char* name;
        int32_t args;
    } rows[] = {
        {"file_bin_open", 2}, {"file_bin_rewrite", 1}, {"file_text_open_from_string", 1}, {"file_text_writeln", 1},
        {"file_open_read", 1}, {"file_close", 0}, {"file_eof", 0}, {"file_find_first", 2}, {"file_attributes", 2},
        {"filename_change_ext", 2}, {"execute_program", 3}, {"execute_shell", 2}, {"parameter_count", 0},
        {"environment_get_variable", 1}, {"ini_open", 1}, {"ini_close", 0}, {"ini_read_real", 3},
        {"registry_write_string_ext", 3}, {"registry_set_root", 1}, {"date_current_datetime", 0},
        {"date_create_datetime", 6}, {"date_valid_datetime", 6}, {"date_inc_week", 2}, {"date_is_today", 1},
        {"set_program_priority", 1}, {"window_handle", 0}, {"clipboard_set_text", 1},
        {"win8_livetile_tile_notification", 4}, {"win8_appbar_add_element", 6}, {"win8_livetile_notification_end", 0},
    };
    for (const Row& r : rows) {
        int32_t id = -1;
        ASSERT_TRUE(Code_Function_Find(r.name, &id)) << r.name;
        EXPECT_EQ(Function_GetArgCount(id), r.args) << r.name;
    }
    std::set<std::string> names;
    for (int32_t i = 0; i < Function_Count(); i++) EXPECT_TRUE(names.insert(Function_Get(i)->name).second) << Function_Get(i)->name;
    // The "File.." group alone: the file, INI and registry built-ins, then the HTTP and JSON
    // ones (79 names).
    Function_Free();
    InitFunctions_File();
    EXPECT_EQ(Function_Count(), 79);
    Function_Free();
    InitFunctions_Tile();
    EXPECT_EQ(Function_Count(), 30);
}

} // namespace
