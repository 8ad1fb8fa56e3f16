// The built-in script functions over the window, display, device, render-state, 3D and
// texture layers (display_*, window_*, the blend, colour-write and alpha switches, the
// drawing colour and alpha, draw_getpixel, screen_save and screen_save_part, d3d_start,
// d3d_end, d3d_set_*, d3d_transform_*, d3d_light_*, texture_*, draw_texture_flush).
// Argument conversions: reals become 32-bit floats, colours integers rounded to nearest,
// booleans true from 0.5 up, indices and counts integers rounded half to even; a text where a
// number is expected counts as 0.
// Needs: the built-in function table (Files/Code/Code_Function.h).
#pragma once

// Registers every function of this file with Function_Add.
void GR_Builtins_Register();
