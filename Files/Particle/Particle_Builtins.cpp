// Built-in script functions of the particle systems: part_type_*, part_system_*,
// part_particles_*, part_emitter_*, part_attractor_*, part_destroyer_*, part_deflector_*,
// part_changer_*, effect_create_below/above, effect_clear and action_effect (Particle_Main.h).
// Argument conversions (Graphics_Args.h): reals become 32-bit floats; indexes, counts, kinds,
// shapes and colours are rounded to integers (halves to even); flags are true from 0.5 up.
// Every function answers the real 0 unless it answers something else.
//
// Needs: the particle module, the action relative flag, the instance (action_effect). No
// Linux/ file.
#include "Files/Code/Code_Function.h"
#include "Files/Graphics/Graphics_Args.h"
#include "Files/Particle/Particle_Main.h"
#include "Files/Object/Instance.h"

using namespace zbargs;

namespace {

#define PB(name) ZB_BUILTIN(name)
#define ARGS_UNUSED ZB_UNUSED

// ---- Types -----------------------------------------------------------------------------------
PB(F_TypeCreate)
{
    ARGS_UNUSED;
    Real(result, ParticleType_Create());
}
PB(F_TypeDestroy)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Destroy(I(args, 0));
}
PB(F_TypeExists)
{
    ARGS_UNUSED;
    Real(result, ParticleType_Exists(I(args, 0)) ? 1 : 0);
}
PB(F_TypeClear)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Clear(I(args, 0));
}
PB(F_TypeShape)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Shape(I(args, 0), I(args, 1));
}
PB(F_TypeSprite)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Sprite(I(args, 0), I(args, 1), B(args, 2), B(args, 3), B(args, 4));
}
PB(F_TypeSize)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Size(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
PB(F_TypeScale)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Scale(I(args, 0), F(args, 1), F(args, 2));
}
PB(F_TypeLife)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Life(I(args, 0), I(args, 1), I(args, 2));
}
PB(F_TypeStep)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Step(I(args, 0), I(args, 1), I(args, 2));
}
PB(F_TypeDeath)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Death(I(args, 0), I(args, 1), I(args, 2));
}
PB(F_TypeSpeed)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Speed(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
PB(F_TypeDirection)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Direction(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
PB(F_TypeOrientation)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Orientation(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), B(args, 5));
}
PB(F_TypeGravity)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Gravity(I(args, 0), F(args, 1), F(args, 2));
}
PB(F_TypeColour1)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Colour1(I(args, 0), Colour(args, 1));
}
PB(F_TypeColour2)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Colour2(I(args, 0), Colour(args, 1), Colour(args, 2));
}
PB(F_TypeColour3)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Colour3(I(args, 0), Colour(args, 1), Colour(args, 2), Colour(args, 3));
}
PB(F_TypeColourRGB)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_ColourRGB(I(args, 0), Colour(args, 1), Colour(args, 2), Colour(args, 3), Colour(args, 4),
                           Colour(args, 5), Colour(args, 6));
}
PB(F_TypeColourHSV)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_ColourHSV(I(args, 0), Colour(args, 1), Colour(args, 2), Colour(args, 3), Colour(args, 4),
                           Colour(args, 5), Colour(args, 6));
}
PB(F_TypeColourMix)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_ColourMix(I(args, 0), Colour(args, 1), Colour(args, 2));
}
PB(F_TypeAlpha1)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Alpha1(I(args, 0), F(args, 1));
}
PB(F_TypeAlpha2)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Alpha2(I(args, 0), F(args, 1), F(args, 2));
}
PB(F_TypeAlpha3)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Alpha3(I(args, 0), F(args, 1), F(args, 2), F(args, 3));
}
PB(F_TypeBlend)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleType_Blend(I(args, 0), B(args, 1));
}

// ---- Systems and particles ---------------------------------------------------------------------
PB(F_SystemCreate)
{
    ARGS_UNUSED;
    Real(result, ParticleSystem_Create());
}
PB(F_SystemDestroy)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Destroy(I(args, 0));
}
PB(F_SystemExists)
{
    ARGS_UNUSED;
    Real(result, ParticleSystem_Exists(I(args, 0)) ? 1 : 0);
}
PB(F_SystemClear)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Clear(I(args, 0));
}
PB(F_SystemDrawOrder)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_DrawOrder(I(args, 0), B(args, 1));
}
PB(F_SystemDepth)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Depth(I(args, 0), F(args, 1));
}
PB(F_SystemPosition)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Position(I(args, 0), F(args, 1), F(args, 2));
}
PB(F_SystemAutoUpdate)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_AutomaticUpdate(I(args, 0), B(args, 1));
}
PB(F_SystemAutoDraw)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_AutomaticDraw(I(args, 0), B(args, 1));
}
PB(F_SystemUpdate)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Update(I(args, 0));
}
PB(F_SystemDrawIt)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleSystem_Draw(I(args, 0));
}
PB(F_ParticlesCreate)
{
    ARGS_UNUSED;
    Real(result, 0);
    Particle_Create(I(args, 0), F(args, 1), F(args, 2), I(args, 3), I(args, 4));
}
PB(F_ParticlesCreateColour)
{
    ARGS_UNUSED;
    Real(result, 0);
    Particle_CreateColour(I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4), I(args, 5));
}
PB(F_ParticlesClear)
{
    ARGS_UNUSED;
    Real(result, 0);
    Particle_ClearAll(I(args, 0));
}
PB(F_ParticlesCount)
{
    ARGS_UNUSED;
    Real(result, ParticleSystem_Count(I(args, 0)));
}

// ---- Parts: the management family of each kind ----------------------------------------------
#define PART_FAMILY(Kind, Prefix)                                                                 \
    PB(F_##Prefix##Create)                                                                        \
    {                                                                                             \
        ARGS_UNUSED;                                                                              \
        Real(result, Kind##_Create(I(args, 0)));                                                  \
    }                                                                                             \
    PB(F_##Prefix##Destroy)                                                                       \
    {                                                                                             \
        ARGS_UNUSED;                                                                              \
        Real(result, 0);                                                                          \
        Kind##_Destroy(I(args, 0), I(args, 1));                                                   \
    }                                                                                             \
    PB(F_##Prefix##DestroyAll)                                                                    \
    {                                                                                             \
        ARGS_UNUSED;                                                                              \
        Real(result, 0);                                                                          \
        Kind##_DestroyAll(I(args, 0));                                                            \
    }                                                                                             \
    PB(F_##Prefix##Exists)                                                                        \
    {                                                                                             \
        ARGS_UNUSED;                                                                              \
        Real(result, Kind##_Exists(I(args, 0), I(args, 1)) ? 1 : 0);                              \
    }                                                                                             \
    PB(F_##Prefix##Clear)                                                                         \
    {                                                                                             \
        ARGS_UNUSED;                                                                              \
        Real(result, 0);                                                                          \
        Kind##_Clear(I(args, 0), I(args, 1));                                                     \
    }

PART_FAMILY(ParticleEmitter, Emitter)
PART_FAMILY(ParticleAttractor, Attractor)
PART_FAMILY(ParticleDestroyer, Destroyer)
PART_FAMILY(ParticleDeflector, Deflector)
PART_FAMILY(ParticleChanger, Changer)

PB(F_EmitterRegion)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleEmitter_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6),
                           I(args, 7));
}
PB(F_EmitterBurst)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleEmitter_Burst(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
PB(F_EmitterStream)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleEmitter_Stream(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
PB(F_AttractorPosition)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleAttractor_Position(I(args, 0), I(args, 1), F(args, 2), F(args, 3));
}
PB(F_AttractorForce)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleAttractor_Force(I(args, 0), I(args, 1), F(args, 2), F(args, 3), I(args, 4), B(args, 5));
}
PB(F_DestroyerRegion)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleDestroyer_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6));
}
PB(F_DeflectorRegion)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleDeflector_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5));
}
PB(F_DeflectorKind)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleDeflector_Kind(I(args, 0), I(args, 1), I(args, 2));
}
PB(F_DeflectorFriction)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleDeflector_Friction(I(args, 0), I(args, 1), F(args, 2));
}
PB(F_ChangerRegion)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleChanger_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6));
}
PB(F_ChangerTypes)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleChanger_Types(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
PB(F_ChangerKind)
{
    ARGS_UNUSED;
    Real(result, 0);
    ParticleChanger_Kind(I(args, 0), I(args, 1), I(args, 2));
}

// ---- Effects ---------------------------------------------------------------------------------
PB(F_EffectBelow)
{
    ARGS_UNUSED;
    Real(result, 0);
    Effect_Create(true, I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4));
}
PB(F_EffectAbove)
{
    ARGS_UNUSED;
    Real(result, 0);
    Effect_Create(false, I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4));
}
PB(F_EffectClear)
{
    ARGS_UNUSED;
    Real(result, 0);
    Effect_Clear();
}
// action_effect(kind, x, y, size, colour, where): where 0 below the instances, else above; the
// position is taken from the instance when the action is relative.
PB(F_ActionEffect)
{
    ARGS_UNUSED;
    Real(result, 0);
    float x = F(args, 1), y = F(args, 2);
    if (Function_GetRelative() && self) {
        x += self->i_x;
        y += self->i_y;
    }
    Effect_Create(I(args, 5) == 0, I(args, 0), x, y, I(args, 3), Colour(args, 4));
}

const Row kRows[] = {
    {"part_type_create", F_TypeCreate, 0},
    {"part_type_destroy", F_TypeDestroy, 1},
    {"part_type_exists", F_TypeExists, 1},
    {"part_type_clear", F_TypeClear, 1},
    {"part_type_shape", F_TypeShape, 2},
    {"part_type_sprite", F_TypeSprite, 5},
    {"part_type_size", F_TypeSize, 5},
    {"part_type_scale", F_TypeScale, 3},
    {"part_type_life", F_TypeLife, 3},
    {"part_type_step", F_TypeStep, 3},
    {"part_type_death", F_TypeDeath, 3},
    {"part_type_speed", F_TypeSpeed, 5},
    {"part_type_direction", F_TypeDirection, 5},
    {"part_type_orientation", F_TypeOrientation, 6},
    {"part_type_gravity", F_TypeGravity, 3},
    {"part_type_color1", F_TypeColour1, 2},
    {"part_type_color2", F_TypeColour2, 3},
    {"part_type_color3", F_TypeColour3, 4},
    {"part_type_color", F_TypeColour3, 4},
    {"part_type_color_rgb", F_TypeColourRGB, 7},
    {"part_type_color_hsv", F_TypeColourHSV, 7},
    {"part_type_color_mix", F_TypeColourMix, 3},
    {"part_type_alpha1", F_TypeAlpha1, 2},
    {"part_type_alpha2", F_TypeAlpha2, 3},
    {"part_type_alpha3", F_TypeAlpha3, 4},
    {"part_type_alpha", F_TypeAlpha3, 4},
    {"part_type_blend", F_TypeBlend, 2},
    {"part_system_create", F_SystemCreate, 0},
    {"part_system_destroy", F_SystemDestroy, 1},
    {"part_system_exists", F_SystemExists, 1},
    {"part_system_clear", F_SystemClear, 1},
    {"part_system_draw_order", F_SystemDrawOrder, 2},
    {"part_system_depth", F_SystemDepth, 2},
    {"part_system_position", F_SystemPosition, 3},
    {"part_system_automatic_update", F_SystemAutoUpdate, 2},
    {"part_system_automatic_draw", F_SystemAutoDraw, 2},
    {"part_system_update", F_SystemUpdate, 1},
    {"part_system_drawit", F_SystemDrawIt, 1},
    {"part_particles_create", F_ParticlesCreate, 5},
    {"part_particles_create_color", F_ParticlesCreateColour, 6},
    {"part_particles_clear", F_ParticlesClear, 1},
    {"part_particles_count", F_ParticlesCount, 1},
    {"part_emitter_create", F_EmitterCreate, 1},
    {"part_emitter_destroy", F_EmitterDestroy, 2},
    {"part_emitter_destroy_all", F_EmitterDestroyAll, 1},
    {"part_emitter_exists", F_EmitterExists, 2},
    {"part_emitter_clear", F_EmitterClear, 2},
    {"part_emitter_region", F_EmitterRegion, 8},
    {"part_emitter_burst", F_EmitterBurst, 4},
    {"part_emitter_stream", F_EmitterStream, 4},
    {"part_attractor_create", F_AttractorCreate, 1},
    {"part_attractor_destroy", F_AttractorDestroy, 2},
    {"part_attractor_destroy_all", F_AttractorDestroyAll, 1},
    {"part_attractor_exists", F_AttractorExists, 2},
    {"part_attractor_clear", F_AttractorClear, 2},
    {"part_attractor_position", F_AttractorPosition, 4},
    {"part_attractor_force", F_AttractorForce, 6},
    {"part_destroyer_create", F_DestroyerCreate, 1},
    {"part_destroyer_destroy", F_DestroyerDestroy, 2},
    {"part_destroyer_destroy_all", F_DestroyerDestroyAll, 1},
    {"part_destroyer_exists", F_DestroyerExists, 2},
    {"part_destroyer_clear", F_DestroyerClear, 2},
    {"part_destroyer_region", F_DestroyerRegion, 7},
    {"part_deflector_create", F_DeflectorCreate, 1},
    {"part_deflector_destroy", F_DeflectorDestroy, 2},
    {"part_deflector_destroy_all", F_DeflectorDestroyAll, 1},
    {"part_deflector_exists", F_DeflectorExists, 2},
    {"part_deflector_clear", F_DeflectorClear, 2},
    {"part_deflector_region", F_DeflectorRegion, 6},
    {"part_deflector_kind", F_DeflectorKind, 3},
    {"part_deflector_friction", F_DeflectorFriction, 3},
    {"part_changer_create", F_ChangerCreate, 1},
    {"part_changer_destroy", F_ChangerDestroy, 2},
    {"part_changer_destroy_all", F_ChangerDestroyAll, 1},
    {"part_changer_exists", F_ChangerExists, 2},
    {"part_changer_clear", F_ChangerClear, 2},
    {"part_changer_region", F_ChangerRegion, 7},
    {"part_changer_types", F_ChangerTypes, 4},
    {"part_changer_kind", F_ChangerKind, 3},
    {"effect_create_below", F_EffectBelow, 5},
    {"effect_create_above", F_EffectAbove, 5},
    {"effect_clear", F_EffectClear, 0},
    {"action_effect", F_ActionEffect, 6},
};

} // namespace

void Particle_RegisterBuiltins() { Register(kRows); }
