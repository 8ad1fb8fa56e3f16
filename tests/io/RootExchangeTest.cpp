// A run as root in a user's save area acts only through descriptors it holds: while it makes
// the missing folders and writes, the user swaps a folder on the way with a link to a folder
// of root's, flat out (tests/support/ExchangeRace.h). Many random cases in a short time:
// which folder is swapped (the four levels from ~/.local down to a folder inside the area),
// how much of the area is there (missing, partly missing, present), and which writer a game
// reaches (whole files as INI files, buffers, saves and the high-score table are written;
// text and binary files by handle; file_copy; directory_create; the game save's own writer),
// and whether the user first moved a folder of the way aside (~/.local, share or the save area
// itself, the way then made afresh: the area is the folder its path names, not the one the run
// held). No folder outside the save area may change owner or mode or get anything written into
// it, nothing may be written into the folder moved aside, and every folder the run made on the
// user's way is the user's. ZB_PROPERTY_SEED changes the
// seed; ZB_EXCHANGE_SECONDS the time.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "support/CaptureConsole.h"
#include "support/ExchangeRace.h"
#include "support/ScratchFolder.h"

namespace {

const char* const kWriters[] = {"whole file (INI, buffer, save, scores)", "text or binary file by handle", "file_copy",
                                "directory_create", "game save's writer"};
constexpr int kWriterCount = int(std::size(kWriters));

// What writer w does with the name (below the save area), as the built-ins call the file layer.
void Write(int w, const std::string& name)
{
    const std::string path = LoadSave_SavePathOf(name.c_str());
    switch (w) {
    case 0: LoadSave_WriteSaveFile(name.c_str(), "root's", 6); break;
    case 1:
        if (LoadSave_MakeFoldersFor(path))
            if (FILE* f = File_OpenStream(path.c_str(), "wb")) std::fclose(f);
        break;
    case 2: File_ReplaceAll(path.c_str(), "copy", 4); break;
    case 3: File_CreateDirectory(path.c_str()); break;
    default: LoadSave_WriteFile(path.c_str(), "save", 4); break;
    }
}

} // namespace

TEST(RootExchange, NoFolderOutsideTheSaveAreaChangesOwnerWhileTheUserSwapsOneOnTheWay)
{
    if (geteuid() != 0) GTEST_SKIP() << "a run as root over a user's folders needs root";
    ScratchFolder dir;
    chmod(dir.Path().c_str(), 0755);
    ExchangeRace race(dir.Path(), Test_PlainUser());
    if (!race.Running()) GTEST_SKIP() << "no racer of the plain user's here";
    mkdir((dir / "prog").c_str(), 0755);
    ScopedCurrentFolder cwd(dir / "prog");
    LoadSave_SetFolders((dir / "prog").c_str(), race.Area().c_str(), (dir / "prog").c_str());
    const unsigned seed = ExchangeRace::Seed(5700);
    std::mt19937 random(seed);
    // given[swapped level][missing, partly missing, present] and the cases of each.
    int given[ExchangeRace::kSwappable + 1][3] = {}, cases[ExchangeRace::kSwappable + 1][3] = {}, notUsers = 0;
    int movedCases[ExchangeRace::kArea + 1] = {}, movedWrites[ExchangeRace::kArea + 1] = {};
    StartStderrCapture(); // a save area that cannot be made (a link in the way) is said
    const char* seconds = std::getenv("ZB_EXCHANGE_SECONDS");
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds && *seconds ? std::atof(seconds) : 3.0);
    int n = 0;
    for (; std::chrono::steady_clock::now() < end; n++) {
        const auto [swap, missingFrom] = ExchangeRace::Pick(random);
        const int w = int(random() % kWriterCount);
        const int moved = random() % 4 == 0 ? 1 + int(random() % ExchangeRace::kArea) : 0; // a quarter of the cases
        const std::string name = swap == 4 || random() % 2 ? "sub/deeper/f" + std::to_string(n) : "f" + std::to_string(n);
        race.Prepare(swap, missingFrom, moved);
        Write(w, name);
        const ExchangeRace::Damage d = race.Settle();
        const int state = missingFrom <= ExchangeRace::kArea ? 0 : missingFrom <= ExchangeRace::kLevels ? 1 : 2;
        cases[swap][state]++;
        given[swap][state] += d.given + d.written;
        notUsers += d.notUsers;
        movedCases[moved]++;
        movedWrites[moved] += d.aside;
        if (d.aside)
            ADD_FAILURE() << "case " << n << " (seed " << seed << "): level " << moved << " moved aside, level " << swap
                          << " swapped, folders from level " << missingFrom << " missing, " << kWriters[w] << " of " << name
                          << ": " << d.aside << " file(s) or folder(s) made in the folder moved aside";
        if (d.given || d.written)
            ADD_FAILURE() << "case " << n << " (seed " << seed << "): level " << swap << " swapped, folders from level "
                          << missingFrom << " missing, " << kWriters[w] << " of " << name << ": " << d.given
                          << " folder(s) of root's outside the save area changed owner or mode, " << d.written
                          << " written into them";
    }
    TakeStderr();
    LoadSave_SetFolders(nullptr, nullptr, nullptr);
    std::printf("seed %u, %d cases, %ld swaps; folders of root's given or written into:\n"
                "| swapped | area missing | partly missing | present |\n|---|---|---|---|\n",
                seed, n, race.Swaps());
    const char* levels[] = {"", "~/.local", "share", "the save area", "a folder in it"};
    for (int k = 1; k <= ExchangeRace::kSwappable; k++)
        std::printf("| %s | %d in %d | %d in %d | %d in %d |\n", levels[k], given[k][0], cases[k][0],
                    given[k][1], cases[k][1], given[k][2], cases[k][2]);
    std::printf("| moved aside first | cases | made in the folder moved aside |\n|---|---|---|\n");
    for (int k = 0; k <= ExchangeRace::kArea; k++)
        std::printf("| %s | %d | %d |\n", levels[k][0] ? levels[k] : "none", movedCases[k], movedWrites[k]);
    EXPECT_EQ(notUsers, 0) << "folders the run made on the user's way that are not the user's";
    EXPECT_GT(race.Swaps(), 0);
}
