// The remote-debug interface driven by a client over loopback (a thread of the test with a
// plain TCP socket) while the game runs frames on the test's main thread: the byte sequences
// of status, game info and evaluation against the wire format, pause and run, a breakpoint
// that stops before the right line with the state where it stands, step into to the next
// instruction and step over to the next line, evaluation at the stop, and a refused
// breakpoint address.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Variable.h"
#include "Files/Code/VM.h"
#include "Files/Code/VM_Debug.h"
#include "Files/Code/VM_Format.h"
#include "Files/Code/Variable_BuiltIn.h"
#include "Files/Code/Variable_List.h"
#include "Files/Debug/Debug_Main.h"
#include "Files/Debug/Debug_Net.h"
#include "Files/Networking/Network.h"
#include "Files/Support/CommandLine.h"
#include "support/GameWorld.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

uint32_t At(const Bytes& b, size_t i)
{
    uint32_t v = 0;
    if (i + 4 <= b.size()) std::memcpy(&v, &b[i], 4);
    return v;
}

Bytes Request(uint32_t command, uint32_t w3 = 0, uint32_t w4 = 0)
{
    Bytes b;
    Put(b, NET_DEBUG_MAGIC);
    Put(b, 44);
    Put(b, command);
    Put(b, w3);
    Put(b, w4);
    while (b.size() < 44) Put(b, 0);
    return b;
}

Bytes Evaluate(const std::vector<std::pair<uint32_t, std::string>>& items)
{
    Bytes b;
    Put(b, NET_DEBUG_MAGIC);
    Put(b, 44);
    Put(b, 9);
    Put(b, 0); // length, below
    Put(b, uint32_t(items.size()));
    for (const auto& [id, text] : items) {
        Put(b, id);
        Put(b, uint32_t(text.size() + 1));
        b.insert(b.end(), text.begin(), text.end());
        b.push_back(0);
    }
    const uint32_t n = uint32_t(b.size());
    std::memcpy(&b[12], &n, 4);
    return b;
}

// The game-info reply walked block by block: VER_, CODE, OBJ_, SCRT, FUNC.
struct GameInfo {
    bool ok = false;
    std::vector<std::string> objects, userVariables;
    size_t events = 0, functions = 0;
    bool hasUserVariable(const std::string& n) const
    {
        return std::find(userVariables.begin(), userVariables.end(), n) != userVariables.end();
    }
};

GameInfo ParseGameInfo(const Bytes& b)
{
    GameInfo g;
    size_t at = 12;
    bool bad = false;
    auto word = [&] {
        if (at + 4 > b.size()) bad = true;
        const uint32_t v = At(b, at);
        at += 4;
        return v;
    };
    auto text = [&] {
        const uint32_t n = word();
        if (bad || n == 0 || at + n > b.size() || b[at + n - 1] != 0) {
            bad = true;
            return std::string();
        }
        std::string t(reinterpret_cast<const char*>(&b[at]), n - 1);
        at += n;
        return t;
    };
    if (word() != DEBUGNET_TAG_VERSION || word() != 1 || word() != DEBUGNET_TAG_CODE) return g;
    for (uint32_t n = word(); n > 0 && !bad; --n) {
        word();
        text();
        const uint32_t length = word();
        at += (length + 3) & ~3u;
    }
    if (word() != DEBUGNET_TAG_OBJECTS) return g;
    for (uint32_t n = word(); n > 0 && !bad; --n) {
        for (int k = 0; k < 6; ++k) word();
        g.objects.push_back(text());
        for (int type = 0; type <= 10 && !bad; ++type)
            for (uint32_t e = word(); e > 0 && !bad; --e) {
                word();
                word();
                if (word() == 0) bad = true; // every event's code has an address
                text();
                ++g.events;
            }
    }
    if (word() != DEBUGNET_TAG_SCRIPTS) return g;
    for (uint32_t n = word(); n > 0 && !bad; --n) {
        word();
        word();
        text();
    }
    if (word() != DEBUGNET_TAG_NAMES) return g;
    g.functions = word();
    for (size_t n = g.functions; n > 0 && !bad; --n) text();
    for (uint32_t n = word(); n > 0 && !bad; --n) text();
    for (uint32_t n = word(); n > 0 && !bad; --n) {
        word();
        g.userVariables.push_back(text());
    }
    word(); // the string table
    for (uint32_t n = word(); n > 0 && !bad; --n) {
        word();
        text();
    }
    g.ok = !bad && at == b.size();
    return g;
}

// A debugger over a blocking TCP socket.
class Client {
public:
    explicit Client(int32_t port)
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~Client()
    {
        if (m_fd >= 0) close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    void Send(const Bytes& b) const
    {
        for (size_t sent = 0; sent < b.size();) {
            const ssize_t n = send(m_fd, b.data() + sent, b.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += size_t(n);
        }
    }
    // At least min bytes, then whatever follows until the line is quiet for a moment.
    Bytes Read(size_t min) const
    {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, out.size() >= min ? 150 : 50) <= 0) {
                if (out.size() >= min) break;
                continue;
            }
            uint8_t chunk[65536];
            const ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }
    Bytes Ask(const Bytes& request, size_t min) const
    {
        Send(request);
        return Read(min);
    }

private:
    int m_fd = -1;
};

class RemoteDebug : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        Debug_InstallHooks(World_Hooks());
        VM_Init();
        m_port = DebugNet_CreateServer(0);
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override
    {
        DebugNet_Shutdown();
        g_StartupOptions.running = 0;
        WorldTest::TearDown();
    }
    // Runs frames until the client's script is done (or ten seconds pass).
    void Serve(std::atomic<bool>& done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < end) {
            Frames(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(done) << "the client's script did not finish";
    }
    // obj_ctl with those events in a room, the game started and running; the object's index.
    int32_t Play(const char* create, const char* step)
    {
        const int32_t o = Obj("obj_ctl");
        EXPECT_TRUE(Ev(o, EVENT_CREATE, 0, create));
        EXPECT_TRUE(Ev(o, EVENT_STEP, 0, step));
        Place(Room(), o, 0, 0);
        Start();
        g_StartupOptions.running = 1;
        return o;
    }
    double Global(const char* name)
    {
        CVariable* v = Variable_Global_List()->Find(Code_Variable_FindUser(name));
        return v ? v->value.real : -1;
    }
    int32_t m_port = 0;
};

TEST_F(RemoteDebug, StatusGameInfoEvaluationAndPauseAsOnTheWire)
{
    Play("global.steps = 0;", "global.steps += 1;");

    Bytes status, info, eval, pausedStatus;
    std::atomic<bool> done{false};
    std::thread client([&] {
        Client c(m_port);
        if (c.Ok()) {
            status = c.Ask(Request(NET_DEBUG_STATUS), 12);
            info = c.Ask(Request(NET_DEBUG_GAME_INFO), 24);
            eval = c.Ask(Evaluate({{7, "1+1"}, {8, "(1 +"}, {9, "'a' + 'b'"}}), 20);
            c.Send(Request(NET_DEBUG_PAUSE));
            pausedStatus = c.Ask(Request(NET_DEBUG_STATUS), 16);
            c.Send(Request(NET_DEBUG_RUN));
            c.Ask(Request(NET_DEBUG_STATUS), 12);
        }
        done = true;
    });
    Serve(done);
    client.join();

    EXPECT_EQ(status, (Bytes{0xDE, 0xC0, 0x11, 0xBE, 0x2C, 0, 0, 0, 0, 0, 0, 0}));
    const Bytes prefix{0xDE, 0xC0, 0x11, 0xBE, 0x2C, 0, 0, 0, 2, 0, 0, 0, 0x5F, 0x52, 0x45, 0x56, 1, 0, 0, 0, 0x45, 0x44, 0x4F, 0x43};
    ASSERT_GE(info.size(), prefix.size());
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), info.begin()));
    // The whole reply walked by the layout of its blocks ends exactly where the reply ends.
    GameInfo gi = ParseGameInfo(info);
    EXPECT_TRUE(gi.ok) << "the game info does not follow its layout";
    EXPECT_EQ(gi.objects, std::vector<std::string>{"obj_ctl"});
    EXPECT_EQ(gi.events, 2u); // create and step, each with a code address
    EXPECT_GT(gi.functions, 100u);
    EXPECT_TRUE(gi.hasUserVariable("steps"));

    Bytes want;
    for (uint32_t w : {NET_DEBUG_MAGIC, 44u, 9u, 0u, 3u}) Put(want, w);
    Put(want, 7);
    want.push_back(0);
    const double two = 2.0;
    want.insert(want.end(), reinterpret_cast<const uint8_t*>(&two), reinterpret_cast<const uint8_t*>(&two) + 8);
    Put(want, 8);
    want.push_back(1);
    Put(want, 19);
    const std::string unable = "Unable to evaluate";
    want.insert(want.end(), unable.begin(), unable.end());
    want.push_back(0);
    Put(want, 9);
    want.push_back(1);
    Put(want, 3);
    for (char ch : std::string("ab")) want.push_back(uint8_t(ch));
    want.push_back(0);
    const uint32_t length = uint32_t(want.size());
    std::memcpy(&want[12], &length, 4);
    EXPECT_EQ(eval, want);

    // Paused between frames: no code runs, so the machine's record is FF FF FF FF.
    EXPECT_EQ(pausedStatus, (Bytes{0xDE, 0xC0, 0x11, 0xBE, 0x2C, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Run_State().paused, 0);
    EXPECT_GT(Global("steps"), 0);
}

TEST_F(RemoteDebug, BreakpointStopsBeforeItsLineStepIntoAtTheNextInstructionStepOverAtTheNextLine)
{
    const int32_t o = Play("global.a = 0; global.ran = 0;", "global.a = 1;\nglobal.a = 2;\nglobal.a = 3;\nglobal.ran += 1;");

    // The addresses of the first instructions of the second and third lines.
    CCode* step = Object_Lookup(o)->m_events[EVENT_STEP].events[0]->m_pCode;
    ASSERT_TRUE(step && step->m_pCode && step->m_pDebugInfo);
    VM_RegisterUnit(step->m_pCode);
    const uint32_t base = step->m_pCode->m_address;
    const std::string source = step->GetText();
    auto lineOffset = [&](int32_t lineStart) {
        for (int32_t i = 0; i < step->m_pDebugInfo->m_size / 8; ++i) {
            int32_t pair[2];
            std::memcpy(pair, step->m_pDebugInfo->m_pData + 8 * i, 8);
            if (pair[1] >= lineStart) return pair[0];
        }
        return -1;
    };
    const size_t secondLine = source.find('\n') + 1;
    const int32_t offset = lineOffset(int32_t(secondLine));
    const int32_t thirdOffset = lineOffset(int32_t(source.find('\n', secondLine)) + 1);
    ASSERT_GE(offset, 0);
    ASSERT_GT(thirdOffset, offset);

    Bytes first, second, third;
    std::string atFirst, atSecond, atThird;
    std::atomic<bool> done{false};
    std::thread client([&] {
        Client c(m_port);
        auto waitForStop = [&](uint32_t notPc) {
            for (int i = 0; i < 500; ++i) {
                Bytes s = c.Ask(Request(NET_DEBUG_STATUS), 12);
                if (At(s, 8) == 1 && At(s, 12) != 0xFFFFFFFFu && At(s, 16) != notPc) return s;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return Bytes();
        };
        auto value = [&](const char* expression) {
            Bytes r = c.Ask(Evaluate({{1, expression}}), 33);
            double d = -1;
            if (r.size() >= 33 && r[24] == 0) std::memcpy(&d, &r[25], 8);
            return std::to_string(int(d));
        };
        if (c.Ok()) {
            c.Send(Request(NET_DEBUG_BREAKPOINT, base + 2, 1)); // not an instruction start: refused
            c.Send(Request(NET_DEBUG_BREAKPOINT, base + uint32_t(offset), 1));
            first = waitForStop(0xFFFFFFFFu);
            atFirst = value("global.a");
            c.Send(Request(NET_DEBUG_STEP_INTO));
            second = waitForStop(At(first, 16));
            atSecond = value("global.a");
            c.Send(Request(NET_DEBUG_STEP_OVER));
            third = waitForStop(At(second, 16));
            atThird = value("global.a");
            c.Send(Request(NET_DEBUG_BREAKPOINT, base + uint32_t(offset), 0));
            c.Send(Request(NET_DEBUG_RUN));
            c.Ask(Request(NET_DEBUG_STATUS), 12);
        }
        done = true;
    });
    Serve(done);
    client.join();
    Frames(2);

    ASSERT_GE(first.size(), 20u);
    EXPECT_EQ(At(first, 12), base);                  // the running unit
    EXPECT_EQ(At(first, 16), uint32_t(offset));      // before the breakpoint's instruction
    EXPECT_EQ(atFirst, "1");                          // line 1 ran, line 2 not yet
    // Step into: the very next instruction, still on the second line.
    ASSERT_GE(second.size(), 20u);
    EXPECT_EQ(At(second, 12), base);
    EXPECT_GT(At(second, 16), uint32_t(offset));
    EXPECT_LT(At(second, 16), uint32_t(thirdOffset));
    EXPECT_EQ(atSecond, "1");
    // Step over: the first instruction of the next line.
    ASSERT_GE(third.size(), 20u);
    EXPECT_EQ(At(third, 16), uint32_t(thirdOffset));
    EXPECT_EQ(atThird, "2");
    EXPECT_EQ(DebugNet_StopCount(), 3);
    EXPECT_EQ(VM_Debug_BreakpointAddress(0), 0xFFFFFFFFu); // cleared; the refused one never held an entry
    EXPECT_EQ(Global("a"), 3);
    EXPECT_GE(Global("ran"), 3); // the game went on
}

TEST_F(RemoteDebug, ADebuggerLeavingResumesTheGameAndClearsItsBreakpoints)
{
    const int32_t o = Play("", "global.n = 1;");
    CCode* step = Object_Lookup(o)->m_events[EVENT_STEP].events[0]->m_pCode;
    VM_RegisterUnit(step->m_pCode);
    std::atomic<bool> done{false};
    std::thread client([&] {
        {
            Client c(m_port);
            c.Send(Request(NET_DEBUG_BREAKPOINT, step->m_pCode->m_address, 1));
            c.Send(Request(NET_DEBUG_PAUSE));
            c.Ask(Request(NET_DEBUG_STATUS), 16);
        } // gone
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        done = true;
    });
    Serve(done);
    client.join();
    Frames(2);
    EXPECT_EQ(Run_State().paused, 0);
    EXPECT_EQ(VM_Debug_BreakpointAddress(0), 0xFFFFFFFFu);
}

} // namespace
