// The socket layer on loopback: servers and their slots, debugger packets split however the
// bytes arrive, skipped garbage, bad lengths, the client limit, replies, the close of a
// debugger connection, other connections' data, shutdown.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Code_Function.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Networking/Network.h"
#include "Files/Networking/Network_Builtins.h"
#include "Files/Physics/Physics.h"
#include "Files/Run/Run_Main.h"
#include "support/CaptureConsole.h"

namespace {

// What the handlers saw, one line per call.
std::vector<std::string> g_calls;

void Status(NetSocket* c)
{
    g_calls.push_back("status");
    // A reply as the interface builds them: from position 0 of the connection's buffer.
    Buffer_WriteNumber(c->m_pBuffer, eBuffer_U32, NET_DEBUG_MAGIC);
    Buffer_WriteNumber(c->m_pBuffer, eBuffer_U32, 44);
    Buffer_WriteNumber(c->m_pBuffer, eBuffer_U32, 0);
    c->SendBuffer();
}
void GameInfo(NetSocket*) { g_calls.push_back("info"); }
void SetPaused(bool paused) { g_calls.push_back(paused ? "pause" : "run"); }
void Step(bool over) { g_calls.push_back(over ? "over" : "into"); }
void Breakpoint(uint32_t address, bool on) { g_calls.push_back("break " + std::to_string(address) + (on ? " on" : " off")); }
void Evaluate(NetSocket*, const uint8_t* packet, uint32_t length)
{
    g_calls.push_back("eval " + std::to_string(length) + " " + std::string(reinterpret_cast<const char*>(packet) + 20, length - 20));
}
const NetDebugHandlers kHandlers = {Status, GameInfo, SetPaused, Step, Breakpoint, Evaluate};

std::vector<uint8_t> Packet(uint32_t command, uint32_t w3 = 0, uint32_t w4 = 0)
{
    std::vector<uint8_t> p(44, 0);
    const uint32_t words[5] = {NET_DEBUG_MAGIC, 44, command, w3, w4};
    std::memcpy(p.data(), words, sizeof words);
    return p;
}

std::vector<uint8_t> EvaluatePacket(const std::string& text)
{
    std::vector<uint8_t> p(20 + text.size());
    const uint32_t words[5] = {NET_DEBUG_MAGIC, 44, 9, uint32_t(p.size()), 1};
    std::memcpy(p.data(), words, sizeof words);
    std::memcpy(p.data() + 20, text.data(), text.size());
    return p;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A client of the test, plain POSIX.
int Connect(int32_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

void SendAll(int fd, const std::vector<uint8_t>& bytes)
{
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
}

// Polls until the condition holds (or a second has passed).
template <class F>
bool PollUntil(F&& done)
{
    for (int k = 0; k < 200 && !done(); ++k) {
        Network_PollAll();
        usleep(5000);
    }
    return done();
}

class Network : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        Network_CloseAll();
        Network_SetDebugHandlers(&kHandlers);
        Network_SetDataHandler(nullptr);
        Run_State().paused = 0;
    }
    void TearDown() override
    {
        for (int fd : m_clients) close(fd);
        Network_CloseAll();
        Network_SetDebugHandlers(nullptr);
        Network_SetDataHandler(nullptr);
        VM_Debug_ClearBreakpoints();
        Run_State().paused = 0;
    }
    NetServer* Server(bool debugger, int32_t clients = 4)
    {
        NetServer* s = NetServer::Create(0, clients, 16, debugger);
        EXPECT_NE(s, nullptr);
        EXPECT_GE(Network_AddServer(s), 0);
        return s;
    }
    int Client(NetServer* s)
    {
        const int fd = Connect(s->Port());
        m_clients.push_back(fd);
        return fd;
    }
    std::vector<int> m_clients;
};

} // namespace

TEST_F(Network, DebuggerPacketsAreSplitHoweverTheBytesArrive)
{
    NetServer* s = Server(true);
    ASSERT_GT(s->Port(), 0);
    const int c = Client(s);
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 1; }));
    EXPECT_EQ(Network_SlotsInUse(), 2) << "the server and its connection";
    const auto stream = Join({Packet(3), Packet(8, 0x10040, 1), EvaluatePacket("1+1"), Packet(6), Packet(4)});
    // Byte by byte for the first packet and a half, then the rest at once.
    for (size_t i = 0; i < 66; ++i) SendAll(c, {stream[i]});
    ASSERT_TRUE(PollUntil([&] { return g_calls.size() >= 1; }));
    SendAll(c, std::vector<uint8_t>(stream.begin() + 66, stream.end()));
    ASSERT_TRUE(PollUntil([&] { return g_calls.size() >= 5; }));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"pause", "break 65600 on", "eval 23 1+1", "over", "run"}));
}

TEST_F(Network, StatusRepliesGoBackInOneSend)
{
    NetServer* s = Server(true);
    const int c = Client(s);
    SendAll(c, Packet(1));
    ASSERT_TRUE(PollUntil([&] { return !g_calls.empty(); }));
    pollfd p{c, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    uint8_t reply[64];
    ASSERT_EQ(recv(c, reply, sizeof reply, 0), 12);
    const uint8_t expected[12] = {0xDE, 0xC0, 0x11, 0xBE, 0x2C, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(reply, expected, 12), 0);
    // A second request is built from position 0 again.
    g_calls.clear();
    SendAll(c, Packet(1));
    ASSERT_TRUE(PollUntil([&] { return !g_calls.empty(); }));
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_EQ(recv(c, reply, sizeof reply, 0), 12);
}

TEST_F(Network, GarbageIsSkippedAndOtherCommandsIgnored)
{
    NetServer* s = Server(true);
    auto* c = s->Adopt(new NetSocket(-1, 16, true));
    const std::vector<uint8_t> junk = {1, 2, 3, 0xDE, 0xC0, 0x11, 0xBE, 45, 0, 0, 0, 9, 9};
    const auto stream = Join({junk, Packet(2), Packet(7), Packet(99), Packet(5)});
    s->HandleData(c, stream.data(), int32_t(stream.size()));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"info", "into"}));
    EXPECT_TRUE(c->m_pending.empty());
    // Bytes that cannot yet be judged wait: eleven bytes of a header.
    const auto half = Packet(2);
    s->HandleData(c, half.data(), 11);
    EXPECT_EQ(c->m_pending.size(), 11u);
    s->HandleData(c, half.data() + 11, 33);
    EXPECT_EQ(g_calls.back(), "info");
    EXPECT_TRUE(c->m_pending.empty());
    // Nothing at all, and nothing for a null connection.
    s->HandleData(c, nullptr, 5);
    s->HandleData(nullptr, half.data(), 44);
    s->HandleData(c, half.data(), 0);
}

TEST_F(Network, EvaluationLengthsOutsideTheLimitsCloseTheConnection)
{
    NetServer* s = Server(true);
    for (uint32_t bad : {0u, 19u, NET_MAX_PACKET + 1, 0xFFFFFFFFu}) {
        g_calls.clear();
        auto* c = s->Adopt(new NetSocket(-1, 16, true));
        ASSERT_EQ(s->ConnectionCount(), 1);
        std::vector<uint8_t> p = EvaluatePacket("x");
        std::memcpy(p.data() + 12, &bad, 4);
        CaptureConsole log;
        s->HandleData(c, p.data(), int32_t(p.size())); // c is gone afterwards
        EXPECT_EQ(s->ConnectionCount(), 0) << bad;
        EXPECT_TRUE(log.Has("closes its connection")) << bad;
        // The debugger left: the game runs again.
        EXPECT_EQ(g_calls, std::vector<std::string>{"run"}) << bad;
    }
    // A long evaluation waits for all of its bytes.
    auto* c = s->Adopt(new NetSocket(-1, 16, true));
    const auto big = EvaluatePacket(std::string(100000, 'a'));
    s->HandleData(c, big.data(), 50000);
    EXPECT_EQ(c->m_pending.size(), 50000u);
    s->HandleData(c, big.data() + 50000, int32_t(big.size() - 50000));
    EXPECT_EQ(g_calls.back().substr(0, 11), "eval 100020");
}

TEST_F(Network, ClosingADebuggerConnectionClearsBreakpointsAndResumes)
{
    NetServer* s = Server(true);
    const int c = Client(s);
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 1; }));
    Network_SetDebugHandlers(nullptr); // the game's own paused flag
    Run_State().paused = 1;
    close(c);
    m_clients.clear();
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 0; }));
    EXPECT_EQ(Run_State().paused, 0);
    EXPECT_EQ(Network_SlotsInUse(), 1) << "the connection's slot is free again";
}

TEST_F(Network, ServersTakeAtMostTheirClients)
{
    NetServer* s = Server(true, 2);
    Client(s);
    Client(s);
    const int third = Client(s);
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 2; }));
    for (int k = 0; k < 10; ++k) Network_PollAll();
    EXPECT_EQ(s->ConnectionCount(), 2);
    // The third client was turned away: its socket reads the end.
    pollfd p{third, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    uint8_t b;
    EXPECT_EQ(recv(third, &b, 1, 0), 0);
}

TEST_F(Network, AClientComingBackAtOnceTakesThePlaceItLeft)
{
    NetServer* s = Server(true, 1);
    const int first = Connect(s->Port());
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 1; }));
    close(first);
    const int again = Client(s); // waits beside the first's end for the same poll
    SendAll(again, Packet(NET_DEBUG_STATUS));
    ASSERT_TRUE(PollUntil([&] { return std::count(g_calls.begin(), g_calls.end(), "status") == 1; }));
    EXPECT_EQ(s->ConnectionCount(), 1);
    uint8_t reply[16];
    EXPECT_EQ(recv(again, reply, sizeof reply, 0), 12); // answered, not turned away
}

TEST_F(Network, OtherConnectionsHandTheirBytesToTheDataHandler)
{
    static std::string received;
    received.clear();
    Network_SetDataHandler([](NetSocket*, const uint8_t* bytes, int32_t length) {
        received.append(reinterpret_cast<const char*>(bytes), size_t(length));
    });
    NetServer* s = Server(false);
    const int c = Client(s);
    const auto packet = Packet(3);
    SendAll(c, packet);
    SendAll(c, {'h', 'i'});
    ASSERT_TRUE(PollUntil([&] { return received.size() == 46; }));
    EXPECT_TRUE(g_calls.empty()) << "no debugger packets on an ordinary server";
    EXPECT_EQ(received.substr(44), "hi");
    // Without a handler the bytes are dropped.
    Network_SetDataHandler(nullptr);
    SendAll(c, {'x'});
    for (int k = 0; k < 5; ++k) Network_PollAll();
    EXPECT_EQ(received.size(), 46u);
}

TEST_F(Network, SlotsHoldAtMostSixtyFourAndCloseAllFreesThem)
{
    std::vector<NetSocket*> sockets;
    for (int k = 0; k < NETWORK_MAX_SOCKETS; ++k) {
        auto* s = new NetSocket(-1, 8, false);
        EXPECT_EQ(Network_AddSocket(s), k);
        sockets.push_back(s);
    }
    auto* extra = new NetSocket(-1, 8, false);
    EXPECT_EQ(Network_AddSocket(extra), -1);
    delete extra;
    EXPECT_EQ(Network_SlotsInUse(), 64);
    EXPECT_EQ(Network_Socket(10), sockets[10]);
    EXPECT_EQ(Network_Server(10), nullptr);
    EXPECT_EQ(Network_Socket(64), nullptr);
    EXPECT_EQ(Network_Socket(-1), nullptr);
    Network_Destroy(10);
    EXPECT_EQ(Network_Socket(10), nullptr);
    auto* again = new NetSocket(-1, 8, false);
    EXPECT_EQ(Network_AddSocket(again), 10) << "the first free slot";
    Network_CloseAll();
    EXPECT_EQ(Network_SlotsInUse(), 0);
    NetSocket unconnected(-1, 8, false);
    EXPECT_EQ(unconnected.Send("x", 1), -1) << "no socket";
    EXPECT_EQ(unconnected.SendBuffer(), -1);
    Network_Destroy(-1);
    Network_Destroy(64);
}

TEST_F(Network, ADebuggerServerListensOnLoopbackOnly)
{
    NetServer* s = Server(true);
    // The listening address is the loopback one.
    sockaddr_in a{};
    socklen_t n = sizeof a;
    const int probe = Connect(s->Port());
    ASSERT_EQ(getpeername(probe, reinterpret_cast<sockaddr*>(&a), &n), 0);
    EXPECT_EQ(ntohl(a.sin_addr.s_addr), INADDR_LOOPBACK);
    close(probe);
    // A port in use cannot be listened on twice.
    CaptureConsole log;
    EXPECT_EQ(NetServer::Create(s->Port(), 1, 8, true), nullptr);
    EXPECT_TRUE(log.Has("Network: cannot listen on port"));
    EXPECT_EQ(NetServer::Create(70000, 1, 8, true), nullptr);
}

TEST_F(Network, DestroyingAServerFromItsOwnHandlerWaitsForItsPoll)
{
    static NetServer* server;
    server = Server(true);
    const NetDebugHandlers destroying = {[](NetSocket*) { Network_Destroy(server->m_slot); }, nullptr, nullptr, nullptr,
                                         nullptr, nullptr};
    Network_SetDebugHandlers(&destroying);
    const int c = Client(server);
    SendAll(c, Join({Packet(1), Packet(1)}));
    ASSERT_TRUE(PollUntil([&] { return Network_SlotsInUse() == 0; }));
}

TEST_F(Network, SendRawSendsTheBufferUnframed)
{
    static bool once = false;
    if (!once) {
        once = true;
        InitFunctions_Networking();
    }
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("network_send_raw", &id));
    const BuiltinFunction* row = Function_Get(id);
    ASSERT_EQ(row->argCount, 3);
    NetServer* s = Server(false);
    const int c = Client(s);
    ASSERT_TRUE(PollUntil([&] { return s->ConnectionCount() == 1; }));
    const int32_t slot = s->Connection(0)->m_slot;
    ASSERT_GE(slot, 0);
    const int32_t buffer = Buffer_Create(8, eBuffer_Fixed, 1);
    for (int k = 0; k < 8; ++k) Buffer_WriteNumber(Buffer_Get(buffer), eBuffer_U8, 'a' + k);
    auto call = [&](double socket, double b, double size) {
        ScriptValue args[3] = {Value_Real(socket), Value_Real(b), Value_Real(size)};
        ScriptValue result = Value_Real(0);
        row->f(&result, nullptr, nullptr, 3, args);
        return result.real;
    };
    EXPECT_EQ(call(slot, buffer, 5), 5.0);
    EXPECT_EQ(call(slot, buffer, 100), 8.0) << "cut to the buffer";
    EXPECT_EQ(call(slot, buffer, -3), 0.0);
    EXPECT_EQ(call(slot + 1, buffer, 5), -1.0) << "no connection there";
    EXPECT_EQ(call(s->m_slot, buffer, 5), -1.0) << "a server is no connection";
    EXPECT_EQ(call(slot, buffer + 1, 5), -1.0) << "no such buffer";
    std::string got;
    char chunk[64];
    for (int k = 0; k < 100 && got.size() < 13; ++k) {
        pollfd p{c, POLLIN, 0};
        if (poll(&p, 1, 10) == 1) got.append(chunk, size_t(recv(c, chunk, sizeof chunk, 0)));
    }
    EXPECT_EQ(got, "abcdeabcdefgh");
    Buffer_Free(buffer);
}
