// Recorded errors (Code_Error_Set) and the program-wide error state. The reporter, the show
// path and the text console are in Code_ErrorReport.cpp.
#include "Files/Code/Code_Error.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Files/Base/Utf8.h"
#include "Files/Code/Code_Code.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

namespace {
bool g_recorded = false;
bool g_occurred = false;      // error_occurred
char* g_lastShown = nullptr;  // error_last
bool g_aborting = false;      // once set, nothing more is shown
bool g_logSuppressed = false;
bool g_abortOnAll = false;
} // namespace

bool Code_Error_Occurred() { return g_occurred; }
void Code_Error_SetOccurred(bool on) { g_occurred = on; }
const char* Code_Error_LastShown() { return g_lastShown; }

void Code_Error_SetLastShown(const char* text)
{
    char* copy = text && *text ? MEM_STRDUP(text) : nullptr;
    MEM_FREE(g_lastShown);
    g_lastShown = copy;
}

bool Code_Error_Aborting() { return g_aborting; }
void Code_Error_SetAborting() { g_aborting = true; }
// The errors-shown flag is the start-up options' ("-noerrors" clears it, the game's options
// set it again).
void Code_Error_SetShowErrors(bool on) { g_StartupOptions.errorsShown = on ? 1 : 0; }
bool Code_Error_GetShowErrors() { return g_StartupOptions.errorsShown != 0; }
namespace {
bool g_debuggerEvaluation = false;
bool g_evaluationFailed = false;
} // namespace

void Code_Error_SetDebuggerEvaluation(bool on) { g_debuggerEvaluation = on; }
bool Code_Error_GetDebuggerEvaluation() { return g_debuggerEvaluation; }
void Code_Error_NoteEvaluationFailure() { g_evaluationFailed = true; }
bool Code_Error_TakeEvaluationFailure()
{
    const bool failed = g_evaluationFailed;
    g_evaluationFailed = false;
    return failed;
}

void Code_Error_SetLogSuppressed(bool on) { g_logSuppressed = on; }
bool Code_Error_GetLogSuppressed() { return g_logSuppressed; }
void Code_Error_SetAbortOnAll(bool on) { g_abortOnAll = on; }
bool Code_Error_GetAbortOnAll() { return g_abortOnAll; }

void Code_Error_Reset()
{
    g_recorded = false;
    Code_Error_SetText(nullptr);
    g_occurred = false;
    Code_Error_SetLastShown(nullptr);
    g_aborting = false;
    g_StartupOptions.errorsShown = 1;
    g_logSuppressed = false;
    g_abortOnAll = false;
}

SourceLines::SourceLines(const char* source) : m_text(source ? source : "") {}

void SourceLines::MoveTo(int32_t position)
{
    if (position < 0) position = 0;
    if (position < m_at) {
        m_at = 0;
        m_line = 1;
        m_lineStart = 0;
    }
    // The text may end before the position: it is read up to the position only.
    const int32_t to = m_at + int32_t(strnlen(m_text + m_at, size_t(position - m_at)));
    const char* const end = m_text + to;
    const char* lastEnd = nullptr; // the last line end met
    for (const char* p = m_text + m_at; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!p) break;
        ++m_line;
        lastEnd = p;
    }
    // A carriage return ends a line unless a line feed follows it (that one ends the pair). The
    // byte after one before the position is at most the text's terminator.
    for (const char* p = m_text + m_at; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)));
        if (!p) break;
        if (p[1] == '\n') continue;
        ++m_line;
        if (!lastEnd || p > lastEnd) lastEnd = p;
    }
    if (lastEnd) m_lineStart = int32_t(lastEnd - m_text) + 1;
    m_at = to;
}

std::string_view SourceLines::LineText(int32_t limit) const
{
    const char* start = m_text + m_lineStart;
    size_t n = 0;
    const size_t most = limit > 0 ? size_t(limit) : 0;
    while (n <= most && start[n] && start[n] != '\n' && start[n] != '\r') ++n;
    if (n > most) n = Utf8_CutLength(start, most);
    return std::string_view(start, n);
}

SourcePlace Code_Error_Place(const char* source, int32_t position)
{
    const char* text = source ? source : "";
    SourceLines lines(text);
    lines.MoveTo(position);
    SourcePlace place{lines.Line(), 0, std::string(lines.LineText())};
    for (const char* p = text + lines.LineStart(); p < text + lines.Position(); ++p)
        if (*p != '\r' && (uint8_t(*p) & 0xC0) != 0x80) ++place.column;
    return place;
}

namespace {
// Stacked "In script" lines of a long error text: the outermost and the innermost kept.
constexpr size_t kInScriptLimit = 1023;
constexpr size_t kKeptOuter = 5;
constexpr size_t kKeptInner = 5;
constexpr const char* kLeftOut = "... %d more \"In script\" lines ...";

bool IsInScriptLine(std::string_view line)
{
    return line.size() > 11 && line.substr(0, 10) == "In script " && line.back() == ':';
}

// The count of the line that says how many lines were left out; -1 for any other line.
int32_t LeftOutCount(std::string_view line)
{
    constexpr std::string_view head = "... ", tail = " more \"In script\" lines ...";
    if (line.size() <= head.size() + tail.size() || line.substr(0, head.size()) != head ||
        line.substr(line.size() - tail.size()) != tail)
        return -1;
    int32_t count = 0;
    for (char c : line.substr(head.size(), line.size() - head.size() - tail.size())) {
        if (c < '0' || c > '9' || count > 100000000) return -1;
        count = count * 10 + (c - '0');
    }
    return count;
}

// The stacked lines at the start of a text: the "In script" lines (each with its line break)
// and what the lines that say so have left out so far; the stack ends where a line is neither.
struct Stack {
    std::vector<std::string_view> lines;
    int32_t leftOut = 0;
    bool cut = false;
    size_t size = 0; // the bytes of the stack, those lines included
};
Stack StackOf(std::string_view text)
{
    Stack stack;
    stack.lines.reserve(kKeptOuter + kKeptInner + 1);
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string_view::npos; at = end + 1) {
        const std::string_view line = text.substr(at, end - at);
        if (IsInScriptLine(line)) {
            stack.lines.push_back(text.substr(at, end + 1 - at));
        } else if (const int32_t count = LeftOutCount(line); count >= 0) {
            stack.leftOut += count;
            stack.cut = true;
        } else {
            break;
        }
    }
    stack.size = at;
    return stack;
}

// The current error text, kept as its stack and the text after it (the failure's own text),
// so a script level adds its line and rewrites the stack only: the failure's text may be tens
// of kilobytes and the levels hundreds. The whole text is joined when it is read.
struct ErrorText {
    bool present = false;
    std::string stack;
    std::string rest;
    std::string joined;
    bool joinedValid = false;
};
ErrorText g_text;
} // namespace

std::string_view Code_Error_Cut(const char* text, size_t limit)
{
    if (!text) return {};
    size_t n = strnlen(text, limit + 1);
    if (n > limit) n = Utf8_CutLength(text, limit);
    return std::string_view(text, n);
}

void Code_Error_InScript(const char* name)
{
    std::string stack = "In script ";
    stack += Code_Error_Cut(name);
    stack += ":\n";
    const bool oneLine = IsInScriptLine(std::string_view(stack).substr(0, stack.size() - 1)) &&
                         stack.find('\n') == stack.size() - 1;
    stack += g_text.stack;
    if (!oneLine) {
        // A name that makes no stacked line, or more than one: the stack is found again.
        std::string whole = stack + g_text.rest;
        const size_t size = StackOf(whole).size;
        stack = whole.substr(0, size);
        g_text.rest = whole.substr(size);
    }
    g_text.present = true;
    g_text.joinedValid = false;
    const Stack s = StackOf(stack);
    if ((!s.cut && stack.size() + g_text.rest.size() <= kInScriptLimit) || s.lines.size() <= kKeptOuter + kKeptInner) {
        g_text.stack = std::move(stack);
        return;
    }
    const int32_t leftOut = s.leftOut + int32_t(s.lines.size() - kKeptOuter - kKeptInner);
    std::string out;
    for (size_t i = 0; i < kKeptOuter; ++i) out += s.lines[i];
    char said[64];
    std::snprintf(said, sizeof said, kLeftOut, leftOut);
    out += said;
    out += '\n';
    for (size_t i = s.lines.size() - kKeptInner; i < s.lines.size(); ++i) out += s.lines[i];
    g_text.stack = std::move(out);
}

void Code_Error_Set(CCode* code, int32_t position, const char* message)
{
    if (g_recorded) return;
    g_recorded = true;
    const char* text = code ? code->GetText() : "";
    const SourcePlace place = Code_Error_Place(text, position);

    const char* msg = message ? message : "";
    std::string out;
    char head[128];
    if (code && code->m_kind == CODE_PROGRAM) {
        std::snprintf(head, sizeof head, "Error in code at line %d:\n   ", place.line);
        out = head;
        out += place.text;
        std::snprintf(head, sizeof head, "\n\nat position %d: ", place.column + 1);
        out += head;
        out += msg;
    } else {
        out = "Error in expression: ";
        out += text ? text : "";
        std::snprintf(head, sizeof head, "\n position %d: ", place.column + 1);
        out += head;
        out += msg;
    }
    Code_Error_SetText(out.c_str());
}

bool Code_Error_Recorded() { return g_recorded; }
void Code_Error_ClearRecorded() { g_recorded = false; }
const char* Code_Error_GetText()
{
    if (!g_text.present) return nullptr;
    if (!g_text.joinedValid) {
        g_text.joined = g_text.stack + g_text.rest;
        g_text.joinedValid = true;
    }
    return g_text.joined.c_str();
}

void Code_Error_SetText(const char* text)
{
    const std::string_view all = text ? text : "";
    const size_t stack = StackOf(all).size;
    g_text.stack.assign(all.substr(0, stack));
    g_text.rest.assign(all.substr(stack));
    g_text.present = text != nullptr;
    g_text.joinedValid = false;
}
