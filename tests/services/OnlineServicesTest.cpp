// The online services: their 52 constants in order, the queues the step services, purchase
// events delivered as event 66, the pause event, the virtual-key built-ins, Steam with and
// without its client library, and where the step calls them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/DLL/DLL.h"
#include "Files/DS/DS_Map.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/Graphics_API/Graphics_Host.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/IO/IO_VirtualButton.h"
#include "Files/Networking/Network_Builtins.h"
#include "Files/Networking/OnlineServices.h"
#include "Files/Networking/Steam.h"
#include "Files/Object/Event.h"
#include "Files/Run/Run_Main.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Runner/Runner_Wiring.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/File.h"
#include "Files/Support/GameHeader.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"
#include "services/ServicesSupport.h"
#include "support/CaptureConsole.h"

namespace {

struct Expected {
    const char* name;
    double value;
};
// The order and values the game sees.
const Expected kOnline[52] = {
    {"os_unknown", -1},          {"os_win32", 0},           {"os_windows", 0},           {"os_macosx", 1},
    {"os_psp", 2},               {"os_ios", 3},             {"os_android", 4},           {"os_symbian", 5},
    {"os_linux", 6},             {"os_winphone", 7},        {"os_tizen", 8},             {"os_win8native", 9},
    {"os_llvm_win32", 65536},    {"os_llvm_macosx", 65537}, {"os_llvm_psp", 65538},      {"os_llvm_ios", 65539},
    {"os_llvm_android", 65540},  {"os_llvm_symbian", 65541}, {"os_llvm_linux", 65542},   {"os_llvm_winphone", 65543},
    {"device_ios_unknown", -1},  {"device_ios_iphone", 0},  {"device_ios_iphone_retina", 1}, {"device_ios_ipad", 2},
    {"device_ios_ipad_retina", 3}, {"device_ios_iphone5", 4}, {"device_emulator", 256},  {"device_tablet", 2},
    {"browser_not_a_browser", -1}, {"browser_unknown", 0},  {"browser_ie", 1},           {"browser_firefox", 2},
    {"browser_chrome", 3},       {"browser_safari", 4},     {"browser_safari_mobile", 5}, {"browser_opera", 6},
    {"browser_windows_store", 8}, {"of_challenge_win", 0},  {"of_challenge_lose", 1},    {"of_challenge_tie", 2},
    {"leaderboard_type_number", 0}, {"leaderboard_type_time_mins_secs", 1}, {"asset_unknown", -1}, {"asset_object", 0},
    {"asset_sprite", 1},         {"asset_sound", 2},        {"asset_room", 3},           {"asset_background", 4},
    {"asset_path", 5},           {"asset_script", 6},       {"asset_font", 7},           {"asset_timeline", 8},
};

int g_ran = 0;
void Count(void*) { ++g_ran; }
void Requeue(void*)
{
    ++g_ran;
    OnlineServices_QueueStep(Requeue, nullptr);
}

} // namespace

// =============================================================================================
// Constants
// =============================================================================================

TEST(OnlineConstants, TheFiftyTwoComeLastInTheirOrder)
{
    Runner_InitConstants();
    const int32_t count = Code_Constant_Count();
    ASSERT_GE(count, 52);
    for (int32_t k = 0; k < 52; ++k) {
        const int32_t at = count - 52 + k;
        EXPECT_STREQ(Code_Constant_NameAt(at), kOnline[k].name) << k;
        EXPECT_EQ(Code_Constant_ValueAt(at)->real, kOnline[k].value) << kOnline[k].name;
        EXPECT_EQ(Code_Constant_ValueAt(at)->kind, VALUE_REAL);
    }
    EXPECT_STREQ(Code_Constant_NameAt(count - 53), "lb_disp_time_ms") << "after every other built-in constant";
    EXPECT_EQ(Code_Constant_Find("OS_LINUX")->real, 6.0);
}

// =============================================================================================
// Queues, purchases and the pause event
// =============================================================================================

TEST(OnlineQueues, EachDrainRunsWhatWasQueuedBeforeIt)
{
    OnlineServices_Init();
    g_ran = 0;
    OnlineServices_QueueStep(Count, nullptr);
    OnlineServices_QueueStep(Requeue, nullptr);
    OnlineServices_QueueCallback(Count, nullptr);
    EXPECT_EQ(OnlineServices_PendingCount(), 3);
    OnlineServices_Step();
    EXPECT_EQ(g_ran, 2);
    EXPECT_EQ(OnlineServices_PendingCount(), 2) << "the requeued task and the callback wait";
    OnlineServices_RunQueuedCallbacks();
    EXPECT_EQ(g_ran, 3);
    OnlineServices_Step();
    EXPECT_EQ(g_ran, 4);
    Services_Shutdown();
    EXPECT_EQ(OnlineServices_PendingCount(), 0);
    OnlineServices_Step();
    EXPECT_EQ(g_ran, 4);
}

TEST(OnlineQueues, ThePauseEventFromTheWindowIsKept)
{
    OnlineServices_Init();
    EXPECT_FALSE(OS_TakePauseEvent());
    CaptureConsole log;
    GR_Window_Proc(WMSG_ACTIVATE, 0, 0); // deactivated, no other window named
    EXPECT_TRUE(OS_TakePauseEvent());
    EXPECT_FALSE(OS_TakePauseEvent()) << "taken once";
    OS_RaisePauseEvent();
    EXPECT_TRUE(log.Has("OS has raised a pause event\n"));
    EXPECT_TRUE(OS_TakePauseEvent());
    OS_SetAllowedOrientations(true, false, true, false);
}

class OnlineWorld : public ServicesWorldTest {};

TEST_F(OnlineWorld, PurchasesReachEvent66AndTheStepServicesTheQueues)
{
    const int32_t shop = Obj("shop");
    ASSERT_TRUE(Ev(shop, EVENT_OTHER, 66, "test_log('iap', async_load);"));
    ASSERT_TRUE(Ev(shop, EVENT_STEP, 0, "test_log('step', async_load);"));
    const int32_t r = Room(1000000);
    Place(r, shop, 0, 0);
    Start();
    OnlineServices_Init();
    const int32_t map = DS_Map_CreateFromPairs(0);
    ASSERT_GE(map, 0);
    IAP_QueueEvent(map);
    g_ran = 0;
    OnlineServices_QueueStep(Count, nullptr);
    OnlineServices_QueueCallback(Count, nullptr);
    Frames(1);
    EXPECT_EQ(g_ran, 2) << "the step ran both queues";
    EXPECT_EQ(LogText(), "step:-1 iap:" + std::to_string(map)) << "purchases come in the asynchronous phase";
    EXPECT_EQ(DS_Map_Data(map), nullptr) << "destroyed after its event";
    EXPECT_EQ(Run_State().asyncLoad, -1);
    // A map destroyed before its delivery is not delivered; one queued at shutdown is freed.
    g_Log.clear();
    const int32_t gone = DS_Map_CreateFromPairs(0);
    IAP_QueueEvent(gone);
    DS_Map_Destroy(gone);
    IAP_QueueEvent(-5);
    Frames(1);
    EXPECT_EQ(LogText(), "step:-1");
    const int32_t late = DS_Map_CreateFromPairs(0);
    IAP_QueueEvent(late);
    Services_Shutdown();
    EXPECT_EQ(DS_Map_Data(late), nullptr);
}

// =============================================================================================
// Virtual keys
// =============================================================================================

class VirtualKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        static bool once = false;
        if (!once) {
            once = true;
            InitFunctions_Kovrin();
        }
        for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) IO_VirtualButton_Delete(i);
        Code_Error_Reset();
        Code_Error_SetShowErrors(false);
    }
    void TearDown() override
    {
        for (int32_t i = 0; i < IO_VIRTUAL_BUTTONS; ++i) IO_VirtualButton_Delete(i);
    }
    // The message of the last report (the report wraps it in the event's frame).
    static std::string Last()
    {
        const std::string shown = Code_Error_LastShown() ? Code_Error_LastShown() : "";
        for (const char* m : {"Illegal argument count", "Illegal argument type", "Illegal virtual key handle"})
            if (shown.find(m) != std::string::npos) return m;
        return shown;
    }
};

TEST_F(VirtualKeys, AddFillsAFreeRecordAndAnswersItsHandle)
{
    Val h = Builtin_Call("virtual_key_add", {10, 20.5, 30, 41.5,
                                                    65});
    EXPECT_EQ(h.Real(), 1.0);
    const IO_VirtualButton* b = IO_VirtualButton_Get(0);
    EXPECT_EQ(b->flags, IO_VBUTTON_IN_USE) << "in use, not shown";
    EXPECT_EQ(b->x, 10);
    EXPECT_EQ(b->y, 20) << "halves to even";
    EXPECT_EQ(b->w, 30);
    EXPECT_EQ(b->h, 42);
    EXPECT_EQ(b->right, 40);
    EXPECT_EQ(b->bottom, 62);
    EXPECT_EQ(b->key, 65);
    EXPECT_EQ(b->mouseButton, 0);
    EXPECT_EQ(Builtin_Call("virtual_key_add", {0, 0, 1, 1, 66}).Real(),
              2.0);
    EXPECT_EQ(Builtin_Call("virtual_key_show", {2}).Real(), 0.0);
    EXPECT_EQ(IO_VirtualButton_Get(1)->flags, IO_VBUTTON_IN_USE | IO_VBUTTON_SHOWN);
    Builtin_Call("virtual_key_hide", {2});
    EXPECT_EQ(IO_VirtualButton_Get(1)->flags, IO_VBUTTON_IN_USE);
    Builtin_Call("virtual_key_delete", {1});
    EXPECT_EQ(IO_VirtualButton_Get(0)->flags, 0);
    EXPECT_EQ(Builtin_Call("virtual_key_add", {5, 5, 5, 5, 9}).Real(),
              1.0)
        << "the freed record is taken again";
    // Sums past the 32-bit range wrap instead of overflowing.
    Builtin_Call("virtual_key_add", {2147483647, 0, 10, 1, 1});
    EXPECT_EQ(IO_VirtualButton_Get(2)->right, -2147483639);
}

TEST_F(VirtualKeys, BadCallsAreReportedAndChangeNothing)
{
    EXPECT_EQ(Builtin_Call("virtual_key_add", {1, 2}).Real(), 0.0);
    EXPECT_EQ(Last(), "Illegal argument count");
    EXPECT_EQ(Builtin_Call("virtual_key_add", {1, "x", 1, 1, 1}).Real(), 0.0);
    EXPECT_EQ(Last(), "Illegal argument type");
    EXPECT_EQ(IO_VirtualButton_FindFree(), IO_VirtualButton_Get(0));
    for (double bad : {0.0, -3.0, 129.0, 1e12}) {
        Code_Error_SetLastShown(nullptr);
        Builtin_Call("virtual_key_show", {bad});
        EXPECT_EQ(Last(), "Illegal virtual key handle") << bad;
        Code_Error_SetLastShown(nullptr);
        Builtin_Call("virtual_key_delete", {bad});
        EXPECT_EQ(Last(), "Illegal virtual key handle") << bad;
        Code_Error_SetLastShown(nullptr);
        Builtin_Call("virtual_key_hide", {bad});
        EXPECT_EQ(Last(), "Illegal virtual key handle") << bad;
    }
    // All 128 in use: the next add answers 0.
    for (int k = 0; k < IO_VIRTUAL_BUTTONS; ++k)
        EXPECT_EQ(Builtin_Call("virtual_key_add", {0, 0, 1, 1, 1}).Real(),
                  k + 1.0);
    EXPECT_EQ(Builtin_Call("virtual_key_add", {0, 0, 1, 1, 1}).Real(),
              0.0);
    Builtin_Call("virtual_key_delete", {128});
    EXPECT_EQ(IO_VirtualButton_FindFree(), IO_VirtualButton_Get(127));
}

// =============================================================================================
// Steam
// =============================================================================================

class SteamStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_steam = g_StartupOptions.steam;
        g_StartupOptions.steam = 1;
        g_GameHeader.steamAppId = 0;
    }
    void TearDown() override
    {
        Steam_Shutdown();
        Steam_SetLibraryName(nullptr);
        g_StartupOptions.steam = m_steam;
        g_GameHeader.steamAppId = 0;
    }
    static std::string Lib(const char* name) { return std::string(ZB_TESTEXT_DIR) + "/" + name; }
    uint8_t m_steam = 0;
};

TEST_F(SteamStart, WithoutTheClientLibrarySteamStaysOff)
{
    CaptureConsole log;
    Steam_SetLibraryName(Lib("libnot_here.so").c_str());
    EXPECT_FALSE(Steam_Init());
    EXPECT_FALSE(Steam_Started());
    EXPECT_TRUE(log.Has("Steam: the Steam client library (")) << log.text;
    Steam_RunCallbacks();
    Steam_Shutdown();
    EXPECT_FALSE(log.Has("Steam_Shutdown")) << "nothing was started";
    // A library without the entry points is no Steam either.
    Steam_SetLibraryName(Lib("libnosteam.so").c_str());
    EXPECT_FALSE(Steam_Init());
    EXPECT_TRUE(log.Has("lacks the Steam API; Steam is off")) << log.text;
    // Not asked for: nothing is tried.
    g_StartupOptions.steam = 0;
    CaptureConsole quiet;
    EXPECT_FALSE(Steam_Init());
    EXPECT_EQ(quiet.text, "");
}

TEST_F(SteamStart, WithALibrarySteamRunsAndShutsDownOnce)
{
    const std::string lib = Lib("libfakesteam.so");
    void* fake = DLLM_Open(lib.c_str());
    ASSERT_NE(fake, nullptr);
    auto count = reinterpret_cast<int (*)(int)>(DLLM_Symbol(fake, "FakeSteam_Count"));
    auto reset = reinterpret_cast<void (*)(bool)>(DLLM_Symbol(fake, "FakeSteam_Reset"));
    ASSERT_TRUE(count && reset);
    reset(true);
    Steam_SetLibraryName(lib.c_str());
    // The game's application id goes into the program folder first.
    const std::string folder = std::string(ZB_TESTEXT_DIR) + "/";
    const std::string program = LoadSave_ProgramFolder(), save = LoadSave_SaveArea(),
                      working = LoadSave_WorkingFolder();
    LoadSave_SetFolders(folder.c_str(), save.c_str(), working.c_str());
    g_GameHeader.steamAppId = 480;
    std::remove((folder + "steam_appid.txt").c_str());
    ASSERT_TRUE(Steam_Init());
    LoadSave_SetFolders(program.c_str(), save.c_str(), working.c_str());
    EXPECT_TRUE(Steam_Started());
    EXPECT_TRUE(Steam_Init()) << "already started";
    EXPECT_EQ(count(0), 1);
    int32_t size = 0;
    uint8_t* text = File_ReadAll((folder + "steam_appid.txt").c_str(), &size);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), size_t(size)), "480");
    MEM_FREE(text);
    Steam_RunCallbacks();
    Steam_RunCallbacks();
    EXPECT_EQ(count(1), 2);
    CaptureConsole log;
    Steam_Shutdown();
    Steam_Shutdown();
    EXPECT_EQ(log.text, "Steam_Shutdown\n");
    EXPECT_EQ(count(2), 1);
    Steam_RunCallbacks();
    EXPECT_EQ(count(1), 2);
    // The library's own start-up may refuse.
    reset(false);
    CaptureConsole refused;
    EXPECT_FALSE(Steam_Init());
    EXPECT_TRUE(refused.Has("SteamAPI_Init failed"));
    DLLM_Close(fake);
}
