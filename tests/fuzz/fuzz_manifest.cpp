// Fuzz target: arbitrary text as a packer manifest, read as the packer reads one: written to a
// folder that holds files a manifest may name (images, ZBL code) and loaded from there, so
// that every list, record and key reaches its reader, down to the images cut into frames and
// the tiles placed on backgrounds; then the build of whatever it accepts, in the mode the
// manifest asks for. The packer must refuse with a message or build a file, never crash or
// run away; a file it builds must load in the runner, as the packer promises.
//
// The seeds (tests/fuzz/corpus/fuzz_manifest) name the folder's files; fuzz_manifest.dict
// holds the manifest's keys and words (give it with -dict=). Byte changes alone seldom turn a
// value into one of another kind, where most of the reader's faults lie (an object walked that
// is a list), so every other mutation is one of the JSON itself: a value anywhere replaced by
// one of another kind, or a known key added to an object with such a value.
#include <json-c/json.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

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

// A value of one of the kinds a manifest holds, chosen by r.
json_object* AnyValue(std::minstd_rand& r)
{
    switch (r() % 12) {
    case 0: return json_object_new_array();
    case 1: return json_tokener_parse("[1, 2]");
    case 2: return json_tokener_parse("[[0, 0], [4, 2, 50]]");
    case 3: return json_object_new_object();
    case 4: return json_tokener_parse("{\"0\": 1, \"26\": 0, \"name\": \"x\"}");
    case 5: return json_object_new_string(r() % 2 ? "strip.png" : "");
    case 6: return json_object_new_boolean(r() % 2);
    case 7: return json_object_new_int64(int64_t(r() % 5) - 1);
    case 8: return json_object_new_int64(r() % 2 ? INT32_MAX : 4294967296);
    case 9: return json_object_new_double(r() % 2 ? 0.5 : -0.0);
    case 10: return json_object_new_double(1e300);
    default: return json_object_new_string("obj_a");
    }
}

// The keys of the manifest at any level, for additions.
const char* const kKeys[] = {"name", "mode", "window", "options", "words", "fullscreen", "constants", "scripts",
                             "sprites", "image", "images", "frames", "origin", "bbox", "backgrounds", "fonts",
                             "paths", "points", "timelines", "moments", "time", "objects", "physics", "events",
                             "type", "number", "code", "file", "rooms", "views", "instances", "tiles", "object",
                             "background", "follow", "room_order", "first_instance_id", "texture_page_size"};

// Every place in the JSON below o that holds a value: its container and its key or index.
struct Slot {
    json_object* in;
    bool list;
    std::string key; // in an object
    size_t index;    // in a list
    json_object* Value() const
    {
        return list ? json_object_array_get_idx(in, index) : json_object_object_get(in, key.c_str());
    }
};
void Slots(json_object* o, std::vector<Slot>& out)
{
    if (json_object_is_type(o, json_type_object)) {
        json_object_object_foreach(o, key, value)
        {
            out.push_back({o, false, key, 0});
            Slots(value, out);
        }
    } else if (json_object_is_type(o, json_type_array)) {
        for (size_t i = 0; i < json_object_array_length(o); ++i) {
            out.push_back({o, true, "", i});
            Slots(json_object_array_get_idx(o, i), out);
        }
    }
}

} // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand r(seed);
    json_object* root = r() % 2 ? json_tokener_parse(std::string(reinterpret_cast<char*>(data), size).c_str()) : nullptr;
    if (!root) return LLVMFuzzerMutate(data, size, maxSize);
    std::vector<Slot> slots;
    Slots(root, slots);
    std::vector<json_object*> objects;
    if (json_object_is_type(root, json_type_object)) objects.push_back(root);
    for (const Slot& s : slots)
        if (json_object_is_type(s.Value(), json_type_object)) objects.push_back(s.Value());
    if (slots.empty() && objects.empty()) { // a lone value: nothing to change in it
        json_object_put(root);
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    if (slots.empty() || (objects.size() && r() % 3 == 0)) { // a known key, anywhere
        json_object_object_add(objects[r() % objects.size()], kKeys[r() % (sizeof kKeys / sizeof *kKeys)], AnyValue(r));
    } else { // a value of another kind
        const Slot& s = slots[r() % slots.size()];
        if (s.list) json_object_array_put_idx(s.in, s.index, AnyValue(r));
        else json_object_object_add(s.in, s.key.c_str(), AnyValue(r));
    }
    const char* text = json_object_to_json_string_ext(root, JSON_C_TO_STRING_PLAIN);
    const size_t n = std::strlen(text);
    const bool fits = n <= maxSize;
    if (fits) std::memcpy(data, text, n);
    json_object_put(root);
    return fits ? n : LLVMFuzzerMutate(data, size, maxSize);
}

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
