// Reads the packer's manifest (JSON, through json-c) and everything it names: ZBL sources,
// PNG images (strips or frames), TrueType fonts. Names of resources are resolved to indexes
// here. See docs/gamepack.md for the format.
//
// Nothing the manifest says is dropped without a word: a key the packer does not know, an
// event given twice, an event without code, a value out of the range the runner's loaders
// accept are refused with a message that names the resource, the key and the file.
#include <json-c/json.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "Files/Code/Code_Constant.h"
#include "Files/Object/Event.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Sprite/Sprite_Main.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"
#include "Platform/NameIndex.h"

namespace {

// Reads typed values; the first value of the wrong kind or out of its range is remembered in
// bad (with where it was met), and the parse stops at the next check. A value may be missing
// (its default is used) but never of another kind: a manifest is refused rather than read
// as something its author did not write.
//
// A refusal names the place of the value refused: where the reading stands ("room rm,
// instances[2]"), then the value's key ("\"x\"") or its element of a list ("origin[1]").
struct Reader {
    const std::string& base;
    std::string& error;
    std::vector<std::string>& inputs;
    std::string where; // the place being read, its parts joined by ", "; only a Place changes it
    std::string bad;   // the first value refused

    // One part of the place being read for as long as it lives (a resource, an element of one
    // of its lists, an object under a key); the place it was entered from comes back at its
    // end, so no refusal names a place read before it.
    class Place {
    public:
        Place(Reader& r, const std::string& part) : m_r(r), m_outer(r.where) { Name(part); }
        ~Place() { m_r.where = m_outer; }
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;
        // What the part is called once it is known ("rooms[2]" becomes "room rm").
        void Name(const std::string& part) { m_r.where = m_outer.empty() ? part : m_outer + ", " + part; }

    private:
        Reader& m_r;
        const std::string m_outer;
    };

    // A value in messages: by its key, or as element i of a list.
    static std::string Key(const char* key) { return "\"" + std::string(key) + "\""; }
    static std::string Element(const std::string& list, size_t i) { return list + "[" + std::to_string(i) + "]"; }

    std::string Path(const std::string& name) const
    {
        if (name.empty() || name[0] == '/') return name;
        return base.empty() ? name : base + "/" + name;
    }

    void Fail(const std::string& what)
    {
        if (bad.empty()) bad = (where.empty() ? std::string() : where + ": ") + what;
    }
    void Bad(const char* key, const std::string& what) { Refuse(Key(key), what); }
    void Refuse(const std::string& value, const std::string& what) { Fail(value + " " + what); }

    static json_object* Get(json_object* o, const char* key)
    {
        json_object* v = nullptr;
        return o && json_object_is_type(o, json_type_object) && json_object_object_get_ex(o, key, &v) ? v : nullptr;
    }
    static bool Given(json_object* o, const char* key)
    {
        json_object* v = Get(o, key);
        return v && !json_object_is_type(v, json_type_null);
    }
    static std::string Shown(json_object* v) { return json_object_to_json_string_ext(v, JSON_C_TO_STRING_PLAIN); }

    // A key that is none of the known ones is refused: a misspelt key would otherwise leave
    // its value at the default without a word.
    void Keys(json_object* o, std::initializer_list<const char*> known)
    {
        if (!o || !json_object_is_type(o, json_type_object)) return;
        json_object_object_foreach(o, key, value)
        {
            (void)value;
            bool found = false;
            for (const char* k : known) found = found || std::strcmp(k, key) == 0;
            if (found) continue;
            std::string list;
            for (const char* k : known) list += (list.empty() ? "" : ", ") + std::string(k);
            Fail("unknown key \"" + std::string(key) + "\" (the keys here are " + list + ")");
            return;
        }
    }

    // A whole number from lo to hi. A fraction is refused (a time of 1.5 is not a time step),
    // except where cut says a position or size in pixels is read: there it is cut to its whole
    // part (10.5 is 10), as hand-written projects have always been read.
    int64_t IntOf(json_object* v, const std::string& value, int64_t def, int64_t lo, int64_t hi, bool cut = false)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        const std::string range = "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
        int64_t n = 0;
        if (json_object_is_type(v, json_type_int)) {
            n = json_object_get_int64(v);
            // json-c holds integers past the 64-bit range at its ends.
            if (n == INT64_MAX || n == INT64_MIN) n = n == INT64_MAX ? hi + (hi < INT64_MAX) : lo - (lo > INT64_MIN);
        } else if (json_object_is_type(v, json_type_double)) {
            const double d = json_object_get_double(v);
            if (!(d > double(lo) - 1.0 && d < double(hi) + 1.0) || (!cut && d != std::trunc(d))) {
                Refuse(value, "is " + Shown(v) + "; it " + range);
                return def;
            }
            n = int64_t(d);
        } else {
            Refuse(value, "is " + Shown(v) + "; it must be a number");
            return def;
        }
        if (n < lo || n > hi) {
            Refuse(value, "is " + Shown(v) + "; it " + range);
            return def;
        }
        return n;
    }
    int64_t Int(json_object* o, const char* key, int64_t def, int64_t lo = INT32_MIN, int64_t hi = INT32_MAX)
    {
        return IntOf(Get(o, key), Key(key), def, lo, hi);
    }
    // A position or size in pixels: a fraction is cut to its whole part.
    int32_t Pixels(json_object* o, const char* key, int32_t def, int32_t lo = INT32_MIN, int32_t hi = INT32_MAX)
    {
        return int32_t(IntOf(Get(o, key), Key(key), def, lo, hi, true));
    }
    // A colour or flag word: any 32-bit pattern, written as signed or unsigned.
    uint32_t Word(json_object* o, const char* key, uint32_t def) { return uint32_t(Int(o, key, def, INT32_MIN, UINT32_MAX)); }
    double RealOf(json_object* v, const std::string& value, double def)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        if (!json_object_is_type(v, json_type_int) && !json_object_is_type(v, json_type_double)) {
            Refuse(value, "is " + Shown(v) + "; it must be a number");
            return def;
        }
        const double d = json_object_get_double(v);
        if (!(d >= -3.4e38 && d <= 3.4e38)) {
            Refuse(value, "must be a number within the range of a 32-bit float");
            return def;
        }
        return d;
    }
    double Real(json_object* o, const char* key, double def) { return RealOf(Get(o, key), Key(key), def); }
    // An instance's or tile's "colour" (a plain colour, white by default) and "alpha" (0 to 1,
    // 1 by default) as the room record holds them: the alpha's 0..255 in the top byte. A colour
    // with a top byte would take the alpha's place ("colour": 255 is red, never see-through).
    uint32_t Blend(json_object* o)
    {
        const bool fresh = bad.empty();
        const uint32_t colour = uint32_t(Int(o, "colour", 0xFFFFFF, 0, 0xFFFFFF));
        if (fresh && !bad.empty()) bad += " (blue * 65536 + green * 256 + red); the opacity is \"alpha\", 0 to 1";
        const double alpha = Real(o, "alpha", 1);
        if (bad.empty() && !(alpha >= 0 && alpha <= 1)) Bad("alpha", "is " + Shown(Get(o, "alpha")) + "; it must be 0 to 1");
        return uint32_t(std::lround(alpha * 255)) << 24 | colour;
    }
    // true or false; 1 and 0 stand for them too (no other number).
    bool Bool(json_object* o, const char* key, bool def)
    {
        json_object* v = Get(o, key);
        if (!v || json_object_is_type(v, json_type_null)) return def;
        if (json_object_is_type(v, json_type_boolean)) return json_object_get_boolean(v) != 0;
        if (json_object_is_type(v, json_type_int) && (json_object_get_int64(v) == 0 || json_object_get_int64(v) == 1))
            return json_object_get_int64(v) == 1;
        Bad(key, "is " + Shown(v) + "; it must be true or false");
        return def;
    }
    // A text; a zero byte inside would cut it short where it is written, so it is refused.
    std::string TextOf(json_object* v, const std::string& value, const std::string& def)
    {
        if (!v || json_object_is_type(v, json_type_null)) return def;
        if (!json_object_is_type(v, json_type_string)) {
            Refuse(value, "must be a text");
            return def;
        }
        std::string text(json_object_get_string(v), size_t(json_object_get_string_len(v)));
        if (text.find('\0') != std::string::npos) {
            Refuse(value, "holds a zero byte");
            return def;
        }
        return text;
    }
    std::string Text(json_object* o, const char* key, const std::string& def = "") { return TextOf(Get(o, key), Key(key), def); }
    // A resource's name: present, and one that code can write (letters, digits and "_", not a
    // digit first): "obj-a" in code is obj - a, and a letter outside A to Z ends a name early.
    // The resource's place (its element of the list) is then called by its kind and name.
    std::string Name(json_object* o, Place& at, const std::string& kind)
    {
        std::string name = Text(o, "name");
        if (name.empty() && bad.empty()) Bad("name", "is missing");
        else if (bad.empty() && !Code_Constant_IsValidName(name.c_str()))
            Bad("name", "is \"" + name + "\", which code cannot write: a name is letters (A to Z, a to z), digits and \"_\", "
                        "and does not begin with a digit");
        if (bad.empty()) at.Name(kind + " " + name);
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
    // One of the project's own lists ("sprites", "rooms"...), refused naming the list itself.
    // False when refused.
    bool TopList(json_object* root, const char* key, json_object*& list)
    {
        list = List(root, key);
        return bad.empty();
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
    // Element i of a list of records: an object, or refused.
    json_object* Entry(json_object* a, size_t i, const char* list)
    {
        json_object* o = At(a, i);
        if (!o || !json_object_is_type(o, json_type_object)) Refuse(Element(list, i), "must be an object ({...})");
        return o;
    }

    // A piece of ZBL: "code" (inline text) or "file" (a .zbl file), never both; required
    // pieces (scripts, events, moments) must give one.
    bool Code(json_object* o, PackCode& code, const std::string& owner, bool required)
    {
        code.owner = owner;
        const bool hasFile = Given(o, "file"), hasCode = Given(o, "code");
        if (hasFile && hasCode) {
            Fail("both \"file\" and \"code\" are given; give one");
        } else if (hasFile) {
            code.file = Text(o, "file");
            if (!bad.empty()) return false;
            if (code.file.empty()) Bad("file", "is empty");
            else if (std::string why; !GamePack_ReadFile(Path(code.file), code.text, why))
                Fail("cannot read the ZBL file " + Path(code.file) + ": " + why);
            // Bytes that are not UTF-8 would reach the game as other characters than the
            // author saw ("café" as "caf\xE9"), and UTF-16 is no text the compiler reads.
            else if (std::string problem = GamePack_TextEncodingProblem(code.text); !problem.empty())
                Fail("the ZBL file " + Path(code.file) + " " + problem);
            inputs.push_back(Path(code.file));
            code.present = true;
        } else if (hasCode) {
            code.text = Text(o, "code");
            code.present = true;
        } else if (required) {
            Fail("has neither \"file\" nor \"code\" (empty code is \"code\": \"\")");
        }
        return bad.empty();
    }

    bool Image(const std::string& name, PackImage& image)
    {
        if (name.empty()) {
            Fail("no \"image\"");
            return false;
        }
        std::string why;
        inputs.push_back(Path(name));
        if (!GamePack_ReadPng(Path(name), image, why)) {
            Fail(why);
            return false;
        }
        return true;
    }
};

const char* const kEventTypeNames[] = {"create", "destroy", "alarm",   "step",     "collision",  "keyboard",
                                       "mouse",  "other",   "draw",    "keypress", "keyrelease", "trigger"};
constexpr int32_t kNamedEventTypes = 11; // "trigger" (11) is given by its number

// An event's type: a number 0..11 or a name; -1 when it is neither.
int32_t EventType(json_object* v)
{
    if (v && json_object_is_type(v, json_type_int)) {
        int64_t n = json_object_get_int64(v);
        return n >= 0 && n < OBJECT_EVENT_TYPES ? int32_t(n) : -1;
    }
    if (!v || !json_object_is_type(v, json_type_string)) return -1;
    const char* s = json_object_get_string(v);
    for (int32_t i = 0; i < kNamedEventTypes; ++i)
        if (std::strcmp(s, kEventTypeNames[i]) == 0) return i;
    return -1;
}

// "step event 1", "create event", "collision event with obj_wall": an event in messages.
std::string EventLabel(int32_t type, int32_t number, const std::string& other)
{
    const std::string name = kEventTypeNames[type];
    if (type == EVENT_COLLISION) return "collision event with " + (other.empty() ? "object " + std::to_string(number) : other);
    if (type >= kNamedEventTypes) return "event " + std::to_string(number) + " of type " + std::to_string(type);
    if (number == 0 && (type == EVENT_CREATE || type == EVENT_DESTROY || type == EVENT_DRAW)) return name + " event";
    return name + " event " + std::to_string(number);
}

// Whether the runner runs an event of this type and number by itself: the run loop's dispatch
// (create and destroy 0; alarms 0 to 11; step, begin and end step; keys 0 no key, 1 any key,
// 8 to 255; the mouse's buttons, its enter and leave, the global buttons, the wheel and the
// gamepads' sticks and buttons; draw and draw GUI; the other events the run loop, the room
// changes and the asynchronous deliveries perform) and event_user's user events (other 10 to
// 25). A collision event's number is an object. The twelfth list (type 11) the run loop never
// runs. Every other event of number 0 to 255 (all the object record keeps) runs only when the
// game's code asks for it with event_perform or event_perform_object.
bool Dispatched(int32_t type, int32_t n)
{
    auto in = [n](int32_t lo, int32_t hi) { return n >= lo && n <= hi; };
    switch (type) {
    case EVENT_CREATE:
    case EVENT_DESTROY: return n == 0;
    case EVENT_ALARM: return in(0, 11);
    case EVENT_STEP: return in(0, 2);
    case EVENT_KEYBOARD:
    case EVENT_KEYPRESS:
    case EVENT_KEYRELEASE: return in(0, 1) || in(8, 255);
    case EVENT_MOUSE: return in(0, 13) || in(16, 19) || in(21, 28) || in(31, 34) || in(36, 43) || in(50, 58) || in(60, 61);
    case EVENT_OTHER:
        return in(EV_OUTSIDE, EV_USER0 + 15) || in(EV_OUTSIDE_VIEW0, EV_OUTSIDE_VIEW0 + 7) ||
               in(EV_BOUNDARY_VIEW0, EV_BOUNDARY_VIEW0 + 7) || in(60, 64) || n == 66 || n == 67 || n == 69;
    case EVENT_DRAW: return n == 0 || n == 64;
    case EVENT_COLLISION: return true;
    default: return false;
    }
}

// The numbers an event type takes, for messages.
std::string EventNumbers(int32_t type)
{
    const std::string name = kEventTypeNames[type];
    switch (type) {
    case EVENT_CREATE:
    case EVENT_DESTROY: return "a " + name + " event's number is 0";
    case EVENT_ALARM: return "an alarm event's number is the alarm, 0 to 11";
    case EVENT_STEP: return "a step event's number is 0 (step), 1 (begin step) or 2 (end step)";
    case EVENT_KEYBOARD:
    case EVENT_KEYPRESS:
    case EVENT_KEYRELEASE: return "a " + name + " event's number is a key code: 0 (no key), 1 (any key) or 8 to 255 (vk_left is 37, A is 65)";
    case EVENT_MOUSE:
        return "a mouse event's number is 0 to 13 (the buttons, pressed, released, enter, leave, any pressed or released), "
               "16 to 19, 21 to 28, 31 to 34, 36 to 43 (gamepads), 50 to 58 (global buttons), 60 or 61 (the wheel)";
    case EVENT_OTHER:
        return "an other event's number is 0 to 9 (outside room, boundary, game start and end, room start and end, no more "
               "lives, animation end, end of path, no more health), 10 to 25 (user events), 40 to 47, 50 to 57 (outside and "
               "boundary of views), 60 to 64, 66, 67 or 69 (asynchronous)";
    case EVENT_DRAW: return "a draw event's number is 0 (draw) or 64 (draw GUI)";
    default: return "it runs no event of the twelfth list";
    }
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

// Names of one kind of resource to their indexes, one hashed look-up each (a game of many
// objects names them in every room). The first of a repeated name wins, as Resolve finds it.
class NameTable {
public:
    template <class T>
    explicit NameTable(const std::vector<T>& items)
    {
        m_index.Reserve(items.size());
        for (size_t i = 0; i < items.size(); ++i) m_index.Add(items[i].name.c_str(), int32_t(i));
    }
    // The index of name, -1 for ""; false when the name is unknown.
    bool Resolve(const std::string& name, int32_t& index) const
    {
        index = name.empty() ? -1 : m_index.Find(name.c_str());
        return name.empty() || index >= 0;
    }

private:
    NameIndex m_index{NameIndex::kUntracked};
};

// The kind of resource a name belongs to ("" for none), for messages about names of the wrong
// kind.
std::string KindOf(const PackProject& p, const std::string& name)
{
    int32_t i = -1;
    if (Resolve(p.scripts, name, i) && i >= 0) return "script";
    if (Resolve(p.sprites, name, i) && i >= 0) return "sprite";
    if (Resolve(p.backgrounds, name, i) && i >= 0) return "background";
    if (Resolve(p.fonts, name, i) && i >= 0) return "font";
    if (Resolve(p.paths, name, i) && i >= 0) return "path";
    if (Resolve(p.timelines, name, i) && i >= 0) return "time line";
    if (Resolve(p.objects, name, i) && i >= 0) return "object";
    if (Resolve(p.rooms, name, i) && i >= 0) return "room";
    return "";
}

const std::map<std::string, int> kOptionNames = {
    {"fullscreen", 0}, {"new_audio", 2}, {"cursor", 4}, {"window_colour", 8}, {"set_display", 9},
    {"colour_depth", 10}, {"resolution", 11}, {"frequency", 12}, {"alt_enter", 15},
    {"freeze_on_lost_focus", 22}, {"abort_on_all_errors", 32}, {"uninitialised_zero", 33},
    {"create_event_first", 34},
};
// Option word 26 is a file offset the runner checks against the file; the packer keeps it 0.
constexpr int kOptionFileOffsetWord = 26;

// An option word: any 32-bit pattern, or true and false for 1 and 0 (most options are switches).
int64_t OptionWord(Reader& r, json_object* v, const char* key)
{
    if (json_object_is_type(v, json_type_boolean)) return json_object_get_boolean(v) ? 1 : 0;
    if (!json_object_is_type(v, json_type_int) && !json_object_is_type(v, json_type_double)) {
        r.Bad(key, "is " + Reader::Shown(v) + "; it must be a number, or true or false");
        return 0;
    }
    return r.IntOf(v, Reader::Key(key), 0, INT32_MIN, UINT32_MAX);
}

// A constant's JSON number spelt as ZBL reads it to the same value, or why it cannot be. ZBL's
// numbers are 64-bit floating point: a whole number past 2^53 that is no such number (2^53 + 1
// is none) would play as its nearest neighbour, so it is refused rather than rounded.
std::string ConstantNumber(json_object* v, std::string& spelling)
{
    double value = json_object_get_double(v);
    if (json_object_is_type(v, json_type_int)) {
        // The manifest's whole numbers are read in 64 bits (CheckJsonText refuses longer ones).
        const int64_t n = json_object_get_int64(v);
        value = double(n);
        if (value >= 9223372036854775808.0 || int64_t(value) != n) {
            char nearest[32];
            std::snprintf(nearest, sizeof nearest, "%.0f", value);
            return "a whole number that ZBL cannot hold: its numbers are 64-bit floating point, every whole number up "
                   "to 9007199254740992 (2^53) and fewer past it, so the game would read " +
                   std::string(nearest) + "; give a number ZBL holds, or the digits as a text (\"\\\"" + Reader::Shown(v) + "\\\"\")";
        }
    }
    if (std::string why; !GamePack_ZblNumber(value, spelling, &why))
        return "which " + why + "; give a nearby number, or the value as a text of ZBL";
    return "";
}

// A tile's region within its background's image: a size left out is the rest of the image
// from left and top; a region that leaves the image would draw pixels of whatever else lies on
// its texture page.
bool TileRegion(const PackProject& p, PackTile& t, const std::string& where, std::string& error)
{
    if (t.background < 0) {
        if (t.width < 0) t.width = 0;
        if (t.height < 0) t.height = 0;
        return true;
    }
    const PackBackground& b = p.backgrounds[size_t(t.background)];
    const int32_t w = b.image.width, h = b.image.height;
    const std::string given = (t.width >= 0 ? ", width " + std::to_string(t.width) : std::string()) +
                              (t.height >= 0 ? ", height " + std::to_string(t.height) : std::string());
    if (t.width < 0) t.width = w - t.left;
    if (t.height < 0) t.height = h - t.top;
    if (t.width >= 1 && t.height >= 1 && int64_t(t.left) + t.width <= w && int64_t(t.top) + t.height <= h) return true;
    error = where + ": its region (left " + std::to_string(t.left) + ", top " + std::to_string(t.top) + given +
            ") leaves background " + b.name + ", which is " + std::to_string(w) + " x " + std::to_string(h) +
            " pixels; a tile shows a part of its background (left + width at most " + std::to_string(w) +
            ", top + height at most " + std::to_string(h) + "), and past it lie other pictures of the texture page";
    return false;
}

// An image's frame count: 1 to the strip's width, so that no frame is empty, and a count that
// divides the width, so that no column of the strip is dropped.
bool StripFrames(Reader& r, json_object* o, const PackImage& strip, int32_t& n)
{
    n = int32_t(r.Int(o, "frames", 1, 1, INT32_MAX));
    if (!r.bad.empty()) return false;
    if (n > strip.width) {
        r.Bad("frames", "is " + std::to_string(n) + "; it must be at most the image's width (" + std::to_string(strip.width) + ")");
        return false;
    }
    if (strip.width % n != 0) {
        r.Bad("frames", "is " + std::to_string(n) + ", which does not divide the image's width of " + std::to_string(strip.width) +
                            " pixels (frames of " + std::to_string(strip.width / n) + " would leave " +
                            std::to_string(strip.width % n) + " columns out)");
        return false;
    }
    return true;
}

// Two resources of any kind may not share a name: scripts find resources by name, and only the
// first of two would ever be found. A game constant of a resource's name would never be found.
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
    for (const auto& [name, value] : p.constants) if (!add(name, "constant")) return false;
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

// Line and column (from 1, columns in characters) of a byte offset of the text.
std::string LineAndColumn(const std::string& text, size_t offset)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((uint8_t(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// What a syntax error at offset at is, where json-c's own words would not say: a comment, a
// text in single quotes or a comma after the last item (JSON has none of them).
std::string SyntaxError(const std::string& text, size_t& at, const char* otherwise)
{
    if (at < text.size() && text[at] == '/') return "a comment (JSON has no comments)";
    if (at < text.size() && text[at] == '\'') return "a text in single quotes (JSON texts are in double quotes)";
    if (at < text.size() && at > 0 && (text[at] == '}' || text[at] == ']')) {
        const size_t before = text.find_last_not_of(" \t\r\n", at - 1);
        if (before != std::string::npos && text[before] == ',') {
            at = before;
            return "a comma after the last item (JSON has none there)";
        }
    }
    return otherwise;
}

// Appends code point cp as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The four hex digits at text[at..at + 3], or -1.
int32_t Hex4(const std::string& text, size_t at)
{
    if (at + 4 > text.size()) return -1;
    int32_t v = 0;
    for (size_t k = at; k < at + 4; ++k) {
        const char c = text[k];
        const int32_t d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The JSON text json-c has read (text[0..end)), checked for what json-c lets pass even when
// strict: the same key twice in one object (json-c keeps the last, so the first would be lost
// without a word), null (a key left out takes its default; null stands for nothing), texts in
// single quotes, NaN and Infinity, control characters inside a text.
bool CheckJsonText(const std::string& text, size_t end, std::string& error)
{
    struct Open {
        bool object;
        std::map<std::string, size_t> keys; // key, offset of its first writing
        std::string key;                    // the key being read
    };
    std::vector<Open> open;
    bool wantKey = false;
    auto fail = [&](size_t at, const std::string& what) {
        error = "the manifest is not valid JSON at " + LineAndColumn(text, at) + ": " + what;
        return false;
    };
    auto line = [&](size_t at) {
        const std::string lc = LineAndColumn(text, at);
        return lc.substr(0, lc.find(','));
    };
    for (size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            open.push_back(Open{c == '{', {}, {}});
            wantKey = c == '{';
        } else if (c == '}' || c == ']') {
            if (!open.empty()) open.pop_back();
            wantKey = false;
        } else if (c == ',') {
            wantKey = !open.empty() && open.back().object;
        } else if (c == '"') {
            const size_t start = i;
            std::string s;
            for (++i; i < end && text[i] != '"'; ++i) {
                const uint8_t u = uint8_t(text[i]);
                if (u < 0x20) return fail(i, "a control character inside a text (write \\n, \\t or \\u00XX)");
                if (u != '\\') {
                    s += char(u);
                    continue;
                }
                const char e = ++i < end ? text[i] : '\0';
                switch (e) {
                case 'b': s += '\b'; break;
                case 'f': s += '\f'; break;
                case 'n': s += '\n'; break;
                case 'r': s += '\r'; break;
                case 't': s += '\t'; break;
                case 'u': {
                    int32_t cp = Hex4(text, i + 1);
                    if (cp < 0) return fail(i, "\\u needs four hex digits");
                    i += 4;
                    const int32_t low = cp >= 0xD800 && cp < 0xDC00 && i + 2 < end && text[i + 1] == '\\' && text[i + 2] == 'u'
                                            ? Hex4(text, i + 3)
                                            : -1;
                    if (low >= 0xDC00 && low < 0xE000) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    } else if (cp >= 0xD800 && cp < 0xE000) {
                        // Half of a UTF-16 pair is no character: json-c would make it U+FFFD.
                        return fail(i - 5, "\\u" + text.substr(i - 3, 4) + " is half of a UTF-16 surrogate pair without " +
                                               "its other half, which is no character; write the character itself, or " +
                                               "both halves (\\ud83d\\ude00)");
                    }
                    AppendUtf8(s, uint32_t(cp));
                    break;
                }
                default: s += e; break; // \" \\ \/
                }
            }
            if (wantKey && !open.empty()) {
                auto [first, fresh] = open.back().keys.emplace(s, start);
                if (!fresh) {
                    error = "the manifest gives the key \"" + s + "\" twice in one object (" + line(first->second) + " and " +
                            line(start) + "); only one would be read";
                    return false;
                }
                open.back().key = s;
            }
            wantKey = false;
        } else if (c == '\'') {
            return fail(i, "a text in single quotes (JSON texts are in double quotes)");
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const size_t start = i;
            while (i + 1 < end && text[i + 1] && std::strchr("0123456789+-.eE", text[i + 1])) ++i;
            // json-c holds a whole number past the 64-bit range at the range's end, so it would
            // be shown and read as another number.
            // (Only 19 digits and more can pass it.)
            const bool whole = std::find_first_of(text.begin() + long(start), text.begin() + long(i) + 1, ".eE", ".eE" + 3) ==
                               text.begin() + long(i) + 1;
            const std::string number = whole && i + 1 - start >= 19 ? text.substr(start, i + 1 - start) : std::string();
            if (!number.empty()) {
                errno = 0;
                std::strtoll(number.c_str(), nullptr, 10);
                if (errno == ERANGE) {
                    const size_t digits = number.size() - (number[0] == '-');
                    const std::string shown = digits > 40 ? number.substr(0, 40) + "... (" + std::to_string(digits) + " digits)"
                                                          : number;
                    const bool inObject = !open.empty() && open.back().object;
                    error = "the manifest has the number " + shown + " at " + LineAndColumn(text, start) +
                            (inObject ? " (\"" + open.back().key + "\")" : std::string()) +
                            ", beyond the 64-bit range its whole numbers are read in (-9223372036854775808 to "
                            "9223372036854775807)";
                    return false;
                }
            }
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            size_t k = i;
            while (k < end && ((text[k] >= 'a' && text[k] <= 'z') || (text[k] >= 'A' && text[k] <= 'Z'))) ++k;
            const std::string word = text.substr(i, k - i);
            if (word == "null") {
                const bool inObject = !open.empty() && open.back().object;
                error = "the manifest has " + (inObject ? "\"" + open.back().key + "\": null" : std::string("null in a list")) +
                        " at " + LineAndColumn(text, i) + "; null is no value here: leave a key out for its default";
                return false;
            }
            if (word != "true" && word != "false") return fail(i, word + " is no JSON value");
            i = k - 1;
        }
    }
    return true;
}

// The manifest's JSON: one object, with its syntax errors placed by line and column. A leading
// UTF-8 byte-order mark is skipped. The JSON is read strictly: no comments, no comma after the
// last item, no key twice in one object, no null (see CheckJsonText), UTF-8 texts.
json_object* ParseJson(const std::string& json, std::string& error)
{
    const size_t start = json.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const std::string text = json.substr(start);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        error = "the manifest is empty: it must be a JSON object ({...})";
        return nullptr;
    }
    if (text.size() > size_t(INT32_MAX)) {
        error = "the manifest is too large";
        return nullptr;
    }
    json_tokener* tok = json_tokener_new();
    json_tokener_set_flags(tok, JSON_TOKENER_STRICT | JSON_TOKENER_ALLOW_TRAILING_CHARS | JSON_TOKENER_VALIDATE_UTF8);
    json_object* root = json_tokener_parse_ex(tok, text.c_str(), int(text.size()));
    const json_tokener_error jerr = json_tokener_get_error(tok);
    size_t end = json_tokener_get_parse_end(tok);
    json_tokener_free(tok);
    size_t after = text.find_first_not_of(" \t\r\n", end);
    if (jerr == json_tokener_continue) {
        error = "the manifest ends (" + LineAndColumn(text, text.size()) + ") before its JSON is complete";
    } else if (jerr != json_tokener_success || !root) {
        const std::string what = SyntaxError(text, end, json_tokener_error_desc(jerr));
        error = "the manifest is not valid JSON at " + LineAndColumn(text, end) + ": " + what;
    } else if (!json_object_is_type(root, json_type_object)) {
        error = std::string("the manifest must be a JSON object ({...}), not ") +
                (json_object_is_type(root, json_type_array) ? "a list" : "a single value");
    } else if (after != std::string::npos) {
        error = "the manifest has more text after its JSON object, at " + LineAndColumn(text, after) +
                (text[after] == '/' ? " (a comment: JSON has no comments)" : "");
    } else if (CheckJsonText(text, end, error)) {
        return root;
    }
    if (root) json_object_put(root);
    return nullptr;
}

} // namespace

std::string GamePack_CodeWhere(const PackCode& code)
{
    return code.owner + (code.file.empty() ? " (inline code)" : " (file " + code.file + ")");
}

bool GamePack_ParseProject(const std::string& json, const std::string& baseFolder, PackProject& p, std::string& error)
{
    json_object* root = ParseJson(json, error);
    if (!root) return false;
    std::vector<std::string> inputs = std::move(p.inputs);
    p = PackProject();
    p.inputs = std::move(inputs);
    p.baseFolder = baseFolder;
    Reader r{baseFolder, error, p.inputs, "", ""};
    bool ok = [&]() -> bool {
        r.Keys(root, {"name", "config", "mode", "format_version", "debug", "game_id", "steam_app_id", "texture_page_size",
                      "window", "first_instance_id", "first_tile_id", "options", "constants", "scripts", "sprites",
                      "backgrounds", "fonts", "paths", "timelines", "objects", "rooms", "room_order"});
        p.name = r.Text(root, "name", "Game");
        // The name is also the folder of the game's save area (its INI files, screenshots, saved
        // games): the runner makes "/" and "\" into "_", and a longer name is no folder at all.
        if (r.bad.empty() && (p.name.empty() || p.name == "." || p.name == ".." || p.name.size() > NAME_MAX ||
                              p.name.find_first_of("/\\") != std::string::npos)) {
            const std::string shown = p.name.size() > 40 ? p.name.substr(0, 40) + "...\" (" + std::to_string(p.name.size()) + " bytes)"
                                                         : p.name + "\"";
            r.Bad("name", "is \"" + shown + "; it names the game's save area folder, so it is not empty, \".\" or \"..\", "
                              "has no \"/\" or \"\\\" and at most " + std::to_string(NAME_MAX) + " bytes");
        }
        p.config = r.Text(root, "config", "Default");
        std::string mode = r.Text(root, "mode", "source");
        if (r.bad.empty() && mode != "source" && mode != "bytecode") r.Bad("mode", "is \"" + mode + "\"; it must be \"source\" or \"bytecode\"");
        p.byteCode = mode == "bytecode";
        p.formatVersion = uint8_t(r.Int(root, "format_version", 13, 8, 13));
        p.debug = r.Bool(root, "debug", false);
        p.gameId = int32_t(r.Int(root, "game_id", 0));
        p.steamAppId = int32_t(r.Int(root, "steam_app_id", 0, 0, INT32_MAX));
        p.pageSize = int32_t(r.Int(root, "texture_page_size", 1024, 64, 8192));
        json_object* window = r.Object(root, "window");
        {
            Reader::Place at(r, "window");
            r.Keys(window, {"width", "height", "flags", "caption"});
            p.windowWidth = r.Pixels(window, "width", 800, 1, 16384);
            p.windowHeight = r.Pixels(window, "height", 480, 1, 16384);
            p.infoFlags = r.Word(window, "flags", 0);
            p.caption = r.Text(window, "caption", p.name);
        }
        p.lastInstanceId = int32_t(r.Int(root, "first_instance_id", 100000, 0, INT32_MAX));
        // Code reads a number below 100000 as an object's index, so no instance can have one. The
        // first instance gets first_instance_id + 1.
        if (r.bad.empty() && int64_t(p.lastInstanceId) + 1 < OBJECT_MAX_COUNT)
            r.Bad("first_instance_id", "is " + std::to_string(p.lastInstanceId) + ", so the first instance would be " +
                                           std::to_string(p.lastInstanceId + 1) + "; instance ids are " +
                                           std::to_string(OBJECT_MAX_COUNT) + " and up (code reads a lower number as an "
                                           "object's index): give " + std::to_string(OBJECT_MAX_COUNT - 1) + " or more");
        p.lastTileId = int32_t(r.Int(root, "first_tile_id", 10000000, 0, INT32_MAX));
        if (!r.bad.empty()) return false;

        if (json_object* options = r.Object(root, "options")) {
            Reader::Place at(r, "options");
            json_object_object_foreach(options, key, value)
            {
                if (std::strcmp(key, "words") == 0) {
                    // Of another kind, "words" is refused (and nothing of it walked).
                    json_object* words = r.Object(options, "words");
                    if (!words) continue;
                    Reader::Place inWords(r, "words");
                    json_object_object_foreach(words, wkey, wvalue)
                    {
                        char* end = nullptr;
                        const long word = std::strtol(wkey, &end, 10);
                        if (!*wkey || *end || word < 0 || word > 34) {
                            r.Bad(wkey, "names no word; words are 0 to 34");
                            return false;
                        }
                        const int64_t v = OptionWord(r, wvalue, wkey);
                        if (r.bad.empty() && word == kOptionFileOffsetWord && v != 0) {
                            r.Bad(wkey, "is " + Reader::Shown(wvalue) + "; word 26 is the offset of a block in the game file, "
                                        "which the packer does not write: it must be 0");
                            return false;
                        }
                        p.optionWords[int(word)] = v;
                    }
                    continue;
                }
                auto it = kOptionNames.find(key);
                if (it == kOptionNames.end()) {
                    std::string list;
                    for (const auto& [name, word] : kOptionNames) list += name + ", ";
                    r.Fail(std::string("unknown option \"") + key + "\" (the options are " + list + "words)");
                    return false;
                }
                p.optionWords[it->second] = OptionWord(r, value, key);
            }
        }
        if (json_object* constants = r.Object(root, "constants")) {
            Reader::Place at(r, "constants");
            json_object_object_foreach(constants, key, value)
            {
                // The runner refuses to start a game with a constant of another name.
                if (!Code_Constant_IsValidName(key))
                    r.Fail("\"" + std::string(key) +
                           "\" is not a valid constant name (a letter or \"_\" first, then letters, digits and \"_\")");
                // A number is spelt as ZBL reads it to the same value ("SPEED": 4 is "4",
                // 2.5e-3 is "0.0025", 0.3 is "3 / 10": ZBL numbers have no exponent, and their
                // digits are summed as they come); true/false are the constants of those names.
                if (json_object_is_type(value, json_type_int) || json_object_is_type(value, json_type_double)) {
                    std::string spelling;
                    if (const std::string why = ConstantNumber(value, spelling); !why.empty()) {
                        r.Bad(key, "is " + Reader::Shown(value) + ", " + why);
                    } else {
                        p.constants.emplace_back(key, spelling);
                        p.numberConstants[key] = json_object_get_double(value);
                    }
                } else if (json_object_is_type(value, json_type_boolean)) {
                    p.constants.emplace_back(key, json_object_get_string(value));
                } else if (!json_object_is_type(value, json_type_string)) {
                    r.Bad(key, "must be a text or a number");
                } else {
                    p.constants.emplace_back(key, r.TextOf(value, Reader::Key(key), ""));
                }
            }
        }
        if (!r.bad.empty()) return false;

        json_object* a = nullptr;
        if (!r.TopList(root, "scripts", a)) return false;
        for (size_t i = 0; i < Reader::Count(a) && r.bad.empty(); ++i) {
            json_object* o = r.Entry(a, i, "scripts");
            Reader::Place at(r, Reader::Element("scripts", i));
            PackScript s;
            s.name = r.Name(o, at, "script");
            r.Keys(o, {"name", "file", "code"});
            if (r.bad.empty()) r.Code(o, s.code, "script " + s.name, true);
            p.scripts.push_back(s);
        }
        if (!r.bad.empty()) return false;
        if (!r.TopList(root, "sprites", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "sprites");
            Reader::Place at(r, Reader::Element("sprites", i));
            PackSprite s;
            s.name = r.Name(o, at, "sprite");
            r.Keys(o, {"name", "image", "images", "frames", "origin", "precise", "transparent", "smooth", "preload",
                       "bbox_mode", "bbox"});
            json_object* images = r.List(o, "images");
            if (r.bad.empty() && Reader::Given(o, "images") && (Reader::Given(o, "image") || Reader::Given(o, "frames")))
                r.Fail(std::string("\"images\" (one file a frame) and \"") + (Reader::Given(o, "image") ? "image" : "frames") +
                       "\" (a strip) are both given; give one");
            if (r.bad.empty() && images && Reader::Count(images) == 0)
                r.Bad("images", "is an empty list; give one PNG file a frame (or \"image\", a strip)");
            if (!r.bad.empty()) return false;
            if (Reader::Count(images)) {
                for (size_t k = 0; k < Reader::Count(images); ++k) {
                    PackImage img;
                    const std::string file = r.TextOf(Reader::At(images, k), Reader::Element("images", k), "");
                    if (!r.bad.empty() || !r.Image(file, img)) return false;
                    if (k && (img.width != s.frames[0].width || img.height != s.frames[0].height)) {
                        r.Fail("frames differ in size: " + file + " is " + std::to_string(img.width) + " x " +
                               std::to_string(img.height) + ", the first " + std::to_string(s.frames[0].width) + " x " +
                               std::to_string(s.frames[0].height));
                        return false;
                    }
                    s.frames.push_back(img);
                }
            } else {
                PackImage strip;
                if (!r.Image(r.Text(o, "image"), strip)) return false;
                int32_t n = 1;
                if (!StripFrames(r, o, strip, n)) return false;
                int32_t w = strip.width / n;
                for (int32_t k = 0; k < n; ++k) s.frames.push_back(GamePack_SubImage(strip, k * w, 0, w, strip.height));
            }
            // Each frame lies on a texture page whole, within the sprite loader's limit too.
            const int32_t fw = s.frames[0].width, fh = s.frames[0].height;
            const int32_t most = SPRITE_MAX_SIDE < PACK_MAX_PAGE_SIDE ? SPRITE_MAX_SIDE : PACK_MAX_PAGE_SIDE;
            if (fw > most || fh > most)
                r.Fail("its frames are " + std::to_string(fw) + " x " + std::to_string(fh) + " pixels; a sprite's frames are at most " +
                       std::to_string(most) + " pixels a side (a frame lies whole on one texture page)");
            json_object* origin = r.List(o, "origin");
            if (Reader::Count(origin) == 2) {
                s.xOrigin = int32_t(r.IntOf(Reader::At(origin, 0), Reader::Element("origin", 0), 0, INT32_MIN, INT32_MAX, true));
                s.yOrigin = int32_t(r.IntOf(Reader::At(origin, 1), Reader::Element("origin", 1), 0, INT32_MIN, INT32_MAX, true));
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
                if (Reader::Given(o, "bbox_mode") && s.bboxMode != 2)
                    r.Bad("bbox", "is a manual box, but \"bbox_mode\" is " + std::to_string(s.bboxMode) + " (2 is manual)");
                s.bboxMode = 2;
                for (int k = 0; k < 4; ++k)
                    s.bbox[k] = int32_t(r.IntOf(Reader::At(box, size_t(k)), Reader::Element("bbox", size_t(k)), 0, INT32_MIN,
                                                INT32_MAX, true));
                // Edges are inclusive: right = left is one pixel wide, right < left no box.
                if (r.bad.empty() && (s.bbox[2] < s.bbox[0] || s.bbox[3] < s.bbox[1]))
                    r.Bad("bbox", "is " + Reader::Shown(box) + "; its " +
                                      (s.bbox[2] < s.bbox[0] ? "right lies left of its left" : "bottom lies above its top") +
                                      " ([left, top, right, bottom], edges inclusive)");
            } else if (box) {
                r.Bad("bbox", "must be [left, top, right, bottom]");
            } else if (r.bad.empty() && s.bboxMode == 2) {
                r.Bad("bbox_mode", "is 2 (a manual box), but no \"bbox\" [left, top, right, bottom] is given");
            }
            if (!r.bad.empty()) return false;
            p.sprites.push_back(std::move(s));
        }
        if (!r.TopList(root, "backgrounds", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "backgrounds");
            Reader::Place at(r, Reader::Element("backgrounds", i));
            PackBackground b;
            b.name = r.Name(o, at, "background");
            r.Keys(o, {"name", "image", "transparent", "smooth", "preload"});
            if (!r.bad.empty() || !r.Image(r.Text(o, "image"), b.image)) return false;
            if (std::string why = GamePack_PageLimit(b.image.width, b.image.height); !why.empty()) r.Fail("its image of " + why);
            b.transparent = r.Bool(o, "transparent", false);
            b.smooth = r.Bool(o, "smooth", false);
            b.preload = r.Bool(o, "preload", true);
            if (!r.bad.empty()) return false;
            p.backgrounds.push_back(std::move(b));
        }
        if (!r.TopList(root, "fonts", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "fonts");
            Reader::Place at(r, Reader::Element("fonts", i));
            PackFont f;
            f.name = r.Name(o, at, "font");
            r.Keys(o, {"name", "ttf", "size", "bold", "italic", "first", "last", "charset", "antialias", "typeface"});
            f.ttf = r.Path(r.Text(o, "ttf"));
            f.typeface = r.Text(o, "typeface");
            f.size = int32_t(r.Int(o, "size", 12, 1, 512));
            f.bold = r.Bool(o, "bold", false);
            f.italic = r.Bool(o, "italic", false);
            // The first character is kept in 16 bits of the font record; antialias + 1 in 8.
            f.first = int32_t(r.Int(o, "first", 32, 0, 65535));
            f.last = int32_t(r.Int(o, "last", 127, 0, 65535));
            f.charset = int32_t(r.Int(o, "charset", 0, 0, 255));
            f.antialias = int32_t(r.Int(o, "antialias", 1, 0, 254));
            if (r.bad.empty() && f.first > f.last)
                r.Fail("\"first\" (" + std::to_string(f.first) + ") is above \"last\" (" + std::to_string(f.last) + ")");
            if (r.bad.empty() && f.ttf.empty()) r.Bad("ttf", "is missing (the TrueType file the glyphs are drawn from)");
            if (!r.bad.empty()) return false;
            p.inputs.push_back(f.ttf);
            std::string why;
            if (!GamePack_RenderFont(f, why)) r.Fail(why);
            else if (std::string limit = GamePack_PageLimit(f.image.width, f.image.height); !limit.empty())
                r.Fail("the glyph sheet of characters " + std::to_string(f.first) + " to " + std::to_string(f.last) +
                       " at size " + std::to_string(f.size) + ": " + limit + "; use a smaller size or fewer characters");
            if (!r.bad.empty()) return false;
            if (f.missingCount > 0) {
                std::string which;
                for (int32_t c : f.missing) {
                    char u[16];
                    std::snprintf(u, sizeof u, "U+%04X", unsigned(c));
                    which += (which.empty() ? "" : ", ") + std::string(u);
                }
                if (f.missingCount > int32_t(f.missing.size())) which += ", ...";
                p.warnings.push_back(r.where + ": " + f.ttf + " has no glyph for " + std::to_string(f.missingCount) + " of the characters " +
                                     std::to_string(f.first) + " to " + std::to_string(f.last) + " (" + which +
                                     "), which draw as the face's empty box; give a \"ttf\" that holds them, or other "
                                     "\"first\" and \"last\"");
            }
            p.fonts.push_back(std::move(f));
        }
        if (!r.TopList(root, "paths", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "paths");
            Reader::Place at(r, Reader::Element("paths", i));
            PackPath path;
            path.name = r.Name(o, at, "path");
            r.Keys(o, {"name", "kind", "closed", "precision", "points"});
            path.kind = uint32_t(r.Int(o, "kind", 0, 0, 1));
            path.closed = r.Bool(o, "closed", false);
            path.precision = uint32_t(r.Int(o, "precision", 4, 1, 8));
            json_object* pts = r.List(o, "points");
            for (size_t k = 0; k < Reader::Count(pts); ++k) {
                json_object* pt = Reader::At(pts, k);
                const std::string point = Reader::Element("points", k);
                const size_t n = Reader::Count(pt);
                if (n < 2 || n > 3) {
                    r.Refuse(point, "must be [x, y] or [x, y, speed]");
                    break;
                }
                for (size_t c = 0; c < 3; ++c)
                    path.points.push_back(c < n ? float(r.RealOf(Reader::At(pt, c), Reader::Element(point, c), 0)) : 100.0f);
            }
            if (!r.bad.empty()) return false;
            p.paths.push_back(std::move(path));
        }
        if (!r.TopList(root, "timelines", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "timelines");
            Reader::Place at(r, Reader::Element("timelines", i));
            PackTimeLine t;
            t.name = r.Name(o, at, "time line");
            r.Keys(o, {"name", "moments"});
            json_object* ms = r.List(o, "moments");
            for (size_t k = 0; k < Reader::Count(ms) && r.bad.empty(); ++k) {
                json_object* mo = r.Entry(ms, k, "moments");
                Reader::Place moment(r, Reader::Element("moments", k));
                PackMoment m;
                r.Keys(mo, {"time", "file", "code"});
                // A moment without its time would be the moment 0 without a word.
                if (r.bad.empty() && !Reader::Given(mo, "time")) r.Bad("time", "is missing: a moment's time is a whole number of steps");
                m.time = int32_t(r.Int(mo, "time", 0));
                if (!r.bad.empty()) return false;
                if (!t.moments.empty() && m.time <= t.moments.back().time) {
                    r.Fail("moments must have ascending times (" + std::to_string(m.time) + " follows " +
                           std::to_string(t.moments.back().time) + ")");
                    return false;
                }
                moment.Name("moment " + std::to_string(m.time));
                // A time line's position starts at 0 and goes below it only when code sets it
                // so or runs the line backwards (a negative timeline_speed without loop).
                if (m.time < 0)
                    p.warnings.push_back(r.where + ": a moment below 0 runs only when code moves the position below 0 "
                                                   "(timeline_position set so, or a negative timeline_speed without "
                                                   "timeline_loop); a time line starts at 0");
                if (!r.Code(mo, m.code, r.where, true)) return false;
                t.moments.push_back(m);
            }
            if (!r.bad.empty()) return false;
            p.timelines.push_back(std::move(t));
        }
        if (!r.TopList(root, "objects", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "objects");
            Reader::Place at(r, Reader::Element("objects", i));
            PackObject ob;
            ob.name = r.Name(o, at, "object");
            r.Keys(o, {"name", "sprite", "mask", "parent", "visible", "solid", "persistent", "depth", "physics", "events"});
            ob.spriteName = r.Text(o, "sprite");
            ob.maskName = r.Text(o, "mask");
            ob.parentName = r.Text(o, "parent");
            ob.visible = r.Bool(o, "visible", true);
            ob.solid = r.Bool(o, "solid", false);
            ob.persistent = r.Bool(o, "persistent", false);
            ob.depth = int32_t(r.Int(o, "depth", 0));
            const std::string objectWhere = r.where;
            if (json_object* ph = r.Object(o, "physics")) {
                PackPhysics& f = ob.physics;
                Reader::Place physics(r, "physics");
                r.Keys(ph, {"shape", "points", "density", "restitution", "friction", "linear_damping", "angular_damping",
                            "group", "sensor", "awake", "kinematic"});
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
                for (size_t k = 0; k < Reader::Count(points) && r.bad.empty(); ++k) {
                    json_object* pt = Reader::At(points, k);
                    const std::string point = Reader::Element("points", k);
                    if (Reader::Count(pt) != 2) {
                        r.Refuse(point, "of the physics shape must be [x, y]");
                        break;
                    }
                    f.points.push_back(float(r.RealOf(Reader::At(pt, 0), Reader::Element(point, 0), 0)));
                    f.points.push_back(float(r.RealOf(Reader::At(pt, 1), Reader::Element(point, 1), 0)));
                }
            }
            json_object* evs = r.List(o, "events");
            for (size_t k = 0; k < Reader::Count(evs) && r.bad.empty(); ++k) {
                json_object* e = r.Entry(evs, k, "events");
                if (!r.bad.empty()) break;
                Reader::Place event(r, Reader::Element("events", k));
                PackEvent ev;
                json_object* type = Reader::Get(e, "type");
                ev.type = EventType(type);
                if (ev.type < 0) {
                    r.Fail(type ? "\"type\" is " + Reader::Shown(type) +
                                      "; an event type is a number 0 to 11 or create, destroy, alarm, step, collision, "
                                      "keyboard, mouse, other, draw, keypress, keyrelease"
                                : std::string("\"type\" is missing"));
                    break;
                }
                json_object* number = Reader::Get(e, "number");
                std::string other;
                if (ev.type == EVENT_COLLISION && !number) {
                    r.Fail("a collision event needs \"number\": the other object's name");
                } else if (ev.type == EVENT_COLLISION && json_object_is_type(number, json_type_string)) {
                    ob.collisionNames.emplace_back(ob.events.size(), other = r.Text(e, "number"));
                } else if (ev.type == EVENT_COLLISION) {
                    ev.number = int32_t(r.Int(e, "number", 0, 0, OBJECT_MAX_COUNT - 1));
                } else if (!number && ev.type != EVENT_CREATE && ev.type != EVENT_DESTROY && ev.type != EVENT_STEP &&
                           ev.type != EVENT_DRAW) {
                    // Only where 0 is plainly meant (create, destroy, step, draw) may the
                    // number be left out: a key, a button, an alarm or an other event left out
                    // would be number 0 (no key, the left button, alarm 0, outside room).
                    r.Fail("\"number\" is missing: " + (ev.type < kNamedEventTypes ? EventNumbers(ev.type)
                                                                                     : std::string("the event's number, 0 to 255")));
                } else if (number && json_object_is_type(number, json_type_string)) {
                    // Only a collision event's number is a name; key codes and the rest are numbers.
                    r.Bad("number", "is " + Reader::Shown(number) + ", but " + EventNumbers(ev.type) +
                                        ", given as a number (only a collision event's number names an object)");
                } else {
                    // The object record keeps numbers 0 to 255; one the run loop never runs is
                    // packed all the same (code may run it), with a word.
                    ev.number = int32_t(r.Int(e, "number", 0, 0, OBJECT_EVENT_SUBTYPES - 1));
                    if (r.bad.empty() && !Dispatched(ev.type, ev.number))
                        p.warnings.push_back(objectWhere + ", " + EventLabel(ev.type, ev.number, "") +
                                             ": the run loop never runs it (" + EventNumbers(ev.type) +
                                             "); only event_perform and event_perform_object do. For an event of the "
                                             "game's own, use a user event: other 10 to 25, run by event_user(0) to "
                                             "event_user(15)");
                }
                if (!r.bad.empty()) break;
                event.Name(EventLabel(ev.type, ev.number, other));
                r.Keys(e, {"type", "number", "file", "code"});
                if (r.bad.empty()) r.Code(e, ev.code, r.where, true);
                ob.events.push_back(ev);
            }
            if (!r.bad.empty()) return false;
            p.objects.push_back(std::move(ob));
        }
        if (p.objects.size() > size_t(OBJECT_MAX_COUNT)) {
            // Numbers from 100000 up name instances, so an object there could not be named.
            error = "the game has more than " + std::to_string(OBJECT_MAX_COUNT) + " objects";
            return false;
        }
        if (!r.TopList(root, "rooms", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i) {
            json_object* o = r.Entry(a, i, "rooms");
            Reader::Place at(r, Reader::Element("rooms", i));
            PackRoom rm;
            rm.name = r.Name(o, at, "room");
            r.Keys(o, {"name", "caption", "width", "height", "speed", "persistent", "colour", "show_colour", "views_enabled",
                       "physics", "gravity_x", "gravity_y", "pixels_to_metres", "file", "code", "backgrounds", "views",
                       "instances", "tiles"});
            rm.caption = r.Text(o, "caption");
            rm.width = r.Pixels(o, "width", 640, 1);
            rm.height = r.Pixels(o, "height", 480, 1);
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
            if (!r.Code(o, rm.code, "room " + rm.name + ", creation code", false)) return false;
            json_object* bgs = r.List(o, "backgrounds");
            if (Reader::Count(bgs) > size_t(ROOM_LAYERS)) r.Bad("backgrounds", "holds more than 8 layers");
            for (size_t k = 0; k < Reader::Count(bgs) && r.bad.empty(); ++k) {
                json_object* b = r.Entry(bgs, k, "backgrounds");
                Reader::Place layer(r, Reader::Element("backgrounds", k));
                r.Keys(b, {"background", "visible", "foreground", "x", "y", "htiled", "vtiled", "hspeed", "vspeed", "stretch"});
                PackRoomBackground rb;
                rb.visible = r.Bool(b, "visible", true);
                rb.foreground = r.Bool(b, "foreground", false);
                rb.backgroundName = r.Text(b, "background");
                rb.x = r.Pixels(b, "x", 0);
                rb.y = r.Pixels(b, "y", 0);
                rb.htiled = r.Bool(b, "htiled", true);
                rb.vtiled = r.Bool(b, "vtiled", true);
                rb.hspeed = int32_t(r.Int(b, "hspeed", 0));
                rb.vspeed = int32_t(r.Int(b, "vspeed", 0));
                rb.stretch = r.Bool(b, "stretch", false);
                rm.backgrounds.push_back(rb);
            }
            json_object* views = r.List(o, "views");
            if (Reader::Count(views) > size_t(ROOM_LAYERS)) r.Bad("views", "holds more than 8 views");
            static const char* viewKeys[14] = {"visible", "x", "y", "width", "height", "port_x", "port_y", "port_width",
                                               "port_height", "hborder", "vborder", "hspeed", "vspeed", "follow"};
            for (size_t k = 0; k < Reader::Count(views) && r.bad.empty(); ++k) {
                json_object* v = r.Entry(views, k, "views");
                Reader::Place view(r, Reader::Element("views", k));
                r.Keys(v, {"visible", "x", "y", "width", "height", "port_x", "port_y", "port_width", "port_height", "hborder",
                           "vborder", "hspeed", "vspeed", "follow"});
                PackRoomView rv;
                // Positions, sizes and borders in pixels; the speeds (-1: no limit) are whole numbers.
                rv.v[0] = r.Bool(v, "visible", rv.v[0] != 0) ? 1 : 0;
                for (int f = 1; f < 11; ++f) rv.v[f] = r.Pixels(v, viewKeys[f], rv.v[f]);
                for (int f = 11; f < 13; ++f) rv.v[f] = int32_t(r.Int(v, viewKeys[f], rv.v[f]));
                rv.followName = r.Text(v, "follow");
                rm.views.push_back(rv);
            }
            json_object* insts = r.List(o, "instances");
            for (size_t k = 0; k < Reader::Count(insts) && r.bad.empty(); ++k) {
                json_object* in = r.Entry(insts, k, "instances");
                Reader::Place instance(r, Reader::Element("instances", k));
                r.Keys(in, {"object", "x", "y", "xscale", "yscale", "colour", "alpha", "rotation", "file", "code"});
                PackInstance pi;
                pi.objectName = r.Text(in, "object");
                pi.x = r.Pixels(in, "x", 0);
                pi.y = r.Pixels(in, "y", 0);
                pi.xScale = float(r.Real(in, "xscale", 1));
                pi.yScale = float(r.Real(in, "yscale", 1));
                pi.rotation = float(r.Real(in, "rotation", 0));
                pi.colour = r.Blend(in);
                if (r.bad.empty() && pi.objectName.empty()) r.Bad("object", "is missing");
                if (r.bad.empty()) r.Code(in, pi.code, r.where + " (object " + pi.objectName + "), creation code", false);
                rm.instances.push_back(pi);
            }
            json_object* tiles = r.List(o, "tiles");
            for (size_t k = 0; k < Reader::Count(tiles) && r.bad.empty(); ++k) {
                json_object* t = r.Entry(tiles, k, "tiles");
                Reader::Place tile(r, Reader::Element("tiles", k));
                r.Keys(t, {"background", "x", "y", "left", "top", "width", "height", "depth", "xscale", "yscale", "colour", "alpha"});
                PackTile pt;
                pt.backgroundName = r.Text(t, "background");
                if (r.bad.empty() && pt.backgroundName.empty())
                    r.Bad("background", "is missing: a tile shows a part of a background (without one it is never drawn)");
                pt.x = r.Pixels(t, "x", 0);
                pt.y = r.Pixels(t, "y", 0);
                // The region of the background image the tile shows; left out, the size is the
                // rest of the image (checked against it once the background is known).
                pt.left = r.Pixels(t, "left", 0, 0);
                pt.top = r.Pixels(t, "top", 0, 0);
                pt.width = r.Pixels(t, "width", -1, 1);
                pt.height = r.Pixels(t, "height", -1, 1);
                pt.depth = int32_t(r.Int(t, "depth", 1000000));
                pt.xScale = float(r.Real(t, "xscale", 1));
                pt.yScale = float(r.Real(t, "yscale", 1));
                pt.colour = r.Blend(t);
                rm.tiles.push_back(pt);
            }
            if (!r.bad.empty()) return false;
            p.rooms.push_back(std::move(rm));
        }
        if (p.rooms.empty()) {
            error = "the project has no rooms: a game starts in its first room, so give at least one under \"rooms\"";
            return false;
        }
        if (!r.TopList(root, "room_order", a)) return false;
        for (size_t i = 0; i < Reader::Count(a); ++i)
            p.roomOrderNames.push_back(r.TextOf(Reader::At(a, i), Reader::Element("room_order", i), ""));
        if (!r.bad.empty()) return false;
        if (!NamesAreUnique(p, error)) return false;

        // Names to indexes: a name must be a resource of the kind the key asks for.
        // where: the place of the value, "" for the top; value: its key ("\"sprite\"") or element.
        auto need = [&](bool found, const int32_t& index, const std::string& where, const std::string& value,
                        const char* kind, const std::string& name) {
            if (found && (index >= 0 || name.empty())) return true;
            const std::string other = KindOf(p, name);
            error = (where.empty() ? "" : where + ": ") + value + " names " +
                    (other.empty() ? std::string("no ") + kind + " \"" + name + "\""
                                   : other + " " + name + ", not " + (kind[0] == 'o' ? "an " : "a ") + kind);
            return false;
        };
        int32_t index = -1;
        const NameTable sprites(p.sprites), objects(p.objects), backgrounds(p.backgrounds), rooms(p.rooms);
        for (PackObject& ob : p.objects) {
            const std::string where = "object " + ob.name;
            if (!need(sprites.Resolve(ob.spriteName, ob.sprite), ob.sprite, where, "\"sprite\"", "sprite", ob.spriteName) ||
                !need(sprites.Resolve(ob.maskName, ob.mask), ob.mask, where, "\"mask\"", "sprite", ob.maskName) ||
                !need(objects.Resolve(ob.parentName, ob.parent), ob.parent, where, "\"parent\"", "object", ob.parentName))
                return false;
            for (auto& [slot, other] : ob.collisionNames) {
                const bool found = objects.Resolve(other, index) && index >= 0;
                if (!need(found, index, where + ", " + EventLabel(EVENT_COLLISION, 0, other), "\"number\"", "object", other))
                    return false;
                ob.events[slot].number = index;
            }
            for (size_t k = 0; k < ob.events.size(); ++k) {
                PackEvent& ev = ob.events[k];
                if (ev.type == EVENT_COLLISION && size_t(ev.number) >= p.objects.size()) {
                    error = where + ": collision event with object " + std::to_string(ev.number) + ", which does not exist";
                    return false;
                }
                const std::string other = ev.type == EVENT_COLLISION ? p.objects[size_t(ev.number)].name : "";
                ev.code.owner = where + ", " + EventLabel(ev.type, ev.number, other);
                // An object has one event of each type and number: of two, only one would run.
                for (size_t j = 0; j < k; ++j)
                    if (ob.events[j].type == ev.type && ob.events[j].number == ev.number) {
                        error = where + ": the " + EventLabel(ev.type, ev.number, other) + " is given twice (events[" +
                                std::to_string(j) + "] and events[" + std::to_string(k) + "]); an object has one of each";
                        return false;
                    }
            }
        }
        if (!ParentsEnd(p, error)) return false;
        int64_t instanceId = p.lastInstanceId, tileId = p.lastTileId;
        for (PackRoom& rm : p.rooms) {
            const std::string where = "room " + rm.name;
            for (size_t k = 0; k < rm.backgrounds.size(); ++k) {
                PackRoomBackground& b = rm.backgrounds[k];
                if (!need(backgrounds.Resolve(b.backgroundName, b.background), b.background,
                          where + ", " + Reader::Element("backgrounds", k), "\"background\"", "background", b.backgroundName))
                    return false;
            }
            for (size_t k = 0; k < rm.views.size(); ++k) {
                PackRoomView& v = rm.views[k];
                if (!need(objects.Resolve(v.followName, v.v[13]), v.v[13], where + ", " + Reader::Element("views", k),
                          "\"follow\"", "object", v.followName))
                    return false;
            }
            for (size_t k = 0; k < rm.instances.size(); ++k) {
                PackInstance& in = rm.instances[k];
                if (!need(objects.Resolve(in.objectName, in.object), in.object, where + ", " + Reader::Element("instances", k),
                          "\"object\"", "object", in.objectName))
                    return false;
                in.id = int32_t(++instanceId > INT32_MAX ? INT32_MAX : instanceId);
            }
            for (size_t k = 0; k < rm.tiles.size(); ++k) {
                PackTile& t = rm.tiles[k];
                const std::string tileWhere = where + ", " + Reader::Element("tiles", k);
                if (!need(backgrounds.Resolve(t.backgroundName, t.background), t.background, tileWhere, "\"background\"",
                          "background", t.backgroundName))
                    return false;
                if (!TileRegion(p, t, tileWhere, error)) return false;
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
        for (size_t i = 0; i < p.roomOrderNames.size(); ++i) {
            const std::string& name = p.roomOrderNames[i];
            const std::string value = Reader::Element("room_order", i);
            if (!need(rooms.Resolve(name, index) && index >= 0, index, "", value, "room", name)) return false;
            for (int32_t earlier : p.roomOrder)
                if (earlier == index) {
                    error = value + " names room " + name + ", which an element before it names: room_order names each room once";
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
    std::string text, why;
    if (!GamePack_ReadFile(manifestPath, text, why)) {
        error = "cannot read the manifest " + manifestPath + ": " + why;
        return false;
    }
    size_t cut = manifestPath.find_last_of('/');
    std::string base = cut == std::string::npos ? std::string(".") : manifestPath.substr(0, cut);
    project.inputs.assign(1, manifestPath);
    if (!GamePack_ParseProject(text, base, project, error)) {
        error = manifestPath + ": " + error;
        return false;
    }
    return true;
}
