// A private X server (Xvfb, no window manager) for tests that play games in a real window:
// the runner started on it, its window found, real key presses and clicks sent through the
// X test extension (xdotool), and the window's picture read back (xwd) as a PNG file.
//
// Waits are bounded polls of what the test waits for (a window, a log line, a picture), never
// fixed sleeps. Needs the Debian packages xvfb, xdotool and x11-apps (scripts/setup.sh).
#pragma once

#include <sys/types.h>

#include <string>

class XSession {
public:
    // Starts Xvfb on a free display; Ok() is false (with Why()) when it cannot start.
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool Ok() const { return m_pid > 0; }
    const std::string& Why() const { return m_why; }
    const std::string& Display() const { return m_display; }

    // Runs a shell command line with DISPLAY set; its exit code.
    int Run(const std::string& line) const;
    // Runs a shell command line with DISPLAY set; its standard output.
    std::string Output(const std::string& line) const;

private:
    pid_t m_pid = -1;
    std::string m_display, m_why;
};

// The runner playing one game on the session's display, in folder (its log is folder/log.txt).
class WindowedRunner {
public:
    WindowedRunner(const XSession& x, const std::string& game, const std::string& folder);
    ~WindowedRunner(); // ends the runner if it still runs

    // The game's window (waits until it is shown); "" when none came within the time.
    const std::string& Window();
    // Key presses and clicks (xdotool key names; client coordinates).
    void Keys(const std::string& keys);
    void Type(const std::string& text);
    void Click(int x, int y);
    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    bool RequestClose();
    // The window's picture as a PNG file; false when it could not be read.
    bool Screenshot(const std::string& png);
    // Waits until the window's picture matches the golden PNG tests/data/<golden>
    // (Golden_CompareFile, each channel within tolerance); "" when it did, else what still
    // differed. With ZB_UPDATE_GOLDEN=1 the picture after a second becomes the golden one.
    std::string WaitForPicture(const std::string& golden, int tolerance, const std::string& scratchPng);
    // Waits until the game's log holds the line; false after the time ran out.
    bool WaitForLog(const std::string& line);
    // Waits for the runner to end; its exit code (-1 when it had to be ended).
    int Wait();
    std::string Log() const;

private:
    const XSession& m_x;
    std::string m_folder, m_window;
    pid_t m_pid = -1;
    int m_code = -1;
};
