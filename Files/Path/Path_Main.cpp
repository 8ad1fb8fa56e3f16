// The path table: paths by index with their names, the PATH chunk reader and the table
// operations behind the path built-ins (Files/Path/Path.h).
#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/Code/Code_Error.h"
#include "Files/Path/Path.h"
#include "Files/Support/FileImage.h"
#include "Platform/MemoryManager.h"
#include "Platform/NameIndex.h"

namespace {
std::vector<CPath*> g_paths;
std::vector<char*> g_names;
NameIndex g_index; // the names of the paths that exist
} // namespace

void Path_ResetTable()
{
    g_paths.clear();
    g_names.clear();
    g_index.Clear();
}

void Path_FreeAll()
{
    for (CPath* p : g_paths) delete p;
    for (char* n : g_names) MEM_FREE(n);
    Path_ResetTable();
}

bool Path_LoadChunk(const FileImage& image, uint32_t begin, uint32_t end)
{
    ChunkList list;
    if (!list.Read(image, begin, end)) return false;
    Path_FreeAll();
    g_paths.assign(list.count, nullptr);
    g_names.assign(list.count, nullptr);
    for (uint32_t i = 0; i < list.count; ++i) {
        uint32_t at = list.Offset(image, i);
        if (at == 0) continue;
        auto* p = new CPath();
        char* name = nullptr;
        if (!p->LoadFromEntry(image, at, &name)) {
            delete p;
            return false;
        }
        g_paths[i] = p;
        g_names[i] = name;
        g_index.Add(name, int32_t(i));
    }
    return true;
}

int32_t Path_Count() { return int32_t(g_paths.size()); }
bool Path_Exists(int32_t index) { return index >= 0 && size_t(index) < g_paths.size() && g_paths[size_t(index)]; }
CPath* Path_Data(int32_t index) { return index >= 0 && size_t(index) < g_paths.size() ? g_paths[size_t(index)] : nullptr; }

const char* Path_GetName(int32_t index)
{
    return Path_Exists(index) && g_names[size_t(index)] ? g_names[size_t(index)] : "<undefined>";
}

int32_t Path_Find(const char* name) { return g_index.Find(name); }

int32_t Path_Add()
{
    const int32_t index = int32_t(g_paths.size());
    char name[48];
    std::snprintf(name, sizeof name, "__newpath%d", index);
    g_paths.push_back(new CPath());
    g_names.push_back(MEM_STRDUP(name));
    g_index.Add(name, index);
    return index;
}

bool Path_Delete(int32_t index)
{
    if (!Path_Exists(index)) return false;
    delete g_paths[size_t(index)];
    g_paths[size_t(index)] = nullptr;
    g_index.Remove(g_names[size_t(index)], index);
    MEM_FREE(g_names[size_t(index)]);
    g_names[size_t(index)] = nullptr;
    return true;
}

int32_t Path_Duplicate(int32_t index)
{
    if (!Path_Exists(index)) return -1;
    const int32_t n = Path_Add();
    g_paths[size_t(n)]->Assign(g_paths[size_t(index)]);
    return n;
}

bool Path_Assign(int32_t destination, int32_t source)
{
    if (!Path_Exists(source) || destination < 0 || size_t(destination) >= g_paths.size()) return false;
    if (destination == source) {
        Code_Error_Report("ERROR: Can not assign a path to itself!", false);
        return false;
    }
    if (!g_paths[size_t(destination)]) g_paths[size_t(destination)] = new CPath();
    g_paths[size_t(destination)]->Assign(g_paths[size_t(source)]);
    return true;
}
