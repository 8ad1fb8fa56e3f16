// Reads the packer's manifest (JSON, through json-c) and everything it names: ZBL sources,
// PNG images (strips or frames), TrueType fonts. Names of resources are resolved to indexes
// here. See docs/gamepack.md for the format.
#include <json-c/json.h>

#include <cstring>
#include <functional>

#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

struct Reader {
    const std::string& base;
    std::string& error;

    std::string Path(const std::string& name) const
    {
        if (name.empty() || name[0] == '/') return name;
        return base.empty() ? name : base + "/" + name;
    }

    static json_object* Get(json_object* o, const char* key)
    {
        json_object* v = nullptr;
        return o && json_object_object_get_ex(o, key, &v) ? v : nullptr;
    }
    static int64_t Int(json_object* o, const char* key, int64_t def)
    {
        json_object* v = Get(o, key);
        if (!v) return def;
        if (json_object_is_type(v, json_type_boolean)) return json_object_get_boolean(v) ? 1 : 0;
        return json_object_get_int64(v);
    }
    static double Real(json_object* o, const char* key, double def)
    {
        json_object* v = Get(o, key);
        return v ? json_object_get_double(v) : def;
    }
    static bool Bool(json_object* o, const char* key, bool def) { return Int(o, key, def ? 1 : 0) != 0; }
    static std::string Text(json_object* o, const char* key, const std::string& def = "")
    {
        json_object* v = Get(o, key);
        return v && !json_object_is_type(v, json_type_null) ? json_object_get_string(v) : def;
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
    Reader r{baseFolder, error};
    p = PackProject();
    p.baseFolder = baseFolder;
    bool ok = [&]() -> bool {
        p.name = Reader::Text(root, "name", "Game");
        p.config = Reader::Text(root, "config", "Default");
        std::string mode = Reader::Text(root, "mode", "source");
        if (mode != "source" && mode != "bytecode") {
            error = "mode must be \"source\" or \"bytecode\"";
            return false;
        }
        p.byteCode = mode == "bytecode";
        p.formatVersion = uint8_t(Reader::Int(root, "format_version", 13));
        if (p.formatVersion < 8 || p.formatVersion > 13) {
            error = "format_version must be 8 to 13";
            return false;
        }
        p.debug = Reader::Bool(root, "debug", false);
        p.gameId = int32_t(Reader::Int(root, "game_id", 0));
        p.steamAppId = int32_t(Reader::Int(root, "steam_app_id", 0));
        p.pageSize = int32_t(Reader::Int(root, "texture_page_size", 1024));
        if (p.pageSize < 64 || p.pageSize > 8192) {
            error = "texture_page_size must be 64 to 8192";
            return false;
        }
        json_object* window = Reader::Get(root, "window");
        p.windowWidth = int32_t(Reader::Int(window, "width", 800));
        p.windowHeight = int32_t(Reader::Int(window, "height", 480));
        p.infoFlags = uint32_t(Reader::Int(window, "flags", 0));
        p.caption = Reader::Text(window, "caption", p.name);
        p.lastInstanceId = int32_t(Reader::Int(root, "first_instance_id", 100000));
        p.lastTileId = int32_t(Reader::Int(root, "first_tile_id", 10000000));

        json_object* options = Reader::Get(root, "options");
        if (options) {
            json_object_object_foreach(options, key, value)
            {
                if (std::strcmp(key, "words") == 0) {
                    json_object_object_foreach(value, wkey, wvalue) p.optionWords[std::atoi(wkey)] = json_object_get_int64(wvalue);
                    continue;
                }
                auto it = kOptionNames.find(key);
                if (it == kOptionNames.end()) {
                    error = std::string("unknown option ") + key;
                    return false;
                }
                p.optionWords[it->second] = json_object_is_type(value, json_type_boolean) ? json_object_get_boolean(value)
                                                                                          : json_object_get_int64(value);
            }
        }
        if (json_object* constants = Reader::Get(root, "constants")) {
            json_object_object_foreach(constants, key, value) p.constants.emplace_back(key, json_object_get_string(value));
        }

        json_object* a = Reader::Get(root, "scripts");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            PackScript s;
            s.name = Reader::Text(Reader::At(a, i), "name");
            if (!r.Code(Reader::At(a, i), s.code, "script " + s.name)) return false;
            p.scripts.push_back(s);
        }
        a = Reader::Get(root, "sprites");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackSprite s;
            s.name = Reader::Text(o, "name");
            json_object* images = Reader::Get(o, "images");
            if (Reader::Count(images)) {
                for (size_t k = 0; k < Reader::Count(images); ++k) {
                    PackImage img;
                    if (!r.Image(json_object_get_string(Reader::At(images, k)), img, "sprite " + s.name)) return false;
                    if (k && (img.width != s.frames[0].width || img.height != s.frames[0].height)) {
                        error = "sprite " + s.name + ": frames differ in size";
                        return false;
                    }
                    s.frames.push_back(img);
                }
            } else {
                PackImage strip;
                if (!r.Image(Reader::Text(o, "image"), strip, "sprite " + s.name)) return false;
                int32_t n = int32_t(Reader::Int(o, "frames", 1));
                if (n < 1) n = 1;
                int32_t w = strip.width / n;
                for (int32_t k = 0; k < n; ++k) s.frames.push_back(GamePack_SubImage(strip, k * w, 0, w, strip.height));
            }
            json_object* origin = Reader::Get(o, "origin");
            if (Reader::Count(origin) == 2) {
                s.xOrigin = json_object_get_int(Reader::At(origin, 0));
                s.yOrigin = json_object_get_int(Reader::At(origin, 1));
            }
            s.transparent = Reader::Bool(o, "transparent", false);
            s.smooth = Reader::Bool(o, "smooth", false);
            s.preload = Reader::Bool(o, "preload", true);
            s.precise = Reader::Bool(o, "precise", false);
            s.bboxMode = int32_t(Reader::Int(o, "bbox_mode", 0));
            json_object* box = Reader::Get(o, "bbox");
            if (Reader::Count(box) == 4) {
                s.bboxMode = 2;
                for (int k = 0; k < 4; ++k) s.bbox[k] = json_object_get_int(Reader::At(box, size_t(k)));
            }
            p.sprites.push_back(std::move(s));
        }
        a = Reader::Get(root, "backgrounds");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackBackground b;
            b.name = Reader::Text(o, "name");
            if (!r.Image(Reader::Text(o, "image"), b.image, "background " + b.name)) return false;
            b.transparent = Reader::Bool(o, "transparent", false);
            b.smooth = Reader::Bool(o, "smooth", false);
            b.preload = Reader::Bool(o, "preload", true);
            p.backgrounds.push_back(std::move(b));
        }
        a = Reader::Get(root, "fonts");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackFont f;
            f.name = Reader::Text(o, "name");
            f.ttf = r.Path(Reader::Text(o, "ttf"));
            f.typeface = Reader::Text(o, "typeface");
            f.size = int32_t(Reader::Int(o, "size", 12));
            f.bold = Reader::Bool(o, "bold", false);
            f.italic = Reader::Bool(o, "italic", false);
            f.first = int32_t(Reader::Int(o, "first", 32));
            f.last = int32_t(Reader::Int(o, "last", 127));
            f.charset = int32_t(Reader::Int(o, "charset", 0));
            f.antialias = int32_t(Reader::Int(o, "antialias", 1));
            if (f.first < 0 || f.last > 65535 || f.first > f.last || f.size < 1 || f.size > 512) {
                error = "font " + f.name + ": bad size or character range";
                return false;
            }
            if (!GamePack_RenderFont(f, error)) return false;
            p.fonts.push_back(std::move(f));
        }
        a = Reader::Get(root, "paths");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackPath path;
            path.name = Reader::Text(o, "name");
            path.kind = uint32_t(Reader::Int(o, "kind", 0));
            path.closed = Reader::Bool(o, "closed", false);
            path.precision = uint32_t(Reader::Int(o, "precision", 4));
            json_object* pts = Reader::Get(o, "points");
            for (size_t k = 0; k < Reader::Count(pts); ++k) {
                json_object* pt = Reader::At(pts, k);
                for (size_t c = 0; c < 3; ++c)
                    path.points.push_back(c < Reader::Count(pt) ? float(json_object_get_double(Reader::At(pt, c))) : 100.0f);
            }
            p.paths.push_back(std::move(path));
        }
        a = Reader::Get(root, "timelines");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackTimeLine t;
            t.name = Reader::Text(o, "name");
            json_object* ms = Reader::Get(o, "moments");
            for (size_t k = 0; k < Reader::Count(ms); ++k) {
                PackMoment m;
                m.time = int32_t(Reader::Int(Reader::At(ms, k), "time", 0));
                if (!r.Code(Reader::At(ms, k), m.code, "time line " + t.name)) return false;
                if (!t.moments.empty() && m.time <= t.moments.back().time) {
                    error = "time line " + t.name + ": moments must have ascending times";
                    return false;
                }
                t.moments.push_back(m);
            }
            p.timelines.push_back(std::move(t));
        }
        a = Reader::Get(root, "objects");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackObject ob;
            ob.name = Reader::Text(o, "name");
            ob.spriteName = Reader::Text(o, "sprite");
            ob.maskName = Reader::Text(o, "mask");
            ob.parentName = Reader::Text(o, "parent");
            ob.visible = Reader::Bool(o, "visible", true);
            ob.solid = Reader::Bool(o, "solid", false);
            ob.persistent = Reader::Bool(o, "persistent", false);
            ob.depth = int32_t(Reader::Int(o, "depth", 0));
            if (json_object* ph = Reader::Get(o, "physics")) {
                PackPhysics& f = ob.physics;
                f.uses = true;
                f.sensor = Reader::Bool(ph, "sensor", false);
                f.awake = Reader::Bool(ph, "awake", true);
                f.kinematic = Reader::Bool(ph, "kinematic", false);
                f.shape = int32_t(Reader::Int(ph, "shape", 1));
                f.group = int32_t(Reader::Int(ph, "group", 0));
                f.density = float(Reader::Real(ph, "density", 0.5));
                f.restitution = float(Reader::Real(ph, "restitution", 0.1));
                f.linearDamping = float(Reader::Real(ph, "linear_damping", 0.1));
                f.angularDamping = float(Reader::Real(ph, "angular_damping", 0.1));
                f.friction = float(Reader::Real(ph, "friction", 0.2));
                json_object* points = Reader::Get(ph, "points");
                for (size_t k = 0; k < Reader::Count(points); ++k) {
                    json_object* pt = Reader::At(points, k);
                    if (Reader::Count(pt) != 2) {
                        error = "object " + ob.name + ": a physics point is [x, y]";
                        return false;
                    }
                    f.points.push_back(float(json_object_get_double(Reader::At(pt, 0))));
                    f.points.push_back(float(json_object_get_double(Reader::At(pt, 1))));
                }
            }
            json_object* evs = Reader::Get(o, "events");
            for (size_t k = 0; k < Reader::Count(evs); ++k) {
                json_object* e = Reader::At(evs, k);
                PackEvent ev;
                ev.type = EventType(Reader::Get(e, "type"));
                if (ev.type < 0 || ev.type > 11) {
                    error = "object " + ob.name + ": unknown event type";
                    return false;
                }
                json_object* number = Reader::Get(e, "number");
                if (number && json_object_is_type(number, json_type_string))
                    ob.collisionNames.emplace_back(ob.events.size(), json_object_get_string(number));
                else
                    ev.number = int32_t(Reader::Int(e, "number", 0));
                if (ev.number < 0 || ev.number > 65535) {
                    error = "object " + ob.name + ": event number out of range";
                    return false;
                }
                if (!r.Code(e, ev.code, "object " + ob.name)) return false;
                ob.events.push_back(ev);
            }
            p.objects.push_back(std::move(ob));
        }
        a = Reader::Get(root, "rooms");
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = Reader::At(a, i);
            PackRoom rm;
            rm.name = Reader::Text(o, "name");
            rm.caption = Reader::Text(o, "caption");
            rm.width = int32_t(Reader::Int(o, "width", 640));
            rm.height = int32_t(Reader::Int(o, "height", 480));
            rm.speed = int32_t(Reader::Int(o, "speed", 30));
            rm.persistent = Reader::Bool(o, "persistent", false);
            rm.colour = uint32_t(Reader::Int(o, "colour", 0));
            rm.showColour = Reader::Bool(o, "show_colour", true);
            rm.viewsEnabled = Reader::Bool(o, "views_enabled", false);
            rm.physics = Reader::Bool(o, "physics", false);
            rm.gravityX = float(Reader::Real(o, "gravity_x", 0));
            rm.gravityY = float(Reader::Real(o, "gravity_y", 10));
            rm.pixelsToMetres = float(Reader::Real(o, "pixels_to_metres", 0.1));
            if (!r.Code(o, rm.code, "room " + rm.name)) return false;
            json_object* bgs = Reader::Get(o, "backgrounds");
            for (size_t k = 0; k < Reader::Count(bgs) && k < 8; ++k) {
                json_object* b = Reader::At(bgs, k);
                PackRoomBackground rb;
                rb.visible = int32_t(Reader::Int(b, "visible", 1));
                rb.foreground = int32_t(Reader::Int(b, "foreground", 0));
                rb.backgroundName = Reader::Text(b, "background");
                rb.x = int32_t(Reader::Int(b, "x", 0));
                rb.y = int32_t(Reader::Int(b, "y", 0));
                rb.htiled = int32_t(Reader::Int(b, "htiled", 1));
                rb.vtiled = int32_t(Reader::Int(b, "vtiled", 1));
                rb.hspeed = int32_t(Reader::Int(b, "hspeed", 0));
                rb.vspeed = int32_t(Reader::Int(b, "vspeed", 0));
                rb.stretch = int32_t(Reader::Int(b, "stretch", 0));
                rm.backgrounds.push_back(rb);
            }
            json_object* views = Reader::Get(o, "views");
            static const char* viewKeys[14] = {"visible", "x", "y", "width", "height", "port_x", "port_y", "port_width",
                                               "port_height", "hborder", "vborder", "hspeed", "vspeed", "follow"};
            for (size_t k = 0; k < Reader::Count(views) && k < 8; ++k) {
                json_object* v = Reader::At(views, k);
                PackRoomView rv;
                for (int f = 0; f < 13; ++f) rv.v[f] = int32_t(Reader::Int(v, viewKeys[f], rv.v[f]));
                rv.followName = Reader::Text(v, "follow");
                rm.views.push_back(rv);
            }
            json_object* insts = Reader::Get(o, "instances");
            for (size_t k = 0; k < Reader::Count(insts); ++k) {
                json_object* in = Reader::At(insts, k);
                PackInstance pi;
                pi.objectName = Reader::Text(in, "object");
                pi.x = int32_t(Reader::Int(in, "x", 0));
                pi.y = int32_t(Reader::Int(in, "y", 0));
                pi.xScale = float(Reader::Real(in, "xscale", 1));
                pi.yScale = float(Reader::Real(in, "yscale", 1));
                pi.rotation = float(Reader::Real(in, "rotation", 0));
                pi.colour = uint32_t(Reader::Int(in, "colour", 0xFFFFFFFF));
                if (!r.Code(in, pi.code, "room " + rm.name)) return false;
                rm.instances.push_back(pi);
            }
            json_object* tiles = Reader::Get(o, "tiles");
            for (size_t k = 0; k < Reader::Count(tiles); ++k) {
                json_object* t = Reader::At(tiles, k);
                PackTile pt;
                pt.backgroundName = Reader::Text(t, "background");
                pt.x = int32_t(Reader::Int(t, "x", 0));
                pt.y = int32_t(Reader::Int(t, "y", 0));
                pt.left = int32_t(Reader::Int(t, "left", 0));
                pt.top = int32_t(Reader::Int(t, "top", 0));
                pt.width = int32_t(Reader::Int(t, "width", 0));
                pt.height = int32_t(Reader::Int(t, "height", 0));
                pt.depth = int32_t(Reader::Int(t, "depth", 1000000));
                pt.xScale = float(Reader::Real(t, "xscale", 1));
                pt.yScale = float(Reader::Real(t, "yscale", 1));
                pt.colour = uint32_t(Reader::Int(t, "colour", 0xFFFFFFFF));
                rm.tiles.push_back(pt);
            }
            p.rooms.push_back(std::move(rm));
        }
        a = Reader::Get(root, "room_order");
        for (size_t i = 0; i < Reader::Count(a); ++i) p.roomOrderNames.push_back(json_object_get_string(Reader::At(a, i)));

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
        }
        int32_t instanceId = p.lastInstanceId, tileId = p.lastTileId;
        for (PackRoom& rm : p.rooms) {
            for (PackRoomBackground& b : rm.backgrounds)
                if (!need(Resolve(p.backgrounds, b.backgroundName, b.background), "room " + rm.name, b.backgroundName)) return false;
            for (PackRoomView& v : rm.views)
                if (!need(Resolve(p.objects, v.followName, v.v[13]), "room " + rm.name, v.followName)) return false;
            for (PackInstance& in : rm.instances) {
                if (!need(Resolve(p.objects, in.objectName, in.object) && in.object >= 0, "room " + rm.name, in.objectName))
                    return false;
                in.id = ++instanceId;
            }
            for (PackTile& t : rm.tiles) {
                if (!need(Resolve(p.backgrounds, t.backgroundName, t.background), "room " + rm.name, t.backgroundName))
                    return false;
                t.id = ++tileId;
            }
        }
        p.lastInstanceId = instanceId;
        p.lastTileId = tileId;
        if (p.roomOrderNames.empty())
            for (size_t i = 0; i < p.rooms.size(); ++i) p.roomOrder.push_back(int32_t(i));
        for (const std::string& name : p.roomOrderNames) {
            int32_t index = -1;
            if (!need(Resolve(p.rooms, name, index) && index >= 0, "room_order", name)) return false;
            p.roomOrder.push_back(index);
        }
        return true;
    }();
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
