// Objects and events: the OBJT reader (bounds on event numbers, type counts and empty action
// lists; malformed records fail), parent loops refused, inheritance and the collision rule,
// the per-event lists, deleting an object in use (from outside, from its own event, and in
// bulk every step), and the event names.
#include "support/GameWorld.h"

#include <cstring>

#include "Files/Support/FileImage.h"
#include "Files/Support/GameHeader.h"

namespace {

// A little-endian byte builder with offsets patched later.
struct Bytes {
    std::vector<uint8_t> b = std::vector<uint8_t>(16, 0); // offset 0 stays "none"
    uint32_t Here() const { return uint32_t(b.size()); }
    uint32_t U32(uint32_t v)
    {
        uint32_t at = Here();
        for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
        return at;
    }
    void Put(uint32_t at, uint32_t v)
    {
        for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
    }
    uint32_t Str(const char* s)
    {
        uint32_t at = Here();
        b.insert(b.end(), s, s + std::strlen(s) + 1);
        while (b.size() % 4) b.push_back(0);
        return at;
    }
};

// One object whose events are (type, number, action count, code) records; types given as
// the type count (12 in valid data).
struct EventSpec {
    uint32_t type, number, actions;
    const char* code;
};

std::vector<uint8_t> ObjtChunk(uint32_t typeCount, const std::vector<EventSpec>& events, uint32_t* begin, uint32_t* end,
                               int32_t parent = -1)
{
    Bytes w;
    uint32_t name = w.Str("obj");
    std::vector<uint32_t> codeText;
    for (const EventSpec& e : events) codeText.push_back(w.Str(e.code));
    std::vector<uint32_t> actionAt;
    for (size_t k = 0; k < events.size(); ++k) {
        actionAt.push_back(w.Here());
        for (int j = 0; j < 15; ++j) w.U32(0);
        w.U32(codeText[k]); // +60 the code text
    }
    std::vector<uint32_t> eventAt;
    for (size_t k = 0; k < events.size(); ++k) {
        eventAt.push_back(w.Here());
        w.U32(events[k].number);
        w.U32(events[k].actions);
        if (events[k].actions) w.U32(actionAt[k]);
    }
    std::vector<uint32_t> typeAt(typeCount, 0);
    for (uint32_t t = 0; t < typeCount; ++t) {
        typeAt[t] = w.Here();
        uint32_t n = 0;
        for (const EventSpec& e : events)
            if (e.type == t) ++n;
        w.U32(n);
        for (size_t k = 0; k < events.size(); ++k)
            if (events[k].type == t) w.U32(eventAt[k]);
    }
    uint32_t entry = w.Here();
    w.U32(name);
    w.U32(0xFFFFFFFFu); // sprite
    w.U32(1);           // visible
    w.U32(0);           // solid
    w.U32(5);           // depth
    w.U32(0);           // persistent
    w.U32(uint32_t(parent));
    w.U32(0xFFFFFFFFu); // mask
    w.U32(typeCount);
    for (uint32_t t = 0; t < typeCount; ++t) w.U32(typeAt[t]);
    *begin = w.Here();
    w.U32(1);
    w.U32(entry);
    *end = w.Here();
    return w.b;
}

class ObjectWorld : public WorldTest {
protected:
    bool Load(const std::vector<uint8_t>& bytes, uint32_t begin, uint32_t end)
    {
        m_bytes = bytes;
        m_image = FileImage(m_bytes.data(), uint32_t(m_bytes.size()));
        g_GameHeader.version = 5;
        return Object_Load(m_image, begin, end);
    }
    std::vector<uint8_t> m_bytes;
    FileImage m_image;
};

} // namespace

TEST_F(ObjectWorld, ReaderBoundsEventNumbersTypesAndEmptyActionLists)
{
    uint32_t begin = 0, end = 0;
    auto bytes = ObjtChunk(14, {{3, 0, 1, "x = 1;"},
                                {3, 0xFFFFFFFFu, 1, "x = 2;"},
                                {5, 300, 1, "x = 3;"},
                                {2, 1, 0, "x = 4;"},
                                {13, 0, 1, "x = 5;"},
                                {9, 255, 1, "x = 6;"}},
                           &begin, &end);
    ASSERT_TRUE(Load(bytes, begin, end));
    CObject* o = Object_Lookup(0);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->GetName(), "obj");
    EXPECT_EQ(o->m_depth, 5);
    EXPECT_NE(o->GetEvent(3, 0), nullptr);
    EXPECT_EQ(o->m_events[3].count, 1) << "0xFFFFFFFF sizes nothing";
    EXPECT_EQ(o->m_events[5].count, 0) << "a key code beyond 255 is skipped";
    EXPECT_EQ(o->GetEvent(2, 1), nullptr) << "an event without actions is absent";
    EXPECT_NE(o->GetEvent(9, 255), nullptr);
    EXPECT_EQ(o->GetEvent(3, -1), nullptr) << "negative subtypes are refused";
    ASSERT_TRUE(Object_Prepare());
}

TEST_F(ObjectWorld, MalformedRecordsFailTheLoad)
{
    uint32_t begin = 0, end = 0;
    auto bytes = ObjtChunk(12, {{3, 0, 1, "x = 1;"}}, &begin, &end);
    // The type count claims more offsets than the file holds.
    auto broken = bytes;
    uint32_t entry = 0;
    ASSERT_TRUE(FileImage(broken.data(), uint32_t(broken.size())).U32(begin + 4, entry));
    broken[entry + 32] = 0xFF;
    broken[entry + 33] = 0xFF;
    broken[entry + 34] = 0xFF;
    EXPECT_FALSE(Load(broken, begin, end));
    Object_InitHash();
    // An entry pointing past the end.
    broken = bytes;
    const uint32_t size = uint32_t(broken.size());
    for (int k = 0; k < 4; ++k) broken[begin + 4 + k] = uint8_t((size - 8) >> (8 * k));
    EXPECT_FALSE(Load(broken, begin, end));
}

TEST_F(ObjectWorld, ParentLoopsAreRefused)
{
    int32_t a = Obj("a");
    int32_t b = Obj("b", a);
    int32_t c = Obj("c", b);
    EXPECT_TRUE(Object_Lookup(c)->IsDescendantOf(a));
    EXPECT_FALSE(Object_SetParent(a, c)) << "a would be its own ancestor";
    EXPECT_EQ(Object_Lookup(a)->m_pParent, nullptr);
    EXPECT_FALSE(Object_SetParent(a, a));
    // Made at run time: a new leaf under c, then a under the leaf, would close a loop; once
    // c has moved away from b (b no longer has a child), b can go under the leaf.
    int32_t leaf = Object_Add();
    ASSERT_TRUE(Object_SetParent(leaf, c));
    EXPECT_FALSE(Object_SetParent(a, leaf));
    EXPECT_FALSE(Object_SetParent(b, leaf));
    ASSERT_TRUE(Object_SetParent(c, -1));
    EXPECT_TRUE(Object_SetParent(b, leaf));
    EXPECT_FALSE(Object_SetParent(c, b)) << "c under b, b under leaf, leaf under c";
    ASSERT_TRUE(Object_SetParent(b, a));
    ASSERT_TRUE(Object_SetParent(c, b));
    // A loop in the file's indexes: the link that closes it is left out.
    Object_Lookup(a)->m_parentIndex = c;
    Object_LinkParents();
    int32_t steps = 0;
    for (CObject* o = Object_Lookup(a); o && steps < 10; o = o->m_pParent) ++steps;
    EXPECT_LT(steps, 10);
    EXPECT_FALSE(Object_Lookup(a)->HasEvent(0, 0)) << "every parent walk ends";
}

TEST_F(ObjectWorld, InheritanceAndTheCollisionRule)
{
    int32_t p = Obj("parent");
    int32_t child = Obj("child", p);
    int32_t other = Obj("other");
    int32_t otherChild = Obj("otherChild", other);
    Ev(p, EVENT_STEP, 0, "x = 1;");
    Ev(p, EVENT_COLLISION, other, "x = 2;");
    int32_t found = -1;
    EXPECT_NE(Event_Find(child, EVENT_STEP, 0, &found), nullptr);
    EXPECT_EQ(found, p) << "event_object during an inherited event is the parent";
    EXPECT_NE(Event_Find(child, EVENT_COLLISION, otherChild, &found), nullptr) << "collisions with descendants";
    EXPECT_EQ(found, p);
    Ev(child, EVENT_COLLISION, otherChild, "x = 3;");
    EXPECT_EQ(Event_Find(child, EVENT_COLLISION, otherChild, &found), Object_Lookup(child)->GetEvent(4, otherChild));
    Object_Lists_Build();
    EXPECT_EQ(Object_Lists_Get(EVENT_STEP, 0), (std::vector<int32_t>{p, child}));
    // One pair per collision, whichever side defines it.
    Ev(other, EVENT_COLLISION, p, "x = 4;");
    Object_Lists_Build();
    std::vector<std::pair<int32_t, int32_t>> pairs = Object_Lists_CollisionPairs();
    EXPECT_EQ(pairs, (std::vector<std::pair<int32_t, int32_t>>{{p, other}, {p, otherChild}, {child, other}, {child, otherChild}}));
    // A cached resolution follows a new parent.
    int32_t lone = Obj("lone");
    CObject* l = Object_Lookup(lone);
    EXPECT_EQ(Object_ResolveEvent(l, lone, EVENT_STEP, 0, &found), nullptr);
    ASSERT_TRUE(Object_SetParent(lone, p));
    EXPECT_NE(Object_ResolveEvent(l, lone, EVENT_STEP, 0, &found), nullptr);
    // Lists marked stale are rebuilt when next read, with every change made before.
    Object_Lists_Invalidate();
    ASSERT_TRUE(Object_SetParent(otherChild, lone));
    EXPECT_EQ(Object_Lists_Get(EVENT_STEP, 0), (std::vector<int32_t>{p, child, otherChild, lone}));
    EXPECT_EQ(Object_Lists_CollisionPairs().size(), 5u) << "the four under parent with other, child with otherChild";
}

TEST_F(ObjectWorld, DeletingAnObjectInUseDetachesItsInstancesAndChildren)
{
    int32_t p = Obj("p");
    int32_t child = Obj("child", p);
    Ev(p, EVENT_STEP, 0, "test_log('step', object_index);");
    int32_t r = Room();
    Place(r, p, 0, 0);
    Place(r, child, 0, 0);
    Start();
    EXPECT_EQ(Object_Lookup(p)->m_instancesRecursive.GetCount(), 2);
    ASSERT_TRUE(Object_Delete(p));
    EXPECT_FALSE(Object_Exists(p));
    EXPECT_EQ(Object_Lookup(child)->m_pParent, nullptr);
    EXPECT_EQ(Object_Lookup(child)->m_instancesRecursive.GetCount(), 1);
    g_Log.clear();
    Frames(2);
    EXPECT_EQ(LogText(), "") << "nothing inherits from a deleted object";
    EXPECT_EQ(Object_Add(), 2) << "indexes are not reused";
}

// An object deleted by its own running event, while it has a parent, a child, a deactivated
// instance and an instance waiting to become one of it: the event runs to its end, and no
// instance, child or list keeps the object (the sanitizer build checks nothing dangles once
// the record is freed at the next step).
TEST_F(ObjectWorld, AnObjectDeletedByItsOwnEventLeavesNothingBehind)
{
    const int32_t g = Obj("g");
    const int32_t p = Obj("p", g);
    const int32_t c = Obj("c", p);
    const int32_t o = Obj("o");
    const std::string step = "with (" + std::to_string(o) + ") instance_change(" + std::to_string(p) +
                             ", false); object_delete(object_index); test_log('after', object_exists(object_index));";
    ASSERT_TRUE(Ev(p, EVENT_STEP, 0, step.c_str()));
    int32_t r = Room();
    Place(r, g, 0, 0);
    const int32_t live = Place(r, p, 0, 0);
    const int32_t asleep = Place(r, p, 0, 0);
    const int32_t child = Place(r, c, 0, 0);
    const int32_t changing = Place(r, o, 0, 0);
    Start();
    Inst(asleep)->SetDeactivated(true);
    Run_CurrentRoom()->ApplyActivation();
    g_Log.clear();
    Frames(1);
    EXPECT_EQ(LogText(), "after:0") << "one event ran, to its end";
    EXPECT_FALSE(Object_Exists(p));
    EXPECT_EQ(Object_Find("p"), -1);
    for (int32_t id : {live, asleep, changing}) {
        EXPECT_EQ(Inst(id)->GetObject(), nullptr) << id;
        EXPECT_EQ(Inst(id)->i_objindex, p) << "the index is kept, naming nothing";
        EXPECT_FALSE(Inst(id)->InObjectLists()) << id;
    }
    EXPECT_EQ(Object_Lookup(c)->m_pParent, nullptr);
    EXPECT_EQ(Object_Lookup(c)->m_parentIndex, p);
    EXPECT_EQ(Object_Lookup(g)->m_instancesRecursive.GetCount(), 1) << "the child's instance left the chain";
    EXPECT_EQ(Object_Lookup(c)->m_instancesRecursive.GetCount(), 1);
    EXPECT_EQ(Object_Lookup(g)->m_childCount, 0);
    Inst(asleep)->SetDeactivated(false);
    Run_CurrentRoom()->ApplyActivation();
    EXPECT_FALSE(Inst(asleep)->InObjectLists()) << "woken, it joins no object";
    Frames(2);
    EXPECT_EQ(LogText(), "after:0");
    EXPECT_EQ(Inst(child)->i_objindex, c);
    EXPECT_EQ(Object_Add(), o + 1) << "indexes are not reused";
}

// Objects added, given parents and instances, and deleted by the hundred in every step.
TEST_F(ObjectWorld, ChurnOfObjectsInEveryStep)
{
    const int32_t keeper = Obj("keeper");
    ASSERT_TRUE(Ev(keeper, EVENT_STEP, 0,
                   "var k, p, c; for (k = 0; k < 100; k += 1) {"
                   "  p = object_add(); c = object_add(); object_set_parent(c, p);"
                   "  instance_create(0, 0, c); instance_create(0, 0, p);"
                   "  if (k mod 2) object_delete(p); object_delete(c); if (!(k mod 2)) object_delete(p);"
                   "  global.made = c; }"));
    ASSERT_TRUE(Ev(keeper, EVENT_COLLISION, keeper, "x = 1;")); // collision pairs are read every step
    int32_t r = Room();
    Place(r, keeper, 0, 0);
    Start();
    Frames(5);
    EXPECT_EQ(Object_GetCount(), keeper + 1 + 5 * 200);
    int32_t alive = 0;
    for (int32_t k = keeper + 1; k < Object_GetCount(); ++k) alive += Object_Exists(k) ? 1 : 0;
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(Object_Find(("__newobject" + std::to_string(keeper + 1)).c_str()), -1);
    int32_t orphans = 0;
    for (CInstance* i = Run_CurrentRoom()->m_active.head; i; i = i->m_pNext) {
        if (i->i_objindex == keeper) continue;
        EXPECT_EQ(i->GetObject(), nullptr);
        ++orphans;
    }
    EXPECT_EQ(orphans, 5 * 200);
}

TEST_F(ObjectWorld, EventNames)
{
    EXPECT_STREQ(Event_GetName(3, 1), " Step Event1");
    EXPECT_STREQ(Event_GetName(5, 65), "Keyboard Event for A-key Key");
    EXPECT_STREQ(Event_GetShortName(3, 2), "EndStep");
    EXPECT_STREQ(Event_GetShortName(9, 112), "press F1");
    EXPECT_STREQ(Event_GetKeyName(300), "<unknown>");
    EXPECT_STREQ(Event_GetMouseName(12), "<unknown>");
    EXPECT_STREQ(Event_GetMouseName(23), "Joystick 1 Button 3");
    EXPECT_STREQ(Event_GetName(11, 0), "<Unknown Event>");
    EXPECT_STREQ(Event_GetName(7, 62), "Web Event: HTTP");
    EXPECT_STREQ(Event_GetName(7, 12), "Other Event: User Defined 2");
    EXPECT_STREQ(Event_GetOtherName(45), "Outside View 5");
    EXPECT_STREQ(Event_GetKeyName(100), "Keypad-4");
}
