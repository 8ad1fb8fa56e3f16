// Reads the packer's manifest (JSON, through json-c) and everything it names: ZBL sources,
// PNG images (strips or frames), TrueType fonts. Names of resources are resolved to indexes
// here. See docs/gamepack.md for the format.
#include <json-c/json.h>

#include <cstring>
#include <functional>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

// Reads typed values; the first value of the wrong kind or out of its range is remembered in
// bad (with where it was met), and the parse stops at the next check. A value may be missing
// (its default is used) but never of another kind: a manifest is refused rather than read
// as something its author did not write.
struct Reader {
    const std::string& base;
    std::string& error;
    std::string where; // the resource being read, for messages
    std::string bad;   // the first value refused

    std::string Path(const std::string& name) const
    {
        if (name.empty() || name[0] == '/') return name;
        return base.empty() ? name : base + "/" + name;
    }

    void Bad(const char* key, const std::string& what)
    {
        if (bad.empty()) bad = (where.empty() ? std::string() : where + ": ") + "\"" + key + "\" " + what;
    }

    static json_object* Get(json_object* o, const char* key)
    {
        json_object* v = nullptr;
        return o && json_object_is_type(o, json_type_object) && json_object_object_get_ex(o, key, &v) ? v : nullptr;
    }
    // A whole number (true and false count as 1 and 0) from lo to hi; a fraction is cut to its
    // whole part (10.5 is 10), as hand-written projects have always been read.
    int64_t IntOf(json_object* v, const char* key, int64_t def, int64_t lo, int64_t hi)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        int64_t n = 0;
        if (json_object_is_type(v, json_type_boolean)) n = json_object_get_boolean(v) ? 1 : 0;
        else if (json_object_is_type(v, json_type_int)) {
            n = json_object_get_int64(v);
            // json-c holds integers past the 64-bit range at its ends.
            if (n == INT64_MAX || n == INT64_MIN) n = n == INT64_MAX ? hi + (hi < INT64_MAX) : lo - (lo > INT64_MIN);
        } else if (json_object_is_type(v, json_type_double)) {
            const double d = json_object_get_double(v);
            if (!(d > double(lo) - 1.0 && d < double(hi) + 1.0)) {
                Bad(key, "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
                return def;
            }
            n = int64_t(d);
        } else {
            Bad(key, "must be a number");
            return def;
        }
        if (n < lo || n > hi) {
            Bad(key, "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
            return def;
        }
        return n;
    }
    int64_t Int(json_object* o, const char* key, int64_t def, int64_t lo = INT32_MIN, int64_t hi = INT32_MAX)
    {
        return IntOf(Get(o, key), key, def, lo, hi);
    }
    // A colour or flag word: any 32-bit pattern, written as signed or unsigned.
    uint32_t Word(json_object* o, const char* key, uint32_t def) { return uint32_t(Int(o, key, def, INT32_MIN, UINT32_MAX)); }
    double RealOf(json_object* v, const char* key, double def)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        if (!json_object_is_type(v, json_type_int) && !json_object_is_type(v, json_type_double)) {
            Bad(key, "must be a number");
            return def;
        }
        const double d = json_object_get_double(v);
        if (!(d >= -3.4e38 && d <= 3.4e38)) {
            Bad(key, "must be a number within the range of a 32-bit float");
            return def;
        }
        return d;
    }
    double Real(json_object* o, const char* key, double def) { return RealOf(Get(o, key), key, def); }
    bool Bool(json_object* o, const char* key, bool def)
    {
        json_object* v = Get(o, key);
        if (v && !json_object_is_type(v, json_type_boolean) && !json_object_is_type(v, json_type_int) &&
            !json_object_is_type(v, json_type_null)) {
            Bad(key, "must be true or false");
            return def;
        }
        return Int(o, key, def ? 1 : 0, INT32_MIN, INT32_MAX) != 0;
    }
    // A text; a zero byte inside would cut it short where it is written, so it is refused.
    std::string TextOf(json_object* v, const char* key, const std::string& def)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        if (!json_object_is_type(v, json_type_string)) {
            Bad(key, "must be a text");
            return def;
        }
        std::string text(json_object_get_string(v), size_t(json_object_get_string_len(v)));
        if (text.find('\0') != std::string::npos) {
            Bad(key, "holds a zero byte");
            return def;
        }
        return text;
    }
    std::string Text(json_object* o, const char* key, const std::string& def = "") { return TextOf(Get(o, key), key, def); }
    // A resource's name: present and not empty.
    std::string Name(json_object* o, const std::string& kind)
    {
        where = kind;
        std::string name = Text(o, "name");
        if (name.empty()) Bad("name", "is missing");
        where = kind + " " + name;
        return name;
    }
    // The list under key (empty when missing).
    json_object* List(json_object* o, const char* key)
    {
        json_object* v = Get(o, key);
        if (v && !json_object_is_type(v, json_type_array) && !json_object_is_type(v, json_type_null)) {
            Bad(key, "must be a list");
            return nullptr;
        }
        return v && json_object_is_type(v, json_type_array) ? v : nullptr;
    }
    // The object under key (null when missing).
    json_object* Object(json_object* o, const char* key)
    {
        json_object* v = Get(o, key);
        if (v && !json_object_is_type(v, json_type_object) && !json_object_is_type(v, json_type_null)) {
            Bad(key, "must be an object");
            return nullptr;
        }
        return v && json_object_is_type(v, json_type_object) ? v : nullptr;
    }
    static size_t Count(json_object* a) { return a && json_object_is_type(a, json_type_array) ? json_object_array_length(a) : 0; }
    static json_object* At(json_object* a, size_t i) { return json_object_array_get_idx(a, i); }

    // "code" (inline text) or "file" (a .zbl file).
    bool Code(json_object* o, PackCode& code, const std::string& what)
    {
        std::string file = Text(o, "file");
        if (!file.empty()) {
            if (!GamePack_ReadFile(Path(file), code.text)) {
                error = what + ": cannot read " + Path(file);
                return false;
            }
            code.present = true;
        } else if (Get(o, "code")) {
            code.text = Text(o, "code");
            code.present = true;
        }
        return true;
    }

    bool Image(const std::string& name, PackImage& image, const std::string& what)
    {
        if (name.empty()) {
            error = what + ": no image";
            return false;
        }
        if (!GamePack_ReadPng(Path(name), image, error)) {
            error = what + ": " + error;
            return false;
        }
        return true;
    }
};

int32_t EventType(json_object* v)
{
    static const char* names[] = {"create", "destroy", "alarm", "step", "collision", "keyboard",
                                  "mouse", "other", "draw", "keypress", "keyrelease"};
    if (!v) return -1;
    if (json_object_is_type(v, json_type_int)) return json_object_get_int(v);
    const char* s = json_object_get_string(v);
    for (int i = 0; i < 11; ++i)
        if (std::strcmp(s, names[i]) == 0) return i;
    return -1;
}

// The index of a named resource, -1 for "" or null; false when the name is unknown.
template <class T>
bool Resolve(const std::vector<T>& items, const std::string& name, int32_t& index)
{
    index = -1;
    if (name.empty()) return true;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].name == name) {
            index = int32_t(i);
            return true;
        }
    return false;
}

const std::map<std::string, int> kOptionNames = {
    {"fullscreen", 0}, {"new_audio", 2}, {"cursor", 4}, {"window_colour", 8}, {"set_display", 9},
    {"colour_depth", 10}, {"resolution", 11}, {"frequency", 12}, {"alt_enter", 15},
    {"freeze_on_lost_focus", 22}, {"abort_on_all_errors", 32}, {"uninitialised_zero", 33},
    {"create_event_first", 34},
};

// An image's frame count: 1 to the strip's width, so that no frame is empty.
bool StripFrames(Reader& r, json_object* o, const PackImage& strip, int32_t& n)
{
    n = int32_t(r.Int(o, "frames", 1, 1, INT32_MAX));
    if (!r.bad.empty()) return false;
    if (n > strip.width) {
        r.Bad("frames", "must be at most the image's width (" + std::to_string(strip.width) + ")");
        return false;
    }
    return true;
}

// Two resources of any kind may not share a name: scripts find resources by name, and only the
// first of two would ever be found.
bool NamesAreUnique(const PackProject& p, std::string& error)
{
    std::map<std::string, std::string> seen;
    auto add = [&](const std::string& name, const char* kind) {
        auto [it, fresh] = seen.emplace(name, kind);
        if (!fresh) error = std::string(kind) + " \"" + name + "\" has the name of another " + it->second;
        return fresh;
    };
    for (const PackScript& x : p.scripts) if (!add(x.name, "script")) return false;
    for (const PackSprite& x : p.sprites) if (!add(x.name, "sprite")) return false;
    for (const PackBackground& x : p.backgrounds) if (!add(x.name, "background")) return false;
    for (const PackFont& x : p.fonts) if (!add(x.name, "font")) return false;
    for (const PackPath& x : p.paths) if (!add(x.name, "path")) return false;
    for (const PackTimeLine& x : p.timelines) if (!add(x.name, "time line")) return false;
    for (const PackObject& x : p.objects) if (!add(x.name, "object")) return false;
    for (const PackRoom& x : p.rooms) if (!add(x.name, "room")) return false;
    return true;
}

// An object's parent chain must end: a loop would make every event lookup go round it.
bool ParentsEnd(const PackProject& p, std::string& error)
{
    for (const PackObject& ob : p.objects) {
        int32_t at = ob.parent;
        for (size_t steps = 0; at >= 0; ++steps) {
            if (steps >= p.objects.size()) {
                error = "object " + ob.name + ": its chain of parents loops";
                return false;
            }
            at = p.objects[size_t(at)].parent;
        }
    }
    return true;
}

} // namespace

bool GamePack_ParseProject(const std::string& json, const std::string& baseFolder, PackProject& p, std::string& error)
{
    json_tokener* tok = json_tokener_new();
    json_object* root = json_tokener_parse_ex(tok, json.c_str(), int(json.size()));
    json_tokener_error jerr = json_tokener_get_error(tok);
    json_tokener_free(tok);
    if (!root || jerr != json_tokener_success || !json_object_is_type(root, json_type_object)) {
        error = std::string("the manifest is not a JSON object: ") + json_tokener_error_desc(jerr);
        if (root) json_object_put(root);
        return false;
    }
    Reader r{baseFolder, error, "", ""};
    p = PackProject();
    p.baseFolder = baseFolder;
    bool ok = [&]() -> bool {
        p.name = r.Text(root, "name", "Game");
        p.config = r.Text(root, "config", "Default");
        std::string mode = r.Text(root, "mode", "source");
        if (mode != "source" && mode != "bytecode") {
            error = "mode must be \"source\" or \"bytecode\"";
            return false;
        }
        p.byteCode = mode == "bytecode";
        p.formatVersion = uint8_t(r.Int(root, "format_version", 13, 8, 13));
        p.debug = r.Bool(root, "debug", false);
        p.gameId = int32_t(r.Int(root, "game_id", 0));
        p.steamAppId = int32_t(r.Int(root, "steam_app_id", 0, 0, INT32_MAX));
        p.pageSize = int32_t(r.Int(root, "texture_page_size", 1024, 64, 8192));
        json_object* window = r.Object(root, "window");
        r.where = "window";
        p.windowWidth = int32_t(r.Int(window, "width", 800, 1, 16384));
        p.windowHeight = int32_t(r.Int(window, "height", 480, 1, 16384));
        p.infoFlags = r.Word(window, "flags", 0);
        p.caption = r.Text(window, "caption", p.name);
        r.where.clear();
        p.lastInstanceId = int32_t(r.Int(root, "first_instance_id", 100000, 0, INT32_MAX));
        p.lastTileId = int32_t(r.Int(root, "first_tile_id", 10000000, 0, INT32_MAX));
        if (!r.bad.empty()) return false;

        if (json_object* options = r.Object(root, "options")) {
            r.where = "options";
            json_object_object_foreach(options, key, value)
            {
                if (std::strcmp(key, "words") == 0) {
                    json_object* words = r.Object(options, "words");
                    json_object_object_foreach(words, wkey, wvalue)
                    {
                        char* end = nullptr;
                        const long word = std::strtol(wkey, &end, 10);
                        if (!*wkey || *end || word < 0 || word > 34) {
                            error = std::string("options: \"words\" names word \"") + wkey + "\"; words are 0 to 34";
                            return false;
                        }
                        p.optionWords[int(word)] = int64_t(r.IntOf(wvalue, wkey, 0, INT32_MIN, UINT32_MAX));
                    }
                    continue;
                }
                auto it = kOptionNames.find(key);
                if (it == kOptionNames.end()) {
                    error = std::string("unknown option ") + key;
                    return false;
                }
                p.optionWords[it->second] = r.IntOf(value, key, 0, INT32_MIN, UINT32_MAX);
            }
            r.where.clear();
        }
        if (json_object* constants = r.Object(root, "constants")) {
            r.where = "constants";
            json_object_object_foreach(constants, key, value)
            {
                // A number or true/false is taken as its JSON text ("SPEED": 4 is "4").
                if (json_object_is_type(value, json_type_int) || json_object_is_type(value, json_type_double) ||
                    json_object_is_type(value, json_type_boolean))
                    p.constants.emplace_back(key, json_object_get_string(value));
                else if (!json_object_is_type(value, json_type_string)) r.Bad(key, "must be a text or a number");
                else p.constants.emplace_back(key, r.TextOf(value, key, ""));
            }
            r.where.clear();
        }
        if (!r.bad.empty()) return false;

        json_object* a = r.List(root, "scripts");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            PackScript s;
            s.name = r.Name(Reader::At(a, i), "script");
            if (!r.Code(Reader::At(a, i), s.code, "script " + s.name)) return false;
            p.scripts.push_back(s);
        }
        if (!r.bad.empty()) return false;
        a = r.List(root, "sprites");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackSprite s;
            s.name = r.Name(o, "sprite");
            json_object* images = r.List(o, "images");
            if (!r.bad.empty()) return false;
            if (Reader::Count(images)) {
                for (size_t k = 0; k < Reader::Count(images); ++k) {
                    PackImage img;
                    const std::string file = r.TextOf(Reader::At(images, k), "images", "");
                    if (!r.bad.empty()) return false;
                    if (!r.Image(file, img, "sprite " + s.name)) return false;
                    if (k && (img.width != s.frames[0].width || img.height != s.frames[0].height)) {
                        error = "sprite " + s.name + ": frames differ in size";
                        return false;
                    }
                    s.frames.push_back(img);
                }
            } else {
                PackImage strip;
                if (!r.Image(r.Text(o, "image"), strip, "sprite " + s.name)) return false;
                int32_t n = 1;
                if (!StripFrames(r, o, strip, n)) return false;
                int32_t w = strip.width / n;
                for (int32_t k = 0; k < n; ++k) s.frames.push_back(GamePack_SubImage(strip, k * w, 0, w, strip.height));
            }
            json_object* origin = r.List(o, "origin");
            if (Reader::Count(origin) == 2) {
                s.xOrigin = int32_t(r.IntOf(Reader::At(origin, 0), "origin", 0, INT32_MIN, INT32_MAX));
                s.yOrigin = int32_t(r.IntOf(Reader::At(origin, 1), "origin", 0, INT32_MIN, INT32_MAX));
            } else if (origin) {
                r.Bad("origin", "must be [x, y]");
            }
            s.transparent = r.Bool(o, "transparent", false);
            s.smooth = r.Bool(o, "smooth", false);
            s.preload = r.Bool(o, "preload", true);
            s.precise = r.Bool(o, "precise", false);
            s.bboxMode = int32_t(r.Int(o, "bbox_mode", 0, 0, 2));
            json_object* box = r.List(o, "bbox");
            if (Reader::Count(box) == 4) {
                s.bboxMode = 2;
                for (int k = 0; k < 4; ++k) s.bbox[k] = int32_t(r.IntOf(Reader::At(box, size_t(k)), "bbox", 0, INT32_MIN, INT32_MAX));
            } else if (box) {
                r.Bad("bbox", "must be [left, top, right, bottom]");
            }
            if (!r.bad.empty()) return false;
            p.sprites.push_back(std::move(s));
        }
        a = r.List(root, "backgrounds");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackBackground b;
            b.name = r.Name(o, "background");
            if (!r.bad.empty()) return false;
            if (!r.Image(r.Text(o, "image"), b.image, "background " + b.name)) return false;
            b.transparent = r.Bool(o, "transparent", false);
            b.smooth = r.Bool(o, "smooth", false);
            b.preload = r.Bool(o, "preload", true);
            if (!r.bad.empty()) return false;
            p.backgrounds.push_back(std::move(b));
        }
        a = r.List(root, "fonts");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackFont f;
            f.name = r.Name(o, "font");
            f.ttf = r.Path(r.Text(o, "ttf"));
            f.typeface = r.Text(o, "typeface");
            f.size = int32_t(r.Int(o, "size", 12));
            f.bold = r.Bool(o, "bold", false);
            f.italic = r.Bool(o, "italic", false);
            f.first = int32_t(r.Int(o, "first", 32));
            f.last = int32_t(r.Int(o, "last", 127));
            f.charset = int32_t(r.Int(o, "charset", 0, 0, 255));
            f.antialias = int32_t(r.Int(o, "antialias", 1));
            if (!r.bad.empty()) return false;
            if (f.first < 0 || f.last > 65535 || f.first > f.last || f.size < 1 || f.size > 512) {
                error = "font " + f.name + ": bad size or character range";
                return false;
            }
            if (!GamePack_RenderFont(f, error)) return false;
            p.fonts.push_back(std::move(f));
        }
        a = r.List(root, "paths");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackPath path;
            path.name = r.Name(o, "path");
            path.kind = uint32_t(r.Int(o, "kind", 0, 0, 1));
            path.closed = r.Bool(o, "closed", false);
            path.precision = uint32_t(r.Int(o, "precision", 4, 1, 8));
            json_object* pts = r.List(o, "points");
            for (size_t k = 0; k < Reader::Count(pts); ++k) {
                json_object* pt = Reader::At(pts, k);
                const size_t n = Reader::Count(pt);
                if (n < 2 || n > 3) {
                    r.Bad("points", "must be [x, y] or [x, y, speed] each");
                    break;
                }
                for (size_t c = 0; c < 3; ++c)
                    path.points.push_back(c < n ? float(r.RealOf(Reader::At(pt, c), "points", 0)) : 100.0f);
            }
            if (!r.bad.empty()) return false;
            p.paths.push_back(std::move(path));
        }
        a = r.List(root, "timelines");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackTimeLine t;
            t.name = r.Name(o, "time line");
            json_object* ms = r.List(o, "moments");
            for (size_t k = 0; k < Reader::Count(ms); ++k) {
                PackMoment m;
                m.time = int32_t(r.Int(Reader::At(ms, k), "time", 0));
                if (!r.bad.empty()) return false;
                if (!r.Code(Reader::At(ms, k), m.code, "time line " + t.name)) return false;
                if (!t.moments.empty() && m.time <= t.moments.back().time) {
                    error = "time line " + t.name + ": moments must have ascending times";
                    return false;
                }
                t.moments.push_back(m);
            }
            if (!r.bad.empty()) return false;
            p.timelines.push_back(std::move(t));
        }
        a = r.List(root, "objects");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackObject ob;
            ob.name = r.Name(o, "object");
            ob.spriteName = r.Text(o, "sprite");
            ob.maskName = r.Text(o, "mask");
            ob.parentName = r.Text(o, "parent");
            ob.visible = r.Bool(o, "visible", true);
            ob.solid = r.Bool(o, "solid", false);
            ob.persistent = r.Bool(o, "persistent", false);
            ob.depth = int32_t(r.Int(o, "depth", 0));
            if (json_object* ph = r.Object(o, "physics")) {
                PackPhysics& f = ob.physics;
                f.uses = true;
                f.sensor = r.Bool(ph, "sensor", false);
                f.awake = r.Bool(ph, "awake", true);
                f.kinematic = r.Bool(ph, "kinematic", false);
                f.shape = int32_t(r.Int(ph, "shape", 1, 0, 2));
                f.group = int32_t(r.Int(ph, "group", 0));
                f.density = float(r.Real(ph, "density", 0.5));
                f.restitution = float(r.Real(ph, "restitution", 0.1));
                f.linearDamping = float(r.Real(ph, "linear_damping", 0.1));
                f.angularDamping = float(r.Real(ph, "angular_damping", 0.1));
                f.friction = float(r.Real(ph, "friction", 0.2));
                json_object* points = r.List(ph, "points");
                for (size_t k = 0; k < Reader::Count(points); ++k) {
                    json_object* pt = Reader::At(points, k);
                    if (Reader::Count(pt) != 2) {
                        error = "object " + ob.name + ": a physics point is [x, y]";
                        return false;
                    }
                    f.points.push_back(float(r.RealOf(Reader::At(pt, 0), "points", 0)));
                    f.points.push_back(float(r.RealOf(Reader::At(pt, 1), "points", 0)));
                }
            }
            json_object* evs = r.List(o, "events");
            for (size_t k = 0; k < Reader::Count(evs); ++k) {
                json_object* e = Reader::At(evs, k);
                PackEvent ev;
                ev.type = EventType(Reader::Get(e, "type"));
                if (ev.type < 0 || ev.type > 11) {
                    error = "object " + ob.name + ": unknown event type";
                    return false;
                }
                json_object* number = Reader::Get(e, "number");
                if (number && json_object_is_type(number, json_type_string) && ev.type != 4)
                    r.Bad("number", "names an object, which only a collision event's number may");
                else if (number && json_object_is_type(number, json_type_string))
                    ob.collisionNames.emplace_back(ob.events.size(), r.TextOf(number, "number", ""));
                else
                    ev.number = int32_t(r.Int(e, "number", 0, 0, 65535));
                if (!r.bad.empty()) return false;
                if (!r.Code(e, ev.code, "object " + ob.name)) return false;
                ob.events.push_back(ev);
            }
            if (!r.bad.empty()) return false;
            p.objects.push_back(std::move(ob));
        }
        if (p.objects.size() > 100000) {
            // Numbers from 100000 up name instances, so an object there could not be named.
            error = "the game has more than 100000 objects";
            return false;
        }
        a = r.List(root, "rooms");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackRoom rm;
            rm.name = r.Name(o, "room");
            rm.caption = r.Text(o, "caption");
            rm.width = int32_t(r.Int(o, "width", 640, 1, INT32_MAX));
            rm.height = int32_t(r.Int(o, "height", 480, 1, INT32_MAX));
            rm.speed = int32_t(r.Int(o, "speed", 30, 1, INT32_MAX));
            rm.persistent = r.Bool(o, "persistent", false);
            rm.colour = r.Word(o, "colour", 0);
            rm.showColour = r.Bool(o, "show_colour", true);
            rm.viewsEnabled = r.Bool(o, "views_enabled", false);
            rm.physics = r.Bool(o, "physics", false);
            rm.gravityX = float(r.Real(o, "gravity_x", 0));
            rm.gravityY = float(r.Real(o, "gravity_y", 10));
            rm.pixelsToMetres = float(r.Real(o, "pixels_to_metres", 0.1));
            if (!r.bad.empty()) return false;
            if (!r.Code(o, rm.code, "room " + rm.name)) return false;
            json_object* bgs = r.List(o, "backgrounds");
            if (Reader::Count(bgs) > 8) r.Bad("backgrounds", "holds more than 8 layers");
            for (size_t k = 0; k < Reader::Count(bgs) && k < 8; ++k) {
                json_object* b = Reader::At(bgs, k);
                PackRoomBackground rb;
                rb.visible = r.Bool(b, "visible", true);
                rb.foreground = r.Bool(b, "foreground", false);
                rb.backgroundName = r.Text(b, "background");
                rb.x = int32_t(r.Int(b, "x", 0));
                rb.y = int32_t(r.Int(b, "y", 0));
                rb.htiled = r.Bool(b, "htiled", true);
                rb.vtiled = r.Bool(b, "vtiled", true);
                rb.hspeed = int32_t(r.Int(b, "hspeed", 0));
                rb.vspeed = int32_t(r.Int(b, "vspeed", 0));
                rb.stretch = r.Bool(b, "stretch", false);
                rm.backgrounds.push_back(rb);
            }
            json_object* views = r.List(o, "views");
            if (Reader::Count(views) > 8) r.Bad("views", "holds more than 8 views");
            static const char* viewKeys[14] = {"visible", "x", "y", "width", "height", "port_x", "port_y", "port_width",
                                               "port_height", "hborder", "vborder", "hspeed", "vspeed", "follow"};
            for (size_t k = 0; k < Reader::Count(views) && k < 8; ++k) {
                json_object* v = Reader::At(views, k);
                PackRoomView rv;
                for (int f = 0; f < 13; ++f) rv.v[f] = int32_t(r.Int(v, viewKeys[f], rv.v[f]));
                rv.followName = r.Text(v, "follow");
                rm.views.push_back(rv);
            }
            json_object* insts = r.List(o, "instances");
            for (size_t k = 0; k < Reader::Count(insts); ++k) {
                json_object* in = Reader::At(insts, k);
                PackInstance pi;
                pi.objectName = r.Text(in, "object");
                pi.x = int32_t(r.Int(in, "x", 0));
                pi.y = int32_t(r.Int(in, "y", 0));
                pi.xScale = float(r.Real(in, "xscale", 1));
                pi.yScale = float(r.Real(in, "yscale", 1));
                pi.rotation = float(r.Real(in, "rotation", 0));
                pi.colour = r.Word(in, "colour", 0xFFFFFFFF);
                if (!r.Code(in, pi.code, "room " + rm.name)) return false;
                rm.instances.push_back(pi);
            }
            json_object* tiles = r.List(o, "tiles");
            for (size_t k = 0; k < Reader::Count(tiles); ++k) {
                json_object* t = Reader::At(tiles, k);
                PackTile pt;
                pt.backgroundName = r.Text(t, "background");
                pt.x = int32_t(r.Int(t, "x", 0));
                pt.y = int32_t(r.Int(t, "y", 0));
                pt.left = int32_t(r.Int(t, "left", 0));
                pt.top = int32_t(r.Int(t, "top", 0));
                pt.width = int32_t(r.Int(t, "width", 0));
                pt.height = int32_t(r.Int(t, "height", 0));
                pt.depth = int32_t(r.Int(t, "depth", 1000000));
                pt.xScale = float(r.Real(t, "xscale", 1));
                pt.yScale = float(r.Real(t, "yscale", 1));
                pt.colour = r.Word(t, "colour", 0xFFFFFFFF);
                rm.tiles.push_back(pt);
            }
            if (!r.bad.empty()) return false;
            p.rooms.push_back(std::move(rm));
        }
        r.where.clear();
        a = r.List(root, "room_order");
        for (size_t i = 0; i < Reader::Count(a); ++i) p.roomOrderNames.push_back(r.TextOf(Reader::At(a, i), "room_order", ""));
        if (!r.bad.empty()) return false;
        if (!NamesAreUnique(p, error)) return false;

        // Names to indexes.
        auto need = [&](bool found, const std::string& what, const std::string& name) {
            if (!found) error = what + " names an unknown resource \"" + name + "\"";
            return found;
        };
        for (PackObject& ob : p.objects) {
            if (!need(Resolve(p.sprites, ob.spriteName, ob.sprite), "object " + ob.name, ob.spriteName)) return false;
            if (!need(Resolve(p.sprites, ob.maskName, ob.mask), "object " + ob.name, ob.maskName)) return false;
            if (!need(Resolve(p.objects, ob.parentName, ob.parent), "object " + ob.name, ob.parentName)) return false;
            for (auto& [slot, other] : ob.collisionNames) {
                int32_t index = -1;
                if (!need(Resolve(p.objects, other, index) && index >= 0, "object " + ob.name, other)) return false;
                ob.events[slot].number = index;
            }
            for (const PackEvent& ev : ob.events)
                if (ev.type == 4 && size_t(ev.number) >= p.objects.size()) {
                    error = "object " + ob.name + ": collision event with object " + std::to_string(ev.number) +
                            ", which does not exist";
                    return false;
                }
        }
        if (!ParentsEnd(p, error)) return false;
        int64_t instanceId = p.lastInstanceId, tileId = p.lastTileId;
        for (PackRoom& rm : p.rooms) {
            for (PackRoomBackground& b : rm.backgrounds)
                if (!need(Resolve(p.backgrounds, b.backgroundName, b.background), "room " + rm.name, b.backgroundName)) return false;
            for (PackRoomView& v : rm.views)
                if (!need(Resolve(p.objects, v.followName, v.v[13]), "room " + rm.name, v.followName)) return false;
            for (PackInstance& in : rm.instances) {
                if (!need(Resolve(p.objects, in.objectName, in.object) && in.object >= 0, "room " + rm.name, in.objectName))
                    return false;
                in.id = int32_t(++instanceId > INT32_MAX ? INT32_MAX : instanceId);
            }
            for (PackTile& t : rm.tiles) {
                if (!need(Resolve(p.backgrounds, t.backgroundName, t.background), "room " + rm.name, t.backgroundName))
                    return false;
                t.id = int32_t(++tileId > INT32_MAX ? INT32_MAX : tileId);
            }
        }
        if (instanceId > INT32_MAX || tileId > INT32_MAX) {
            error = "the instance or tile ids run past 2147483647: lower first_instance_id or first_tile_id";
            return false;
        }
        p.lastInstanceId = int32_t(instanceId);
        p.lastTileId = int32_t(tileId);
        if (p.roomOrderNames.empty())
            for (size_t i = 0; i < p.rooms.size(); ++i) p.roomOrder.push_back(int32_t(i));
        for (const std::string& name : p.roomOrderNames) {
            int32_t index = -1;
            if (!need(Resolve(p.rooms, name, index) && index >= 0, "room_order", name)) return false;
            for (int32_t earlier : p.roomOrder)
                if (earlier == index) {
                    error = "room_order names room " + name + " twice";
                    return false;
                }
            p.roomOrder.push_back(index);
        }
        return true;
    }();
    if (!ok && error.empty()) error = r.bad;
    json_object_put(root);
    return ok;
}

bool GamePack_LoadProject(const std::string& manifestPath, PackProject& project, std::string& error)
{
    std::string text;
    if (!GamePack_ReadFile(manifestPath, text)) {
        error = "cannot read the manifest " + manifestPath;
        return false;
    }
    size_t cut = manifestPath.find_last_of('/');
    std::string base = cut == std::string::npos ? std::string(".") : manifestPath.substr(0, cut);
    return GamePack_ParseProject(text, base, project, error);
}
