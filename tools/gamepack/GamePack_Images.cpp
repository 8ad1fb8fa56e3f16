// PNG reading and writing (libpng's simplified interface) and the packing of images onto
// texture pages (shelves, tallest first, one pixel apart).
#include <png.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "GamePack_Project.h"

bool GamePack_ReadPng(const std::string& path, PackImage& image, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = "cannot read the image " + path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = int32_t(png.width);
    image.height = int32_t(png.height);
    image.rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        error = "cannot decode the image " + path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

bool GamePack_DecodePng(const uint8_t* data, size_t size, PackImage& image)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size)) return false;
    png.format = PNG_FORMAT_RGBA;
    image.width = int32_t(png.width);
    image.height = int32_t(png.height);
    image.rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
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
            // A new page: the usual size, or the image's own when it is larger.
            pages.push_back({std::max(pageSize, w), std::max(pageSize, h), 0, 0, 0});
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
