// The drawing built-ins (Function_Draw.cpp): primitives with the action-library drawing forms,
// text with the action text forms, and surfaces. Registered in the "Graphic.." group.
#pragma once

// Registers draw_clear .. merge_color and the action-library drawing forms of this file.
void GR_Draw_RegisterBuiltins();
// Registers surface_* and draw_surface* (with surface_save, surface_save_part,
// surface_getpixel, surface_copy, surface_copy_part).
void GR_Surface_RegisterBuiltins();
// Registers draw_set_font .. draw_text_ext_transformed_color and the action-library text
// forms (action_draw_text, action_draw_text_transformed, action_draw_score, action_draw_life,
// action_draw_variable, action_font).
void GR_Text_RegisterBuiltins();
