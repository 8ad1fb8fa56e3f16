// Log console and message boxes. Owns the two program-wide consoles and their output files.
// Backed by stdio only; the window layer supplies the graphical message-box host.
#include "Files/Base/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Base/Utf8.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr size_t kLineBuffer = 4096; // file and debug-form copies are cut to 4095 bytes

struct OutputFile {
    std::string path;
    FILE* file = nullptr;
    bool enabled = false;
};

TConsole g_release(false);
TConsole g_debug(true);
tagIConsole* g_console = &g_release;
tagIConsole* g_formSink = nullptr;
OutputFile g_files[2]; // [0] release, [1] debug

void AppendToFile(OutputFile& out, bool debug, const char* text, size_t n)
{
    if (!out.enabled) return;
    if (!out.file) {
        out.file = std::fopen(out.path.c_str(), "a+");
        if (!out.file) {
            // Said once; the file is not tried again for every line.
            out.enabled = false;
            Console_Problem("%s %s: %s; the %slog goes to the standard output only", debug ? "-debugoutput" : "-output",
                            out.path.c_str(), std::strerror(errno), debug ? "debug " : "");
            return;
        }
    }
    std::fwrite(text, 1, n, out.file);
    std::fflush(out.file);
}

class StderrHost : public IMessageBoxHost {
public:
    int Show(const char* text, const char* caption, uint32_t flags) override
    {
        std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        std::fflush(stderr);
        return MessageBox_DefaultAnswer(flags);
    }
};

StderrHost g_stderrHost;
IMessageBoxHost* g_host = &g_stderrHost;
std::string g_caption = "Zimbrel";

} // namespace

size_t Console_FormatCut(char* buffer, size_t size, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(buffer, size, format, args);
    size_t len = 0;
    if (n > 0 && size_t(n) < size) {
        len = size_t(n);
    } else if (n > 0 && size > 1) {
        // The whole text tells whether it ends with a line break and where its characters
        // start at the cut (the buffer holds its terminator there).
        std::string whole(size_t(n) + 1, '\0');
        std::vsnprintf(whole.data(), whole.size(), format, again);
        const bool lineBreak = whole[size_t(n) - 1] == '\n';
        len = Utf8_CutLength(whole.data(), size - 1 - (lineBreak ? 1 : 0));
        if (lineBreak) buffer[len++] = '\n';
    }
    va_end(again);
    if (size > 0) buffer[len] = '\0';
    return len;
}

void TConsole::OutputV(const char* format, va_list args)
{
    if (!format) return;
    va_list second;
    va_copy(second, args);
    std::vfprintf(stdout, format, args);
    char buffer[kLineBuffer];
    size_t len = Console_FormatCut(buffer, sizeof buffer, format, second);
    va_end(second);
    if (g_formSink) g_formSink->Output("%s", buffer);
    AppendToFile(g_files[m_debug ? 1 : 0], m_debug, buffer, len);
    std::fflush(stdout);
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
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    out.enabled = path != nullptr;
    out.path = path ? path : "";
}

void Console_CloseFiles()
{
    for (OutputFile& out : g_files) {
        if (out.file) std::fclose(out.file);
        out.file = nullptr;
    }
}

void Console_Problem(const char* format, ...)
{
    std::fflush(stdout); // the log's lines so far come first where both reach one terminal
    std::fputs("runner: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
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
