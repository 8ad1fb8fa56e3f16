// libcurl, loaded when the first HTTP request opens the client (curl_global_init, which
// HTTPM_Open calls) instead of with the program: a run that makes no request never maps the
// library and the dozens it pulls in. The curl functions HTTPM.cpp uses are defined here and
// forward to the library's own, found with dlopen and dlsym the first time one is called.
// Without the library, curl_global_init fails with "libcurl could not be loaded" and every
// request is refused with that message; nothing else changes.
//
// Needs libcurl's headers and libdl.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>

namespace {

struct Libcurl {
    CURLcode (*global_init)(long);
    void (*global_cleanup)();
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    void (*easy_cleanup)(CURL*);
    const char* (*easy_strerror)(CURLcode);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    CURLU* (*url)();
    CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned int);
    CURLUcode (*url_get)(CURLU*, CURLUPart, char**, unsigned int);
    void (*url_cleanup)(CURLU*);
    const char* (*url_strerror)(CURLUcode);
    void (*free)(void*);
    CURLM* (*multi_init)();
    CURLMcode (*multi_add_handle)(CURLM*, CURL*);
    CURLMcode (*multi_remove_handle)(CURLM*, CURL*);
    CURLMcode (*multi_perform)(CURLM*, int*);
    CURLMcode (*multi_poll)(CURLM*, curl_waitfd*, unsigned int, int, int*);
    CURLMcode (*multi_wakeup)(CURLM*);
    CURLMsg* (*multi_info_read)(CURLM*, int*);
    CURLMcode (*multi_cleanup)(CURLM*);
};

Libcurl g_lib;
bool g_loaded = false;
std::once_flag g_once;

template <class F>
bool Find(void* handle, const char* name, F* out)
{
    *out = reinterpret_cast<F>(dlsym(handle, name));
    return *out != nullptr;
}

void Load()
{
    void* h = nullptr;
    for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4", "libcurl.so"})
        if ((h = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (!h) return;
    Libcurl& c = g_lib;
    g_loaded = Find(h, "curl_global_init", &c.global_init) && Find(h, "curl_global_cleanup", &c.global_cleanup) &&
               Find(h, "curl_easy_init", &c.easy_init) && Find(h, "curl_easy_setopt", &c.easy_setopt) &&
               Find(h, "curl_easy_getinfo", &c.easy_getinfo) &&
               Find(h, "curl_easy_cleanup", &c.easy_cleanup) && Find(h, "curl_easy_strerror", &c.easy_strerror) &&
               Find(h, "curl_slist_append", &c.slist_append) && Find(h, "curl_slist_free_all", &c.slist_free_all) &&
               Find(h, "curl_url", &c.url) && Find(h, "curl_url_set", &c.url_set) &&
               Find(h, "curl_url_get", &c.url_get) && Find(h, "curl_url_cleanup", &c.url_cleanup) &&
               Find(h, "curl_url_strerror", &c.url_strerror) && Find(h, "curl_free", &c.free) &&
               Find(h, "curl_multi_init", &c.multi_init) && Find(h, "curl_multi_add_handle", &c.multi_add_handle) &&
               Find(h, "curl_multi_remove_handle", &c.multi_remove_handle) &&
               Find(h, "curl_multi_perform", &c.multi_perform) && Find(h, "curl_multi_poll", &c.multi_poll) &&
               Find(h, "curl_multi_wakeup", &c.multi_wakeup) && Find(h, "curl_multi_info_read", &c.multi_info_read) &&
               Find(h, "curl_multi_cleanup", &c.multi_cleanup);
    if (!g_loaded) dlclose(h);
}

const Libcurl* Lib()
{
    std::call_once(g_once, Load);
    return g_loaded ? &g_lib : nullptr;
}

const char kMissing[] = "libcurl could not be loaded";

} // namespace

// The declarations are curl.h's (C linkage). Their variadic ones end their named parameters
// with an enum, as libcurl's own definitions do; the x86-64 calling convention does not
// depend on that parameter's type.
#pragma GCC diagnostic ignored "-Wvarargs"
extern "C" {

CURLcode curl_global_init(long flags)
{
    const Libcurl* c = Lib();
    return c ? c->global_init(flags) : CURLE_FAILED_INIT;
}

void curl_global_cleanup()
{
    if (const Libcurl* c = Lib()) c->global_cleanup();
}

CURL* curl_easy_init()
{
    const Libcurl* c = Lib();
    return c ? c->easy_init() : nullptr;
}

// One argument after the option, of the type the option's number range gives.
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...)
{
    const Libcurl* c = Lib();
    if (!c) return CURLE_FAILED_INIT;
    va_list ap;
    va_start(ap, option);
    CURLcode rc;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        rc = c->easy_setopt(handle, option, va_arg(ap, long));
    } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
        rc = c->easy_setopt(handle, option, va_arg(ap, curl_off_t));
    } else {
        rc = c->easy_setopt(handle, option, va_arg(ap, void*)); // data and function pointers
    }
    va_end(ap);
    return rc;
}

// One pointer argument after the item.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...)
{
    const Libcurl* c = Lib();
    if (!c) return CURLE_FAILED_INIT;
    va_list ap;
    va_start(ap, info);
    CURLcode rc = c->easy_getinfo(handle, info, va_arg(ap, void*));
    va_end(ap);
    return rc;
}

void curl_easy_cleanup(CURL* handle)
{
    if (const Libcurl* c = Lib()) c->easy_cleanup(handle);
}

const char* curl_easy_strerror(CURLcode code)
{
    const Libcurl* c = Lib();
    return c ? c->easy_strerror(code) : kMissing;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text)
{
    const Libcurl* c = Lib();
    return c ? c->slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list)
{
    if (const Libcurl* c = Lib()) c->slist_free_all(list);
}

CURLU* curl_url()
{
    const Libcurl* c = Lib();
    return c ? c->url() : nullptr;
}

CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* content, unsigned int flags)
{
    const Libcurl* c = Lib();
    return c ? c->url_set(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** content, unsigned int flags)
{
    const Libcurl* c = Lib();
    return c ? c->url_get(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

void curl_url_cleanup(CURLU* url)
{
    if (const Libcurl* c = Lib()) c->url_cleanup(url);
}

const char* curl_url_strerror(CURLUcode code)
{
    const Libcurl* c = Lib();
    return c ? c->url_strerror(code) : kMissing;
}

void curl_free(void* p)
{
    if (const Libcurl* c = Lib()) c->free(p);
}

CURLM* curl_multi_init()
{
    const Libcurl* c = Lib();
    return c ? c->multi_init() : nullptr;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle)
{
    const Libcurl* c = Lib();
    return c ? c->multi_add_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle)
{
    const Libcurl* c = Lib();
    return c ? c->multi_remove_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running)
{
    const Libcurl* c = Lib();
    return c ? c->multi_perform(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd* extra, unsigned int count, int timeoutMs, int* ready)
{
    const Libcurl* c = Lib();
    return c ? c->multi_poll(multi, extra, count, timeoutMs, ready) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_wakeup(CURLM* multi)
{
    const Libcurl* c = Lib();
    return c ? c->multi_wakeup(multi) : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left)
{
    const Libcurl* c = Lib();
    return c ? c->multi_info_read(multi, left) : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi)
{
    const Libcurl* c = Lib();
    return c ? c->multi_cleanup(multi) : CURLM_INTERNAL_ERROR;
}

} // extern "C"
