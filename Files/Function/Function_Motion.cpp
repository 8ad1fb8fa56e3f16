// The motion-planning built-ins: mp_linear_*, mp_potential_* and mp_grid_*. Thin layers over
// Files/Motion/Motion.h: numbers rounded to integers where an id, a cell, a target or a flag
// is wanted (flags true from 0.5), positions as single-precision floats. The step forms move
// self; the path forms fill an existing path (by index) and leave self where it was.
// mp_grid_draw draws here, through the graphics layer, from the grid's cells.
//
// Needs: motion planning, paths, instances and the current room, the 2D drawing. No Linux/
// file.
#include "Files/Code/Code_Builtin.h"
#include "Files/Function/Function_World.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Motion/Motion.h"
#include "Files/Object/Instance.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/World/World_State.h"

using namespace zbargs;

namespace {

// ---- Linear and potential ----
ZB_BUILTIN(F_LinearStep) { SetReal(result, Motion_LinearStep(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), -3, NumFromHalf(args, 3))); }
ZB_BUILTIN(F_LinearStepObject)
{
    SetReal(result, Motion_LinearStep(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3), false));
}
ZB_BUILTIN(F_LinearPath)
{
    SetReal(result, Motion_LinearPath(self, Path_Data(NumRound(args, 0)), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), -3, NumFromHalf(args, 4)));
}
ZB_BUILTIN(F_LinearPathObject)
{
    SetReal(result, Motion_LinearPath(self, Path_Data(NumRound(args, 0)), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumRound(args, 4), false));
}
ZB_BUILTIN(F_PotentialStep)
{
    SetReal(result, Motion_PotentialStep(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), -3, NumFromHalf(args, 3)));
}
ZB_BUILTIN(F_PotentialStepObject)
{
    SetReal(result, Motion_PotentialStep(self, NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumRound(args, 3), false));
}
ZB_BUILTIN(F_PotentialPath)
{
    SetReal(result, Motion_PotentialPath(self, Path_Data(NumRound(args, 0)), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), -3,
                                     NumFromHalf(args, 5)));
}
ZB_BUILTIN(F_PotentialPathObject)
{
    SetReal(result, Motion_PotentialPath(self, Path_Data(NumRound(args, 0)), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4),
                                     NumRound(args, 5), false));
}
ZB_BUILTIN(F_PotentialSettings)
{
    SetReal(result, 0);
    Motion_PotentialSettings(NumFloat(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFromHalf(args, 3));
}

// ---- Grids ----
ZB_BUILTIN(F_GridCreate)
{
    SetReal(result, Motion_Grid_Create(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2), NumRound(args, 3), NumRound(args, 4), NumRound(args, 5)));
}
ZB_BUILTIN(F_GridDestroy)
{
    SetReal(result, 0);
    Motion_Grid_Destroy(NumRound(args, 0));
}
ZB_BUILTIN(F_GridClearAll)
{
    SetReal(result, 0);
    Motion_Grid_Clear(NumRound(args, 0));
}
ZB_BUILTIN(F_GridClearCell)
{
    SetReal(result, 0);
    Motion_Grid_ClearCell(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_GridAddCell)
{
    SetReal(result, 0);
    Motion_Grid_AddCell(NumRound(args, 0), NumRound(args, 1), NumRound(args, 2));
}
ZB_BUILTIN(F_GridClearRectangle)
{
    SetReal(result, 0);
    Motion_Grid_ClearRectangle(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
ZB_BUILTIN(F_GridAddRectangle)
{
    SetReal(result, 0);
    Motion_Grid_AddRectangle(NumRound(args, 0), NumFloat(args, 1), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4));
}
// Every live instance of the target (-3 all, an instance id, or an object with its descendants).
ZB_BUILTIN(F_GridAddInstances)
{
    SetReal(result, 0);
    const int32_t id = NumRound(args, 0), target = NumRound(args, 1);
    const bool precise = NumFromHalf(args, 2);
    CRoom* room = Run_CurrentRoom();
    if (!room || !Motion_Grid_Get(id)) return;
    for (CInstance* i = room->m_active.head; i; i = i->m_pNext) {
        if (!i->IsLive()) continue;
        const bool match = target == -3 || (target >= 100000 ? i->i_id == target
                                                               : i->i_objindex == target ||
                                                                     (i->m_pObject && target >= 0 &&
                                                                      i->m_pObject->IsDescendantOf(target)));
        if (match) Motion_Grid_AddInstances(id, i, precise);
    }
}
ZB_BUILTIN(F_GridPath)
{
    SetReal(result, Motion_Grid_Path(NumRound(args, 0), Path_Data(NumRound(args, 1)), NumFloat(args, 2), NumFloat(args, 3), NumFloat(args, 4), NumFloat(args, 5),
                                 NumFromHalf(args, 6)));
}
// Every cell as a filled rectangle: red (255) when blocked, green (32768) when free.
ZB_BUILTIN(F_GridDraw)
{
    SetReal(result, 0);
    const CGrid* g = Motion_Grid_Get(NumRound(args, 0));
    if (!g) return;
    for (int32_t h = 0; h < g->m_columns; ++h) {
        for (int32_t v = 0; v < g->m_rows; ++v) {
            const float x1 = float(int64_t(g->m_left) + int64_t(h) * g->m_cellWidth);
            const float y1 = float(int64_t(g->m_top) + int64_t(v) * g->m_cellHeight);
            const uint32_t c = g->Cell(h, v) == -1 ? 255u : 32768u;
            GR_Draw_RectangleColour(x1, y1, x1 + float(g->m_cellWidth), y1 + float(g->m_cellHeight), c, c, c, c, false);
        }
    }
}

} // namespace

void Function_Motion_Register()
{
    static const Row kRows[] = {
        {"mp_linear_step", F_LinearStep, 4},
        {"mp_linear_step_object", F_LinearStepObject, 4},
        {"mp_linear_path", F_LinearPath, 5},
        {"mp_linear_path_object", F_LinearPathObject, 5},
        {"mp_potential_settings", F_PotentialSettings, 4},
        {"mp_potential_step", F_PotentialStep, 4},
        {"mp_potential_step_object", F_PotentialStepObject, 4},
        {"mp_potential_path", F_PotentialPath, 6},
        {"mp_potential_path_object", F_PotentialPathObject, 6},
        {"mp_grid_create", F_GridCreate, 6},
        {"mp_grid_destroy", F_GridDestroy, 1},
        {"mp_grid_clear_all", F_GridClearAll, 1},
        {"mp_grid_clear_cell", F_GridClearCell, 3},
        {"mp_grid_clear_rectangle", F_GridClearRectangle, 5},
        {"mp_grid_add_cell", F_GridAddCell, 3},
        {"mp_grid_add_rectangle", F_GridAddRectangle, 5},
        {"mp_grid_add_instances", F_GridAddInstances, 3},
        {"mp_grid_path", F_GridPath, 7},
        {"mp_grid_draw", F_GridDraw, 1},
    };
    Register(kRows);
}
