// Start-up of the particle module (Particle_Main.h): the tables start empty; the shape
// textures are made later, once the device is up (Particle_InitShapes, "Part Create
// Textures"), and everything goes at shutdown (Particle_FreeAll). No Linux/ file.
#include "Files/Particle/Particle_Main.h"

void Particle_Init() { Particle_ResetAll(); }
