// Registrar of the "3D.." built-in group: d3d_primitive_*, d3d_vertex*, d3d_draw_* and
// d3d_model_* (the 3D mode, projection, transform and light built-ins belong to the
// "Graphic.." group, Graphics_Builtins). No Linux/ file.
#pragma once

void GR_3D_RegisterBuiltins();
