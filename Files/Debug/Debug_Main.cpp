// Start-up, wiring and shutdown of the high-score table and the debugging aids
// (Files/Debug/Debug_Main.h).
#include "Files/Debug/Debug_Main.h"

#include "Files/Debug/Debug_Eval.h"
#include "Files/Debug/Debug_Form.h"
#include "Files/Debug/Debug_FormView.h"
#include "Files/Debug/Debug_Net.h"
#include "Files/Debug/Debug_Overlay.h"
#include "Files/Debug/Dialog_Host.h"
#include "Files/Debug/Score.h"
#include "Files/Graphics_API/Graphics_Hooks.h"
#include "Files/World/World_Hooks.h"

void HighScore_Clear() { Score_Clear(); }
void HighScore_Load() { Score_Load(); }
void HighScore_SaveIfChanged() { Score_SaveIfChanged(); }

void Debug_InstallHooks(WorldHooks& h)
{
    GR_HookTable& g = GR_Hooks();
    g.profilerReset = Profiler_Reset;
    g.overlayDrawFrame = Overlay_DrawFrame;
    g.fpsStatsPrint = FpsStats_Print;
    h.profilerBegin = Profiler_Begin;
    h.profilerEnd = Profiler_End;
    h.debugFormExists = DebugForm_Exists;
    h.debugFormCreate = DebugForm_Create;
    h.debugFormUpdate = DebugForm_Update;
    h.debugFormEnd = DebugForm_End;
    h.debugFormShow = DebugForm_ShowWindow;
    h.debugFramePoll = Debug_FramePoll;
    DebugNet_SetIdleHook(DebugFormView_Frame);
}

void Debug_FramePoll()
{
    DebugNet_Poll();
    DebugFormView_Frame();
    Dialogs_Frame();
}

void Debug_Reset()
{
    DebugForm_Reset();
    DebugNet_Shutdown();
    Overlay_Reset();
    Debug_FreeScratch();
}

void Debug_Shutdown()
{
    DebugFormView_Shutdown();
    DebugForm_Reset();
    DebugNet_Shutdown();
    Debug_FreeScratch();
}
