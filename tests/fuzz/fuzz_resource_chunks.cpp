// Fuzz target: the SPRT, BGND and FONT loaders over arbitrary file images. Input: one byte that
// picks the loader, a u32 chunk offset and a u32 chunk length (little-endian), then the file
// image (the chunk window is cut to it). After a load the resources are used the way the game
// would without a device: sprite boxes, masks and the five collision tests, font widths and
// line splitting. The image block has exactly the input's size, so a read past it is an
// AddressSanitizer report. Seeds: packed games with every resource kind
// (tests/fuzz/corpus/fuzz_resource_chunks/, written by the resources tests when
// ZB_FUZZ_SEED_DIR is set).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Files/Background/Background_Main.h"
#include "Files/Base/Console.h"
#include "Files/Font/Font_Main.h"
#include "Files/Font/Font_Text.h"
#include "Files/Graphics/Graphics_PageEntries.h"
#include "Files/Runner/Runner_Reset.h"
#include "Files/Sprite/Sprite_Main.h"
#include "Files/Support/FileImage.h"

namespace {

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};
Quiet g_Quiet;

uint32_t Word(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void UseSprites()
{
    for (int32_t i = 0; i < Sprite_Count(); ++i) {
        CSprite* s = Sprite_Data(i);
        if (!s) continue;
        const SpriteBox box{-4, -4, s->width + 4, s->height + 4};
        for (int32_t f = -1; f <= 1; ++f) {
            s->CheckPointCollision(f, box, 0, 0, 1, 1, 0, 1, 1);
            s->CheckPointCollision(f, box, 3, 2, -1.5f, 2, 37, 4, 1);
            s->CheckMaskCollision(f, box, 0, 0, 1, 1, 0, SpriteBox{0, 0, 3, 3});
            s->CheckEllipseCollision(f, box, 1, 1, 2, 0.5f, 200, SpriteBox{-2, 0, 5, 1});
            s->CheckLineCollision(f, box, 0, 0, 0.75f, 1, 10, -3, -3, 9, 5);
            s->CheckSpriteCollision(f, box, 0, 0, 1, 1, 0, s, f + 1, box, 1, 2, 1.25f, -1, 45);
        }
        s->SetBBoxMode(0);
        s->ComputeBoundingBox();
        s->SetPrecise(!s->precise);
        s->SetPrecise(!s->precise);
        delete[] s->GetFrameBox(3);
    }
}

void UseFonts()
{
    static const char* const kTexts[] = {"Hello#world\\#", "aaaa bbbb cccc", "  x  ", ""};
    for (int32_t i = 0; i < Font_Count(); ++i) {
        CFontZB* f = Font_Data(i);
        if (!f) continue;
        for (const char* t : kTexts) {
            for (int32_t wrap : {-1, 0, 1, 7, 40}) {
                TStringList lines;
                GR_Text_SplitLines(t, wrap, &lines, f);
                for (int32_t k = 0; k < lines.Count(); ++k) f->TextWidth(lines.Line(k));
            }
        }
        f->GetShift(0xFFFF);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9 || size > (1u << 24)) return 0;
    Console_Set(&g_Quiet);
    const uint8_t which = data[0] % 3;
    uint32_t begin = Word(data + 1), length = Word(data + 5);
    std::vector<uint8_t> block(data + 9, data + size);
    FileImage image(block.data(), uint32_t(block.size()));
    if (begin > image.Size()) begin = image.Size();
    if (length > image.Size() - begin) length = image.Size() - begin;
    const uint32_t end = begin + length;
    // The dispatcher checks the list before a loader runs.
    ChunkList list;
    if (list.Read(image, begin, end)) {
        switch (which) {
        case 0:
            if (Sprite_Load(image, begin, end)) UseSprites();
            break;
        case 1:
            Background_Load(image, begin, end);
            for (int32_t i = 0; i < Background_Count(); ++i)
                if (CBackground* b = Background_Data(i)) b->GetTexture();
            break;
        default:
            if (Font_Load(image, begin, end)) UseFonts();
            break;
        }
    }
    Runtime_ResetAll();
    GR_TPE_ClearRegistry();
    return 0;
}
