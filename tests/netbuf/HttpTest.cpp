// Asynchronous HTTP requests against a real server on loopback (tests/data/netbuf/server.py):
// GET and POST with what the server saw, status codes, replies larger than the first buffer
// with and without a content length (handed to the result map without a copy), the reply cap,
// the ninth request waiting for a thread, failures of every kind (no server, a silent one,
// garbage, a closed connection, a drip-feed, an endless body) each delivered once within the
// deadline, slow servers that cannot starve later requests, https refused without trust and
// served with it, redirects, unsafe characters, ids, clean-up exactly once, the built-ins,
// and shutdown.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "Files/Base/SHA1.h"
#include "Files/DS/DS_Map.h"
#include "Files/Function/Function_Http.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Run/Run_Async.h"
#include "netbuf/NetbufSupport.h"

namespace {

struct Reply {
    int32_t id = -1;
    int32_t received = 0;
    std::string body;     // the bytes received (all of them)
    std::map<std::string, std::string> map; // the result map, every value as text
    bool handedOver = false; // the map's "result" is the reply's own block
    std::chrono::steady_clock::time_point at; // when it was delivered
};
std::vector<Reply> g_replies;
std::map<void*, int> g_cleanups;

std::string Text(const ScriptValue& v)
{
    if (v.kind == VALUE_STRING) return v.text ? v.text : "";
    char b[64];
    std::snprintf(b, sizeof b, "%g", v.real);
    return b;
}

int32_t Capture(HTTP_REQ_CONTEXT* r, void* user, int32_t* mapIndex)
{
    Reply reply;
    reply.id = r->id;
    reply.received = r->received;
    reply.at = std::chrono::steady_clock::now();
    if (r->received > 0) reply.body.assign(reinterpret_cast<const char*>(r->buffer), size_t(r->received));
    const void* block = r->buffer;
    const int32_t n = HTTP_OnComplete(r, user, mapIndex);
    const CDS_Map* m = DS_Map_Data(*mapIndex);
    for (int32_t e = m ? m->FirstEntry() : -1; e >= 0; e = m->NextEntry(e)) {
        reply.map[m->Entry(e).key.text] = Text(m->Entry(e).value);
        if (std::string(m->Entry(e).key.text) == "result") reply.handedOver = block && m->Entry(e).value.text == block;
    }
    g_replies.push_back(reply);
    return n;
}

void CountCleanUp(HTTP_REQ_CONTEXT* r) { g_cleanups[r->user]++; }

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + 3) % 251);
    return s;
}

std::string Sha1(const std::string& s)
{
    SHA1Context c;
    SHA1_Reset(&c);
    SHA1_Input(&c, s.data(), uint32_t(s.size()));
    SHA1_Result(&c);
    char hex[41];
    SHA1_ToHex(&c, hex);
    return hex;
}

HTTP_REQ_CONTEXT* Find(int32_t id)
{
    for (HTTP_REQ_CONTEXT* r = HTTP_RequestList(); r; r = r->next)
        if (r->id == id) return r;
    return nullptr;
}

const Reply* ReplyOf(int32_t id)
{
    for (const Reply& r : g_replies)
        if (r.id == id) return &r;
    return nullptr;
}

} // namespace

class Http : public NetbufTest {
protected:
    void SetUp() override
    {
        NetbufTest::SetUp();
        g_replies.clear();
        g_cleanups.clear();
        ASSERT_TRUE(server.Running()) << "the loopback server did not start";
    }
    void TearDown() override
    {
        NetbufTest::TearDown(); // shutdown first: no request may start with the short deadline
        HTTP_SetDeadline(0);
    }
    int32_t Get(const std::string& path, void* user = nullptr)
    {
        return HTTP_Get(server.Url(path).c_str(), -1, Capture, CountCleanUp, user);
    }
    // Waits until every request is gone from the list (delivered or discarded).
    bool Settle(int timeoutMs = 20000)
    {
        return Netbuf_PumpUntil([] { return HTTP_RequestList() == nullptr; }, timeoutMs);
    }

    TestServer server;
};

TEST_F(Http, GetDeliversTheReplyMapOnce)
{
    int user = 0;
    const int32_t id = Get("/hello", &user);
    ASSERT_GE(id, 0);
    ASSERT_TRUE(Settle());
    ASSERT_EQ(g_replies.size(), 1u);
    const Reply& r = g_replies[0];
    EXPECT_EQ(r.id, id);
    EXPECT_EQ(r.map.at("id"), std::to_string(id));
    EXPECT_EQ(r.map.at("url"), server.Url("/hello"));
    EXPECT_EQ(r.map.at("result"), "Hello, world");
    EXPECT_EQ(r.map.at("http_status"), "200");
    EXPECT_EQ(r.map.at("status"), "0");
    EXPECT_EQ(r.map.size(), 5u);
    EXPECT_EQ(g_cleanups[&user], 1);
    EXPECT_EQ(HTTP_RunningCount(), 0);

    // The request line and headers the server saw.
    Get("/echo");
    ASSERT_TRUE(Settle());
    const std::string& echo = g_replies.back().body;
    EXPECT_NE(echo.find("\"agent\": \"Zimbrel HTTP\""), std::string::npos) << echo;
    EXPECT_NE(echo.find("\"method\": \"GET\""), std::string::npos) << echo;
}

TEST_F(Http, PostCarriesItsWholeText)
{
    const int32_t small = HTTP_Post(server.Url("/echo").c_str(), "a=1&b=two", Capture, CountCleanUp, nullptr);
    // Texts of 0x20000 bytes and more are sent whole.
    std::string big(0x20000 + 12345, 'q');
    for (size_t i = 0; i < big.size(); i += 97) big[i] = char('a' + i % 26);
    const int32_t large = HTTP_Post(server.Url("/echo").c_str(), big.c_str(), Capture, CountCleanUp, nullptr);
    const int32_t exact = HTTP_Post(server.Url("/echo").c_str(), std::string(0x20000, 'z').c_str(), Capture,
                                    CountCleanUp, nullptr);
    ASSERT_TRUE(Settle());
    ASSERT_EQ(g_replies.size(), 3u);
    const std::string s = ReplyOf(small)->body;
    EXPECT_NE(s.find("\"method\": \"POST\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"body\": \"a=1&b=two\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"ctype\": \"application/x-www-form-urlencoded\""), std::string::npos) << s;
    EXPECT_NE(s.find("\"expect\": null"), std::string::npos) << s;
    const std::string l = ReplyOf(large)->body;
    EXPECT_NE(l.find("\"length\": " + std::to_string(big.size())), std::string::npos) << l.substr(0, 200);
    EXPECT_NE(l.find("\"sha1\": \"" + Sha1(big) + "\""), std::string::npos);
    EXPECT_NE(ReplyOf(exact)->body.find("\"length\": 131072"), std::string::npos);
}

TEST_F(Http, StatusCodesAreDelivered)
{
    const int32_t a = Get("/status/404"), b = Get("/status/500"), c = Get("/status/201"), d = Get("/nothing");
    const int32_t e = Get("/empty");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReplyOf(a)->map.at("http_status"), "404");
    EXPECT_EQ(ReplyOf(a)->map.at("result"), "status 404");
    EXPECT_EQ(ReplyOf(b)->map.at("http_status"), "500");
    EXPECT_EQ(ReplyOf(c)->map.at("http_status"), "201");
    EXPECT_EQ(ReplyOf(d)->map.at("http_status"), "404");
    // Nothing received: status -1, an empty result.
    EXPECT_EQ(ReplyOf(e)->map.at("http_status"), "200");
    EXPECT_EQ(ReplyOf(e)->map.at("status"), "-1");
    EXPECT_EQ(ReplyOf(e)->map.at("result"), "");
}

TEST_F(Http, LargeRepliesArriveWholeWithOrWithoutALength)
{
    const int32_t withLength = Get("/bytes/300000");
    const int32_t chunked = Get("/chunked/300000");
    const int32_t closed = Get("/close/200001");
    const int32_t exactBuffer = Get("/chunked/131072"); // fills the first buffer exactly
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReplyOf(withLength)->body, Pattern(300000));
    EXPECT_EQ(ReplyOf(chunked)->body, Pattern(300000));
    EXPECT_EQ(ReplyOf(closed)->body, Pattern(200001));
    EXPECT_EQ(ReplyOf(exactBuffer)->received, 131072);
    EXPECT_EQ(ReplyOf(exactBuffer)->body, Pattern(131072));
    // The result text ends at the first zero byte of the reply, as a text does.
    EXPECT_EQ(ReplyOf(withLength)->map.at("status"), "0");
    // The reply's block became the result text: nothing was copied on the main thread.
    for (int32_t id : {withLength, chunked, closed, exactBuffer}) EXPECT_TRUE(ReplyOf(id)->handedOver) << id;
    const int32_t text = Get("/text/3000000");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReplyOf(text)->map.at("result").size(), 3000000u);
    EXPECT_TRUE(ReplyOf(text)->handedOver);
}

TEST_F(Http, RepliesPastTheCapOrBrokenOffArriveEmpty)
{
    const int32_t claim = Get("/claim");
    const int32_t broken = Get("/broken");
    ASSERT_TRUE(Settle());
    ASSERT_NE(ReplyOf(claim), nullptr);
    EXPECT_EQ(ReplyOf(claim)->received, 0);
    EXPECT_EQ(ReplyOf(claim)->map.at("status"), "-1");
    EXPECT_EQ(ReplyOf(claim)->map.at("http_status"), "200");
    EXPECT_TRUE(Logged("HttpError:InternetReadFile: reply larger than 67108864 bytes\n"));
    ASSERT_NE(ReplyOf(broken), nullptr);
    EXPECT_EQ(ReplyOf(broken)->map.at("status"), "-1");
    EXPECT_EQ(ReplyOf(broken)->map.at("result"), "");
    EXPECT_EQ(Log().find("HttpError:HttpSendRequest"), std::string::npos) << Log();
}

TEST_F(Http, TheNinthRequestWaitsForAThread)
{
    std::vector<int32_t> ids;
    for (int i = 0; i < 8; ++i) ids.push_back(Get("/hold"));
    const int32_t ninth = Get("/hold");
    const int32_t post = HTTP_Post(server.Url("/echo").c_str(), "x", Capture, CountCleanUp, nullptr);
    EXPECT_EQ(HTTP_RunningCount(), 8);
    EXPECT_EQ(Find(ninth)->state.load(), HTTP_STATE_WAIT_GET);
    EXPECT_EQ(Find(post)->state.load(), HTTP_STATE_WAIT_POST);
    // All eight reach the server while the ninth still waits.
    ASSERT_TRUE(Netbuf_PumpUntil([&] { return Netbuf_Fetch(server, "/holding") == "8"; }));
    EXPECT_EQ(Find(ninth)->state.load(), HTTP_STATE_WAIT_GET);
    EXPECT_TRUE(g_replies.empty());
    EXPECT_EQ(Netbuf_Fetch(server, "/release"), "released");
    ASSERT_TRUE(Settle());
    ASSERT_EQ(g_replies.size(), 10u);
    for (int32_t id : ids) EXPECT_EQ(ReplyOf(id)->map.at("result"), "held");
    EXPECT_EQ(ReplyOf(ninth)->map.at("result"), "held");
    EXPECT_NE(ReplyOf(post)->map.at("result").find("\"method\": \"POST\""), std::string::npos);
}

TEST_F(Http, EveryFailureIsDeliveredOnceWithinTheDeadline)
{
    HTTP_SetDeadline(2000);
    int user = 0;
    const std::string closed = "http://127.0.0.1:" + std::to_string(Netbuf_ClosedPort()) + "/hello";
    std::map<int32_t, std::string> failing; // id -> what the server does
    failing[HTTP_Get(closed.c_str(), -1, Capture, CountCleanUp, &user)] = "closed port";
    // Not a web address the layer can fetch: logged at once, delivered as a failure.
    failing[HTTP_Get("http://", -1, Capture, CountCleanUp, &user)] = "no address";
    for (const char* path : {"/silent", "/garbage", "/closenow", "/drip", "/endless"})
        failing[Get(path, &user)] = path;
    EXPECT_TRUE(Logged("InternetCanonicalizeUrl: "));
    const auto start = std::chrono::steady_clock::now();
    // The game keeps stepping meanwhile: no pass of the asynchronous phase waits on the network.
    double slowest = 0;
    int passes = 0;
    while (HTTP_RequestList() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        const auto before = std::chrono::steady_clock::now();
        Async_ProcessRequests();
        slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
        ++passes;
        usleep(5000);
    }
    ASSERT_EQ(HTTP_RequestList(), nullptr) << Log();
    EXPECT_GT(passes, 100);
    EXPECT_LT(slowest, 0.5);
    ASSERT_EQ(g_replies.size(), failing.size()) << Log(); // exactly once each
    for (const auto& [id, what] : failing) {
        const Reply* r = ReplyOf(id);
        ASSERT_NE(r, nullptr) << what;
        EXPECT_EQ(r->map.at("status"), "-1") << what;
        EXPECT_EQ(r->map.at("result"), "") << what;
        EXPECT_EQ(r->map.at("id"), std::to_string(id)) << what;
        // A status code only when the reply's head came.
        const bool headCame = what == "/drip" || what == "/endless";
        EXPECT_EQ(r->map.at("http_status"), headCame ? "200" : "0") << what;
        EXPECT_LT(std::chrono::duration<double>(r->at - start).count(), 10.0) << what;
    }
    EXPECT_EQ(g_cleanups[&user], int(failing.size()));
    EXPECT_TRUE(Logged("HttpError:HttpSendRequest: ")) << Log();
    EXPECT_TRUE(Logged("HttpError:InternetReadFile: ")) << Log();
    // Outside the test the deadline is a minute.
    HTTP_SetDeadline(0);
    EXPECT_EQ(kHttpDeadlineMs, 60000);
}

TEST_F(Http, SlowServersCannotStarveLaterRequests)
{
    HTTP_SetDeadline(2000);
    std::vector<int32_t> slow;
    for (int i = 0; i < kHttpMaxThreads; ++i) slow.push_back(Get(i % 2 ? "/drip" : "/silent"));
    const int32_t healthy = Get("/hello");
    EXPECT_EQ(Find(healthy)->state.load(), HTTP_STATE_WAIT_GET);
    ASSERT_TRUE(Settle(20000)) << Log();
    ASSERT_NE(ReplyOf(healthy), nullptr);
    EXPECT_EQ(ReplyOf(healthy)->map.at("result"), "Hello, world");
    for (int32_t id : slow) EXPECT_EQ(ReplyOf(id)->map.at("status"), "-1");
}

TEST_F(Http, RedirectsAreFollowedAndUnsafeCharactersEncoded)
{
    const int32_t r = Get("/redirect");
    const int32_t e = Get("/echo/a b\"<x>?q=1 2");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReplyOf(r)->map.at("result"), "Hello, world");
    EXPECT_EQ(ReplyOf(r)->map.at("http_status"), "200");
    EXPECT_NE(ReplyOf(e)->body.find("\"path\": \"/echo/a%20b%22%3Cx%3E?q=1%202\""), std::string::npos)
        << ReplyOf(e)->body;
}

TEST_F(Http, IdsAreUniqueAndIncreaseAcrossAllRequests)
{
    const int32_t first = HTTP_NextId();
    const int32_t a = Get("/hello");
    const int32_t b = HTTP_Post(server.Url("/echo").c_str(), "", Capture, CountCleanUp, nullptr);
    HTTP_REQ_CONTEXT* dialog = new HTTP_REQ_CONTEXT(nullptr, 0, nullptr, CountCleanUp, nullptr); // a dialog's
    const int32_t c = Get("/hello");
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, first + 1);
    EXPECT_EQ(dialog->id, first + 2);
    EXPECT_EQ(c, first + 3);
    // A request finished by its owner (as a dialog is) is delivered with the others.
    dialog->state.store(HTTP_STATE_FINISHED);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(g_replies.size(), 3u);
    EXPECT_EQ(g_cleanups[nullptr], 4);
}

TEST_F(Http, HttpsNeedsATrustedCertificate)
{
    TestServer tls(true);
    ASSERT_TRUE(tls.Running());
    int refused = 0;
    HTTP_Get(tls.Url("/hello").c_str(), -1, Capture, CountCleanUp, &refused);
    // Plain text to the TLS port and TLS to the plain port fail as well.
    const std::string plainToTls = "http://127.0.0.1:" + std::to_string(tls.Port()) + "/hello";
    const std::string tlsToPlain = "https://127.0.0.1:" + std::to_string(server.Port()) + "/hello";
    HTTP_Get(plainToTls.c_str(), -1, Capture, CountCleanUp, &refused);
    HTTP_Get(tlsToPlain.c_str(), -1, Capture, CountCleanUp, &refused);
    ASSERT_TRUE(Settle());
    ASSERT_EQ(g_replies.size(), 3u); // each delivered as a failure
    for (const Reply& r : g_replies) EXPECT_EQ(r.map.at("status"), "-1");
    EXPECT_EQ(g_cleanups[&refused], 3);
    EXPECT_TRUE(Logged("HttpError:HttpSendRequest: ")) << Log();
    g_replies.clear();

    HTTP_SetTrustedCertificates(Netbuf_DataPath("cert.pem").c_str());
    const int32_t get = HTTP_Get(tls.Url("/hello").c_str(), -1, Capture, CountCleanUp, nullptr);
    const int32_t post = HTTP_Post(tls.Url("/echo").c_str(), "secret=1", Capture, CountCleanUp, nullptr);
    ASSERT_TRUE(Settle());
    ASSERT_NE(ReplyOf(get), nullptr) << Log();
    EXPECT_EQ(ReplyOf(get)->map.at("result"), "Hello, world");
    ASSERT_NE(ReplyOf(post), nullptr) << Log();
    EXPECT_NE(ReplyOf(post)->body.find("\"body\": \"secret=1\""), std::string::npos);
}

TEST_F(Http, BuiltinsAcceptOnlyWebAddresses)
{
    const int32_t next = HTTP_NextId();
    EXPECT_EQ(Call("http_get", {"ftp://127.0.0.1/x"}).Real(), -1);
    EXPECT_EQ(Call("http_get", {"HTTP://127.0.0.1/x"}).Real(), -1);
    EXPECT_EQ(Call("http_get", {5}).Real(), -1);
    EXPECT_EQ(Call("http_post_string", {"file:///etc/passwd", "x"}).Real(), -1);
    EXPECT_EQ(HTTP_NextId(), next); // nothing was made
    EXPECT_EQ(HTTP_RequestList(), nullptr);
    const int32_t get = int32_t(Call("http_get", {server.Url("/hello")}).Real());
    const int32_t post = int32_t(Call("http_post_string", {server.Url("/echo"), "k=v"}).Real());
    EXPECT_EQ(get, next);
    EXPECT_EQ(post, next + 1);
    ASSERT_NE(Find(get), nullptr);
    EXPECT_EQ(Find(get)->completion, HTTP_OnComplete);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(DS_Maps().Get(0), nullptr); // the delivered maps are gone
}

TEST_F(Http, ShutdownAbortsRunningExchanges)
{
    int user = 0;
    const auto asked = std::chrono::steady_clock::now();
    Get("/stall", &user);
    Get("/hold", &user);
    for (int i = 0; i < 9; ++i) Get("/hold", &user); // two of them wait
    ASSERT_TRUE(Netbuf_PumpUntil([] {
        for (HTTP_REQ_CONTEXT* r = HTTP_RequestList(); r; r = r->next)
            if (r->state.load() == HTTP_STATE_CREATED) return false;
        return true;
    }));
    const auto start = std::chrono::steady_clock::now();
    HTTP_Shutdown();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The abort wakes every worker's wait for its server at once: the shutdown takes no longer
    // than the workers' start took on this machine now (and a quarter of a second).
    EXPECT_LT(seconds, 0.25 + 2 * std::chrono::duration<double>(start - asked).count());
    EXPECT_EQ(HTTP_RequestList(), nullptr);
    EXPECT_EQ(HTTP_RunningCount(), 0);
    EXPECT_EQ(g_cleanups[&user], 11);
    EXPECT_TRUE(g_replies.empty());
    // Requests work again afterwards.
    Get("/hello");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(g_replies.size(), 1u);
    Netbuf_Fetch(server, "/release");
}
