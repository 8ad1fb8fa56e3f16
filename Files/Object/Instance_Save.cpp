// The instance's saved-game record and its text dump (Files/Object/Instance.h).
//
// Record: one typed buffer entry per field, in the fixed order of SaveFields below (ORDER: the
// saved-game format; a change breaks every saved game). Integers are type 6 (image_blend type
// 5), floats type 8, flags type 6 as 0 or 1; the variable list follows. Values travel as
// doubles, so integers, flags and floats come back exactly.
//
// Needs: the buffer entries (Files/Buffer), the variable list, the object table, the world's
// sprite names. No Linux/ file.
#include <cmath>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/Buffer/IBuffer.h"
#include "Files/Code/Variable_List.h"
#include "Files/Object/Instance.h"
#include "Files/World/World_Hooks.h"

namespace {

enum FieldKind : uint8_t { kInt, kU32, kFloat, kFlag };

// One field of the record: its kind and where it lives in the instance.
struct Field {
    FieldKind kind;
    void* at;
};

// The fields after object_index, in record order (object_index itself is read through
// SetObject, which resets some of the fields that follow it).
template <class Visit>
void ForEachField(CInstance* i, Visit&& visit)
{
    visit(Field{kInt, &i->i_spriteindex});
    for (float* f : {&i->i_imageindex, &i->i_imagespeed, &i->i_imagescalex, &i->i_imagescaley, &i->i_imageangle,
                     &i->i_imagealpha})
        visit(Field{kFloat, f});
    visit(Field{kU32, &i->i_imageblend});
    visit(Field{kInt, &i->i_maskindex});
    visit(Field{kFloat, &i->i_depth});
    visit(Field{kFlag, &i->i_precise});
    for (float* f : {&i->i_x, &i->i_y, &i->i_xstart, &i->i_ystart, &i->i_xprevious, &i->i_yprevious, &i->i_direction,
                     &i->i_speed, &i->i_friction, &i->i_gravitydir, &i->i_gravity, &i->i_hspeed, &i->i_vspeed})
        visit(Field{kFloat, f});
    for (int32_t* b : {&i->i_bbox_left, &i->i_bbox_right, &i->i_bbox_top, &i->i_bbox_bottom}) visit(Field{kInt, b});
    for (uint8_t* f : {&i->i_visible, &i->i_solid, &i->i_persistent}) visit(Field{kFlag, f});
    for (int32_t& a : i->i_alarm) visit(Field{kInt, &a});
    visit(Field{kFlag, &i->i_marked});
    visit(Field{kFlag, &i->i_deactivated});
    visit(Field{kInt, &i->i_pathindex});
    for (float* f : {&i->i_pathposition, &i->i_pathpositionprevious, &i->i_pathspeed, &i->i_pathscale,
                     &i->i_pathorientation})
        visit(Field{kFloat, f});
    visit(Field{kInt, &i->i_pathend});
    visit(Field{kFloat, &i->i_pathxstart});
    visit(Field{kFloat, &i->i_pathystart});
    visit(Field{kInt, &i->i_timelineindex});
    visit(Field{kFloat, &i->i_timelineposition});
    visit(Field{kFloat, &i->i_timelinespeed});
    visit(Field{kFlag, &i->i_timelinerunning});
    visit(Field{kFlag, &i->i_timelineloop});
}

int32_t BufferType(FieldKind k) { return k == kFloat ? eBuffer_F32 : k == kU32 ? eBuffer_U32 : eBuffer_S32; }

double FieldValue(const Field& f)
{
    switch (f.kind) {
    case kInt: return double(*static_cast<int32_t*>(f.at));
    case kU32: return double(*static_cast<uint32_t*>(f.at));
    case kFloat: return double(*static_cast<float*>(f.at));
    case kFlag: return *static_cast<uint8_t*>(f.at) ? 1.0 : 0.0;
    }
    return 0;
}

// The low 32 bits of the value truncated to 64 bits (out of range and NaN: the x86 answer,
// whose low half is 0).
uint32_t Low32(double d)
{
    if (!(std::fabs(d) < 9.2e18)) return 0;
    return uint32_t(uint64_t(int64_t(d)));
}

void SetField(const Field& f, double d)
{
    switch (f.kind) {
    case kInt: *static_cast<int32_t*>(f.at) = Real_TruncToInt32(d); break;
    case kU32: *static_cast<uint32_t*>(f.at) = Low32(d); break;
    case kFloat: *static_cast<float*>(f.at) = float(d); break;
    case kFlag: *static_cast<uint8_t*>(f.at) = d != 0 ? 1 : 0; break; // NaN is not 0: 1
    }
}

} // namespace

// [SECTION] Record

void CInstance::Serialise(IBuffer* buffer)
{
    RefreshBoundingBox();
    Buffer_WriteNumber(buffer, eBuffer_S32, i_id);
    Buffer_WriteNumber(buffer, eBuffer_S32, i_objindex);
    ForEachField(this, [buffer](const Field& f) { Buffer_WriteNumber(buffer, BufferType(f.kind), FieldValue(f)); });
    m_pVariables->Serialise(buffer);
}

bool CInstance::DeSerialise(IBuffer* buffer, bool joinObjectList)
{
    double d = 0;
    if (!Buffer_ReadNumber(buffer, eBuffer_S32, &d)) return false;
    i_id = Real_TruncToInt32(d);
    if (!Buffer_ReadNumber(buffer, eBuffer_S32, &d)) return false;
    SetObject(Real_TruncToInt32(d), joinObjectList);
    bool ok = true;
    ForEachField(this, [&](const Field& f) {
        double v = 0;
        if (ok && !Buffer_ReadNumber(buffer, BufferType(f.kind), &v)) ok = false;
        if (ok) SetField(f, v);
    });
    if (!ok) return false;
    // The box is kept as read but recomputed at its next use.
    MarkBBoxDirty();
    return m_pVariables->DeSerialise(buffer);
}

// [SECTION] Dump

void CInstance::Dump(tagIConsole* console)
{
    const char* spriteName = World_Hooks().spriteName ? World_Hooks().spriteName(i_spriteindex) : nullptr;
    console->Output("i_id                   = %d\n", i_id);
    console->Output("i_spriteindex          = %d(%s)\n", i_spriteindex, spriteName ? spriteName : "<undefined>");
    console->Output("i_imageindex           = %f\n", double(i_imageindex));
    console->Output("i_imagespeed           = %f\n", double(i_imagespeed));
    console->Output("i_imagescalex          = %f\n", double(i_imagescalex));
    console->Output("i_imagescaley          = %f\n", double(i_imagescaley));
    console->Output("i_imageangle           = %f\n", double(i_imageangle));
    console->Output("i_imagealpha           = %f\n", double(i_imagealpha));
    console->Output("i_imageblend           = %d\n", int32_t(i_imageblend));
    console->Output("i_maskindex            = %d\n", i_maskindex);
    console->Output("i_depth                = %f\n", double(i_depth));
    console->Output("i_precise              = %d\n", int32_t(i_precise));
    console->Output("i_x                    = %f\n", double(i_x));
    console->Output("i_y                    = %f\n", double(i_y));
    console->Output("i_xstart               = %f\n", double(i_xstart));
    console->Output("i_ystart               = %f\n", double(i_ystart));
    console->Output("i_xprevious            = %f\n", double(i_xprevious));
    console->Output("i_yprevious            = %f\n", double(i_yprevious));
    console->Output("i_direction            = %f\n", double(i_direction));
    console->Output("i_speed                = %f\n", double(i_speed));
    console->Output("i_friction             = %f\n", double(i_friction));
    console->Output("i_gravitydir           = %f\n", double(i_gravitydir));
    console->Output("i_gravity              = %f\n", double(i_gravity));
    console->Output("i_hspeed               = %f\n", double(i_hspeed));
    console->Output("i_vspeed               = %f\n", double(i_vspeed));
    console->Output("i_bbox.left            = %d\n", i_bbox_left);
    console->Output("i_bbox.right           = %d\n", i_bbox_right);
    console->Output("i_bbox.top             = %d\n", i_bbox_top);
    console->Output("i_bbox.bottom          = %d\n", i_bbox_bottom);
    console->Output("i_visible              = %d\n", int32_t(i_visible));
    console->Output("i_solid                = %d\n", int32_t(i_solid));
    console->Output("i_persistent           = %d\n", int32_t(i_persistent));
    console->Output("i_objindex             = %d\n", i_objindex);
    for (int32_t k = 0; k < 12; ++k) console->Output("i_timer[%d]           = %d\n", k, i_alarm[k]);
    console->Output("i_marked               = %d\n", int32_t(i_marked));
    console->Output("i_deactivated          = %d\n", int32_t(i_deactivated));
    console->Output("i_pathindex            = %d\n", i_pathindex);
    console->Output("i_pathposition         = %f\n", double(i_pathposition));
    console->Output("i_pathpositionprevious = %f\n", double(i_pathpositionprevious));
    console->Output("i_pathspeed            = %f\n", double(i_pathspeed));
    console->Output("i_pathscale            = %f\n", double(i_pathscale));
    console->Output("i_pathorientation      = %f\n", double(i_pathorientation));
    console->Output("i_pathend              = %d\n", i_pathend);
    console->Output("i_pathxstart           = %f\n", double(i_pathxstart));
    console->Output("i_pathystart           = %f\n", double(i_pathystart));
    console->Output("i_timelineindex        = %d\n", i_timelineindex);
    console->Output("i_timelineposition     = %f\n", double(i_timelineposition));
    console->Output("i_timelinespeed        = %f\n", double(i_timelinespeed));
    console->Output("i_timelinerunning\t     = %d\n", int32_t(i_timelinerunning));
    console->Output("i_timelineloop         = %d\n", int32_t(i_timelineloop));
}
