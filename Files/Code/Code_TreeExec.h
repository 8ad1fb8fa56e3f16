// The tree-walking interpreter: runs a compiled CCode by walking its syntax tree (the older
// of the two executors, chosen by "-oldexec"). Expressions evaluate into ScriptValues with
// the compiler's operator rules (Code_FoldUnary / Code_FoldBinary); variables are read and
// written through the scope rules of the built-in variable table; calls reach built-in
// functions, scripts and extension functions. Every run-time error is recorded through
// Code_Error_Set with the position of the offending node and unwinds with status -1.
//
// A unit that carries byte code but no tree (one built from the game's code table) is run by
// the virtual machine instead.
// Needs: the variable tables, instances and objects, the scripts, the virtual machine.
#pragma once

#include <cstdint>

#include "Files/Code/Code_Code.h"

class CInstance;
class CVariableList;

// Statuses of every evaluation and statement. EXEC_ABORT: the run is ending (a quit seen while
// the window answered); it unwinds every execution without an error.
enum : int32_t { EXEC_OK = 0, EXEC_ERROR = -1, EXEC_EXIT = -2, EXEC_BREAK = -3, EXEC_CONTINUE = -4, EXEC_ABORT = -5 };

// Most nested executions of the interpreter at once (scripts calling scripts); beyond it the
// call fails with "Script calls nested too deeply.".
constexpr int32_t CODE_MAX_EXEC_NESTING = 400;

struct CodeExecContext {
    CInstance* self;
    CInstance* other;
    CVariableList* locals; // created on the first write to a local
    CCode* code;           // for error positions
    int32_t position = 0;  // byte position of the statement running, for error reports
    const CodeExecContext* caller = nullptr; // the execution that called this one
    // The machine's entries open when this execution started: those opened later run inside
    // it (a byte-code unit it calls), so a report orders both executors' frames.
    int32_t machineEntries = 0;
};

int32_t Code_Exec_Program(CodeExecContext* ctx, const CodeNode* root, ScriptValue* result);
int32_t Code_Exec_Expression(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result);
int32_t Code_Exec_Statement(CodeExecContext* ctx, const CodeNode* node, ScriptValue* result);

// The execute hook of the code units: runs code's tree (program or expression) for self and
// other with a fresh context; the locals are deleted afterwards. The result's old text is
// released first.
int32_t Code_TreeExecute(CCode* code, CInstance* self, CInstance* other, ScriptValue* result);

// The executions of Code_TreeExecute open now, innermost first (level 0); null past the
// outermost. The error reporter names their code and the line of their statement, between the
// machine's frames by their machineEntries.
const CodeExecContext* Code_TreeFrame(int32_t level);

// Every 4,096th round of a loop lets the window answer (VM_ProcessMessages), as the machine
// does on its branches back. After Code_TreeAbortRunning every execution open at that moment
// unwinds at its next statement or loop round, without an error report; later ones run.
void Code_TreeAbortRunning();
