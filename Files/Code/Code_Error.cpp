// Recorded errors (Code_Error_Set) and the program-wide error state. The reporter, the show
// path and the text console are in Code_ErrorReport.cpp.
#include "Files/Code/Code_Error.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Code/Code_Code.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

namespace {
char* g_text = nullptr; // the current error text
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

SourcePlace Code_Error_Place(const char* source, int32_t position)
{
    const char* text = source ? source : "";
    const int32_t length = int32_t(std::strlen(text));
    if (position < 0) position = 0;
    if (position > length) position = length;
    SourcePlace place{1, 0, {}};
    int32_t lineStart = 0;
    for (int32_t i = 0; i < position; ++i) {
        if (text[i] == '\n') {
            ++place.line;
            place.column = 0;
            lineStart = i + 1;
        } else if (text[i] != '\r' && (uint8_t(text[i]) & 0xC0) != 0x80) {
            ++place.column;
        }
    }
    int32_t lineEnd = lineStart;
    while (text[lineEnd] && text[lineEnd] != '\n') ++lineEnd;
    if (lineEnd > lineStart && text[lineEnd - 1] == '\r') --lineEnd;
    place.text.assign(text + lineStart, size_t(lineEnd - lineStart));
    return place;
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
const char* Code_Error_GetText() { return g_text; }

void Code_Error_SetText(const char* text)
{
    char* copy = text ? MEM_STRDUP(text) : nullptr;
    MEM_FREE(g_text);
    g_text = copy;
}
