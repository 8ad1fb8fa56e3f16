// Fuzz target: arbitrary bytes as a program of particle calls, the way scripts make them:
// each call an opcode byte and its arguments (indexes and counts as small signed numbers,
// reals as any 32-bit pattern: NaN, infinities, huge values), then updates and draws (no device:
// the drawing walks the particles and writes nothing). Crashes, sanitizer reports and hangs
// are the findings; afterwards every system's count stays within its limit and its storage.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/Random.h"
#include "Files/Particle/Particle_Main.h"

namespace {

class Quiet : public tagIConsole {
public:
    bool Query(int, int) override { return true; }
    void Output(const char*, ...) override {}
};

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t Byte()
    {
        if (!n) return 0;
        --n;
        return *p++;
    }
    // Small indexes and counts, negative ones too.
    int32_t Small() { return (int8_t)Byte() % 24; }
    int32_t Count() { return (int8_t)Byte(); }
    float Real()
    {
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = bits << 8 | Byte();
        float f;
        std::memcpy(&f, &bits, 4);
        // Mostly ordinary values, sometimes any pattern.
        if ((bits & 0x0F000000u) != 0) f = (float)((int32_t)(bits & 0xFFFF) - 32768) / 64.0f;
        return f;
    }
};

void Check(bool ok)
{
    if (!ok) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Quiet quiet;
    Console_Set(&quiet);
    Particle_ResetAll();
    Random_SetSeed(1);
    Reader r{data, size};
    // Whole-system passes are bounded per input: a few self-spawning types reach the per-system
    // cap within a handful of passes, and each later pass over a million particles finds
    // nothing new while it takes the sanitizer build most of a second.
    int passes = 0;
    for (int ops = 0; r.n && ops < 400; ++ops) {
        const uint8_t op = r.Byte();
        const int32_t s = r.Small();
        const int kind = op % 40;
        if ((kind == 6 || kind == 7 || kind == 39) && ++passes > 5) continue;
        switch (kind) {
        case 0: ParticleSystem_Create(); break;
        case 1: ParticleType_Create(); break;
        case 2: ParticleSystem_Destroy(s); break;
        case 3: ParticleType_Destroy(s); break;
        case 4: Particle_Create(s, r.Real(), r.Real(), r.Small(), r.Count()); break;
        case 5: Particle_CreateColour(s, r.Real(), r.Real(), r.Small(), r.Byte() * 0x10101u, r.Count()); break;
        case 6: ParticleSystem_Update(s); break;
        case 7: ParticleSystem_Draw(s); break;
        case 8: ParticleType_Life(s, r.Count(), r.Count()); break;
        case 9: ParticleType_Step(s, r.Count() % 4, r.Small()); break;
        case 10: ParticleType_Death(s, r.Count() % 4, r.Small()); break;
        case 11: ParticleType_Speed(s, r.Real(), r.Real(), r.Real(), r.Real()); break;
        case 12: ParticleType_Direction(s, r.Real(), r.Real(), r.Real(), r.Real()); break;
        case 13: ParticleType_Gravity(s, r.Real(), r.Real()); break;
        case 14: ParticleType_Size(s, r.Real(), r.Real(), r.Real(), r.Real()); break;
        case 15: ParticleType_Orientation(s, r.Real(), r.Real(), r.Real(), r.Real(), r.Byte() & 1); break;
        case 16: ParticleType_ColourRGB(s, r.Byte(), r.Byte() * 3u, r.Byte(), r.Byte(), r.Byte(), 0xFFFFFFFFu); break;
        case 17: ParticleType_ColourHSV(s, r.Byte(), r.Byte(), r.Byte(), r.Byte(), r.Byte(), r.Byte()); break;
        case 18: ParticleType_Colour3(s, r.Byte(), r.Byte() << 8, r.Byte() << 16); break;
        case 19: ParticleType_ColourMix(s, r.Byte(), r.Byte() << 16); break;
        case 20: ParticleType_Alpha3(s, r.Real(), r.Real(), r.Real()); break;
        case 21: ParticleType_Shape(s, r.Count()); break;
        case 22: ParticleType_Sprite(s, r.Count(), r.Byte() & 1, r.Byte() & 1, r.Byte() & 1); break;
        case 23: ParticleEmitter_Create(s); break;
        case 24: ParticleEmitter_Region(s, r.Small(), r.Real(), r.Real(), r.Real(), r.Real(), r.Small(), r.Small()); break;
        case 25: ParticleEmitter_Burst(s, r.Small(), r.Small(), r.Count()); break;
        case 26: ParticleEmitter_Stream(s, r.Small(), r.Small(), r.Count() % 16); break;
        case 27: ParticleAttractor_Create(s); break;
        case 28: ParticleAttractor_Position(s, r.Small(), r.Real(), r.Real()); break;
        case 29: ParticleAttractor_Force(s, r.Small(), r.Real(), r.Real(), r.Small(), r.Byte() & 1); break;
        case 30: ParticleDestroyer_Create(s); break;
        case 31: ParticleDestroyer_Region(s, r.Small(), r.Real(), r.Real(), r.Real(), r.Real(), r.Small()); break;
        case 32: ParticleDeflector_Create(s); break;
        case 33: ParticleDeflector_Region(s, r.Small(), r.Real(), r.Real(), r.Real(), r.Real()); break;
        case 34: ParticleDeflector_Friction(s, r.Small(), r.Real()); break;
        case 35: ParticleChanger_Create(s); break;
        case 36: ParticleChanger_Region(s, r.Small(), r.Real(), r.Real(), r.Real(), r.Real(), r.Small()); break;
        case 37: ParticleChanger_Types(s, r.Small(), r.Small(), r.Small()); ParticleChanger_Kind(s, r.Small(), r.Small()); break;
        case 38: Effect_Create(r.Byte() & 1, r.Small(), r.Real(), r.Real(), r.Small(), r.Byte()); break;
        case 39: {
            ParticleSystem_UpdateAll();
            for (float d = ParticleSystem_MaxDepth(); d > -1e8f; d = ParticleSystem_NextDepthBelow(d))
                ParticleSystem_DrawAtDepth(d);
            break;
        }
        }
        for (int32_t i = 0; i < ParticleSystem_TableSize(); ++i)
            if (const ParticleSystem* sys = ParticleSystem_Get(i)) {
                Check(sys->count >= 0 && sys->count <= PARTICLE_MAX_PER_SYSTEM);
                Check(sys->count <= sys->capacity || sys->count == 0);
                // Particles that are counted are alive.
                for (int32_t k = 0; k < sys->count; k += 97) Check(sys->particles[k].alive == 1);
            }
    }
    Particle_ResetAll();
    return 0;
}
