// Room transition settings (see Graphics_Transition.h). No host library here.
#include "Files/Graphics/Graphics_Transition.h"

#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Function.h"
#include "Files/World/World_State.h"
#include "Platform/MemoryManager.h"

namespace {

// Two parallel tables indexed by kind: function id (-1 none) and owned name (null none). They
// grow to kind + 1000 entries when a kind beyond them is stored.
std::vector<int32_t> g_ids;
std::vector<char*> g_names;

} // namespace

void GR_Transition_Store(int32_t kind, const char* name, int32_t functionId)
{
    if (kind <= 0 || kind >= 1000000) return;
    if ((size_t)kind >= g_ids.size()) {
        g_ids.resize((size_t)kind + 1000, -1);
        g_names.resize((size_t)kind + 1000, nullptr);
    }
    g_ids[(size_t)kind] = functionId;
    MEM_FREE(g_names[(size_t)kind]);
    g_names[(size_t)kind] = name ? MEM_STRDUP(name) : nullptr;
}

bool GR_Transition_Define(int32_t kind, const char* name)
{
    int32_t id = -1;
    if (!name || !Code_Function_Find(name, &id)) return false;
    GR_Transition_Store(kind, name, id);
    return true;
}

bool TransFunctionExists(int32_t kind)
{
    if (kind >= 1 && kind <= 21) return true;
    Console_Debug()->Output("TransFunctionExists()\n");
    return false;
}

void GR_Transition_SetSteps(int32_t n) { Run_SetTransitionSteps(n); }
int32_t GR_Transition_GetSteps() { return Run_State().transitionSteps; }

int32_t GR_Transition_FunctionId(int32_t kind)
{
    return kind >= 0 && (size_t)kind < g_ids.size() ? g_ids[(size_t)kind] : -1;
}

const char* GR_Transition_FunctionName(int32_t kind)
{
    return kind >= 0 && (size_t)kind < g_names.size() ? g_names[(size_t)kind] : nullptr;
}

void GR_Transition_Reset()
{
    for (char* n : g_names) MEM_FREE(n);
    g_names.clear();
    g_names.shrink_to_fit();
    g_ids.clear();
    g_ids.shrink_to_fit();
    Run_State().transitionSteps = 80;
}

namespace {

using namespace zbargs;

ZB_BUILTIN(F_TransitionDefine)
{
    ArgAsText name(args, 1);
    SetReal(result, GR_Transition_Define(NumRound(args, 0), name.text) ? 1 : 0);
}

ZB_BUILTIN(F_TransitionExists) { SetReal(result, TransFunctionExists(NumRound(args, 0)) ? 1 : 0); }

const Row kRows[] = {
    {"transition_define", F_TransitionDefine, 2},
    {"transition_exists", F_TransitionExists, 1},
};

} // namespace

void GR_Transition_RegisterBuiltins() { Register(kRows); }
