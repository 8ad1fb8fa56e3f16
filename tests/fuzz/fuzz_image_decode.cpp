// Fuzz target for the image readers: PNG, BMP, DDS and "RAW " data, decoded both to 32-bit
// pixels and (DDS) kept compressed, plus the platform bitmap's BMP loader and the CBitmap32
// stream forms. The first byte picks the reader so that each gets the whole remaining input.
#include <cstddef>
#include <cstdint>

#include "Files/Graphics/Graphics_Bitmap32.h"
#include "Files/Graphics_API/Graphics_ImageDecode.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/TBitmap.h"
#include "Platform/MemoryManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 24)) return 0;
    uint8_t pick = data[0];
    const uint8_t* d = data + 1;
    uint32_t n = (uint32_t)(size - 1);
    GR_Image img;
    switch (pick % 6) {
    case 0: {
        int32_t w, h;
        uint32_t* px = GR_PNG_DecodeToBlock(d, n, &w, &h);
        MEM_FREE(px);
        break;
    }
    case 1:
        if (GR_Image_DecodeBMP(d, n, &img)) GR_Image_Free(&img);
        break;
    case 2:
        if (GR_Image_DecodeDDS(d, n, (pick & 0x80) != 0, &img)) GR_Image_Free(&img);
        break;
    case 3:
        if (GR_Image_DecodeRAW(d, n, &img)) GR_Image_Free(&img);
        break;
    case 4: {
        GR_ByteReader r{d, n, 0};
        TBitmap* b = TBitmap::Create();
        b->LoadFromStream(&r);
        CBitmap32* c = CBitmap32::FromAnyBitmap(b, (pick & 0x40) != 0, (pick & 0x80) != 0);
        delete c;
        delete b;
        break;
    }
    default: {
        GR_ByteReader r{d, n, 0};
        CBitmap32* c = CBitmap32::FromStream(&r);
        delete c;
        break;
    }
    }
    return 0;
}
