// Fuzz target: arbitrary text as a packer manifest (names relative to a folder that does not
// exist, so only the text itself is read), then the build of whatever it accepts. The packer
// must refuse with a message or build a file, never crash or run away; a file it builds must
// load in the runner, as the packer promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/FileImage.h"
#include "GamePack_Project.h"

namespace {

// A console that drops every line (the loaders log each chunk).
class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_Quiet;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    Console_Set(&g_Quiet);
    const std::string text(reinterpret_cast<const char*>(data), size);
    PackProject project;
    PackOutput out;
    std::string error;
    if (!GamePack_ParseProject(text, "/nonexistent-fuzz-folder", project, error) || !GamePack_Build(project, out, error)) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    FileImage image(out.game.data(), uint32_t(out.game.size()));
    const bool loaded = Runner_LoadFromImage(image);
    Runner_ReleaseLoaded();
    if (!loaded) std::abort();
    return 0;
}
