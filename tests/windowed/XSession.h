// A private X server (Xvfb, with a window manager or without) for tests that play games in a
// real window: the runner started on it, its window found, real key presses and clicks sent
// through the X test extension (xdotool), and the window's picture read back (xwd) as a PNG
// file.
//
// Waits are bounded polls of what the test waits for (a window, a log line, a picture), never
// fixed sleeps. Needs the Debian packages xvfb, xdotool, x11-apps and openbox (scripts/setup.sh).
#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/RunTime.h"

class XSession {
public:
    // Starts Xvfb on a free display; Ok() is false (with Why()) when it cannot start. The
    // server never resets (Xvfb by default resets when its last client leaves, closing the
    // connections still being made: a runner connecting while an xdotool call ends). A window
    // manager (openbox) manages its windows when asked (kManaged), or, by default, when
    // ZB_WINDOW_MANAGER=openbox says every session has one (the players' desktops do).
    enum Manager { kByEnvironment, kBare, kManaged };
    XSession() : XSession(1024, 768) {}
    explicit XSession(Manager manager) : XSession(1024, 768, manager) {}
    XSession(int width, int height, Manager manager = kByEnvironment); // the screen's size
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool Ok() const { return m_pid > 0; }
    pid_t ServerPid() const { return m_pid; }
    bool Managed() const { return m_manager > 0; }
    const std::string& Why() const { return m_why; }
    const std::string& Display() const { return m_display; }

    // Ends the server (its clients lose their connection).
    void End();

    // Runs a shell command line with DISPLAY set; its exit code.
    int Run(const std::string& line) const;
    // Runs a shell command line with DISPLAY set; its standard output.
    std::string Output(const std::string& line) const;
    // Gives the window the input focus as the player would: through the window manager (its
    // activation, as a click on the window or its task does, which also brings back a window
    // minimised) or, without one, as one would; returns once the server has done so.
    void Focus(const std::string& window) const;
    // The input focus now: a window, or 0 (None) or 1 (PointerRoot or the root window: the keys
    // go to the window the pointer is in). Setting it to either of
    // these (or a window) asks the server directly, as a program may.
    unsigned long FocusNow() const;
    void SetFocus(unsigned long window) const;
    // Whether `outer` is `inner` or holds it (a window manager's frame around it).
    bool Within(unsigned long inner, unsigned long outer) const;
    // The deepest window under the pointer (0: the screen's background).
    unsigned long UnderPointer() const;
    // Whether the window is shown (mapped, and its parents too): not minimised.
    bool Viewable(const std::string& window) const;
    // Gives keys of the keyboard that nothing uses these characters (Unicode code points), as a
    // keyboard layout with them would: xdotool then types them without changing the key
    // mapping under each one (a client that reads the key after the mapping changed back
    // would find no character). False when no key was free.
    bool AddKeys(const std::vector<uint32_t>& characters) const;
    // The words to put before a shell command line that plays a runner on this server: its
    // display instead of the headless driver, no sound, and the sanitizer build's suppressions of
    // the leaks of the system libraries SDL's X11 driver loads.
    std::string GameEnvironment() const;

private:
    void StartManager();

    pid_t m_pid = -1;
    pid_t m_manager = -1; // openbox, when it manages the windows
    std::string m_display, m_why, m_managerConfig;
    void* m_connection = nullptr; // Display*, the session's own questions
};

// A bare window of the test's own on the session's display, beside the games (a terminal or an
// editor the player types into), that records the characters typed into it. It has a
// connection of its own, read by a thread of its own; it takes the focus only when clicked
// (as a window manager would give it; the player chose it). Its destruction closes it.
class OutsideWindow {
public:
    explicit OutsideWindow(const XSession& x);
    ~OutsideWindow();
    OutsideWindow(const OutsideWindow&) = delete;
    OutsideWindow& operator=(const OutsideWindow&) = delete;

    // The window as xdotool names it; "" when it could not be made.
    const std::string& Id() const { return m_id; }
    // What was typed into it so far.
    std::string Typed() const;
    // Waits until what was typed into it is text; false when it is not within seconds.
    bool WaitForTyped(const std::string& text, int seconds = 10) const;

private:
    void Read();

    void* m_display = nullptr; // Display*
    unsigned long m_window = 0;
    std::string m_id;
    mutable std::mutex m_mutex;
    std::string m_typed;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

// The runner playing one game on the session's display, in folder (its log is folder/log.txt,
// its standard output folder/out.txt, its standard error folder/err.txt). The runner is this
// build's, or the one ZB_WINDOWED_RUNNER names (another build's, to compare).
class WindowedRunner {
public:
    // extra: more command-line arguments ("-debug"); env: more environment variables
    // ("ZIMBREL_MAX_FRAMES=9"). No game (""): the runner asks for one.
    WindowedRunner(const XSession& x, const std::string& game, const std::string& folder,
                   const std::vector<std::string>& extra = {}, const std::vector<std::string>& env = {});
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
    // Waits for the runner to end; its exit code (-1 when it had to be ended, or a signal
    // ended it: Signal() says which).
    int Wait();
    int Signal() const { return WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0; }
    pid_t Pid() const { return m_pid; } // -1 once it has ended
    // Seconds since the runner was started (how long its start took, at the line awaited).
    double SinceStart() const;
    // What the machine's load takes from the runner is counted from now on (RunTime), sampled at
    // each look of Ended() (and so of Wait() and WaitForLog()); Lost() says how much it took.
    void MarkLoad() { m_times.Mark(); }
    double Lost() const { return m_times.Lost(); }
    // Sends the runner a signal.
    void Kill(int signal);
    // Whether the runner still runs (its status kept once it ended).
    bool Running() { return !Ended(); }
    // The runner's windows shown now (the game's first, as xdotool names them).
    std::vector<std::string> Windows();
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
    RunTime m_times{0};
    std::chrono::steady_clock::duration m_windowCame{}; // how long its window took
};

// Counts the times clients hold the whole server (GrabServer requests), from its making until
// its end, through the server's record of requests (the RECORD extension).
class ServerHoldCount {
public:
    explicit ServerHoldCount(const XSession& x);
    ~ServerHoldCount();
    ServerHoldCount(const ServerHoldCount&) = delete;
    ServerHoldCount& operator=(const ServerHoldCount&) = delete;

    bool Ok() const { return m_reader.joinable(); }
    // The holds by the client that made the window (xdotool's name of it).
    int By(const std::string& window) const;

private:
    void* m_control = nullptr; // Display*
    void* m_data = nullptr;    // Display*, read by the reader
    unsigned long m_context = 0;
    mutable std::mutex m_mutex;
    std::vector<unsigned long> m_holders; // the clients' resource id bases, one a hold
    std::thread m_reader;
};

// Plays count cases (play(i), each on servers of its own) on `jobs` threads at once; what
// each said ("" when it came right), in order.
std::vector<std::string> Windowed_PlayAll(size_t count, int jobs, const std::function<std::string(size_t)>& play);
// Polls done until it holds; false when it does not within seconds.
bool Windowed_WaitUntil(const std::function<bool()>& done, int seconds);
// A whole number from the environment (the cases a test plays, a seed), else the default.
long Windowed_EnvNumber(const char* name, long otherwise);
