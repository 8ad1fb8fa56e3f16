// The socket layer: 64 socket slots holding servers (NetServer) and connections (NetSocket)
// over TCP, polled once a step and closed at shutdown.
//
// A server listens on a port and accepts up to its number of clients; each accepted
// connection takes a slot and owns a reply buffer (grow, alignment 1, of the server's buffer
// size). Received bytes go through NetServer::HandleData: on a connection of a server made
// with the debugger flag they are split into remote-debug packets {0xBE11C0DE, 44, command,
// eight more words} (44 bytes; command 9 carries its whole length in word 3) and each goes to
// the remote-debug handlers (NetDebugHandlers, installed by the remote-debug interface);
// bytes of other connections go to the data handler, when one is installed, else are dropped.
// A packet cut by the network waits for its rest; bytes that do not begin a packet are
// skipped one at a time; a command-9 length outside 20..NET_MAX_PACKET closes the connection.
// Closing a debugger connection clears every breakpoint and resumes the game.
//
// Debugger servers listen on the loopback interface only (the interface can pause the game,
// set breakpoints and run code); other servers on every interface.
//
// Main thread only. Needs the POSIX sockets of Linux/NetSocketM.cpp, the buffers
// (Files/Buffer/IBuffer.h), the machine's breakpoints and the run state (paused), the log
// console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class IBuffer;
class NetServer;

constexpr int32_t NETWORK_MAX_SOCKETS = 64;
constexpr uint32_t NET_DEBUG_MAGIC = 0xBE11C0DE;
constexpr uint32_t NET_DEBUG_HEADER_SIZE = 44;
constexpr uint32_t NET_DEBUG_EVALUATE_MIN = 20;     // command 9: five words before its entries
constexpr uint32_t NET_MAX_PACKET = 16u << 20;       // command 9's largest length
constexpr int32_t NET_MAX_READ_PER_POLL = 1 << 20;   // bytes read from one connection in a poll

// Remote-debug commands. ORDER: the numbers on the wire.
enum : uint32_t {
    NET_DEBUG_STATUS = 1,
    NET_DEBUG_GAME_INFO = 2,
    NET_DEBUG_PAUSE = 3,
    NET_DEBUG_RUN = 4,
    NET_DEBUG_STEP_INTO = 5,
    NET_DEBUG_STEP_OVER = 6,
    NET_DEBUG_BREAKPOINT = 8,
    NET_DEBUG_EVALUATE = 9,
};

class NetSocket {
public:
    // A connection over an open descriptor (-1: none, for tests and fuzzing), with a reply
    // buffer of that size.
    NetSocket(int32_t descriptor, int32_t bufferSize, bool debugger);
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // One send of the bytes: the count sent (0 when the socket would block), -1 on failure or
    // without a socket.
    int32_t Send(const void* bytes, int32_t length);
    // Sends the reply buffer's bytes from its start to its position.
    int32_t SendBuffer();
    void Close();
    bool IsOpen() const { return m_descriptor >= 0; }

    int32_t m_descriptor;
    int32_t m_slot = -1;          // its socket slot; -1 none
    bool m_debugger;              // accepted by a debugger server
    bool m_closing = false;       // to be closed at the end of the poll
    IBuffer* m_pBuffer;           // the reply buffer (owned): grow, alignment 1
    std::vector<uint8_t> m_pending; // received bytes not yet a whole packet
    NetServer* m_pServer = nullptr;
};

class NetServer {
public:
    // A server listening on the port (0: one the system picks), or null when it cannot listen.
    static NetServer* Create(int32_t port, int32_t maxClients, int32_t bufferSize, bool debugger);
    ~NetServer();
    NetServer(const NetServer&) = delete;
    NetServer& operator=(const NetServer&) = delete;

    // Accepts waiting clients, reads what arrived and hands it to HandleData, closes
    // connections that ended. A full server first sees whether one of its clients has left:
    // a client that comes back at once takes its place rather than being turned away.
    // Answers the number of bytes handled.
    int32_t Poll();
    // Splits received bytes into packets (see above) for the connection.
    void HandleData(NetSocket* connection, const uint8_t* bytes, int32_t length);
    // Takes a connection made elsewhere (tests, fuzzing): it joins the server's list.
    NetSocket* Adopt(NetSocket* connection);
    void CloseConnection(NetSocket* connection);

    int32_t Port() const { return m_port; }
    int32_t ConnectionCount() const { return int32_t(m_connections.size()); }
    NetSocket* Connection(int32_t i) const { return m_connections[size_t(i)]; }
    bool IsDebugger() const { return m_debugger; }

    // Polling or handling bytes: connections and the server itself are removed afterwards.
    bool Busy() const { return m_polling || m_handling; }

    int32_t m_slot = -1;
    bool m_doomed = false; // its slot was destroyed while it was busy

private:
    NetServer(int32_t descriptor, int32_t port, int32_t maxClients, int32_t bufferSize, bool debugger);
    void Dispatch(NetSocket* connection, const uint8_t* packet, uint32_t length);
    // Deletes the connections marked for closing (a debugger's: breakpoints cleared, game
    // resumed).
    void Reap();
    // Accepts waiting clients while there is room; the rest are turned away when turnAway,
    // else left waiting.
    void Accept(bool turnAway);

    bool m_polling = false;
    bool m_handling = false;

    int32_t m_descriptor;
    int32_t m_port;
    int32_t m_maxClients;
    int32_t m_bufferSize;
    bool m_debugger;
    std::vector<NetSocket*> m_connections; // owned
};

// What the remote-debug interface does with the packets of a debugger connection. Each may be
// null (the command is then ignored). The packet bytes stay valid only during the call.
struct NetDebugHandlers {
    void (*status)(NetSocket* connection);
    void (*gameInfo)(NetSocket* connection);
    void (*setPaused)(bool paused);                 // commands 3 (true) and 4 (false)
    void (*step)(bool over);                        // commands 5 (into) and 6 (over)
    void (*breakpoint)(uint32_t address, bool on);  // command 8: words 3 and 4
    void (*evaluate)(NetSocket* connection, const uint8_t* packet, uint32_t length); // command 9
};
void Network_SetDebugHandlers(const NetDebugHandlers* handlers); // null: none
// Bytes of a connection that is not a debugger's (null: dropped).
using NetDataHandler = void (*)(NetSocket* connection, const uint8_t* bytes, int32_t length);
void Network_SetDataHandler(NetDataHandler handler);

// ---- Slots ------------------------------------------------------------------------------------
// Puts a server or connection into the first free slot; its index, or -1 when all 64 are taken.
int32_t Network_AddServer(NetServer* server);
int32_t Network_AddSocket(NetSocket* socket);
NetServer* Network_Server(int32_t slot);
NetSocket* Network_Socket(int32_t slot);
// Frees the slot (deleting what it holds; a connection leaves its server first).
void Network_Destroy(int32_t slot);
int32_t Network_SlotsInUse();
// Once per step: polls every server slot (each polls its connections).
void Network_PollAll();
// Shutdown: closes and frees all 64 slots.
void Network_CloseAll();

// ---- Platform part (Linux/NetSocketM.cpp) -------------------------------------------------------
// A non-blocking listening TCP socket on the port (loopback only when asked); -1 on failure.
int32_t NetM_Listen(int32_t port, bool loopbackOnly, int32_t backlog);
// The local port of a socket; -1 on failure.
int32_t NetM_LocalPort(int32_t descriptor);
// A waiting client as a non-blocking socket; -1 when none waits (or on failure).
int32_t NetM_Accept(int32_t descriptor);
// One send: the count sent, 0 when it would block, -1 on failure.
int32_t NetM_Send(int32_t descriptor, const void* bytes, int32_t length);
// One receive: the count read (> 0), 0 when the peer closed, -1 when nothing is waiting, -2 on
// failure.
int32_t NetM_Receive(int32_t descriptor, void* bytes, int32_t capacity);
void NetM_Close(int32_t descriptor);
