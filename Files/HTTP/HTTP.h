// Asynchronous HTTP requests: GET and POST run on worker threads, at most 8 at a time, so the
// frame loop never waits for the network. Every request (and every other job whose result
// arrives later, such as the asynchronous dialogs) is an HTTP_REQ_CONTEXT on one global list;
// once per step the asynchronous phase (Files/Run/Run_Async.h) reaps finished threads, starts
// waiting requests and hands each finished request to its owner through its completion
// function, then destroys it.
//
// Ownership: the list owns its requests. A request's clean-up function runs exactly once,
// right before the request is deleted, whether it was delivered or discarded (shutdown, a
// thread that could not be made), so the user record it carries is always released.
//
// Every request that was started is delivered exactly once, also when it fails: no address,
// no connection, no reply or a reply that is not HTTP, a connection closed at once, a reply
// that breaks off, is too large, or is not complete within the deadline (kHttpDeadlineMs,
// connecting included). A failure is delivered with nothing received (the result map's
// "status" -1) and the reply's status code when one came (else 0); its error text is logged
// as "HttpError:%s\n". Only shutdown discards running requests.
//
// Threads: a worker touches only its own request (state, HTTP status, reply bytes, error
// text); the main thread reads them only after the worker has ended. The list and the thread
// table belong to the main thread. One more thread, started at the first large delivery,
// frees the blocks HTTP_ReleaseLater is given (its queue is locked).
//
// Needs the log console and the memory manager; the exchange and the threads are in
// Files/HTTP/Linux/HTTPM.cpp (libcurl: one easy handle per worker thread, TLS exactly when
// the scheme is https, user agent "Zimbrel HTTP", only "http://" and "https://" addresses).
#pragma once

#include <atomic>
#include <cstdint>

// Request states.
enum : int32_t {
    HTTP_STATE_CREATED = 1,   // created, or taken from the waiting list and its thread started
    HTTP_STATE_SENT = 5,      // request sent, reply being read by the worker
    HTTP_STATE_FINISHED = 7,  // delivered at the next asynchronous phase
    HTTP_STATE_WAIT_POST = 8, // waiting for a free thread (POST)
    HTTP_STATE_WAIT_GET = 9,  // waiting for a free thread (GET)
};

// Threads running at most.
constexpr int32_t kHttpMaxThreads = 8;
// The largest reply kept (bytes). A longer one ends the reading like a failed read: the
// request is delivered with nothing received.
constexpr int32_t kHttpMaxReply = 64 * 1024 * 1024;
// The time a request has from its start to the last byte of its reply (milliseconds); one
// that is not done by then is ended and delivered as a failure, so a server that answers
// slowly or never cannot hold a worker thread (and the requests waiting for it).
constexpr int32_t kHttpDeadlineMs = 60 * 1000;

class HTTP_REQ_CONTEXT;
// Called once at delivery on the main thread: builds the result map (index into *mapIndex,
// which starts at -1) and returns the "other" event number to fire (below 60: none).
using HttpCompletion = int32_t (*)(HTTP_REQ_CONTEXT* request, void* user, int32_t* mapIndex);
// Called once before the request is deleted (delivered or discarded).
using HttpCleanUp = void (*)(HTTP_REQ_CONTEXT* request);

class HTTP_REQ_CONTEXT {
public:
    // Links the new request at the head of the list and gives it the next id. A buffer of
    // bufferSize bytes (0xFF) is made when bufferSize > 0.
    HTTP_REQ_CONTEXT(const char* url, int32_t bufferSize, HttpCompletion completion, HttpCleanUp cleanUp,
                     void* user);
    virtual ~HTTP_REQ_CONTEXT();
    HTTP_REQ_CONTEXT(const HTTP_REQ_CONTEXT&) = delete;
    HTTP_REQ_CONTEXT& operator=(const HTTP_REQ_CONTEXT&) = delete;

    HTTP_REQ_CONTEXT* next = nullptr; // newest first
    uint32_t inUse = 1;               // only requests in use are started or delivered
    std::atomic<int32_t> state{HTTP_STATE_CREATED};
    HttpCompletion completion;
    HttpCleanUp cleanUp;
    void* user;                       // the owner's record, handed to the completion
    char* url = nullptr;              // memory-manager copy; null when none was given
    int32_t id;                       // from the request counter
    int32_t httpStatus = 200;         // the reply's status code after a fetch (0 when none)
    uint8_t* buffer = nullptr;        // memory-manager block: the reply, a zero byte after it
    int32_t bufferSize = 0;           // bytes allocated for the buffer
    int32_t received = 0;             // bytes of the reply; below 1 means nothing arrived
    char* errorText = nullptr;        // C heap: "operation: message\n" of a failure, or null
};

// ---- Requests ---------------------------------------------------------------------------------
// Queues a GET (kind is the caller's word; the sprite loader passes 5, http_get -1) and starts
// its thread, or leaves it waiting (state 9) when 8 threads run. Returns its id, or -1 when
// nothing could be queued (the request was then cleaned up and deleted).
int32_t HTTP_Get(const char* url, int32_t kind, HttpCompletion completion, HttpCleanUp cleanUp, void* user);
// Queues a POST of the text (its whole length; "Content-Type:
// application/x-www-form-urlencoded"). As HTTP_Get; a waiting POST has state 8.
int32_t HTTP_Post(const char* url, const char* body, HttpCompletion completion, HttpCleanUp cleanUp, void* user);

// Once per step (by the asynchronous phase): requests whose thread ended become finished (7),
// failed ones too ("HttpError:%s\n" logs a request's error text). Waiting requests, oldest
// first, take the freed threads.
void HTTP_ReapThreads();
// Hands the reply over to the caller: the request's buffer, a memory-manager block holding the
// bytes received and a zero byte after them, so it serves as a text without being copied on
// the main thread (a reply may be 64 MiB). Null when nothing was received; the request keeps
// no buffer afterwards (received stays as it was).
char* HTTP_TakeReply(HTTP_REQ_CONTEXT* request);
// Frees a memory-manager block on a thread of its own, so that giving a large reply back to
// the system (about 10 ms for 60 MB) does not stall a frame. The delivery hands it the large
// texts of a delivered result map.
void HTTP_ReleaseLater(char* block);

// The list (newest first) and its head, for the delivery walk.
HTTP_REQ_CONTEXT* HTTP_RequestList();
HTTP_REQ_CONTEXT** HTTP_RequestListHead();
// The id the next request will get.
int32_t HTTP_NextId();
// Threads running (tests).
int32_t HTTP_RunningCount();
// Unlinks the request (when listed), then HTTP_DestroyRequest.
void HTTP_DeleteRequest(HTTP_REQ_CONTEXT* request);
// Clean-up function (when set), then delete. The request must be unlinked.
void HTTP_DestroyRequest(HTTP_REQ_CONTEXT* request);

// Shutdown (and tests): running exchanges are aborted and their threads joined, then every
// request is destroyed (clean-up included) and the list emptied; blocks waiting to be released
// are freed. Requests may be queued again afterwards.
void HTTP_Shutdown();

// Tests: certificates to trust for https (a PEM file) instead of the system's; null restores
// the system's. Applies to requests queued afterwards.
void HTTP_SetTrustedCertificates(const char* pemFile);
// Tests: the deadline of requests started afterwards (milliseconds; 0 or less restores
// kHttpDeadlineMs).
void HTTP_SetDeadline(int32_t milliseconds);

// ---- Worker back end (Files/HTTP/Linux/HTTPM.cpp) ----------------------------------------
// Opens the client library once; false (with a message) when it cannot be used.
bool HTTPM_Open(const char** message);
// Releases the client library (after every worker has ended).
void HTTPM_Close();
// A new request (GET when body is null) for the URL made canonical: unsafe characters are
// percent-encoded; a URL that is not "http://" or "https://" with a host is logged as
// "InternetCanonicalizeUrl: ..." and its worker fails at once.
HTTP_REQ_CONTEXT* HTTPM_NewRequest(const char* url, const char* body, HttpCompletion completion, HttpCleanUp cleanUp,
                                   void* user);
// Starts the request's worker thread; false (with a message) when no thread could be made.
bool HTTPM_StartThread(HTTP_REQ_CONTEXT* request, const char** message);
// True when the worker has ended (its thread joined); its exit code out: 0 deliver, else
// discard (an exchange aborted by shutdown).
bool HTTPM_ThreadFinished(HTTP_REQ_CONTEXT* request, int32_t* exitCode);
// Waits until the worker has ended and joins its thread; with the abort set, the worker's wait
// for its server is woken, so it ends at once.
void HTTPM_WaitThread(HTTP_REQ_CONTEXT* request);
// While set, running exchanges end at once (shutdown).
void HTTPM_SetAbort(bool abort);
void HTTPM_SetTrustedCertificates(const char* pemFile);
void HTTPM_SetDeadline(int32_t milliseconds);
