// The online services' constants, queues, purchase events and system hooks
// (Files/Networking/OnlineServices.h).
#include "Files/Networking/OnlineServices.h"

#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Constant.h"
#include "Files/DS/DS_Map.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Object.h"
#include "Files/Run/Run_Main.h"

namespace {

struct Task {
    OnlineTask task;
    void* user;
};

std::vector<Task> g_step, g_callbacks;
struct Purchase {
    int32_t map;
    uint64_t serial; // the map's, when queued
};
std::vector<Purchase> g_purchases;
bool g_pauseEvent = false;

// The 52 constants. ORDER: as registered (scripts see these values).
struct NamedValue {
    const char* name;
    double value;
};
constexpr NamedValue kConstants[] = {
    {"os_unknown", -1},          {"os_win32", 0},
    {"os_windows", 0},           {"os_macosx", 1},
    {"os_psp", 2},               {"os_ios", 3},
    {"os_android", 4},           {"os_symbian", 5},
    {"os_linux", 6},             {"os_winphone", 7},
    {"os_tizen", 8},             {"os_win8native", 9},
    {"os_llvm_win32", 65536},    {"os_llvm_macosx", 65537},
    {"os_llvm_psp", 65538},      {"os_llvm_ios", 65539},
    {"os_llvm_android", 65540},  {"os_llvm_symbian", 65541},
    {"os_llvm_linux", 65542},    {"os_llvm_winphone", 65543},
    {"device_ios_unknown", -1},  {"device_ios_iphone", 0},
    {"device_ios_iphone_retina", 1}, {"device_ios_ipad", 2},
    {"device_ios_ipad_retina", 3}, {"device_ios_iphone5", 4},
    {"device_emulator", 256},    {"device_tablet", 2},
    {"browser_not_a_browser", -1}, {"browser_unknown", 0},
    {"browser_ie", 1},           {"browser_firefox", 2},
    {"browser_chrome", 3},       {"browser_safari", 4},
    {"browser_safari_mobile", 5}, {"browser_opera", 6},
    {"browser_windows_store", 8}, {"of_challenge_win", 0},
    {"of_challenge_lose", 1},    {"of_challenge_tie", 2},
    {"leaderboard_type_number", 0}, {"leaderboard_type_time_mins_secs", 1},
    {"asset_unknown", -1},       {"asset_object", 0},
    {"asset_sprite", 1},         {"asset_sound", 2},
    {"asset_room", 3},           {"asset_background", 4},
    {"asset_path", 5},           {"asset_script", 6},
    {"asset_font", 7},           {"asset_timeline", 8},
};
static_assert(sizeof kConstants / sizeof kConstants[0] == 52);

// Runs the tasks queued before the drain began.
void Drain(std::vector<Task>& queue)
{
    std::vector<Task> now;
    now.swap(queue);
    for (const Task& t : now)
        if (t.task) t.task(t.user);
}

// Other event 66 on every live instance that has it, with async_load = map.
void DeliverPurchase(const Purchase& p)
{
    if (p.serial == 0 || DS_Map_Serial(p.map) != p.serial) return; // no map, or it went before its delivery
    RunState& st = Run_State();
    st.asyncLoad = p.map;
    const std::vector<int32_t> objects = Object_Lists_Get(EVENT_OTHER, 66); // a copy: the events may rebuild the lists
    const uint64_t stamp = Run_NextEventStamp();
    for (int32_t index : objects) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        for (ObjectInstanceNode* node = o->m_instances.GetHead(); node;) {
            ObjectInstanceNode* next = node->next;
            CInstance* i = node->value;
            if (i->IsLive() && i->m_creationStamp <= stamp) PerformEvent(i, i, i->i_objindex, EVENT_OTHER, 66);
            node = next;
        }
    }
    st.asyncLoad = -1;
    DS_Map_DestroyDelivered(p.map, p.serial);
}

} // namespace

void OnlineServices_Init()
{
    g_step.clear();
    g_callbacks.clear();
    g_purchases.clear();
    g_pauseEvent = false;
    // The window traces the event itself; the flag is the services' part.
    GR_Hooks().pauseEvent = [] { g_pauseEvent = true; };
}

void OnlineServices_RegisterConstants()
{
    OnlineServices_Init();
    for (const NamedValue& c : kConstants) Code_Constant_AddReal(c.name, c.value);
}

void OnlineServices_QueueStep(OnlineTask task, void* user) { g_step.push_back(Task{task, user}); }
void OnlineServices_Step() { Drain(g_step); }
void OnlineServices_QueueCallback(OnlineTask task, void* user) { g_callbacks.push_back(Task{task, user}); }
void OnlineServices_RunQueuedCallbacks() { Drain(g_callbacks); }
void IAP_QueueEvent(int32_t map) { g_purchases.push_back(Purchase{map, DS_Map_Serial(map)}); }

void IAP_ProcessEvents()
{
    std::vector<Purchase> now;
    now.swap(g_purchases);
    for (const Purchase& p : now) DeliverPurchase(p);
}

int32_t OnlineServices_PendingCount() { return int32_t(g_step.size() + g_callbacks.size() + g_purchases.size()); }

void OS_RaisePauseEvent()
{
    Console_Output("OS has raised a pause event\n");
    g_pauseEvent = true;
}

bool OS_TakePauseEvent()
{
    const bool raised = g_pauseEvent;
    g_pauseEvent = false;
    return raised;
}

void OS_SetAllowedOrientations(bool, bool, bool, bool) {}

void Services_Shutdown()
{
    g_step.clear();
    g_callbacks.clear();
    for (const Purchase& p : g_purchases) DS_Map_DestroyDelivered(p.map, p.serial);
    g_purchases.clear();
    g_pauseEvent = false;
}
