// Fuzz target: arbitrary bytes as an input playback file (whole 2,939-byte records restored
// into the step layer and read back through every reader), the rest as a keyboard_string
// text and as SDL text input typed into the key-event layer. Reads past the typed text are
// AddressSanitizer reports; broken invariants trap: the text always ends within 1024 units,
// and what keyboard_string gives back sets the same text again.
#include <SDL2/SDL.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Files/Graphics_API/Linux/Graphics_EventsM.h"
#include "Files/IO/IO_Input.h"
#include "Files/IO/IO_Record.h"

namespace {

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

void ReadEverything()
{
    IO_State& io = IO_GetState();
    std::string text = IO_GetKeyboardString();
    IO_SetKeyboardString(text.c_str());
    Check(text == IO_GetKeyboardString());
    Check(io.event.textLength >= 0 && io.event.textLength <= IO_TEXT_MAX);
    Check(io.step.text[IO_TEXT_MAX] == 0);
    volatile uint32_t sink = 0;
    for (int32_t key : {io.step.key, io.step.lastKey, 0, 1})
        sink = sink ^ IO_KeyboardCheck(key) ^ IO_KeyboardCheckPressed(key) ^ IO_KeyboardCheckReleased(key);
    for (int32_t d = -1; d <= IO_MOUSE_DEVICES; ++d) {
        int32_t b = d >= 0 && d < IO_MOUSE_DEVICES ? io.step.mouseButton[d] : 1;
        sink = sink ^ IO_MouseCheckButton(b, d) ^ IO_MouseCheckButtonPressed(-1, d) ^ IO_MouseCheckButtonReleased(0, d);
        sink = sink ^ IO_MouseWheelUp(d) ^ IO_MouseWheelDown(d) ^ uint32_t(IO_GetDeviceMouseX(d)) ^
               uint32_t(IO_GetMouseLastButton(d));
    }
    IO_OnKeyDown(io.step.lastKey, 0, false);
    IO_OnKeyUp(io.step.key, 0);
    IO_OnChar(io.step.lastChar);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IO_ResetState();
    IO_State& io = IO_GetState();
    size_t records = size / IO_RECORD_SIZE;
    for (size_t i = 0; i < records; ++i) {
        IO_Record_Decode(data + i * IO_RECORD_SIZE, io.step);
        ReadEverything();
        uint8_t again[IO_RECORD_SIZE];
        IO_Record_Encode(io.step, again);
        Check(std::memcmp(again + 2 + 2 * (IO_TEXT_MAX + 1), data + i * IO_RECORD_SIZE + 2 + 2 * (IO_TEXT_MAX + 1),
                          IO_RECORD_SIZE - 2 - 2 * (IO_TEXT_MAX + 1)) == 0);
    }
    const uint8_t* rest = data + records * IO_RECORD_SIZE;
    size_t restSize = size - records * IO_RECORD_SIZE;
    std::string text(reinterpret_cast<const char*>(rest), restSize);
    IO_SetKeyboardString(text.c_str());
    ReadEverything();

    // The same bytes as SDL text input, chunk by chunk, into the typed text.
    GR_SdlInputState state{};
    for (size_t at = 0; at < restSize; at += sizeof(SDL_TextInputEvent::text) - 1) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        size_t n = restSize - at < sizeof e.text.text - 1 ? restSize - at : sizeof e.text.text - 1;
        std::memcpy(e.text.text, rest + at, n);
        GR_MessageList list;
        GR_Sdl_Translate(state, e, 0, 0, list);
        for (int32_t i = 0; i < list.count; ++i) {
            Check(list.items[i].wParam <= 0xFFFF && list.items[i].wParam != 0);
            IO_OnChar(uint32_t(list.items[i].wParam));
        }
    }
    Check(io.event.textLength >= 0 && io.event.textLength <= IO_TEXT_MAX);
    Check(io.event.text[io.event.textLength] == 0);
    ReadEverything();
    return 0;
}
