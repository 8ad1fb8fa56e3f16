// Fuzz target: arbitrary text as a packer manifest, read as the packer reads one: written to a
// folder that holds files a manifest may name (images, ZBL code) and loaded from there, so
// that every list, record and key reaches its reader, down to the images cut into frames and
// the tiles placed on backgrounds; then the build of whatever it accepts, in the mode the
// manifest asks for. The packer must refuse with a message or build a file, never crash or
// run away; a file it builds must load in the runner, as the packer promises.
//
// The seeds (tests/fuzz/corpus/fuzz_manifest) name the folder's files; fuzz_manifest.dict
// holds the manifest's keys and words (give it with -dict=).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <tuple>
#include <unistd.h>

#include "Files/Base/Console.h"
#include "Files/Runner/Runner_Game.h"
#include "Files/Support/FileImage.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

// A console that drops every line (the loaders log each chunk).
class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_Quiet;
char g_Made[4096]; // the folder below, for its removal at exit

// An image of w x h pixels, each of its own colour, with see-through pixels on a diagonal.
PackImage Picture(int32_t w, int32_t h)
{
    PackImage image;
    image.width = w;
    image.height = h;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            image.rgba.insert(image.rgba.end(), {uint8_t(x * 40), uint8_t(y * 60), uint8_t(x ^ y), uint8_t(x == y ? 0 : 255)});
    return image;
}

void Put(const std::string& path, const std::string& text)
{
    if (!GamePack_WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()))) std::abort();
}

// The folder of the manifest and the files it may name: strip.png (24 x 4, 1 to 24 frames of a
// strip), frame.png (6 x 4, a frame of its own), tiles.png (16 x 12, a background), step.zbl,
// script.zbl. Made once a run, removed at its end.
const std::string& Folder()
{
    static std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_manifest.XXXXXX";
        if (!mkdtemp(&pattern[0])) std::abort();
        for (const auto& [name, w, h] : {std::tuple{"strip.png", 24, 4}, {"frame.png", 6, 4}, {"tiles.png", 16, 12}}) {
            std::vector<uint8_t> png;
            if (!GamePack_EncodePng(Picture(w, h), png) || !GamePack_WriteFile(pattern + "/" + name, png)) std::abort();
        }
        Put(pattern + "/step.zbl", "x += 1;\nif (x > 3) {\n    x = 0;\n}\n");
        Put(pattern + "/script.zbl", "var a;\na = argument0 * 2;\nreturn a;\n");
        std::snprintf(g_Made, sizeof g_Made, "%s", pattern.c_str());
        std::atexit([] { // a plain buffer: the strings are gone by now
            for (const char* name : {"strip.png", "frame.png", "tiles.png", "step.zbl", "script.zbl", "game.json"}) {
                char path[sizeof g_Made + 16];
                std::snprintf(path, sizeof path, "%s/%s", g_Made, name);
                std::remove(path);
            }
            rmdir(g_Made);
        });
        return pattern;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    Console_Set(&g_Quiet);
    const std::string manifest = Folder() + "/game.json";
    Put(manifest, std::string(reinterpret_cast<const char*>(data), size));
    PackProject project;
    PackOutput out;
    std::string error;
    if (!GamePack_LoadProject(manifest, project, error) || !GamePack_Build(project, out, error)) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    FileImage image(out.game.data(), uint32_t(out.game.size()));
    const bool loaded = Runner_LoadFromImage(image);
    Runner_ReleaseLoaded();
    if (!loaded) std::abort();
    return 0;
}
