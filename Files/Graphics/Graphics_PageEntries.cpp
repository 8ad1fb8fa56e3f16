// Native copies of the game file's texture-page entries (see Graphics_PageEntries.h).
#include "Files/Graphics/Graphics_PageEntries.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include "Files/Support/FileImage.h"

namespace {

struct FileEntry {
    uint32_t offset;
    TexturePageEntry entry;
};

// Records in creation order (their addresses are stable: each is its own allocation).
std::vector<std::unique_ptr<FileEntry>> g_entries;
std::unordered_map<uint32_t, FileEntry*> g_byOffset;
std::unordered_map<const TexturePageEntry*, FileEntry*> g_byAddress;

bool ReadEntry(const FileImage& image, uint32_t offset, TexturePageEntry& e)
{
    if (offset == 0 || !image.Contains(offset, GR_PAGE_ENTRY_SIZE)) return false;
    int16_t* fields[11] = {&e.srcX,    &e.srcY,       &e.srcWidth,     &e.srcHeight,
                           &e.xOffset, &e.yOffset,    &e.targetWidth,  &e.targetHeight,
                           &e.fullWidth, &e.fullHeight, &e.texturePage};
    for (uint32_t i = 0; i < 11; ++i) {
        uint16_t v = 0;
        if (!image.U16(offset + 2 * i, v)) return false;
        *fields[i] = int16_t(v);
    }
    return true;
}

} // namespace

TexturePageEntry* GR_FilePageEntry(const FileImage& image, uint32_t offset)
{
    auto it = g_byOffset.find(offset);
    if (it != g_byOffset.end()) return &it->second->entry;
    auto record = std::make_unique<FileEntry>();
    record->offset = offset;
    if (!ReadEntry(image, offset, record->entry)) return nullptr;
    FileEntry* raw = record.get();
    g_entries.push_back(std::move(record));
    g_byOffset[offset] = raw;
    g_byAddress[&raw->entry] = raw;
    return &raw->entry;
}

void GR_FilePageEntries_Refresh(const FileImage& image)
{
    for (auto& r : g_entries) {
        uint16_t page = 0;
        if (image.U16(r->offset + 20, page)) r->entry.texturePage = int16_t(page);
    }
}

bool GR_FilePageEntries_Owns(const TexturePageEntry* entry)
{
    return entry && g_byAddress.count(entry) != 0;
}

void GR_FilePageEntries_Clear()
{
    for (auto& r : g_entries) GR_TPE_Unregister(&r->entry);
    g_byOffset.clear();
    g_byAddress.clear();
    g_entries.clear();
}

int32_t GR_FilePageEntries_Count() { return int32_t(g_entries.size()); }
