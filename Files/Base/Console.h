// The log console: every trace line of the runner passes through one console object, the
// release console or the debug console, reached through Console_Get(). A line goes to the
// standard output, to the debug form's console while that form is open, and, when the
// command line asked for it ("-output" for the release console, "-debugoutput" for the
// debug console), is appended to a file.
//
// Also here: the message box (ShowMessage and MessageBox_Show) behind a host interface. The
// default host writes to stderr and answers with the box's default button; the window layer
// installs a host that shows a real box once a display is up.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class tagIConsole {
public:
    virtual ~tagIConsole() = default;
    virtual bool Query(int, int) = 0;
    virtual void Output(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
};

class TConsole : public tagIConsole {
public:
    explicit TConsole(bool debug) : m_word(0), m_debug(debug) {}
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void OutputV(const char* format, va_list args);
    bool IsDebug() const { return m_debug; }

private:
    int32_t m_word;
    bool m_debug;
};

// The program-wide consoles and the pointer that designates the log console.
TConsole* Console_Release();
TConsole* Console_Debug();
tagIConsole* Console_Get();
void Console_Set(tagIConsole* console);

// Makes the log console the memory manager's log (its memory report). Run once at start-up.
void Console_Install();

// Output on the log console.
void Console_Output(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats into buffer (size bytes, zero-terminated). A text longer than the buffer is cut to
// size - 1 bytes, back to the start of a UTF-8 character, and keeps its line break last when
// it had one, so what follows still starts on a line of its own. Returns the length. The log
// cuts its long lines so, and so does the error report's console its pieces.
size_t Console_FormatCut(char* buffer, size_t size, const char* format, va_list args);

// Output files of the release ("-output") and debug ("-debugoutput") consoles; null turns
// the file off. Lines are appended; the file is kept open between lines. A line the file does
// not take (a full disk, a size limit, a pipe nobody reads once a signal came) is lost and
// said once (Console_WriteFailed); the next lines are tried again, and a line that went part
// way is ended before the next (ConsoleHost.h).
void Console_SetOutputFile(bool debugConsole, const char* path);
// Closes the output files (shutdown, tests).
void Console_CloseFiles();
// What the log learnt of the standard output and error (at their first line) is forgotten and
// learnt again: for a program that moved them (dup2) after they were written (benchmarks).
void Console_StandardOutputsMoved();

// One line on stderr for whoever started the run, apart from the log: why the run cannot do
// what was asked (a game that does not load, a record or log file that cannot be opened).
// "runner: " comes first and a line break last.
void Console_Problem(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "runner: cannot write PATH: REASON" on stderr, once for each path in the run: a write, flush
// or close of a file that failed (the logs, the game's files, the record of "-record"), so
// that what was lost is never taken for written. The standard output is named "the standard
// output"; a pipe that took nothing more once a signal asked the run to end, "nobody is
// reading it".
void Console_WriteFailed(const char* path, const char* reason);
// Text on stderr as it is, through the same guarded write as the log (never held by a reader
// that stopped reading once a signal asked the run to end).
void Console_WriteStderr(const char* text);

// The debug form's console: while set, every line is handed to it as well (cut at 4095
// bytes, as in the file).
void Console_SetFormSink(tagIConsole* sink);

// ---- Message boxes -------------------------------------------------------------------------
// Flags and results keep the system's numbers, which games can see through their answers.
enum : uint32_t {
    MB_OK_ = 0x0, MB_OKCANCEL_ = 0x1, MB_ABORTRETRYIGNORE_ = 0x2, MB_YESNOCANCEL_ = 0x3,
    MB_YESNO_ = 0x4, MB_RETRYCANCEL_ = 0x5,
    MB_ICONERROR_ = 0x10, MB_ICONQUESTION_ = 0x20, MB_ICONWARNING_ = 0x30, MB_ICONINFORMATION_ = 0x40,
    MB_DEFBUTTON2_ = 0x100, MB_DEFBUTTON3_ = 0x200, MB_TOPMOST_ = 0x40000,
};
enum : int {
    IDOK_ = 1, IDCANCEL_ = 2, IDABORT_ = 3, IDRETRY_ = 4, IDIGNORE_ = 5, IDYES_ = 6, IDNO_ = 7,
};

class IMessageBoxHost {
public:
    virtual ~IMessageBoxHost() = default;
    // Shows text under caption with the buttons and icon of flags; returns the button id.
    virtual int Show(const char* text, const char* caption, uint32_t flags) = 0;
};

// The answer a box gives when nobody can click it: its default button.
int MessageBox_DefaultAnswer(uint32_t flags);

void MessageBox_SetHost(IMessageBoxHost* host); // null restores the stderr host
IMessageBoxHost* MessageBox_GetHost();
int MessageBox_Show(const char* text, const char* caption, uint32_t flags);

// The caption ShowMessage uses (the game window's caption; "Zimbrel" until a game sets one).
void MessageBox_SetCaption(const char* caption);
const char* MessageBox_GetCaption();

// A top-most box with an OK button, captioned with the window caption.
int ShowMessage(const char* text);
