// CDS_Map: the associative structure of the script language (keys and values are reals or
// strings) and the carrier of every asynchronous result (HTTP replies, dialogs, images from
// URLs...), which other subsystems build through the C-level helpers below.
//
// Walk order (first, last, next, previous, copy and the text form): buckets in ascending
// order, bucket = CRC-32 of the key (no final inversion; a string's bytes, or the 8 bytes of a
// real) AND mask, 4096 buckets unless created with another power of two; within a bucket in
// the order of addition. Keys are identified by their whole value: kind, then the bytes of
// the text or of the real (the CRC only chooses the bucket), so colliding keys stay apart.
//
// Storage: entries in one array with a free list; each bucket is a chain of entries; buckets
// live in pages of 64 allocated on first use, with occupancy bitmaps, so an empty or small map
// costs a few hundred bytes and walking to the next non-empty bucket skips empty pages at
// once. Lookups go through an open-addressing index keyed by the CRC that holds, for each
// distinct key, its first entry in walk order (a text form may repeat a key: the later
// entries stay in their bucket and take the index when the first is deleted).
//
// Needs DS_Main.h, zlib (crc32). No Linux/ file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Files/DS/DS_Main.h"

struct CDS_MapEntry {
    ScriptValue key;   // kind 0 real or 1 string (text owned, never null)
    ScriptValue value; // kind 0 real, 1 string (text owned or null) or a marked real
    uint32_t hash;     // CRC-32 of the key
    int32_t prev;      // previous entry of the bucket chain, -1 at the head
    int32_t next;      // next entry of the bucket chain, -1 at the tail (free list: next free)
    uint8_t live;
    uint8_t indexed;   // the lookup index holds this entry
};

class CDS_Map {
public:
    static constexpr int32_t kDefaultBuckets = 4096;
    static constexpr int32_t kMaxBuckets = 1 << 20;

    // buckets is rounded up to a power of two, at least 1 and at most kMaxBuckets.
    explicit CDS_Map(int32_t buckets = kDefaultBuckets);
    // Clears the map, destroying the structures its marked values own.
    virtual ~CDS_Map();
    CDS_Map(const CDS_Map&) = delete;
    CDS_Map& operator=(const CDS_Map&) = delete;

    int32_t Size() const { return m_count; }
    int32_t BucketCount() const { return int32_t(m_mask + 1); }
    // A number no other map of the run has had: tells a map from a later one in its slot.
    uint64_t Serial() const { return m_serial; }

    // The first entry (in walk order) whose key equals key, or null.
    const CDS_MapEntry* Find(const ScriptValue* key) const;
    // Appends copies of key and value unless the key is present (false, nothing changes).
    bool Add(const ScriptValue* key, const ScriptValue* value);
    // Overwrites the value of a present key (true), else adds the pair (false).
    bool Replace(const ScriptValue* key, const ScriptValue* value);
    // Makes text (a memory-manager block the map takes over, not copied) the value of a
    // present key whose value is a string; false, with text freed, otherwise.
    bool ReplaceTakingText(const ScriptValue* key, char* text);
    // Hands every string value whose block holds at least atLeast bytes to release (which
    // then owns it) and leaves the value without text.
    void ReleaseLargeTexts(uint32_t atLeast, void (*release)(char* text));
    // Deletes the first entry of the key; the structure its value marks is not destroyed.
    void Delete(const ScriptValue* key);
    // Destroys the structures the values mark, then frees every entry.
    void Clear();
    // Frees every entry without destroying marked structures.
    void FreeEntries();

    // Walk order. Null when there is no such entry.
    const CDS_MapEntry* First() const { return EntryOrNull(FirstEntry()); }
    const CDS_MapEntry* Last() const { return EntryOrNull(LastEntry()); }
    // The entry after / before the key's entry; null when the key is absent or at the end.
    const CDS_MapEntry* Next(const ScriptValue* key) const;
    const CDS_MapEntry* Previous(const ScriptValue* key) const;
    // Entry numbers (-1 for none) for walking without lookups.
    int32_t FirstEntry() const;
    int32_t LastEntry() const;
    int32_t NextEntry(int32_t e) const;
    int32_t PreviousEntry(int32_t e) const;
    const CDS_MapEntry& Entry(int32_t e) const { return m_entries[size_t(e)]; }

    // This map := plain copies of source's entries in source's walk order (marks dropped: the
    // copy owns nothing); the old entries are freed without destroying what they mark. A copy
    // onto itself does nothing.
    void Copy(const CDS_Map* source);

    // The JSON decoder's entry: adds a string key whose value is a marked index of a list or
    // map that the map then owns (the structure records the map as its owner). False when the
    // key is present.
    bool AddNested(const char* key, int32_t index, bool isMap);
    // The list or map whose marked value owns this map, or null.
    const void* NestedOwner() const { return m_nestedOwner; }
    void SetNestedOwner(const void* owner) { m_nestedOwner = owner; }

    // Text form: "flag:key:value" entries joined by ',' (see DS_Text.cpp). Null when the text
    // would not fit in one block.
    char* WriteText() const;
    // Replaces the content from a text form; false (content unchanged) for malformed text.
    // The old entries are freed without destroying what they mark.
    bool ReadText(const char* text);
    // Appends an entry without looking for an equal key (the text reader).
    void AppendRaw(const ScriptValue* key, const ScriptValue* value);

    void Swap(CDS_Map* other);

private:
    struct BucketPage {
        uint64_t used;     // bit b: bucket page * 64 + b holds entries
        int32_t head[64];
        int32_t tail[64];
    };
    struct Key;

    const CDS_MapEntry* EntryOrNull(int32_t e) const { return e < 0 ? nullptr : &m_entries[size_t(e)]; }
    int32_t FindEntry(const Key& key) const;
    int32_t FindSlot(const Key& key) const;
    int32_t NewEntry(const Key& key, const ScriptValue* value, int32_t valueKind);
    void Link(int32_t e);
    void Unlink(int32_t e);
    void IndexInsert(int32_t e);
    void IndexRemoveSlot(int32_t slot);
    void IndexGrow();
    int32_t NextBucket(int64_t from) const;     // first non-empty bucket >= from, or -1
    int32_t PreviousBucket(int64_t from) const; // last non-empty bucket <= from, or -1
    void FreeEntry(int32_t e);

    uint32_t m_mask;
    int32_t m_count = 0;
    uint64_t m_serial;
    const void* m_nestedOwner = nullptr;
    std::vector<CDS_MapEntry> m_entries;
    int32_t m_freeHead = -1;
    std::vector<std::unique_ptr<BucketPage>> m_pages; // (mask + 64) / 64 once used
    std::vector<uint64_t> m_pageUsed;                 // bit per page with a used bucket
    std::vector<int32_t> m_index;                     // entry numbers, -1 empty; size 2^k
    int32_t m_indexCount = 0;
    int32_t m_indexShift = 32;
};

// ---- Helpers for other subsystems (main thread) ---------------------------------------------
// A new map (4096 buckets) filled from count entries, each three arguments: key text
// (const char*), real (double), value text (const char*, null for none). A value text gives a
// string value (the real ignored), else the real. Of two equal keys the first wins. A count of
// 0 or less gives an empty map. Returns its index.
int32_t DS_Map_CreateFromPairs(int32_t count, ...);
// Add a string key with a real or string value to the map of that index (an index that names
// no map does nothing and gives false); the result is that of CDS_Map::Add.
bool DS_Map_AddReal(int32_t index, const char* key, double real);
bool DS_Map_AddString(int32_t index, const char* key, const char* text);
// CDS_Map::ReplaceTakingText on the map of that index with a string key (text freed when
// there is no such map): a large text (an HTTP reply) becomes a value without a copy.
bool DS_Map_TakeString(int32_t index, const char* key, char* text);
// The map of that index, or null.
CDS_Map* DS_Map_Data(int32_t index);
// Asynchronous delivery: the serial of the map an index holds (0 when none) before the event,
// and afterwards the destruction of that map only if its slot still holds it (the event may
// have destroyed it, and a new map may have taken the slot).
uint64_t DS_Map_Serial(int32_t index);
// With releaseLargeText, texts of kDS_LargeText bytes or more are handed to it instead of
// being freed here (a 60 MB block takes milliseconds to give back to the system).
constexpr uint32_t kDS_LargeText = 1u << 20;
void DS_Map_DestroyDelivered(int32_t index, uint64_t serial, void (*releaseLargeText)(char* text) = nullptr);
// Destroys the map of that index (its marked structures too) and empties its slot; nothing
// when there is none.
void DS_Map_Destroy(int32_t index);
