// The debugger's evaluations (Files/Debug/Debug_Eval.h).
#include "Files/Debug/Debug_Eval.h"

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Execute.h"
#include "Files/Code/VM.h"
#include "Files/Object/Instance.h"

namespace {
CInstance* g_scratch = nullptr;
} // namespace

CInstance* Debug_ScratchInstance()
{
    if (!g_scratch) g_scratch = new CInstance(0.0f, 0.0f, 0, -1, false);
    return g_scratch;
}

void Debug_FreeScratch()
{
    delete g_scratch;
    g_scratch = nullptr;
}

DebugExpression::DebugExpression(const std::string& text, const char* name) : m_text(text)
{
    m_code = std::make_unique<CCode>(m_text.c_str(), true);
    Code_Error_ClearRecorded();
    m_ok = m_code->Compile(name);
    Code_Error_ClearRecorded(); // a compile error is this expression's "Unable to evaluate" only
}

DebugExpression::~DebugExpression() = default;

bool DebugExpression::Evaluate(ScriptValue* result) const
{
    Value_FreeString(result);
    *result = Value_Real(0.0);
    if (!m_ok) return false;
    // Everything the evaluation may change of the error state is put back afterwards.
    const bool wasEvaluating = Code_Error_GetDebuggerEvaluation();
    const bool quiet = VM_GetQuiet();
    Code_Error_SetDebuggerEvaluation(true);
    VM_SetQuiet(true);
    VM_ClearExecutionFailed();
    Code_Error_TakeEvaluationFailure();
    CInstance* self = Debug_ScratchInstance();
    ScriptValue value = Value_Real(0.0);
    const bool ran = Code_ExecuteValue(self, self, m_code.get(), &value);
    const bool failed = !ran || VM_ExecutionFailed() || Code_Error_TakeEvaluationFailure();
    VM_ClearExecutionFailed();
    VM_SetQuiet(quiet);
    Code_Error_SetDebuggerEvaluation(wasEvaluating);
    if (failed) {
        Value_FreeString(&value);
        return false;
    }
    *result = value;
    return true;
}
