// libFuzzer target: the 3D model file reader on arbitrary bytes; when a file loads, the text
// written from it must load again and be written back the same, and a small model is drawn
// (without a device: its recording is made through the 3D primitives and shapes).
#include <cstdint>
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics_API/Graphics_Recorder.h"

namespace {

// The reader explains each refusal on the log console; the fuzzer does not need to read it.
class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 8192) return 0;
    static bool once = false;
    if (!once) {
        // Recordings stay small: the limit is what is tested, not memory.
        GraphicsRecorder_SetVertexLimit(1 << 16);
        static Quiet quiet;
        Console_Set(&quiet);
        once = true;
    }
    int32_t a = GR_3D_Model_Create(), b = GR_3D_Model_Create();
    if (GR_3D_Model_LoadData(a, data, size)) {
        std::string first, second;
        if (!GR_3D_Model_ToText(a, &first)) __builtin_trap();
        if (!GR_3D_Model_LoadData(b, (const uint8_t*)first.data(), first.size())) __builtin_trap();
        if (GR_3D_Model_RecordCount(b) != GR_3D_Model_RecordCount(a)) __builtin_trap();
        // One round fixes every value to its written text.
        GR_3D_Model_ToText(b, &second);
        if (second != first) __builtin_trap();
        if (GR_3D_Model_RecordCount(b) <= 64) {
            GR_3D_Model_Draw(b, 1, 2, 3, -1);
            GR_3D_Model_Draw(b, 0, 0, 0, -1);
        }
    } else if (GR_3D_Model_RecordCount(a) != 0) {
        __builtin_trap(); // a refused file leaves the model empty
    }
    GR_3D_Model_FreeAll();
    return 0;
}
