// IBuffer: the interface of the binary buffers addressed by index (the buffer built-ins own
// the implementations). The script language writes saved variable lists and the debugger's
// machine-state record through it, so the interface lives here on its own.
//
// Write and Read take a ScriptValue: numbers travel in its real field; the string type takes
// and gives a text (Read hands back a new owned copy). Both align the position to the data
// type, advance past the entry and answer 0 on success or a negative code (for a read past
// the end, or a write the buffer refuses). Entries read back in the order they were written.
#pragma once

#include <cstdint>

struct ScriptValue;

// Data types used outside the buffer built-ins. ORDER: the numbers are the buffer_* constants
// that scripts see.
enum : int32_t {
    eBuffer_U32 = 5,    // unsigned 32-bit integer
    eBuffer_S32 = 6,    // signed 32-bit integer, converted from the real
    eBuffer_F32 = 8,    // 32-bit float
    eBuffer_F64 = 9,    // 64-bit real
    eBuffer_String = 11 // zero-terminated text
};

// Seek bases.
enum : int32_t { eSeek_Start = 0, eSeek_Relative = 1, eSeek_End = 2 };

class IBuffer {
public:
    virtual ~IBuffer() = default;
    virtual int32_t Write(int32_t type, ScriptValue* value) = 0;
    virtual int32_t Read(int32_t type, ScriptValue* value) = 0;
    // Moves the position; answers the new position, or a negative code.
    virtual int32_t Seek(int32_t base, int32_t offset) = 0;
    // The current position.
    virtual int32_t Tell() = 0;
};

// A text as a string entry; a null text is written as the one-character text "\x04".
int32_t Buffer_WriteString(IBuffer* buffer, const char* text);
// A string entry as a new owned copy (memory manager); "\x04" reads back as null. ok is
// cleared when the read failed (the result is then null).
char* Buffer_ReadString(IBuffer* buffer, bool* ok = nullptr);
// Shorthands for the number entries (the value travels through a scratch ScriptValue).
int32_t Buffer_WriteNumber(IBuffer* buffer, int32_t type, double value);
// Reads one number entry; false when the read failed (out is then 0).
bool Buffer_ReadNumber(IBuffer* buffer, int32_t type, double* out);
