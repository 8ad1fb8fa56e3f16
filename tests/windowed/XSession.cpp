// A private X server and a runner on it (XSession.h).
#include "windowed/XSession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/record.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "Files/Graphics_API/Graphics_PNG.h"
#include "e2e/E2EGames.h"
#include "support/Golden.h"
#include "support/ScratchFolder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(60); // the longest wait for anything (a loaded sanitizer build starts slowly)
constexpr auto kPoll = std::chrono::milliseconds(50);
// A picture unchanged this long is the one shown; longer on a machine so slow (a sanitizer
// build, busy cores) that the window itself took long to come.
constexpr auto kSettled = std::chrono::seconds(4);

void Pause() { std::this_thread::sleep_for(kPoll); }

// The picture of an XWD file (Z format, 24 or 32 bits a pixel) as R, G, B, A bytes.
bool ReadXwd(const std::string& bytes, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h)
{
    if (bytes.size() < 100) return false;
    auto u32 = [&](size_t i) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data()) + i * 4;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    const uint32_t headerSize = u32(0), format = u32(2), width = u32(4), height = u32(5), byteOrder = u32(7);
    const uint32_t bitsPerPixel = u32(11), bytesPerLine = u32(12), colours = u32(19);
    const uint32_t redMask = u32(14), greenMask = u32(15), blueMask = u32(16);
    const size_t offset = size_t(headerSize) + size_t(colours) * 12;
    // 32 bits a pixel; some windows are read back as "24 bits" held in 32-bit units, or packed.
    const uint32_t stride = bitsPerPixel == 32 || (bitsPerPixel == 24 && bytesPerLine >= width * 4) ? 4 : 3;
    if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0 || width > 8192 ||
        height > 8192 || offset + size_t(bytesPerLine) * height > bytes.size() || bytesPerLine < width * stride)
        return false;
    auto shift = [](uint32_t mask) {
        int s = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++s;
        }
        return s;
    };
    rgba->resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data()) + offset + size_t(y) * bytesPerLine + x * stride;
            const uint32_t p3 = stride == 4 ? p[3] : 0;
            const uint32_t v = byteOrder == 0 ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | p3 << 24
                               : stride == 4 ? p3 | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24
                                             : uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
            uint8_t* o = rgba->data() + (size_t(y) * width + x) * 4;
            o[0] = uint8_t((v & redMask) >> shift(redMask));
            o[1] = uint8_t((v & greenMask) >> shift(greenMask));
            o[2] = uint8_t((v & blueMask) >> shift(blueMask));
            o[3] = 255;
        }
    }
    *w = int32_t(width);
    *h = int32_t(height);
    return true;
}

std::string SamePath(const char* name) { return name; }

// Maps a window and waits until it is shown. A window manager that is still starting drops
// the request: it is asked again. False when it is not shown within 10 seconds.
bool MapAndWait(::Display* d, Window w)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        XMapWindow(d, w);
        XFlush(d);
        for (const auto end = Clock::now() + std::chrono::milliseconds(500); Clock::now() < end;) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return false;
}

} // namespace

// ---- The X server -------------------------------------------------------------------------
XSession::XSession(int width, int height, Manager manager)
{
    int fds[2];
    if (pipe(fds) != 0) {
        m_why = "no pipe";
        return;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                          "-noreset", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        m_why = "Xvfb could not be started (is the xvfb package installed?)";
        return;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        m_why = "Xvfb did not start";
        return;
    }
    m_pid = pid;
    m_display = ":" + number;
    // The windows the tests ask about (a runner's, one of their own) may go at any time: an
    // error about one is no matter (the display library's own handler would end the tests).
    static std::once_flag quiet;
    std::call_once(quiet, [] { XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; }); });
    m_connection = XOpenDisplay(m_display.c_str());
    if (!m_connection) {
        End();
        m_why = "the X server does not answer";
        return;
    }
    const char* wanted = std::getenv("ZB_WINDOW_MANAGER");
    if (manager == kManaged || (manager == kByEnvironment && wanted && std::strcmp(wanted, "openbox") == 0)) StartManager();
}

void XSession::StartManager()
{
    const std::string display = "DISPLAY=" + m_display;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.push_back(*e);
    env.push_back(const_cast<char*>(display.c_str()));
    env.push_back(nullptr);
    // Its own configuration, without the animation of a window minimised or brought back (a
    // click while it plays lands beside the window).
    m_managerConfig = "/tmp/zb_openbox_" + std::to_string(getpid()) + "_" + m_display.substr(1) + ".xml";
    std::string config = Scratch_ReadFile("/etc/xdg/openbox/rc.xml");
    const std::string animated = "<animateIconify>yes</animateIconify>";
    if (const size_t at = config.find(animated); at != std::string::npos)
        config.replace(at, animated.size(), "<animateIconify>no</animateIconify>");
    Scratch_WriteFile(m_managerConfig, config);
    const char* argv[] = {"openbox", "--sm-disable", "--config-file", m_managerConfig.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawnp(&m_manager, "openbox", &actions, nullptr, const_cast<char**>(argv), env.data());
    posix_spawn_file_actions_destroy(&actions);
    // It manages the windows once it has named its own window on the root and shows a window
    // asked for (it drops what is asked while it starts).
    ::Display* d = static_cast<::Display*>(m_connection);
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    bool up = failed == 0 && Windowed_WaitUntil([&] {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        const bool named = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type, &format,
                                              &count, &after, &data) == Success && count == 1;
        if (data) XFree(data);
        return named;
    }, 10);
    if (up) {
        const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
        up = MapAndWait(d, probe);
        XDestroyWindow(d, probe);
        XSync(d, False);
    }
    if (!up) {
        if (failed == 0) m_why = "openbox did not start";
        else m_why = "openbox could not be started (is the openbox package installed?)";
        m_manager = failed == 0 ? m_manager : -1;
        End();
    }
}

XSession::~XSession() { End(); }

void XSession::End()
{
    if (m_manager > 0) {
        kill(m_manager, SIGTERM);
        waitpid(m_manager, nullptr, 0);
        m_manager = -1;
    }
    if (!m_managerConfig.empty()) std::remove(m_managerConfig.c_str());
    if (m_connection) XCloseDisplay(static_cast<::Display*>(m_connection));
    m_connection = nullptr;
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int XSession::Run(const std::string& line) const { return e2e::Shell("DISPLAY=" + m_display + " " + line); }

std::string XSession::Output(const std::string& line) const
{
    std::string out;
    FILE* f = popen(("DISPLAY=" + m_display + " " + line + " 2>/dev/null").c_str(), "r");
    if (!f) return out;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    pclose(f);
    return out;
}

void XSession::Focus(const std::string& window) const
{
    Run(std::string(Managed() ? "xdotool windowactivate --sync " : "xdotool windowfocus --sync ") + window);
}

unsigned long XSession::FocusNow() const
{
    ::Display* d = static_cast<::Display*>(m_connection);
    Window focus = None;
    int revert;
    if (d) XGetInputFocus(d, &focus, &revert);
    return d && focus == DefaultRootWindow(d) ? PointerRoot : focus;
}

void XSession::SetFocus(unsigned long window) const
{
    ::Display* d = static_cast<::Display*>(m_connection);
    if (!d) return;
    XSetInputFocus(d, window, RevertToNone, CurrentTime);
    XSync(d, False);
}

bool XSession::Within(unsigned long inner, unsigned long outer) const
{
    ::Display* d = static_cast<::Display*>(m_connection);
    bool within = false;
    for (Window w = inner; d && w != None && !within;) {
        within = w == outer;
        Window root, parent = None, *children = nullptr;
        unsigned int n;
        if (!XQueryTree(d, w, &root, &parent, &children, &n)) break;
        if (children) XFree(children);
        w = parent == root ? None : parent;
    }
    return within;
}

unsigned long XSession::UnderPointer() const
{
    ::Display* d = static_cast<::Display*>(m_connection);
    Window at = d ? DefaultRootWindow(d) : None, deepest = None;
    for (int depth = 0; at != None && depth < 8; ++depth) {
        Window root, child = None;
        int rx, ry, x, y;
        unsigned int mask;
        if (!XQueryPointer(d, at, &root, &child, &rx, &ry, &x, &y, &mask)) break;
        if (child != None) deepest = child;
        at = child;
    }
    return deepest;
}

bool XSession::Viewable(const std::string& window) const
{
    ::Display* d = static_cast<::Display*>(m_connection);
    XWindowAttributes a{};
    return d && XGetWindowAttributes(d, std::stoul(window, nullptr, 0), &a) && a.map_state == IsViewable;
}

bool XSession::AddKeys(const std::vector<uint32_t>& characters) const
{
    ::Display* d = XOpenDisplay(m_display.c_str());
    if (!d) return false;
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* map = XGetKeyboardMapping(d, KeyCode(low), high - low + 1, &per);
    size_t next = 0;
    for (int code = high; code >= low && next < characters.size(); --code) {
        KeySym* row = map + size_t(code - low) * size_t(per);
        if (std::any_of(row, row + per, [](KeySym k) { return k != NoSymbol; })) continue;
        KeySym both[2] = {KeySym(0x1000000 | characters[next]), KeySym(0x1000000 | characters[next])};
        XChangeKeyboardMapping(d, code, 2, both, 1);
        ++next;
    }
    XFree(map);
    XSync(d, False);
    XCloseDisplay(d);
    return next == characters.size();
}

// ---- A window of the test's own -------------------------------------------------------------
OutsideWindow::OutsideWindow(const XSession& x)
{
    ::Display* d = XOpenDisplay(x.Display().c_str());
    if (!d) return;
    m_display = d;
    const int screen = DefaultScreen(d);
    m_window = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 160, 90, 0, BlackPixel(d, screen), WhitePixel(d, screen));
    XStoreName(d, m_window, "Outside");
    XSelectInput(d, m_window, KeyPressMask | ButtonPressMask | StructureNotifyMask);
    if (!MapAndWait(d, m_window)) return;
    m_id = std::to_string(m_window);
    m_reader = std::thread([this] { Read(); });
}

OutsideWindow::~OutsideWindow()
{
    m_stop = true;
    if (m_reader.joinable()) m_reader.join();
    if (m_display) XCloseDisplay(static_cast<::Display*>(m_display));
}

void OutsideWindow::Read()
{
    ::Display* d = static_cast<::Display*>(m_display);
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    const Atom userTime = XInternAtom(d, "_NET_WM_USER_TIME", False);
    while (!m_stop) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type != KeyPress && e.type != ButtonPress) continue;
            // As a terminal does: the window manager learns when the player last used it.
            const long time = long(e.type == KeyPress ? e.xkey.time : e.xbutton.time);
            XChangeProperty(d, m_window, userTime, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&time), 1);
            if (e.type == ButtonPress) XSetInputFocus(d, m_window, RevertToNone, e.xbutton.time);
            if (e.type != KeyPress) continue;
            char text[32];
            KeySym key;
            const int n = XLookupString(&e.xkey, text, sizeof text, &key, nullptr);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_typed.append(text, size_t(std::max(n, 0)));
        }
        poll(&p, 1, 20);
    }
}

std::string OutsideWindow::Typed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_typed;
}

bool OutsideWindow::WaitForTyped(const std::string& text, int seconds) const
{
    return Windowed_WaitUntil([&] { return Typed() == text; }, seconds);
}

// LSAN_OPTIONS of a runner on a display (the sanitizer build): the test's own, and the leaks of
// the system libraries SDL's X11 driver loads, which are not ours, suppressed.
static std::string DisplayLeakOptions()
{
    const char* lsan = std::getenv("LSAN_OPTIONS");
    return std::string("LSAN_OPTIONS=") + (lsan && *lsan ? std::string(lsan) + ":" : std::string()) +
           "suppressions=" ZB_SOURCE_DIR "/tests/support/lsan_display.supp";
}

std::string XSession::GameEnvironment() const
{
    return "env -u SDL_VIDEODRIVER DISPLAY=" + m_display + " SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null '" +
           DisplayLeakOptions() + "' ";
}

// ---- The runner on it ---------------------------------------------------------------------
WindowedRunner::WindowedRunner(const XSession& x, const std::string& game, const std::string& folder,
                               const std::vector<std::string>& extra, const std::vector<std::string>& more)
    : m_x(x), m_folder(folder)
{
    // The environment of the test less its headless video driver, with the session's display.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        if (s.rfind("SDL_VIDEODRIVER=", 0) == 0 || s.rfind("DISPLAY=", 0) == 0 || s.rfind("ZIMBREL_", 0) == 0 ||
            s.rfind("XDG_DATA_HOME=", 0) == 0 ||
            s.rfind("LSAN_OPTIONS=", 0) == 0)
            continue;
        env.push_back(s);
    }
    env.push_back("DISPLAY=" + x.Display());
    env.push_back("XDG_DATA_HOME=" + folder + "/xdg"); // the game's save area (Debug.ini) is the test's
    env.push_back(DisplayLeakOptions());
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back("ALSOFT_DRIVERS=null");
    env.insert(env.end(), more.begin(), more.end());
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string log = folder + "/log.txt", out = folder + "/out.txt", err = folder + "/err.txt";
    std::vector<const char*> argv = {RunnerPath()};
    if (!game.empty()) argv.insert(argv.end(), {"-game", game.c_str()});
    argv.insert(argv.end(), {"-output", log.c_str()});
    for (const std::string& a : extra) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // The quit signals as a shell gives them: std::system in another of the test's threads
    // ignores SIGINT and SIGQUIT in the whole process while its command runs, and a runner
    // started then would keep SIGINT ignored.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t quits;
    sigemptyset(&quits);
    for (int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) sigaddset(&quits, signal);
    posix_spawnattr_setsigdefault(&attributes, &quits);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    m_started = std::chrono::steady_clock::now();
    m_startedOk = posix_spawn(&m_pid, RunnerPath(), &actions, &attributes, const_cast<char**>(argv.data()), envp.data()) == 0;
    if (!m_startedOk) m_pid = -1;
    m_times = RunTime(m_pid, {x.ServerPid()}); // the runner's server answers it
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

WindowedRunner::~WindowedRunner()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

bool WindowedRunner::Ended()
{
    if (m_pid <= 0) return true;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) != m_pid) {
        m_times.Sample();
        return false;
    }
    m_pid = -1;
    m_status = status;
    m_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

const std::string& WindowedRunner::Window()
{
    const auto end = Clock::now() + kPatience;
    while (m_window.empty() && !Ended() && Clock::now() < end) {
        // The game's window: not the debug form's, and the first the runner made of those shown
        // (X gives a client's windows rising ids): a busy machine's first look can come after a
        // dialog's window of the same name is shown beside it, and the search lists in stacking order.
        std::istringstream ids(m_x.Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid)));
        unsigned long first = 0;
        for (std::string id; std::getline(ids, id);) {
            const unsigned long n = std::strtoul(id.c_str(), nullptr, 10);
            if (n && (!first || n < first) && m_x.Output("xdotool getwindowname " + id) != "Zimbrel Debugger\n") first = n;
        }
        if (first) m_window = std::to_string(first);
        if (!m_window.empty()) {
            m_windowCame = Clock::now() - m_started;
            // The pointer rests in the window's top left corner: keys go to it (no window
            // manager gives the focus), and no dialog sits there.
            m_x.Run("xdotool mousemove --window " + m_window + " 1 1");
        } else {
            Pause();
        }
    }
    return m_window;
}

std::string WindowedRunner::NoWindow() const
{
    std::string why;
    if (!m_startedOk) {
        why = "the runner could not be started";
    } else if (m_pid > 0) {
        why = "no window came within " + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kPatience).count()) + " s";
    } else {
        why = "the runner ended first, ";
        why += WIFEXITED(m_status) ? "with exit status " + std::to_string(WEXITSTATUS(m_status))
                                   : "by signal " + std::to_string(WTERMSIG(m_status));
    }
    return why + "\n--- its standard error:\n" + Stderr() + "--- its log:\n" + Log();
}

std::string WindowedRunner::Stderr() const { return Scratch_ReadFile(m_folder + "/err.txt"); }

const char* WindowedRunner::RunnerPath()
{
    const char* other = std::getenv("ZB_WINDOWED_RUNNER");
    return other && *other ? other : ZB_RUNNER_PATH;
}

std::vector<std::string> WindowedRunner::Windows()
{
    std::vector<std::string> all;
    if (Window().empty()) return all;
    all.push_back(m_window);
    std::istringstream ids(m_x.Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid)));
    for (std::string id; std::getline(ids, id);)
        if (!id.empty() && id != m_window) all.push_back(id);
    return all;
}

double WindowedRunner::SinceStart() const { return std::chrono::duration<double>(Clock::now() - m_started).count(); }

void WindowedRunner::Kill(int signal)
{
    if (m_pid > 0) kill(m_pid, signal);
}

std::string WindowedRunner::WindowNamed(const std::string& title, const std::vector<std::string>& besides)
{
    const auto end = Clock::now() + kPatience;
    while (!Ended() && Clock::now() < end) {
        const std::string ids = m_x.Output("xdotool search --all --onlyvisible --pid " + std::to_string(m_pid) + " --name " +
                                           e2e::Quote("^" + title + "$"));
        std::istringstream lines(ids);
        for (std::string id; std::getline(lines, id);)
            if (!id.empty() && id != m_window && std::find(besides.begin(), besides.end(), id) == besides.end()) return id;
        Pause();
    }
    return "";
}

bool WindowedRunner::WaitForFocus(const std::string& window)
{
    const auto end = Clock::now() + kPatience;
    while (!Ended() && Clock::now() < end) {
        if (m_x.Output("xdotool getwindowfocus") == window + "\n") return true;
        Pause();
    }
    return false;
}

void WindowedRunner::Resize(const std::string& window, int width, int height)
{
    const std::string id = window.empty() ? Window() : window;
    if (!id.empty())
        m_x.Run("xdotool windowsize --sync " + id + " " + std::to_string(width) + " " + std::to_string(height));
}

void WindowedRunner::Move(const std::string& window, int x, int y)
{
    const std::string id = window.empty() ? Window() : window;
    if (!id.empty()) m_x.Run("xdotool windowmove --sync " + id + " " + std::to_string(x) + " " + std::to_string(y));
}

void WindowedRunner::ClickIn(const std::string& window, int x, int y)
{
    m_x.Run("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

void WindowedRunner::Keys(const std::string& keys, int delay)
{
    m_x.Run("xdotool key --delay " + std::to_string(delay) + " " + keys);
}

void WindowedRunner::Stall(bool stopped)
{
    if (m_pid > 0) kill(m_pid, stopped ? SIGSTOP : SIGCONT);
}

void WindowedRunner::Type(const std::string& text) { m_x.Run("xdotool type --delay 40 " + e2e::Quote(text)); }

void WindowedRunner::Click(int x, int y)
{
    m_x.Run("xdotool mousemove --window " + Window() + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    m_x.Run("xdotool mousemove --window " + Window() + " 1 1");
}

bool WindowedRunner::RequestClose()
{
    if (Window().empty()) return false;
    ::Display* d = XOpenDisplay(m_x.Display().c_str());
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = ::Window(std::stoul(m_window));
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, e.xclient.window, False, NoEventMask, &e) != 0;
    XFlush(d);
    XCloseDisplay(d);
    return sent;
}

bool WindowedRunner::Pixels(const std::string& window, std::vector<uint8_t>* rgba, int32_t* w, int32_t* h)
{
    const std::string xwd = m_folder + "/window.xwd";
    const std::string id = window.empty() ? Window() : window;
    if (id.empty() || m_x.Run("xwd -silent -id " + id + " -out " + e2e::Quote(xwd)) != 0) return false;
    return ReadXwd(Scratch_ReadFile(xwd), rgba, w, h);
}

bool WindowedRunner::Screenshot(const std::string& png, const std::string& window, int rows)
{
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    if (!Pixels(window, &rgba, &w, &h)) return false;
    if (rows > 0 && rows < h) {
        h = rows;
        rgba.resize(size_t(w) * size_t(h) * 4);
    }
    GR_PNG_SetSavePathMapper(SamePath);
    const bool ok = write_png_file(png.c_str(), rgba.data(), w, h);
    GR_PNG_SetSavePathMapper(nullptr);
    return ok;
}

std::string WindowedRunner::WaitForPicture(const std::string& golden, int tolerance, const std::string& scratchPng,
                                           const std::string& window, int rows)
{
    const char* update = std::getenv("ZB_UPDATE_GOLDEN");
    if (update && *update == '1') {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (!Screenshot(scratchPng, window, rows)) return "no picture";
        return Golden_CompareFile(scratchPng, golden, tolerance);
    }
    // Until the picture matches, or stays the same for a while without matching (a picture
    // that is still wrong when nothing changes any more is the answer: no need to wait out
    // the patience), or the patience runs out while it keeps changing.
    std::string why = "no picture", last;
    auto lastChange = Clock::now();
    const auto end = lastChange + kPatience;
    while (Clock::now() < end) {
        if (Screenshot(scratchPng, window, rows)) {
            why = Golden_CompareFile(scratchPng, golden, tolerance, false);
            if (why.empty()) return why;
            std::string now = Scratch_ReadFile(scratchPng);
            if (now != last) {
                last = std::move(now);
                lastChange = Clock::now();
            } else if (Clock::now() - lastChange >= std::max<Clock::duration>(kSettled, 3 * m_windowCame)) {
                break;
            }
        }
        Pause();
    }
    return last.empty() ? why : Golden_CompareFile(scratchPng, golden, tolerance); // keeps the pictures
}

std::string WindowedRunner::Log() const { return Scratch_ReadFile(m_folder + "/log.txt"); }

bool WindowedRunner::WaitForLog(const std::string& line, int seconds)
{
    const auto end = Clock::now() + (seconds > 0 ? std::chrono::seconds(seconds) : kPatience);
    while (Clock::now() < end) {
        const bool ended = Ended(); // then the log is whole: no need to wait any more
        if (Log().find(line + "\n") != std::string::npos) return true;
        if (ended) return false;
        Pause();
    }
    return false;
}

int WindowedRunner::Wait()
{
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end) {
        if (Ended()) return m_code;
        Pause();
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    return -1;
}

// ---- The server's holds ----------------------------------------------------------------------
ServerHoldCount::ServerHoldCount(const XSession& x)
{
    ::Display* control = XOpenDisplay(x.Display().c_str());
    ::Display* data = XOpenDisplay(x.Display().c_str());
    m_control = control;
    m_data = data;
    if (!control || !data) return;
    XRecordRange* range = XRecordAllocRange();
    if (!range) return;
    range->core_requests.first = X_GrabServer;
    range->core_requests.last = X_GrabServer;
    XRecordClientSpec clients = XRecordAllClients;
    m_context = XRecordCreateContext(control, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(control, False);
    if (!m_context) return;
    m_reader = std::thread([this, data] {
        // Returns once the context is disabled (the destructor).
        XRecordEnableContext(data, XRecordContext(m_context), [](XPointer self, XRecordInterceptData* d) {
            auto* me = reinterpret_cast<ServerHoldCount*>(self);
            if (d->category == XRecordFromClient) {
                std::lock_guard<std::mutex> lock(me->m_mutex);
                me->m_holders.push_back(d->id_base);
            }
            XRecordFreeData(d);
        }, reinterpret_cast<XPointer>(this));
    });
}

ServerHoldCount::~ServerHoldCount()
{
    ::Display* control = static_cast<::Display*>(m_control);
    if (m_reader.joinable()) {
        XRecordDisableContext(control, XRecordContext(m_context));
        XSync(control, False);
        m_reader.join();
    }
    if (control && m_context) XRecordFreeContext(control, XRecordContext(m_context));
    if (control) XCloseDisplay(control);
    if (m_data) XCloseDisplay(static_cast<::Display*>(m_data));
}

int ServerHoldCount::By(const std::string& window) const
{
    // A client's resources are its id base with the low bits of the server's resource mask
    // (which Xlib keeps in the display's fourth private field).
    const unsigned long base = std::stoul(window) & ~reinterpret_cast<_XPrivDisplay>(m_control)->private4;
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count(m_holders.begin(), m_holders.end(), base));
}

std::vector<std::string> Windowed_PlayAll(size_t count, int jobs, const std::function<std::string(size_t)>& play)
{
    std::vector<std::string> results(count);
    std::atomic<size_t> next{0};
    std::vector<std::thread> players;
    for (int j = 0; j < std::max(1, jobs); ++j) {
        players.emplace_back([&] {
            for (size_t i; (i = next++) < count;) results[i] = play(i);
        });
    }
    for (std::thread& t : players) t.join();
    return results;
}

bool Windowed_WaitUntil(const std::function<bool()>& done, int seconds)
{
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() >= end) return false;
        Pause();
    }
    return true;
}

long Windowed_EnvNumber(const char* name, long otherwise)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : otherwise;
}
