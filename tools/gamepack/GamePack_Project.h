// The game packer's project: everything a manifest describes, with its sources and images read
// in, ready to be written as a game data file (GamePack_Build). The manifest format is
// documented in docs/gamepack.md. Tool code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// An RGBA image, 8 bits per channel, rows top to bottom.
struct PackImage {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// One piece of ZBL: its source text, and where it came from for the packer's messages.
struct PackCode {
    bool present = false;
    std::string text;
    std::string file;  // the ZBL file as the manifest names it ("" for inline code)
    std::string owner; // what it belongs to: "script scr_move", "object obj, step event"...
};
// "object obj, step event (file obj_step.zbl)": the owner and where the text was written.
std::string GamePack_CodeWhere(const PackCode& code);

struct PackSprite {
    std::string name;
    std::vector<PackImage> frames;
    int32_t xOrigin = 0, yOrigin = 0;
    bool transparent = false, smooth = false, preload = true, precise = false;
    int32_t bboxMode = 0;                 // 0 automatic, 1 full image, 2 manual
    int32_t bbox[4] = {0, 0, 0, 0};       // left, top, right, bottom (manual)
};

struct PackBackground {
    std::string name;
    PackImage image;
    bool transparent = false, smooth = false, preload = true;
};

struct PackGlyph {
    uint16_t character, x, y, width, height;
    int16_t shift, offset;
};

struct PackFont {
    std::string name, typeface, ttf;
    int32_t size = 12;
    bool bold = false, italic = false;
    int32_t first = 32, last = 127, charset = 0, antialias = 1;
    float xScale = 1, yScale = 1;
    PackImage image;                      // the rendered glyph sheet
    std::vector<PackGlyph> glyphs;
    // Characters of first..last the face has no glyph for (drawn as its empty box): how many,
    // and the first five.
    int32_t missingCount = 0;
    std::vector<int32_t> missing;
};

struct PackPath {
    std::string name;
    uint32_t kind = 0, precision = 4;
    bool closed = false;
    std::vector<float> points;            // x, y, speed per point
};

struct PackMoment {
    int32_t time = 0;
    PackCode code;
};

struct PackTimeLine {
    std::string name;
    std::vector<PackMoment> moments;      // ascending times
};

struct PackEvent {
    int32_t type = 0, number = 0;
    PackCode code;
};

// An object's physics fields (format version 6 and up; friction, awake and kinematic from 9).
struct PackPhysics {
    bool uses = false, sensor = false, awake = true, kinematic = false;
    int32_t shape = 1, group = 0; // shape: 0 circle, 1 box, 2 polygon
    float density = 0.5f, restitution = 0.1f, linearDamping = 0.1f, angularDamping = 0.1f, friction = 0.2f;
    std::vector<float> points; // x, y pairs
};

struct PackObject {
    std::string name;
    int32_t sprite = -1, mask = -1, parent = -1, depth = 0;
    bool visible = true, solid = false, persistent = false;
    PackPhysics physics;
    std::string spriteName, maskName, parentName;
    std::vector<PackEvent> events;
    std::vector<std::pair<size_t, std::string>> collisionNames; // event slot, other object's name
};

struct PackRoomBackground {
    int32_t visible = 0, foreground = 0, background = -1, x = 0, y = 0, htiled = 1, vtiled = 1, hspeed = 0,
            vspeed = 0, stretch = 0;
    std::string backgroundName;
};

struct PackRoomView {
    int32_t v[14] = {0, 0, 0, 640, 480, 0, 0, 640, 480, 32, 32, -1, -1, -1};
    std::string followName;
};

struct PackInstance {
    int32_t x = 0, y = 0, object = -1, id = 0;
    std::string objectName;
    PackCode code;
    float xScale = 1, yScale = 1, rotation = 0;
    uint32_t colour = 0xFFFFFFFF;
};

struct PackTile {
    // width and height -1: the rest of the background from left and top (all of it by default).
    int32_t x = 0, y = 0, background = -1, left = 0, top = 0, width = -1, height = -1, depth = 0, id = 0;
    std::string backgroundName;
    float xScale = 1, yScale = 1;
    uint32_t colour = 0xFFFFFFFF;
};

struct PackRoom {
    std::string name, caption;
    int32_t width = 640, height = 480, speed = 30;
    bool persistent = false, showColour = true, viewsEnabled = false, physics = false;
    uint32_t colour = 0;
    float gravityX = 0, gravityY = 10, pixelsToMetres = 0.1f;
    PackCode code;
    std::vector<PackRoomBackground> backgrounds;
    std::vector<PackRoomView> views;
    std::vector<PackInstance> instances;
    std::vector<PackTile> tiles;
};

struct PackScript {
    std::string name;
    PackCode code;
};

struct PackProject {
    std::string baseFolder;               // the manifest's folder: relative names start here
    std::vector<std::string> inputs;      // every file read (the manifest first), by path
    std::string name = "Game", config = "Default", caption;
    bool byteCode = false;                // "mode": "bytecode"
    bool absentCodeAsEmptyText = false;   // --absent-code-empty: absent code as an empty text (source mode)
    uint8_t formatVersion = 13;
    bool debug = false;
    int32_t gameId = 0, windowWidth = 800, windowHeight = 480, steamAppId = 0;
    uint32_t infoFlags = 0;
    int32_t lastInstanceId = 100000, lastTileId = 10000000;
    int32_t pageSize = 1024;              // texture pages are at most this wide and high
    std::map<int, int64_t> optionWords;   // OPTN words set by the manifest
    std::vector<std::pair<std::string, std::string>> constants;
    // Constants given as JSON numbers: the value their spelling in constants must read to.
    std::map<std::string, double> numberConstants;
    // What packs but may not play as its author expects (an event that only code runs), one
    // line each; the packer says them on the standard error and packs all the same.
    std::vector<std::string> warnings;
    std::vector<PackScript> scripts;
    std::vector<PackSprite> sprites;
    std::vector<PackBackground> backgrounds;
    std::vector<PackFont> fonts;
    std::vector<PackPath> paths;
    std::vector<PackTimeLine> timelines;
    std::vector<PackObject> objects;
    std::vector<PackRoom> rooms;
    std::vector<std::string> roomOrderNames;
    std::vector<int32_t> roomOrder;
};

// Reads the manifest file and everything it names. False with a message in error.
bool GamePack_LoadProject(const std::string& manifestPath, PackProject& project, std::string& error);
// The same from manifest text, names relative to baseFolder.
bool GamePack_ParseProject(const std::string& json, const std::string& baseFolder, PackProject& project,
                           std::string& error);

// Images (GamePack_Images.cpp). PNG files are read as the runner's own decoder reads them:
// every colour type becomes RGBA, 16-bit channels keep their high byte, and no gamma is
// applied, so the packed pixels are the file's. False with the reason in error.
bool GamePack_ReadPng(const std::string& path, PackImage& image, std::string& error);
bool GamePack_EncodePng(const PackImage& image, std::vector<uint8_t>& out);
bool GamePack_DecodePng(const uint8_t* data, size_t size, PackImage& image, std::string& error);
// Input images are read up to this many bytes of RGBA (a strip may hold many frames, each
// frame is held to the texture-page limits below).
constexpr uint64_t PACK_MAX_INPUT_IMAGE_BYTES = 1ull << 30;
// No texture page is wider or higher than this: the runner's textures hold at most 8192
// pixels a side (a larger page would draw nothing).
constexpr int32_t PACK_MAX_PAGE_SIDE = 8192;
// Why an image cannot lie on a texture page the runner draws (too wide or too high), or ""
// when it can.
std::string GamePack_PageLimit(int32_t width, int32_t height);
PackImage GamePack_SubImage(const PackImage& image, int32_t x, int32_t y, int32_t w, int32_t h);

// Texts (GamePack_Text.cpp).
// Why a ZBL file's bytes are not UTF-8 text the runner reads as written ("is UTF-16 text...",
// "holds a zero byte at line 2, column 5...", "is not UTF-8 text: line 3, column 4 holds the
// byte 0xE9..."), or "".
std::string GamePack_TextEncodingProblem(const std::string& text);
// The first character of code outside its texts and comments that the runner's lexer passes
// over as a blank (every byte from 128 up: an en dash, a typographic quote, a no-break
// space, a letter with an accent): where it is, what it is and what was likely meant; or a
// text left open (the runner reads it to the end of the code, with blanks of its own); or "".
std::string GamePack_StrayCharacter(const std::string& code);
// A spelling of value that ZBL reads to exactly that value ("4", "0.0025", "3 / 10" for
// 0.3: ZBL numbers have no exponent); false when there is none (an infinity, 1e300,
// -9223372036854775808), with why in *why when given: the words after "which ...".
bool GamePack_ZblNumber(double value, std::string& spelling, std::string* why = nullptr);
// For a path that does not exist: " (there is src/Move.zbl: letter case counts...)" when a
// part of it exists in another letter case, a word on the backslash when it holds one, else "".
std::string GamePack_NotFoundHint(const std::string& path);

// Fonts (GamePack_Font.cpp): renders font.first..font.last into font.image and font.glyphs.
bool GamePack_RenderFont(PackFont& font, std::string& error);

// Texture pages: every image placed on a page.
struct PagePlacement {
    int32_t page = 0, x = 0, y = 0;
};
struct PackedPages {
    std::vector<PackImage> pages;
    std::vector<PagePlacement> placements; // one per input image, same order
};
PackedPages GamePack_PackPages(const std::vector<const PackImage*>& images, int32_t pageSize);

// The whole game file, and the debug companion (byte-code mode; empty otherwise).
struct PackOutput {
    std::vector<uint8_t> game;
    std::vector<uint8_t> debug;
};
bool GamePack_Build(const PackProject& project, PackOutput& out, std::string& error);
