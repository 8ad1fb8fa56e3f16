// Execution entry points (Files/Code/Code_Execute.h).
#include "Files/Code/Code_Execute.h"

#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_TreeExec.h"
#include "Files/Code/VM.h"
#include "Files/Support/CommandLine.h"
#include "Platform/MemoryManager.h"

namespace {

void CopyConstant(const CCode* code, ScriptValue* result)
{
    const ScriptValue& c = code->m_constant;
    char* old = result->kind == VALUE_STRING ? result->text : nullptr;
    const char* text = c.kind == VALUE_STRING ? c.text : nullptr;
    result->kind = c.kind;
    result->real = c.real;
    if (!text || !*text) {
        if (old != text) MEM_FREE(old);
        result->text = nullptr;
        return;
    }
    size_t n = std::strlen(text) + 1;
    if (old && old != text && MemoryManager::Reuse(old, uint32_t(n))) {
        std::memcpy(old, text, n);
        result->text = old;
        return;
    }
    if (old != text) MEM_FREE(old);
    result->text = MEM_STRDUP(text);
}

int32_t g_running = 0;
bool g_stopped = false; // Code_StopGameCode: the one record of it (the entry reads it back)

struct Running {
    Running() { ++g_running; }
    ~Running() { --g_running; }
};

} // namespace

int32_t Code_RunningDepth() { return g_running; }

bool Code_ExecuteInternal(CInstance* self, CInstance* other, CCode* code, ScriptValue* result)
{
    const Running running;
    Code_Error_ClearRecorded();
    VM_ClearExecutionFailed();
    if (!code || Main_ExitRequested() || g_stopped) return true; // after a fatal error (or a quit's grace) no game code runs
    // Code made from an empty text and never compiled (the room preparation leaves a room's
    // empty creation code so) has nothing to run, whoever made it: it does nothing and
    // reports nothing, under either executor.
    if (!code->m_compiled && !*code->GetText()) return true;
    if (Code_UseVM()) {
        if (code->m_kind < CODE_PROGRAM) return true;
        if (code->m_kind == CODE_CONSTANT) {
            CopyConstant(code, result);
            return true;
        }
        if (code->m_kind <= CODE_EXPRESSION && code->m_pCode) {
            const char* source = code->m_pSourceCopy ? code->m_pSourceCopy : code->GetText();
            VM_Execute(code->GetName(), self, other, code->m_pCode, result, code->m_pDebugInfo, source);
        }
        return true;
    }
    if (!code->m_compiled) {
        Code_Error_Set(code, 0, "Internal Error: Executing non-compiled code->");
        return false;
    }
    if (code->m_kind == CODE_CONSTANT) {
        CopyConstant(code, result);
        return true;
    }
    if (!self || !other) {
        Code_Error_Set(code, 0, "Internal Error: Executing code for nil instance.");
        return false;
    }
    const CodeCompilerHooks* hooks = Code_GetCompilerHooks();
    if (!hooks->execute) return true;
    Value_FreeString(result);
    return hooks->execute(code, self, other, result) != -1;
}

bool Code_Execute(CInstance* self, CInstance* other, CCode* code, ScriptValue* result)
{
    if (Code_ExecuteInternal(self, other, code, result)) return true;
    Code_Error_Report(Code_Error_GetText(), false);
    Code_Error_ClearRecorded();
    return false;
}

bool Code_ExecuteValue(CInstance* self, CInstance* other, CCode* code, ScriptValue* result)
{
    if (Code_ExecuteInternal(self, other, code, result)) return true;
    Value_SetString(result, "ERROR");
    return false;
}

void Code_AbortRunning()
{
    VM_AbortRunning();
    Code_TreeAbortRunning();
}

void Code_StopGameCode(bool stop)
{
    g_stopped = stop;
    if (stop) Code_AbortRunning();
}

bool Code_GameCodeStopped() { return g_stopped; }
