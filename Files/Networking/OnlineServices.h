// The maker's online services as the rest of the runner meets them: their 52 built-in
// constants, the queues the step services (work for the step's input phase, callbacks for the
// asynchronous phase, in-app purchase events delivered as "other" event 66), the system's pause
// event and the screen orientations (nothing on this platform), and their shutdown.
//
// No service on this platform produces work, callbacks or purchase events by itself; the
// queues take what the services' built-ins queue. Each drain runs what was queued before it
// began (work queued meanwhile waits for the next drain), so a task that queues itself cannot
// hold the step.
//
// Main thread only. Needs the constant table, the window's hooks (the pause event), the
// data-structure maps, objects, events and the run state (async_load). No Linux/ file.
#pragma once

#include <cstdint>

using OnlineTask = void (*)(void* user);

// Its start: the queues emptied, the window's pause-event hook installed.
void OnlineServices_Init();
// OnlineServices_Init, then the 52 constants (os_*, device_*, browser_*, of_challenge_*,
// leaderboard_type_*, asset_*) in their order; the constant table's built-ins call it last.
void OnlineServices_RegisterConstants();

// ---- Queues ----------------------------------------------------------------------------------
// Work for the next OnlineServices_Step (the step's input phase).
void OnlineServices_QueueStep(OnlineTask task, void* user);
void OnlineServices_Step();
// Callbacks for the next OnlineServices_RunQueuedCallbacks (the asynchronous phase).
void OnlineServices_QueueCallback(OnlineTask task, void* user);
void OnlineServices_RunQueuedCallbacks();
// A purchase result: the map (its index) is delivered by the next IAP_ProcessEvents as
// async_load to every instance with "other" event 66, then destroyed (unless the event
// destroyed it or its slot was reused).
void IAP_QueueEvent(int32_t map);
void IAP_ProcessEvents();
int32_t OnlineServices_PendingCount(); // work, callbacks and purchase events waiting

// ---- The system ------------------------------------------------------------------------------
// Traces "OS has raised a pause event\n" and sets the pause-event flag.
void OS_RaisePauseEvent();
// Answers the flag and clears it.
bool OS_TakePauseEvent();
// Allowed screen orientations: nothing on this platform.
void OS_SetAllowedOrientations(bool landscape, bool portrait, bool landscapeFlipped, bool portraitFlipped);

// Drops every queued task and purchase event (their maps destroyed); the flag cleared.
void Services_Shutdown();
