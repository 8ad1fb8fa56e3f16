// Log console and message boxes. Owns the two program-wide consoles and their output files,
// the standard output and error as the log writes them, and the one-line problems on stderr.
// Every byte goes through the host's guarded write (ConsoleHost.h, Linux/ConsoleM.cpp), which
// learns once what each output is: a file or a pipe that fails or stalls costs its line, says
// so once, and never holds a signal off.
#include "Files/Base/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "Files/Base/ConsoleHost.h"
#include "Files/Base/Utf8.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr size_t kLineBuffer = 4096; // file and debug-form copies are cut to 4095 bytes
constexpr const char* kStdoutName = "the standard output";
constexpr const char* kStalled = "nobody is reading it";

struct OutputFile {
    std::string path;
    ConsoleOutput out; // its fd -1 until the first line opens the file
    bool enabled = false;
    // The file is where the standard output goes (/dev/stdout, a copy of it, the file or pipe
    // the shell gave it): the standard output's copy of each line is the only one. Learnt when
    // the file opens and again after the standard outputs moved; -1 until then.
    int sameAsStdout = -1;
};

TConsole g_release(false);
TConsole g_debug(true);
tagIConsole* g_console = &g_release;
tagIConsole* g_formSink = nullptr;
OutputFile g_files[2]; // [0] release, [1] debug
ConsoleOutput g_stdout(1);
ConsoleOutput g_stderr(2);

std::mutex g_saidLock;
std::set<std::string> g_writeFailuresSaid; // paths whose failed write was said

// Says what a failed or stalled write of a log cost (once for each file).
void SayWrite(const char* path, ConsoleWrite outcome, int error)
{
    if (outcome == ConsoleWrite::Written) return;
    Console_WriteFailed(path, outcome == ConsoleWrite::GaveUp ? kStalled : std::strerror(error));
}

void WriteStdout(const char* text, size_t n)
{
    int error = 0;
    const ConsoleWrite outcome = ConsoleHost_Write(g_stdout, text, n, &error);
    if (outcome == ConsoleWrite::Failed && error == EBADF) return; // started without one
    SayWrite(kStdoutName, outcome, error);
}

void AppendToFile(OutputFile& out, bool debug, const char* text, size_t n)
{
    if (!out.enabled) return;
    if (out.out.fd < 0) {
        out.out.fd = ConsoleHost_OpenLog(out.path.c_str());
        if (out.out.fd < 0) {
            // Said once; the file is not tried again for every line.
            out.enabled = false;
            Console_Problem("%s %s: %s; the %slog goes to the standard output only", debug ? "-debugoutput" : "-output",
                            out.path.c_str(), std::strerror(errno), debug ? "debug " : "");
            return;
        }
    }
    if (out.sameAsStdout < 0) out.sameAsStdout = ConsoleHost_SameOutput(out.out.fd, g_stdout.fd);
    if (out.sameAsStdout) return;
    // A line that fails is lost; the next ones are still tried (space may come back).
    int error = 0;
    const ConsoleWrite outcome = ConsoleHost_Write(out.out, text, n, &error);
    SayWrite(out.path.c_str(), outcome, error);
}

void CloseFile(OutputFile& out)
{
    if (out.out.fd < 0) return;
    ConsoleHost_Forget(out.out);
    if (!ConsoleHost_Close(out.out.fd)) Console_WriteFailed(out.path.c_str(), std::strerror(errno));
    out.out.fd = -1;
    out.sameAsStdout = -1;
}

// Formats the whole text into small (size bytes) or, when longer, into big; the text and its
// length (-1 for a format error).
const char* FormatWhole(char* small, size_t size, std::string& big, int* length, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, size, format, args);
    *length = n;
    const char* text = small;
    if (n >= 0 && size_t(n) >= size) {
        big.assign(size_t(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), format, again);
        big.resize(size_t(n));
        text = big.data();
    }
    va_end(again);
    return text;
}

// The cut copy of a whole text of n bytes into buffer (size bytes, terminated): at most size - 1
// bytes, back to a character's start, its line break kept last. Returns the length.
size_t CutCopy(char* buffer, size_t size, const char* whole, size_t n)
{
    if (size == 0) return 0;
    size_t len = n;
    if (n >= size && size < 2) {
        len = 0;
    } else if (n >= size) {
        const bool lineBreak = n > 0 && whole[n - 1] == '\n';
        len = Utf8_CutLength(whole, size - 1 - (lineBreak ? 1 : 0));
        if (buffer != whole) std::memmove(buffer, whole, len);
        if (lineBreak) buffer[len++] = '\n';
    } else if (buffer != whole) {
        std::memmove(buffer, whole, len);
    }
    buffer[len] = '\0';
    return len;
}

class StderrHost : public IMessageBoxHost {
public:
    int Show(const char* text, const char* caption, uint32_t flags) override
    {
        std::string line = std::string(caption ? caption : "") + ": " + (text ? text : "") + "\n";
        line.resize(String_LineFeeds(line.data())); // a message's breaks as a terminal shows them
        Console_WriteStderr(line.c_str());
        return MessageBox_DefaultAnswer(flags);
    }
};

StderrHost g_stderrHost;
IMessageBoxHost* g_host = &g_stderrHost;
std::string g_caption = "Zimbrel";

} // namespace

size_t Console_FormatCut(char* buffer, size_t size, const char* format, va_list args)
{
    std::string big;
    int n = 0;
    const char* whole = FormatWhole(buffer, size, big, &n, format, args);
    if (n <= 0) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    return CutCopy(buffer, size, whole, size_t(n));
}

void TConsole::OutputV(const char* format, va_list args)
{
    if (!format) return;
    // The standard output gets the whole line; the file and the form its first 4095 bytes.
    char buffer[kLineBuffer];
    std::string big;
    int n = 0;
    const char* whole = FormatWhole(buffer, sizeof buffer, big, &n, format, args);
    if (n < 0) return;
    WriteStdout(whole, size_t(n));
    const size_t len = CutCopy(buffer, sizeof buffer, whole, size_t(n));
    if (g_formSink) g_formSink->Output("%s", buffer);
    AppendToFile(g_files[m_debug ? 1 : 0], m_debug, buffer, len);
}

void TConsole::Output(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    OutputV(format, args);
    va_end(args);
}

TConsole* Console_Release() { return &g_release; }
TConsole* Console_Debug() { return &g_debug; }
tagIConsole* Console_Get() { return g_console; }
void Console_Set(tagIConsole* console) { g_console = console ? console : &g_release; }

void Console_Install()
{
    MemoryManager_SetLogHandler([](const char* line) { Console_Output("%s", line); });
}

void Console_Output(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (auto* tc = dynamic_cast<TConsole*>(g_console)) {
        tc->OutputV(format, args);
    } else {
        char buffer[kLineBuffer];
        Console_FormatCut(buffer, sizeof buffer, format, args);
        g_console->Output("%s", buffer);
    }
    va_end(args);
}

void Console_SetOutputFile(bool debugConsole, const char* path)
{
    OutputFile& out = g_files[debugConsole ? 1 : 0];
    CloseFile(out);
    out.enabled = path != nullptr;
    out.path = path ? path : "";
}

void Console_CloseFiles()
{
    for (OutputFile& out : g_files) CloseFile(out);
}

void Console_StandardOutputsMoved()
{
    ConsoleHost_Forget(g_stdout);
    ConsoleHost_Forget(g_stderr);
    for (OutputFile& out : g_files) out.sameAsStdout = -1;
}

void Console_WriteStderr(const char* text)
{
    int error = 0;
    ConsoleHost_Write(g_stderr, text, std::strlen(text), &error); // nowhere left to say a failure
}

void Console_Problem(const char* format, ...)
{
    char small[kLineBuffer];
    std::string big;
    int n = 0;
    va_list args;
    va_start(args, format);
    const char* text = FormatWhole(small, sizeof small, big, &n, format, args);
    va_end(args);
    if (n < 0) return;
    Console_WriteStderr(("runner: " + std::string(text, size_t(n)) + "\n").c_str());
}

void Console_WriteFailed(const char* path, const char* reason)
{
    {
        std::lock_guard<std::mutex> lock(g_saidLock);
        if (!g_writeFailuresSaid.insert(path ? path : "").second) return;
    }
    Console_Problem("cannot write %s: %s", path ? path : "", reason ? reason : "");
}

void Console_SetFormSink(tagIConsole* sink) { g_formSink = sink; }

int MessageBox_DefaultAnswer(uint32_t flags)
{
    static const int kButtons[6][3] = {
        {IDOK_, IDOK_, IDOK_},           {IDOK_, IDCANCEL_, IDCANCEL_},
        {IDABORT_, IDRETRY_, IDIGNORE_}, {IDYES_, IDNO_, IDCANCEL_},
        {IDYES_, IDNO_, IDNO_},          {IDRETRY_, IDCANCEL_, IDCANCEL_},
    };
    uint32_t set = flags & 0xF;
    if (set > 5) set = 0;
    uint32_t def = (flags >> 8) & 0x3;
    if (def > 2) def = 0;
    return kButtons[set][def];
}

void MessageBox_SetHost(IMessageBoxHost* host) { g_host = host ? host : &g_stderrHost; }
IMessageBoxHost* MessageBox_GetHost() { return g_host; }

int MessageBox_Show(const char* text, const char* caption, uint32_t flags)
{
    return g_host->Show(text ? text : "", caption ? caption : "", flags);
}

void MessageBox_SetCaption(const char* caption) { g_caption = caption ? caption : ""; }
const char* MessageBox_GetCaption() { return g_caption.c_str(); }

int ShowMessage(const char* text)
{
    return MessageBox_Show(text, g_caption.c_str(), MB_OK_ | MB_TOPMOST_);
}
