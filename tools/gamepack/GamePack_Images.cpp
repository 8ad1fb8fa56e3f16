// PNG reading (libpng, as the runner's decoder reads) and writing (libpng's simplified
// interface), and the packing of images onto texture pages (shelves, tallest first, one pixel
// apart; an image larger than the page size gets a page of its own, exactly its size; no page
// passes the runner's texture limit).
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <numeric>

#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "GamePack_Project.h"
#include "GamePack_Writer.h"

namespace {

struct PngSource {
    const uint8_t* at;
    size_t left;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > source->left) png_error(png, "the file ends inside the image");
    std::memcpy(out, source->at, n);
    source->at += n;
    source->left -= n;
}

// libpng's errors come back here: the message is kept and the read unwinds to its setjmp.
void OnError(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message ? message : "damaged image";
    png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// Gives an indexed image (each row's indexes, one byte each, at the row's start) the colours of
// its palette and the alphas of its "tRNS"; false for an index past the palette.
bool Colour(png_structp png, png_infop info, PackImage& image, std::string& error)
{
    png_colorp palette = nullptr;
    png_bytep alpha = nullptr;
    int colours = 0, alphas = 0;
    png_get_PLTE(png, info, &palette, &colours);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &alpha, &alphas, nullptr);
    const size_t w = size_t(image.width);
    for (size_t y = 0; y < size_t(image.height); ++y) {
        uint8_t* row = &image.rgba[y * w * 4];
        for (size_t x = w; x-- > 0;) { // from the row's end, so no index is written over before it is read
            const int index = row[x];
            if (index >= colours) {
                error = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") has the palette index " +
                        std::to_string(index) + ", past its palette of " + std::to_string(colours) +
                        " colours (libpng: palette index exceeding num_palette)";
                return false;
            }
            uint8_t* px = row + x * 4;
            px[0] = palette[index].red;
            px[1] = palette[index].green;
            px[2] = palette[index].blue;
            px[3] = index < alphas ? alpha[index] : 255;
        }
    }
    return true;
}

} // namespace

// The transforms of the runner's PNG decoder (Graphics_PNGM), with RGBA order: palettes, grey
// and low bit depths expanded, a transparent colour made alpha, 16-bit channels cut to their
// high byte (0xC8C8 is 200), an opaque filler where the file has no alpha. No gamma: the
// bytes are the file's. Rows are read one at a time straight into the image (no row table to
// lose on an error's long jump).
bool GamePack_DecodePng(const uint8_t* data, size_t size, PackImage& image, std::string& error)
{
    image = PackImage();
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        error = "not a PNG file";
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
        error = "libpng does not start";
        return false;
    }
    PngSource source{data + 8, size - 8};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        image = PackImage();
        return false;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
    if (uint64_t(w) * h * 4 > PACK_MAX_INPUT_IMAGE_BYTES) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = std::to_string(w) + " x " + std::to_string(h) + " pixels is more than the packer reads (" +
                std::to_string(PACK_MAX_INPUT_IMAGE_BYTES >> 20) + " MiB of pixels)";
        return false;
    }
    const bool transparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // Palette images are read as their indexes (one byte each) and given their colours here:
    // an index past the palette has no colour (libpng makes it opaque black, with a warning at
    // most), so it is refused, as libpng refuses it when its benign errors count.
    const bool indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    if (indexed) png_set_packing(png);
    else if (depth < 8 || transparentColour) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!indexed && !(colourType & PNG_COLOR_MASK_ALPHA) && !transparentColour) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * (indexed ? 1 : 4)) png_error(png, "unexpected row size");
    image.width = int32_t(w);
    image.height = int32_t(h);
    image.rgba.assign(size_t(w) * size_t(h) * 4, 0);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, &image.rgba[size_t(y) * size_t(w) * 4], nullptr);
    if (indexed && !Colour(png, info, image, error)) {
        png_destroy_read_struct(&png, &info, nullptr);
        image = PackImage();
        return false;
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool GamePack_ReadPng(const std::string& path, PackImage& image, std::string& error)
{
    std::string bytes, why;
    if (!GamePack_ReadFile(path, bytes, why)) {
        error = "cannot read the image " + path + ": " + why;
        return false;
    }
    if (!GamePack_DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error)) {
        error = "cannot read the image " + path + ": " + error;
        return false;
    }
    return true;
}

// A page within the texture limit is one the runner's PNG decoder reads.
static_assert(PACK_MAX_PAGE_SIDE == GR_TEXTURE_MAX_SIDE, "the runner's texture limit");
static_assert(uint32_t(PACK_MAX_PAGE_SIDE) <= GR_PNG_MAX_SIDE &&
                  uint64_t(PACK_MAX_PAGE_SIDE) * PACK_MAX_PAGE_SIDE * 4 <= GR_PNG_MAX_BYTES,
              "a page the runner's decoder reads");

std::string GamePack_PageLimit(int32_t width, int32_t height)
{
    if (width <= PACK_MAX_PAGE_SIDE && height <= PACK_MAX_PAGE_SIDE) return "";
    return std::to_string(width) + " x " + std::to_string(height) + " pixels is more than a texture page holds (at most " +
           std::to_string(PACK_MAX_PAGE_SIDE) + " pixels a side)";
}

bool GamePack_EncodePng(const PackImage& image, std::vector<uint8_t>& out)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.rgba.data(), 0, nullptr)) return false;
    out.assign(size, 0);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.rgba.data(), 0, nullptr)) return false;
    out.resize(size);
    return true;
}

PackImage GamePack_SubImage(const PackImage& image, int32_t x, int32_t y, int32_t w, int32_t h)
{
    PackImage sub;
    sub.width = w;
    sub.height = h;
    sub.rgba.assign(size_t(w) * size_t(h) * 4, 0);
    for (int32_t row = 0; row < h; ++row) {
        if (y + row >= image.height) break;
        int32_t n = std::min(w, image.width - x);
        if (n <= 0) break;
        std::memcpy(&sub.rgba[size_t(row) * size_t(w) * 4], &image.rgba[(size_t(y + row) * size_t(image.width) + size_t(x)) * 4],
                    size_t(n) * 4);
    }
    return sub;
}

PackedPages GamePack_PackPages(const std::vector<const PackImage*>& images, int32_t pageSize)
{
    PackedPages out;
    out.placements.resize(images.size());
    std::vector<size_t> order(images.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return images[a]->height > images[b]->height; });

    struct Page {
        int32_t width, height, shelfY, shelfHeight, cursorX;
    };
    std::vector<Page> pages;
    for (size_t i : order) {
        const int32_t w = std::max(images[i]->width, 1), h = std::max(images[i]->height, 1);
        int32_t found = -1;
        for (size_t p = 0; p < pages.size() && found < 0; ++p) {
            Page& pg = pages[p];
            if (pg.cursorX + w <= pg.width && pg.shelfY + h <= pg.height) {
                found = int32_t(p);
            } else if (pg.shelfY + pg.shelfHeight + 1 + h <= pg.height && w <= pg.width) {
                pg.shelfY += pg.shelfHeight + 1;
                pg.shelfHeight = 0;
                pg.cursorX = 0;
                found = int32_t(p);
            }
        }
        if (found < 0) {
            // A new page: the usual size, or exactly the image's own when it is larger (so
            // nothing else joins it and the page stays within what the runner decodes).
            if (w > pageSize || h > pageSize) pages.push_back({w, h, 0, 0, 0});
            else pages.push_back({pageSize, pageSize, 0, 0, 0});
            found = int32_t(pages.size() - 1);
        }
        Page& pg = pages[size_t(found)];
        out.placements[i] = {found, pg.cursorX, pg.shelfY};
        pg.cursorX += w + 1;
        pg.shelfHeight = std::max(pg.shelfHeight, h);
    }
    // Each page is cut down to what it holds.
    for (size_t k = 0; k < pages.size(); ++k) {
        PackImage page;
        page.width = 1;
        page.height = 1;
        out.pages.push_back(page);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        PackImage& page = out.pages[size_t(out.placements[i].page)];
        page.width = std::max(page.width, out.placements[i].x + images[i]->width);
        page.height = std::max(page.height, out.placements[i].y + images[i]->height);
    }
    for (PackImage& page : out.pages) page.rgba.assign(size_t(page.width) * size_t(page.height) * 4, 0);
    for (size_t i = 0; i < images.size(); ++i) {
        const PackImage& img = *images[i];
        PackImage& page = out.pages[size_t(out.placements[i].page)];
        for (int32_t row = 0; row < img.height; ++row)
            std::memcpy(&page.rgba[(size_t(out.placements[i].y + row) * size_t(page.width) + size_t(out.placements[i].x)) * 4],
                        &img.rgba[size_t(row) * size_t(img.width) * 4], size_t(img.width) * 4);
    }
    return out;
}
