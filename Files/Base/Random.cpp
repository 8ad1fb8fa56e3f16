// WELL512a generator state and its seeding. Needs nothing else.
#include "Files/Base/Random.h"

#include <array>

namespace {

struct RandomState {
    std::array<uint32_t, 16> words;
    uint32_t index;
    uint32_t seed;
};

constexpr RandomState Seeded(uint32_t seed)
{
    RandomState s{};
    s.seed = seed;
    uint32_t x = seed;
    for (uint32_t& w : s.words) {
        x = ((x * 214013u + 2531011u) >> 16) & 0x7FFFu;
        w = x;
    }
    s.index = 0;
    return s;
}

// Constant-initialised, so the state of seed 0 is there before any static constructor runs.
constinit RandomState g_random = Seeded(0);

} // namespace

uint32_t Random_SetSeed(uint32_t seed)
{
    g_random = Seeded(seed);
    return seed;
}

uint32_t Random_GetSeed() { return g_random.seed; }

uint32_t NextRandom()
{
    auto& S = g_random.words;
    uint32_t i = g_random.index;
    uint32_t a = S[i];
    uint32_t c = S[(i + 13) & 15];
    uint32_t b = a ^ c ^ (a << 16) ^ (c << 15);
    c = S[(i + 9) & 15];
    c ^= c >> 11;
    a = b ^ c;
    S[i] = a;
    uint32_t d = a ^ ((a << 5) & 0xDA442D24u);
    i = (i + 15) & 15;
    a = S[i];
    S[i] = a ^ b ^ d ^ (a << 2) ^ (b << 18) ^ (c << 28);
    g_random.index = i;
    return S[i];
}

double Random_Real(double x) { return double(NextRandom()) * 2.3283064365386963e-10 * x; }

uint32_t Random_Int(int32_t n)
{
    uint32_t r = NextRandom();
    uint32_t bound = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
    return bound ? r % bound : 0u;
}
