// The motion-planning built-ins: mp_linear_*, mp_potential_* and mp_grid_*. Thin layers over
// Files/Motion/Motion.h: numbers rounded to integers where an id, a cell, a target or a flag
// is wanted (flags true from 0.5), positions as single-precision floats. The step forms move
// self; the path forms fill an existing path (by index) and leave self where it was.
// mp_grid_draw draws here, through the graphics layer, from the grid's cells.
//
// Needs: motion planning, paths, instances and the current room, the 2D drawing. No Linux/
// file.
#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Function.h"
#include "Files/Function/Function_World.h"
#include "Files/Graphics/Graphics_Draw.h"
#include "Files/Motion/Motion.h"
#include "Files/Object/Instance.h"
#include "Files/Path/Path.h"
#include "Files/Room/Room.h"
#include "Files/World/World_State.h"

namespace {

#define BUILTIN(name)                                                                                                  \
    void name([[maybe_unused]] ScriptValue* result, [[maybe_unused]] CInstance* self,                                 \
              [[maybe_unused]] CInstance* other, [[maybe_unused]] int32_t argc, [[maybe_unused]] ScriptValue* args)

inline double R(const ScriptValue& v) { return v.kind == VALUE_REAL ? v.real : 0.0; }
inline float F(const ScriptValue& v) { return float(R(v)); }
inline int32_t I(const ScriptValue& v) { return Real_RoundToInt32(R(v)); }
inline bool B(const ScriptValue& v) { return R(v) >= 0.5; }
inline void Ret(ScriptValue* result, double r) { Value_SetReal(result, r); }

// ---- Linear and potential ----
BUILTIN(F_LinearStep) { Ret(result, Motion_LinearStep(self, F(args[0]), F(args[1]), F(args[2]), -3, B(args[3]))); }
BUILTIN(F_LinearStepObject)
{
    Ret(result, Motion_LinearStep(self, F(args[0]), F(args[1]), F(args[2]), I(args[3]), false));
}
BUILTIN(F_LinearPath)
{
    Ret(result, Motion_LinearPath(self, Path_Data(I(args[0])), F(args[1]), F(args[2]), F(args[3]), -3, B(args[4])));
}
BUILTIN(F_LinearPathObject)
{
    Ret(result, Motion_LinearPath(self, Path_Data(I(args[0])), F(args[1]), F(args[2]), F(args[3]), I(args[4]), false));
}
BUILTIN(F_PotentialStep)
{
    Ret(result, Motion_PotentialStep(self, F(args[0]), F(args[1]), F(args[2]), -3, B(args[3])));
}
BUILTIN(F_PotentialStepObject)
{
    Ret(result, Motion_PotentialStep(self, F(args[0]), F(args[1]), F(args[2]), I(args[3]), false));
}
BUILTIN(F_PotentialPath)
{
    Ret(result, Motion_PotentialPath(self, Path_Data(I(args[0])), F(args[1]), F(args[2]), F(args[3]), F(args[4]), -3,
                                     B(args[5])));
}
BUILTIN(F_PotentialPathObject)
{
    Ret(result, Motion_PotentialPath(self, Path_Data(I(args[0])), F(args[1]), F(args[2]), F(args[3]), F(args[4]),
                                     I(args[5]), false));
}
BUILTIN(F_PotentialSettings)
{
    Ret(result, 0);
    Motion_PotentialSettings(F(args[0]), F(args[1]), F(args[2]), B(args[3]));
}

// ---- Grids ----
BUILTIN(F_GridCreate)
{
    Ret(result, Motion_Grid_Create(I(args[0]), I(args[1]), I(args[2]), I(args[3]), I(args[4]), I(args[5])));
}
BUILTIN(F_GridDestroy)
{
    Ret(result, 0);
    Motion_Grid_Destroy(I(args[0]));
}
BUILTIN(F_GridClearAll)
{
    Ret(result, 0);
    Motion_Grid_Clear(I(args[0]));
}
BUILTIN(F_GridClearCell)
{
    Ret(result, 0);
    Motion_Grid_ClearCell(I(args[0]), I(args[1]), I(args[2]));
}
BUILTIN(F_GridAddCell)
{
    Ret(result, 0);
    Motion_Grid_AddCell(I(args[0]), I(args[1]), I(args[2]));
}
BUILTIN(F_GridClearRectangle)
{
    Ret(result, 0);
    Motion_Grid_ClearRectangle(I(args[0]), F(args[1]), F(args[2]), F(args[3]), F(args[4]));
}
BUILTIN(F_GridAddRectangle)
{
    Ret(result, 0);
    Motion_Grid_AddRectangle(I(args[0]), F(args[1]), F(args[2]), F(args[3]), F(args[4]));
}
// Every live instance of the target (-3 all, an instance id, or an object with its descendants).
BUILTIN(F_GridAddInstances)
{
    Ret(result, 0);
    const int32_t id = I(args[0]), target = I(args[1]);
    const bool precise = B(args[2]);
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
BUILTIN(F_GridPath)
{
    Ret(result, Motion_Grid_Path(I(args[0]), Path_Data(I(args[1])), F(args[2]), F(args[3]), F(args[4]), F(args[5]),
                                 B(args[6])));
}
// Every cell as a filled rectangle: red (255) when blocked, green (32768) when free.
BUILTIN(F_GridDraw)
{
    Ret(result, 0);
    const CGrid* g = Motion_Grid_Get(I(args[0]));
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
    Function_Add("mp_linear_step", F_LinearStep, 4);
    Function_Add("mp_linear_step_object", F_LinearStepObject, 4);
    Function_Add("mp_linear_path", F_LinearPath, 5);
    Function_Add("mp_linear_path_object", F_LinearPathObject, 5);
    Function_Add("mp_potential_settings", F_PotentialSettings, 4);
    Function_Add("mp_potential_step", F_PotentialStep, 4);
    Function_Add("mp_potential_step_object", F_PotentialStepObject, 4);
    Function_Add("mp_potential_path", F_PotentialPath, 6);
    Function_Add("mp_potential_path_object", F_PotentialPathObject, 6);
    Function_Add("mp_grid_create", F_GridCreate, 6);
    Function_Add("mp_grid_destroy", F_GridDestroy, 1);
    Function_Add("mp_grid_clear_all", F_GridClearAll, 1);
    Function_Add("mp_grid_clear_cell", F_GridClearCell, 3);
    Function_Add("mp_grid_clear_rectangle", F_GridClearRectangle, 5);
    Function_Add("mp_grid_add_cell", F_GridAddCell, 3);
    Function_Add("mp_grid_add_rectangle", F_GridAddRectangle, 5);
    Function_Add("mp_grid_add_instances", F_GridAddInstances, 3);
    Function_Add("mp_grid_path", F_GridPath, 7);
    Function_Add("mp_grid_draw", F_GridDraw, 1);
}
