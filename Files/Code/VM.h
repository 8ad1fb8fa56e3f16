// The byte-code virtual machine: runs units of byte code (Files/Code/VM_Format.h) for a pair
// of instances, self and other. Every execution entry (Code_Execute and friends) enters here
// for code that has byte code; scripts called from byte code run inside the same loop on
// frames of their own; a built-in that runs code enters the machine again (a nested entry).
//
// Before a unit first runs it is verified and prepared once (VM_Prepare): instruction
// boundaries, branch targets, operand ids and counts, and the layout of the operand stack at
// every instruction are checked; a unit that fails is refused with a clear error and never
// runs. The prepared form is what the dispatch loop executes.
//
// Run-time errors of the machine are fatal: reported through Code_Error_Report as fatal, then
// the process ends with exit code -1. In quiet mode (the debugger's evaluations) an error
// only stops the running entry, unwinding it, and sets the execution-failed flag.
//
// Files: VM_Program.cpp (verification and preparation), VM_Exec.cpp (the dispatch loop,
// calls, frames), VM_Arith.cpp (operators and conversions), VM_Variables.cpp (variable
// access and with-loops), VM_Debug.cpp (breakpoints, stepping, lines, state record).
#pragma once

#include <cstdint>
#include <string>

#include "Files/Base/Value.h"

class CInstance;
class CVariableList;
class VMBuffer;

// The comparison tolerance of real comparisons (math_set_epsilon writes it).
extern double VM_CompareEpsilon;

// Start-up: the breakpoint table and the machine's pools.
void VM_Init();
// Releases the machine's pools (shutdown, tests).
void VM_Free();

// Runs code from its start for self and other. With result given, the result is the value a
// `ret` at the outermost level returns, or the variable left on top when the unit's code
// ends with one (expression units); otherwise result is left as it was. The result's text
// belongs to the caller.
void VM_Execute(const char* name, CInstance* self, CInstance* other, VMBuffer* code,
                ScriptValue* result, VMBuffer* debugInfo, const char* source);

// Verifies and prepares code once; false (with the reason) when the unit is refused. A quit
// request (Files/Base/QuitRequest.h) stops the work on a long unit: false with the reason
// kPrepareStopped, and the unit stays unprepared (not refused; it is prepared when it next
// runs). A unit whose preparation a quit stopped does not run, and no error is reported.
bool VM_Prepare(VMBuffer* code, std::string* error = nullptr);
constexpr const char* kPrepareStopped = "stopped by a quit request";
// The reason a unit was refused ("" when it was not).
const char* VM_PrepareError(const VMBuffer* code);
// Drops the prepared form of code (the unit is being destroyed or was changed).
void VM_ReleaseProgram(VMBuffer* code);
// A unit of code (CCode) is being destroyed: the machine forgets the scripts its calls had
// looked up (each call then asks the script table again).
void VM_UnitDestroyed();

// The machine's run-time error for the running entry (see above). Returns only in quiet mode
// or when no entry runs.
void VM_Error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Quiet mode and its execution-failed flag; the message of the last quiet error.
void VM_SetQuiet(bool on);
bool VM_GetQuiet();
bool VM_ExecutionFailed();
void VM_ClearExecutionFailed();
const char* VM_LastQuietError();

// The running code, for reports and the debugger. Level 0 is the running frame, 1 its
// caller, and so on, within the innermost entry; false beyond the last.
struct VMFrameInfo {
    const char* name;
    const VMBuffer* code;
    const VMBuffer* debugInfo;
    const char* source;
    int32_t offset; // byte offset of the instruction being executed (or called from)
    CInstance* self;
    CInstance* other;
    CVariableList* locals; // a copy of the frame's `var` locals, valid until the next call for
                           // the same level
};
bool VM_GetFrame(int32_t level, VMFrameInfo* out);
// The number of frames of the innermost entry (0 when no code runs).
int32_t VM_FrameCount();
// How many entries are open (nested through built-ins).
int32_t VM_EntryDepth();
// The frames of any open entry (0 the outermost, VM_EntryDepth() - 1 the innermost), as
// VM_GetFrame gives the innermost one's: level 0 its running frame (or the one that called
// out of it), false beyond its first. The locals are not copied (null).
bool VM_GetEntryFrame(int32_t entry, int32_t level, VMFrameInfo* out);

// Hooks of the platform: draining the window-message queue every 4,096th branch back.
void VM_SetProcessMessagesHook(void (*hook)());
// Runs that hook once, if one is installed (the tree interpreter's loops call it too).
void VM_ProcessMessages();
// Asks for a drain at the next branch back of any running loop, however few branches it has
// made (a signal came, or the platform's clock says the window has waited long enough).
// Safe in a signal handler and from any thread.
void VM_RequestDrain();
// Takes the request: true (and cleared) when one is waiting. Every branch back reads it.
bool VM_TakeDrainRequest();
// Every running entry stops (the run is ending: a quit the drain saw): each unwinds at its
// next instruction boundary, or when the built-in it called returns, without an error report.
void VM_AbortRunning();
// Diagnostics: when a unit is first prepared, write its disassembly and the machine's prepared
// form of it (the handlers it runs, groups marked) to the log console. VM_Init turns this on
// when the environment variable ZB_DISASM is set to anything but "" or "0".
void VM_SetDisassembleUnits(bool on);
// Diagnostics for tests: move the operand stack to a fresh block at every growth check, so
// that a stale pointer into the old block shows under AddressSanitizer.
void VM_SetMoveStackAlways(bool on);

// How many open frames hold `var` locals (0 when no code runs).
int32_t VM_LocalsDepth();
