// The remote-debug interface: an external debugger talks to the running game over a
// connection accepted by a debugger server of the socket layer (Files/Networking/Network.h,
// which splits its bytes into packets {0xBE11C0DE, 44, command, ...}). It asks for the
// game's status and a description of its byte code, objects, scripts and names, pauses and
// resumes the game, single-steps, sets breakpoints and has expressions evaluated.
//
// Dormant unless a debugger server exists. The runner makes one only when asked: the
// environment variable ZIMBREL_DEBUG_PORT names a port (0: one the system picks, logged as
// "Remote debugger listening on port %d"); the server listens on the loopback interface only.
//
// Addresses on the wire are the machine's stable 32-bit code addresses (Files/Code/VM_Debug.h),
// never host pointers; a breakpoint is accepted only at an instruction start of a known unit.
// Strings are named by their index in the string table (the table itself is 0).
//
// A breakpoint or a step stop pauses the game where the code stands: until the debugger runs
// or steps it again (or goes away, or the run is ending), the debugger is served and the
// window's events are pumped while the machine waits.
//
// Main thread only. Needs the socket layer, the buffers, the machine's debugger support, the
// code, object, script, function and variable tables, the run state (paused), the timer.
#pragma once

#include <cstdint>

class NetSocket;
class NetServer;

// Tags on the wire (their bytes read from the most significant down spell the tag).
constexpr uint32_t DEBUGNET_TAG_VERSION = 0x5645525Fu; // "VER_"
constexpr uint32_t DEBUGNET_TAG_CODE = 0x434F4445u;    // "CODE"
constexpr uint32_t DEBUGNET_TAG_OBJECTS = 0x4F424A5Fu; // "OBJ_"
constexpr uint32_t DEBUGNET_TAG_SCRIPTS = 0x53435254u; // "SCRT"
constexpr uint32_t DEBUGNET_TAG_NAMES = 0x46554E43u;   // "FUNC"

// The start-up step "Debug Init Remote Interface": installs the handlers in the socket layer
// and makes the debugger server when ZIMBREL_DEBUG_PORT asks for one.
void Debug_InitRemoteInterface();
// A debugger server on the loopback interface (port 0: one the system picks); its port, or
// -1 when it cannot listen. A server made before is closed first.
int32_t DebugNet_CreateServer(int32_t port);
NetServer* DebugNet_Server();
// Closes the server and its connections (shutdown, tests).
void DebugNet_Shutdown();

// The command handlers (the socket layer's splitter calls them through NetDebugHandlers).
void DebugNet_SendStatus(NetSocket* connection);
void DebugNet_SendGameInfo(NetSocket* connection);
void DebugNet_SetPaused(bool paused);
void DebugNet_Step(bool over);
void DebugNet_SetBreakpoint(uint32_t address, bool on);
void DebugNet_EvaluateWatches(NetSocket* connection, const uint8_t* packet, uint32_t length);
// Installs the handlers above (null: none).
void DebugNet_InstallHandlers(bool on);

// Once a frame: the breakpoints taken out, the server served, the breakpoints put back.
void DebugNet_Poll();
// While the machine stands at a break: what a frame would serve besides the debugger (the
// debug form's window); null: nothing.
void DebugNet_SetIdleHook(void (*idle)());
// Stops taken (breakpoints and steps) while a debugger was connected.
int32_t DebugNet_StopCount();
