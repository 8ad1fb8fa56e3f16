// Binary buffers: a block of bytes with a type, an alignment and a read/write position, into
// which numbers and texts are written as typed entries and read back. Scripts reach them by
// index through the buffer built-ins (Files/Function/Function_Buffer.cpp); the saved forms of
// variable lists and of the game state, the debugger's machine-state record and the network
// layer use the same objects (and the string entry format below) directly.
//
// IBuffer holds the block and implements every operation; Buffer_Standard is every buffer
// type but fast, Buffer_Fast (type 3) a byte stream with one data type and no alignment. Test
// fakes may derive from IBuffer and replace Write, Read, Seek and Tell alone.
//
// Buffer types: 0 fixed, 1 grow (doubles when a write passes the end), 2 wrap (writes and
// reads continue at the start), 3 fast; any other value behaves as fixed. Sizes are at most
// kBufferMaxSize; a grow that would pass it is refused like a full fixed buffer.
//
// Alignment and the wrap phase: before every Write and Read the position moves up to the
// alignment grid, shifted by the phase: position = align_up(position + phase) - phase. On a
// wrap buffer the phase counts, modulo the alignment, the bytes wrapped over since the last
// seek from the start or the end, so entries stay aligned as counted over everything written.
//
// Data types (ORDER: the numbers scripts pass): 1 u8, 2 s8, 3 u16, 4 s16, 5 u32, 6 s32,
// 7 f16 (not supported), 8 f32, 9 f64, 10 bool (one byte), 11 string (the text's bytes and a
// zero byte). All little-endian. Integers are written from the value's real truncated toward
// zero with the x86 results (out of range: 0x80000000, or 0x8000000000000000 for u32), then
// cut to their width; bool is 1 when the real is above 0.5.
//
// Results: Write 0, -1 data type outside 1..11 or 7, -2 no room, -4 fast buffer and a type
// other than 1. Read 0 with the value (real -3 when nothing can be read: LastReadEmpty() then
// answers true), -1 for unsupported types; the fast Read -2 at the end, -4 for other types.
//
// Main thread only. Needs the memory manager, base64/MD5/SHA-1 (Files/Base), the save-area
// files (Files/Support/LoadSave.h). No Linux/ file.
#pragma once

#include <cstdint>

struct ScriptValue;

// Data types. ORDER: the numbers are the ones scripts pass.
enum : int32_t {
    eBuffer_U8 = 1,
    eBuffer_S8 = 2,
    eBuffer_U16 = 3,
    eBuffer_S16 = 4,
    eBuffer_U32 = 5,    // unsigned 32-bit integer
    eBuffer_S32 = 6,    // signed 32-bit integer, converted from the real
    eBuffer_F16 = 7,    // not supported
    eBuffer_F32 = 8,    // 32-bit float
    eBuffer_F64 = 9,    // 64-bit real
    eBuffer_Bool = 10,  // one byte, 1 when the real is above 0.5
    eBuffer_String = 11 // zero-terminated text
};

// Buffer types. ORDER: the numbers scripts pass to buffer_create.
enum : int32_t { eBuffer_Fixed = 0, eBuffer_Grow = 1, eBuffer_Wrap = 2, eBuffer_Fast = 3 };

// Seek bases.
enum : int32_t { eSeek_Start = 0, eSeek_Relative = 1, eSeek_End = 2 };

// The largest size a buffer may have (bytes).
constexpr int32_t kBufferMaxSize = 0x40000000;
// The largest alignment; larger ones are taken as this.
constexpr int32_t kBufferMaxAlignment = 1024;

class IBuffer {
public:
    virtual ~IBuffer();
    IBuffer(const IBuffer&) = delete;
    IBuffer& operator=(const IBuffer&) = delete;

    // 1..5: the typed entries and the position.
    virtual int32_t Write(int32_t type, ScriptValue* value);
    // The value is set to real 0 first (its old text freed); a string comes back as a new
    // owned copy.
    virtual int32_t Read(int32_t type, ScriptValue* value);
    // Base 0 start, 1 relative, 2 end; answers the new position (which never reaches the
    // size of a non-empty buffer). Another base changes nothing.
    virtual int32_t Seek(int32_t base, int32_t offset);
    virtual int32_t Tell() { return m_position; }
    // One entry at an offset, without alignment; the position does not move. Peek sets
    // value to real 0 first and leaves it there when nothing can be read; Poke writes
    // nothing that would not fit (a grow buffer does not grow; a wrap buffer wraps).
    virtual void Peek(int32_t offset, int32_t type, ScriptValue* value);
    virtual void Poke(int32_t offset, int32_t type, const ScriptValue* value);

    // 6..14.
    // Writes count bytes from offset (GetBytes' clamping) as the whole file, in the save area.
    virtual bool Save(const char* name, int32_t offset, int32_t count);
    // Reads the whole file (save area first, then the program folder) and copies count bytes
    // of it from sourceOffset to destinationOffset (CopyFromMemory); web addresses refused.
    virtual bool Load(const char* name, int32_t sourceOffset, int32_t count, int32_t destinationOffset);
    // A quit request (Files/Base/QuitRequest.h) stops the four below and Fill: no text, no
    // digest, nothing decoded into the buffer, the bytes filled so far.
    // value := the base64 text of the bytes GetBytes gives.
    virtual void Base64Encode(ScriptValue* value, int32_t offset, int32_t count);
    // Decodes text into a cleared block of (3 n) / 4 + 4 bytes (n characters) and copies the
    // block (count bytes of it, all for a negative count) to offset. False for a null text
    // (or a quit).
    virtual bool Base64Decode(const char* text, int32_t offset, int32_t count);
    // value := 32 (MD5) or 40 (SHA-1) lower-case hex digits of the range; nothing on a buffer
    // of size 0. A negative count means the size; a wrap buffer's range wraps as often as the
    // count asks, other buffers cut it at the end.
    virtual void MD5(ScriptValue* value, int32_t offset, int32_t count);
    virtual void SHA1(ScriptValue* value, int32_t offset, int32_t count);
    // A new cleared block of newSize bytes keeping min(old, new) bytes; the position (and the
    // phase) return to 0 when they no longer lie inside. False (nothing changes) for a size
    // below 0 or above kBufferMaxSize.
    virtual bool Resize(int32_t newSize);
    // Buffer_CopyMemory of count bytes from sourceOffset of this buffer into destination.
    virtual bool Copy(int32_t sourceOffset, int32_t count, IBuffer* destination, int32_t destinationOffset);
    // Fills count bytes (the size for a negative count) from offset with entries of the type;
    // stride > 0 starts an entry every stride bytes (entries cut to the stride), otherwise at
    // the multiples of the alignment; the bytes between entries become 0 when zeroGaps is set.
    virtual void Fill(int32_t offset, int32_t count, int32_t type, const ScriptValue* value, int32_t stride,
                      bool zeroGaps);

    // A type-5 entry.
    int32_t WriteU32(double number);
    // A new memory-manager block with count bytes from offset (offset clamped into the buffer,
    // a negative count meaning the size, the count cut at the end; no wrapping); length out.
    // Null with length 0 for a buffer of size 0.
    uint8_t* GetBytes(int32_t offset, int32_t count, int32_t* length) const;
    // Buffer_CopyMemory of bytes into this buffer, growing when the type is grow or the size
    // 0, wrapping when the type is wrap. False for null bytes.
    bool CopyFromMemory(const void* bytes, int32_t size, int32_t sourceOffset, int32_t count,
                        int32_t destinationOffset);

    // The last Read found nothing to read (its value is then real -3).
    bool LastReadEmpty() const { return m_lastReadEmpty; }

    uint8_t* Data() const { return m_pData; }
    int32_t Size() const { return m_size; }
    int32_t Alignment() const { return m_alignment; }
    int32_t Type() const { return m_type; }
    int32_t Position() const { return m_position; }
    int32_t WrapPhase() const { return m_wrapPhase; }
    bool IsGrow() const { return m_type == eBuffer_Grow; }
    bool IsWrap() const { return m_type == eBuffer_Wrap; }

protected:
    // No block, size 0, alignment 1, type grow (the loaders' and decoders' buffer).
    IBuffer();
    // A cleared block of size bytes; alignment rounded up to a power of two, at most 1024.
    IBuffer(int32_t size, int32_t type, int32_t alignment);
    // Over the given memory (not realigned); owned when owns is set.
    IBuffer(void* memory, int32_t size, int32_t type, int32_t alignment, bool owns);

    // Moves the position up to the alignment grid; on a wrap buffer brings it below the size.
    void AlignPosition();
    // The position goes back by the size (wrap buffers): the phase follows.
    void WrapBack();
    // Grows (type grow) until at least needed bytes fit; false when that passes the limit.
    bool GrowTo(int64_t needed);

    uint8_t* m_pRawBlock = nullptr; // owned when m_ownsBlock
    int32_t m_blockSize = 0;        // size + alignment
    uint8_t* m_pData = nullptr;     // first address of the raw block on the alignment grid
    int32_t m_size = 0;             // usable bytes
    int32_t m_alignment = 1;        // power of two, 1..1024
    int32_t m_type = eBuffer_Grow;
    int32_t m_position = 0;
    int32_t m_wrapPhase = 0;        // 0..alignment - 1
    bool m_ownsBlock = true;
    bool m_lastReadEmpty = false;
};

class Buffer_Standard : public IBuffer {
public:
    Buffer_Standard() = default;
    Buffer_Standard(int32_t size, int32_t type, int32_t alignment) : IBuffer(size, type, alignment) {}
    Buffer_Standard(void* memory, int32_t size, int32_t type, int32_t alignment, bool owns)
        : IBuffer(memory, size, type, alignment, owns)
    {
    }
};

// Type 3: bytes only (data type 1), no alignment, no growing, no wrapping.
class Buffer_Fast : public IBuffer {
public:
    Buffer_Fast(int32_t size, int32_t alignment) : IBuffer(size, eBuffer_Fast, alignment) {}
    int32_t Write(int32_t type, ScriptValue* value) override;
    int32_t Read(int32_t type, ScriptValue* value) override;
    void Peek(int32_t offset, int32_t type, ScriptValue* value) override;
    void Poke(int32_t offset, int32_t type, const ScriptValue* value) override;
};

// ---- The buffer table ------------------------------------------------------------------------
// Buffers by index: a new buffer takes the first empty slot; when there is none the table
// doubles (32 slots at first). Slots are never given back; a buffer lives until freed.
// A Buffer_Fast for type 3, else a Buffer_Standard. The size is clamped to 0..kBufferMaxSize.
int32_t Buffer_Create(int32_t size, int32_t type, int32_t alignment);
// A fixed buffer of alignment 1 over the memory (owned when owns is set).
int32_t Buffer_CreateOverMemory(void* memory, int32_t size, bool owns);
// Puts a buffer made elsewhere into a free slot; its index.
int32_t Buffer_Add(IBuffer* buffer);
// Null for a negative index, one past the table or an empty slot.
IBuffer* Buffer_Get(int32_t index);
void Buffer_Free(int32_t index);
int32_t Buffer_FindFreeSlot();
int32_t Buffer_SlotCount();
// Frees every buffer and the table (shutdown, tests).
void Buffer_FreeAll();

// Bytes of one entry: 1 for types 1, 2, 10; 2 for 3, 4, 7; 4 for 5, 6, 8; 8 for 9; else 0.
int32_t Buffer_SizeOfType(int32_t type);

// The copying engine behind Copy, Load, Base64Decode and the loading of saved games: count
// bytes (a negative count: the source size) from sourceOffset of source (sourceSize bytes)
// to destinationOffset of destination. grow: the destination is resized to exactly what the
// copy needs; otherwise the copy is cut to the destination (or wraps when destinationWraps).
// A wrapping source is read round from its start. False when destination or source is null,
// the source size is below 1, a destination of size 0 cannot grow, or growing passes the
// limit.
bool Buffer_CopyMemory(IBuffer* destination, const void* source, int32_t sourceSize, int32_t sourceOffset,
                       int32_t count, int32_t destinationOffset, bool grow, bool destinationWraps, bool sourceWraps);
// The saved game's form: all of source copied to the start of the buffer (growing as its type
// allows).
bool Buffer_CopyMemory(IBuffer* buffer, const void* source, int32_t size);

// ---- Strings in buffers (the shared format) ------------------------------------------------
// A text as a string entry; a null text is written as the one-character text "\x04".
int32_t Buffer_WriteString(IBuffer* buffer, const char* text);
// A string entry as a new owned copy (memory manager); "\x04" reads back as null. ok is
// cleared when the read failed or found nothing (the result is then null).
char* Buffer_ReadString(IBuffer* buffer, bool* ok = nullptr);
// A type-5 entry of the text's length with its terminator, then the string entry.
int32_t Buffer_WriteLengthString(IBuffer* buffer, const char* text);
// Shorthands for the number entries (the value travels through a scratch ScriptValue).
int32_t Buffer_WriteNumber(IBuffer* buffer, int32_t type, double value);
// Reads one number entry; false when the read failed or found nothing (out is then 0).
bool Buffer_ReadNumber(IBuffer* buffer, int32_t type, double* out);
// One value in a buffer: kind (signed 32-bit entry), real (64-bit entry), text (string
// entry; a null or absent text written as its marker). Whatever the kind, three entries.
void Buffer_WriteValue(IBuffer* buffer, const ScriptValue* value);
// Reads the three entries into value (kind truncated toward zero, the text a new copy).
// False when a read failed; value is then real 0.
bool Buffer_ReadValue(IBuffer* buffer, ScriptValue* value);
