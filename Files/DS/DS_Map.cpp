// CDS_Map, its index table and the map helpers of other subsystems. Needs DS_Main and zlib.
#include "Files/DS/DS_Map.h"

#include <zlib.h>

#include <cstdarg>
#include <cstring>

#include "Platform/MemoryManager.h"

namespace {

DSTable<CDS_Map> g_maps;
uint64_t g_nextSerial = 1;

// The CRC of the maps (reflected 0xEDB88320, start 0xFFFFFFFF, no final inversion): zlib's
// CRC-32 inverted.
uint32_t KeyCRC(const void* bytes, size_t length)
{
    return uint32_t(crc32_z(0L, static_cast<const Bytef*>(bytes), length)) ^ 0xFFFFFFFFu;
}

int32_t RoundUpBuckets(int32_t n)
{
    if (n < 1) return 1;
    if (n > CDS_Map::kMaxBuckets) return CDS_Map::kMaxBuckets;
    int32_t b = 1;
    while (b < n) b <<= 1;
    return b;
}

} // namespace

DSTable<CDS_Map>& DS_Maps() { return g_maps; }

// A key as looked up: a string (text, length) or a real; with its CRC.
struct CDS_Map::Key {
    bool isString;
    const char* text;
    size_t length;
    double real;
    uint32_t hash;

    explicit Key(const ScriptValue* v)
    {
        isString = v->kind == VALUE_STRING;
        if (isString) {
            text = v->text ? v->text : "";
            length = std::strlen(text);
            real = 0.0;
            hash = KeyCRC(text, length);
        } else {
            text = nullptr;
            length = 0;
            real = v->real;
            hash = KeyCRC(&real, sizeof real);
        }
    }
    bool Matches(const CDS_MapEntry& e) const
    {
        if (e.hash != hash) return false;
        if (isString) return e.key.kind == VALUE_STRING && std::strcmp(e.key.text, text) == 0;
        return e.key.kind == VALUE_REAL && std::memcmp(&e.key.real, &real, sizeof real) == 0;
    }
};

CDS_Map::CDS_Map(int32_t buckets) : m_mask(uint32_t(RoundUpBuckets(buckets)) - 1), m_serial(g_nextSerial++) {}

CDS_Map::~CDS_Map() { Clear(); }

void CDS_Map::Swap(CDS_Map* other)
{
    std::swap(m_mask, other->m_mask);
    std::swap(m_count, other->m_count);
    std::swap(m_entries, other->m_entries);
    std::swap(m_freeHead, other->m_freeHead);
    std::swap(m_pages, other->m_pages);
    std::swap(m_pageUsed, other->m_pageUsed);
    std::swap(m_index, other->m_index);
    std::swap(m_indexCount, other->m_indexCount);
    std::swap(m_indexShift, other->m_indexShift);
}

// [SECTION] Buckets

void CDS_Map::Link(int32_t e)
{
    CDS_MapEntry& entry = m_entries[size_t(e)];
    uint32_t bucket = entry.hash & m_mask;
    if (m_pages.empty()) {
        size_t pages = (size_t(m_mask) + 64) / 64;
        m_pages.resize(pages);
        m_pageUsed.assign((pages + 63) / 64, 0);
    }
    size_t p = bucket >> 6;
    uint32_t bit = bucket & 63;
    if (!m_pages[p]) m_pages[p].reset(new BucketPage());
    BucketPage& page = *m_pages[p];
    entry.next = -1;
    if (!(page.used >> bit & 1)) {
        page.used |= uint64_t(1) << bit;
        m_pageUsed[p >> 6] |= uint64_t(1) << (p & 63);
        page.head[bit] = page.tail[bit] = e;
        entry.prev = -1;
    } else {
        int32_t tail = page.tail[bit];
        m_entries[size_t(tail)].next = e;
        entry.prev = tail;
        page.tail[bit] = e;
    }
}

void CDS_Map::Unlink(int32_t e)
{
    CDS_MapEntry& entry = m_entries[size_t(e)];
    uint32_t bucket = entry.hash & m_mask;
    size_t p = bucket >> 6;
    uint32_t bit = bucket & 63;
    BucketPage& page = *m_pages[p];
    if (entry.prev >= 0) m_entries[size_t(entry.prev)].next = entry.next;
    else page.head[bit] = entry.next;
    if (entry.next >= 0) m_entries[size_t(entry.next)].prev = entry.prev;
    else page.tail[bit] = entry.prev;
    if (page.head[bit] < 0) {
        page.used &= ~(uint64_t(1) << bit);
        if (!page.used) m_pageUsed[p >> 6] &= ~(uint64_t(1) << (p & 63));
    }
    entry.prev = entry.next = -1;
}

int32_t CDS_Map::NextBucket(int64_t from) const
{
    if (m_pages.empty() || from > int64_t(m_mask) || from < 0) return -1;
    size_t p = size_t(from) >> 6;
    if (m_pages[p]) {
        uint64_t bits = m_pages[p]->used & (~uint64_t(0) << (from & 63));
        if (bits) return int32_t(p * 64 + size_t(__builtin_ctzll(bits)));
    }
    size_t q = p + 1;
    if (q >= m_pages.size()) return -1;
    size_t word = q >> 6;
    uint64_t bits = m_pageUsed[word] & (~uint64_t(0) << (q & 63));
    while (!bits) {
        if (++word >= m_pageUsed.size()) return -1;
        bits = m_pageUsed[word];
    }
    size_t page = word * 64 + size_t(__builtin_ctzll(bits));
    return int32_t(page * 64 + size_t(__builtin_ctzll(m_pages[page]->used)));
}

int32_t CDS_Map::PreviousBucket(int64_t from) const
{
    if (m_pages.empty() || from < 0) return -1;
    if (from > int64_t(m_mask)) from = m_mask;
    size_t p = size_t(from) >> 6;
    uint32_t bit = uint32_t(from & 63);
    uint64_t upTo = bit == 63 ? ~uint64_t(0) : (uint64_t(1) << (bit + 1)) - 1;
    if (m_pages[p]) {
        uint64_t bits = m_pages[p]->used & upTo;
        if (bits) return int32_t(p * 64 + 63 - size_t(__builtin_clzll(bits)));
    }
    if (p == 0) return -1;
    size_t q = p - 1;
    size_t word = q >> 6;
    uint32_t qbit = uint32_t(q & 63);
    uint64_t bits = m_pageUsed[word] & (qbit == 63 ? ~uint64_t(0) : (uint64_t(1) << (qbit + 1)) - 1);
    while (!bits) {
        if (word == 0) return -1;
        bits = m_pageUsed[--word];
    }
    size_t page = word * 64 + 63 - size_t(__builtin_clzll(bits));
    return int32_t(page * 64 + 63 - size_t(__builtin_clzll(m_pages[page]->used)));
}

int32_t CDS_Map::FirstEntry() const
{
    int32_t b = NextBucket(0);
    return b < 0 ? -1 : m_pages[size_t(b) >> 6]->head[b & 63];
}

int32_t CDS_Map::LastEntry() const
{
    int32_t b = PreviousBucket(int64_t(m_mask));
    return b < 0 ? -1 : m_pages[size_t(b) >> 6]->tail[b & 63];
}

int32_t CDS_Map::NextEntry(int32_t e) const
{
    const CDS_MapEntry& entry = m_entries[size_t(e)];
    if (entry.next >= 0) return entry.next;
    int32_t b = NextBucket(int64_t(entry.hash & m_mask) + 1);
    return b < 0 ? -1 : m_pages[size_t(b) >> 6]->head[b & 63];
}

int32_t CDS_Map::PreviousEntry(int32_t e) const
{
    const CDS_MapEntry& entry = m_entries[size_t(e)];
    if (entry.prev >= 0) return entry.prev;
    int32_t b = PreviousBucket(int64_t(entry.hash & m_mask) - 1);
    return b < 0 ? -1 : m_pages[size_t(b) >> 6]->tail[b & 63];
}

// [SECTION] Lookup index

void CDS_Map::IndexGrow()
{
    size_t size = m_index.empty() ? 8 : m_index.size() * 2;
    m_index.assign(size, -1);
    m_indexShift = 32 - __builtin_ctzll(size);
    m_indexCount = 0;
    for (size_t e = 0; e < m_entries.size(); e++)
        if (m_entries[e].live && m_entries[e].indexed) IndexInsert(int32_t(e));
}

void CDS_Map::IndexInsert(int32_t e)
{
    if (size_t(m_indexCount + 1) * 2 > m_index.size()) IndexGrow(); // re-inserts the others
    size_t mask = m_index.size() - 1;
    size_t slot = (m_entries[size_t(e)].hash * 0x9E3779B1u) >> m_indexShift;
    while (m_index[slot] >= 0) slot = (slot + 1) & mask;
    m_index[slot] = e;
    m_indexCount++;
    m_entries[size_t(e)].indexed = 1;
}

void CDS_Map::IndexRemoveSlot(int32_t slot)
{
    size_t mask = m_index.size() - 1;
    size_t i = size_t(slot);
    m_entries[size_t(m_index[i])].indexed = 0;
    // Backward-shift deletion keeps every probe chain unbroken.
    size_t j = i;
    for (;;) {
        j = (j + 1) & mask;
        int32_t e = m_index[j];
        if (e < 0) break;
        size_t home = (m_entries[size_t(e)].hash * 0x9E3779B1u) >> m_indexShift;
        bool between = (i <= j) ? (i < home && home <= j) : (i < home || home <= j);
        if (!between) {
            m_index[i] = e;
            i = j;
        }
    }
    m_index[i] = -1;
    m_indexCount--;
}

int32_t CDS_Map::FindSlot(const Key& key) const
{
    if (m_index.empty()) return -1;
    size_t mask = m_index.size() - 1;
    size_t slot = (key.hash * 0x9E3779B1u) >> m_indexShift;
    for (;;) {
        int32_t e = m_index[slot];
        if (e < 0) return -1;
        if (key.Matches(m_entries[size_t(e)])) return int32_t(slot);
        slot = (slot + 1) & mask;
    }
}

int32_t CDS_Map::FindEntry(const Key& key) const
{
    int32_t slot = FindSlot(key);
    return slot < 0 ? -1 : m_index[size_t(slot)];
}

// [SECTION] Entries

int32_t CDS_Map::NewEntry(const Key& key, const ScriptValue* value, int32_t valueKind)
{
    int32_t e;
    if (m_freeHead >= 0) {
        e = m_freeHead;
        m_freeHead = m_entries[size_t(e)].next;
    } else {
        e = int32_t(m_entries.size());
        m_entries.push_back(CDS_MapEntry{});
    }
    CDS_MapEntry& entry = m_entries[size_t(e)];
    if (key.isString) entry.key = ScriptValue{VALUE_STRING, MEM_STRDUPN(key.text, key.length), 0.0};
    else entry.key = ScriptValue{VALUE_REAL, nullptr, key.real};
    if (valueKind == VALUE_STRING) {
        entry.value = ScriptValue{VALUE_STRING, value->text ? MEM_STRDUP(value->text) : nullptr, 0.0};
    } else {
        entry.value = ScriptValue{valueKind, nullptr, value->real};
    }
    entry.hash = key.hash;
    entry.live = 1;
    entry.indexed = 0;
    Link(e);
    m_count++;
    return e;
}

void CDS_Map::FreeEntry(int32_t e)
{
    CDS_MapEntry& entry = m_entries[size_t(e)];
    Value_FreeString(&entry.key);
    Value_FreeString(&entry.value);
    entry.live = 0;
    entry.indexed = 0;
    entry.prev = -1;
    entry.next = m_freeHead;
    m_freeHead = e;
}

const CDS_MapEntry* CDS_Map::Find(const ScriptValue* key) const { return EntryOrNull(FindEntry(Key(key))); }

bool CDS_Map::Add(const ScriptValue* key, const ScriptValue* value)
{
    Key k(key);
    if (FindEntry(k) >= 0) return false;
    int32_t e = NewEntry(k, value, value->kind == VALUE_STRING ? VALUE_STRING : VALUE_REAL);
    IndexInsert(e);
    return true;
}

bool CDS_Map::AddNested(const char* key, int32_t index, bool isMap)
{
    ScriptValue keyValue{VALUE_STRING, const_cast<char*>(key), 0.0};
    Key k(&keyValue);
    if (FindEntry(k) >= 0) return false;
    ScriptValue value{VALUE_REAL, nullptr, double(index)};
    int32_t e = NewEntry(k, &value, isMap ? DS_MARK_MAP : DS_MARK_LIST);
    IndexInsert(e);
    DS_SetNestedOwner(index, isMap, this);
    return true;
}

void CDS_Map::AppendRaw(const ScriptValue* key, const ScriptValue* value)
{
    Key k(key);
    bool present = FindEntry(k) >= 0;
    int32_t e = NewEntry(k, value, value->kind == VALUE_STRING ? VALUE_STRING : VALUE_REAL);
    if (!present) IndexInsert(e);
}

bool CDS_Map::ReplaceTakingText(const ScriptValue* key, char* text)
{
    int32_t e = FindEntry(Key(key));
    if (e < 0 || m_entries[size_t(e)].value.kind != VALUE_STRING) {
        MEM_FREE(text);
        return false;
    }
    ScriptValue& stored = m_entries[size_t(e)].value;
    Value_FreeString(&stored);
    stored.text = text;
    return true;
}

void CDS_Map::ReleaseLargeTexts(uint32_t atLeast, void (*release)(char* text))
{
    for (CDS_MapEntry& entry : m_entries) {
        ScriptValue& v = entry.value;
        if (!entry.live || v.kind != VALUE_STRING || !v.text || MemoryManager::GetSize(v.text) < atLeast) continue;
        release(v.text);
        v.text = nullptr;
    }
}

bool CDS_Map::Replace(const ScriptValue* key, const ScriptValue* value)
{
    int32_t e = FindEntry(Key(key));
    if (e < 0) {
        Add(key, value);
        return false;
    }
    ScriptValue& stored = m_entries[size_t(e)].value;
    char* text = (value->kind == VALUE_STRING && value->text) ? MEM_STRDUP(value->text) : nullptr;
    Value_FreeString(&stored);
    if (value->kind == VALUE_STRING) stored = ScriptValue{VALUE_STRING, text, 0.0};
    else stored = ScriptValue{VALUE_REAL, nullptr, value->real};
    return true;
}

void CDS_Map::Delete(const ScriptValue* key)
{
    Key k(key);
    int32_t slot = FindSlot(k);
    if (slot < 0) return;
    int32_t e = m_index[size_t(slot)];
    IndexRemoveSlot(slot);
    // A later entry with the same key (a text form may hold one) becomes the one found.
    for (int32_t d = m_entries[size_t(e)].next; d >= 0; d = m_entries[size_t(d)].next) {
        if (k.Matches(m_entries[size_t(d)])) {
            IndexInsert(d);
            break;
        }
    }
    Unlink(e);
    FreeEntry(e);
    m_count--;
}

void CDS_Map::FreeEntries()
{
    for (CDS_MapEntry& entry : m_entries) {
        if (!entry.live) continue;
        Value_FreeString(&entry.key);
        Value_FreeString(&entry.value);
    }
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_freeHead = -1;
    m_pages.clear();
    m_pages.shrink_to_fit();
    m_pageUsed.clear();
    m_index.clear();
    m_index.shrink_to_fit();
    m_indexCount = 0;
    m_indexShift = 32;
    m_count = 0;
}

void CDS_Map::Clear()
{
    std::vector<ScriptValue> marked;
    for (const CDS_MapEntry& entry : m_entries)
        if (entry.live && DS_IsMarked(entry.value.kind)) marked.push_back(entry.value);
    FreeEntries();
    DS_DestroyMarked(marked, this);
}

const CDS_MapEntry* CDS_Map::Next(const ScriptValue* key) const
{
    int32_t e = FindEntry(Key(key));
    return e < 0 ? nullptr : EntryOrNull(NextEntry(e));
}

const CDS_MapEntry* CDS_Map::Previous(const ScriptValue* key) const
{
    int32_t e = FindEntry(Key(key));
    return e < 0 ? nullptr : EntryOrNull(PreviousEntry(e));
}

void CDS_Map::Copy(const CDS_Map* source)
{
    if (source == this) return;
    FreeEntries();
    if (!source) return;
    for (int32_t e = source->FirstEntry(); e >= 0; e = source->NextEntry(e)) {
        const CDS_MapEntry& entry = source->m_entries[size_t(e)];
        AppendRaw(&entry.key, &entry.value);
    }
}

// [SECTION] Helpers for other subsystems

int32_t DS_Map_CreateFromPairs(int32_t count, ...)
{
    CDS_Map* map = new CDS_Map();
    va_list args;
    va_start(args, count);
    for (int32_t i = 0; i < count; i++) {
        const char* key = va_arg(args, const char*);
        double real = va_arg(args, double);
        const char* text = va_arg(args, const char*);
        ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0.0};
        ScriptValue v = text ? ScriptValue{VALUE_STRING, const_cast<char*>(text), 0.0}
                             : ScriptValue{VALUE_REAL, nullptr, real};
        map->Add(&k, &v);
    }
    va_end(args);
    return g_maps.Add(map);
}

CDS_Map* DS_Map_Data(int32_t index) { return g_maps.Get(index); }

bool DS_Map_AddReal(int32_t index, const char* key, double real)
{
    CDS_Map* map = g_maps.Get(index);
    if (!map) return false;
    ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0.0};
    ScriptValue v{VALUE_REAL, nullptr, real};
    return map->Add(&k, &v);
}

bool DS_Map_AddString(int32_t index, const char* key, const char* text)
{
    CDS_Map* map = g_maps.Get(index);
    if (!map) return false;
    ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0.0};
    ScriptValue v{VALUE_STRING, const_cast<char*>(text), 0.0};
    return map->Add(&k, &v);
}

bool DS_Map_TakeString(int32_t index, const char* key, char* text)
{
    CDS_Map* map = g_maps.Get(index);
    if (!map) {
        MEM_FREE(text);
        return false;
    }
    ScriptValue k{VALUE_STRING, const_cast<char*>(key), 0.0};
    return map->ReplaceTakingText(&k, text);
}

uint64_t DS_Map_Serial(int32_t index)
{
    CDS_Map* map = g_maps.Get(index);
    return map ? map->Serial() : 0;
}

void DS_Map_DestroyDelivered(int32_t index, uint64_t serial, void (*releaseLargeText)(char* text))
{
    CDS_Map* map = g_maps.Get(index);
    if (!map || serial == 0 || map->Serial() != serial) return;
    if (releaseLargeText) map->ReleaseLargeTexts(kDS_LargeText, releaseLargeText);
    delete g_maps.Take(index);
}

void DS_Map_Destroy(int32_t index) { delete g_maps.Take(index); }
