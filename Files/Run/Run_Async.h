// Delivery of asynchronous results: once per step, in the asynchronous phase (after the
// outside and boundary events, before the collisions), every finished request of the request
// list (Files/HTTP/HTTP.h) builds its result map, which scripts read as async_load while
// the matching "other" event runs on every instance that has it; then the map and the
// request are destroyed.
//
// Event numbers (ORDER: the "other" subtypes games use): 60 image loaded, 61 sound loaded,
// 62 HTTP, 63 dialog, 64, 66 in-app purchase, 67 cloud, 68 networking, 69 Steam. Only 60-64,
// 67 and 69 are fired here; a request answering 66 or 68 is consumed without an event.
//
// Main thread only. Needs the request list, the data-structure maps, objects, events and the
// run state (async_load). No Linux/ file.
#pragma once

#include <cstdint>

// The asynchronous phase of the step: the online services' purchase events and queued
// callbacks (Files/Networking/OnlineServices.h), then reaps the worker threads and delivers
// each finished request (in list order from the head, the walk starting again after each
// delivery).
void Async_ProcessRequests();
// Performs other event n on every live instance of every object that has it (self = other =
// the instance); nothing for a number outside 60-64, 67, 69.
void Async_FireEvent(int32_t n);
