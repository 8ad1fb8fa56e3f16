// The step and its event phases (Files/Run/Run_Main.h).
//
// Dispatch: for each object of a per-event list, in list order, each live instance of the
// object's own list (the next node fetched before the event runs), skipping instances created
// after the pass began (their creation stamp is above the pass's stamp).
//
// Collisions: for each collision pair (a, b), each instance of a in list order meets the
// instances of b in list order. For larger pairs the room's spatial index (Run_Index.h) names
// the instances of b whose boxes meet a's instance's box, in b's list order; after a collision
// that moved or reshaped anything they are asked again (the index follows every change), so
// every test sees the boxes as they are at that moment.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Files/Graphics_API/Graphics_Window.h"
#include "Files/Object/Event.h"
#include "Files/Object/Instance_Index.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"
#include "Files/Option/Options.h"
#include "Files/Room/Room.h"
#include "Files/Run/Run_Async.h"
#include "Files/Run/Run_Main.h"
#include "Files/Run/Run_Save.h"
#include "Files/Support/CommandLine.h"
#include "Files/Support/Timing.h"
#include "Files/TimeLine/TimeLine.h"
#include "Files/World/World_Hooks.h"

namespace {

inline bool Live(const CInstance* i, uint64_t stamp)
{
    return !i->i_marked && !i->i_deactivated && i->m_creationStamp <= stamp;
}

inline bool Stopped() { return Run_State().roomSwitch != ROOM_STAY; }

// A named profiler marker of the frame, closed when the scope ends (also by an early return).
class Marker {
public:
    Marker(uint32_t colour, const char* name) { Open(colour, name); }
    ~Marker() { Close(); }
    Marker(const Marker&) = delete;
    Marker& operator=(const Marker&) = delete;
    void Open(uint32_t colour, const char* name)
    {
        Close();
        if (World_Hooks().profilerBegin) World_Hooks().profilerBegin(colour, name);
        m_open = true;
    }
    void Close()
    {
        if (m_open && World_Hooks().profilerEnd) World_Hooks().profilerEnd();
        m_open = false;
    }

private:
    bool m_open = false;
};

// Applies the pending changes; true when the step must return (a room switch is pending).
bool Between()
{
    Run_ApplyPendingChanges();
    return Stopped();
}

// A phase walks a copy of the per-event list as it stood when the phase began: the code it runs
// may rebuild the lists (object_add, object_set_parent, object_event_clear).
std::vector<int32_t> ListCopy(int32_t type, int32_t subtype) { return Object_Lists_Get(type, subtype); }

template <class Test>
void DispatchIf(int32_t type, int32_t subtype, Test&& test)
{
    if (Object_Lists_Get(type, subtype).empty()) return;
    const std::vector<int32_t> objects = ListCopy(type, subtype);
    const uint64_t s = Run_NextEventStamp();
    for (int32_t index : objects) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        for (ObjectInstanceNode* n = o->m_instances.GetHead(); n;) {
            ObjectInstanceNode* next = n->next;
            CInstance* i = n->value;
            if (Live(i, s) && test(i)) PerformEvent(i, i, i->i_objindex, type, subtype);
            n = next;
        }
    }
}

} // namespace

void Run_Dispatch(int32_t type, int32_t subtype)
{
    DispatchIf(type, subtype, [](CInstance*) { return true; });
}

void Run_StepEvent(int32_t subtype) { Run_Dispatch(EVENT_STEP, subtype); }

void Run_Alarms()
{
    const uint64_t s = Run_NextEventStamp();
    for (int32_t n = 0; n < 12; ++n) {
        for (int32_t index : ListCopy(EVENT_ALARM, n)) {
            CObject* o = Object_Lookup(index);
            if (!o) continue;
            for (ObjectInstanceNode* node = o->m_instances.GetHead(); node;) {
                ObjectInstanceNode* next = node->next;
                CInstance* i = node->value;
                if (Live(i, s) && i->i_alarm[n] >= 0) {
                    i->i_alarm[n] -= 1;
                    if (i->i_alarm[n] == 0) PerformEvent(i, i, i->i_objindex, EVENT_ALARM, n);
                }
                node = next;
            }
        }
    }
}

void Run_Keyboard()
{
    WorldHooks& h = World_Hooks();
    bool held = false, pressed = false, released = false;
    for (int32_t key = 8; key < 256; ++key) {
        const bool down = h.keyDown && h.keyDown(key);
        const bool press = h.keyPressed && h.keyPressed(key);
        const bool release = h.keyReleased && h.keyReleased(key);
        if (down || press) {
            Run_Dispatch(EVENT_KEYBOARD, key);
            held = true;
        }
        if (press) {
            Run_Dispatch(EVENT_KEYPRESS, key);
            pressed = true;
        }
        if (release) {
            Run_Dispatch(EVENT_KEYRELEASE, key);
            released = true;
        }
    }
    Run_Dispatch(EVENT_KEYBOARD, held ? 1 : 0);
    Run_Dispatch(EVENT_KEYPRESS, pressed ? 1 : 0);
    Run_Dispatch(EVENT_KEYRELEASE, released ? 1 : 0);
}

void Run_MouseEvent(int32_t subtype, bool hitTest)
{
    if (!hitTest) {
        Run_Dispatch(EVENT_MOUSE, subtype);
        return;
    }
    const RunState& st = Run_State();
    const float mx = float(st.mouseX), my = float(st.mouseY);
    DispatchIf(EVENT_MOUSE, subtype, [&](CInstance* i) { return i->CollisionPoint(mx, my, true); });
}

void Run_Mouse()
{
    RunState& st = Run_State();
    if (!st.windowVisible) return;
    WorldHooks& h = World_Hooks();
    st.mousePrevX = st.mouseX;
    st.mousePrevY = st.mouseY;
    st.mouseX = GR_Window_DeviceMouseX(0);
    st.mouseY = GR_Window_DeviceMouseY(0);
    bool any = false;
    for (int32_t b = 1; b <= 3; ++b) {
        const bool down = h.mouseDown && h.mouseDown(b);
        const bool press = h.mousePressed && h.mousePressed(b);
        if (down || press) {
            Run_MouseEvent(b - 1, true);
            Run_MouseEvent(49 + b, false);
            any = true;
        }
    }
    if (!any) Run_MouseEvent(3, true);
    for (int32_t b = 1; b <= 3; ++b) {
        if (!(h.mousePressed && h.mousePressed(b))) continue;
        Run_MouseEvent(b + 3, true);
        Run_MouseEvent(12, false);
        Run_MouseEvent(52 + b, false);
    }
    for (int32_t b = 1; b <= 3; ++b) {
        if (!(h.mouseReleased && h.mouseReleased(b))) continue;
        Run_MouseEvent(b + 6, true);
        Run_MouseEvent(13, false);
        Run_MouseEvent(55 + b, false);
    }
    const float cx = float(st.mouseX), cy = float(st.mouseY), px = float(st.mousePrevX), py = float(st.mousePrevY);
    for (int32_t index : ListCopy(EVENT_MOUSE, 10)) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        const uint64_t s = Run_NextEventStamp();
        for (ObjectInstanceNode* n = o->m_instances.GetHead(); n;) {
            ObjectInstanceNode* next = n->next;
            CInstance* i = n->value;
            if (Live(i, s) && i->CollisionPoint(cx, cy, true) && !i->CollisionPoint(px, py, true))
                PerformEvent(i, i, i->i_objindex, EVENT_MOUSE, 10);
            n = next;
        }
    }
    for (int32_t index : ListCopy(EVENT_MOUSE, 11)) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        const uint64_t s = Run_NextEventStamp();
        for (ObjectInstanceNode* n = o->m_instances.GetHead(); n;) {
            ObjectInstanceNode* next = n->next;
            CInstance* i = n->value;
            if (Live(i, s) && i->CollisionPoint(px, py, true) && !i->CollisionPoint(cx, cy, true))
                PerformEvent(i, i, i->i_objindex, EVENT_MOUSE, 11);
            n = next;
        }
    }
    if (h.wheelUp && h.wheelUp()) Run_MouseEvent(60, false);
    if (h.wheelDown && h.wheelDown()) Run_MouseEvent(61, false);
}

bool Run_Motion(bool anyPath)
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return false;
    if (room->m_pPhysicsWorld && World_Hooks().physicsStep) {
        World_Hooks().physicsStep(room->m_pPhysicsWorld, room->m_speed, anyPath);
        return true;
    }
    const uint64_t s = Run_NextEventStamp();
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        i->ApplyFrictionGravity();
        if (i->i_pathindex >= 0 && i->AdvancePath() && i->m_creationStamp <= s)
            PerformEvent(i, i, i->i_objindex, EVENT_OTHER, EV_END_OF_PATH);
        if (i->i_hspeed != 0.0f || i->i_vspeed != 0.0f)
            i->SetPosition(float(double(i->i_x) + double(i->i_hspeed)), float(double(i->i_y) + double(i->i_vspeed)));
        i = next;
    }
    return false;
}

namespace {
bool NoShape(const CInstance* i) { return !World_SpriteExists(i->i_spriteindex) && !World_SpriteExists(i->i_maskindex); }

// Outside the rectangle (l, t, r, b): the point test without a shape, else the box wholly out.
bool Outside(CInstance* i, float l, float t, float r, float b)
{
    if (NoShape(i)) return i->i_x < l || i->i_x > r || i->i_y < t || i->i_y > b;
    i->RefreshBoundingBox();
    return i->i_bbox_right < l || i->i_bbox_left > r || i->i_bbox_bottom < t || i->i_bbox_top > b;
}

// Touching or crossing the rectangle's boundary: unless the box lies wholly inside.
bool Boundary(CInstance* i, float l, float t, float r, float b)
{
    if (NoShape(i)) return i->i_x < l || i->i_x > r || i->i_y < t || i->i_y > b;
    i->RefreshBoundingBox();
    return !(i->i_bbox_left >= l && i->i_bbox_right <= r && i->i_bbox_top >= t && i->i_bbox_bottom <= b);
}

void DispatchRect(int32_t subtype, uint64_t s, bool boundary, float l, float t, float r, float b)
{
    for (int32_t index : ListCopy(EVENT_OTHER, subtype)) {
        CObject* o = Object_Lookup(index);
        if (!o) continue;
        for (ObjectInstanceNode* n = o->m_instances.GetHead(); n;) {
            ObjectInstanceNode* next = n->next;
            CInstance* i = n->value;
            if (Live(i, s) && (boundary ? Boundary(i, l, t, r, b) : Outside(i, l, t, r, b)))
                PerformEvent(i, i, i->i_objindex, EVENT_OTHER, subtype);
            n = next;
        }
    }
}
} // namespace

void Run_OutsideAndBoundary()
{
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    const float w = float(room->m_width), h = float(room->m_height);
    if (!Object_Lists_Get(EVENT_OTHER, EV_OUTSIDE).empty())
        DispatchRect(EV_OUTSIDE, Run_NextEventStamp(), false, 0, 0, w, h);
    if (!Object_Lists_Get(EVENT_OTHER, EV_BOUNDARY).empty())
        DispatchRect(EV_BOUNDARY, Run_NextEventStamp(), true, 0, 0, w, h);
    if (!room->m_viewsEnabled) return;
    uint64_t s = Run_NextEventStamp();
    for (int32_t v = 0; v < 8; ++v) {
        const RoomView& view = room->m_views[v];
        if (!view.visible) continue;
        DispatchRect(EV_OUTSIDE_VIEW0 + v, s, false, float(view.xview), float(view.yview),
                     float(int64_t(view.xview) + view.wview), float(int64_t(view.yview) + view.hview));
    }
    s = Run_NextEventStamp();
    for (int32_t v = 0; v < 8; ++v) {
        const RoomView& view = room->m_views[v];
        if (!view.visible) continue;
        DispatchRect(EV_BOUNDARY_VIEW0 + v, s, true, float(view.xview), float(view.yview),
                     float(int64_t(view.xview) + view.wview), float(int64_t(view.yview) + view.hview));
    }
}

// =============================================================================================
// Collisions
// =============================================================================================

namespace {

void BackOff(CInstance* i)
{
    i->SetPosition(i->i_xprevious, i->i_yprevious);
    i->i_pathposition = i->i_pathpositionprevious;
}

void MoveOn(CInstance* i)
{
    if (i->i_pathindex >= 0) i->AdvancePath();
    i->SetPosition(float(double(i->i_x) + double(i->i_hspeed)), float(double(i->i_y) + double(i->i_vspeed)));
}

// One collision between i and j (they met): back-off, both events, move on.
void Collide(CInstance* i, CInstance* j)
{
    const bool solid = i->i_solid || j->i_solid;
    if (solid) {
        BackOff(i);
        BackOff(j);
    }
    PerformEvent(i, j, i->i_objindex, EVENT_COLLISION, j->i_objindex);
    PerformEvent(j, i, j->i_objindex, EVENT_COLLISION, i->i_objindex);
    if (solid) {
        MoveOn(i);
        MoveOn(j);
        if (i->CollisionInstance(j, true)) {
            BackOff(i);
            BackOff(j);
        }
    }
}

} // namespace

void Run_Collisions()
{
    static std::vector<CInstance*> candidates;
    const std::vector<std::pair<int32_t, int32_t>> pairs = Object_Lists_CollisionPairs(); // see ListCopy
    for (const auto& [ai, bi] : pairs) {
        CObject* a = Object_Lookup(ai);
        CObject* b = Object_Lookup(bi);
        if (!a || !b || !a->m_instances.GetHead() || !b->m_instances.GetHead()) continue;
        const uint64_t s = Run_NextEventStamp();
        // Small pairs are tested directly; larger ones through the spatial index when it answers.
        const bool indexed = int64_t(a->m_instances.GetCount()) * int64_t(b->m_instances.GetCount()) > 256;
        for (ObjectInstanceNode* na = a->m_instances.GetHead(); na;) {
            ObjectInstanceNode* nextA = na->next;
            CInstance* i = na->value;
            if (!Live(i, s)) {
                na = nextA;
                continue;
            }
            // The instances of b whose boxes meet i's box, in b's list order (a copy: the
            // events may ask queries of their own).
            auto fetch = [&]() {
                WorldRegion region;
                const std::vector<CInstance*>* found =
                    indexed && WorldRegion_FromInstance(i, &region) ? WorldIndex_OwnCandidates(b, region) : nullptr;
                if (!found) return false;
                candidates.assign(found->begin(), found->end());
                return true;
            };
            if (!fetch()) {
                for (ObjectInstanceNode* nb = b->m_instances.GetHead(); nb;) {
                    ObjectInstanceNode* nextB = nb->next;
                    CInstance* j = nb->value;
                    if (Live(i, s) && Live(j, s) && i->CollisionInstance(j, true)) Collide(i, j);
                    nb = nextB;
                }
                na = nextA;
                continue;
            }
            for (size_t c = 0; c < candidates.size(); ++c) {
                CInstance* j = candidates[c];
                if (!Live(i, s) || !Live(j, s) || !i->CollisionInstance(j, true)) continue;
                const uint64_t before = World_ShapeChanges();
                Collide(i, j);
                if (World_ShapeChanges() != before) {
                    // Something moved or changed shape: the candidates again from i's box as it
                    // is now, continuing after the one just tested (b's list only appends, so
                    // its order is the order of the nodes' link sequence).
                    const uint64_t done = j->m_ownNode.seq;
                    if (!fetch()) {
                        // Walk the rest of b's list from the instance after j.
                        candidates.clear();
                        for (ObjectInstanceNode* nb = b->m_instances.GetHead(); nb; nb = nb->next)
                            if (nb->seq > done) candidates.push_back(nb->value);
                    } else {
                        candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                                        [done](const CInstance* x) { return x->m_ownNode.seq <= done; }),
                                         candidates.end());
                    }
                    c = size_t(-1);
                }
            }
            na = nextA;
        }
    }
}

// =============================================================================================
// The step
// =============================================================================================

void Run_Step()
{
    // No code runs and no loop holds an object here: the objects deleted by the last step's
    // code go now.
    Object_FreeDeleted();
    RunState& st = Run_State();
    CRoom* room = Run_CurrentRoom();
    if (!room) return;
    const int64_t now = Timing_Time();
    st.deltaTime = now - st.lastStepTime;
    st.lastStepTime = now;
    // A queued game load replaces the rooms before any event of this step.
    if (Run_PerformQueuedLoad()) {
        room = Run_CurrentRoom();
        if (!room) return;
    }
    WorldHooks& h = World_Hooks();
    Marker marker(0xFF00FF00u, "IO&Kovrin");
    if (h.inputUpdate) h.inputUpdate();
    if (h.servicesStep) h.servicesStep();
    marker.Close();
    if (g_Options.freezeOnLostFocus && !GR_Window_HasFocus()) return;
    marker.Open(0xFFFFFF00u, "Update");
    if (st.redrawRequest) {
        st.redrawRequest = 0;
        Event_PerformAll(EVENT_DRAW, 65);
    }

    // Animation.
    bool anyTimeLine = false, anyPath = false;
    for (CInstance* i = room->m_active.head; i;) {
        CInstance* next = i->m_pNext;
        i->i_xprevious = i->i_x;
        i->i_yprevious = i->i_y;
        i->i_pathpositionprevious = i->i_pathposition;
        i->i_imageindex = float(double(i->i_imageindex) + double(i->i_imagespeed));
        const int32_t frames = i->GetImageNumber();
        // Compared as reals: the index is any float a script set (NaN and the infinities never wrap).
        if (std::isfinite(i->i_imageindex) && std::trunc(double(i->i_imageindex)) >= double(frames)) {
            i->i_imageindex = float(double(i->i_imageindex) - double(frames));
            Event_Perform(i, i, EVENT_OTHER, EV_ANIMATION_END);
        }
        if (i->i_timelinerunning) anyTimeLine = true;
        if (i->i_pathindex >= 0) anyPath = true;
        i = next;
    }

    Run_StepEvent(1);
    if (Between()) return;
    if (h.servicesPoll) h.servicesPoll();
    if (Between()) return;
    if (anyTimeLine) {
        Run_TimeLines();
        if (Between()) return;
    }
    Run_Alarms();
    if (Between()) return;
    Run_Keyboard();
    if (Between()) return;
    if (h.joystickFireEvents) h.joystickFireEvents();
    if (Between()) return;
    Run_Mouse();
    if (Between()) return;
    Run_StepEvent(0);
    if (Between()) return;
    const bool physicsStepped = Run_Motion(anyPath);
    if (Between()) return;
    Run_OutsideAndBoundary();
    if (Between()) return;
    Async_ProcessRequests(); // purchases and queued callbacks first, then finished requests
    if (Between()) return;
    if (!physicsStepped) {
        Run_Collisions();
        if (Between()) return;
    }
    Run_StepEvent(2);
    if (Between()) return;
    if (h.particleUpdateAll) h.particleUpdateAll();

    marker.Open(0xFFFF0000u, "Draw");
    room = Run_CurrentRoom();
    if (!room) return;
    room->RemoveMarked();
    if (st.drawEnabled) {
        Room_DrawAll();
        Run_ApplyPendingChanges();
    }
    marker.Open(0xFF00FFFFu, "Scroll");
    if (CRoom* r = Run_CurrentRoom()) r->ScrollBackgrounds();
    Run_ApplyPendingChanges();
    ++st.stepCounter;
    if (g_StartupOptions.debugMode && h.debugFormUpdate && h.debugFormExists && h.debugFormExists()) h.debugFormUpdate();
}
