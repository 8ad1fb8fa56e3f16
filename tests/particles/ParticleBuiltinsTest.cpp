// The particle built-ins through the function table: every name registered with its argument
// count, the argument conversions (indexes and counts rounded half to even, flags from 0.5,
// colours rounded, reals to single precision), the answers, the part_type_color and
// part_type_alpha aliases, and action_effect with the relative flag.
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/Object/Instance.h"
#include "ParticleTestSupport.h"

namespace {

using Builtins = ParticleTest;

TEST_F(Builtins, TypesThroughTheTable)
{
    EXPECT_EQ(CallBuiltin("part_type_create", {}), 0);
    EXPECT_EQ(CallBuiltin("part_type_create", {}), 1);
    EXPECT_EQ(CallBuiltin("part_type_exists", {0.6}), 1) << "0.6 rounds to 1";
    EXPECT_EQ(CallBuiltin("part_type_exists", {1.5}), 0) << "1.5 rounds to 2";
    EXPECT_EQ(CallBuiltin("part_type_exists", {0.5}), 1) << "0.5 rounds to 0";
    CallBuiltin("part_type_life", {1, 10.5, 11.5});
    const ParticleType* t = ParticleType_Get(1);
    EXPECT_EQ(t->lifeMin, 10);
    EXPECT_EQ(t->lifeMax, 12);
    CallBuiltin("part_type_orientation", {1, 0.1, 0.2, 0.3, 0.4, 0.5});
    EXPECT_EQ(t->orientMax, 0.2f);
    EXPECT_EQ(t->orientRelative, 1) << "flags are true from 0.5";
    CallBuiltin("part_type_sprite", {1, 4, 0.49, 1, 0});
    EXPECT_EQ(t->sprite, 4);
    EXPECT_EQ(t->animate, 0);
    EXPECT_EQ(t->stretch, 1);
    CallBuiltin("part_type_color", {1, 255.4, 65280, 16711680});
    EXPECT_EQ(t->colourMode, 2);
    EXPECT_EQ(t->colour[0], 255u);
    EXPECT_EQ(t->colour[2], 0xFF0000u);
    CallBuiltin("part_type_alpha", {1, 0.1, 0.2, 0.3});
    EXPECT_EQ(t->alphaMiddle, 0.2f);
    CallBuiltin("part_type_color_hsv", {1, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(t->colourMode, 4);
    EXPECT_EQ(t->colour[5], 6u);
    CallBuiltin("part_type_step", {1, -3, 0});
    EXPECT_EQ(t->stepNumber, -3);
    CallBuiltin("part_type_destroy", {1});
    EXPECT_EQ(CallBuiltin("part_type_exists", {1}), 0);
}

TEST_F(Builtins, SystemsParticlesAndParts)
{
    const double s = CallBuiltin("part_system_create", {});
    const double t = CallBuiltin("part_type_create", {});
    EXPECT_EQ(CallBuiltin("part_system_exists", {s}), 1);
    CallBuiltin("part_particles_create", {s, 10.25, 20.75, t, 2.5});
    EXPECT_EQ(CallBuiltin("part_particles_count", {s}), 2) << "2.5 rounds to 2";
    EXPECT_EQ(Live((int32_t)s)[0].x, 10.25f);
    CallBuiltin("part_particles_create_color", {s, 0, 0, t, 0xABCDEF, 1});
    EXPECT_EQ(Live((int32_t)s)[2].colour, 0xABCDEFu);
    CallBuiltin("part_system_depth", {s, -7.5});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->depth, -7.5f);
    const double e = CallBuiltin("part_emitter_create", {s});
    EXPECT_EQ(e, 0);
    EXPECT_EQ(CallBuiltin("part_emitter_exists", {s, e}), 1);
    CallBuiltin("part_emitter_region", {s, e, 0, 10, 0, 10, 1, 2});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->emitters[0].distribution, 2);
    CallBuiltin("part_emitter_burst", {s, e, t, 4});
    EXPECT_EQ(CallBuiltin("part_particles_count", {s}), 7);
    CallBuiltin("part_system_automatic_update", {s, 0});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->autoUpdate, 0);
    CallBuiltin("part_system_update", {s});
    EXPECT_EQ(Live((int32_t)s)[0].age, 1);
    EXPECT_EQ(CallBuiltin("part_attractor_create", {s}), 0);
    CallBuiltin("part_attractor_force", {s, 0, 1.5, 30, 2, 0});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->attractors[0].additive, 0);
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->attractors[0].kind, 2);
    EXPECT_EQ(CallBuiltin("part_changer_create", {s}), 0);
    CallBuiltin("part_changer_types", {s, 0, 3, 4});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->changers[0].typeTo, 4);
    EXPECT_EQ(CallBuiltin("part_deflector_create", {s}), 0);
    CallBuiltin("part_deflector_friction", {s, 0, 0.25});
    EXPECT_EQ(ParticleSystem_Get((int32_t)s)->deflectors[0].friction, 0.25f);
    EXPECT_EQ(CallBuiltin("part_destroyer_create", {s}), 0);
    CallBuiltin("part_destroyer_destroy_all", {s});
    EXPECT_EQ(CallBuiltin("part_destroyer_exists", {s, 0}), 0);
    EXPECT_EQ(CallBuiltin("part_emitter_create", {99}), -1);
    CallBuiltin("part_particles_clear", {s});
    EXPECT_EQ(CallBuiltin("part_particles_count", {s}), 0);
    CallBuiltin("part_system_destroy", {s});
    EXPECT_EQ(CallBuiltin("part_system_exists", {s}), 0);
    EXPECT_EQ(CallBuiltin("part_particles_count", {s}), 0);
}

TEST_F(Builtins, EffectsAndTheAction)
{
    CallBuiltin("effect_create_above", {EF_STAR, 10, 20, 1, 0xFF});
    EXPECT_EQ(ParticleSystem_Count(Effect_System(false)), 1);
    CallBuiltin("effect_create_below", {EF_RING, 10, 20, 1, 0xFF});
    EXPECT_EQ(ParticleSystem_Count(Effect_System(true)), 1);
    CallBuiltin("effect_clear", {});
    EXPECT_EQ(ParticleSystem_Count(Effect_System(true)), 0);
    // action_effect(kind, x, y, size, colour, where): where 0 below, else above; relative
    // positions add the instance's.
    CInstance self(100, 200, 100001, -1, false);
    int32_t id = -1;
    ASSERT_TRUE(Code_Function_Find("action_effect", &id));
    ScriptValue args[6] = {Value_Real(EF_FLARE), Value_Real(5), Value_Real(6), Value_Real(1), Value_Real(0xFF),
                           Value_Real(0)};
    ScriptValue result = Value_Real(0);
    Function_SetRelative(1);
    Function_Get(id)->f(&result, &self, &self, 6, args);
    Function_SetRelative(0);
    ASSERT_EQ(ParticleSystem_Count(Effect_System(true)), 1);
    EXPECT_EQ(Live(Effect_System(true))[0].x, 105.0f);
    EXPECT_EQ(Live(Effect_System(true))[0].y, 206.0f);
    args[5] = Value_Real(1);
    Function_Get(id)->f(&result, &self, &self, 6, args);
    ASSERT_EQ(ParticleSystem_Count(Effect_System(false)), 1);
    EXPECT_EQ(Live(Effect_System(false))[0].x, 5.0f);
}

TEST_F(Builtins, EveryNameIsRegisteredOnce)
{
    CallBuiltin("part_type_exists", {0}); // registers the group
    const char* names[] = {"part_type_create", "part_type_scale", "part_type_speed", "part_type_direction",
                           "part_type_gravity", "part_type_color1", "part_type_color2", "part_type_color3",
                           "part_type_color_rgb", "part_type_color_mix", "part_type_alpha1", "part_type_alpha2",
                           "part_type_alpha3", "part_type_blend", "part_type_clear", "part_type_death",
                           "part_type_size", "part_type_shape", "part_system_clear", "part_system_draw_order",
                           "part_system_position", "part_system_automatic_draw", "part_system_drawit",
                           "part_emitter_destroy", "part_emitter_destroy_all", "part_emitter_clear",
                           "part_emitter_stream", "part_attractor_destroy", "part_attractor_destroy_all",
                           "part_attractor_exists", "part_attractor_clear", "part_attractor_position",
                           "part_destroyer_destroy", "part_destroyer_clear", "part_destroyer_region",
                           "part_deflector_destroy", "part_deflector_destroy_all", "part_deflector_exists",
                           "part_deflector_clear", "part_deflector_region", "part_deflector_kind",
                           "part_changer_destroy", "part_changer_destroy_all", "part_changer_exists",
                           "part_changer_clear", "part_changer_region", "part_changer_kind"};
    for (const char* n : names) {
        int32_t id = -1;
        EXPECT_TRUE(Code_Function_Find(n, &id)) << n;
    }
    int count = 0;
    for (int32_t i = 0; i < Function_Count(); ++i)
        if (const BuiltinFunction* f = Function_Get(i))
            if (std::string(f->name) == "part_emitter_region") {
                ++count;
                EXPECT_EQ(f->argCount, 8);
            }
    EXPECT_EQ(count, 1);
}

} // namespace
