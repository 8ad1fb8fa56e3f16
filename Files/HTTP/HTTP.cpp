// The request list, the request counter, the table of running worker threads, queuing,
// reaping and shutdown (Files/HTTP/HTTP.h). The exchange itself and the threads are in
// Files/HTTP/Linux/HTTPM.cpp.
//
// Main thread only, except the releaser of large blocks (its own thread and locked queue).
// Needs the log console and the memory manager.
#include "Files/HTTP/HTTP.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Platform/MemoryManager.h"

namespace {

HTTP_REQ_CONTEXT* g_head = nullptr; // newest first
int32_t g_nextId = 0;
// Running threads: requests whose worker has not been reaped yet, in start order until a
// reaped entry is replaced by the last one.
HTTP_REQ_CONTEXT* g_threads[kHttpMaxThreads];
int32_t g_threadCount = 0;

// Starts the request's thread: false when 8 run. A thread that cannot be made discards the
// request (*discarded set) and still answers true, as the request is then dealt with.
bool StartThread(HTTP_REQ_CONTEXT* request, bool* discarded)
{
    *discarded = false;
    if (g_threadCount >= kHttpMaxThreads) return false;
    const char* message = "";
    if (!HTTPM_StartThread(request, &message)) {
        Console_Output("%s: %s\n", "Create Http Thread", message);
        HTTP_DeleteRequest(request);
        *discarded = true;
        return true;
    }
    g_threads[g_threadCount++] = request;
    return true;
}

// Starts the oldest waiting requests while threads are free.
void StartWaiting()
{
    while (g_threadCount < kHttpMaxThreads) {
        HTTP_REQ_CONTEXT* oldest = nullptr;
        for (HTTP_REQ_CONTEXT* r = g_head; r; r = r->next) {
            const int32_t s = r->state.load();
            if (r->inUse && (s == HTTP_STATE_WAIT_POST || s == HTTP_STATE_WAIT_GET)) oldest = r;
        }
        if (!oldest) return;
        oldest->state.store(HTTP_STATE_CREATED);
        bool discarded;
        StartThread(oldest, &discarded);
    }
}

int32_t Queue(HTTP_REQ_CONTEXT* request, int32_t waitState)
{
    const int32_t id = request->id;
    bool discarded = false;
    if (!StartThread(request, &discarded)) request->state.store(waitState);
    return discarded ? -1 : id;
}

// A request whose client library could not be opened: dealt with at once.
int32_t Refuse(HTTP_REQ_CONTEXT* request, const char* message)
{
    Console_Output("%s: %s\n", "InternetOpen", message);
    HTTP_DeleteRequest(request);
    return -1;
}

// The releaser: a detached thread that frees the blocks queued to it. Its state is never
// destroyed, so the thread may still wait on it while the process ends.
struct Releaser {
    std::mutex lock;
    std::condition_variable wake, idle;
    std::vector<char*> queue;
    bool started = false;
    bool busy = false;
};

Releaser& TheReleaser()
{
    static Releaser* r = new Releaser();
    return *r;
}

void ReleaserLoop(Releaser* r)
{
    QuitRequest_LeaveSignalsToMain();
    std::unique_lock<std::mutex> hold(r->lock);
    for (;;) {
        r->wake.wait(hold, [r] { return !r->queue.empty(); });
        std::vector<char*> blocks;
        blocks.swap(r->queue);
        r->busy = true;
        hold.unlock();
        for (char* block : blocks) MEM_FREE(block);
        hold.lock();
        r->busy = false;
        if (r->queue.empty()) r->idle.notify_all();
    }
}

// Waits until every queued block is freed.
void WaitForReleases()
{
    Releaser& r = TheReleaser();
    std::unique_lock<std::mutex> hold(r.lock);
    r.idle.wait(hold, [&r] { return r.queue.empty() && !r.busy; });
}

} // namespace

void HTTP_ReleaseLater(char* block)
{
    if (!block) return;
    Releaser& r = TheReleaser();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.started) {
        try {
            std::thread(ReleaserLoop, &r).detach();
            r.started = true;
        } catch (const std::system_error&) {
            MEM_FREE(block); // no thread: freed here
            return;
        }
    }
    r.queue.push_back(block);
    r.wake.notify_one();
}

HTTP_REQ_CONTEXT::HTTP_REQ_CONTEXT(const char* url_, int32_t bufferSize_, HttpCompletion completion_,
                                   HttpCleanUp cleanUp_, void* user_)
    : completion(completion_), cleanUp(cleanUp_), user(user_), id(g_nextId)
{
    g_nextId = int32_t(uint32_t(g_nextId) + 1u); // wraps instead of overflowing
    if (url_) url = MEM_STRDUP(url_);
    if (bufferSize_ > 0) {
        buffer = static_cast<uint8_t*>(MEM_ALLOC(size_t(bufferSize_)));
        std::memset(buffer, 0xFF, size_t(bufferSize_));
        bufferSize = bufferSize_;
    }
    next = g_head;
    g_head = this;
}

HTTP_REQ_CONTEXT::~HTTP_REQ_CONTEXT()
{
    MEM_FREE(buffer);
    std::free(errorText);
    MEM_FREE(url);
}

int32_t HTTP_Get(const char* url, int32_t kind, HttpCompletion completion, HttpCleanUp cleanUp, void* user)
{
    (void)kind; // the caller's word; nothing reads it
    const char* message = "";
    const bool open = HTTPM_Open(&message);
    HTTP_REQ_CONTEXT* request = HTTPM_NewRequest(url, nullptr, completion, cleanUp, user);
    if (!open) return Refuse(request, message);
    return Queue(request, HTTP_STATE_WAIT_GET);
}

int32_t HTTP_Post(const char* url, const char* body, HttpCompletion completion, HttpCleanUp cleanUp, void* user)
{
    const char* message = "";
    const bool open = HTTPM_Open(&message);
    HTTP_REQ_CONTEXT* request = HTTPM_NewRequest(url, body ? body : "", completion, cleanUp, user);
    if (!open) return Refuse(request, message);
    return Queue(request, HTTP_STATE_WAIT_POST);
}

void HTTP_ReapThreads()
{
    for (int32_t i = 0; i < g_threadCount; ++i) {
        HTTP_REQ_CONTEXT* r = g_threads[i];
        int32_t exitCode = 0;
        if (!HTTPM_ThreadFinished(r, &exitCode)) continue;
        if (r->errorText) Console_Output("HttpError:%s\n", r->errorText);
        // The last entry takes this slot; it is looked at in the next pass.
        g_threads[i] = g_threads[--g_threadCount];
        g_threads[g_threadCount] = nullptr;
        if (exitCode != 0) HTTP_DeleteRequest(r);
        else r->state.store(HTTP_STATE_FINISHED);
        StartWaiting();
    }
}

char* HTTP_TakeReply(HTTP_REQ_CONTEXT* request)
{
    if (!request || request->received < 1 || !request->buffer) return nullptr;
    char* text = reinterpret_cast<char*>(request->buffer);
    request->buffer = nullptr;
    request->bufferSize = 0;
    return text;
}

HTTP_REQ_CONTEXT* HTTP_RequestList() { return g_head; }
HTTP_REQ_CONTEXT** HTTP_RequestListHead() { return &g_head; }
int32_t HTTP_NextId() { return g_nextId; }
int32_t HTTP_RunningCount() { return g_threadCount; }

void HTTP_DeleteRequest(HTTP_REQ_CONTEXT* request)
{
    if (!request) return;
    for (HTTP_REQ_CONTEXT** p = &g_head; *p; p = &(*p)->next)
        if (*p == request) {
            *p = request->next;
            break;
        }
    request->next = nullptr;
    HTTP_DestroyRequest(request);
}

void HTTP_DestroyRequest(HTTP_REQ_CONTEXT* request)
{
    if (!request) return;
    if (request->cleanUp) request->cleanUp(request);
    delete request;
}

void HTTP_Shutdown()
{
    HTTPM_SetAbort(true);
    for (int32_t i = 0; i < g_threadCount; ++i) {
        HTTPM_WaitThread(g_threads[i]); // the abort ends the exchange at once
        g_threads[i] = nullptr;
    }
    g_threadCount = 0;
    while (g_head) HTTP_DeleteRequest(g_head);
    WaitForReleases();
    HTTPM_SetAbort(false);
    HTTPM_Close();
}

void HTTP_SetTrustedCertificates(const char* pemFile) { HTTPM_SetTrustedCertificates(pemFile); }

void HTTP_SetDeadline(int32_t milliseconds) { HTTPM_SetDeadline(milliseconds > 0 ? milliseconds : kHttpDeadlineMs); }
