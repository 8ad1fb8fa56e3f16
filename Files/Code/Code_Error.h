// Error reporting of ZBL code. Three layers:
//   Code_Error_Set     records the first error of a compile or an execution as text with its
//                      line and position in the source;
//   Code_Error_Report  the run-time reporter (the executors and the built-ins): wraps a message
//                      into a report naming the event, object or time line and the action (or
//                      the creation code that runs), adds the place and the calls of the running
//                      code (both executors' frames) and hands it to Code_Error_Show;
//   Code_Error_Show    shows the text in the error dialog unless errors are switched off, logs
//                      it, sets the flag behind error_occurred and error_last, and stops the
//                      game when the error aborts.
// TErrStreamConsole is the growable text sink in which a report is assembled.
//
// Needs: the virtual machine (call stack), the error dialog (Code_ErrorDialog.h), the log
// console, and the game world's names of events, objects and time lines (hooks below).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Files/Base/Console.h"

class CCode;

// ---- Recorded errors (compile and tree-interpreter errors) ---------------------------------
// Records "Error in code at line %d: ..." (programs) or "Error in expression: ..." for the
// byte position of code's text, unless an error is already recorded.
void Code_Error_Set(CCode* code, int32_t position, const char* message);
bool Code_Error_Recorded();
void Code_Error_ClearRecorded();
// The current error text (null when none; valid until the text changes) and its replacement
// (a copy is kept; the executors rewrite it, Script_Execute through Code_Error_InScript).
const char* Code_Error_GetText();
void Code_Error_SetText(const char* text);

// ---- Source lines ---------------------------------------------------------------------------
// A line of source text ends at a line feed, at a carriage return, or at the pair CR LF (one
// line end). Compile errors, the tree interpreter's errors, the lines of a run-time report and
// the machine's stepping all count lines so.
//
// The most bytes of a line's text that an error text or a report gives: a report's pieces are
// cut at 1,023 bytes, so no more of a line is ever shown.
constexpr int32_t kSourceLineTextLimit = 1023;

// The lines of one source text, counted forward to byte positions: a move reads only the text
// between the last position and the next (a position before the last starts again from the
// text's start), and the line's text reads at most the limit from the line's start. Nothing
// else of the text is read: a report deep in a long line costs what it prints.
class SourceLines {
public:
    explicit SourceLines(const char* source);
    // Moves to a byte position, clamped to 0 .. the text's length.
    void MoveTo(int32_t position);
    int32_t Position() const { return m_at; }
    int32_t Line() const { return m_line; } // counted from 1
    int32_t LineStart() const { return m_lineStart; } // the byte position of the line's start
    // The line's text without its line end: at most limit bytes, cut at the start of a UTF-8
    // character. It points into the source.
    std::string_view LineText(int32_t limit = kSourceLineTextLimit) const;

private:
    const char* m_text;
    int32_t m_at = 0;
    int32_t m_line = 1;
    int32_t m_lineStart = 0;
};

// Where a byte position lies in a source text (clamped to it): the line counted from 1, the
// column in characters from 0 since the line's start ('\r' not counted), and that line's text
// without its line end (at most kSourceLineTextLimit bytes). Compile errors and the tree
// interpreter's errors give these.
struct SourcePlace {
    int32_t line;
    int32_t column;
    std::string text;
};
SourcePlace Code_Error_Place(const char* source, int32_t position);

// The most bytes of a run-time error's message that a report can show: its headline's limit.
// A message made from a text of any length (a variable's name) is cut there when it is made,
// so the error costs what the report prints, not what the text holds.
constexpr size_t kErrorMessageLimit = 32767;
// text (null: empty) cut to at most limit bytes at the start of a UTF-8 character; reads at
// most limit + 1 bytes of it.
std::string_view Code_Error_Cut(const char* text, size_t limit = kErrorMessageLimit);

// A script run that failed: the current error text becomes "In script NAME:\n" before the
// failure's text, so nested runs stack one such line a level. Up to 1,023 bytes that is all.
// Beyond, the failure's own text (the innermost error and its line) stays whole and the
// stacked lines are cut in the middle: the outermost and the innermost few stay, and one line
// between them says how many were left out (a line kept from then on, its count growing). The
// script's name is cut at kErrorMessageLimit, and a level rewrites the stacked lines only, not
// the failure's text after them: each level costs its own line.
void Code_Error_InScript(const char* name);

// ---- Reports --------------------------------------------------------------------------------
void Code_Error_Report(const char* message, bool fatal);
void Code_Error_Show(const char* text, bool abort);
// Prepares the dialog text and runs the error dialog; true when the player chose Abort.
bool Code_Error_ShowDialog(const char* text, bool ignorable);
// The dialog text of Code_Error_ShowDialog for text (a rule, then the lines with "\r\n"
// breaks and tabs as 7 spaces); a new owned block.
char* Code_Error_DialogText(const char* text);

// Flags and options.
bool Code_Error_Occurred();         // error_occurred
void Code_Error_SetOccurred(bool on);
const char* Code_Error_LastShown(); // error_last (null when none)
void Code_Error_SetLastShown(const char* text);
bool Code_Error_Aborting();
void Code_Error_SetAborting();
// Errors are shown in the dialog while this is set: the start-up options' errors-shown flag
// ("-noerrors" clears it, the game's options set it again).
void Code_Error_SetShowErrors(bool on);
bool Code_Error_GetShowErrors();
// While set, "ERROR!!! :: " lines are not logged (the debugger's evaluations).
void Code_Error_SetLogSuppressed(bool on);
bool Code_Error_GetLogSuppressed();
// While set, the code running is the debugger's evaluation (a watch, an expression of the
// remote debugger): a report shows nothing, logs nothing and ends nothing; it is only noted,
// and Code_Error_TakeEvaluationFailure answers whether one came (and forgets it).
void Code_Error_SetDebuggerEvaluation(bool on);
bool Code_Error_GetDebuggerEvaluation();
bool Code_Error_TakeEvaluationFailure();
void Code_Error_NoteEvaluationFailure(); // the reporter's side
// The game option "abort on all errors": every reported error ends the game.
void Code_Error_SetAbortOnAll(bool on);
bool Code_Error_GetAbortOnAll();
// Forgets every flag and text (game restart, tests).
void Code_Error_Reset();

// The game world's side: names for the report's headline and what an aborting error does.
// Each hook may be null; the defaults name nothing and only log.
struct ErrorReportHooks {
    // The running event: type, number, object index, action number (event_type ...).
    void (*currentEvent)(int32_t* type, int32_t* number, int32_t* object, int32_t* action);
    const char* (*eventName)(int32_t type, int32_t number);
    const char* (*timeLineName)(int32_t index);
    void (*leaveFullscreen)();
    void (*debugFormUpdate)();
    void (*clearInput)();
    // An aborting error: set the room-switch code to -400 and post the quit message.
    void (*abortGame)();
    // Creation code running outside any event: true with the room's index and, for an
    // instance's code, the instance's id and object (-1 for the room's own code).
    bool (*creationCode)(int32_t* room, int32_t* instance, int32_t* object);
    const char* (*roomName)(int32_t index);
};
void Code_Error_SetHooks(const ErrorReportHooks* hooks);

// A console that collects text in a growing buffer (starts at 102,400 bytes; each piece cut
// at 1,023 bytes).
class TErrStreamConsole : public tagIConsole {
public:
    TErrStreamConsole();
    ~TErrStreamConsole() override;
    TErrStreamConsole(const TErrStreamConsole&) = delete;
    TErrStreamConsole& operator=(const TErrStreamConsole&) = delete;
    bool Query(int, int) override { return true; }
    void Output(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    const char* GetText() const { return m_pText; }
    int32_t GetCapacity() const { return m_capacity; }

private:
    int32_t m_capacity;
    char* m_pText;
    int32_t m_length;
};
