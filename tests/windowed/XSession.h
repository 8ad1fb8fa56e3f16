// A private X server (Xvfb, no window manager) for tests that play games in a real window:
// the runner started on it, its window found, real key presses and clicks sent through the
// X test extension (xdotool), and the window's picture read back (xwd) as a PNG file.
//
// Waits are bounded polls of what the test waits for (a window, a log line, a picture), never
// fixed sleeps. Needs the Debian packages xvfb, xdotool and x11-apps (scripts/setup.sh).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class XSession {
public:
    // Starts Xvfb on a free display; Ok() is false (with Why()) when it cannot start. The
    // server never resets (Xvfb by default resets when its last client leaves, closing the
    // connections still being made: a runner connecting while an xdotool call ends).
    XSession() : XSession(1024, 768) {}
    XSession(int width, int height); // the screen's size
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool Ok() const { return m_pid > 0; }
    const std::string& Why() const { return m_why; }
    const std::string& Display() const { return m_display; }

    // Ends the server (its clients lose their connection).
    void End();

    // Runs a shell command line with DISPLAY set; its exit code.
    int Run(const std::string& line) const;
    // Runs a shell command line with DISPLAY set; its standard output.
    std::string Output(const std::string& line) const;
    // The words to put before a shell command line that plays a runner on this server: its
    // display instead of the headless driver, no sound, and the sanitizer build's suppressions of
    // the leaks of the system libraries SDL's X11 driver loads.
    std::string GameEnvironment() const;

private:
    pid_t m_pid = -1;
    std::string m_display, m_why;
};

// The runner playing one game on the session's display, in folder (its log is folder/log.txt,
// its standard output folder/out.txt, its standard error folder/err.txt). The runner is this
// build's, or the one ZB_WINDOWED_RUNNER names (another build's, to compare).
class WindowedRunner {
public:
    // extra: more command-line arguments ("-debug").
    WindowedRunner(const XSession& x, const std::string& game, const std::string& folder,
                   const std::vector<std::string>& extra = {});
    ~WindowedRunner(); // ends the runner if it still runs

    // The game's window (waits until it is shown); "" when none came within the time or the
    // runner ended first.
    const std::string& Window();
    // Why Window() gave "": the runner ended first (its exit status) or the time ran out; then
    // the runner's standard error and its log.
    std::string NoWindow() const;
    std::string Stderr() const;
    // Another window of the runner than the game's by its title (waits until it is shown); ""
    // when none came. Windows in `besides` do not count.
    std::string WindowNamed(const std::string& title, const std::vector<std::string>& besides = {});
    // Waits until the window has the keyboard focus; false when it did not come.
    bool WaitForFocus(const std::string& window);
    // Moves a window of the runner (no window manager places them); "" is the game's.
    void Move(const std::string& window, int x, int y);
    // Resizes a window of the runner, as a player dragging its edge would; "" is the game's.
    void Resize(const std::string& window, int width, int height);
    // A click in that window; the pointer stays there (its keys then go to that window).
    void ClickIn(const std::string& window, int x, int y);
    // Key presses and clicks (xdotool key names, delay milliseconds between them; client
    // coordinates).
    void Keys(const std::string& keys, int delay = 40);
    void Type(const std::string& text);
    void Click(int x, int y);
    // Stops the runner (SIGSTOP) or lets it go on: what comes meanwhile reaches it at once, as
    // on a machine too busy to run it for a while.
    void Stall(bool stopped);
    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    bool RequestClose();
    // The window's picture as a PNG file; false when it could not be read.
    // The window's picture as R, G, B, A bytes (w x h); false when it could not be read.
    bool Pixels(const std::string& window, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h);
    // window: another of the runner's windows; rows > 0: only the top rows of the picture.
    bool Screenshot(const std::string& png, const std::string& window = "", int rows = 0);
    // Waits until the window's picture matches the golden PNG tests/data/<golden>
    // (Golden_CompareFile); "" when it did, else what still differed once the picture stayed
    // the same for a few seconds (or kept changing for a minute). With ZB_UPDATE_GOLDEN=1 the
    // picture after a second becomes the golden one.
    std::string WaitForPicture(const std::string& golden, int tolerance, const std::string& scratchPng,
                               const std::string& window = "", int rows = 0);
    // Waits until the game's log holds the line; false after the time ran out (seconds; 0:
    // the usual patience) or once the runner has ended without it.
    bool WaitForLog(const std::string& line, int seconds = 0);
    // The runner this build's tests play (ZB_WINDOWED_RUNNER, else this build's).
    static const char* RunnerPath();
    // Waits for the runner to end; its exit code (-1 when it had to be ended).
    int Wait();
    std::string Log() const;

private:
    // True once the runner has ended (its status kept); false while it runs.
    bool Ended();

    const XSession& m_x;
    std::string m_folder, m_window;
    pid_t m_pid = -1;
    bool m_startedOk = false;
    int m_status = 0;   // as waitpid gave it, once ended
    int m_code = -1;
    std::chrono::steady_clock::time_point m_started;  // the runner's start
    std::chrono::steady_clock::duration m_windowCame{}; // how long its window took
};
