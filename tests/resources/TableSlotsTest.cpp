// The tables whose indexes scripts see as handles: a new entry takes the lowest free slot,
// however the slots were emptied, and a table with no free slot grows at its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "Files/Buffer/IBuffer.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_Surface.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Motion/Motion.h"
#include "Files/Particle/Particle_Main.h"
#include "Platform/FreeSlots.h"
#include "ResourceTestSupport.h"

namespace {

class TableSlots : public ResourceFixture {};

// Makes six entries, empties the fifth, the second and the fourth (in that order), twice
// (the second time the slots are emptied as the first time refilled them), and checks that
// the next three entries take those slots lowest first and the one after goes past them all.
void CheckLowestFreeFirst(const std::function<int32_t()>& make, const std::function<void(int32_t)>& empty)
{
    std::vector<int32_t> made;
    for (int i = 0; i < 6; ++i) made.push_back(make());
    for (int round = 0; round < 2; ++round) {
        for (int k : {4, 1, 3}) empty(made[size_t(k)]);
        std::vector<int32_t> freed = {made[1], made[3], made[4]};
        std::sort(freed.begin(), freed.end());
        for (int32_t expected : freed) EXPECT_EQ(make(), expected) << "round " << round;
    }
    const int32_t next = make();
    EXPECT_GT(next, *std::max_element(made.begin(), made.end()));
}

TEST(FreeSlots, TakesTheLowestStillFreeSlotBelowTheEnd)
{
    std::vector<bool> used(8, true);
    FreeSlots slots;
    for (int32_t i : {6, 2, 5, 2}) { // 2 reported twice
        used[size_t(i)] = false;
        slots.Release(i);
    }
    used[5] = true; // refilled some other way
    auto isFree = [&](int32_t i) { return !used[size_t(i)]; };
    EXPECT_EQ(slots.Take(8, isFree), 2);
    used[2] = true;
    EXPECT_EQ(slots.Take(6, isFree), -1) << "6 lies past a shrunk end, 5 is used, the second 2 is taken";
    slots.Release(1);
    slots.Clear();
    EXPECT_EQ(slots.Take(8, [](int32_t) { return true; }), -1);
}

TEST_F(TableSlots, EveryHandleTableReusesItsLowestFreeSlotFirst)
{
    {
        SCOPED_TRACE("buffers");
        CheckLowestFreeFirst([] { return Buffer_Create(4, eBuffer_Fixed, 1); }, Buffer_Free);
    }
    {
        SCOPED_TRACE("surfaces");
        CheckLowestFreeFirst([] { return GR_Surface_Create(2, 2); }, GR_Surface_Free);
    }
    {
        SCOPED_TRACE("textures");
        const uint32_t pixel = 0xFFFFFFFFu;
        CheckLowestFreeFirst([&] { return GR_Texture_CreateFromPixels(1, 1, &pixel, 4); }, GR_Texture_Free);
    }
    {
        SCOPED_TRACE("3D models");
        CheckLowestFreeFirst(GR_3D_Model_Create, GR_3D_Model_Destroy);
    }
    {
        SCOPED_TRACE("motion grids");
        CheckLowestFreeFirst([] { return Motion_Grid_Create(0, 0, 2, 2, 8, 8); }, Motion_Grid_Destroy);
    }
    {
        SCOPED_TRACE("particle systems, types and emitters");
        CheckLowestFreeFirst(ParticleSystem_Create, ParticleSystem_Destroy);
        CheckLowestFreeFirst(ParticleType_Create, ParticleType_Destroy);
        const int32_t system = ParticleSystem_Create();
        CheckLowestFreeFirst([=] { return ParticleEmitter_Create(system); },
                             [=](int32_t i) { ParticleEmitter_Destroy(system, i); });
        ParticleEmitter_DestroyAll(system);
        EXPECT_EQ(ParticleEmitter_Create(system), 0) << "an emptied list starts again at 0";
        ParticleSystem_Destroy(system);
    }
}

} // namespace
