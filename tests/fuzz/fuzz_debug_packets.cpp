// libFuzzer target: the remote debugger's packet handlers behind the socket layer's splitter.
// The input is fed to a debugger connection as the network would hand it over, in chunks the
// input's first byte sizes: status, game info, pause, run, steps, breakpoints at any address
// and evaluations of whatever text the packets carry, over a small compiled world. Nothing may
// read past a packet, write outside the machine's units or fail to answer.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Compile.h"
#include "Files/Code/Code_Constant.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Debug/Debug_Net.h"
#include "Files/Networking/Network.h"
#include "Files/Run/Run_Main.h"

namespace {

CCode* g_unit = nullptr;

void Setup()
{
    Code_Compiler_Init();
    Code_Constant_Init();
    Variable_BuiltIn_Init();
    Variable_BuiltIn_RegisterArguments();
    Variable_Global_Init();
    VM_Init();
    static const char kText[] = "global.a = 1;\nglobal.b = global.a + 2;";
    g_unit = new CCode(kText, false);
    if (g_unit->Compile("fuzz_unit") && g_unit->m_pCode) VM_RegisterUnit(g_unit->m_pCode);
    Code_Error_ClearRecorded();
    DebugNet_InstallHandlers(true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (Setup(), true);
    (void)ready;
    if (size < 1) return 0;
    const size_t chunk = size_t(data[0] % 64) + 1;
    ++data;
    --size;
    NetServer* server = NetServer::Create(0, 1, 64, true);
    if (!server) std::abort();
    // The connection's replies go into a socket pair whose other end is emptied after each
    // chunk, as a debugger would read them.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    NetSocket* c = server->Adopt(new NetSocket(fds[0], 64, true));
    for (size_t at = 0; at < size && server->ConnectionCount() > 0; at += chunk) {
        server->HandleData(c, data + at, int32_t(size - at < chunk ? size - at : chunk));
        uint8_t sink[65536];
        while (read(fds[1], sink, sizeof sink) > 0) {
        }
    }
    delete server; // the connection goes: breakpoints cleared, the game resumed
    close(fds[1]);
    if (Run_State().paused) std::abort();
    if (VM_Debug_BreakpointAddress(0) != 0xFFFFFFFFu) std::abort();
    return 0;
}
