// Writes a project as a game data file: the header, the options, every resource chunk in the
// record layouts the runner reads, the texture pages, and either the ZBL source in the code
// fields (source mode) or the compiled bodies with their variable and function reference
// chains and the debug companion (byte-code mode).
//
// Chunk order: GEN8 OPTN EXTN SOND AUDO SPRT BGND PATH SCPT FONT TMLN OBJT ROOM DAFL TPAG
// [CODE VARI FUNC] STRG TXTR. (OPTN before the sounds, FUNC after SCPT and EXTN, TPAG before
// TXTR, CODE before VARI.) Every string lives in STRG; a string offset points at the text.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "Files/Code/Code_Load.h"
#include "Files/Object/Event.h"
#include "Files/Support/File.h"
#include "GamePack_Compile.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

constexpr uint32_t kNoCode = 0xFFFFFFFFu;
constexpr uint32_t kActionSize = 64; // action record: +32 code index, +60 code text offset

struct Unit {
    std::string name;
    const PackCode* code;
    CompiledUnit compiled;
    uint32_t start = 0; // file offset of its first instruction
};

class Builder {
public:
    Builder(const PackProject& p, std::string& error) : p(p), error(error)
    {
        w.SetAbsentCodeAsEmptyText(p.absentCodeAsEmptyText);
    }

    bool Build(PackOutput& out);

private:
    const PackProject& p;
    std::string& error;
    GameWriter w;
    std::vector<Unit> units;
    std::vector<std::string> declaredGlobals; // byte-code mode: the names code declares globalvar
    std::map<const PackCode*, uint32_t> unitOf; // byte-code mode: code index of each piece
    std::vector<int> pageEntry;                 // TPAG entry label per image
    std::vector<const PackImage*> images;
    PackedPages pages;
    size_t spriteImages = 0, backgroundImages = 0;

    // A code field: code index (byte code, kNoCode when absent) or text offset (0 or an empty
    // text when absent, see GameWriter::AbsentCodeText).
    void CodeField(const PackCode& code)
    {
        if (p.byteCode) {
            auto it = unitOf.find(&code);
            w.U32(code.present && it != unitOf.end() ? it->second : kNoCode);
        } else {
            code.present ? w.RefString(code.text) : w.AbsentCodeText();
        }
    }
    // An action record holding one piece of code.
    void Action(const PackCode& code)
    {
        w.Zeros(32);
        if (p.byteCode) {
            auto it = unitOf.find(&code);
            w.U32(it != unitOf.end() ? it->second : kNoCode);
            w.Zeros(24);
            w.U32(0);
        } else {
            w.Zeros(28);
            w.RefString(code.text);
        }
    }

    // A body under the name the runner gives the same code compiled from source (white space
    // turned into "_"), so that error reports name it alike in both modes.
    void AddUnit(std::string name, const PackCode& code)
    {
        if (!code.present) return;
        for (char& c : name)
            if (std::isspace(static_cast<unsigned char>(c))) c = '_';
        unitOf[&code] = uint32_t(units.size());
        units.push_back({std::move(name), &code, {}, 0});
    }
    // An event's body: "Object.NAME.SHORT.0" with the event's short name ("Create", "Alarm 3",
    // "BeginStep", the other object's name for a collision); 0 is the action, the event's only.
    std::string EventBodyName(const PackObject& o, const PackEvent& e) const
    {
        // The runner's short names, but a collision's other object from the project (the
        // runner's object table is not filled while packing).
        std::string event;
        if (e.type != EVENT_COLLISION) event = Event_GetShortName(e.type, e.number);
        else if (e.number >= 0 && size_t(e.number) < p.objects.size()) event = p.objects[size_t(e.number)].name;
        else event = "<undefined>";
        return "Object." + o.name + "." + event + ".0";
    }

    void Header();
    void Options();
    void EmptyList(const char* tag);
    void Sprites();
    void Backgrounds();
    void Paths();
    void Scripts();
    void Fonts();
    void TimeLines();
    void Objects();
    void Rooms();
    void PageEntries();
    void Textures();
    bool CompileAll();
    bool Code();
    void Debug(PackOutput& out);
};

void Builder::Header()
{
    uint32_t chunk = w.BeginChunk("GEN8");
    const uint32_t start = w.Pos();
    const uint8_t v = p.formatVersion;
    w.U32(uint32_t(p.debug ? 1 : 0) | uint32_t(v) << 8);
    w.RefString(p.name);   // +4
    w.RefString(p.config); // +8
    w.I32(p.lastInstanceId);
    w.I32(p.lastTileId);
    w.I32(p.gameId);
    w.Zeros(16);           // +24
    w.RefString(p.name);   // +40
    w.Zeros(16);           // +44
    w.I32(p.windowWidth);  // +60
    w.I32(p.windowHeight);
    w.U32(p.infoFlags);
    w.U32(0);              // +72
    w.Zeros(16);           // +76
    w.U32(0);              // +92
    w.U32(0);              // +96
    auto order = [&]() {
        w.U32(uint32_t(p.roomOrder.size()));
        for (int32_t r : p.roomOrder) w.I32(r);
    };
    if (v < 10) {
        order();           // +100
    } else {
        w.RefString(p.caption); // +100
        if (v == 10) {
            order();       // +104
        } else {
            w.U32(0);      // +104 (64-bit value)
            w.U32(0);
            if (v == 11) {
                order();   // +112
            } else {
                w.U32(0xFFFFFFFFu); // +112 usage flags
                w.U32(0xFFFFFFFFu);
                if (v == 12) {
                    order(); // +120
                } else {
                    w.I32(p.steamAppId); // +120
                    order();             // +124
                }
            }
        }
    }
    (void)start;
    w.AlignTo(4);
    w.EndChunk(chunk);
}

void Builder::Options()
{
    int64_t words[36] = {};
    words[4] = 1;
    words[5] = 100;
    words[8] = 0xFFFFFF;
    words[15] = 1;
    for (int i = 16; i <= 20; ++i) words[i] = 1;
    words[23] = 1;
    words[29] = 1;
    for (auto& [k, v] : p.optionWords)
        if (k >= 0 && k < 35) words[k] = v;
    uint32_t chunk = w.BeginChunk("OPTN");
    for (int i = 0; i < 35; ++i) w.U32(uint32_t(words[i]));
    w.U32(uint32_t(p.constants.size()));
    for (auto& [name, value] : p.constants) {
        w.RefString(name);
        w.RefString(value);
    }
    w.EndChunk(chunk);
}

void Builder::EmptyList(const char* tag)
{
    uint32_t chunk = w.BeginChunk(tag);
    w.U32(0);
    w.EndChunk(chunk);
}

// A list chunk whose entries are written by entry(i) right after the offsets.
template <class F>
void ListChunk(GameWriter& w, const char* tag, size_t count, F entry)
{
    uint32_t chunk = w.BeginChunk(tag);
    std::vector<int> labels;
    for (size_t i = 0; i < count; ++i) labels.push_back(w.NewLabel());
    w.List(labels);
    for (size_t i = 0; i < count; ++i) {
        w.AlignTo(4);
        w.Bind(labels[i]);
        entry(i);
    }
    w.EndChunk(chunk);
}

// The opaque bounds of every frame together (the automatic box); the whole frame when nothing
// is opaque.
void OpaqueBox(const PackSprite& s, int32_t box[4])
{
    int32_t l = INT32_MAX, t = INT32_MAX, r = -1, b = -1;
    for (const PackImage& f : s.frames)
        for (int32_t y = 0; y < f.height; ++y)
            for (int32_t x = 0; x < f.width; ++x)
                if (f.rgba[(size_t(y) * size_t(f.width) + size_t(x)) * 4 + 3] != 0) {
                    l = std::min(l, x);
                    t = std::min(t, y);
                    r = std::max(r, x);
                    b = std::max(b, y);
                }
    if (r < 0) {
        l = t = 0;
        r = s.frames.empty() ? 0 : s.frames[0].width - 1;
        b = s.frames.empty() ? 0 : s.frames[0].height - 1;
    }
    box[0] = l;
    box[1] = t;
    box[2] = r;
    box[3] = b;
}

void Builder::Sprites()
{
    size_t image = 0;
    ListChunk(w, "SPRT", p.sprites.size(), [&](size_t i) {
        const PackSprite& s = p.sprites[i];
        const int32_t width = s.frames.empty() ? 1 : s.frames[0].width, height = s.frames.empty() ? 1 : s.frames[0].height;
        int32_t box[4] = {s.bbox[0], s.bbox[1], s.bbox[2], s.bbox[3]};
        if (s.bboxMode == 0) OpaqueBox(s, box);
        if (s.bboxMode == 1) {
            box[0] = box[1] = 0;
            box[2] = width - 1;
            box[3] = height - 1;
        }
        w.RefString(s.name);
        w.I32(width);
        w.I32(height);
        w.I32(box[0]); // left, right, bottom, top
        w.I32(box[2]);
        w.I32(box[3]);
        w.I32(box[1]);
        w.U32(s.transparent);
        w.U32(s.smooth);
        w.U32(s.preload);
        w.I32(s.bboxMode);
        w.U32(s.precise);
        w.I32(s.xOrigin);
        w.I32(s.yOrigin);
        w.U32(uint32_t(s.frames.size()));
        for (size_t k = 0; k < s.frames.size(); ++k) w.Ref(pageEntry[image++]);
        // One mask per frame for precise sprites: rows of (width + 7) / 8 bytes, leftmost pixel
        // in the top bit, set = solid (alpha above 0).
        w.U32(s.precise ? uint32_t(s.frames.size()) : 0);
        if (s.precise)
            for (const PackImage& f : s.frames)
                for (int32_t y = 0; y < height; ++y) {
                    std::vector<uint8_t> row(size_t(width + 7) / 8, 0);
                    for (int32_t x = 0; x < width; ++x)
                        if (f.rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + 3] != 0) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
                    w.Bytes(row.data(), row.size());
                }
    });
}

void Builder::Backgrounds()
{
    ListChunk(w, "BGND", p.backgrounds.size(), [&](size_t i) {
        const PackBackground& b = p.backgrounds[i];
        w.RefString(b.name);
        w.U32(b.transparent);
        w.U32(b.smooth);
        w.U32(b.preload);
        w.Ref(pageEntry[spriteImages + i]);
    });
}

void Builder::Paths()
{
    ListChunk(w, "PATH", p.paths.size(), [&](size_t i) {
        const PackPath& path = p.paths[i];
        w.RefString(path.name);
        w.U32(path.kind);
        w.U32(path.closed);
        w.U32(path.precision);
        w.U32(uint32_t(path.points.size() / 3));
        for (float f : path.points) w.F32(f);
    });
}

void Builder::Scripts()
{
    ListChunk(w, "SCPT", p.scripts.size(), [&](size_t i) {
        w.RefString(p.scripts[i].name);
        CodeField(p.scripts[i].code);
    });
}

void Builder::Fonts()
{
    uint32_t chunk = w.BeginChunk("FONT");
    std::vector<int> labels;
    for (size_t i = 0; i < p.fonts.size(); ++i) labels.push_back(w.NewLabel());
    w.List(labels);
    for (size_t i = 0; i < p.fonts.size(); ++i) {
        const PackFont& f = p.fonts[i];
        w.AlignTo(4);
        w.Bind(labels[i]);
        w.RefString(f.name);
        f.typeface.empty() ? w.U32(0) : w.RefString(f.typeface);
        w.I32(f.size);
        w.U32(f.bold);
        w.U32(f.italic);
        w.U32(uint32_t(f.first & 0xFFFF) | uint32_t(f.charset & 0xFF) << 16 | uint32_t((f.antialias + 1) & 0xFF) << 24);
        w.I32(f.last);
        w.Ref(pageEntry[spriteImages + backgroundImages + i]);
        w.F32(f.xScale);
        w.F32(f.yScale);
        w.U32(uint32_t(f.glyphs.size()));
        std::vector<int> glyphs;
        for (size_t k = 0; k < f.glyphs.size(); ++k) {
            glyphs.push_back(w.NewLabel());
            w.Ref(glyphs.back());
        }
        for (size_t k = 0; k < f.glyphs.size(); ++k) {
            const PackGlyph& g = f.glyphs[k];
            w.Bind(glyphs[k]);
            w.U16(g.character);
            w.U16(g.x);
            w.U16(g.y);
            w.U16(g.width);
            w.U16(g.height);
            w.I16(g.shift);
            w.I16(g.offset);
            w.U16(0); // keeps the next record on a word boundary
        }
    }
    // The last 512 bytes: the code point of every 8-bit character (font_add_sprite).
    for (uint32_t c = 0; c < 256; ++c) w.U16(uint16_t(c));
    w.EndChunk(chunk);
}

void Builder::TimeLines()
{
    ListChunk(w, "TMLN", p.timelines.size(), [&](size_t i) {
        const PackTimeLine& t = p.timelines[i];
        w.RefString(t.name);
        w.U32(uint32_t(t.moments.size()));
        std::vector<int> lists;
        for (const PackMoment& m : t.moments) {
            w.I32(m.time);
            lists.push_back(w.NewLabel());
            w.Ref(lists.back());
        }
        // Each moment's action list: u32 action count, the action offsets, then the actions.
        for (size_t k = 0; k < t.moments.size(); ++k) {
            w.Bind(lists[k]);
            w.U32(1);
            int action = w.NewLabel();
            w.Ref(action);
            w.Bind(action);
            Action(t.moments[k].code);
        }
    });
}

void Builder::Objects()
{
    const uint8_t v = p.formatVersion;
    ListChunk(w, "OBJT", p.objects.size(), [&](size_t i) {
        const PackObject& o = p.objects[i];
        w.RefString(o.name);
        w.I32(o.sprite);
        w.U32(o.visible);
        w.U32(o.solid);
        w.I32(o.depth);
        w.U32(o.persistent);
        w.I32(o.parent);
        w.I32(o.mask);
        if (v >= 6) {
            const PackPhysics& ph = o.physics;
            w.U32(ph.uses);
            w.U32(ph.sensor);
            w.U32(uint32_t(ph.shape));
            w.F32(ph.density);
            w.F32(ph.restitution);
            w.I32(ph.group);
            w.F32(ph.linearDamping);
            w.F32(ph.angularDamping);
            w.U32(uint32_t(ph.points.size() / 2));
            if (v >= 9) {
                w.F32(ph.friction);
                w.U32(ph.awake);
                w.U32(ph.kinematic);
            }
            for (size_t k = 0; k + 1 < ph.points.size(); k += 2) { // after the fields above
                w.F32(ph.points[k]);
                w.F32(ph.points[k + 1]);
            }
        }
        w.U32(12);
        std::vector<int> types;
        for (int t = 0; t < 12; ++t) {
            types.push_back(w.NewLabel());
            w.Ref(types.back());
        }
        for (int t = 0; t < 12; ++t) {
            w.Bind(types[size_t(t)]);
            std::vector<const PackEvent*> evs;
            for (const PackEvent& e : o.events)
                if (e.type == t) evs.push_back(&e);
            w.U32(uint32_t(evs.size()));
            std::vector<int> records;
            for (size_t k = 0; k < evs.size(); ++k) {
                records.push_back(w.NewLabel());
                w.Ref(records.back());
            }
            for (size_t k = 0; k < evs.size(); ++k) {
                w.Bind(records[k]);
                w.U32(uint32_t(evs[k]->number));
                w.U32(1);
                int action = w.NewLabel();
                w.Ref(action);
                w.Bind(action);
                Action(evs[k]->code);
            }
        }
    });
}

void Builder::Rooms()
{
    const uint8_t v = p.formatVersion;
    ListChunk(w, "ROOM", p.rooms.size(), [&](size_t i) {
        const PackRoom& r = p.rooms[i];
        w.RefString(r.name);
        r.caption.empty() ? w.U32(0) : w.RefString(r.caption);
        w.I32(r.width);
        w.I32(r.height);
        w.I32(r.speed);
        w.U32(r.persistent);
        w.U32(r.colour);
        w.U32(r.showColour);
        CodeField(r.code);
        w.U32(r.viewsEnabled);
        int lists[4] = {w.NewLabel(), w.NewLabel(), w.NewLabel(), w.NewLabel()};
        for (int l : lists) w.Ref(l);
        w.U32(v >= 6 && r.physics);
        w.Zeros(16);
        w.F32(r.gravityX);
        w.F32(r.gravityY);
        w.F32(r.pixelsToMetres);
        // Backgrounds (always 8 layers), views (always 8), instances, tiles.
        auto list = [&](int label, size_t count, auto record) {
            w.Bind(label);
            std::vector<int> entries;
            for (size_t k = 0; k < count; ++k) entries.push_back(w.NewLabel());
            w.List(entries);
            for (size_t k = 0; k < count; ++k) {
                w.Bind(entries[k]);
                record(k);
            }
        };
        list(lists[0], 8, [&](size_t k) {
            PackRoomBackground b;
            b.visible = 0;
            if (k < r.backgrounds.size()) b = r.backgrounds[k];
            for (int32_t f : {b.visible, b.foreground, b.background, b.x, b.y, b.htiled, b.vtiled, b.hspeed, b.vspeed, b.stretch})
                w.I32(f);
        });
        list(lists[1], 8, [&](size_t k) {
            PackRoomView view;
            if (k < r.views.size()) view = r.views[k];
            else view.v[0] = 0;
            for (int32_t f : view.v) w.I32(f);
        });
        list(lists[2], r.instances.size(), [&](size_t k) {
            const PackInstance& in = r.instances[k];
            w.I32(in.x);
            w.I32(in.y);
            w.I32(in.object);
            w.I32(in.id);
            CodeField(in.code);
            w.F32(in.xScale);
            w.F32(in.yScale);
            w.U32(in.colour);
            w.F32(in.rotation);
        });
        list(lists[3], r.tiles.size(), [&](size_t k) {
            const PackTile& t = r.tiles[k];
            for (int32_t f : {t.x, t.y, t.background, t.left, t.top, t.width, t.height, t.depth, t.id}) w.I32(f);
            w.F32(t.xScale);
            w.F32(t.yScale);
            w.U32(t.colour);
        });
    });
}

void Builder::PageEntries()
{
    uint32_t chunk = w.BeginChunk("TPAG");
    w.List(pageEntry);
    for (size_t i = 0; i < images.size(); ++i) {
        const PackImage& img = *images[i];
        const PagePlacement& at = pages.placements[i];
        w.Bind(pageEntry[i]);
        for (int32_t f : {at.x, at.y, img.width, img.height, 0, 0, img.width, img.height, img.width, img.height, at.page})
            w.I16(int16_t(f));
    }
    w.AlignTo(4);
    w.EndChunk(chunk);
}

void Builder::Textures()
{
    uint32_t chunk = w.BeginChunk("TXTR");
    std::vector<int> records, blobs;
    for (size_t i = 0; i < pages.pages.size(); ++i) records.push_back(w.NewLabel());
    w.List(records);
    for (size_t i = 0; i < pages.pages.size(); ++i) {
        w.Bind(records[i]);
        w.U32(0);
        blobs.push_back(w.NewLabel());
        w.Ref(blobs.back());
    }
    for (size_t i = 0; i < pages.pages.size(); ++i) {
        std::vector<uint8_t> png;
        GamePack_EncodePng(pages.pages[i], png);
        w.AlignTo(4);
        w.Bind(blobs[i]);
        w.Bytes(png.data(), png.size());
    }
    w.EndChunk(chunk);
}

// Every piece of code is compiled with the runner's compiler in both modes, so that code the
// runner would refuse at start-up is refused here, with where it was written. Byte-code mode
// keeps what the compiler made (through the compiler seam); source mode only the verdict.
bool Builder::CompileAll()
{
    bool ok = GamePack_PrepareCompiler(p, error);
    // Byte code twice: a globalvar declaration reaches every piece of code, also the pieces
    // compiled before the one that declares it (the runner compiling the source declares all
    // before any code runs).
    for (int pass = 0; ok && pass < (p.byteCode ? 2 : 1); ++pass)
        for (Unit& u : units) {
            // A character outside texts and comments that the compiler passes over would make
            // the code play otherwise than written ("v –= 3" as "v = 3").
            if (const std::string stray = pass ? "" : GamePack_StrayCharacter(u.code->text); !stray.empty()) {
                error = GamePack_CodeWhere(*u.code) + ": " + stray;
                ok = false;
                break;
            }
            std::string why;
            ok = p.byteCode ? GamePack_Compile(u.code->text, u.name, u.compiled, why)
                            : GamePack_CompileWithRunner(u.code->text, u.name, u.compiled, why);
            if (!ok) {
                error = GamePack_CodeWhere(*u.code) + " does not compile: " + why;
                break;
            }
        }
    // The names declared with globalvar, which the runner compiling the source would create
    // (with the value 0) before any code runs: byte code carries no declaration, so "VARI"
    // names them for the runner to declare.
    if (ok && p.byteCode) declaredGlobals = GamePack_DeclaredGlobals();
    GamePack_ReleaseCompiler();
    if (!p.byteCode) { // source mode writes the text
        units.clear();
        unitOf.clear();
    }
    return ok;
}

bool Builder::Code()
{
    // CODE: every body; the positions of its references become file offsets.
    std::vector<int> labels;
    uint32_t chunk = w.BeginChunk("CODE");
    for (size_t i = 0; i < units.size(); ++i) labels.push_back(w.NewLabel());
    w.List(labels);
    for (size_t i = 0; i < units.size(); ++i) {
        Unit& u = units[i];
        w.Bind(labels[i]);
        w.RefString(u.name);
        w.U32(uint32_t(u.compiled.code.size()));
        u.start = w.Pos();
        w.Bytes(u.compiled.code.data(), u.compiled.code.size());
    }
    w.EndChunk(chunk);

    // String operands become "STRG" indexes; references are gathered by name in file order.
    std::map<std::string, std::vector<uint32_t>> variables, functions;
    std::vector<std::string> variableOrder, functionOrder;
    for (Unit& u : units) {
        for (const CompiledUnit::Ref& s : u.compiled.strings) w.PutU32(u.start + s.at + 4, w.StringIndex(s.name));
        for (const CompiledUnit::Ref& r : u.compiled.variables) {
            if (!variables.count(r.name)) variableOrder.push_back(r.name);
            variables[r.name].push_back(u.start + r.at);
        }
        for (const CompiledUnit::Ref& r : u.compiled.functions) {
            if (!functions.count(r.name)) functionOrder.push_back(r.name);
            functions[r.name].push_back(u.start + r.at);
        }
    }
    // Chains: each operand holds the distance to the next reference of the same name.
    chunk = w.BeginChunk("VARI");
    for (const std::string& name : variableOrder) {
        const std::vector<uint32_t>& refs = variables[name];
        for (size_t k = 0; k < refs.size(); ++k) {
            uint32_t distance = k + 1 < refs.size() ? refs[k + 1] - refs[k] : 0;
            uint32_t operand = w.GetU32(refs[k] + 4);
            w.PutU32(refs[k] + 4, (operand & 0xE0000000u) | (distance & 0x1FFFFFFFu));
        }
        w.RefString(name);
        w.U32(uint32_t(refs.size()));
        w.U32(refs[0]);
    }
    for (const std::string& name : declaredGlobals) { // no references, the declaration's mark
        w.RefString(name);
        w.U32(0);
        w.U32(CODE_VARI_DECLARED);
    }
    w.EndChunk(chunk);
    chunk = w.BeginChunk("FUNC");
    for (const std::string& name : functionOrder) {
        const std::vector<uint32_t>& refs = functions[name];
        for (size_t k = 0; k < refs.size(); ++k) w.PutU32(refs[k] + 4, k + 1 < refs.size() ? refs[k + 1] - refs[k] : 0);
        w.RefString(name);
        w.U32(uint32_t(refs.size()));
        w.U32(refs[0]);
    }
    w.EndChunk(chunk);
    return true;
}

void Builder::Debug(PackOutput& out)
{
    GameWriter d;
    // The check of the game file the companion describes, so that the runner never shows
    // another game's code (a companion shared by two outputs, or left from an earlier pack).
    const DebugCompanionCheck check = Code_GameFileCheck(out.game.data(), out.game.size());
    uint32_t chunk = d.BeginChunk("GAME");
    d.U32(check.size);
    d.U32(uint32_t(check.hash));
    d.U32(uint32_t(check.hash >> 32));
    d.EndChunk(chunk);
    chunk = d.BeginChunk("DBGI");
    std::vector<int> labels;
    for (size_t i = 0; i < units.size(); ++i) labels.push_back(d.NewLabel());
    d.List(labels);
    for (size_t i = 0; i < units.size(); ++i) {
        d.Bind(labels[i]);
        const std::vector<int32_t>& pairs = units[i].compiled.debug;
        d.U32(uint32_t(pairs.size() / 2));
        for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
            d.I32(pairs[k]);
            d.I32(pairs[k + 1]);
        }
    }
    d.EndChunk(chunk);
    chunk = d.BeginChunk("SCPT");
    labels.clear();
    for (size_t i = 0; i < units.size(); ++i) labels.push_back(d.NewLabel());
    d.List(labels);
    for (size_t i = 0; i < units.size(); ++i) {
        d.Bind(labels[i]);
        d.RefString(units[i].code->text);
    }
    d.EndChunk(chunk);
    d.WriteStrings();
    out.debug = d.Finish();
}

bool Builder::Build(PackOutput& out)
{
    // Texture pages: sprite frames, then backgrounds, then font sheets.
    for (const PackSprite& s : p.sprites)
        for (const PackImage& f : s.frames) images.push_back(&f);
    spriteImages = images.size();
    for (const PackBackground& b : p.backgrounds) images.push_back(&b.image);
    backgroundImages = p.backgrounds.size();
    for (const PackFont& f : p.fonts) images.push_back(&f.image);
    pages = GamePack_PackPages(images, p.pageSize);
    for (size_t i = 0; i < images.size(); ++i) pageEntry.push_back(w.NewLabel());
    // Every image was held to the page limits when it was read, and a larger image gets a
    // page of its own: a page the runner could not decode is the packer's own fault.
    for (const PackImage& page : pages.pages)
        if (std::string why = GamePack_PageLimit(page.width, page.height); !why.empty()) {
            error = "internal error: a texture page of " + why;
            return false;
        }

    for (const PackScript& s : p.scripts) AddUnit("Script." + s.name, s.code);
    for (const PackObject& o : p.objects)
        for (const PackEvent& e : o.events)
            AddUnit(EventBodyName(o, e), e.code);
    for (const PackTimeLine& t : p.timelines)
        for (const PackMoment& m : t.moments) AddUnit("TimeLine." + t.name + "." + std::to_string(m.time), m.code);
    for (const PackRoom& r : p.rooms) {
        AddUnit("Room." + r.name, r.code);
        for (size_t k = 0; k < r.instances.size(); ++k)
            AddUnit("Instance." + r.name + "." + std::to_string(k), r.instances[k].code);
    }
    if (!CompileAll()) return false;

    Header();
    Options();
    EmptyList("EXTN");
    EmptyList("SOND");
    EmptyList("AUDO");
    Sprites();
    Backgrounds();
    Paths();
    Scripts();
    Fonts();
    TimeLines();
    Objects();
    Rooms();
    EmptyList("DAFL");
    PageEntries();
    if (p.byteCode && !Code()) return false;
    w.WriteStrings();
    Textures();
    out.game = w.Finish();
    if (int64_t(out.game.size()) >= FILE_READ_ALL_LIMIT) {
        error = "the game file would be " + std::to_string(out.game.size() >> 20) + " MiB; the runner reads game files below " +
                std::to_string(FILE_READ_ALL_LIMIT >> 20) + " MiB: use fewer or smaller images";
        out.game.clear();
        return false;
    }
    if (p.byteCode) Debug(out);
    return true;
}

} // namespace

bool GamePack_Build(const PackProject& project, PackOutput& out, std::string& error)
{
    Builder b(project, error);
    return b.Build(out);
}
