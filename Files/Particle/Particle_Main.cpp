// Placeholders of the particle systems until the particle module lands.
#include "Files/Runner/Runner_Services.h"

// Stands in for: start-up initialiser of the particle systems.
void Particle_Init() {}
// Stands in for: textures of the 14 built-in particle shapes.
void Particle_InitShapes() {}
// Stands in for: shutdown release of the particle systems.
void Particle_FreeAll() {}
