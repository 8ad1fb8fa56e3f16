// Every refusal names the place of the value refused: valid manifests (the demo project, the
// manifest fuzz target's seeds) with one value at a time replaced by one of another kind, at
// every place that holds a value, are refused naming where the value lies (the resource by its
// kind and name, the event by its label, the element of a list by its index) and then its key
// or element. The places are worked out here from the path of the value alone.
#include <gtest/gtest.h>

#include <json-c/json.h>

#include <random>
#include <string>
#include <vector>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"
#include "support/GameFileTools.h"
#include "support/PropertySeed.h"
#include "support/ScratchFolder.h"

namespace {

// One step of a value's path: a key of an object or an index of a list.
struct Step {
    std::string key; // empty for an index
    size_t index = 0;
};
using Path = std::vector<Step>;

void Places(json_object* o, Path& path, std::vector<Path>& out)
{
    if (json_object_is_type(o, json_type_object)) {
        json_object_object_foreach(o, key, value)
        {
            path.push_back({key, 0});
            out.push_back(path);
            Places(value, path, out);
            path.pop_back();
        }
    } else if (json_object_is_type(o, json_type_array)) {
        for (size_t i = 0; i < json_object_array_length(o); ++i) {
            path.push_back({"", i});
            out.push_back(path);
            Places(json_object_array_get_idx(o, i), path, out);
            path.pop_back();
        }
    }
}

json_object* At(json_object* o, const Step& s)
{
    return s.key.empty() ? json_object_array_get_idx(o, s.index) : json_object_object_get(o, s.key.c_str());
}

std::string TextAt(json_object* o, const char* key)
{
    json_object* v = json_object_object_get(o, key);
    return v && json_object_is_type(v, json_type_string) ? json_object_get_string(v) : "";
}

// An event as messages call it: "step event 1", "create event", "collision event with obj_a".
std::string EventLabel(json_object* e)
{
    static const char* const kTypes[] = {"create", "destroy", "alarm", "step",  "collision", "keyboard",
                                         "mouse",  "other",   "draw",  "keypress", "keyrelease"};
    json_object* t = json_object_object_get(e, "type");
    json_object* n = json_object_object_get(e, "number");
    std::string type = json_object_is_type(t, json_type_string) ? json_object_get_string(t) : kTypes[json_object_get_int(t)];
    if (type == "collision")
        return "collision event with " + (json_object_is_type(n, json_type_string) ? std::string(json_object_get_string(n))
                                                                                    : "object " + std::to_string(json_object_get_int(n)));
    const int number = n ? json_object_get_int(n) : 0;
    if (number == 0 && (type == "create" || type == "destroy" || type == "draw")) return type + " event";
    return type + " event " + std::to_string(number);
}

// Where a refusal of the value at path must say it lies: "room rm, instances[1]: \"x\"".
std::string ExpectedPlace(json_object* root, const Path& path)
{
    static const std::pair<const char*, const char*> kKinds[] = {
        {"scripts", "script"}, {"sprites", "sprite"}, {"backgrounds", "background"}, {"fonts", "font"},
        {"paths", "path"},     {"timelines", "time line"}, {"objects", "object"},    {"rooms", "room"}};
    std::string where, list, element; // element: the value's list element when it is a plain value
    json_object* o = root;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const Step& s = path[i];
        const bool nameReplaced = i + 2 == path.size() && path.back().key == "name";
        json_object* next = At(o, s);
        std::string part;
        if (!s.key.empty()) {
            list = s.key;
            if (json_object_is_type(next, json_type_object)) part = s.key; // "window", "options", "physics"
        } else if (!json_object_is_type(next, json_type_object)) {
            element = (element.empty() ? list : element) + "[" + std::to_string(s.index) + "]"; // points[1][0]
        } else {
            part = list + "[" + std::to_string(s.index) + "]";
            const std::string last = path[i + 1].key;
            if (i == 1)
                for (const auto& [lists, kind] : kKinds)
                    if (list == lists && !nameReplaced) part = std::string(kind) + " " + TextAt(next, "name");
            if (list == "events" && last != "type" && last != "number") part = EventLabel(next);
            if (list == "moments" && last != "time") part = "moment " + std::to_string(json_object_get_int(json_object_object_get(next, "time")));
        }
        if (!part.empty()) where += (where.empty() ? "" : ", ") + part;
        o = next;
    }
    const Step& s = path.back();
    const std::string value = !s.key.empty() ? "\"" + s.key + "\""
                                             : (element.empty() ? list : element) + "[" + std::to_string(s.index) + "]";
    return (where.empty() ? "" : where + ": ") + value;
}

// A value of another kind than v: a container for a plain value, else a plain value or the
// other container.
json_object* OtherKind(json_object* v, std::mt19937& r)
{
    const char* const forPlain[] = {"[]", "{}", "[1]", "{\"a\": 1}"};
    const char* const forList[] = {"{}", "\"x\"", "7", "true"};
    const char* const forObject[] = {"[]", "\"x\"", "7", "true"};
    const char* const* from = json_object_is_type(v, json_type_array)    ? forList
                              : json_object_is_type(v, json_type_object) ? forObject
                                                                         : forPlain;
    return json_tokener_parse(from[r() % 4]);
}

void Replace(json_object* root, const Path& path, json_object* with)
{
    json_object* o = root;
    for (size_t i = 0; i + 1 < path.size(); ++i) o = At(o, path[i]);
    if (path.back().key.empty()) json_object_array_put_idx(o, path.back().index, with);
    else json_object_object_add(o, path.back().key.c_str(), with);
}

class RefusalPlace : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The files the fuzz target's seeds name.
        TestImage_WritePng(dir / "strip.png", TestImage(24, 4, 200, 10, 10, 255));
        TestImage_WritePng(dir / "frame.png", TestImage(6, 4, 10, 200, 10, 255));
        TestImage_WritePng(dir / "tiles.png", TestImage(16, 12, 10, 10, 200, 255));
        Scratch_WriteFile(dir / "step.zbl", "x += 1;\n");
        Scratch_WriteFile(dir / "script.zbl", "return argument0 * 2;\n");
    }
    ScratchFolder dir;
};

TEST_F(RefusalPlace, AValueOfAnotherKindAnywhereIsRefusedNamingItsPlace)
{
    const uint32_t seed = Property_Seed(5807);
    SCOPED_TRACE(Property_SeedNote(seed));
    std::mt19937 r(seed);
    const std::string seeds = std::string(ZB_TESTS_DIR) + "/fuzz/corpus/fuzz_manifest/";
    const std::pair<std::string, std::string> manifests[] = {
        {std::string(ZB_TESTS_DIR) + "/../examples/demo/manifest.json", std::string(ZB_TESTS_DIR) + "/../examples/demo"},
        {seeds + "full.json", dir.Path()},
        {seeds + "bytecode.json", dir.Path()},
        {seeds + "images.json", dir.Path()},
        {seeds + "options.json", dir.Path()}};
    size_t places = 0;
    std::string wrong;
    for (const auto& [file, folder] : manifests) {
        const std::string text = Scratch_ReadFile(file);
        PackProject project;
        std::string error;
        ASSERT_TRUE(GamePack_ParseProject(text, folder, project, error)) << file << ": " << error;
        json_object* root = json_tokener_parse(text.c_str());
        std::vector<Path> all;
        Path path;
        Places(root, path, all);
        json_object_put(root);
        for (size_t n = 0; n < 2 * all.size(); ++n) { // each place twice, mostly with values of two kinds
            const Path& at = all[n % all.size()];
            json_object* changed = json_tokener_parse(text.c_str());
            json_object* was = changed;
            for (const Step& s : at) was = At(was, s);
            const std::string expected = ExpectedPlace(changed, at);
            json_object* with = OtherKind(was, r);
            const std::string shown = json_object_to_json_string_ext(with, JSON_C_TO_STRING_PLAIN);
            Replace(changed, at, with);
            const std::string manifest = json_object_to_json_string_ext(changed, JSON_C_TO_STRING_PLAIN);
            json_object_put(changed);
            PackProject refused;
            error.clear();
            ++places;
            if (GamePack_ParseProject(manifest, folder, refused, error)) {
                wrong += file.substr(file.rfind('/') + 1) + ": " + expected + " = " + shown + " is packed\n";
            } else if (error.rfind(expected + " ", 0) != 0) {
                wrong += file.substr(file.rfind('/') + 1) + ": " + expected + " = " + shown + ": " + error + "\n";
            }
        }
    }
    EXPECT_GT(places, 1000u);
    EXPECT_EQ(wrong, "") << "of " << places << " places";
}

} // namespace
