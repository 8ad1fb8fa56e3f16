// The remote-debug interface (Files/Debug/Debug_Net.h).
//
// [SECTION] State and replies
// [SECTION] Status and game info
// [SECTION] Pause, steps, breakpoints
// [SECTION] Evaluation
// [SECTION] Server, poll and stops
#include "Files/Debug/Debug_Net.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Debug/Debug_Eval.h"
#include "Files/Networking/Network.h"
#include "Files/Object/Event.h"
#include "Files/Object/Object.h"
#include "Files/Run/Run_Main.h"
#include "Files/Script/Script_Main.h"
#include "Files/Support/Timing.h"

// =============================================================================================
// [SECTION] State and replies
// =============================================================================================
namespace {

struct DebuggerState {
    NetServer* server = nullptr; // owned; not in a socket slot
    bool serving = false;        // inside the server's poll (handlers may run)
    bool stopped = false;        // the machine waits at a break
    int32_t stops = 0;
};
DebuggerState g_dbg;
void (*g_idle)() = nullptr;

void U32(IBuffer* b, uint32_t v) { Buffer_WriteNumber(b, eBuffer_U32, double(v)); }
void U8(IBuffer* b, uint32_t v) { Buffer_WriteNumber(b, eBuffer_U8, double(v & 0xFF)); }
void Text(IBuffer* b, const char* t) { Buffer_WriteLengthString(b, t ? t : ""); }

// Writes a u32 at a position written before, then returns to the end.
void PatchU32(IBuffer* b, int32_t at, uint32_t v)
{
    const int32_t end = b->Tell();
    b->Seek(eSeek_Start, at);
    U32(b, v);
    b->Seek(eSeek_Start, end);
}

void Bytes(IBuffer* b, const uint8_t* p, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) U8(b, p[i]);
}

// Sends the reply buffer's bytes whole: a full socket is waited for (up to two seconds, and
// not past the run's quit), a failed one closes the connection.
void SendReply(NetSocket* c)
{
    const uint8_t* data = c->m_pBuffer->Data();
    const int32_t total = c->m_pBuffer->Tell();
    int32_t sent = 0, waits = 0;
    while (sent < total) {
        const int32_t n = c->Send(data + sent, total - sent);
        if (n < 0) break;
        if (n == 0) {
            if (++waits > 2000 || !QuitWait_Sleep(1000)) break; // the run's quit: as when the time is up
            continue;
        }
        sent += n;
    }
    if (sent < total && c->m_pServer) {
        Console_Output("Remote debugger: a reply could not be sent; the connection is closed\n");
        c->m_pServer->CloseConnection(c);
    }
}

uint32_t AddressOf(const CCode* code)
{
    if (!code || !code->m_pCode) return 0;
    VM_RegisterUnit(code->m_pCode); // gives the unit its address once
    return code->m_pCode->m_address;
}

} // namespace

// =============================================================================================
// [SECTION] Status and game info
// =============================================================================================
void DebugNet_SendStatus(NetSocket* connection)
{
    if (!connection || !connection->m_pBuffer) return;
    IBuffer* b = connection->m_pBuffer;
    b->Seek(eSeek_Start, 0);
    const bool paused = Run_State().paused != 0;
    U32(b, NET_DEBUG_MAGIC);
    U32(b, NET_DEBUG_HEADER_SIZE);
    U32(b, paused ? 1u : 0u);
    if (paused) VM_WriteDebugState(b);
    SendReply(connection);
}

namespace {

void WriteCodeBlock(IBuffer* b)
{
    U32(b, DEBUGNET_TAG_CODE);
    U32(b, uint32_t(Code_List_Count()));
    for (CCode* c = Code_List_Head(); c; c = c->m_pNext) {
        U32(b, uint32_t(c->m_index));
        Text(b, c->GetName());
        const VMBuffer* code = c->m_pCode;
        const int32_t n = code ? code->m_size : 0;
        U32(b, uint32_t(n));
        if (n > 0) Bytes(b, code->m_pData, n);
        for (int32_t pad = (4 - (n & 3)) & 3; pad > 0; --pad) U8(b, 0);
    }
}

void WriteObjectBlock(IBuffer* b)
{
    U32(b, DEBUGNET_TAG_OBJECTS);
    const int32_t countAt = b->Tell();
    U32(b, 0);
    uint32_t count = 0;
    Object_ForEach([&](CObject* o) {
        ++count;
        U32(b, uint32_t(o->m_index));
        U32(b, o->m_flags & 7u);
        U32(b, uint32_t(o->m_spriteIndex));
        U32(b, uint32_t(o->m_maskIndex));
        U32(b, uint32_t(o->m_depth));
        U32(b, uint32_t(o->m_parentIndex));
        Text(b, o->GetName());
        for (int32_t type = 0; type <= 10; ++type) {
            const CObject::EventList& list = o->m_events[type];
            uint32_t present = 0;
            for (int32_t n = 0; n < list.count; ++n) present += list.events[n] && list.events[n]->m_pCode ? 1 : 0;
            U32(b, present);
            for (int32_t n = 0; n < list.count; ++n) {
                const CEvent* e = list.events[n];
                if (!e || !e->m_pCode) continue;
                U32(b, uint32_t(n));
                U32(b, uint32_t(e->m_pCode->m_index));
                U32(b, AddressOf(e->m_pCode));
                Text(b, e->m_pCode->GetName());
            }
        }
    });
    PatchU32(b, countAt, count);
}

void WriteScriptBlock(IBuffer* b)
{
    U32(b, DEBUGNET_TAG_SCRIPTS);
    const int32_t countAt = b->Tell();
    U32(b, 0);
    uint32_t count = 0;
    for (int32_t i = 0; i < Script_Count(); ++i) {
        CScript* s = Script_Data(i);
        if (!s || s->m_codeIndex < 0) continue;
        ++count;
        U32(b, uint32_t(s->m_codeIndex));
        U32(b, AddressOf(s->GetCode()));
        Text(b, Script_GetName(i));
    }
    PatchU32(b, countAt, count);
}

void WriteNameBlock(IBuffer* b)
{
    U32(b, DEBUGNET_TAG_NAMES);
    const int32_t functions = Function_Count();
    U32(b, uint32_t(functions));
    for (int32_t i = 0; i < functions; ++i) Text(b, Function_GetName(i));
    const int32_t builtins = Variable_BuiltIn_Count();
    U32(b, uint32_t(builtins));
    for (int32_t i = 0; i < builtins; ++i) Text(b, Variable_BuiltIn_GetName(i));
    const int32_t users = Code_Variable_Count();
    U32(b, uint32_t(users));
    for (int32_t i = 0; i < users; ++i) {
        U32(b, uint32_t(VARIABLE_USER_BASE + i));
        Text(b, Code_Variable_GetUserName(VARIABLE_USER_BASE + i));
    }
    const int32_t strings = VM_StringTable_Count();
    U32(b, 0); // the string table's id
    U32(b, uint32_t(strings));
    for (int32_t i = 0; i < strings; ++i) {
        U32(b, uint32_t(i)); // a string's id: its index
        Text(b, VM_StringTable_Get(i));
    }
}

} // namespace

void DebugNet_SendGameInfo(NetSocket* connection)
{
    if (!connection || !connection->m_pBuffer) return;
    IBuffer* b = connection->m_pBuffer;
    b->Seek(eSeek_Start, 0);
    U32(b, NET_DEBUG_MAGIC);
    U32(b, NET_DEBUG_HEADER_SIZE);
    U32(b, NET_DEBUG_GAME_INFO);
    U32(b, DEBUGNET_TAG_VERSION);
    U32(b, 1);
    WriteCodeBlock(b);
    WriteObjectBlock(b);
    WriteScriptBlock(b);
    WriteNameBlock(b);
    SendReply(connection);
}

// =============================================================================================
// [SECTION] Pause, steps, breakpoints
// =============================================================================================
void DebugNet_SetPaused(bool paused)
{
    VM_Debug_SetStepping(false);
    Run_State().paused = paused ? 1 : 0;
}

void DebugNet_Step(bool over)
{
    // Into stops before the very next instruction that runs. Over stops before the first
    // instruction on another line or in another unit; with no code running there is no line
    // to leave, so it too stops at the next instruction that runs. Either lets a held game go.
    if (over && VM_FrameCount() > 0) {
        VM_Debug_SetStepping(true);
    } else {
        VM_Debug_SetStepping(false);
        VM_Debug_RequestBreak();
    }
    Run_State().paused = 0;
}

void DebugNet_SetBreakpoint(uint32_t address, bool on)
{
    if (on) {
        if (VM_Debug_AddBreakpoint(address) == VM_BREAKPOINT_NONE)
            Console_Output("Remote debugger: no instruction at 0x%08x; breakpoint refused\n", address);
    } else {
        VM_Debug_RemoveBreakpoint(address);
    }
}

// =============================================================================================
// [SECTION] Evaluation
// =============================================================================================
void DebugNet_EvaluateWatches(NetSocket* connection, const uint8_t* packet, uint32_t length)
{
    if (!connection || !connection->m_pBuffer || !packet || length < NET_DEBUG_EVALUATE_MIN) return;
    auto word = [&](uint32_t at) {
        uint32_t v;
        std::memcpy(&v, packet + at, 4);
        return v;
    };
    // The request: five words, then {id, length, bytes} per expression, read no further than
    // the packet holds.
    struct Request {
        uint32_t id;
        std::string text;
    };
    std::vector<Request> requests;
    const uint32_t wanted = word(16);
    uint32_t at = 20;
    for (uint32_t i = 0; i < wanted && at + 8 <= length; ++i) {
        const uint32_t id = word(at), n = word(at + 4);
        at += 8;
        if (n > length - at) break; // cut short: the rest is not there
        const char* t = reinterpret_cast<const char*>(packet + at);
        requests.push_back(Request{id, std::string(t, strnlen(t, n))});
        at += n;
    }
    IBuffer* b = connection->m_pBuffer;
    b->Seek(eSeek_Start, 0);
    U32(b, NET_DEBUG_MAGIC);
    U32(b, NET_DEBUG_HEADER_SIZE);
    U32(b, NET_DEBUG_EVALUATE);
    U32(b, 0); // the reply's length, patched below
    U32(b, uint32_t(requests.size()));
    for (const Request& r : requests) {
        U32(b, r.id);
        DebugExpression e(r.text, "execute_debug_script");
        ScriptValue v = Value_Real(0.0);
        if (!e.Evaluate(&v)) {
            Value_SetString(&v, DEBUG_UNABLE);
        }
        if (v.kind == VALUE_STRING) {
            U8(b, 1);
            Text(b, v.text);
        } else {
            U8(b, 0);
            Buffer_WriteNumber(b, eBuffer_F64, v.real);
        }
        Value_FreeString(&v);
    }
    PatchU32(b, 12, uint32_t(b->Tell()));
    SendReply(connection);
}

void DebugNet_InstallHandlers(bool on)
{
    static const NetDebugHandlers handlers = {DebugNet_SendStatus, DebugNet_SendGameInfo, DebugNet_SetPaused,
                                              DebugNet_Step,       DebugNet_SetBreakpoint, DebugNet_EvaluateWatches};
    Network_SetDebugHandlers(on ? &handlers : nullptr);
}

// =============================================================================================
// [SECTION] Server, poll and stops
// =============================================================================================
namespace {

void Serve()
{
    if (!g_dbg.server || g_dbg.serving) return;
    g_dbg.serving = true;
    g_dbg.server->Poll();
    g_dbg.serving = false;
}

bool Connected() { return g_dbg.server && g_dbg.server->ConnectionCount() > 0; }

// The machine stopped (a breakpoint or a step): the game is paused where the code stands
// until the debugger lets it go on.
void OnBreak()
{
    // Nobody to answer, or code the debugger itself runs (an evaluation): no stop.
    if (!Connected() || g_dbg.serving || g_dbg.stopped || Code_Error_GetDebuggerEvaluation()) return;
    ++g_dbg.stops;
    g_dbg.stopped = true;
    Run_State().paused = 1;
    while (Run_State().paused && Connected() && !Timing_WaitOver(true)) {
        Timing_PumpEvents();
        Serve();
        if (g_idle) g_idle();
        QuitWait_Sleep(2000);
    }
    g_dbg.stopped = false;
}

} // namespace

int32_t DebugNet_CreateServer(int32_t port)
{
    DebugNet_Shutdown();
    g_dbg.server = NetServer::Create(port, 1, 65536, true);
    if (!g_dbg.server) return -1;
    DebugNet_InstallHandlers(true);
    VM_Debug_SetBreakHook(OnBreak);
    return g_dbg.server->Port();
}

NetServer* DebugNet_Server() { return g_dbg.server; }

void DebugNet_Shutdown()
{
    if (!g_dbg.server) return;
    delete g_dbg.server; // its connections go; a debugger's leaving clears the breakpoints
    g_dbg.server = nullptr;
    VM_Debug_SetBreakHook(nullptr);
    g_dbg.stops = 0;
}

void Debug_InitRemoteInterface()
{
    DebugNet_InstallHandlers(true);
    const char* port = std::getenv("ZIMBREL_DEBUG_PORT");
    if (!port || !*port) return;
    char* end = nullptr;
    const long p = std::strtol(port, &end, 10);
    if (*end || p < 0 || p > 65535) {
        Console_Output("Remote debugger: ZIMBREL_DEBUG_PORT=%s is not a port\n", port);
        return;
    }
    const int32_t listening = DebugNet_CreateServer(int32_t(p));
    if (listening < 0) Console_Output("Remote debugger: cannot listen on port %ld\n", p);
    else Console_Output("Remote debugger listening on port %d\n", listening);
}

void DebugNet_Poll()
{
    if (!g_dbg.server || g_dbg.serving) return;
    VM_Debug_RestoreBreakpoints();
    Serve();
    VM_Debug_SetBreakpoints();
}

void DebugNet_SetIdleHook(void (*idle)()) { g_idle = idle; }
int32_t DebugNet_StopCount() { return g_dbg.stops; }
