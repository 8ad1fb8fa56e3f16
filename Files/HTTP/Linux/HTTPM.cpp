// The HTTP exchange on libcurl and the worker threads (the back end of Files/HTTP/HTTP.h).
//
// Each request runs on its own thread with its own easy handle, driven through a multi handle
// of its own whose wait the shutdown wakes: the user agent "Zimbrel HTTP", only http and
// https (redirects too, at most 10), TLS exactly when the scheme is https (peers verified
// against the system's certificates), the proxy the environment names, a 30-second connect
// limit and the deadline of the whole exchange (kHttpDeadlineMs). A POST carries
// "Content-Type: application/x-www-form-urlencoded" and its whole text.
//
// Outcomes (the exit code the reaper reads):
//   the reply arrived: 0, with the status code, the bytes and a zero byte after them;
//   the exchange failed before any reply (no address, no connection, TLS refused, no reply,
//     garbage, the deadline): "HttpSendRequest: ..." and 0 with nothing received and status
//     0, so the request is delivered as a failure;
//   the reply broke off, passed kHttpMaxReply bytes or the deadline: "InternetReadFile: ..."
//     and 0 with nothing received and the reply's status;
//   a URL that cannot be fetched (logged when the request was made): 0, nothing received;
//   shutdown aborted it: -1, the only request never delivered.
// The worker writes only its own request; the reply is a memory-manager block (the delivery
// hands it over as the result text without a copy); error texts are C-heap blocks of 512
// bytes.
//
// Needs libcurl and std::thread.
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/HTTP/HTTP.h"
#include "Platform/MemoryManager.h"

namespace {

std::atomic<bool> g_abort{false};
bool g_opened = false;
std::string g_trusted; // PEM file to trust instead of the system's (tests)
int32_t g_deadlineMs = kHttpDeadlineMs;

class HttpRequestM : public HTTP_REQ_CONTEXT {
public:
    HttpRequestM(const char* address_, HttpCompletion completion_, HttpCleanUp cleanUp_, void* user_)
        : HTTP_REQ_CONTEXT(address_, 0, completion_, cleanUp_, user_)
    {
    }
    ~HttpRequestM() override
    {
        if (worker.joinable()) worker.join();
    }

    std::string address; // canonical; empty when the URL was refused
    std::string trusted;
    int32_t deadlineMs = kHttpDeadlineMs;
    bool post = false;
    std::string body;
    std::thread worker;
    std::atomic<bool> finished{false};
    int32_t exitCode = 0;
    // The worker's transfer while it runs: the shutdown wakes its wait (curl_multi_wakeup).
    std::mutex transferLock;
    CURLM* transfer = nullptr;
    // Worker only.
    CURL* handle = nullptr;
    bool sizeChecked = false;
    bool tooLarge = false;
};

void SetError(HttpRequestM* r, const char* operation, const char* message)
{
    if (!r->errorText) r->errorText = static_cast<char*>(std::malloc(512));
    if (r->errorText) std::snprintf(r->errorText, 512, "%s: %s\n", operation, message);
}

// Makes room for at least need bytes (a memory-manager block; the bytes received move over);
// false past kHttpMaxReply + 1.
bool Reserve(HttpRequestM* r, size_t need)
{
    if (size_t(r->bufferSize) >= need) return true;
    size_t size = r->bufferSize > 0 ? size_t(r->bufferSize) : 0x20000;
    while (size < need) size *= 2;
    if (size > size_t(kHttpMaxReply) + 1) size = size_t(kHttpMaxReply) + 1;
    if (size < need) return false;
    uint8_t* p = static_cast<uint8_t*>(MEM_ALLOC(size));
    if (r->received > 0) std::memcpy(p, r->buffer, size_t(r->received));
    MEM_FREE(r->buffer);
    r->buffer = p;
    r->bufferSize = int32_t(size);
    return true;
}

size_t OnData(char* data, size_t size, size_t count, void* user)
{
    HttpRequestM* r = static_cast<HttpRequestM*>(user);
    const size_t n = size * count;
    if (!r->sizeChecked) {
        r->sizeChecked = true;
        curl_off_t length = -1;
        if (curl_easy_getinfo(r->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0) {
            if (length > kHttpMaxReply) {
                r->tooLarge = true;
                return 0;
            }
            if (!Reserve(r, size_t(length) + 1)) return 0;
        }
    }
    // One byte always stays free for the terminator.
    if (size_t(r->received) + n > size_t(kHttpMaxReply)) {
        r->tooLarge = true;
        return 0;
    }
    if (!Reserve(r, size_t(r->received) + n + 1)) return 0;
    std::memcpy(r->buffer + r->received, data, n);
    r->received += int32_t(n);
    return n;
}

// Runs the exchange of h to its end, or until the shutdown's abort, which wakes the wait at
// once (HTTPM_WaitThread). The exchange's result; CURLE_ABORTED_BY_CALLBACK when aborted.
CURLcode Transfer(HttpRequestM* r, CURL* h)
{
    CURLM* multi = curl_multi_init();
    if (!multi || curl_multi_add_handle(multi, h) != CURLM_OK) {
        if (multi) curl_multi_cleanup(multi);
        return CURLE_OUT_OF_MEMORY;
    }
    {
        std::lock_guard<std::mutex> hold(r->transferLock);
        r->transfer = multi;
    }
    CURLcode rc = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            rc = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (!running) {
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi, &left))
                if (m->msg == CURLMSG_DONE) rc = m->data.result;
            break;
        }
        if (g_abort.load()) break;
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    {
        std::lock_guard<std::mutex> hold(r->transferLock);
        r->transfer = nullptr;
    }
    curl_multi_remove_handle(multi, h);
    curl_multi_cleanup(multi);
    return rc;
}

int32_t Exchange(HttpRequestM* r)
{
    r->httpStatus = 0; // until a reply says otherwise
    if (r->address.empty()) return 0; // logged when the request was made
    CURL* h = curl_easy_init();
    if (!h) {
        SetError(r, "InternetConnect", "no client handle");
        return 0;
    }
    r->handle = h;
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_URL, r->address.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Zimbrel HTTP");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(r->deadlineMs));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, r);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    if (!r->trusted.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, r->trusted.c_str());
    struct curl_slist* headers = nullptr;
    if (r->post) {
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, r->body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r->body.size()));
    }
    r->state.store(HTTP_STATE_SENT);
    const CURLcode rc = Transfer(r, h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    r->httpStatus = int32_t(status);
    const char* message = error[0] ? error : curl_easy_strerror(rc);
    int32_t exitCode = 0;
    if (rc != CURLE_OK) {
        if (g_abort.load()) {
            SetError(r, "HttpSendRequest", "aborted");
            exitCode = -1;
        } else if (r->tooLarge) {
            char text[96];
            std::snprintf(text, sizeof text, "reply larger than %d bytes", kHttpMaxReply);
            SetError(r, "InternetReadFile", text);
            r->received = 0;
        } else {
            SetError(r, status != 0 ? "InternetReadFile" : "HttpSendRequest", message);
            r->received = 0;
        }
    }
    // The zero byte after the reply (OnData keeps a byte free for it).
    if (exitCode == 0 && r->received > 0) {
        if (Reserve(r, size_t(r->received) + 1)) r->buffer[r->received] = 0;
        else r->received = 0;
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    r->handle = nullptr;
    return exitCode;
}

void RunWorker(HttpRequestM* r)
{
    QuitRequest_LeaveSignalsToMain();
    r->exitCode = Exchange(r);
    r->finished.store(true, std::memory_order_release);
}

// Percent-encodes the bytes a request line cannot carry (blanks, controls, non-ASCII and the
// unsafe punctuation), as a browser does before sending.
std::string Canonical(const char* url)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(url); *p; ++p) {
        const unsigned char c = *p;
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

// The canonical address, or "" with a message for a URL that cannot be fetched.
std::string Check(const char* url, std::string* message)
{
    if (!url || (std::strncmp(url, "http://", 7) != 0 && std::strncmp(url, "https://", 8) != 0)) {
        *message = "only http:// and https:// addresses are supported";
        return "";
    }
    std::string address = Canonical(url);
    CURLU* u = curl_url();
    if (!u) {
        *message = "out of memory";
        return "";
    }
    CURLUcode rc = curl_url_set(u, CURLUPART_URL, address.c_str(), 0);
    char* host = nullptr;
    if (rc == CURLUE_OK) rc = curl_url_get(u, CURLUPART_HOST, &host, 0);
    if (rc == CURLUE_OK && (!host || !host[0])) rc = CURLUE_NO_HOST;
    curl_free(host);
    curl_url_cleanup(u);
    if (rc != CURLUE_OK) {
        *message = curl_url_strerror(rc);
        return "";
    }
    return address;
}

} // namespace

bool HTTPM_Open(const char** message)
{
    if (g_opened) return true;
    const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
        *message = curl_easy_strerror(rc);
        return false;
    }
    g_opened = true;
    return true;
}

void HTTPM_Close()
{
    if (!g_opened) return;
    curl_global_cleanup();
    g_opened = false;
}

HTTP_REQ_CONTEXT* HTTPM_NewRequest(const char* url, const char* body, HttpCompletion completion, HttpCleanUp cleanUp,
                                   void* user)
{
    HttpRequestM* r = new HttpRequestM(url, completion, cleanUp, user);
    std::string message;
    r->address = g_opened ? Check(url, &message) : std::string();
    if (g_opened && r->address.empty()) Console_Output("%s: %s\n", "InternetCanonicalizeUrl", message.c_str());
    r->trusted = g_trusted;
    r->deadlineMs = g_deadlineMs;
    if (body) {
        r->post = true;
        r->body = body;
    }
    return r;
}

bool HTTPM_StartThread(HTTP_REQ_CONTEXT* request, const char** message)
{
    HttpRequestM* r = static_cast<HttpRequestM*>(request);
    try {
        r->worker = std::thread(RunWorker, r);
    } catch (const std::system_error&) {
        *message = "no thread could be made";
        return false;
    }
    return true;
}

bool HTTPM_ThreadFinished(HTTP_REQ_CONTEXT* request, int32_t* exitCode)
{
    HttpRequestM* r = static_cast<HttpRequestM*>(request);
    if (!r->finished.load(std::memory_order_acquire)) return false;
    if (r->worker.joinable()) r->worker.join();
    *exitCode = r->exitCode;
    return true;
}

void HTTPM_WaitThread(HTTP_REQ_CONTEXT* request)
{
    HttpRequestM* r = static_cast<HttpRequestM*>(request);
    {
        // The abort is set: a transfer waiting for its server looks at it now, not in a second.
        std::lock_guard<std::mutex> hold(r->transferLock);
        if (r->transfer) curl_multi_wakeup(r->transfer);
    }
    if (r->worker.joinable()) r->worker.join();
}

void HTTPM_SetAbort(bool abort) { g_abort.store(abort); }

void HTTPM_SetTrustedCertificates(const char* pemFile) { g_trusted = pemFile ? pemFile : ""; }

void HTTPM_SetDeadline(int32_t milliseconds) { g_deadlineMs = milliseconds; }
