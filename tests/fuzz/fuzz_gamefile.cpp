// Fuzz target: arbitrary bytes as a game data file, read the way start-up reads it (header,
// strings, code bodies, variable and function binding, the chunk dispatcher, options, texture
// pages), and the same bytes as a debug companion. The block has exactly the input's size, so
// any read past the file is an AddressSanitizer report. Names always bind here (the run would
// otherwise end at the first unknown name).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Files/Base/Console.h"
#include "Files/Code/Code_Code.h"
#include "Files/Code/Code_Error.h"
#include "Files/Code/Code_Load.h"
#include "Files/Code/VM_Format.h"
#include "Files/Option/Options.h"
#include "Files/Runner/Runner_Game.h"

namespace {

int32_t FindVariable(const char* name)
{
    uint32_t h = 2166136261u;
    for (const char* p = name; *p; ++p) h = (h ^ uint8_t(*p)) * 16777619u;
    return int32_t(100000 + (h & 0xFFFF));
}

bool FindFunction(const char* name, int32_t* id)
{
    *id = int32_t(std::strlen(name));
    return true;
}

const CodeBindHooks kHooks = {FindVariable, FindFunction};

// A console that drops every line (the dispatcher logs each chunk).
class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_Quiet;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;
    Console_Set(&g_Quiet);
    Code_SetBindHooks(&kHooks);
    std::vector<uint8_t> block(data, data + size);
    FileImage image(block.data(), uint32_t(block.size()));
    Code_LoadDebugCompanion(FileImage(static_cast<const uint8_t*>(block.data()), uint32_t(block.size())));
    Code_ClearDebug();
    Runner_LoadFromImage(image);
    Runner_ReleaseLoaded();
    return 0;
}
