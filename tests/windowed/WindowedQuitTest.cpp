// The window's close and a signal are the run's quit alike: asked while a frame waits at a
// room speed of 1, with the game's INI file locked for ever by another process, the room end
// event reads and writes it at once and the game end event goes on past a program that never
// ends, past keyboard_wait and past a message on the screen; the run is gone within a second.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "windowed/WindowedTest.h"

using Windowed = WindowedTest;

namespace {

// Plays the game to "ready", locks its INI file, quits it by quit(game) and checks the end.
void QuitAndCheck(const XSession& x, const ScratchFolder& dir, const std::string& game_file,
                  const std::function<void(WindowedRunner&)>& quit, int code, int signal)
{
    const std::string area = dir / "xdg/QuitWaitsGame";
    Scratch_WriteFile(area + "/f.ini", "[s]\r\nk=old\r\n");
    WindowedRunner game(x, game_file, dir.Path());
    ASSERT_FALSE(game.Window().empty()) << game.NoWindow();
    ASSERT_TRUE(game.WaitForLog("ready"));
    const int lock = open((area + "/f.ini").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const auto asked = std::chrono::steady_clock::now();
    quit(game);
    EXPECT_EQ(game.Wait(), code);
    EXPECT_EQ(game.Signal(), signal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    close(lock);
    if (const int child = std::atoi(Scratch_ReadFile(dir / "child.pid").c_str()); child > 0) kill(child, SIGKILL);
    EXPECT_LT(seconds, 1.0 * e2e::kSanitizerSlower);
    const std::string log = game.Log();
    EXPECT_NE(log.find("read old\n"), std::string::npos) << log;
    EXPECT_NE(log.find("after the program\n"), std::string::npos) << log;
    EXPECT_NE(log.find("game end done\n"), std::string::npos) << log;
    EXPECT_NE(Scratch_ReadFile(area + "/f.ini").find("k=new"), std::string::npos);
}

} // namespace

TEST_F(Windowed, TheWindowsCloseEndsEveryWaitOfTheEndEvents)
{
    QuitAndCheck(x, dir, Game("quitwaits"), [](WindowedRunner& g) { ASSERT_TRUE(g.RequestClose()); }, 0, 0);
}

TEST_F(Windowed, ASignalEndsEveryWaitOfTheEndEvents)
{
    QuitAndCheck(x, dir, Game("quitwaits"), [](WindowedRunner& g) { g.Kill(SIGTERM); }, -1, SIGTERM);
}
