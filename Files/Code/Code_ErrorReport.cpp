// The run-time error reporter, the show path and the text console of reports
// (Files/Code/Code_Error.h).
#include "Files/Code/Code_Error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
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

// One unit of the running code, for the report: its name and the line it is at (counted
// from 1, as compile errors count; -1 and "<unknown source line>" without line information).
struct ReportFrame {
    const char* name;
    int32_t line;
    std::string text;
    CInstance* self;
    CVariableList* locals;
};

ReportFrame FrameAt(const char* name, const char* source, bool known, int32_t position, CInstance* self,
                    CVariableList* locals)
{
    ReportFrame f{name ? name : "", -1, "<unknown source line>", self, locals};
    if (known) {
        SourcePlace place = Code_Error_Place(source, position);
        f.line = place.line;
        f.text = std::move(place.text);
    }
    return f;
}

// The running code, innermost first: the tree interpreter's executions when it runs (it is
// innermost: the machine never calls it), else the machine's frames.
std::vector<ReportFrame> RunningFrames()
{
    std::vector<ReportFrame> frames;
    for (int32_t level = 0; const CodeExecContext* t = Code_TreeFrame(level); ++level)
        frames.push_back(FrameAt(t->code ? t->code->GetName() : "", t->code ? t->code->GetText() : "", t->code != nullptr,
                                 t->position, t->self, t->locals));
    if (!frames.empty()) return frames;
    VMFrameInfo f;
    for (int32_t level = 0; VM_GetFrame(level, &f); ++level) {
        const VMLineEntry e = VM_FindLineEntry(f.debugInfo, f.offset);
        frames.push_back(FrameAt(f.name, f.source, e.valid, e.position, f.self, f.locals));
    }
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
    char piece[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(piece, sizeof piece, format ? format : "", args);
    va_end(args);
    if (n < 0) return;
    int32_t len = n < int(sizeof piece) ? n : int32_t(sizeof piece) - 1;
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

    char* headline = static_cast<char*>(MEM_ALLOC(32768));
    if (type == kTimeLineEvent) {
        const char* name = g_hooks.timeLineName ? g_hooks.timeLineName(object) : "<undefined>";
        std::snprintf(headline, 32768, "%sERROR in\naction number %d\nat time step%d\nof time line %s:\n\n\n%s",
                      prefix, action + 1, number, name ? name : "<undefined>", msg);
    } else {
        const char* event = g_hooks.eventName ? g_hooks.eventName(type, number) : "<unknown event>";
        std::snprintf(headline, 32768, "%sERROR in\naction number %d\nof %s\nfor object %s:\n\n\n%s", prefix,
                      action + 1, event ? event : "<unknown event>", Code_World().objectName(object), msg);
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
    if (!frames.empty()) report.Output(" at %s (line %d) - %s\n", frames[0].name, frames[0].line, frames[0].text.c_str());
    report.Output("%s", Rule('#').c_str());
    if (frames.size() > 1) {
        report.Output("%s", Rule('-').c_str());
        report.Output("stack frame is\n%s (line %d)\n", frames[0].name, frames[0].line);
        for (size_t level = 1; level < frames.size(); ++level)
            report.Output("called from - %s (line %d) - %s\n", frames[level].name, frames[level].line,
                          frames[level].text.c_str());
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
