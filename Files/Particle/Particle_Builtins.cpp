// Built-in script functions of the particle systems: part_type_*, part_system_*,
// part_particles_*, part_emitter_*, part_attractor_*, part_destroyer_*, part_deflector_*,
// part_changer_*, effect_create_below/above, effect_clear and action_effect (Particle_Main.h).
// Argument conversions (Files/Code/Code_Builtin.h): reals become 32-bit floats; indexes, counts, kinds,
// shapes and colours are rounded to integers (halves to even); flags are true from 0.5 up.
// Every function answers the real 0 unless it answers something else.
//
// Needs: the particle module, the action relative flag, the instance (action_effect). No
// Linux/ file.
#include "Files/Code/Code_Builtin.h"
#include "Files/Code/Code_Function.h"
#include "Files/Object/Instance.h"
#include "Files/Particle/Particle_Main.h"

using namespace zbargs;

namespace {

// ---- Types -----------------------------------------------------------------------------------
ZB_BUILTIN(F_TypeCreate) { SetReal(result, ParticleType_Create()); }
ZB_BUILTIN(F_TypeDestroy)
{
    SetReal(result, 0);
    ParticleType_Destroy(NumRound(args, 0));
}
ZB_BUILTIN(F_TypeExists) { SetReal(result, ParticleType_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_TypeClear)
{
    SetReal(result, 0);
    ParticleType_Clear(NumRound(args, 0));
}
ZB_BUILTIN(F_TypeShape)
{
    SetReal(result, 0);
    ParticleType_Shape(NumRound(args, 0), NumRound(args, 1));
}
ZB_BUILTIN(F_TypeSprite)
{
    SetReal(result, 0);
    ParticleType_Sprite(NumRound(args, 0), NumRound(args, 1), NumFromHalf(args, 2), NumFromHalf(args, 3),
                        NumFromHalf(args, 4));
}
ZB_BUILTIN(F_TypeSize)
{
    SetReal(result, 0);
    ParticleType_Size(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_TypeScale)
{
    SetReal(result, 0);
    ParticleType_Scale(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TypeLife)
{
    SetReal(result, 0);
    ParticleType_Life(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_TypeStep)
{
    SetReal(result, 0);
    ParticleType_Step(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_TypeDeath)
{
    SetReal(result, 0);
    ParticleType_Death(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_TypeSpeed)
{
    SetReal(result, 0);
    ParticleType_Speed(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_TypeDirection)
{
    SetReal(result, 0);
    ParticleType_Direction(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4));
}
ZB_BUILTIN(F_TypeOrientation)
{
    SetReal(result, 0);
    ParticleType_Orientation(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumFromHalf(args, 5));
}
ZB_BUILTIN(F_TypeGravity)
{
    SetReal(result, 0);
    ParticleType_Gravity(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TypeColour1)
{
    SetReal(result, 0);
    ParticleType_Colour1(NumRound(args, 0), NumRoundU32(args, 1));
}
ZB_BUILTIN(F_TypeColour2)
{
    SetReal(result, 0);
    ParticleType_Colour2(NumRound(args, 0), NumRoundU32(args, 1), NumRoundU32(args, 2));
}
ZB_BUILTIN(F_TypeColour3)
{
    SetReal(result, 0);
    ParticleType_Colour3(NumRound(args, 0), NumRoundU32(args, 1), NumRoundU32(args, 2), NumRoundU32(args, 3));
}
ZB_BUILTIN(F_TypeColourRGB)
{
    SetReal(result, 0);
    ParticleType_ColourRGB(NumRound(args, 0), NumRoundU32(args, 1), NumRoundU32(args, 2), NumRoundU32(args, 3),
                           NumRoundU32(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6));
}
ZB_BUILTIN(F_TypeColourHSV)
{
    SetReal(result, 0);
    ParticleType_ColourHSV(NumRound(args, 0), NumRoundU32(args, 1), NumRoundU32(args, 2), NumRoundU32(args, 3),
                           NumRoundU32(args, 4), NumRoundU32(args, 5), NumRoundU32(args, 6));
}
ZB_BUILTIN(F_TypeColourMix)
{
    SetReal(result, 0);
    ParticleType_ColourMix(NumRound(args, 0), NumRoundU32(args, 1), NumRoundU32(args, 2));
}
ZB_BUILTIN(F_TypeAlpha1)
{
    SetReal(result, 0);
    ParticleType_Alpha1(NumRound(args, 0), NumFloat(args, 1));
}
ZB_BUILTIN(F_TypeAlpha2)
{
    SetReal(result, 0);
    ParticleType_Alpha2(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_TypeAlpha3)
{
    SetReal(result, 0);
    ParticleType_Alpha3(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_TypeBlend)
{
    SetReal(result, 0);
    ParticleType_Blend(NumRound(args, 0), NumFromHalf(args, 1));
}

// ---- Systems and particles ---------------------------------------------------------------------
ZB_BUILTIN(F_SystemCreate) { SetReal(result, ParticleSystem_Create()); }
ZB_BUILTIN(F_SystemDestroy)
{
    SetReal(result, 0);
    ParticleSystem_Destroy(NumRound(args, 0));
}
ZB_BUILTIN(F_SystemExists) { SetReal(result, ParticleSystem_Exists(NumRound(args, 0)) ? 1 : 0); }
ZB_BUILTIN(F_SystemClear)
{
    SetReal(result, 0);
    ParticleSystem_Clear(NumRound(args, 0));
}
ZB_BUILTIN(F_SystemDrawOrder)
{
    SetReal(result, 0);
    ParticleSystem_DrawOrder(NumRound(args, 0), NumFromHalf(args, 1));
}
ZB_BUILTIN(F_SystemDepth)
{
    SetReal(result, 0);
    ParticleSystem_Depth(NumRound(args, 0), NumFloat(args, 1));
}
ZB_BUILTIN(F_SystemPosition)
{
    SetReal(result, 0);
    ParticleSystem_Position(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_SystemAutoUpdate)
{
    SetReal(result, 0);
    ParticleSystem_AutomaticUpdate(NumRound(args, 0), NumFromHalf(args, 1));
}
ZB_BUILTIN(F_SystemAutoDraw)
{
    SetReal(result, 0);
    ParticleSystem_AutomaticDraw(NumRound(args, 0), NumFromHalf(args, 1));
}
ZB_BUILTIN(F_SystemUpdate)
{
    SetReal(result, 0);
    ParticleSystem_Update(NumRound(args, 0));
}
ZB_BUILTIN(F_SystemDrawIt)
{
    SetReal(result, 0);
    ParticleSystem_Draw(NumRound(args, 0));
}
ZB_BUILTIN(F_ParticlesCreate)
{
    SetReal(result, 0);
    Particle_Create(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3), NumRound(args, 4));
}
ZB_BUILTIN(F_ParticlesCreateColour)
{
    SetReal(result, 0);
    Particle_CreateColour(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3),
                          NumRoundU32(args, 4), NumRound(args, 5));
}
ZB_BUILTIN(F_ParticlesClear)
{
    SetReal(result, 0);
    Particle_ClearAll(NumRound(args, 0));
}
ZB_BUILTIN(F_ParticlesCount) { SetReal(result, ParticleSystem_Count(NumRound(args, 0))); }

// ---- Parts: the management family of each kind ----------------------------------------------
#define PART_FAMILY(Kind, Prefix)                                                                                      \
    ZB_BUILTIN(F_##Prefix##Create) { SetReal(result, Kind##_Create(NumRound(args, 0))); }                              \
    ZB_BUILTIN(F_##Prefix##Destroy)                                                                                    \
    {                                                                                                                  \
        SetReal(result, 0);                                                                                            \
        Kind##_Destroy(NumRound(args, 0), NumRound(args, 1));                                                          \
    }                                                                                                                  \
    ZB_BUILTIN(F_##Prefix##DestroyAll)                                                                                 \
    {                                                                                                                  \
        SetReal(result, 0);                                                                                            \
        Kind##_DestroyAll(NumRound(args, 0));                                                                          \
    }                                                                                                                  \
    ZB_BUILTIN(F_##Prefix##Exists) { SetReal(result, Kind##_Exists(NumRound(args, 0), NumRound(args, 1)) ? 1 : 0); }   \
    ZB_BUILTIN(F_##Prefix##Clear)                                                                                      \
    {                                                                                                                  \
        SetReal(result, 0);                                                                                            \
        Kind##_Clear(NumRound(args, 0), NumRound(args, 1));                                                            \
    }

PART_FAMILY(ParticleEmitter, Emitter)
PART_FAMILY(ParticleAttractor, Attractor)
PART_FAMILY(ParticleDestroyer, Destroyer)
PART_FAMILY(ParticleDeflector, Deflector)
PART_FAMILY(ParticleChanger, Changer)

ZB_BUILTIN(F_EmitterRegion)
{
    SetReal(result, 0);
    ParticleEmitter_Region(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumFloat(args, 5), NumRound(args, 6), NumRound(args, 7));
}
ZB_BUILTIN(F_EmitterBurst)
{
    SetReal(result, 0);
    ParticleEmitter_Burst(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
}
ZB_BUILTIN(F_EmitterStream)
{
    SetReal(result, 0);
    ParticleEmitter_Stream(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
}
ZB_BUILTIN(F_AttractorPosition)
{
    SetReal(result, 0);
    ParticleAttractor_Position(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3));
}
ZB_BUILTIN(F_AttractorForce)
{
    SetReal(result, 0);
    ParticleAttractor_Force(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                            NumRound(args, 4), NumFromHalf(args, 5));
}
ZB_BUILTIN(F_DestroyerRegion)
{
    SetReal(result, 0);
    ParticleDestroyer_Region(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumFloat(args, 5), NumRound(args, 6));
}
ZB_BUILTIN(F_DeflectorRegion)
{
    SetReal(result, 0);
    ParticleDeflector_Region(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                             NumFloat(args, 4), NumFloat(args, 5));
}
ZB_BUILTIN(F_DeflectorKind)
{
    SetReal(result, 0);
    ParticleDeflector_Kind(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_DeflectorFriction)
{
    SetReal(result, 0);
    ParticleDeflector_Friction(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2));
}
ZB_BUILTIN(F_ChangerRegion)
{
    SetReal(result, 0);
    ParticleChanger_Region(NumRound(args, 0), NumRound(args, 1), NumFloat(args, 2), NumFloat(args, 3),
                           NumFloat(args, 4), NumFloat(args, 5), NumRound(args, 6));
}
ZB_BUILTIN(F_ChangerTypes)
{
    SetReal(result, 0);
    ParticleChanger_Types(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3));
}
ZB_BUILTIN(F_ChangerKind)
{
    SetReal(result, 0);
    ParticleChanger_Kind(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}

// ---- Effects ---------------------------------------------------------------------------------
ZB_BUILTIN(F_EffectBelow)
{
    SetReal(result, 0);
    Effect_Create(true, NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3),
                  NumRoundU32(args, 4));
}
ZB_BUILTIN(F_EffectAbove)
{
    SetReal(result, 0);
    Effect_Create(false, NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3),
                  NumRoundU32(args, 4));
}
ZB_BUILTIN(F_EffectClear)
{
    SetReal(result, 0);
    Effect_Clear();
}
// action_effect(kind, x, y, size, colour, where): where 0 below the instances, else above; the
// position is taken from the instance when the action is relative.
ZB_BUILTIN(F_ActionEffect)
{
    SetReal(result, 0);
    float x = NumFloat(args, 1), y = NumFloat(args, 2);
    if (Function_GetRelative() && self) {
        x += self->i_x;
        y += self->i_y;
    }
    Effect_Create(NumRound(args, 5) == 0, NumRound(args, 0), x, y, NumRound(args, 3), NumRoundU32(args, 4));
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
