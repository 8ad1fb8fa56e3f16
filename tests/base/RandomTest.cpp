// The WELL512a generator against the published reference algorithm, transcribed below with
// 32-bit types, for several seeds; plus the seeding and the two back ends.
#include <gtest/gtest.h>

#include <cstdint>

#include "Files/Base/Random.h"

namespace {

// ---- WELL512a as published by Panneton, L'Ecuyer and Matsumoto (WELL512a.c), with
// "unsigned int" made uint32_t. The integer output is STATE[state_i] after the step.
#define W 32
#define R 16
#define M1 13
#define M2 9
#define MAT0POS(t, v) (v ^ (v >> t))
#define MAT0NEG(t, v) (v ^ (v << (-(t))))
#define MAT3NEG(t, v) (v << (-(t)))
#define MAT4NEG(t, b, v) (v ^ ((v << (-(t))) & b))
#define V0 STATE[state_i]
#define VM1 STATE[(state_i + M1) & 0x0000000fU]
#define VM2 STATE[(state_i + M2) & 0x0000000fU]
#define VRm1 STATE[(state_i + 15) & 0x0000000fU]
#define newV0 STATE[(state_i + 15) & 0x0000000fU]
#define newV1 STATE[state_i]
#define FACT 2.32830643653869628906e-10

struct Reference {
    uint32_t state_i = 0;
    uint32_t STATE[R];
    uint32_t z0, z1, z2;

    void InitWELLRNG512a(const uint32_t* init)
    {
        state_i = 0;
        for (int j = 0; j < R; j++) STATE[j] = init[j];
    }
    uint32_t WELLRNG512a()
    {
        z0 = VRm1;
        z1 = MAT0NEG(-16, V0) ^ MAT0NEG(-15, VM1);
        z2 = MAT0POS(11, VM2);
        newV1 = z1 ^ z2;
        newV0 = MAT0NEG(-2, z0) ^ MAT0NEG(-18, z1) ^ MAT3NEG(-28, z2) ^ MAT4NEG(-5, 0xda442d24U, newV1);
        state_i = (state_i + 15) & 0x0000000fU;
        return STATE[state_i];
    }
};

#undef W
#undef R
#undef M1
#undef M2
#undef MAT0POS
#undef MAT0NEG
#undef MAT3NEG
#undef MAT4NEG
#undef V0
#undef VM1
#undef VM2
#undef VRm1
#undef newV0
#undef newV1

// The runner's seeding: a 15-bit linear congruential sequence fills the 16 words.
void SeedWords(uint32_t seed, uint32_t out[16])
{
    uint32_t x = seed;
    for (int k = 0; k < 16; ++k) {
        x = ((x * 214013u + 2531011u) >> 16) & 0x7FFFu;
        out[k] = x;
    }
}

} // namespace

TEST(Random, MatchesPublishedWell512aForSeveralSeeds)
{
    for (uint32_t seed : {0u, 1u, 42u, 123456789u, 0x80000000u, 0xFFFFFFFFu}) {
        uint32_t init[16];
        SeedWords(seed, init);
        Reference ref;
        ref.InitWELLRNG512a(init);
        EXPECT_EQ(Random_SetSeed(seed), seed);
        EXPECT_EQ(Random_GetSeed(), seed);
        for (int i = 0; i < 20000; ++i) {
            uint32_t want = ref.WELLRNG512a();
            ASSERT_EQ(NextRandom(), want) << "seed " << seed << " draw " << i;
        }
    }
}

TEST(Random, SeedZeroStateAndSequenceRepeats)
{
    uint32_t init[16];
    SeedWords(0, init);
    EXPECT_EQ(init[0], 38u); // (2531011 >> 16) & 0x7FFF
    for (uint32_t w : init) EXPECT_LT(w, 32768u);
    Random_SetSeed(7);
    uint32_t first[5];
    for (auto& v : first) v = NextRandom();
    Random_SetSeed(7);
    for (auto v : first) EXPECT_EQ(NextRandom(), v);
}

TEST(Random, RealAndIntStayInRangeAndDrawOnce)
{
    Random_SetSeed(99);
    Reference ref;
    uint32_t init[16];
    SeedWords(99, init);
    ref.InitWELLRNG512a(init);
    EXPECT_EQ(Random_Real(1.0), double(ref.WELLRNG512a()) * FACT);
#undef FACT
    EXPECT_EQ(Random_Int(1000), ref.WELLRNG512a() % 1000u);
    EXPECT_EQ(Random_Int(-6), ref.WELLRNG512a() % 6u);
    EXPECT_EQ(Random_Int(0), 0u); // no division by zero; the draw is still taken
    ref.WELLRNG512a();
    EXPECT_EQ(Random_Int(INT32_MIN), ref.WELLRNG512a() % 0x80000000u);
    for (int i = 0; i < 100000; ++i) {
        double r = Random_Real(1.0);
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        double n = Random_Real(-3.0);
        ASSERT_LE(n, 0.0);
        ASSERT_GT(n, -3.0);
        ASSERT_LT(Random_Int(-6), 6u);
    }
}
