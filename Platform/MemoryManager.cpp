// MemoryManager: guarded blocks over the C heap, running totals, the fatal out-of-memory
// path. Needs nothing above it: the memory report goes to the log handler the console
// installs.
#include "Platform/MemoryManager.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kGuard1 = 0xDEADC0DEu;
constexpr uint32_t kGuard2 = 0xBAADB00Bu;
constexpr size_t kHeader = 16;
constexpr uint32_t kSizeMask = 0x7FFFFFFFu;
// The text word at +12.
constexpr uint32_t kSharedBit = 0x80000000u;

// Totals are touched from the main thread; worker threads may allocate too, so keep them
// free of data races.
std::atomic<uint32_t> g_bytesInUse{0};
std::atomic<uint32_t> g_blocksInUse{0};
std::atomic<uint32_t> g_peakBytes{0};

void DefaultFatal(const char* text, const char* caption)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

std::atomic<MemoryFatalHandler> g_fatalHandler{DefaultFatal};
std::atomic<MemoryLogHandler> g_logHandler{nullptr};

uint32_t Word(const unsigned char* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

void PutWord(unsigned char* p, uint32_t w) { std::memcpy(p, &w, 4); }

unsigned char* HeaderOf(const void* p)
{
    return const_cast<unsigned char*>(static_cast<const unsigned char*>(p)) - kHeader;
}

void OnNewFailure() { MemoryManager::OutOfMemory(); }

void AddBytes(uint32_t size)
{
    const uint32_t now = g_bytesInUse.fetch_add(size, std::memory_order_relaxed) + size;
    uint32_t peak = g_peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !g_peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

} // namespace

void MemoryManager_SetFatalHandler(MemoryFatalHandler handler)
{
    g_fatalHandler.store(handler ? handler : DefaultFatal);
}

void MemoryManager_SetLogHandler(MemoryLogHandler handler) { g_logHandler.store(handler); }

void MemoryManager_Install() { std::set_new_handler(OnNewFailure); }

void MemoryManager::OutOfMemory()
{
    g_fatalHandler.load()("Out of Memory!", "Fatal Memory Error");
    std::_Exit(-1);
}

void MemoryManager::CorruptBlock(const void* p, const char* what)
{
    char text[128];
    std::snprintf(text, sizeof text, "%s of a block without guards (%p)", what, p);
    g_fatalHandler.load()(text, "Fatal Memory Error");
    std::abort();
}

void* MemoryManager::Alloc(uint32_t size, const char* file, int line, bool clear)
{
    (void)file;
    (void)line;
    if (size == 0) return nullptr;
    if (size > kSizeMask) OutOfMemory(); // the header keeps 31 bits of size
    auto* block = static_cast<unsigned char*>(std::malloc(size_t(size) + kHeader));
    if (!block) OutOfMemory();
    PutWord(block + 0, size);
    PutWord(block + 4, kGuard1);
    PutWord(block + 8, kGuard2);
    PutWord(block + 12, 0);
    AddBytes(size);
    g_blocksInUse.fetch_add(1, std::memory_order_relaxed);
    if (clear) std::memset(block + kHeader, 0, size);
    return block + kHeader;
}

bool MemoryManager::IsGuarded(const void* p)
{
    if (!p) return false;
    const unsigned char* h = HeaderOf(p);
    return Word(h + 4) == kGuard1 && Word(h + 8) == kGuard2;
}

void MemoryManager::Free(void* p)
{
    if (!p) return;
    unsigned char* h = HeaderOf(p);
    if (Word(h + 4) != kGuard1 || Word(h + 8) != kGuard2) CorruptBlock(p, "Free");
    const uint32_t text = Word(h + 12);
    if (text & kSharedBit) { // the other holder keeps it
        PutWord(h + 12, text & ~kSharedBit);
        return;
    }
    uint32_t size = Word(h) & kSizeMask;
    g_bytesInUse.fetch_sub(size, std::memory_order_relaxed);
    g_blocksInUse.fetch_sub(1, std::memory_order_relaxed);
    // Break the guards so a second free of the same block is caught rather than corrupting.
    PutWord(h + 4, 0);
    PutWord(h + 8, 0);
    std::free(h);
}


void* MemoryManager::ReAlloc(void* p, uint32_t size, const char* file, int line)
{
    if (!p) return size == 0 ? nullptr : Alloc(size, file, line, true);
    if (!IsGuarded(p)) CorruptBlock(p, "ReAlloc");
    uint32_t old = GetSize(p);
    const bool shared = IsShared(p);
    if (size == old && !shared) {
        PutWord(HeaderOf(p) + 12, 0); // to be written: the recorded length goes
        return p;
    }
    if (size == 0) {
        Free(p);
        return nullptr;
    }
    void* n = Alloc(size, file, line, true);
    std::memcpy(n, p, old < size ? old : size);
    Free(p);
    return n;
}

void* MemoryManager::Resize(void* p, uint32_t size, const char* file, int line)
{
    if (!p) return size == 0 ? nullptr : Alloc(size, file, line, false);
    if (!IsGuarded(p)) CorruptBlock(p, "Resize");
    if (size == 0) {
        Free(p);
        return nullptr;
    }
    if (size > kSizeMask) OutOfMemory();
    const uint32_t old = GetSize(p);
    if (IsShared(p)) {
        void* n = Alloc(size, file, line, false);
        std::memcpy(n, p, old < size ? old : size);
        Free(p); // this holder's share
        return n;
    }
    PutWord(HeaderOf(p) + 12, 0); // to be written: the recorded length goes
    if (size == old) return p;
    auto* block = static_cast<unsigned char*>(std::realloc(HeaderOf(p), size_t(size) + kHeader));
    if (!block) OutOfMemory();
    PutWord(block, size);
    if (size > old) {
        AddBytes(size - old);
    } else {
        g_bytesInUse.fetch_sub(old - size, std::memory_order_relaxed);
    }
    return block + kHeader;
}

bool MemoryManager::Share(void* p)
{
    if (!p) return false;
    if (!IsGuarded(p)) CorruptBlock(p, "Share");
    unsigned char* h = HeaderOf(p);
    const uint32_t text = Word(h + 12);
    if (text & kSharedBit) return false;
    PutWord(h + 12, text | kSharedBit);
    return true;
}

bool MemoryManager::Reuse(void* p, uint32_t n)
{
    if (!p || IsShared(p) || GetSize(p) < n) return false;
    PutWord(HeaderOf(p) + 12, 0);
    return true;
}

char* MemoryManager::StrDup(const char* text, const char* file, int line)
{
    if (!text) return nullptr;
    return StrDupN(text, std::strlen(text), file, line);
}

char* MemoryManager::StrDupN(const char* text, size_t n, const char* file, int line)
{
    if (!text) return nullptr;
    if (n >= kSizeMask) OutOfMemory();
    auto* s = static_cast<char*>(Alloc(uint32_t(n + 1), file, line, false));
    std::memcpy(s, text, n);
    s[n] = '\0';
    return s;
}

uint32_t MemoryManager::BytesInUse() { return g_bytesInUse.load(std::memory_order_relaxed); }
uint32_t MemoryManager::BlocksInUse() { return g_blocksInUse.load(std::memory_order_relaxed); }
uint32_t MemoryManager::PeakBytes() { return g_peakBytes.load(std::memory_order_relaxed); }
void MemoryManager::ResetPeak() { g_peakBytes.store(BytesInUse(), std::memory_order_relaxed); }

namespace {
uint32_t g_frameCount = 0; // main thread only
} // namespace

void MemoryManager::NextFrame() { ++g_frameCount; }
uint32_t MemoryManager::FrameCount() { return g_frameCount; }

void MemoryManager::Report()
{
    MemoryLogHandler log = g_logHandler.load();
    if (!log) return;
    uint32_t bytes = BytesInUse();
    char line[64];
    std::snprintf(line, sizeof line, "Total memory used = %d(0x%08lx) bytes\n", int(bytes), (unsigned long)bytes);
    log(line);
}

void MemoryManager::DumpStats(int limit, const char* title)
{
    (void)limit;
    (void)title;
}
