// Fuzz target: arbitrary bytes as a unit of byte code. The verifier must refuse it or accept
// it without reading outside it; an accepted unit is disassembled and its prepared form
// listed, and, when none of its branches leads backwards (so it ends), run quietly for a room
// of three instances twice: with its instruction groups, and with every group undone (as
// breakpoints undo them). Both runs must give the same result from the same variables.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Internal.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"

namespace {

class NullConsole : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};

void Noop(ScriptValue* r, CInstance*, CInstance*, int32_t argc, ScriptValue*) { r->real = argc; }

bool GetField(CInstance* self, int32_t index, ScriptValue* out)
{
    out->real = self ? self->i_x + index : 0;
    return true;
}

InstanceList g_room;
CInstance* g_self = nullptr;
std::vector<CInstance*> g_instances;

void Setup()
{
    static bool done = false;
    if (done) return;
    done = true;
    Function_Add("noop", Noop, -1);
    Function_Add("noop0", Noop, 0);
    Variable_BuiltIn_RegisterArguments();
    RegisterBuiltinVariable("field", GetField, nullptr, false);
    Variable_Global_Init();
    Object_InitHash();
    int32_t obj = Object_Add();
    for (int i = 0; i < 3; ++i) {
        auto* inst = new CInstance(float(i), 0, 100001 + i, obj, true);
        InstanceList_InsertByDepth(&g_room, inst);
        InstanceHash_Add(inst);
        g_instances.push_back(inst);
        if (!g_self) g_self = inst;
    }
    Run_SetActiveList(&g_room);
    VM_SetQuiet(true);
}

bool RunsForward(const VMProgram* p)
{
    for (const VMOp& op : p->ops) {
        bool branch = op.code == VMI_B || op.code == VMI_BT || op.code == VMI_BF || op.code == VMI_POPENV ||
                      op.code == VMI_PUSHENV || (op.b != VMCMP_PUSH && op.code >= VMI_CMP_II && op.code <= VMI_CMP_VD);
        if (branch && op.k.target && op.k.target <= &op) return false;
    }
    return true;
}

// Runs the unit from empty variables: "ERR" or the result as text.
std::string RunFresh(VMBuffer* code)
{
    for (CInstance* i : g_instances) i->GetVariables()->Clear();
    Variable_Global_Init();
    ScriptValue r = Value_Real(0);
    VM_Execute("fuzz", g_self, g_self, code, &r, nullptr, "");
    std::string out;
    if (VM_ExecutionFailed()) {
        out = "ERR";
    } else if (r.kind == VALUE_STRING) {
        out = std::string("s:") + (r.text ? r.text : "");
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%d:%.17g", r.kind, r.real);
        out = text;
    }
    Value_FreeString(&r);
    VM_ClearExecutionFailed();
    if (VM_EntryDepth() != 0 || VM_WithDepth() != 0 || VM_LocalsDepth() != 0) __builtin_trap();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 14) return 0;
    Setup();
    VMBuffer code(data, int32_t(size & ~size_t(3)));
    code.AddString("text");
    code.AddString(nullptr);
    if (!VM_Prepare(&code)) return 0;
    NullConsole console;
    VM_DisassembleAll(&console, &code);
    VM_ListProgram(&console, code.m_pProgram, "fuzz");
    if (RunsForward(code.m_pProgram)) {
        std::string grouped = RunFresh(&code);
        VMProgram* p = code.m_pProgram;
        for (int32_t i = 0; i < int32_t(p->ops.size()); ++i) VM_Unfuse(p, i);
        std::string plain = RunFresh(&code);
        // NaN results compare by their text.
        if (grouped != plain) __builtin_trap();
    }
    return 0;
}
