// The socket layer (Files/Networking/Network.h): connections, servers, the packet splitter of
// debugger connections, the 64 slots, the poll and the shutdown.
//
// Connections leave their server only between packets: closing one while its bytes are being
// handled (or while its server polls) marks it, and it goes when the handling or the poll ends.
//
// [SECTION] Connections
// [SECTION] Servers
// [SECTION] Packets
// [SECTION] Slots
#include "Files/Networking/Network.h"

#include <algorithm>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Run/Run_Main.h"

namespace {

struct Slot {
    NetServer* server = nullptr;
    NetSocket* socket = nullptr;
};

Slot g_slots[NETWORK_MAX_SOCKETS];
std::vector<NetServer*> g_doomed; // servers whose slot went while they were busy
NetDebugHandlers g_debug = {};
NetDataHandler g_data = nullptr;

uint32_t U32At(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian host
}

void FreeSlotOf(NetSocket* socket)
{
    if (socket->m_slot >= 0 && socket->m_slot < NETWORK_MAX_SOCKETS && g_slots[socket->m_slot].socket == socket)
        g_slots[socket->m_slot] = Slot();
    socket->m_slot = -1;
}

} // namespace

// =============================================================================================
// [SECTION] Connections
// =============================================================================================

NetSocket::NetSocket(int32_t descriptor, int32_t bufferSize, bool debugger)
    : m_descriptor(descriptor), m_debugger(debugger),
      m_pBuffer(new Buffer_Standard(bufferSize < 1 ? 1 : bufferSize, eBuffer_Grow, 1))
{
}

NetSocket::~NetSocket()
{
    Close();
    FreeSlotOf(this);
    delete m_pBuffer;
}

int32_t NetSocket::Send(const void* bytes, int32_t length)
{
    if (m_descriptor < 0 || !bytes || length < 0) return -1;
    return NetM_Send(m_descriptor, bytes, length);
}

int32_t NetSocket::SendBuffer() { return Send(m_pBuffer->Data(), m_pBuffer->Tell()); }

void NetSocket::Close()
{
    NetM_Close(m_descriptor);
    m_descriptor = -1;
}

// =============================================================================================
// [SECTION] Servers
// =============================================================================================

NetServer::NetServer(int32_t descriptor, int32_t port, int32_t maxClients, int32_t bufferSize, bool debugger)
    : m_descriptor(descriptor), m_port(port), m_maxClients(maxClients), m_bufferSize(bufferSize), m_debugger(debugger)
{
}

NetServer* NetServer::Create(int32_t port, int32_t maxClients, int32_t bufferSize, bool debugger)
{
    const int32_t fd = NetM_Listen(port, debugger, maxClients > 0 ? maxClients : 1);
    if (fd < 0) {
        Console_Output("Network: cannot listen on port %d\n", port);
        return nullptr;
    }
    return new NetServer(fd, NetM_LocalPort(fd), maxClients < 1 ? 1 : maxClients, bufferSize < 1 ? 1 : bufferSize,
                         debugger);
}

NetServer::~NetServer()
{
    for (NetSocket* c : m_connections) c->m_closing = true;
    m_polling = false;
    m_handling = false;
    Reap();
    NetM_Close(m_descriptor);
    if (m_slot >= 0 && m_slot < NETWORK_MAX_SOCKETS && g_slots[m_slot].server == this) g_slots[m_slot] = Slot();
}

NetSocket* NetServer::Adopt(NetSocket* connection)
{
    connection->m_pServer = this;
    connection->m_debugger = m_debugger;
    m_connections.push_back(connection);
    return connection;
}

void NetServer::CloseConnection(NetSocket* connection)
{
    if (!connection) return;
    connection->m_closing = true;
    if (!m_polling && !m_handling) Reap();
}

void NetServer::Reap()
{
    bool debuggerLeft = false;
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        NetSocket* c = *it;
        if (!c->m_closing) {
            ++it;
            continue;
        }
        debuggerLeft = debuggerLeft || c->m_debugger;
        it = m_connections.erase(it);
        delete c;
    }
    if (debuggerLeft) {
        // The debugger went away: nothing may stay stopped on its account.
        VM_Debug_ClearBreakpoints();
        if (g_debug.setPaused) g_debug.setPaused(false);
        else Run_State().paused = 0;
    }
}

void NetServer::Accept(bool turnAway)
{
    for (;;) {
        const bool full = int32_t(m_connections.size()) >= m_maxClients;
        if (full && !turnAway) break; // they wait for this poll's closes
        const int32_t fd = NetM_Accept(m_descriptor);
        if (fd < 0) break;
        if (full) {
            NetM_Close(fd); // full: the client is turned away
            continue;
        }
        auto* c = new NetSocket(fd, m_bufferSize, m_debugger);
        if (Network_AddSocket(c) < 0) {
            Console_Output("Network: no free socket slot for a new connection\n");
            delete c;
            continue;
        }
        Adopt(c);
    }
}

int32_t NetServer::Poll()
{
    m_polling = true;
    Accept(false);
    static uint8_t chunk[64 * 1024];
    int32_t handled = 0;
    for (size_t i = 0; i < m_connections.size(); ++i) {
        NetSocket* c = m_connections[i];
        int32_t total = 0;
        while (!c->m_closing && total < NET_MAX_READ_PER_POLL) {
            const int32_t n = NetM_Receive(c->m_descriptor, chunk, int32_t(sizeof chunk));
            if (n == -1) break; // nothing more waits
            if (n <= 0) {
                c->m_closing = true; // the peer closed, or the socket failed
                break;
            }
            total += n;
            HandleData(c, chunk, n);
        }
        handled += total;
    }
    m_polling = false;
    Reap();
    Accept(true);
    return handled;
}

// =============================================================================================
// [SECTION] Packets
// =============================================================================================

void NetServer::HandleData(NetSocket* connection, const uint8_t* bytes, int32_t length)
{
    if (!connection || !bytes || length <= 0 || connection->m_closing) return;
    if (!connection->m_debugger) {
        if (g_data) g_data(connection, bytes, length);
        return;
    }
    const bool outer = m_handling;
    m_handling = true;
    std::vector<uint8_t>& p = connection->m_pending;
    p.insert(p.end(), bytes, bytes + length);
    size_t at = 0;
    while (!connection->m_closing) {
        const size_t left = p.size() - at;
        if (left < 12) break;
        if (U32At(&p[at]) != NET_DEBUG_MAGIC || U32At(&p[at + 4]) != NET_DEBUG_HEADER_SIZE) {
            ++at; // not the start of a packet: look one byte further
            continue;
        }
        uint32_t size = NET_DEBUG_HEADER_SIZE;
        if (U32At(&p[at + 8]) == NET_DEBUG_EVALUATE) {
            if (left < 16) break;
            size = U32At(&p[at + 12]);
            if (size < NET_DEBUG_EVALUATE_MIN || size > NET_MAX_PACKET) {
                Console_Output("Network: a debugger packet of %u bytes closes its connection\n", size);
                connection->m_closing = true;
                break;
            }
        }
        if (left < size) break; // the rest has not arrived yet
        if (connection->m_pBuffer) connection->m_pBuffer->Seek(eSeek_Start, 0);
        // The handler sees a copy: the pending bytes may move if it feeds more data.
        const std::vector<uint8_t> packet(p.begin() + std::ptrdiff_t(at), p.begin() + std::ptrdiff_t(at + size));
        at += size;
        Dispatch(connection, packet.data(), size);
    }
    if (connection->m_closing) {
        p.clear();
    } else {
        p.erase(p.begin(), p.begin() + std::ptrdiff_t(std::min(at, p.size())));
    }
    m_handling = outer;
    if (!m_polling && !m_handling) Reap();
}

void NetServer::Dispatch(NetSocket* connection, const uint8_t* packet, uint32_t length)
{
    switch (U32At(packet + 8)) {
    case NET_DEBUG_STATUS:
        if (g_debug.status) g_debug.status(connection);
        break;
    case NET_DEBUG_GAME_INFO:
        if (g_debug.gameInfo) g_debug.gameInfo(connection);
        break;
    case NET_DEBUG_PAUSE:
        if (g_debug.setPaused) g_debug.setPaused(true);
        break;
    case NET_DEBUG_RUN:
        if (g_debug.setPaused) g_debug.setPaused(false);
        break;
    case NET_DEBUG_STEP_INTO:
        if (g_debug.step) g_debug.step(false);
        break;
    case NET_DEBUG_STEP_OVER:
        if (g_debug.step) g_debug.step(true);
        break;
    case NET_DEBUG_BREAKPOINT:
        if (g_debug.breakpoint) g_debug.breakpoint(U32At(packet + 12), U32At(packet + 16) != 0);
        break;
    case NET_DEBUG_EVALUATE:
        if (g_debug.evaluate) g_debug.evaluate(connection, packet, length);
        break;
    default: break; // other commands are ignored
    }
}

void Network_SetDebugHandlers(const NetDebugHandlers* handlers) { g_debug = handlers ? *handlers : NetDebugHandlers{}; }
void Network_SetDataHandler(NetDataHandler handler) { g_data = handler; }

// =============================================================================================
// [SECTION] Slots
// =============================================================================================

namespace {

int32_t FreeSlot()
{
    for (int32_t i = 0; i < NETWORK_MAX_SOCKETS; ++i)
        if (!g_slots[i].server && !g_slots[i].socket) return i;
    return -1;
}

} // namespace

int32_t Network_AddServer(NetServer* server)
{
    const int32_t i = server ? FreeSlot() : -1;
    if (i >= 0) {
        g_slots[i].server = server;
        server->m_slot = i;
    }
    return i;
}

int32_t Network_AddSocket(NetSocket* socket)
{
    const int32_t i = socket ? FreeSlot() : -1;
    if (i >= 0) {
        g_slots[i].socket = socket;
        socket->m_slot = i;
    }
    return i;
}

NetServer* Network_Server(int32_t slot) { return slot >= 0 && slot < NETWORK_MAX_SOCKETS ? g_slots[slot].server : nullptr; }
NetSocket* Network_Socket(int32_t slot) { return slot >= 0 && slot < NETWORK_MAX_SOCKETS ? g_slots[slot].socket : nullptr; }

void Network_Destroy(int32_t slot)
{
    if (slot < 0 || slot >= NETWORK_MAX_SOCKETS) return;
    if (NetServer* s = g_slots[slot].server) {
        g_slots[slot] = Slot();
        s->m_slot = -1;
        if (s->Busy()) {
            s->m_doomed = true; // deleted once it is no longer busy
            g_doomed.push_back(s);
        } else {
            delete s;
        }
    } else if (NetSocket* c = g_slots[slot].socket) {
        FreeSlotOf(c);
        if (c->m_pServer) c->m_pServer->CloseConnection(c);
        else delete c;
    }
}

int32_t Network_SlotsInUse()
{
    int32_t n = 0;
    for (const Slot& s : g_slots) n += (s.server || s.socket) ? 1 : 0;
    return n;
}

namespace {

void DeleteDoomed()
{
    for (auto it = g_doomed.begin(); it != g_doomed.end();) {
        if ((*it)->Busy()) {
            ++it;
            continue;
        }
        delete *it;
        it = g_doomed.erase(it);
    }
}

} // namespace

void Network_PollAll()
{
    for (int32_t i = 0; i < NETWORK_MAX_SOCKETS; ++i)
        if (NetServer* s = g_slots[i].server) s->Poll();
    DeleteDoomed();
}

void Network_CloseAll()
{
    for (int32_t i = 0; i < NETWORK_MAX_SOCKETS; ++i) Network_Destroy(i);
    DeleteDoomed();
}
