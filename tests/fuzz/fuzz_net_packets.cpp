// libFuzzer target: the packet splitter of debugger connections. The input is fed once whole
// and once in chunks whose sizes the input's first bytes choose; both feeds must dispatch the
// same packets in the same order, and close the connection at the same point. The handlers
// write replies into the connection's buffer as the remote-debug interface does.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Files/Buffer/IBuffer.h"
#include "Files/Networking/Network.h"

namespace {

std::vector<std::string>* g_calls;

uint32_t Word(const uint8_t* p, uint32_t length, uint32_t k)
{
    uint32_t v = 0;
    if (4 * k + 4 <= length) std::memcpy(&v, p + 4 * k, 4);
    return v;
}

void Reply(NetSocket* c, uint32_t what)
{
    Buffer_WriteNumber(c->m_pBuffer, eBuffer_U32, NET_DEBUG_MAGIC);
    Buffer_WriteNumber(c->m_pBuffer, eBuffer_U32, what);
    Buffer_WriteString(c->m_pBuffer, "reply");
    c->SendBuffer();
}

const NetDebugHandlers kHandlers = {
    [](NetSocket* c) {
        g_calls->push_back("status");
        Reply(c, 1);
    },
    [](NetSocket* c) {
        g_calls->push_back("info");
        Reply(c, 2);
    },
    [](bool paused) { g_calls->push_back(paused ? "pause" : "run"); },
    [](bool over) { g_calls->push_back(over ? "over" : "into"); },
    [](uint32_t address, bool on) { g_calls->push_back("break " + std::to_string(address) + (on ? "+" : "-")); },
    [](NetSocket* c, const uint8_t* packet, uint32_t length) {
        if (length < NET_DEBUG_EVALUATE_MIN || Word(packet, length, 3) != length) std::abort();
        uint32_t sum = 0;
        for (uint32_t i = 0; i < length; ++i) sum = sum * 31 + packet[i]; // every byte is readable
        g_calls->push_back("eval " + std::to_string(length) + " " + std::to_string(sum));
        Reply(c, 9);
    },
};

NetServer* Server()
{
    static NetServer* server = nullptr;
    if (!server) server = NetServer::Create(0, 1, 8, true);
    if (!server) std::abort();
    return server;
}

// Feeds data in the given chunk sizes (0 = all at once); the calls made.
std::vector<std::string> Feed(const uint8_t* data, size_t size, const std::vector<size_t>& chunks)
{
    std::vector<std::string> calls;
    g_calls = &calls;
    NetServer* s = Server();
    NetSocket* c = s->Adopt(new NetSocket(-1, 8, true));
    size_t at = 0, k = 0;
    while (at < size && s->ConnectionCount() == 1) {
        size_t n = chunks.empty() ? size : chunks[k++ % chunks.size()];
        if (n > size - at) n = size - at;
        s->HandleData(c, data + at, int32_t(n));
        at += n;
        if (s->ConnectionCount() == 1 && c->m_pending.size() > size_t(NET_MAX_PACKET) + 12) std::abort();
    }
    if (s->ConnectionCount() == 1) {
        calls.push_back("open");
        s->CloseConnection(c);
    } else {
        calls.push_back("closed");
    }
    return calls;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Network_SetDebugHandlers(&kHandlers);
    if (size < 1) return 0;
    const size_t n = data[0] % 8;
    if (size < 1 + n) return 0;
    std::vector<size_t> chunks;
    for (size_t i = 0; i < n; ++i) chunks.push_back(size_t(data[1 + i]) + 1);
    const uint8_t* bytes = data + 1 + n;
    const size_t length = size - 1 - n;
    const auto whole = Feed(bytes, length, {});
    const auto pieces = Feed(bytes, length, chunks.empty() ? std::vector<size_t>{1} : chunks);
    if (whole != pieces) std::abort();
    return 0;
}
