// External-call definitions: the library and definition tables, the search for a game's
// library under native names, and the conversion of script values to call arguments. The
// loading and calling themselves are in Linux/DLLM.cpp.
#include "Files/DLL/DLL.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"

namespace {

struct Library {
    std::string key; // the game's name for it, separators normalised, lower case
    void* handle;
};

struct Definition {
    bool live;
    std::string key; // its library's key
    void* function;
    int32_t argCount;
    int32_t kinds[DLL_MAX_ARGUMENTS];
    bool resultIsString;
};

std::vector<Library> g_libraries;
std::vector<Definition> g_definitions;

std::string KeyOf(const char* name)
{
    std::string key = File_NormaliseSeparators(name);
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

bool EndsWithNoCase(const std::string& s, const char* suffix)
{
    size_t n = std::char_traits<char>::length(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    return true;
}

// Loads the native library standing for the game's library name, or null.
void* OpenLibrary(const char* name)
{
    std::string path = File_NormaliseSeparators(name);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.empty()) return nullptr;
    std::vector<std::string> candidates;
    if (EndsWithNoCase(file, ".so")) {
        candidates.push_back(file);
    } else {
        std::string stem = EndsWithNoCase(file, ".dll") ? file.substr(0, file.size() - 4) : file;
        if (stem.empty()) return nullptr;
        candidates.push_back("lib" + stem + ".so");
        candidates.push_back(stem + ".so");
    }
    for (const std::string& candidate : candidates) {
        std::string relative = folder + candidate;
        for (int area = 0; area < 2; area++) {
            std::string mapped = area == 0 ? LoadSave_SavePathOf(relative.c_str()) : LoadSave_BundlePathOf(relative.c_str());
            if (mapped.empty()) continue;
            std::string host = File_Resolve(mapped.c_str());
            if (!File_Exists(host.c_str())) continue;
            if (void* handle = DLLM_Open(host.c_str())) return handle;
        }
    }
    if (folder.empty()) {
        for (const std::string& candidate : candidates)
            if (void* handle = DLLM_Open(candidate.c_str())) return handle;
    }
    return nullptr;
}

Library* FindLibrary(const std::string& key)
{
    for (Library& library : g_libraries)
        if (library.key == key) return &library;
    return nullptr;
}

} // namespace

int32_t DLL_Define(const char* library, const char* function, int32_t callType, int32_t argCount,
                   const int32_t* argKinds, bool resultIsString)
{
    if (!library || !*library || !function || !*function) return -1;
    if (argCount < 0 || argCount > DLL_MAX_ARGUMENTS) return -1;
    std::string key = KeyOf(library);
    Library* lib = FindLibrary(key);
    if (!lib) {
        void* handle = OpenLibrary(library);
        if (!handle) return -1;
        g_libraries.push_back(Library{key, handle});
        lib = &g_libraries.back();
    }
    void* address = DLLM_Symbol(lib->handle, function);
    if (!address && callType == 1) {
        // The decorated name of a stdcall function: the bytes its arguments take on the stack
        // of the 32-bit system (8 for a real, 4 for a string).
        int32_t bytes = 0;
        for (int32_t i = 0; i < argCount; i++) bytes += (argKinds && argKinds[i] == DLL_KIND_STRING) ? 4 : 8;
        std::string decorated = "_" + std::string(function) + "@" + std::to_string(bytes);
        address = DLLM_Symbol(lib->handle, decorated.c_str());
    }
    if (!address) return -1;
    Definition d{};
    d.live = true;
    d.key = key;
    d.function = address;
    d.argCount = argCount;
    for (int32_t i = 0; i < argCount; i++)
        d.kinds[i] = (argKinds && argKinds[i] == DLL_KIND_STRING) ? DLL_KIND_STRING : DLL_KIND_REAL;
    d.resultIsString = resultIsString;
    g_definitions.push_back(d);
    return int32_t(g_definitions.size() - 1);
}

bool DLL_Call(int32_t id, int32_t argc, const ScriptValue* args, ScriptValue* result)
{
    if (id < 0 || size_t(id) >= g_definitions.size()) return false;
    const Definition& d = g_definitions[size_t(id)];
    if (!d.live || argc != d.argCount) return false;
    // Strings go as copies of their own, so a library that writes into its argument changes
    // nothing of the game's.
    std::string copies[DLL_MAX_ARGUMENTS];
    const char* texts[DLL_MAX_ARGUMENTS] = {};
    double reals[DLL_MAX_ARGUMENTS] = {};
    for (int32_t i = 0; i < argc; i++) {
        if (d.kinds[i] == DLL_KIND_STRING) {
            copies[i] = Value_Text(&args[i]);
            texts[i] = copies[i].c_str();
        } else {
            reals[i] = args[i].real;
        }
    }
    double real = 0.0;
    const char* text = nullptr;
    if (!DLLM_Call(d.function, argc, d.kinds, reals, texts, d.resultIsString, &real, &text)) return false;
    if (d.resultIsString) Value_SetString(result, text);
    else Value_SetReal(result, real);
    return true;
}

void DLL_Free(const char* library)
{
    if (!library) return;
    std::string key = KeyOf(library);
    for (size_t i = 0; i < g_libraries.size(); i++) {
        if (g_libraries[i].key != key) continue;
        DLLM_Close(g_libraries[i].handle);
        g_libraries.erase(g_libraries.begin() + int64_t(i));
        break;
    }
    for (Definition& d : g_definitions) {
        if (d.live && d.key == key) {
            d.live = false;
            d.function = nullptr;
        }
    }
}

void DLL_FreeAll()
{
    for (Library& library : g_libraries) DLLM_Close(library.handle);
    g_libraries.clear();
    g_definitions.clear();
}
