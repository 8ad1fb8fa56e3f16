// PNG reading and writing over libpng (see Graphics_PNG.h). The reader runs on a bounded
// memory cursor: a request past the end of the data is a libpng error, never a read beyond
// it. Every colour type is expanded to 8-bit B, G, R, A (palette and low-bit grey expanded,
// grey turned into RGB, 16-bit channels stripped, a 0xFF filler where there is no alpha).
#include "Files/Graphics_API/Graphics_PNG.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include "Files/Base/Console.h"
#include "Files/Support/File.h"
#include "Files/Support/LoadSave.h"
#include "Platform/MemoryManager.h"

namespace {

struct MemReader {
    const uint8_t* p;
    size_t left;
};

void ReadFn(png_structp png, png_bytep out, png_size_t n)
{
    MemReader* r = (MemReader*)png_get_io_ptr(png);
    if (n > r->left) png_error(png, "read past the end of the data");
    std::memcpy(out, r->p, n);
    r->p += n;
    r->left -= n;
}

void ErrorFn(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void WarningFn(png_structp, png_const_charp) {}

// The decoder proper; returns the pixel block or null.
uint32_t* Decode(const void* data, uint32_t size, int32_t* outW, int32_t* outH)
{
    *outW = *outH = -1;
    if (!data || size < 8 || png_sig_cmp((png_const_bytep)data, 0, 8) != 0) {
        Console_Output("Not a PNG\n");
        Console_Output("ReadPNG :: a PNG error occured\n");
        return nullptr;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
    if (!png) {
        Console_Output("ReadPNG :: a PNG error occured\n");
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    png_infop endInfo = info ? png_create_info_struct(png) : nullptr;
    if (!info || !endInfo) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        Console_Output("ReadPNG :: a PNG error occured\n");
        return nullptr;
    }
    // Volatile: they change between setjmp and a possible longjmp.
    uint32_t* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        MEM_FREE(pixels);
        MEM_FREE(rows);
        png_destroy_read_struct(&png, &info, &endInfo);
        Console_Output("ReadPNG :: a PNG error occured\n");
        return nullptr;
    }
    png_set_user_limits(png, GR_PNG_MAX_SIDE, GR_PNG_MAX_SIDE);
    MemReader reader{(const uint8_t*)data + 8, (size_t)size - 8};
    png_set_read_fn(png, &reader, ReadFn);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, &interlace, nullptr, nullptr);
    if ((uint64_t)w * h * 4 > GR_PNG_MAX_BYTES) png_error(png, "image too large");
    bool hasTRNS = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE || depth < 8 || hasTRNS) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || hasTRNS;
    if (!hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (size_t)w * 4) png_error(png, "unexpected row size");

    pixels = (uint32_t*)MEM_ALLOC((uint64_t)w * h * 4);
    rows = (png_bytep*)MEM_ALLOC(sizeof(png_bytep) * h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = (png_bytep)(pixels + (size_t)y * w);
    png_read_image(png, rows);
    png_read_end(png, endInfo);
    png_destroy_read_struct(&png, &info, &endInfo);
    MEM_FREE(rows);
    *outW = (int32_t)w;
    *outH = (int32_t)h;
    return pixels;
}

struct DecodeRecord {
    uint32_t* pixels;
    int32_t width, height;
};
DecodeRecord* g_record = nullptr;

GR_SavePathMapper g_mapper = nullptr;

} // namespace

uint32_t* GR_PNG_DecodeToBlock(const void* data, uint32_t size, int32_t* w, int32_t* h)
{
    return Decode(data, size, w, h);
}

void* GR_PNG_Decode(const void* data, uint32_t size, int32_t* w, int32_t* h)
{
    if (!g_record) {
        int32_t dw, dh;
        uint32_t* px = Decode(data, size, &dw, &dh);
        if (!px) {
            *w = *h = -1;
            return nullptr;
        }
        g_record = new DecodeRecord{px, dw, dh};
    }
    *w = g_record->width;
    *h = g_record->height;
    return g_record->pixels;
}

void GR_PNG_Free()
{
    if (!g_record) return;
    MEM_FREE(g_record->pixels);
    delete g_record;
    g_record = nullptr;
}

void GR_PNG_SetSavePathMapper(GR_SavePathMapper mapper) { g_mapper = mapper; }

void GR_PNG_SayNotWritten(const char* name, const char* why)
{
    if (!name) name = "";
    const std::string mapped = g_mapper ? g_mapper(name) : LoadSave_SavePathOf(name);
    Console_WriteFailed(mapped.empty() ? name : mapped.c_str(), why);
}

bool write_png_file(const char* name, const void* pixels, int32_t width, int32_t height)
{
    if (!name || !pixels || width < 1 || height < 1) return false;
    // A path of any length: below the save area it is opened one folder at a time.
    const std::string mapped = g_mapper ? g_mapper(name) : LoadSave_SavePathOf(name);
    if (mapped.empty()) return false;
    const char* path = mapped.c_str();
    // The save area (and a sub-folder the name gives) may not exist yet on a fresh machine:
    // make it, as the other writers into the save area do.
    if (!g_mapper && !LoadSave_MakeFoldersFor(mapped)) return false;
    // Written beside the name and renamed into place when whole: a picture cut short never
    // replaces the earlier one. A plain file only; no link below the save area.
    FileReplace out;
    FILE* f = out.Open(path) ? out.Stream() : nullptr;
    if (!f) {
        File_SayWriteFailed(path, errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
    if (!png) {
        Console_Output("[write_png_file] png_create_write_struct failed\n");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        Console_Output("[write_png_file] png_create_info_struct failed\n");
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_bytep* volatile rows = nullptr;
    const char* volatile stage = "[write_png_file] Error during init_io\n";
    if (setjmp(png_jmpbuf(png))) {
        const int error = errno;
        Console_Output("%s", stage);
        MEM_FREE(rows);
        png_destroy_write_struct(&png, &info);
        if (std::ferror(f)) File_SayWriteFailed(path, error); // the file refused the bytes
        return false;
    }
    png_init_io(png, f);
    stage = "[write_png_file] Error during writing header\n";
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    stage = "[write_png_file] Error during writing bytes\n";
    rows = (png_bytep*)MEM_ALLOC(sizeof(png_bytep) * (size_t)height);
    for (int32_t y = 0; y < height; ++y)
        rows[y] = (png_bytep)pixels + (size_t)y * (size_t)width * 4;
    png_write_image(png, rows);
    stage = "[write_png_file] Error during end of write\n";
    png_write_end(png, nullptr);
    MEM_FREE(rows);
    rows = nullptr;
    png_destroy_write_struct(&png, &info);
    if (out.Commit()) return true;
    File_SayWriteFailed(path, errno);
    return false;
}
