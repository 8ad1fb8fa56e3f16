// Run-time commands on instances and rooms (Files/Run/Run_Commands.h).
#include "Files/Run/Run_Commands.h"

#include <cmath>
#include <cstdio>

#include "Files/Base/RealConvert.h"
#include "Files/Code/Code_Error.h"
#include "Files/Graphics_API/Graphics_PNG.h"
#include "Files/Graphics_API/Graphics_ReadBack.h"
#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Index.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Main.h"
#include "Files/World/World_Hooks.h"
#include "Platform/MemoryManager.h"

namespace {

const char* ErrorText(const char* message, int32_t n)
{
    static char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%s%d", message, n);
    return buffer;
}

inline bool Candidate(const CInstance* i) { return !i->i_marked && !i->i_deactivated; }

// Calls f on each candidate of the target in order until f answers true; returns that one.
// With a region (every instance f can accept has a box meeting it), the spatial index names
// the candidates when it can; f must then change nothing but bounding boxes.
template <class F>
CInstance* FirstOf(int32_t target, CInstance* self, bool notMe, F&& f, const WorldRegion* region = nullptr)
{
    if (region && target < 100000) {
        CRoom* room = Run_CurrentRoom();
        if (room && &room->m_active == Run_GetActiveList()) {
            if (const std::vector<CInstance*>* found = WorldIndex_Candidates(target, *region)) {
                for (CInstance* i : *found)
                    if (Candidate(i) && !(notMe && i == self) && f(i)) return i;
                return nullptr;
            }
        }
    }
    if (target == -3) {
        CRoom* room = Run_CurrentRoom();
        if (!room) return nullptr;
        for (CInstance* i = room->m_active.head; i;) {
            CInstance* next = i->m_pNext;
            if (Candidate(i) && !(notMe && i == self) && f(i)) return i;
            i = next;
        }
        return nullptr;
    }
    if (target >= 100000) {
        CInstance* i = Instance_Find(target);
        if (!i || !Candidate(i) || (notMe && i == self)) return nullptr;
        return f(i) ? i : nullptr;
    }
    CObject* o = Object_Lookup(target);
    if (!o) return nullptr;
    for (ObjectInstanceNode* n = o->m_instancesRecursive.GetHead(); n;) {
        ObjectInstanceNode* next = n->next;
        CInstance* i = n->value;
        if (Candidate(i) && !(notMe && i == self) && f(i)) return i;
        n = next;
    }
    return nullptr;
}

// Runs f with self moved to (x, y) and puts self back, whatever f found.
template <class F>
auto AtPlace(CInstance* self, float x, float y, F&& f)
{
    const float ox = self->i_x, oy = self->i_y;
    self->SetPosition(x, y);
    auto result = f();
    self->SetPosition(ox, oy);
    return result;
}

bool Free(CInstance* self, float x, float y, bool all) { return all ? Command_PlaceEmpty(self, x, y) : Command_PlaceFree(self, x, y); }

} // namespace

// =============================================================================================
// Instance life
// =============================================================================================

CInstance* Command_CreateInstance(int32_t object, float x, float y)
{
    CRoom* room = Run_CurrentRoom();
    if (!Object_Exists(object) || !room) {
        Code_Error_Report(ErrorText("Creating instance for non-existing object: ", object), false);
        return nullptr;
    }
    CInstance* i = room->AddInstance(x, y, object);
    Event_Perform(i, i, EVENT_CREATE, 0);
    i->i_created = 1;
    return i;
}

void Command_DestroyInstance(CInstance* instance)
{
    if (!instance || instance->i_destroying) return;
    instance->i_destroying = 1;
    Event_Perform(instance, instance, EVENT_DESTROY, 0);
    instance->i_marked = 1;
}

void Command_ChangeInstance(CInstance* instance, int32_t object, bool performEvents)
{
    if (!instance) return;
    if (!Object_Exists(object)) {
        Code_Error_Report(ErrorText("Asking to change into non-existing object: ", object), false);
        return;
    }
    if (object == instance->i_objindex) return;
    if (performEvents && !instance->i_destroying) Event_Perform(instance, instance, EVENT_DESTROY, 0);
    instance->ChangeObject(object);
    if (performEvents) Event_Perform(instance, instance, EVENT_CREATE, 0);
}

void Command_SetSprite(CInstance* instance, int32_t sprite)
{
    if (!instance) return;
    if (!World_SpriteExists(sprite)) {
        Code_Error_Report(ErrorText("Setting instance to non-existing sprite: ", sprite), false);
        return;
    }
    instance->SetSprite(sprite);
}

void Command_PositionDestroy(float x, float y)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (Candidate(i) && !i->i_destroying && i->CollisionPoint(x, y, true)) Command_DestroyInstance(i);
        i = next;
    }
}

void Command_PositionChange(float x, float y, int32_t object, bool performEvents)
{
    if (!Object_Exists(object)) {
        Code_Error_Report(ErrorText("Asking to change into non-existing object: ", object), false);
        return;
    }
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        if (Candidate(i) && i->CollisionPoint(x, y, true)) Command_ChangeInstance(i, object, performEvents);
        i = next;
    }
}

// =============================================================================================
// Rooms and the game
// =============================================================================================

void Command_GotoRoom(int32_t room)
{
    RunState& st = Run_State();
    st.roomSwitch = room;
    st.transitionKind = 0;
    if (!Room_Exists(room)) {
        Code_Error_Report(ErrorText("Unexisting room number: ", room), true);
        st.roomSwitch = ROOM_ABORTGAME;
    }
}

void Command_RestartRoom() { Command_GotoRoom(Run_CurrentRoomIndex()); }

void Command_GotoPreviousRoom()
{
    const int32_t current = Run_CurrentRoomIndex();
    if (current == Room_First()) {
        Code_Error_Report("Moving to previous room before the first room.", true);
        Run_State().roomSwitch = ROOM_ABORTGAME;
        return;
    }
    Command_GotoRoom(Room_Previous(current));
}

void Command_GotoNextRoom()
{
    const int32_t current = Run_CurrentRoomIndex();
    if (current == Room_Last()) {
        Code_Error_Report("Moving to next room after the last room.", true);
        Run_State().roomSwitch = ROOM_ABORTGAME;
        return;
    }
    Command_GotoRoom(Room_Next(current));
}

void Command_EndGame() { Run_State().roomSwitch = ROOM_ENDGAME; }
void Command_RestartGame() { Run_State().roomSwitch = ROOM_RESTARTGAME; }

bool Command_SaveScreen(const char* fileName)
{
    if (!fileName || !*fileName) {
        Code_Error_Report("Trying to save screen to empty image file name.", false);
        return false;
    }
    // The window's client area as drawn (words 0xAARRGGBB), written as R, G, B, A bytes.
    const int32_t w = GR_Window_GetWidth(), h = GR_Window_GetHeight();
    if (w < 1 || h < 1) return false;
    uint32_t* px = GR_D3D_ReadBackBufferRect(GR_Window_GetScreenWidth(), GR_Window_GetScreenHeight(), 0, 0, w, h);
    if (!px) return false;
    for (int64_t k = 0; k < int64_t(w) * h; ++k) {
        const uint32_t c = px[k];
        px[k] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
    }
    const bool ok = write_png_file(fileName, px, w, h);
    MEM_FREE(px);
    return ok;
}

// =============================================================================================
// Queries
// =============================================================================================

namespace {

// The region of a shape query, or null when the index cannot take it.
const WorldRegion* Region(WorldRegion* storage, float x1, float y1, float x2, float y2)
{
    return WorldRegion_FromFloats(x1, y1, x2, y2, storage) ? storage : nullptr;
}

// The region of an instance-against-instance query: self's box where it stands now.
const WorldRegion* SelfRegion(WorldRegion* storage, CInstance* self)
{
    return WorldRegion_FromInstance(self, storage) ? storage : nullptr;
}

} // namespace

CInstance* Command_CollisionPoint(CInstance* self, float x, float y, int32_t target, bool precise, bool notMe)
{
    WorldRegion r;
    return FirstOf(target, self, notMe, [&](CInstance* i) { return i->CollisionPoint(x, y, precise); }, Region(&r, x, y, x, y));
}

CInstance* Command_CollisionRectangle(CInstance* self, float x1, float y1, float x2, float y2, int32_t target,
                                      bool precise, bool notMe)
{
    WorldRegion r;
    return FirstOf(target, self, notMe, [&](CInstance* i) { return i->CollisionRectangle(x1, y1, x2, y2, precise); },
                   Region(&r, x1, y1, x2, y2));
}

CInstance* Command_CollisionEllipse(CInstance* self, float x1, float y1, float x2, float y2, int32_t target,
                                    bool precise, bool notMe)
{
    WorldRegion r;
    return FirstOf(target, self, notMe, [&](CInstance* i) { return i->CollisionEllipse(x1, y1, x2, y2, precise); },
                   Region(&r, x1, y1, x2, y2));
}

CInstance* Command_CollisionLine(CInstance* self, float x1, float y1, float x2, float y2, int32_t target, bool precise,
                                 bool notMe)
{
    WorldRegion r;
    return FirstOf(target, self, notMe, [&](CInstance* i) { return i->CollisionLine(x1, y1, x2, y2, precise); },
                   Region(&r, x1, y1, x2, y2));
}

CInstance* Command_InstancePosition(float x, float y, int32_t target)
{
    WorldRegion r;
    return FirstOf(target, nullptr, false, [&](CInstance* i) { return i->CollisionPoint(x, y, true); }, Region(&r, x, y, x, y));
}

CInstance* Command_InstancePlace(CInstance* self, float x, float y, int32_t target)
{
    if (!self) return nullptr;
    return AtPlace(self, x, y, [&] {
        WorldRegion r;
        return FirstOf(target, self, false, [&](CInstance* i) { return self->CollisionInstance(i, true); }, SelfRegion(&r, self));
    });
}

bool Command_PositionMeeting(float x, float y, int32_t target) { return Command_InstancePosition(x, y, target) != nullptr; }

bool Command_PlaceMeeting(CInstance* self, int32_t target, float x, float y)
{
    return Command_InstancePlace(self, x, y, target) != nullptr;
}

bool Command_PlaceEmpty(CInstance* self, float x, float y)
{
    if (!self) return true;
    return AtPlace(self, x, y, [&] {
        WorldRegion r;
        return FirstOf(-3, self, false, [&](CInstance* i) { return self->CollisionInstance(i, true); }, SelfRegion(&r, self)) ==
               nullptr;
    });
}

bool Command_PlaceFree(CInstance* self, float x, float y)
{
    if (!self) return true;
    return AtPlace(self, x, y, [&] {
        WorldRegion r;
        return FirstOf(-3, self, false, [&](CInstance* i) { return i->i_solid && self->CollisionInstance(i, true); },
                       SelfRegion(&r, self)) == nullptr;
    });
}

bool Command_PlaceFreeOrEmpty(CInstance* self, float x, float y, bool all) { return Free(self, x, y, all); }

int32_t Command_InstanceNumber(int32_t target)
{
    int32_t n = 0;
    if (target == -3) {
        CRoom* room = Run_CurrentRoom();
        if (!room) return 0;
        for (CInstance* i = room->m_active.head; i; i = i->m_pNext)
            if (Candidate(i)) ++n;
        return n;
    }
    if (target >= 100000) {
        CInstance* i = Instance_Find(target);
        return i && Candidate(i) ? 1 : 0;
    }
    if (CObject* o = Object_Lookup(target)) {
        for (ObjectInstanceNode* node = o->m_instancesRecursive.GetHead(); node; node = node->next)
            if (Candidate(node->value)) ++n;
    }
    for (int32_t k = 0; k < Run_ObjectChangeCount(); ++k) {
        CInstance* i = Run_ObjectChangeAt(k);
        if (i && i->i_objindex == target && Candidate(i)) ++n;
    }
    return n;
}

namespace {
CInstance* Extreme(float x, float y, int32_t target, bool nearest)
{
    if (target >= 100000) return nullptr;
    CInstance* best = nullptr;
    if (target == -3) {
        double bestD = nearest ? 100000000.0 : -1.0;
        FirstOf(target, nullptr, false, [&](CInstance* i) {
            const double dx = double(i->i_x) - x, dy = double(i->i_y) - y;
            const double d = dx * dx + dy * dy;
            if (nearest ? d < bestD : d > bestD) {
                bestD = d;
                best = i;
            }
            return false;
        });
    } else {
        float bestD = nearest ? 100000000.0f : -1.0f;
        FirstOf(target, nullptr, false, [&](CInstance* i) {
            const float dx = i->i_x - x, dy = i->i_y - y;
            const float d = dx * dx + dy * dy;
            if (nearest ? d < bestD : d > bestD) {
                bestD = d;
                best = i;
            }
            return false;
        });
    }
    return best;
}
} // namespace

CInstance* Command_InstanceNearest(float x, float y, int32_t target) { return Extreme(x, y, target, true); }
CInstance* Command_InstanceFurthest(float x, float y, int32_t target) { return Extreme(x, y, target, false); }

// =============================================================================================
// Motion
// =============================================================================================

void Command_MoveSnap(CInstance* self, float hsnap, float vsnap)
{
    float x = self->i_x, y = self->i_y;
    if (hsnap > 0) x = float(std::nearbyint(double(x) / double(hsnap)) * double(hsnap));
    if (vsnap > 0) y = float(std::nearbyint(double(y) / double(vsnap)) * double(vsnap));
    self->SetPosition(x, y);
}

void Command_MoveWrap(CInstance* self, bool horizontal, bool vertical)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    WorldSpriteInfo s{};
    const bool has = World_SpriteInfo(self->i_spriteindex, &s);
    const double w = has ? double(s.width) * double(self->i_imagescalex) : 0.0;
    const double h = has ? double(s.height) * double(self->i_imagescaley) : 0.0;
    float x = self->i_x, y = self->i_y;
    if (horizontal) {
        if (self->i_hspeed < 0 && x < 0) x = float(double(room->m_width) + double(x) + w);
        else if (self->i_hspeed > 0 && x >= float(room->m_width)) x = float(double(x) - double(room->m_width) - w);
    }
    if (vertical) {
        if (self->i_vspeed < 0 && y < 0) y = float(double(room->m_height) + double(y) + h);
        else if (self->i_vspeed > 0 && y >= float(room->m_height)) y = float(double(y) - double(room->m_height) - h);
    }
    self->SetPosition(x, y);
}

void Command_MoveTowardsPoint(CInstance* self, float x, float y, float speed)
{
    self->SetHSpeed(float(double(x) - double(self->i_x)));
    self->SetVSpeed(float(double(y) - double(self->i_y)));
    self->SetSpeed(speed);
}

namespace {
int32_t Steps(float max) { return max > 0 ? Real_RoundToInt32(max) : 1000; }
// Whether a step to (x, y) changes the instance's place (false for NaN).
bool Moves(const CInstance* self, float x, float y) { return (x != self->i_x || y != self->i_y) && x == x && y == y; }
} // namespace

void Command_MoveContact(CInstance* self, float direction, float max, bool all)
{
    const int32_t steps = Steps(max);
    if (!Free(self, self->i_x, self->i_y, all)) return;
    const double a = double(direction) * PI_FD / 180.0;
    const float dx = float(std::cos(a)), dy = float(-std::sin(a));
    for (int32_t k = 0; k < steps; ++k) {
        const float nx = self->i_x + dx, ny = self->i_y + dy;
        // A step that cannot move the instance (a direction that is not a number, or a place
        // so far out that a float does not change) would be the same for every step left.
        if (!Moves(self, nx, ny) || !Free(self, nx, ny, all)) break;
        self->SetPosition(nx, ny);
    }
}

void Command_MoveOutside(CInstance* self, float direction, float max, bool all)
{
    const int32_t steps = Steps(max);
    const double a = double(direction) * PI_FD / 180.0;
    const float dx = float(std::cos(a)), dy = float(-std::sin(a));
    for (int32_t k = 0; k < steps && !Free(self, self->i_x, self->i_y, all); ++k) {
        const float nx = self->i_x + dx, ny = self->i_y + dy;
        if (!Moves(self, nx, ny)) break;
        self->SetPosition(nx, ny);
    }
}

void Command_MoveBounce(CInstance* self, bool precise, bool all)
{
    bool bounced = false;
    if (!Free(self, self->i_x, self->i_y, all)) {
        self->SetPosition(self->i_xprevious, self->i_yprevious);
        bounced = true;
    }
    if (!precise) {
        const float x = self->i_x, y = self->i_y, hs = self->i_hspeed, vs = self->i_vspeed;
        const bool hFree = Free(self, x + hs, y, all), vFree = Free(self, x, y + vs, all);
        const bool dFree = Free(self, x + hs, y + vs, all);
        if (!hFree) {
            self->SetHSpeed(-self->i_hspeed);
            if (!vFree) self->SetVSpeed(-self->i_vspeed);
        } else if (vFree) {
            if (!dFree) {
                self->SetHSpeed(-self->i_hspeed);
                self->SetVSpeed(-self->i_vspeed);
            }
        } else {
            self->SetVSpeed(-self->i_vspeed);
        }
        return;
    }
    const double a = std::nearbyint(double(self->i_direction) / 10.0) * 10.0;
    const double speed = self->i_speed;
    auto freeAt = [&](double angle) {
        const double r = angle * PI_FD / 180.0;
        return Free(self, float(double(self->i_x) + std::cos(r) * speed), float(double(self->i_y) - std::sin(r) * speed), all);
    };
    double cw = a;
    for (int32_t k = 1; k <= 35; ++k) {
        cw = a - 10.0 * k;
        if (freeAt(cw)) break;
        bounced = true;
    }
    double ccw = a;
    bool found = false;
    for (int32_t k = 1; k <= 35; ++k) {
        ccw = a + 10.0 * k;
        if (freeAt(ccw)) {
            found = true;
            break;
        }
        bounced = true;
    }
    if (!found || bounced) self->SetDirection(float(ccw + cw + 180.0 - a));
}
