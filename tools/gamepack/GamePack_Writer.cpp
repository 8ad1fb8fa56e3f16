// The byte writer of the game packer.
#include "GamePack_Writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

GameWriter::GameWriter()
{
    Bytes("FORM", 4);
    U32(0); // body length, patched by Finish
}

void GameWriter::U16(uint16_t v)
{
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
}

void GameWriter::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) U8(uint8_t(v >> (8 * i)));
}

void GameWriter::F32(float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    U32(u);
}

void GameWriter::Bytes(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_data.insert(m_data.end(), p, p + size);
}

void GameWriter::PutU32(uint32_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) m_data[at + i] = uint8_t(v >> (8 * i));
}

uint32_t GameWriter::GetU32(uint32_t at) const
{
    return uint32_t(m_data[at]) | uint32_t(m_data[at + 1]) << 8 | uint32_t(m_data[at + 2]) << 16 |
           uint32_t(m_data[at + 3]) << 24;
}

int GameWriter::NewLabel()
{
    m_labels.push_back(kUnbound);
    return int(m_labels.size() - 1);
}

void GameWriter::Bind(int label) { m_labels[size_t(label)] = Pos(); }

void GameWriter::Ref(int label)
{
    m_refs.emplace_back(Pos(), label);
    U32(0);
}

int GameWriter::String(const std::string& text)
{
    auto it = m_stringLabels.find(text);
    if (it != m_stringLabels.end()) return it->second;
    int label = NewLabel();
    m_stringLabels[text] = label;
    m_stringIndexes[text] = uint32_t(m_strings.size());
    m_strings.push_back(text);
    return label;
}

uint32_t GameWriter::StringIndex(const std::string& text)
{
    String(text);
    return m_stringIndexes[text];
}

uint32_t GameWriter::BeginChunk(const char* tag)
{
    uint32_t at = Pos();
    Bytes(tag, 4);
    U32(0);
    return at;
}

void GameWriter::EndChunk(uint32_t at) { PutU32(at + 4, Pos() - at - 8); }

void GameWriter::List(const std::vector<int>& entries)
{
    U32(uint32_t(entries.size()));
    for (int e : entries) RefOrZero(e);
}

void GameWriter::WriteStrings()
{
    uint32_t chunk = BeginChunk("STRG");
    std::vector<int> entries;
    for (size_t i = 0; i < m_strings.size(); ++i) entries.push_back(NewLabel());
    List(entries);
    for (size_t i = 0; i < m_strings.size(); ++i) {
        AlignTo(4);
        Bind(entries[i]);
        U32(uint32_t(m_strings[i].size()));
        Bind(m_stringLabels[m_strings[i]]);
        Bytes(m_strings[i].data(), m_strings[i].size());
        U8(0);
    }
    AlignTo(4);
    EndChunk(chunk);
}

std::vector<uint8_t> GameWriter::Finish()
{
    for (auto& [at, label] : m_refs) {
        uint32_t target = m_labels[size_t(label)];
        if (target == kUnbound) {
            std::fprintf(stderr, "gamepack: internal error: a record was referred to but never written\n");
            std::abort();
        }
        PutU32(at, target);
    }
    PutU32(4, Pos() - 8);
    return m_data;
}

bool GamePack_WriteFile(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const int why = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok && why) errno = why;
    return ok;
}

bool GamePack_ReadFile(const std::string& path, std::string& out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    const bool ok = !std::ferror(f);
    const int why = errno; // a folder opens, and its read fails (EISDIR)
    std::fclose(f);
    errno = why;
    return ok;
}
