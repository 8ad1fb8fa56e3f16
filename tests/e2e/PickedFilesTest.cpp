// End to end: a file the player picks in a dialog is read and written where it was picked.
// The game runs from a home folder (its save area below it, in .local/share) with the game
// file in a folder of its own (the program and working folder); the scripted dialogs answer
// get_open_filename, get_save_filename and their _ext forms with a file below the current
// folder, in the current folder itself, in the working folder, in the save area and outside
// them all, and in the save area through the player's link to it. For each the game reads the
// file, writes it and reads it back, as an INI file
// (ini_open, ini_write_string, ini_close) and as a text file (file_text_*). Reads and writes
// of one name agree: a file picked to save is written at the picked path and read back from
// there; a file picked to open is read there and written there only where the game may write
// (the save area), its write refused anywhere else, and nothing of its name lands elsewhere in
// the save area. Where the test is root, the folders are a plain user's and the game is played
// as root (started with sudo): every file it makes for the player, through whatever name, is the
// player's. ZB_RUNNER names another runner to play (an older build, to compare); the table is
// printed either way.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "E2EGames.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

namespace {

struct Dialog {
    const char* call;
    bool save;
};
const Dialog kDialogs[] = {{"get_open_filename('INI|*.ini', '')", false},
                           {"get_save_filename('INI|*.ini', '')", true},
                           {"get_open_filename_ext('INI|*.ini', '', '', 'Open')", false},
                           {"get_save_filename_ext('INI|*.ini', '', '', 'Save')", true}};

struct Cell {
    std::string dialog, where, picked;
    bool save, earlier; // a file at the picked path before the run
    bool text;          // read and written as a text file rather than an INI file
};

// The game's code for a cell: r, what it reads first; b, what it reads back after writing.
std::string CellCode(const Cell& c, const std::string& call, size_t i)
{
    const std::string written = "cell" + std::to_string(i);
    // A text file holds the INI's lines; the value is what follows "k=" on the second line.
    const std::string readText = "f = file_text_open_read(n); v = 'none'; if (f >= 0) { file_text_readln(f); "
                                 "v = string_replace_all(string_replace(file_text_read_string(f), 'k=', ''), '\\\"', ''); "
                                 "file_text_close(f); } ";
    std::string code = "n = " + call + "; ";
    if (c.text)
        code += readText + "r = v; w = file_text_open_write(n); if (w >= 0) { file_text_write_string(w, '[s]'); "
                "file_text_writeln(w); file_text_write_string(w, 'k=" + written + "'); file_text_writeln(w); "
                "file_text_close(w); } " + readText + "b = v; ";
    else
        code += "ini_open(n); r = ini_read_string('s', 'k', 'none'); ini_write_string('s', 'k', '" + written +
                "'); ini_close(); ini_open(n); b = ini_read_string('s', 'k', 'none'); ini_close(); ";
    return code + "show_debug_message('cell " + std::to_string(i) + " ' + r + ' ' + b); ";
}

// What the INI file at path holds under [s] k; "-" when there is no file.
std::string KeyOf(const std::string& path)
{
    const std::string s = Scratch_ReadFile(path);
    if (s.empty()) return "-";
    size_t at = s.find("k=");
    if (at == std::string::npos) return "?";
    at += s[at + 2] == '"' ? 3 : 2;
    return s.substr(at, s.find_first_of("\"\r\n", at) - at);
}

// Where below the save area a file of that name lies but the picked file ("-" for none).
std::string CopiesIn(const std::string& area, const std::string& picked)
{
    namespace fs = std::filesystem;
    const std::string name = fs::path(picked).filename();
    std::string found;
    std::error_code ec, same;
    for (auto it = fs::recursive_directory_iterator(area, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename() == name && !fs::equivalent(it->path(), picked, same))
            found += (found.empty() ? "" : ", ") + it->path().lexically_relative(area).string() + " = " + KeyOf(it->path());
    return found.empty() ? "-" : found;
}

} // namespace

TEST(PickedFiles, AFilePickedToSaveIsWrittenWhereItWasPickedAndOneToOpenReadThere)
{
    ScratchFolder dir;
    const std::string home = dir / "home", program = dir / "game", area = home + "/.local/share/Picked";
    const std::vector<std::pair<std::string, std::string>> places = {{"below the current folder", home + "/Documents"},
                                                                     {"the current folder", home},
                                                                     {"the working folder", program},
                                                                     {"the save area", area},
                                                                     {"the save area through a link", home + "/Documents/area"},
                                                                     {"outside them all", dir / "else"}};
    // Saved with no file there yet: below the current folder, in the save area, and there
    // through the player's link to it; first.
    std::vector<Cell> cells = {{"get_save_filename", "below the current folder", home + "/Documents/picked.ini", true, false, false},
                               {"get_save_filename", "the save area", area + "/new.ini", true, false, false},
                               {"get_save_filename", "the save area through a link", home + "/Documents/area/linked.ini", true, false, false},
                               {"get_save_filename", "the save area through a link", home + "/Documents/area/linked.txt", true, false, true}};
    std::vector<std::string> calls(cells.size(), "get_save_filename('INI|*.ini', '')");
    for (const bool text : {false, true})
        for (const Dialog& d : kDialogs)
            for (const auto& [where, folder] : places) {
                cells.push_back({std::string(d.call).substr(0, std::string(d.call).find('(')), where,
                                 folder + "/c" + std::to_string(cells.size()) + (text ? ".txt" : ".ini"), d.save, true, text});
                calls.push_back(d.call);
            }
    // The player's link to the save area.
    std::filesystem::create_directories(area);
    std::filesystem::create_directories(home + "/Documents");
    ASSERT_EQ(symlink(area.c_str(), (home + "/Documents/area").c_str()), 0);
    std::string code, script;
    for (size_t i = 0; i < cells.size(); i++) {
        const Cell& c = cells[i];
        if (c.earlier) Scratch_WriteFile(c.picked, "[s]\r\nk=\"earlier\"\r\n");
        code += CellCode(c, calls[i], i);
        script += std::string(c.save ? "save" : "open") + " =" + c.picked + " OK\n";
    }
    code += "game_end();";
    // Where the test is root, everything the player's.
    const bool root = geteuid() == 0;
    const TestUser user = root ? Test_PlainUser() : TestUser{geteuid(), getegid()};
    if (root) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir.Path(), ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            lchown(it->path().c_str(), user.uid, user.gid);
    }
    const std::string manifest = R"({"name": "Picked", "window": {"width": 32, "height": 32},
      "objects": [{"name": "obj", "events": [{"type": "create", "code": ")" + code + R"("}]}],
      "rooms": [{"name": "rm", "width": 32, "height": 32, "instances": [{"object": "obj"}]}]})";
    Scratch_WriteFile(program + "/picked.json", manifest);
    std::string said;
    ASSERT_TRUE(e2e::Pack(program + "/picked.json", program + "/picked.win", "--bytecode", &said)) << said;
    Scratch_WriteFile(dir / "script.txt", script);
    const char* other = std::getenv("ZB_RUNNER");
    const std::string runner = other && *other ? other : ZB_RUNNER_PATH;
    const e2e::Played run = e2e::PlayLogged("cd " + e2e::Quote(home) + " && " + e2e::kHeadless + "HOME=" + e2e::Quote(home) +
                                                " XDG_DATA_HOME=" + e2e::Quote(home + "/.local/share") +
                                                " ZIMBREL_DIALOG_SCRIPT=" + e2e::Quote(dir / "script.txt") + " " +
                                                e2e::Quote(runner) + " -game " + e2e::Quote(program + "/picked.win") +
                                                " -output " + e2e::Quote(dir / "log.txt") + " >" + e2e::Quote(dir / "out.txt") +
                                                " 2>&1",
                                            dir / "log.txt");
    ASSERT_EQ(run.code, 0) << Scratch_ReadFile(dir / "out.txt");
    std::printf("runner: %s\n| dialog | as | picked in | read first | read back | at the picked path | in the save area | verdict |\n"
                "|---|---|---|---|---|---|---|---|\n",
                runner.c_str());
    for (size_t i = 0; i < cells.size(); i++) {
        const Cell& c = cells[i];
        std::string first = "?", back = "?";
        const std::string prefix = "cell " + std::to_string(i) + " ";
        for (const std::string& l : run.lines)
            if (l.rfind(prefix, 0) == 0) std::istringstream(l.substr(prefix.size())) >> first >> back;
        const std::string written = "cell" + std::to_string(i), before = c.earlier ? "earlier" : "none";
        // Saved, or opened in the save area: written at the picked path and read back from
        // it. Opened anywhere else: read there, the write refused. Never a copy elsewhere.
        const bool writable = c.save || c.where == "the save area";
        struct stat st;
        const bool players = stat(c.picked.c_str(), &st) != 0 || st.st_uid == user.uid;
        const std::string atPicked = KeyOf(c.picked), wantBack = writable ? written : "earlier";
        const std::string copies = CopiesIn(area, c.picked);
        const bool ok = first == before && back == wantBack && atPicked == wantBack && copies == "-" && players;
        std::printf("| %s | %s | %s%s | %s | %s | %s | %s | %s |\n", c.dialog.c_str(), c.text ? "text" : "INI",
                    c.where.c_str(), c.earlier ? "" : " (new file)", first.c_str(), back.c_str(), atPicked.c_str(),
                    copies.c_str(), ok ? "ok" : "FAULT");
        const std::string cell = c.dialog + (c.text ? " (text), " : " (INI), ") + c.where + " (" + c.picked + ")";
        EXPECT_EQ(first, before) << cell << ": read first";
        EXPECT_EQ(back, wantBack) << cell << ": read back";
        EXPECT_EQ(atPicked, wantBack) << cell << ": the file at the picked path";
        EXPECT_EQ(copies, "-") << cell << ": written elsewhere in the save area under the same name";
        EXPECT_TRUE(players) << cell << ": not the player's file";
    }
}
