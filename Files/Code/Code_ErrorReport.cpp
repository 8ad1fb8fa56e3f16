// The run-time error reporter, the show path and the text console of reports
// (Files/Code/Code_Error.h).
#include "Files/Code/Code_Error.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_ErrorDialog.h"
#include "Files/Code/Code_TreeExec.h"
#include "Files/Code/Code_World.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Platform/MemoryManager.h"

namespace {

ErrorReportHooks g_hooks = {};

constexpr int32_t kTimeLineEvent = 100000;

void CurrentEvent(int32_t* type, int32_t* number, int32_t* object, int32_t* action)
{
    *type = 0;
    *number = 0;
    *object = -1;
    *action = 0;
    if (g_hooks.currentEvent) g_hooks.currentEvent(type, number, object, action);
}

std::string Rule(char c) { return std::string(92, c) + "\n"; }

// The headline: at most 32,767 bytes, cut at a character's start.
constexpr size_t kHeadlineSize = 32768;
void Headline(char* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Headline(char* out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Console_FormatCut(out, kHeadlineSize, format, args);
    va_end(args);
}

// One unit of the running code, for the report: its name and the line it is at (counted
// from 1, as compile errors count; -1 and "<unknown source line>" without line information).
struct ReportFrame {
    const char* name;
    const char* source; // null without line information
    int32_t position;
    CInstance* self;
    CVariableList* locals; // the tree interpreter's (the machine's are copied for the first only)
    bool machine;
    int32_t line = -1;
    std::string_view text = "<unknown source line>";
};

// Each frame's line and text: the frames of one source are placed in the order of their
// positions, so the source is read once, up to the last of them (recursion puts hundreds of
// frames on one place).
void PlaceFrames(std::vector<ReportFrame>& frames)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i].source) order.push_back(i);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const ReportFrame &x = frames[a], &y = frames[b];
        return x.source != y.source ? std::less<const char*>()(x.source, y.source) : x.position < y.position;
    });
    std::optional<SourceLines> lines;
    const char* source = nullptr;
    for (size_t i : order) {
        ReportFrame& f = frames[i];
        if (!lines || f.source != source) lines.emplace(source = f.source);
        lines->MoveTo(f.position);
        f.line = lines->Line();
        f.text = lines->LineText();
    }
}

// The running code, innermost first, whichever executor runs each unit: the tree
// interpreter's executions and the machine's entries nest in each other (the interpreter runs
// byte-code units in the machine; the machine's built-ins run code compiled from text).
std::vector<ReportFrame> RunningFrames()
{
    std::vector<ReportFrame> frames;
    const CodeExecContext* tree = Code_TreeFrame(0);
    for (int32_t entry = VM_EntryDepth() - 1; tree || entry >= 0;) {
        if (entry >= 0 && (!tree || entry >= tree->machineEntries)) { // opened inside that execution
            VMFrameInfo f;
            const VMBuffer* lastInfo = nullptr;
            int32_t lastOffset = -1;
            VMLineEntry e{false, 0, 0};
            for (int32_t level = 0; VM_GetEntryFrame(entry, level, &f); ++level) {
                if (f.debugInfo != lastInfo || f.offset != lastOffset) e = VM_FindLineEntry(f.debugInfo, f.offset);
                lastInfo = f.debugInfo;
                lastOffset = f.offset;
                frames.push_back({f.name ? f.name : "", e.valid ? f.source : nullptr, e.position, f.self, nullptr, true});
            }
            --entry;
        } else {
            const CCode* code = tree->code;
            frames.push_back({code ? code->GetName() : "", code ? code->GetText() : nullptr, tree->position, tree->self,
                              tree->locals, false});
            tree = tree->caller;
        }
    }
    if (!frames.empty() && frames[0].machine) {
        VMFrameInfo f;
        if (VM_GetFrame(0, &f)) frames[0].locals = f.locals;
    }
    PlaceFrames(frames);
    return frames;
}

} // namespace

void Code_Error_SetHooks(const ErrorReportHooks* hooks) { g_hooks = hooks ? *hooks : ErrorReportHooks{}; }

// ---- TErrStreamConsole ----

TErrStreamConsole::TErrStreamConsole() : m_capacity(102400), m_length(0)
{
    m_pText = static_cast<char*>(MEM_ALLOC(uint32_t(m_capacity)));
    m_pText[0] = 0;
}

TErrStreamConsole::~TErrStreamConsole() { MEM_FREE(m_pText); }

void TErrStreamConsole::Output(const char* format, ...)
{
    // A piece longer than 1,023 bytes is cut at a character's start and keeps its line break.
    char piece[1024];
    va_list args;
    va_start(args, format);
    const int32_t len = int32_t(Console_FormatCut(piece, sizeof piece, format ? format : "", args));
    va_end(args);
    if (m_capacity <= m_length + len + 2) {
        m_capacity += len + 1024;
        m_pText = static_cast<char*>(MEM_REALLOC(m_pText, uint32_t(m_capacity)));
    }
    std::memcpy(m_pText + m_length, piece, size_t(len));
    m_length += len;
    m_pText[m_length] = 0;
}

// ---- Reports ----

void Code_Error_Report(const char* message, bool fatal)
{
    const char* prefix = fatal ? "FATAL " : "";
    const char* msg = message ? message : "";
    int32_t type, number, object, action;
    CurrentEvent(&type, &number, &object, &action);

    char* headline = static_cast<char*>(MEM_ALLOC(kHeadlineSize));
    int32_t room = -1, instance = -1, creator = -1;
    if (g_hooks.creationCode && g_hooks.creationCode(&room, &instance, &creator)) {
        // No event runs: the room's creation code, or an instance's.
        const char* roomName = g_hooks.roomName ? g_hooks.roomName(room) : nullptr;
        if (!roomName) roomName = "<undefined>";
        if (instance < 0) {
            Headline(headline, "%sERROR in\ncreation code\nof room %s:\n\n\n%s", prefix, roomName, msg);
        } else {
            Headline(headline, "%sERROR in\ncreation code\nof instance %d\nfor object %s\nin room %s:\n\n\n%s", prefix,
                     instance, Code_World().objectName(creator), roomName, msg);
        }
    } else if (type == kTimeLineEvent) {
        const char* name = g_hooks.timeLineName ? g_hooks.timeLineName(object) : "<undefined>";
        Headline(headline, "%sERROR in\naction number %d\nat time step%d\nof time line %s:\n\n\n%s", prefix, action + 1,
                 number, name ? name : "<undefined>", msg);
    } else {
        const char* event = g_hooks.eventName ? g_hooks.eventName(type, number) : "<unknown event>";
        Headline(headline, "%sERROR in\naction number %d\nof %s\nfor object %s:\n\n\n%s", prefix, action + 1,
                 event ? event : "<unknown event>", Code_World().objectName(object), msg);
    }

    TErrStreamConsole report;
    report.Output("%s", Rule('#').c_str());
    // The headline may be longer than one piece of the console: hand it over in pieces.
    for (size_t at = 0, len = std::strlen(headline); at < len; at += 1000) {
        report.Output("%.1000s", headline + at);
    }
    report.Output("\n");
    MEM_FREE(headline);

    const std::vector<ReportFrame> frames = RunningFrames();
    if (!frames.empty())
        report.Output(" at %s (line %d) - %.*s\n", frames[0].name, frames[0].line, int(frames[0].text.size()),
                      frames[0].text.data());
    report.Output("%s", Rule('#').c_str());
    if (frames.size() > 1) {
        report.Output("%s", Rule('-').c_str());
        report.Output("stack frame is\n%s (line %d)\n", frames[0].name, frames[0].line);
        for (size_t level = 1; level < frames.size(); ++level)
            report.Output("called from - %s (line %d) - %.*s\n", frames[level].name, frames[level].line,
                          int(frames[level].text.size()), frames[level].text.data());
    }
    Code_Error_Show(report.GetText(), fatal);

    // The variables in sight, to the log.
    std::string rule = Rule('-');
    CVariableList* locals = frames.empty() ? nullptr : frames[0].locals;
    if (locals && locals->Count() > 0) {
        Console_Output("%s", rule.c_str());
        Console_Output("Local Variables : \n");
        locals->DebugPrint(Console_Get());
    }
    CVariableList* own = frames.empty() ? nullptr : Code_InstanceVariables(frames[0].self);
    if (own && own->Count() > 0) {
        Console_Output("%s", rule.c_str());
        Console_Output("Self Variables : \n");
        own->DebugPrint(Console_Get());
    }
    CVariableList* globals = Variable_Global_List();
    if (globals && globals->Count() > 0) {
        Console_Output("%s", rule.c_str());
        Console_Output("Global Variables : \n");
        globals->DebugPrint(Console_Get());
    }
}

void Code_Error_Show(const char* text, bool abort)
{
    if (Code_Error_GetDebuggerEvaluation()) {
        Code_Error_NoteEvaluationFailure(); // the debugger answers "Unable to evaluate"
        return;
    }
    if (Code_Error_Aborting()) return;
    if (Code_Error_GetAbortOnAll()) abort = true;
    if (g_hooks.leaveFullscreen) g_hooks.leaveFullscreen();
    if (g_hooks.debugFormUpdate) g_hooks.debugFormUpdate();
    if (Code_Error_GetShowErrors()) {
        if (abort) {
            Code_Error_ShowDialog(text, false);
        } else {
            abort = Code_Error_ShowDialog(text, true);
        }
    }
    if (g_hooks.clearInput) g_hooks.clearInput();
    Code_Error_SetLastShown(text);
    if (!Code_Error_GetLogSuppressed()) Console_Output("ERROR!!! :: %s\n", text ? text : "");
    Code_Error_SetOccurred(true);
    if (abort) {
        Code_Error_SetAborting();
        if (g_hooks.abortGame) g_hooks.abortGame();
    }
}

char* Code_Error_DialogText(const char* text)
{
    std::string out = "\r\n" + std::string(43, '_') + "\r\n";
    const char* p = text ? text : "";
    std::string line;
    while (*p) {
        char c = *p;
        if (c == '\r' || c == '\n') {
            out += line;
            out += "\r\n";
            line.clear();
            ++p;
            // A second break character right after the first belongs to the same break.
            if ((*p == '\r' || *p == '\n')) ++p;
            continue;
        }
        if (c == '\t') {
            line += "       ";
        } else {
            line += c;
        }
        ++p;
    }
    out += line;
    return MEM_STRDUP(out.c_str());
}

bool Code_Error_ShowDialog(const char* text, bool ignorable)
{
    char* dialogText = Code_Error_DialogText(text);
    g_ErrorRecord.text = dialogText;
    g_ErrorRecord.ignorable = ignorable ? 1 : 0;
    int32_t answer = Error_ShowDialog();
    g_ErrorRecord.text = nullptr;
    MEM_FREE(dialogText);
    return answer == 1;
}
