// Execution entry points: every piece of ZBL code runs through one of these. They pick the
// executor: the byte-code machine (the default) or the tree interpreter ("-oldexec"). A
// constant unit is never executed: its value is copied. Code made from an empty text that was
// never compiled does nothing and succeeds under both executors.
#pragma once

#include "Files/Base/Value.h"

class CCode;
class CInstance;

// Runs code; a failure is reported (not fatal) and false returned.
bool Code_Execute(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
// Runs code; on failure the result is the string "ERROR" and nothing is reported.
bool Code_ExecuteValue(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);
bool Code_ExecuteInternal(CInstance* self, CInstance* other, CCode* code, ScriptValue* result);

// Executions open now (nested calls counted): 0 when no game code is running, so a caller
// below every execution may free what running code could still hold.
int32_t Code_RunningDepth();

// The run is ending (a quit seen while the window answered): every execution open now, in
// either executor, unwinds without an error report; code run later (the game's end) runs.
void Code_AbortRunning();
// The game's code is stopped (a quit's grace ran out) or goes again (the game's end events):
// while stopped, every execution open unwinds (Code_AbortRunning) and none starts.
void Code_StopGameCode(bool stop);
bool Code_GameCodeStopped();
