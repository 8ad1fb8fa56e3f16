// What the socket layer's files share: the connections' reply buffers.
#pragma once

#include <cstdint>

class IBuffer;

// A grow buffer of alignment 1 of that size (at least 1 byte).
IBuffer* Network_NewReplyBuffer(int32_t size);
// The bytes from the buffer's start to its position; length out (0 and null for no buffer).
const uint8_t* Network_ReplyBytes(IBuffer* buffer, int32_t* length);
