// File-name services that need no host call: splitting names into folder, name, drive and
// extension, separator normalisation, the full-path folding, and the temporary-file namer.
// Needs the memory manager, Random_Int, and the host half in Linux/FileM.cpp.
#include "Files/Support/File.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "Files/Base/Random.h"
#include "Platform/MemoryManager.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Index of the last '\' or '/', or -1.
int64_t LastSeparator(const char* path)
{
    int64_t last = -1;
    for (int64_t i = 0; path[i]; i++)
        if (IsSeparator(path[i])) last = i;
    return last;
}

char* NewString(const char* text, size_t n)
{
    char* s = static_cast<char*>(MEM_ALLOC(n + 1));
    if (n) std::memcpy(s, text, n);
    s[n] = 0;
    return s;
}

} // namespace

char* File_ExtractDir(const char* path)
{
    if (!path) return NewString("", 0);
    int64_t last = LastSeparator(path);
    if (last <= 0) return NewString("", 0);
    return NewString(path, size_t(last));
}

char* File_ExtractName(const char* path)
{
    if (!path) return NewString("", 0);
    int64_t last = LastSeparator(path);
    const char* name = path + last + 1;
    return NewString(name, std::strlen(name));
}

char* File_ExtractDrive(const char* path)
{
    if (!path || !path[0] || path[1] != ':') return NewString("", 0);
    return NewString(path, 2);
}

char* File_ExtractExt(const char* path)
{
    if (!path) return NewString("", 0);
    const char* name = path + LastSeparator(path) + 1;
    if (name == path && name[0] && name[1] == ':') name += 2; // "C:x.txt"
    const char* dot = std::strrchr(name, '.');
    if (!dot) return NewString("", 0);
    return NewString(dot, std::strlen(dot));
}

std::string File_NormaliseSeparators(const char* name)
{
    std::string s = name ? name : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool File_HasDrive(const std::string& name)
{
    if (name.size() < 2 || name[1] != ':') return false;
    char c = name[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string File_FullPath(const char* name)
{
    std::string p = File_NormaliseSeparators(name);
    if (p.empty()) return p;
    std::string prefix, rest;
    if (File_HasDrive(p)) {
        prefix = p.substr(0, 2);
        rest = p.substr(2);
    } else if (p[0] == '/') {
        rest = p;
    } else {
        rest = File_CurrentFolder() + "/" + p;
    }
    bool trailing = !rest.empty() && rest.back() == '/';

    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('/', i);
        if (j == std::string::npos) j = rest.size();
        std::string part = rest.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }

    std::string out = prefix;
    for (const std::string& part : parts) out += "/" + part;
    if (parts.empty() || trailing) out += "/";
    return out;
}

char* File_TempFileName(const char* ext)
{
    const char* folder = File_TempDirectoryPath();
    if (!folder) return nullptr;
    if (!ext) ext = "";
    std::string base = folder;
    // Random names first; should the folder hold very many files, every number in turn.
    for (int32_t attempt = 0; attempt < 1000 + 100000; attempt++) {
        int32_t n = attempt < 1000 ? int32_t(Random_Int(100000)) : attempt - 1000;
        std::string path = base + "/a" + std::to_string(n) + ext;
        if (!File_Exists(path.c_str())) return NewString(path.c_str(), path.size());
    }
    return nullptr;
}

bool File_WildcardMatch(const char* pattern, const char* name)
{
    if (!pattern || !name) return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    // One character of UTF-8: the lead byte and its continuation bytes.
    auto next = [](const char* s) {
        s++;
        while ((static_cast<unsigned char>(*s) & 0xC0) == 0x80) s++;
        return s;
    };
    auto match = [&](const char* p, const char* pEnd, const char* s) {
        const char* star = nullptr; // pattern position after the last '*'
        const char* resume = nullptr; // name position that star's run reaches
        while (*s) {
            if (p < pEnd && *p == '?') {
                p++;
                s = next(s);
            } else if (p < pEnd && *p == '*') {
                star = ++p;
                resume = s;
            } else if (p < pEnd && lower(static_cast<unsigned char>(*p)) == lower(static_cast<unsigned char>(*s))) {
                p++;
                s++;
            } else if (star) {
                p = star;
                resume = next(resume);
                s = resume;
            } else {
                return false;
            }
        }
        while (p < pEnd && *p == '*') p++;
        return p == pEnd;
    };
    const char* end = pattern + std::strlen(pattern);
    if (match(pattern, end, name)) return true;
    // "name.*" also matches "name" (and "*.*" every name).
    return end - pattern >= 2 && end[-2] == '.' && end[-1] == '*' && !std::strchr(name, '.') &&
           match(pattern, end - 2, name);
}

void File_CreateDirectoryFor(const char* path)
{
    if (!path) return;
    char* dir = File_ExtractDir(path);
    if (dir[0]) File_CreateDirectory(dir);
    MEM_FREE(dir);
}

const char* File_ErrorText(int error)
{
    if (error == EINVAL || error == ENXIO || error == EISDIR) return "not a plain file";
    return std::strerror(error);
}
