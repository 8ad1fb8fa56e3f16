// The registrars of the built-in function groups whose functions live in this folder, each
// called once by the start-up's registration (InitZBLFunctions, Files/Runner/Runner_Wiring.h)
// under its group's log line. The groups of other folders are registered by their own
// modules (InitFunctions_Physics, InitFunctions_DPlay, ...).
#pragma once

void InitFunctions_HighScore();   // "HighScore.." (placeholder)
void InitFunctions_Game();        // "Game.."   (Function_Game.cpp)
void InitFunctions_Math();        // "Math.."   (Function_Math.cpp)
void InitFunctions_Graphic();     // "Graphic.."
void InitFunctions_Action();      // "Action.." (Function_Game.cpp)
void InitFunctions_File();        // "File.."
void InitFunctions_Resource();    // "Resource.."
void InitFunctions_3D();          // "3D.."
void InitFunctions_Particle();    // "Particle.."
void InitFunctions_Misc();        // "Misc.."   (Function_Misc.cpp)
void InitFunctions_DS();          // "DS.."     (Function_DS.cpp)
void InitFunctions_Sound();       // "Sound.."  (placeholder)
void InitFunctions_Buffers();     // "Buffers.." (Function_Buffer.cpp)
void InitFunctions_Store();       // the platform-store functions of "Kovrin.." (placeholder)
void InitFunctions_Tile();        // the tablet functions of "Kovrin.."
