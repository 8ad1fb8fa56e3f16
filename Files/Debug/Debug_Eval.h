// The debugger's evaluations, shared by the debug form's watches and the remote debugger's
// evaluate command: an expression compiled once, then run with the debugger's scratch
// instance (an instance of no object, in no list) as self and other, quietly: while it runs
// no error is shown, logged or allowed to end the game, and a run-time error (of the machine
// or of a built-in) makes the evaluation fail.
//
// Main thread only. Needs the compiler (CCode), the executors, the error layer's debugger
// flag, the machine's quiet mode, the instances.
#pragma once

#include <memory>
#include <string>

#include "Files/Base/Value.h"

class CCode;
class CInstance;

// The text an evaluation that failed answers.
constexpr const char* DEBUG_UNABLE = "Unable to evaluate";

// A compiled expression: its own copy of the text and the unit built over it.
class DebugExpression {
public:
    // Compiles text as an expression named name; Ok() is false when it does not compile
    // (the compile error is forgotten, not reported).
    DebugExpression(const std::string& text, const char* name);
    ~DebugExpression();
    DebugExpression(const DebugExpression&) = delete;
    DebugExpression& operator=(const DebugExpression&) = delete;

    bool Ok() const { return m_ok; }
    const std::string& Text() const { return m_text; }
    // Runs it; true with the value in result (owned by the caller, replaced), false when it
    // did not compile or failed (result then the real 0).
    bool Evaluate(ScriptValue* result) const;

private:
    std::string m_text;
    std::unique_ptr<CCode> m_code;
    bool m_ok = false;
};

// The scratch instance (made on first use).
CInstance* Debug_ScratchInstance();
// Frees the scratch instance (shutdown, reset).
void Debug_FreeScratch();
