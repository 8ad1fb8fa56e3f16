// IniFile: parser, lookups, edits and the writer of INI texts. Needs the memory manager, the
// log console (the trace of Load) and LoadSave for the file (save area first, then the
// program folder; writes to the save area).
#include "Files/Support/IniFile.h"

#include <climits>
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

char* CopyOf(const char* text, size_t n)
{
    char* s = static_cast<char*>(MEM_ALLOC(n + 1));
    if (n) std::memcpy(s, text, n);
    s[n] = 0;
    return s;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsBlankByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#' || c == ';'; }

void FreeKey(IniKey* k)
{
    MEM_FREE(k->name);
    MEM_FREE(k->value);
    MEM_FREE(k);
}

void FreeSection(IniSection* s)
{
    for (IniKey* k = s->first; k;) {
        IniKey* next = k->next;
        FreeKey(k);
        k = next;
    }
    MEM_FREE(s->name);
    MEM_FREE(s);
}

// The form in which a value is written so that the reader gives it back: line breaks become
// spaces (a value never starts a line of its own); a value that is empty, starts with a
// blank or a quote, or holds ';' or '#' is put in quotes (double quotes unless it holds
// one). Trailing spaces and TABs are cut by the reader in any form.
std::string WrittenValue(const char* value)
{
    std::string v = value ? value : "";
    for (char& c : v)
        if (IsLineEnd(c)) c = ' ';
    bool quote = v.empty() || IsBlankByte(v[0]) || v[0] == '"' || v[0] == '\'' ||
                 v.find_first_of(";#") != std::string::npos;
    if (!quote) return v;
    char q = v.find('"') == std::string::npos ? '"' : '\'';
    return q + v + q;
}

// The form in which a section or key name is written so that it cannot change how the rest
// of the text reads: line breaks, and the byte that ends the name (']' of a section, '=' of a
// key), become spaces, and so does a '[' that would open a key's line as a section header.
std::string WrittenName(const char* name, char end)
{
    std::string n = name ? name : "";
    for (char& c : n)
        if (IsLineEnd(c) || c == end) c = ' ';
    size_t first = n.find_first_not_of(" \t");
    if (end == '=' && first != std::string::npos && n[first] == '[') n[first] = ' ';
    return n;
}

} // namespace

IniFile::IniFile() = default;

IniFile::~IniFile()
{
    FreeAll();
    MEM_FREE(m_fileName);
    MEM_FREE(m_text);
}

void IniFile::FreeAll()
{
    for (IniSection* s = m_first; s;) {
        IniSection* next = s->next;
        FreeSection(s);
        s = next;
    }
    m_first = nullptr;
    m_sections.clear();
    m_keys.clear();
}

void IniFile::IndexSection(IniSection* s) { m_sections[s->name].push_back(s); }

void IniFile::IndexKey(IniSection* s, IniKey* k) { m_keys[KeyName{s, k->name}].push_back(k); }

void IniFile::UnindexSection(IniSection* s)
{
    for (IniKey* k = s->first; k; k = k->next) UnindexKey(s, k);
    auto found = m_sections.find(s->name);
    if (found == m_sections.end()) return;
    std::erase(found->second, s);
    if (found->second.empty()) m_sections.erase(found);
}

void IniFile::UnindexKey(IniSection* s, IniKey* k)
{
    auto found = m_keys.find(KeyName{s, k->name});
    if (found == m_keys.end()) return;
    // The key removed is the head-most of its name or (a whole section going) any of them.
    if (!found->second.empty() && found->second.back() == k) found->second.pop_back();
    else std::erase(found->second, k);
    if (found->second.empty()) m_keys.erase(found);
}

// [SECTION] Loading and parsing

IniFile* IniFile::Load(const char* name, bool trace)
{
    MEM_FREE(m_fileName);
    m_fileName = name ? MEM_STRDUP(name) : nullptr;
    MEM_FREE(m_text);
    m_text = nullptr;
    m_length = 0;
    if (!name) return this;
    int32_t size = 0;
    uint8_t* data = LoadSave_ReadGameFile(name, &size);
    if (!data) return this;
    m_text = reinterpret_cast<char*>(data); // zero-terminated by the reader
    m_length = size;
    if (trace) Console_Output("%s file contents: %s\n", name, m_text);
    Parse();
    return this;
}

void IniFile::SetText(const char* text)
{
    if (!text) return;
    SetText(text, int32_t(strnlen(text, INT32_MAX - 1)));
}

void IniFile::SetText(const char* text, int32_t length)
{
    if (!text || length < 0) return;
    MEM_FREE(m_text);
    m_text = CopyOf(text, size_t(length));
    m_length = length;
    Parse();
}

bool IniFile::IsBlank() const { return m_pos < m_length && IsBlankByte(m_text[m_pos]); }

// Steps over blanks; '#' and ';' open a comment that runs to the end of its line, and the
// line end after it is passed too (CR LF or LF alone). LF bytes passed are counted.
void IniFile::SkipBlanks()
{
    while (IsBlank()) {
        char c = m_text[m_pos];
        if (c == '#' || c == ';') {
            while (m_pos < m_length && !IsLineEnd(m_text[m_pos])) m_pos++;
            if (m_pos < m_length && m_text[m_pos] == '\r') m_pos++;
            if (m_pos < m_length && m_text[m_pos] == '\n') {
                m_pos++;
                m_line++;
            }
        } else {
            if (c == '\n') m_line++;
            m_pos++;
        }
    }
}

// "[" name "]": everything up to the next "[" is skipped; the name runs to the next "]" (not
// trimmed, may be empty). No "[" or no "]" before the end: null.
IniSection* IniFile::ReadSection()
{
    SkipBlanks();
    while (m_pos < m_length && m_text[m_pos] != '[') {
        if (m_text[m_pos] == '\n') m_line++;
        m_pos++;
    }
    if (m_pos >= m_length) return nullptr;
    int32_t start = ++m_pos;
    while (m_pos < m_length && m_text[m_pos] != ']') {
        if (m_text[m_pos] == '\n') m_line++;
        m_pos++;
    }
    if (m_pos >= m_length) return nullptr;
    auto* s = static_cast<IniSection*>(MEM_ALLOC_CLEAR(sizeof(IniSection)));
    s->name = CopyOf(m_text + start, size_t(m_pos - start));
    m_pos++;
    return s;
}

// name "=" value, the value on the line of its "=". See the header for quoting.
IniKey* IniFile::ReadKey()
{
    SkipBlanks();
    if (m_pos >= m_length || m_text[m_pos] == '[') return nullptr;

    int32_t nameStart = m_pos;
    const void* eq = std::memchr(m_text + m_pos, '=', size_t(m_length - m_pos));
    if (!eq) {
        m_pos = m_length;
        return nullptr;
    }
    int32_t eqPos = int32_t(static_cast<const char*>(eq) - m_text);
    for (int32_t i = m_pos; i < eqPos; i++)
        if (m_text[i] == '\n') m_line++;
    int32_t nameEnd = eqPos;
    while (nameEnd > nameStart && IsBlankByte(m_text[nameEnd - 1])) nameEnd--;

    // The value must begin on the line of the "=": a line end (or a comment, which runs to
    // its line end) before it drops the key.
    m_pos = eqPos + 1;
    int32_t afterEq = m_pos;
    SkipBlanks();
    for (int32_t i = afterEq; i < m_pos; i++)
        if (IsLineEnd(m_text[i]) || m_text[i] == '#' || m_text[i] == ';') return nullptr;
    if (m_pos >= m_length) return nullptr;

    char quote = 0;
    if (m_text[m_pos] == '"' || m_text[m_pos] == '\'') quote = m_text[m_pos++];
    int32_t valueStart = m_pos;
    while (m_pos < m_length) {
        char c = m_text[m_pos];
        if (IsLineEnd(c)) break;
        if (quote ? c == quote : (c == '#' || c == ';')) break;
        m_pos++;
    }
    int32_t valueEnd = m_pos;
    while (valueEnd > valueStart && (m_text[valueEnd - 1] == ' ' || m_text[valueEnd - 1] == '\t')) valueEnd--;
    if (quote && m_pos < m_length && m_text[m_pos] == quote) {
        while (m_pos < m_length && !IsLineEnd(m_text[m_pos])) m_pos++; // the rest of the line
    }

    auto* k = static_cast<IniKey*>(MEM_ALLOC_CLEAR(sizeof(IniKey)));
    k->name = CopyOf(m_text + nameStart, size_t(nameEnd - nameStart));
    k->value = CopyOf(m_text + valueStart, size_t(valueEnd - valueStart));
    return k;
}

bool IniFile::Parse()
{
    if (!m_text) return false;
    m_pos = 0;
    m_line = 0;
    if (m_length >= 3 && static_cast<uint8_t>(m_text[0]) == 0xEF &&
        static_cast<uint8_t>(m_text[1]) == 0xBB && static_cast<uint8_t>(m_text[2]) == 0xBF)
        m_pos = 3;

    IniSection* section = ReadSection();
    if (section) {
        section->next = m_first;
        m_first = section;
        IndexSection(section);
    }
    while (section && m_pos < m_length) {
        if (IniKey* key = ReadKey()) {
            key->next = section->first;
            section->first = key;
            IndexKey(section, key);
        } else if (m_pos < m_length && m_text[m_pos] == '[') {
            section = ReadSection();
            if (section) {
                section->next = m_first;
                m_first = section;
                IndexSection(section);
            }
        }
    }
    MEM_FREE(m_text);
    m_text = nullptr;
    return true;
}

// [SECTION] Lookups

IniSection* IniFile::FindSection(const char* section) const
{
    if (!section) return nullptr;
    auto found = m_sections.find(section);
    return found == m_sections.end() ? nullptr : found->second.back();
}

IniKey* IniFile::FindKey(const char* section, const char* key) const
{
    IniSection* s = FindSection(section);
    if (!s || !key) return nullptr;
    auto found = m_keys.find(KeyName{s, key});
    return found == m_keys.end() ? nullptr : found->second.back();
}

const char* IniFile::ReadString(const char* section, const char* key, const char* def) const
{
    IniKey* k = FindKey(section, key);
    return k ? k->value : def;
}

int32_t IniFile::ReadInt(const char* section, const char* key, int32_t def) const
{
    IniKey* k = FindKey(section, key);
    if (!k) return def;
    // atoi: white space, a sign, decimal digits; out of range saturates as the 32-bit C
    // library does.
    const char* p = k->value;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return int32_t(v);
}

// [SECTION] Edits

bool IniFile::WriteString(const char* section, const char* key, const char* value)
{
    if (!section || !key) return false;
    if (!value) value = "";
    m_changed = true;
    if (std::strcmp(section, "SYSTEM_COMMAND") == 0) {
        if (std::strcmp(key, "INI_FILE_FLUSH") == 0 && std::strcmp(value, "NOW") == 0)
            MEM_FREE(Flush());
        return true;
    }
    if (IniKey* k = FindKey(section, key)) {
        char* copy = MEM_STRDUP(value);
        MEM_FREE(k->value);
        k->value = copy;
        return true;
    }
    IniSection* s = FindSection(section);
    if (!s) {
        s = static_cast<IniSection*>(MEM_ALLOC_CLEAR(sizeof(IniSection)));
        s->name = MEM_STRDUP(section);
        s->next = m_first;
        m_first = s;
        IndexSection(s);
    }
    auto* k = static_cast<IniKey*>(MEM_ALLOC_CLEAR(sizeof(IniKey)));
    k->name = MEM_STRDUP(key);
    k->value = MEM_STRDUP(value);
    k->next = s->first;
    s->first = k;
    IndexKey(s, k);
    return true;
}

bool IniFile::DeleteKey(const char* section, const char* key)
{
    IniSection* s = FindSection(section);
    if (!s || !key) return false;
    IniKey* found = FindKey(section, key);
    if (!found) return false;
    for (IniKey** link = &s->first; *link; link = &(*link)->next) {
        if (*link != found) continue;
        IniKey* k = *link;
        *link = k->next;
        UnindexKey(s, k);
        FreeKey(k);
        m_changed = true;
        return true;
    }
    return false;
}

bool IniFile::DeleteSection(const char* section)
{
    IniSection* found = FindSection(section);
    if (!found) return false;
    for (IniSection** link = &m_first; *link; link = &(*link)->next) {
        if (*link != found) continue;
        IniSection* s = *link;
        *link = s->next;
        UnindexSection(s);
        FreeSection(s);
        m_changed = true;
        return true;
    }
    return false;
}

// [SECTION] Writing

char* IniFile::Flush(bool* saved)
{
    std::string text;
    for (IniSection* s = m_first; s; s = s->next) {
        text += '[';
        text += WrittenName(s->name, ']');
        text += "]\r\n";
        for (IniKey* k = s->first; k; k = k->next) {
            text += WrittenName(k->name, '=');
            text += '=';
            text += WrittenValue(k->value);
            text += "\r\n";
        }
    }
    bool ok = true;
    if (m_changed && m_fileName) {
        ok = LoadSave_WriteSaveFile(m_fileName, text.data(), int32_t(text.size()));
        if (ok) m_changed = false;
    }
    if (saved) *saved = ok;
    return CopyOf(text.data(), text.size());
}
