// The HTTP and JSON built-ins (http_get, http_post_string, json_decode, json_encode), the
// completion that turns a finished HTTP request into the result map of the asynchronous HTTP
// event (62), and the request service of sprites loaded from a URL (event 60).
#pragma once

#include <cstdint>
#include <string>

class HTTP_REQ_CONTEXT;

// Registers the four built-ins through Function_Add; the "File.." registrar calls it.
void Function_Http_Register();
// json_decode and json_encode alone (Function_Json.cpp).
void Function_Json_Register();

// The result map of a finished request: "id", "url", "result" (the bytes as text), "http_status",
// "status" (-1 when nothing was received, else 0); returns 62.
int32_t HTTP_OnComplete(HTTP_REQ_CONTEXT* request, void* user, int32_t* mapIndex);

// Gives sprites their request service (Sprite_SetHttpGet): a GET whose completion fills the
// sprite (Sprite_AsyncLoaded) and builds the "filename", "id", "status" map of event 60, and
// whose clean-up frees the sprite's record (Sprite_AsyncFree). Start-up calls it.
void HTTP_InstallSpriteLoader();

// json_decode of a text (null reads as ""): the index of a new map, or -1.
int32_t Json_DecodeText(const char* text);
// json_decode of a real: the map {"default": the real with two decimals, as text}.
int32_t Json_DecodeReal(double x);
// json_encode of the map with that index: its JSON text, "" when the index names no map.
std::string Json_Encode(int32_t index);
