// String building, 8-bit <-> UTF-16 copies and trimming over memory-manager blocks. Needs the
// memory manager.
#include "Files/Base/Strings.h"

#include <cstring>

#include "Platform/MemoryManager.h"

namespace {

// True when p points into the block that starts at block (its recorded size).
bool InsideBlock(const char* p, const char* block)
{
    if (!p || !block) return false;
    auto addr = reinterpret_cast<uintptr_t>(p), start = reinterpret_cast<uintptr_t>(block);
    return addr >= start && addr - start < MemoryManager::GetSize(block);
}

// Blank for trimming: below 33 when read as a signed byte.
bool IsBlank(char c) { return static_cast<signed char>(c) < 33; }

// Makes *var a block of at least need bytes: reused when large enough, else replaced.
char* Reserve(char** var, size_t need)
{
    if (MemoryManager::Reuse(*var, uint32_t(need))) return *var;
    MEM_FREE(*var);
    *var = static_cast<char*>(MEM_ALLOC(need));
    return *var;
}

} // namespace

char* String_Concat(char* dest, const char* s1, const char* s2, const char* s3, const char* s4,
                    const char* s5, const char* s6, const char* s7, const char* s8,
                    const char* s9, const char* s10)
{
    const char* all[10] = {s1, s2, s3, s4, s5, s6, s7, s8, s9, s10};
    const char* kept[10];
    size_t lens[10];
    int count = 0;
    size_t total = 0;
    bool overlaps = false;
    for (const char* s : all) {
        if (!s || !*s) continue;
        kept[count] = s;
        lens[count] = std::strlen(s);
        total += lens[count];
        overlaps = overlaps || InsideBlock(s, dest);
        ++count;
    }
    if (total == 0) return nullptr;
    if (total >= 0x7FFFFFFFu) MemoryManager::OutOfMemory();

    // A source that is dest, or lies inside it, would be overwritten (or freed) while it is
    // still to be read: build into a new block and let dest go afterwards.
    char* out;
    if (overlaps)
        out = static_cast<char*>(MEM_ALLOC(total + 1));
    else
        out = static_cast<char*>(MEM_REALLOC(dest, total + 1));
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        std::memcpy(out + at, kept[i], lens[i]);
        at += lens[i];
    }
    out[at] = '\0';
    if (overlaps) MEM_FREE(dest);
    return out;
}

char16_t* String_ToWide(const char* text)
{
    if (!text) return nullptr;
    size_t n = std::strlen(text);
    if (n >= 0x3FFFFFFFu) MemoryManager::OutOfMemory();
    auto* out = static_cast<char16_t*>(MEM_ALLOC_CLEAR((n + 1) * sizeof(char16_t)));
    for (size_t i = 0; i < n; ++i) out[i] = char16_t(static_cast<unsigned char>(text[i]));
    return out;
}

char* String_FromWide(const char16_t* text)
{
    if (!text) return nullptr;
    size_t n = 0;
    while (text[n]) ++n;
    if (n >= 0x7FFFFFFFu) MemoryManager::OutOfMemory();
    auto* out = static_cast<char*>(MEM_ALLOC(n + 1));
    for (size_t i = 0; i < n; ++i) out[i] = char(text[i] & 0xFF);
    out[n] = '\0';
    return out;
}

void VCL_Trim(char** var, const char* source)
{
    if (!source) {
        MEM_FREE(*var);
        *var = nullptr;
        return;
    }
    size_t n = std::strlen(source);
    size_t first = 0, last = n;
    while (first < n && IsBlank(source[first])) ++first;
    while (last > first && IsBlank(source[last - 1])) --last;
    if (first == last) {
        // Blank throughout: a fresh one-byte empty string.
        MEM_FREE(*var);
        *var = static_cast<char*>(MEM_ALLOC(1));
        (*var)[0] = '\0';
        return;
    }
    // The source may be the variable's own text: copy out of it before its block is renewed.
    size_t len = last - first;
    if (*var && source >= *var && InsideBlock(source, *var)) {
        std::memmove(*var, source + first, len);
        (*var)[len] = '\0';
        return;
    }
    if (n >= 0x7FFFFFFFu) MemoryManager::OutOfMemory();
    char* out = Reserve(var, len + 1);
    std::memcpy(out, source + first, len);
    out[len] = '\0';
}
