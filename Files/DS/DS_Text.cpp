// Text form of the data structures: every kind is written to one string and read back.
//
// Stack, queue, list, priority queue and grid: a little-endian binary record written as
// upper-case hex digit pairs: i32 kind id (101 stack, 201 queue, 301 list, 501 priority, 601
// grid), the kind's header, then value records {i32 kind, f64 real, u32 length, bytes}.
// Map: entries in walk order joined by ',', each "F:key:value" with F = '0' + 1 (string key)
// + 2 (string value); a string as two hex digits per byte; a real as the bytes of its f64 from
// the most significant down, stopping where the rest is zero (1.0 -> "3FF0", 0.0 -> "").
//
// Readers check every count, size and length against the data before anything changes: a
// text of another kind or a malformed one leaves the structure as it was (false). Marks of
// nested structures are never read back (a marked value is read as a plain real). A quit
// request stops writing (no text) and reading (the structure as it was).
//
// Needs DS_Main (record helpers) and each kind's class.
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Base/QuitRequest.h"
#include "Files/DS/DS_Grid.h"
#include "Files/DS/DS_List.h"
#include "Files/DS/DS_Map.h"
#include "Files/DS/DS_Priority.h"
#include "Files/DS/DS_Stack.h"
#include "Platform/MemoryManager.h"

namespace {

constexpr int32_t kStackId = 101;
constexpr int32_t kQueueId = 201;
constexpr int32_t kListId = 301;
constexpr int32_t kPriorityId = 501;
constexpr int32_t kGridId = 601;

void ReleaseValues(std::vector<ScriptValue>* values)
{
    for (ScriptValue& v : *values) DS_ClearValue(&v);
    values->clear();
}

// Reads n value records into a new array; false (nothing kept) when they do not fit.
bool ReadValues(DSRecordReader* reader, int64_t n, std::vector<ScriptValue>* out)
{
    if (n < 0 || n > reader->Remaining() / DSRecordReader::kMinRecord) return false;
    out->assign(size_t(n), DS_EmptyValue());
    QuitPoll poll;
    for (int64_t i = 0; i < n; i++) {
        if (poll.Stop(16) || !reader->ReadValue(&(*out)[size_t(i)])) {
            ReleaseValues(out);
            return false;
        }
    }
    return true;
}

// The text of a record: the header written, then the values' records; null when a quit
// stopped the writing.
char* WriteValues(std::vector<uint8_t>* bytes, const std::vector<ScriptValue>& values)
{
    QuitPoll poll;
    for (const ScriptValue& v : values) {
        if (poll.Stop(16)) return nullptr;
        DS_WriteRecord(bytes, &v);
    }
    return DS_BytesToHex(*bytes);
}

// The record of a binary text form after its kind id, or false for another kind.
bool OpenRecord(DSRecordReader* reader, int32_t id)
{
    int32_t found;
    return reader->ReadInt(&found) && found == id;
}

} // namespace

// [SECTION] Stack

char* CDS_Stack::WriteText() const
{
    std::vector<uint8_t> bytes;
    DS_WriteInt(&bytes, kStackId);
    DS_WriteInt(&bytes, Size());
    return WriteValues(&bytes, m_items);
}

bool CDS_Stack::ReadText(const char* text)
{
    std::vector<uint8_t> bytes = DS_HexToBytes(text);
    DSRecordReader reader(bytes.data(), int64_t(bytes.size()));
    int32_t count;
    std::vector<ScriptValue> items;
    if (!OpenRecord(&reader, kStackId) || !reader.ReadInt(&count) || !ReadValues(&reader, count, &items))
        return false;
    Clear();
    m_items.swap(items);
    return true;
}

// [SECTION] Queue

char* CDS_Queue::WriteText() const
{
    std::vector<uint8_t> bytes;
    DS_WriteInt(&bytes, kQueueId);
    DS_WriteInt(&bytes, m_tail);
    DS_WriteInt(&bytes, m_head);
    DS_WriteInt(&bytes, Capacity());
    return WriteValues(&bytes, m_items);
}

bool CDS_Queue::ReadText(const char* text)
{
    std::vector<uint8_t> bytes = DS_HexToBytes(text);
    DSRecordReader reader(bytes.data(), int64_t(bytes.size()));
    int32_t tail, head, capacity;
    if (!OpenRecord(&reader, kQueueId) || !reader.ReadInt(&tail) || !reader.ReadInt(&head) ||
        !reader.ReadInt(&capacity))
        return false;
    if (head < 0 || head > tail || tail > capacity) return false;
    std::vector<ScriptValue> items;
    if (!ReadValues(&reader, capacity, &items)) return false;
    Clear();
    m_items.swap(items);
    ReleaseValues(&items);
    m_head = head;
    m_tail = tail;
    return true;
}

// [SECTION] List

char* CDS_List::WriteText() const
{
    std::vector<uint8_t> bytes;
    DS_WriteInt(&bytes, kListId);
    DS_WriteInt(&bytes, Size());
    return WriteValues(&bytes, m_items);
}

bool CDS_List::ReadText(const char* text)
{
    std::vector<uint8_t> bytes = DS_HexToBytes(text);
    DSRecordReader reader(bytes.data(), int64_t(bytes.size()));
    int32_t count;
    std::vector<ScriptValue> items;
    if (!OpenRecord(&reader, kListId) || !reader.ReadInt(&count) || !ReadValues(&reader, count, &items))
        return false;
    ReleaseValues(&m_items); // what the old values own stays alive
    m_items.swap(items);
    return true;
}

// [SECTION] Priority queue

char* CDS_Priority::WriteText() const
{
    std::vector<uint8_t> bytes;
    DS_WriteInt(&bytes, kPriorityId);
    DS_WriteInt(&bytes, Size());
    for (const ScriptValue& p : m_priorities) DS_WriteRecord(&bytes, &p);
    for (const ScriptValue& v : m_values) DS_WriteRecord(&bytes, &v);
    return DS_BytesToHex(bytes);
}

bool CDS_Priority::ReadText(const char* text)
{
    std::vector<uint8_t> bytes = DS_HexToBytes(text);
    DSRecordReader reader(bytes.data(), int64_t(bytes.size()));
    int32_t count;
    if (!OpenRecord(&reader, kPriorityId) || !reader.ReadInt(&count)) return false;
    if (count < 0 || count > reader.Remaining() / (2 * DSRecordReader::kMinRecord)) return false;
    std::vector<ScriptValue> priorities, values;
    if (!ReadValues(&reader, count, &priorities)) return false;
    if (!ReadValues(&reader, count, &values)) {
        ReleaseValues(&priorities);
        return false;
    }
    Clear();
    m_priorities.swap(priorities);
    m_values.swap(values);
    return true;
}

// [SECTION] Grid

char* CDS_Grid::WriteText() const
{
    std::vector<uint8_t> bytes;
    DS_WriteInt(&bytes, kGridId);
    DS_WriteInt(&bytes, m_width);
    DS_WriteInt(&bytes, m_height);
    return WriteValues(&bytes, m_cells); // column by column
}

bool CDS_Grid::ReadText(const char* text)
{
    std::vector<uint8_t> bytes = DS_HexToBytes(text);
    DSRecordReader reader(bytes.data(), int64_t(bytes.size()));
    int32_t width, height;
    if (!OpenRecord(&reader, kGridId) || !reader.ReadInt(&width) || !reader.ReadInt(&height)) return false;
    if (width < 0 || height < 0 || !SizeAllowed(width, height)) return false;
    std::vector<ScriptValue> cells;
    if (!ReadValues(&reader, int64_t(width) * height, &cells)) return false;
    FreeCells();
    m_cells.swap(cells);
    m_width = width;
    m_height = height;
    return true;
}

// [SECTION] Map

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHexBytes(std::string* out, const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; i++) {
        out->push_back(kHexDigits[p[i] >> 4]);
        out->push_back(kHexDigits[p[i] & 15]);
    }
}

void AppendField(std::string* out, const ScriptValue& v)
{
    if (v.kind == VALUE_STRING) {
        const char* text = v.text ? v.text : "";
        AppendHexBytes(out, text, std::strlen(text));
        return;
    }
    uint64_t bits;
    std::memcpy(&bits, &v.real, 8);
    uint8_t bytes[8];
    for (int i = 0; i < 8; i++) bytes[i] = uint8_t(bits >> (56 - 8 * i)); // most significant first
    size_t n = 8;
    while (n > 0 && bytes[n - 1] == 0) n--;
    AppendHexBytes(out, bytes, n);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One field up to ':' or ',' or the end: an even number of hex digits (a real at most 16).
// Fills value (a string value's text is a new block); false when malformed.
bool ReadField(const char** cursor, bool isString, ScriptValue* value)
{
    const char* p = *cursor;
    const char* end = p;
    while (*end && *end != ':' && *end != ',') end++;
    size_t digits = size_t(end - p);
    if (digits % 2 != 0) return false;
    if (!isString && digits > 16) return false;
    std::string bytes;
    bytes.reserve(digits / 2);
    for (size_t i = 0; i < digits; i += 2) {
        int hi = HexDigit(p[i]), lo = HexDigit(p[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(char(hi << 4 | lo));
    }
    if (isString) {
        // A zero byte ends the text, as it ends every text of the runner.
        *value = ScriptValue{VALUE_STRING, MEM_STRDUP(bytes.c_str()), 0.0};
    } else {
        uint64_t bits = 0;
        for (size_t i = 0; i < bytes.size(); i++) bits |= uint64_t(uint8_t(bytes[i])) << (56 - 8 * i);
        double real;
        std::memcpy(&real, &bits, 8);
        *value = ScriptValue{VALUE_REAL, nullptr, real};
    }
    *cursor = end;
    return true;
}

} // namespace

char* CDS_Map::WriteText() const
{
    std::string out;
    QuitPoll poll;
    for (int32_t e = FirstEntry(); e >= 0; e = NextEntry(e)) {
        if (poll.Stop(32)) return nullptr;
        const CDS_MapEntry& entry = Entry(e);
        if (!out.empty()) out.push_back(',');
        int flag = (entry.key.kind == VALUE_STRING ? 1 : 0) + (entry.value.kind == VALUE_STRING ? 2 : 0);
        out.push_back(char('0' + flag));
        out.push_back(':');
        AppendField(&out, entry.key);
        out.push_back(':');
        AppendField(&out, entry.value);
    }
    if (out.size() >= size_t(0x7FFFFF00)) {
        Console_Output("Data structure too large to write as text (%lld bytes)\n", static_cast<long long>(out.size()));
        return nullptr;
    }
    return MEM_STRDUPN(out.data(), out.size());
}

bool CDS_Map::ReadText(const char* text)
{
    CDS_Map fresh(BucketCount());
    const char* p = text ? text : "";
    QuitPoll poll;
    while (*p) {
        if (poll.Stop(32)) return false;
        int flag = *p - '0';
        if (flag < 0 || flag > 3 || p[1] != ':') return false;
        p += 2;
        ScriptValue key = DS_EmptyValue(), value = DS_EmptyValue();
        if (!ReadField(&p, (flag & 1) != 0, &key)) return false;
        if (*p != ':') {
            Value_FreeString(&key);
            return false;
        }
        p++;
        if (!ReadField(&p, (flag & 2) != 0, &value)) {
            Value_FreeString(&key);
            return false;
        }
        fresh.AppendRaw(&key, &value);
        Value_FreeString(&key);
        Value_FreeString(&value);
        if (!*p) break;
        if (*p != ',' || !p[1]) return false;
        p++;
    }
    Swap(&fresh);
    fresh.FreeEntries(); // the old entries: what their values mark stays alive
    return true;
}
