// The built-in image table of the runner (Files/Graphics/BuiltinImages.h), made when the
// runner is built instead of at every start: fifteen 64x64 alpha particle shapes, a blank
// 256x128 debug font page (the runner draws it on first use) and a 16x16 start-up PNG, in the
// table layout (u32 count, {u32 size, u32 offset} per image, then the data).
//
//   builtin_images_gen OUTPUT.inc     writes `static const uint8_t kBuiltinImageTable[]`
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Files/Graphics/BuiltinImages.h"

namespace {

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
            // The angle only for the shapes that use it (an atan2 a pixel was most of the
            // table's time).
            const bool angular = kind == GR_SHAPE_STAR || kind == GR_SHAPE_EXPLOSION || kind == GR_SHAPE_SNOW;
            double r = std::sqrt(dx * dx + dy * dy), ang = angular ? std::atan2(dy, dx) : 0.0, v = 0;
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

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: builtin_images_gen OUTPUT.inc\n");
        return 2;
    }
    std::vector<std::vector<uint8_t>> images;
    for (int32_t i = 0; i < 15; ++i) images.push_back(AlphaDDS(Shape(i), 64, 64));
    images.push_back(AlphaDDS(std::vector<uint8_t>(256 * 128, 0), 256, 128)); // drawn on first use
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
    FILE* f = std::fopen(argv[1], "w");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(f, "// Made by tools/builtin_images (builtin_images_gen); do not edit.\n");
    std::fprintf(f, "static const uint8_t kBuiltinImageTable[%zu] = {\n", t.size());
    for (size_t i = 0; i < t.size(); ++i) std::fprintf(f, "%u%s", t[i], i + 1 == t.size() ? "\n" : (i % 32 == 31 ? ",\n" : ","));
    std::fprintf(f, "};\n");
    return std::fclose(f) == 0 ? 0 : 1;
}
