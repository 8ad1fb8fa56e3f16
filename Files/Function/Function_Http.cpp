// http_get and http_post_string over the request layer (Files/HTTP/HTTP.h), the HTTP
// result map, and the sprite loader's request service (Files/Function/Function_Http.h).
//
// A URL must begin with "http://" or "https://" exactly (case-sensitive); anything else sends
// nothing and gives -1. The result is the request's id, which the result map's "id" repeats;
// -1 when the request could not be queued.
//
// Needs the request layer, maps, sprites, the built-in table. No Linux/ file.
#include <cstring>

#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"
#include "Files/DS/DS_Map.h"
#include "Files/Function/Function_Http.h"
#include "Files/HTTP/HTTP.h"
#include "Files/Sprite/Sprite_Main.h"

namespace {

using namespace zbargs;

bool IsWebAddress(const char* url)
{
    return std::strncmp(url, "http://", 7) == 0 || std::strncmp(url, "https://", 8) == 0;
}

ZB_BUILTIN(F_HttpGet)
{
    Value_SetReal(result, -1);
    if (argc < 1) return;
    const char* url = Value_Text(&args[0]);
    if (!IsWebAddress(url)) return;
    Value_SetReal(result, HTTP_Get(url, -1, HTTP_OnComplete, nullptr, nullptr));
}

ZB_BUILTIN(F_HttpPostString)
{
    Value_SetReal(result, -1);
    if (argc < 2) return;
    const char* url = Value_Text(&args[0]);
    if (!IsWebAddress(url)) return;
    Value_SetReal(result, HTTP_Post(url, Value_Text(&args[1]), HTTP_OnComplete, nullptr, nullptr));
}

// ---- Sprites from a URL ----

int32_t SpriteComplete(HTTP_REQ_CONTEXT* r, void* user, int32_t* mapIndex)
{
    const SpriteAsyncReply reply{r->url ? r->url : "", r->received > 0 ? r->buffer : nullptr, r->received};
    SpriteAsyncResult out{reply.url, -1, -1};
    const int32_t n = Sprite_AsyncLoaded(reply, static_cast<SpriteAsyncRequest*>(user), &out);
    *mapIndex = DS_Map_CreateFromPairs(3, "filename", 0.0, out.filename ? out.filename : "", "id", double(out.id),
                                       nullptr, "status", double(out.status), nullptr);
    return n;
}

void SpriteCleanUp(HTTP_REQ_CONTEXT* r)
{
    Sprite_AsyncFree(static_cast<SpriteAsyncRequest*>(r->user));
    r->user = nullptr;
}

// The request takes the record in every case: its clean-up frees it, also when nothing could
// be queued.
bool SpriteGet(const char* url, int32_t kind, SpriteAsyncRequest* record)
{
    HTTP_Get(url, kind, SpriteComplete, SpriteCleanUp, record);
    return true;
}

} // namespace

int32_t HTTP_OnComplete(HTTP_REQ_CONTEXT* r, void*, int32_t* mapIndex)
{
    *mapIndex = DS_Map_CreateFromPairs(5, "id", double(r->id), nullptr, "url", 0.0, r->url ? r->url : "", "result",
                                       0.0, "", "http_status", double(r->httpStatus), nullptr, "status",
                                       r->received < 1 ? -1.0 : 0.0, nullptr);
    // The reply's own block becomes the text (it ends in a zero byte): no copy of a large reply.
    if (char* reply = HTTP_TakeReply(r)) DS_Map_TakeString(*mapIndex, "result", reply);
    return 62;
}

void HTTP_InstallSpriteLoader() { Sprite_SetHttpGet(SpriteGet); }

void Function_Http_Register()
{
    Function_Add("http_get", F_HttpGet, 1);
    Function_Add("http_post_string", F_HttpPostString, 2);
    Function_Json_Register();
}
