// The one random-number generator of the program: WELL512a (Panneton, L'Ecuyer, Matsumoto)
// with 16 state words, seeded from a 15-bit linear congruential sequence. Scripts reach it
// through random, irandom, choose, the data-structure shuffles and the particle systems;
// random_set_seed / randomize seed it and random_get_seed reads the kept seed. Backed by
// Files/Base/Random.cpp; no host library.
//
// Until the first Random_SetSeed the generator holds the state of seed 0, so an unseeded game
// draws the sequence of seed 0. Main thread only.
#pragma once

#include <cstdint>

// Keeps the seed, refills the state from it (x = ((x * 214013 + 2531011) >> 16) & 0x7FFF per
// word) and restarts at word 0; returns the seed.
uint32_t Random_SetSeed(uint32_t seed);
// The last seed given (0 before any).
uint32_t Random_GetSeed();
// The next 32-bit word of the generator.
uint32_t NextRandom();
// One draw times 2^-32 times x: [0, x) for positive x, (x, 0] for negative x.
double Random_Real(double x);
// One draw modulo |n| (unsigned): 0 .. |n| - 1. A bound of 0 still draws and gives 0.
uint32_t Random_Int(int32_t n);
