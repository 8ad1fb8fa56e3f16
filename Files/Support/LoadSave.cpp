// Game file access: folder state, allowed-file lists, the save-area and program-folder path
// mappings, whole-file reads and writes, and the in-memory files of the file built-ins.
// Needs the memory manager and the file layer (Files/Support/File.h, Linux/FileM.cpp); it
// touches no host library itself.
#include "Files/Support/LoadSave.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "Files/Support/File.h"
#include "Platform/MemoryManager.h"

namespace {

struct Folders {
    std::string program;    // absolute, trailing '/'; "" when unset
    std::string save;       // absolute, trailing '/'; "" when unset
    std::string working;    // absolute, trailing '/'; "" when unset
    std::string workingRaw; // as given
};

Folders g_folders;
std::vector<std::string> g_allowRead, g_allowWrite; // full paths

std::string AbsoluteFolder(const char* folder)
{
    if (!folder || !*folder) return "";
    std::string full = File_FullPath(folder);
    if (full.empty()) return "";
    if (full.back() != '/') full += '/';
    return full;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// True when full lies in folder (absolute, trailing '/') or is the folder itself; rest gets
// what follows the folder.
bool Under(const std::string& full, const std::string& folder, std::string* rest)
{
    if (folder.empty()) return false;
    if (full.compare(0, folder.size(), folder) == 0) {
        *rest = full.substr(folder.size());
        return true;
    }
    if (full.size() + 1 == folder.size() && folder.compare(0, full.size(), full) == 0) {
        rest->clear();
        return true;
    }
    return false;
}

// The allowed file of the list that full names, ignoring case; "" when none does.
std::string AllowedIn(const std::vector<std::string>& list, const std::string& full)
{
    for (const std::string& allowed : list)
        if (SameIgnoringAsciiCase(allowed, full)) return allowed;
    return "";
}

// A name maps to itself when the player chose it in a dialog (the writing list for the save
// area, the reading list for the program folder): it is written and read where it was picked,
// even below the current or working folder. A name picked only to open is written where it
// was picked when that lies in the save area, and is otherwise refused for writing: it is
// read there (LoadSave_PickedPathOf), so a write anywhere else would be one the game never
// reads back. Any other name below the current folder, the working folder or (for saving) the
// save area maps to the area with the rest after that folder; the rest maps to "".
std::string MapName(const char* name, const std::string& area, bool saving)
{
    if (!name || !*name) return "";
    std::string full = File_FullPath(name);
    if (full.empty()) return "";
    const std::string picked = AllowedIn(saving ? g_allowWrite : g_allowRead, full);
    if (!picked.empty()) return picked;
    if (saving) {
        std::string rest;
        const std::string opened = AllowedIn(g_allowRead, full);
        if (!opened.empty()) return Under(opened, g_folders.save, &rest) ? opened : "";
    }
    if (!area.empty()) {
        std::string rest;
        std::string current = AbsoluteFolder(File_CurrentFolder().c_str());
        if (Under(full, current, &rest) || Under(full, g_folders.working, &rest) ||
            (saving && Under(full, g_folders.save, &rest)))
            return area + rest;
    }
    return "";
}

bool CopyOut(const std::string& path, char* out, int32_t capacity)
{
    if (!out || capacity < 1) return false;
    if (path.empty() || path.size() + 1 > size_t(capacity)) {
        out[0] = 0;
        return false;
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

uint8_t* ReadMapped(const std::string& path, int32_t* size)
{
    if (size) *size = 0;
    if (path.empty()) return nullptr;
    return File_ReadAll(File_Resolve(path.c_str()).c_str(), size);
}

bool IsCSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

} // namespace

// [SECTION] Folders

void LoadSave_SetFolders(const char* programFolder, const char* saveArea, const char* workingFolder)
{
    g_folders.program = AbsoluteFolder(programFolder);
    g_folders.save = AbsoluteFolder(saveArea);
    File_SetConfinedFolder(g_folders.save.c_str()); // nothing below the save area follows a link
    g_folders.working = AbsoluteFolder(workingFolder);
    g_folders.workingRaw = workingFolder ? workingFolder : "";
}

const char* LoadSave_ProgramFolder() { return g_folders.program.c_str(); }
const char* LoadSave_SaveArea() { return g_folders.save.c_str(); }
const char* LoadSave_WorkingFolder() { return g_folders.workingRaw.c_str(); }

char* LoadSave_MakeSaveArea(const char* gameName, bool roaming)
{
    std::string base;
    const char* xdg = std::getenv(roaming ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') { // relative values are ignored, as the XDG rules say
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return nullptr;
        base = std::string(home) + (roaming ? "/.config" : "/.local/share");
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();

    std::string name;
    const char* g = gameName ? gameName : "";
    for (size_t i = 0; g[i]; i++) {
        if (g[i] == '.' && g[i + 1] == '.') {
            name += '_';
            i++;
        } else if (g[i] == '/' || g[i] == '\\') {
            name += '_';
        } else {
            name += g[i];
        }
    }
    if (name.empty() || name == ".") name = "_";
    std::string area = (base == "/" ? "" : base) + "/" + name + "/";
    return MEM_STRDUP(area.c_str());
}

// [SECTION] Allowed files

void LoadSave_AllowRead(const char* path)
{
    std::string full = File_FullPath(path);
    if (!full.empty()) g_allowRead.insert(g_allowRead.begin(), full);
}

void LoadSave_AllowWrite(const char* path)
{
    std::string full = File_FullPath(path);
    if (!full.empty()) g_allowWrite.insert(g_allowWrite.begin(), full);
}

void LoadSave_ClearAllowedFiles()
{
    g_allowRead.clear();
    g_allowWrite.clear();
}

// [SECTION] Path mapping

std::string LoadSave_SavePathOf(const char* name) { return MapName(name, g_folders.save, true); }
std::string LoadSave_PickedPathOf(const char* name)
{
    // Most games never show a file dialog: their reads pay nothing for the lists.
    if ((g_allowWrite.empty() && g_allowRead.empty()) || !name || !*name) return "";
    const std::string full = File_FullPath(name);
    if (full.empty()) return "";
    const std::string written = AllowedIn(g_allowWrite, full);
    return written.empty() ? AllowedIn(g_allowRead, full) : written;
}
std::string LoadSave_BundlePathOf(const char* name) { return MapName(name, g_folders.program, false); }

bool LoadSave_SavePath(char* out, int32_t capacity, const char* name)
{
    return CopyOut(LoadSave_SavePathOf(name), out, capacity);
}

bool LoadSave_BundlePath(char* out, int32_t capacity, const char* name)
{
    return CopyOut(LoadSave_BundlePathOf(name), out, capacity);
}

// [SECTION] Whole files

uint8_t* LoadSave_ReadBundleFile(const char* name, int32_t* size)
{
    return ReadMapped(LoadSave_BundlePathOf(name), size);
}

uint8_t* LoadSave_ReadSaveFile(const char* name, int32_t* size)
{
    return ReadMapped(LoadSave_SavePathOf(name), size);
}

bool LoadSave_GameFileExists(const char* name) { return !LoadSave_ReadPathOf(name).empty(); }

uint8_t* LoadSave_ReadGameFile(const char* name, int32_t* size)
{
    const std::string picked = LoadSave_PickedPathOf(name);
    if (!picked.empty()) return ReadMapped(picked, size);
    uint8_t* data = LoadSave_ReadSaveFile(name, size);
    return data ? data : LoadSave_ReadBundleFile(name, size);
}

std::string LoadSave_ReadPathOf(const char* name)
{
    const std::string picked = LoadSave_PickedPathOf(name);
    if (!picked.empty()) return File_CanRead(File_Resolve(picked.c_str()).c_str()) ? picked : "";
    if (LoadSave_SaveFileExists(name)) return LoadSave_SavePathOf(name);
    if (LoadSave_BundleFileExists(name)) return LoadSave_BundlePathOf(name);
    return "";
}

bool LoadSave_MakeFoldersFor(const std::string& hostPath)
{
    char* dir = File_ExtractDir(hostPath.c_str());
    const bool ok = !dir[0] || File_CreateDirectory(dir);
    MEM_FREE(dir);
    if (!ok) File_SayWriteFailed(hostPath.c_str(), errno);
    return ok;
}

bool LoadSave_ReplaceFile(const std::string& hostPath, const void* data, int64_t length)
{
    if (!LoadSave_MakeFoldersFor(hostPath)) return false;
    if (File_ReplaceAll(hostPath.c_str(), data, length)) return true;
    File_SayWriteFailed(hostPath.c_str(), errno);
    return false;
}

bool LoadSave_WriteSaveFile(const char* name, const void* data, int32_t length)
{
    std::string path = LoadSave_SavePathOf(name);
    if (path.empty() || length < 0) return false;
    return LoadSave_ReplaceFile(File_Resolve(path.c_str()), data, length);
}

bool LoadSave_BundleFileExists(const char* name)
{
    std::string path = LoadSave_BundlePathOf(name);
    return !path.empty() && File_CanRead(File_Resolve(path.c_str()).c_str());
}

bool LoadSave_SaveFileExists(const char* name)
{
    std::string path = LoadSave_SavePathOf(name);
    return !path.empty() && File_CanRead(File_Resolve(path.c_str()).c_str());
}

bool LoadSave_WriteFile(const char* name, const void* data, int32_t length)
{
    if (File_WriteAll(File_Resolve(name).c_str(), data, length)) return true;
    std::perror("_WriteFile");
    return false;
}

// [SECTION] In-memory files

LoadSaveFile* LoadSave_FOpen(const char* name, const char* mode)
{
    int32_t size = 0;
    const std::string picked = LoadSave_PickedPathOf(name);
    uint8_t* data = picked.empty() ? LoadSave_ReadBundleFile(name, &size) : ReadMapped(picked, &size);
    if (!data && picked.empty()) data = LoadSave_ReadSaveFile(name, &size);
    if (!data) return nullptr;
    auto* file = static_cast<LoadSaveFile*>(MEM_ALLOC_CLEAR(sizeof(LoadSaveFile)));
    file->data = data;
    file->size = size;
    file->position = 0;
    if (mode && std::strchr(mode, 't') && size >= 3 && data[0] == 0xEF && data[1] == 0xBB &&
        data[2] == 0xBF)
        file->position = 3;
    return file;
}

void LoadSave_FClose(LoadSaveFile* file)
{
    if (!file) return;
    MEM_FREE(file->data);
    MEM_FREE(file);
}

int32_t LoadSave_FTell(LoadSaveFile* file) { return file ? file->position : -1; }

int32_t LoadSave_FSeek(LoadSaveFile* file, int32_t offset, int32_t whence)
{
    if (!file) return -1;
    int64_t target;
    switch (whence) {
    case 0: target = offset; break;
    case 1: target = int64_t(file->position) + offset; break;
    case 2: target = int64_t(file->size) - offset; break;
    default: return -1;
    }
    if (target < 0) target = 0;
    if (target > file->size) target = file->size;
    file->position = int32_t(target);
    return 0;
}

bool LoadSave_FEof(LoadSaveFile* file) { return !file || file->position >= file->size; }

bool LoadSave_FEoln(LoadSaveFile* file)
{
    if (LoadSave_FEof(file)) return true;
    uint8_t c = file->data[file->position];
    return c == '\r' || c == '\n';
}

int32_t LoadSave_FGetC(LoadSaveFile* file)
{
    if (!file) return -1;
    if (file->position < 0 || file->position >= file->size) {
        if (file->position < std::numeric_limits<int32_t>::max()) file->position++;
        return -1;
    }
    return file->data[file->position++];
}

bool LoadSave_FReadReal(LoadSaveFile* file, double* out)
{
    if (out) *out = 0.0;
    if (!file || file->position < 0) return false;
    const uint8_t* d = file->data;
    int64_t n = file->size, p = file->position;
    while (p < n && IsCSpace(d[p])) p++;
    file->position = int32_t(p);

    int64_t start = p;
    bool negative = false;
    if (p < n && (d[p] == '+' || d[p] == '-')) negative = d[p++] == '-';
    int64_t intStart = p;
    while (p < n && IsDigit(d[p])) p++;
    int64_t intDigits = p - intStart, fracStart = p, fracDigits = 0;
    if (p < n && d[p] == '.') {
        fracStart = ++p;
        while (p < n && IsDigit(d[p])) p++;
        fracDigits = p - fracStart;
    }
    if (intDigits + fracDigits == 0) return false;
    int64_t exponent = 0;
    if (p < n && (d[p] == 'e' || d[p] == 'E')) {
        int64_t q = p + 1;
        bool expNegative = false;
        if (q < n && (d[q] == '+' || d[q] == '-')) expNegative = d[q++] == '-';
        if (q < n && IsDigit(d[q])) {
            while (q < n && IsDigit(d[q])) {
                if (exponent < 1000000) exponent = exponent * 10 + (d[q] - '0');
                q++;
            }
            if (expNegative) exponent = -exponent;
            p = q;
        }
    }

    const char* first = reinterpret_cast<const char*>(d + start);
    const char* last = reinterpret_cast<const char*>(d + p);
    if (*first == '+') first++;
    double value = 0.0;
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow gives an infinity, underflow a zero, both with the number's sign. The
        // leading digit's power of ten tells which.
        int64_t lead = 0;
        int64_t i = intStart;
        while (i < intStart + intDigits && d[i] == '0') i++;
        if (i < intStart + intDigits) {
            lead = intStart + intDigits - i - 1;
        } else {
            int64_t j = fracStart;
            while (j < fracStart + fracDigits && d[j] == '0') j++;
            lead = -(j - fracStart) - 1;
        }
        value = lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        if (negative) value = -value;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    if (out) *out = value;
    file->position = int32_t(p);
    return true;
}

int32_t LoadSave_FRead(void* destination, int32_t itemSize, int32_t count, LoadSaveFile* file)
{
    if (!file || !destination || itemSize <= 0 || count <= 0) return 0;
    int64_t want = int64_t(itemSize) * count;
    int64_t left = int64_t(file->size) - file->position;
    if (left <= 0 || file->position < 0) return 0;
    int64_t n = want < left ? want : left;
    std::memcpy(destination, file->data + file->position, size_t(n));
    file->position += int32_t(n);
    return int32_t(n);
}
