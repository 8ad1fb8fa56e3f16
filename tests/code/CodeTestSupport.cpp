#include "code/CodeTestSupport.h"

#include "Files/Object/Instance_Pending.h"

VMBuffer* Assemble(const char* source, VMBuffer** debug)
{
    VMBuffer* code = nullptr;
    std::string error;
    bool ok = VM_Assemble(source, &code, debug, &error);
    EXPECT_TRUE(ok) << error;
    return code;
}

namespace {
ScriptValue g_lastValue = {VALUE_REAL, nullptr, 0.0};
}

RunResult RunAsm(const char* source, CInstance* self, CInstance* other)
{
    VMBuffer* code = Assemble(source);
    Value_FreeString(&g_lastValue);
    g_lastValue = Value_Real(0.0);
    RunResult r{Value_Real(0.0), false, ""};
    if (!code) return r;
    bool quiet = VM_GetQuiet();
    VM_SetQuiet(true);
    VM_ClearExecutionFailed();
    VM_Execute("test", self, other, code, &g_lastValue, nullptr, "");
    VM_SetQuiet(quiet);
    r.value = g_lastValue;
    r.failed = VM_ExecutionFailed();
    r.error = VM_LastQuietError();
    VM_ClearExecutionFailed();
    delete code;
    return r;
}

int32_t AddAsmScript(const char* name, const char* source, const char* text)
{
    int32_t index = Script_Add(name, text ? text : "", -1);
    CScript* s = Script_Data(index);
    s->m_pCode = new CCode(s->GetText(), false);
    s->m_pCode->m_compiled = 1;
    s->m_pCode->m_pName = MEM_STRDUP(name);
    VMBuffer* debug = nullptr;
    s->m_pCode->m_pCode = Assemble(source, &debug);
    s->m_pCode->m_pDebugInfo = debug;
    return index;
}

CInstance* MakeInstance(int32_t id, int32_t object, InstanceList* room, float depth)
{
    auto* i = new CInstance(0, 0, id, object, true);
    i->SetDepth(depth);
    if (room) InstanceList_InsertByDepth(room, i);
    InstanceHash_Add(i);
    return i;
}
