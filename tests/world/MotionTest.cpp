// Motion planning: the grid search against a breadth-first search written here over random
// grids (path length, free cells, steps between neighbours, no cut corners), the cell ranges,
// the refused grid sizes, the linear and potential steps on cases worked by hand, the path
// walks' bounds, contact moves that go nowhere; and the trigger table's checked stream form.
#include <cmath>
#include <deque>
#include <random>

#include "support/GameWorld.h"

#include "Files/Motion/Motion.h"
#include "Files/Path/Path.h"
#include "Files/Run/Run_Commands.h"
#include "Files/Support/Stream.h"
#include "Files/Trigger/Trigger.h"

namespace {

class Motion : public WorldTest {
protected:
    void TearDown() override
    {
        Motion_Grid_FreeAll();
        Motion_PotentialSettings(30, 10, 3, true);
        WorldTest::TearDown();
    }
};

// Steps of the shortest way from (hs, vs) to (hg, vg) over free cells (-1 none), diagonals
// only between two free cells.
int32_t ShortestSteps(const CGrid& g, int32_t hs, int32_t vs, int32_t hg, int32_t vg, bool diag)
{
    std::vector<int32_t> dist(g.m_cells.size(), -1);
    std::deque<std::pair<int32_t, int32_t>> q;
    auto at = [&](int32_t h, int32_t v) { return size_t(h) * size_t(g.m_rows) + size_t(v); };
    auto freeCell = [&](int32_t h, int32_t v) { return g.Inside(h, v) && g.Cell(h, v) == 0; };
    dist[at(hs, vs)] = 0;
    q.push_back({hs, vs});
    while (!q.empty()) {
        auto [h, v] = q.front();
        q.pop_front();
        if (h == hg && v == vg) return dist[at(h, v)];
        for (int32_t dh = -1; dh <= 1; ++dh) {
            for (int32_t dv = -1; dv <= 1; ++dv) {
                if ((dh == 0 && dv == 0) || (!diag && dh != 0 && dv != 0)) continue;
                const int32_t nh = h + dh, nv = v + dv;
                if (!freeCell(nh, nv) || dist[at(nh, nv)] >= 0) continue;
                if (dh != 0 && dv != 0 && !(freeCell(h + dh, v) && freeCell(h, v + dv))) continue;
                dist[at(nh, nv)] = dist[at(h, v)] + 1;
                q.push_back({nh, nv});
            }
        }
    }
    return -1;
}

} // namespace

TEST_F(Motion, GridPathMatchesABreadthFirstSearchOverRandomGrids)
{
    std::mt19937 random(12345);
    for (int32_t round = 0; round < 300; ++round) {
        const int32_t columns = 2 + int32_t(random() % 20), rows = 2 + int32_t(random() % 20);
        const int32_t id = Motion_Grid_Create(7, -3, columns, rows, 16, 12);
        ASSERT_GE(id, 0);
        CGrid* g = Motion_Grid_Get(id);
        for (int32_t h = 0; h < columns; ++h)
            for (int32_t v = 0; v < rows; ++v)
                if (random() % 100 < 30) Motion_Grid_AddCell(id, h, v);
        const int32_t hs = int32_t(random() % uint32_t(columns)), vs = int32_t(random() % uint32_t(rows));
        const int32_t hg = int32_t(random() % uint32_t(columns)), vg = int32_t(random() % uint32_t(rows));
        Motion_Grid_ClearCell(id, hs, vs);
        Motion_Grid_ClearCell(id, hg, vg);
        const bool diag = round % 2 == 1;
        const std::vector<int32_t> before = g->m_cells;
        const float xs = 7 + hs * 16 + 3.5f, ys = -3 + vs * 12 + 1.0f, xg = 7 + hg * 16 + 15.0f, yg = -3 + vg * 12 + 11.0f;
        CPath path;
        path.AddPoint(1, 2, 3); // untouched when no way exists
        const bool found = Motion_Grid_Path(id, &path, xs, ys, xg, yg, diag);
        EXPECT_EQ(g->m_cells, before) << "every mark is cleared";
        const int32_t steps = ShortestSteps(*g, hs, vs, hg, vg, diag);
        ASSERT_EQ(found, steps >= 0) << "round " << round;
        if (!found) {
            EXPECT_EQ(path.GetNumber(), 1);
            continue;
        }
        // The start, a cell centre per cell between, the goal: the cells walked are the start's,
        // the centres' and the goal's, steps + 1 of them (a start and goal in one cell: 2 points).
        const int32_t points = path.GetNumber();
        ASSERT_EQ(points, steps == 0 ? 2 : steps + 1) << "round " << round;
        EXPECT_EQ(path.GetPoint(0).x, xs);
        EXPECT_EQ(path.GetPoint(points - 1).y, yg);
        std::vector<std::pair<int32_t, int32_t>> walked = {{hs, vs}};
        for (int32_t k = 1; k < points - 1; ++k) {
            const PathPoint p = path.GetPoint(k);
            const int32_t h = int32_t(p.x - 7) / 16, v = int32_t(p.y + 3) / 12;
            EXPECT_EQ(p.x, 7 + h * 16 + 8.0f);
            EXPECT_EQ(p.y, -3 + v * 12 + 6.0f);
            walked.push_back({h, v});
        }
        if (steps > 0) walked.push_back({hg, vg});
        for (size_t k = 1; k < walked.size(); ++k) {
            const auto [ph, pv] = walked[k - 1];
            const auto [h, v] = walked[k];
            EXPECT_EQ(g->Cell(h, v), 0) << "a path cell is free";
            EXPECT_EQ(std::max(std::abs(h - ph), std::abs(v - pv)), 1) << "neighbours";
            if (h != ph && v != pv) {
                EXPECT_TRUE(diag);
                EXPECT_EQ(g->Cell(h, pv), 0) << "no corner is cut";
                EXPECT_EQ(g->Cell(ph, v), 0) << "no corner is cut";
            }
        }
        Motion_Grid_Destroy(id);
    }
}

TEST_F(Motion, GridCellsRectanglesAndRefusedSizes)
{
    const int32_t id = Motion_Grid_Create(0, 0, 4, 3, 32, 32);
    EXPECT_EQ(Motion_Grid_Create(0, 0, 4, 3, 0, 32), -1) << "a cell 0 wide";
    EXPECT_EQ(Motion_Grid_Create(0, 0, -4, 3, 32, 32), -1);
    EXPECT_EQ(Motion_Grid_Create(0, 0, 100000, 100000, 1, 1), -1) << "too many cells";
    EXPECT_EQ(Motion_Grid_Create(2000000000, 0, 10, 10, 100000000, 1), -1) << "the extent overflows";
    Motion_Grid_AddRectangle(id, 31, 0, 32, 0);
    CGrid* g = Motion_Grid_Get(id);
    EXPECT_EQ(g->Cell(0, 0), -1) << "x 31 lies in column 0";
    EXPECT_EQ(g->Cell(1, 0), -1) << "x 32 in column 1";
    EXPECT_EQ(g->Cell(2, 0), 0);
    Motion_Grid_AddRectangle(id, -500, 70, 5000, 5000);
    EXPECT_EQ(g->Cell(3, 2), -1) << "clamped to the grid";
    Motion_Grid_ClearRectangle(id, 0, 0, 1000, 1000);
    for (int32_t c : g->m_cells) EXPECT_EQ(c, 0);
    Motion_Grid_AddCell(id, 4, 0); // outside: nothing
    Motion_Grid_Destroy(id);
    EXPECT_EQ(Motion_Grid_Create(0, 0, 1, 1, 1, 1), id) << "a destroyed slot is reused";
    CPath path;
    EXPECT_FALSE(Motion_Grid_Path(99, &path, 0, 0, 0, 0, false));
}

TEST_F(Motion, LinearAndPotentialStepsWorkedByHand)
{
    const int32_t wall = Obj("wall", -1, 1, 0, true);
    g_FakeSprites[1] = FakeSprite(10, 10);
    const int32_t mover = Obj("mover", -1, 1);
    const int32_t r = Room(400, 400);
    Place(r, mover, 0, 0);
    Place(r, wall, 40, 0);
    Start();
    CInstance* i = First(mover);
    EXPECT_EQ(Motion_PointDirection(0, 0, 10, 0), 0.0f);
    EXPECT_EQ(Motion_PointDirection(0, 0, 0, -10), 90.0f);
    EXPECT_EQ(Motion_PointDirection(0, 0, 0, 10), 270.0f);
    EXPECT_NEAR(Motion_PointDirection(0, 0, -10, 10), 225.0f, 1e-4);

    // Linear: 3 + 4 = 5 along the line; then into the wall's place, which is not free.
    EXPECT_FALSE(Motion_LinearStep(i, 30, 40, 5, -3, false));
    EXPECT_FLOAT_EQ(i->i_x, 3);
    EXPECT_FLOAT_EQ(i->i_y, 4);
    i->SetPosition(0, 0);
    EXPECT_TRUE(Motion_LinearStep(i, 45, 0, 100, -3, false)) << "within a step: reached even when blocked";
    EXPECT_EQ(i->i_x, 0) << "the blocked goal is not entered";
    CPath path;
    EXPECT_FALSE(Motion_LinearPath(i, &path, 80, 0, 5, -3, false)) << "the wall stops the walk";
    EXPECT_EQ(i->i_x, 0) << "the path walk puts the instance back";
    EXPECT_TRUE(Motion_LinearPath(i, &path, 0, 23, 5, -3, false));
    EXPECT_EQ(path.GetNumber(), 6) << "0, 5, 10, 15, 20 then the goal";
    EXPECT_EQ(path.GetPoint(5).y, 23);

    // Potential: straight ahead is blocked, so the step turns by the rotation step.
    Motion_PotentialSettings(90, 10, 1, true);
    // From x 25 the wall (x 40..49) is met by every turn below 60 degrees; -60 is tried
    // before +60.
    i->SetPosition(25, 0);
    i->SetDirection(0);
    EXPECT_FALSE(Motion_PotentialStep(i, 100, 0, 10, -3, false));
    EXPECT_NEAR(i->i_direction, 300.0f, 1e-3);
    EXPECT_NEAR(i->i_x, 30, 1e-3);
    EXPECT_NEAR(i->i_y, 8.660254, 1e-3) << "y grows downwards: -60 degrees goes down";
    // Boxed in on every side: no try succeeds and the instance turns on the spot, forever; the
    // path walk still ends.
    const int32_t box = Obj("box", -1, 1, 0, true);
    i->SetPosition(200, 200);
    for (float dx : {-10.0f, 10.0f})
        for (float dy : {-10.0f, 0.0f, 10.0f}) Run_CurrentRoom()->AddInstance(200 + dx, 200 + dy, box);
    Run_CurrentRoom()->AddInstance(200, 190, box);
    Run_CurrentRoom()->AddInstance(200, 210, box);
    Motion_PotentialSettings(30, 10, 1, true);
    EXPECT_FALSE(Motion_PotentialPath(i, &path, 300, 200, 5, 1000000, -3, false));
    EXPECT_EQ(i->i_x, 200);
    EXPECT_FALSE(Motion_PotentialPath(i, &path, 300, 200, 5, 0.5f, -3, false)) << "factor below 1";
}

TEST_F(Motion, NonFiniteGoalsStepsAndSettings)
{
    const int32_t mover = Obj("mover", -1, 1);
    const int32_t r = Room(400, 400);
    Place(r, mover, 100, 100);
    Start();
    CInstance* i = First(mover);
    const float nan = std::nanf(""), inf = INFINITY;
    CPath path;
    // A NaN goal or step size: no step is taken and the walks end at once.
    for (auto [gx, step] : {std::pair{nan, 4.0f}, std::pair{200.0f, nan}}) {
        EXPECT_FALSE(Motion_LinearStep(i, gx, 100, step, -3, false));
        EXPECT_FALSE(Motion_PotentialStep(i, gx, 100, step, -3, false));
        EXPECT_EQ(i->i_x, 100);
        EXPECT_EQ(i->i_y, 100);
        EXPECT_FALSE(Motion_LinearPath(i, &path, gx, 100, step, -3, false));
        EXPECT_LE(path.GetNumber(), 1);
    }
    // A goal at infinity: one step of stepsize towards it.
    EXPECT_FALSE(Motion_LinearStep(i, -inf, 100, 4, -3, false));
    EXPECT_EQ(i->i_x, 96);
    EXPECT_EQ(i->i_y, 100);
    EXPECT_EQ(i->i_direction, 180);
    // NaN settings are taken as 1: the potential walk still turns and ends.
    Motion_PotentialSettings(nan, nan, nan, true);
    i->SetDirection(0);
    EXPECT_TRUE(Motion_PotentialPath(i, &path, 150, 100, 4, 2, -3, false));
    EXPECT_EQ(i->i_x, 96);
    // Contact and outside moves in a direction that is not a number stay put: every step would
    // go nowhere, as many times as the distance asks.
    g_FakeSprites[1] = FakeSprite(8, 8);
    Command_MoveContact(i, nan, 10, true);
    EXPECT_EQ(i->i_x, 96);
    Place(r, Obj("wall", -1, 1, 0, true), 96, 100);
    Command_RestartRoom();
    Frames(1);
    i = First(mover);
    Command_MoveOutside(i, nan, 10, false);
    EXPECT_EQ(i->i_x, 100);
}

TEST_F(Motion, TriggerStreamFormIsChecked)
{
    auto stream = [](int32_t version, const char* name, const char* cond, int32_t moment, const char* constName) {
        auto* s = new CStream();
        s->WriteInteger(version);
        s->WriteString(name);
        s->WriteString(cond);
        s->WriteInteger(moment);
        s->WriteString(constName);
        s->Seek(0);
        return s;
    };
    CTrigger t(3);
    CStream* good = stream(800, "t", "x > 1", 2, "trig_x");
    EXPECT_TRUE(t.LoadFromStream(good));
    EXPECT_STREQ(t.GetConstName(), "trig_x");
    EXPECT_EQ(t.GetMoment(), 2);
    CStream* other = stream(801, "t", "x", 2, "c");
    EXPECT_FALSE(t.LoadFromStream(other));
    EXPECT_EQ(t.GetName(), nullptr) << "left reset";
    // Every cut of a good stream is refused.
    for (int64_t n = 0; n < good->GetSize(); ++n) {
        CStream cut;
        cut.WriteBuffer(good->GetMemory(), n);
        cut.Seek(0);
        EXPECT_FALSE(t.LoadFromStream(&cut)) << n;
        EXPECT_EQ(t.GetMoment(), 1);
    }
    delete good;
    delete other;
    auto* a = new CTrigger(5);
    a->SetConstName("trig_a");
    a->SetName("A");
    EXPECT_TRUE(Trigger_Insert(a));
    EXPECT_FALSE(Trigger_Insert(new CTrigger(5))) << "an index once";
    EXPECT_EQ(Trigger_Find("trig_a"), 5);
    EXPECT_EQ(Trigger_Find("nope"), -1);
    EXPECT_STREQ(Trigger_GetName(5), "A");
    EXPECT_EQ(Trigger_GetName(6), nullptr);
    Trigger_Clear();
    EXPECT_EQ(Trigger_Count(), 0);
    EXPECT_EQ(Trigger_Find("trig_a"), -1);
}
