// The request list, the request counter, the table of running worker threads, queuing,
// reaping and shutdown (Files/HTTP/HTTP.h). The exchange itself and the threads are in
// Files/HTTP/Linux/HTTPM.cpp.
//
// Main thread only. Needs the log console and the memory manager.
#include "Files/HTTP/HTTP.h"

#include <cstdlib>
#include <cstring>

#include "Files/Base/Console.h"
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

} // namespace

HTTP_REQ_CONTEXT::HTTP_REQ_CONTEXT(const char* url_, int32_t bufferSize_, HttpCompletion completion_,
                                   HttpCleanUp cleanUp_, void* user_)
    : completion(completion_), cleanUp(cleanUp_), user(user_), id(g_nextId)
{
    g_nextId = int32_t(uint32_t(g_nextId) + 1u); // wraps instead of overflowing
    if (url_) url = MEM_STRDUP(url_);
    if (bufferSize_ > 0) {
        buffer = static_cast<uint8_t*>(std::malloc(size_t(bufferSize_)));
        if (!buffer) MemoryManager::OutOfMemory();
        std::memset(buffer, 0xFF, size_t(bufferSize_));
        bufferSize = bufferSize_;
    }
    next = g_head;
    g_head = this;
}

HTTP_REQ_CONTEXT::~HTTP_REQ_CONTEXT()
{
    std::free(buffer);
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
        HTTPM_WaitThread(g_threads[i]); // the abort ends the exchange within a second or so
        g_threads[i] = nullptr;
    }
    g_threadCount = 0;
    while (g_head) HTTP_DeleteRequest(g_head);
    HTTPM_SetAbort(false);
    HTTPM_Close();
}

void HTTP_SetTrustedCertificates(const char* pemFile) { HTTPM_SetTrustedCertificates(pemFile); }
