// The built-in image table, made once by our own code (see BuiltinImages.h). No host
// library here except through GR_DebugFont_Render (Linux/BuiltinImagesM.cpp).
#include "Files/Graphics/BuiltinImages.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Files/Graphics_API/TBitmap.h"

namespace {

std::vector<uint8_t> g_table;
GR_DebugGlyph g_glyphs[GR_DEBUG_GLYPHS];

void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back((uint8_t)(x >> (8 * i)));
}

// A DDS file of one-byte alpha pixels.
std::vector<uint8_t> AlphaDDS(const std::vector<uint8_t>& alpha, int32_t w, int32_t h)
{
    std::vector<uint8_t> d;
    d.insert(d.end(), {'D', 'D', 'S', ' '});
    Put32(d, 124);
    Put32(d, 0x100F);        // caps, height, width, pitch, pixel format
    Put32(d, (uint32_t)h);
    Put32(d, (uint32_t)w);
    Put32(d, (uint32_t)w);   // pitch
    Put32(d, 0);
    Put32(d, 1);
    for (int i = 0; i < 11; ++i) Put32(d, 0);
    Put32(d, 32);            // pixel format size
    Put32(d, 0x2);           // alpha only
    Put32(d, 0);
    Put32(d, 8);
    Put32(d, 0);
    Put32(d, 0);
    Put32(d, 0);
    Put32(d, 0xFF);
    Put32(d, 0x1000);        // caps: texture
    for (int i = 0; i < 4; ++i) Put32(d, 0);
    d.insert(d.end(), alpha.begin(), alpha.end());
    return d;
}

uint8_t Clamp(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : (uint8_t)(v + 0.5); }

// Pseudo-random noise with a fixed seed (the shapes are the same on every run).
struct Noise {
    uint32_t s = 0x2545F491u;
    double Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s & 0xFFFF) / 65535.0;
    }
};

std::vector<uint8_t> Shape(int32_t kind)
{
    const int N = 64;
    std::vector<uint8_t> a(N * N, 0);
    Noise noise;
    std::vector<double> blobs;
    for (int i = 0; i < 24; ++i) blobs.push_back(noise.Next());
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            double dx = (x + 0.5 - N / 2.0) / (N / 2.0), dy = (y + 0.5 - N / 2.0) / (N / 2.0);
            double r = std::sqrt(dx * dx + dy * dy), ang = std::atan2(dy, dx), v = 0;
            switch (kind) {
            case GR_SHAPE_PIXEL: v = (std::fabs(dx) < 0.1 && std::fabs(dy) < 0.1) ? 255 : 0; break;
            case GR_SHAPE_DISK: v = r < 0.95 ? 255 : 0; break;
            case GR_SHAPE_SQUARE: v = (std::fabs(dx) < 0.95 && std::fabs(dy) < 0.95) ? 255 : 0; break;
            case GR_SHAPE_LINE: v = std::fabs(dy) < 0.06 && std::fabs(dx) < 0.95 ? 255 : 0; break;
            case GR_SHAPE_STAR: v = 255 * (1 - r / (0.35 + 0.6 * std::pow(std::fabs(std::cos(2.5 * ang)), 3))); break;
            case GR_SHAPE_CIRCLE: v = (r > 0.8 && r < 0.95) ? 255 : 0; break;
            case GR_SHAPE_RING: v = 255 * std::exp(-std::pow((r - 0.7) / 0.12, 2)); break;
            case GR_SHAPE_SPHERE: v = 255 * (1 - r) * (1 - r) * 1.5; break;
            case GR_SHAPE_FLARE: v = 255 * std::max(std::exp(-r * 6), 0.6 * std::exp(-std::fabs(dx * dy) * 60) * (1 - r)); break;
            case GR_SHAPE_SPARK: v = 255 * std::exp(-std::fabs(dx) * 12) * (1 - std::fabs(dy)) + 255 * std::exp(-std::fabs(dy) * 12) * (1 - std::fabs(dx)); break;
            case GR_SHAPE_EXPLOSION: v = 255 * (1 - r) * (0.6 + 0.4 * blobs[(int)((ang + M_PI) / (2 * M_PI) * 23.99)]); break;
            case GR_SHAPE_CLOUD:
            case GR_SHAPE_SMOKE: {
                double t = 0;
                for (int i = 0; i < 8; ++i) {
                    double bx = blobs[i * 3] - 0.5, by = blobs[i * 3 + 1] - 0.5, br = 0.25 + 0.3 * blobs[i * 3 + 2];
                    double d = std::sqrt((dx - bx) * (dx - bx) + (dy - by) * (dy - by));
                    t = std::max(t, 1 - d / br);
                }
                v = 255 * t * (kind == GR_SHAPE_SMOKE ? 0.7 : 1.0) * (r < 1 ? 1 : 0);
                break;
            }
            case GR_SHAPE_SNOW: {
                double arm = std::fabs(std::sin(3 * ang));
                v = (arm < 0.12 && r < 0.9) || r < 0.15 ? 255 : 0;
                break;
            }
            default: v = 255 * std::max(0.0, 1 - std::max(std::fabs(dx), std::fabs(dy))) * 2; break;
            }
            a[y * N + x] = Clamp(v);
        }
    return a;
}

uint32_t Crc(const uint8_t* p, size_t n) { return (uint32_t)crc32(0, p, (uInt)n); }

// A 16 x 16 opaque white PNG with a grey frame.
std::vector<uint8_t> StartupPNG()
{
    const int N = 16;
    std::vector<uint8_t> raw;
    for (int y = 0; y < N; ++y) {
        raw.push_back(0);
        for (int x = 0; x < N; ++x) {
            bool edge = x == 0 || y == 0 || x == N - 1 || y == N - 1;
            uint8_t c = edge ? 128 : 255;
            raw.insert(raw.end(), {c, c, c, 255});
        }
    }
    uLongf zlen = compressBound((uLong)raw.size());
    std::vector<uint8_t> z(zlen);
    compress(z.data(), &zlen, raw.data(), (uLong)raw.size());
    z.resize(zlen);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* tag, const std::vector<uint8_t>& body) {
        uint32_t n = (uint32_t)body.size();
        for (int i = 3; i >= 0; --i) png.push_back((uint8_t)(n >> (8 * i)));
        size_t start = png.size();
        png.insert(png.end(), tag, tag + 4);
        png.insert(png.end(), body.begin(), body.end());
        uint32_t c = Crc(png.data() + start, png.size() - start);
        for (int i = 3; i >= 0; --i) png.push_back((uint8_t)(c >> (8 * i)));
    };
    chunk("IHDR", {0, 0, 0, N, 0, 0, 0, N, 8, 6, 0, 0, 0});
    chunk("IDAT", z);
    chunk("IEND", {});
    return png;
}

} // namespace

const GR_DebugGlyph* GR_DebugFont_Glyphs()
{
    GR_BuiltinImages_Default();
    return g_glyphs;
}

int32_t GR_DebugFont_LineHeight() { return GR_DEBUG_LINE_HEIGHT; }

const uint8_t* GR_BuiltinImages_Default()
{
    if (!g_table.empty()) return g_table.data();
    std::vector<std::vector<uint8_t>> images;
    for (int32_t i = 0; i < 15; ++i) images.push_back(AlphaDDS(Shape(i), 64, 64));
    std::vector<uint8_t> page(256 * 128, 0);
    GR_DebugFont_Render(page.data(), g_glyphs);
    images.push_back(AlphaDDS(page, 256, 128));
    images.push_back(StartupPNG());
    std::vector<uint8_t> t;
    Put32(t, (uint32_t)images.size());
    uint32_t offset = 4 + 8 * (uint32_t)images.size();
    for (auto& img : images) {
        Put32(t, (uint32_t)img.size());
        Put32(t, offset);
        offset += (uint32_t)img.size();
    }
    for (auto& img : images) t.insert(t.end(), img.begin(), img.end());
    g_table = std::move(t);
    return g_table.data();
}
