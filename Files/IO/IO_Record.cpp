// Input record and playback files (see IO_Record.h). Opened through the file layer's safe open
// (a plain file only); the file stays open from IO_Init to IO_Shutdown.
#include "Files/IO/IO_Record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/IO/IO_Input.h"
#include "Files/Support/File.h"

namespace {

std::FILE* g_file = nullptr;
std::string g_path; // the record file, for the line that says a failed write
bool g_recording = false;
bool g_playback = false;

// Little-endian writers and readers over a cursor.
void PutU16(uint8_t*& p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p += 2;
}

void PutI32(uint8_t*& p, int32_t v)
{
    uint32_t u = uint32_t(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
    p += 4;
}

void PutBytes(uint8_t*& p, const uint8_t* src, size_t n)
{
    std::memcpy(p, src, n);
    p += n;
}

uint16_t GetU16(const uint8_t*& p)
{
    uint16_t v = uint16_t(p[0] | p[1] << 8);
    p += 2;
    return v;
}

int32_t GetI32(const uint8_t*& p)
{
    uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    p += 4;
    return int32_t(u);
}

void GetBytes(const uint8_t*& p, uint8_t* dst, size_t n)
{
    std::memcpy(dst, p, n);
    p += n;
}

} // namespace

void IO_Record_Encode(const IO_StepLayer& s, uint8_t* out)
{
    uint8_t* p = out;
    PutU16(p, s.lastChar);
    for (int32_t i = 0; i <= IO_TEXT_MAX; ++i) PutU16(p, uint16_t(s.text[i]));
    PutI32(p, s.lastKey);
    PutI32(p, s.key);
    PutBytes(p, s.keyDown, IO_KEY_COUNT);
    PutBytes(p, s.keyReleased, IO_KEY_COUNT);
    PutBytes(p, s.keyPressed, IO_KEY_COUNT);
    for (int32_t d = 0; d < IO_MOUSE_DEVICES; ++d) PutI32(p, s.mouseLastButton[d]);
    for (int32_t d = 0; d < IO_MOUSE_DEVICES; ++d) PutI32(p, s.mouseButton[d]);
    PutBytes(p, s.mouseDown, sizeof s.mouseDown);
    PutBytes(p, s.mouseReleased, sizeof s.mouseReleased);
    PutBytes(p, s.mousePressed, sizeof s.mousePressed);
    PutBytes(p, s.wheelUp, sizeof s.wheelUp);
    PutBytes(p, s.wheelDown, sizeof s.wheelDown);
    PutI32(p, s.cursorX);
    PutI32(p, s.cursorY);
    PutI32(p, s.mouseX);
    PutI32(p, s.mouseY);
}

void IO_Record_Decode(const uint8_t* in, IO_StepLayer& s)
{
    const uint8_t* p = in;
    s.lastChar = GetU16(p);
    for (int32_t i = 0; i <= IO_TEXT_MAX; ++i) s.text[i] = char16_t(GetU16(p));
    s.text[IO_TEXT_MAX] = 0; // a record without a terminator must not lead readers past the text
    s.lastKey = GetI32(p);
    s.key = GetI32(p);
    GetBytes(p, s.keyDown, IO_KEY_COUNT);
    GetBytes(p, s.keyReleased, IO_KEY_COUNT);
    GetBytes(p, s.keyPressed, IO_KEY_COUNT);
    for (int32_t d = 0; d < IO_MOUSE_DEVICES; ++d) s.mouseLastButton[d] = GetI32(p);
    for (int32_t d = 0; d < IO_MOUSE_DEVICES; ++d) s.mouseButton[d] = GetI32(p);
    GetBytes(p, s.mouseDown, sizeof s.mouseDown);
    GetBytes(p, s.mouseReleased, sizeof s.mouseReleased);
    GetBytes(p, s.mousePressed, sizeof s.mousePressed);
    GetBytes(p, s.wheelUp, sizeof s.wheelUp);
    GetBytes(p, s.wheelDown, sizeof s.wheelDown);
    s.cursorX = GetI32(p);
    s.cursorY = GetI32(p);
    s.mouseX = GetI32(p);
    s.mouseY = GetI32(p);
    // The recorded position is device 0's as well (what the mouse built-ins read).
    s.deviceX[0] = s.mouseX;
    s.deviceY[0] = s.mouseY;
}

static_assert(2 + 2 * (IO_TEXT_MAX + 1) + 4 + 4 + 3 * IO_KEY_COUNT + 2 * 4 * IO_MOUSE_DEVICES +
                      3 * IO_MOUSE_DEVICES * IO_MOUSE_BUTTONS + 2 * IO_MOUSE_DEVICES + 4 * 4 ==
                  IO_RECORD_SIZE,
              "record layout");

bool IO_Record_Open(const char* name, bool playback)
{
    IO_Record_Close();
    if (!name || !*name) return false;
    std::string path = File_Resolve(name);
    g_file = File_OpenStream(path.c_str(), playback ? "rb" : "w+b"); // a plain file only
    if (!g_file) return false;
    g_path = path;
    std::setvbuf(g_file, nullptr, _IONBF, 0);
    g_playback = playback;
    g_recording = !playback;
    return true;
}

void IO_Record_Close()
{
    if (g_file) std::fclose(g_file);
    g_file = nullptr;
    g_recording = g_playback = false;
}

bool IO_Record_Recording() { return g_recording; }
bool IO_Record_PlayingBack() { return g_playback; }

void IO_Record_WriteStep(const IO_StepLayer& step)
{
    if (!g_recording || !g_file) return;
    uint8_t record[IO_RECORD_SIZE];
    IO_Record_Encode(step, record);
    // A step the file does not take (a full disk, a size limit) is lost; said once.
    if (std::fwrite(record, 1, sizeof record, g_file) != sizeof record || std::fflush(g_file) != 0)
        Console_WriteFailed(g_path.c_str(), std::strerror(errno));
}

bool IO_Record_ReadStep(IO_StepLayer& step)
{
    if (!g_playback || !g_file) return false;
    uint8_t record[IO_RECORD_SIZE];
    if (std::fread(record, 1, sizeof record, g_file) != sizeof record) return false;
    IO_Record_Decode(record, step);
    return true;
}
