// MemoryManager: every heap block the runner's own modules hand to each other (strings,
// records, arrays) comes from here. Each block carries a 16-byte guarded header in front of
// the pointer handed out:
//
//   +0  u32 size requested by the caller (top bit reserved)
//   +4  u32 0xDEADC0DE
//   +8  u32 0xBAADB00B
//   +12 u32 the text word: bit 31 set while the block has a second holder (see Share); bits
//           0-30 the length + 1 of the zero-terminated text it holds, as recorded by
//           SetTextLength (0: none recorded)
//
// The manager keeps running totals of bytes and blocks for the memory report and the debug
// overlay, clears blocks on request, and turns running out of memory into one fatal message
// ("Out of Memory!" under "Fatal Memory Error", exit code -1). The caller's file and line are
// taken for diagnostics only.
//
// Blocks from the C heap or from operator new must never be handed to Free: a pointer without
// the guards is treated as heap corruption and stops the program (see docs/decisions.md).
// Standard containers in our own code use the C++ heap; the new-handler installed by
// MemoryManager_Install routes their out-of-memory failures through the same fatal path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class MemoryManager {
public:
    // Null for size 0, otherwise a block of size bytes (zeroed when clear is set).
    static void* Alloc(uint32_t size, const char* file, int line, bool clear);
    // Null is ignored. A block with a second holder is not freed: that holder's share ends.
    static void Free(void* p);
    // Null p: a new cleared block (null for n == 0). Same size: p unchanged. n == 0: frees p,
    // null. Otherwise a new cleared block holding min(old, n) bytes of p; p is freed. A block
    // with a second holder is left to that holder: the answer is then always a new block.
    static void* ReAlloc(void* p, uint32_t size, const char* file, int line);
    // Null p: a new block (not cleared). n == 0: frees p, null. Otherwise p's block made n bytes
    // long, where it lies when the C heap can (a large block grows or shrinks without a copy
    // and without both sizes in use at once): the first min(old, n) bytes kept, the rest not
    // cleared, p no longer valid. For arrays that grow while they are filled. A block with a
    // second holder is left to that holder (the answer is a new block holding the same bytes).
    static void* Resize(void* p, uint32_t size, const char* file, int line);
    // ReAlloc of *pp, stored back into *pp and returned.
    template <class T>
    static T* ReAllocPtr(T** pp, uint32_t size, const char* file, int line)
    {
        *pp = static_cast<T*>(ReAlloc(*pp, size, file, line));
        return *pp;
    }
    // The size recorded for p; 0 for null.
    static uint32_t GetSize(const void* p) { return p ? HeaderWord(p, 0) & 0x7FFFFFFFu : 0; }
    // True when p carries the guards of one of this manager's blocks.
    static bool IsGuarded(const void* p);

    // Texts held twice instead of copied. A block may have one second holder: the two see the
    // same bytes, so neither may write into it (ReAlloc, Resize and Reuse hand out another
    // block instead), and each lets go with Free; the block is freed when both have.
    // Share gives p its second holder and answers true; false (nothing changed) for null or a
    // block that has one already.
    static bool Share(void* p);
    static bool IsShared(const void* p) { return p && (HeaderWord(p, 12) & 0x80000000u) != 0; }
    // The length of the text in p as recorded by SetTextLength, or -1: none recorded, or the
    // block was written since through ReAlloc, Resize or Reuse. Lets a text grow at its end
    // without measuring it each time. The recorded length is only as good as the writer that
    // recorded it: whoever writes into the block otherwise must go through Reuse.
    static int32_t TextLength(const void* p) { return p ? int32_t(HeaderWord(p, 12) & 0x7FFFFFFFu) - 1 : -1; }
    // Records length for p's text when the text and its terminator fit in the block.
    static void SetTextLength(void* p, uint32_t length)
    {
        if (!p || length >= GetSize(p)) return;
        const uint32_t w = (HeaderWord(p, 12) & 0x80000000u) | (length + 1);
        std::memcpy(static_cast<unsigned char*>(p) - 4, &w, 4);
    }
    // Whether p's block can take n bytes written in place (at least n bytes long, no second
    // holder); when it can, its recorded text length is forgotten. False for null.
    static bool Reuse(void* p, uint32_t n);

    // Copies of text into new blocks (null for null text).
    static char* StrDup(const char* text, const char* file, int line);
    static char* StrDupN(const char* text, size_t n, const char* file, int line);

    // Running totals (blocks currently handed out and their bytes).
    static uint32_t BytesInUse();
    static uint32_t BlocksInUse();
    // The most bytes in use at once since the last ResetPeak (or since start-up); ResetPeak
    // makes it the bytes in use now. For measuring what one piece of work needs at its height.
    static uint32_t PeakBytes();
    static void ResetPeak();
    // The frame counter: advanced once at the start of every frame (the run loop), read by
    // diagnostics.
    static void NextFrame();
    static uint32_t FrameCount();

    // Hands "Total memory used = %d(0x%08lx) bytes\n" to the log handler (nothing without one).
    static void Report();
    // Statistics dump: nothing to show in this build.
    static void DumpStats(int limit, const char* title);

    // Reports "Out of Memory!" / "Fatal Memory Error" and ends the process with -1.
    [[noreturn]] static void OutOfMemory();
    // Reports a corrupt heap block (a pointer without guards) and ends the process.
    [[noreturn]] static void CorruptBlock(const void* p, const char* what);

private:
    // The header word at offset (0, 4, 8 or 12) of p's block.
    static uint32_t HeaderWord(const void* p, int offset)
    {
        uint32_t w;
        std::memcpy(&w, static_cast<const unsigned char*>(p) - 16 + offset, 4);
        return w;
    }
};

// How fatal messages are shown. The default writes to stderr; the message-box layer
// installs a handler that shows a top-most box once it is up.
using MemoryFatalHandler = void (*)(const char* text, const char* caption);
void MemoryManager_SetFatalHandler(MemoryFatalHandler handler);
// Where the memory report goes: the log console installs itself at start-up (Console_Install).
using MemoryLogHandler = void (*)(const char* line);
void MemoryManager_SetLogHandler(MemoryLogHandler handler);

// Installs the out-of-memory handler for operator new. Called first thing by the entry.
void MemoryManager_Install();

// Named lock objects of the online-service queues. Everything runs on the main thread, so
// they do nothing.
class Mutex {
public:
    explicit Mutex(const char*) {}
    bool Lock() { return true; }
    void Unlock() {}
};

#define MEM_ALLOC(size) MemoryManager::Alloc((uint32_t)(size), __FILE__, __LINE__, false)
#define MEM_ALLOC_CLEAR(size) MemoryManager::Alloc((uint32_t)(size), __FILE__, __LINE__, true)
#define MEM_REALLOC(p, size) MemoryManager::ReAlloc((p), (uint32_t)(size), __FILE__, __LINE__)
#define MEM_RESIZE(p, size) MemoryManager::Resize((p), (uint32_t)(size), __FILE__, __LINE__)
#define MEM_FREE(p) MemoryManager::Free(p)
#define MEM_STRDUP(text) MemoryManager::StrDup((text), __FILE__, __LINE__)
#define MEM_STRDUPN(text, n) MemoryManager::StrDupN((text), (n), __FILE__, __LINE__)
