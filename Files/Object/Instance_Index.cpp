// The spatial index of the current room's active list (Files/Object/Instance_Index.h).
//
// Grid: square cells of `cell` pixels, hashed into a power-of-two table of buckets; each bucket
// holds the instances filed under any cell that hashes to it (an instance appears once per
// cell it covers). A cell's neighbours in other buckets and strangers in its own are both
// harmless: a query takes each instance once (a per-query mark) and keeps it only when its box
// meets the query's. Boxes covering more than kMaxFiledCells cells, inverted boxes and boxes
// beyond the exact range sit in `big`, taken by every query.
//
// Order: each member's key grows along the list (gaps of 2^32; an insertion takes the middle
// of its neighbours' keys, and the list is numbered again when no key is left between them).
// Object targets are ordered by the link sequence of the object's inclusive-list nodes, which
// only ever append.
#include "Files/Object/Instance_Index.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "Files/Object/Instance.h"
#include "Files/Object/Instance_Pending.h"
#include "Files/Object/Object.h"

namespace world_index {
uint64_t g_generation = UINT64_MAX;
} // namespace world_index

namespace {

constexpr int64_t kExact = int64_t(1) << 23; // float and integer comparisons agree below this
constexpr int64_t kGap = int64_t(1) << 32;
constexpr int64_t kMaxFiledCells = 16;
constexpr int64_t kMaxQueryCells = 256;
constexpr int32_t kSmallObject = 16; // an object target with fewer instances is walked

struct Placement {
    bool big;
    int32_t x0, y0, x1, y1;
};

struct Index {
    InstanceList* list = nullptr;
    uint64_t counter = 0;
    int32_t threshold = 64;
    bool enabled = true;
    int64_t answered = 0;
    int32_t cell = 64;
    int32_t members = 0;
    int32_t builtWith = 0;
    uint32_t mask = 0;
    std::vector<std::vector<CInstance*>> buckets;
    std::vector<CInstance*> big;
    std::vector<CInstance*> queue;
    uint32_t stamp = 0;
    std::vector<std::pair<int64_t, CInstance*>> keyed;
    std::vector<CInstance*> found;
    // An instance deleted after the index (at exit) is no member of anything.
    ~Index() { world_index::g_generation = UINT64_MAX; }
};

Index g;

inline uint64_t Gen() { return world_index::g_generation; }
inline bool Member(const CInstance* i) { return i->m_idxGen == Gen(); }

inline int64_t FloorDiv(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

inline uint32_t Bucket(int64_t cx, int64_t cy)
{
    const uint64_t h = uint64_t(cx) * 0x9E3779B97F4A7C15ull ^ uint64_t(cy) * 0xC2B2AE3D27D4EB4Full;
    return uint32_t(h >> 32) & g.mask;
}

inline bool InExactRange(int64_t v) { return v > -kExact && v < kExact; }

Placement PlacementOf(const CInstance* i)
{
    const int64_t l = i->i_bbox_left, t = i->i_bbox_top, r = i->i_bbox_right, b = i->i_bbox_bottom;
    if (l > r || t > b || !InExactRange(l) || !InExactRange(t) || !InExactRange(r) || !InExactRange(b))
        return Placement{true, 1, 0, 0, 0};
    const int64_t x0 = FloorDiv(l, g.cell), x1 = FloorDiv(r, g.cell), y0 = FloorDiv(t, g.cell), y1 = FloorDiv(b, g.cell);
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxFiledCells) return Placement{true, 1, 0, 0, 0};
    return Placement{false, int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1)};
}

void Unfile(CInstance* i)
{
    if (i->m_idxSlot >= 0) {
        CInstance* last = g.big.back();
        g.big[size_t(i->m_idxSlot)] = last;
        last->m_idxSlot = i->m_idxSlot;
        g.big.pop_back();
        i->m_idxSlot = -1;
    }
    for (int64_t cy = i->m_idxY0; i->m_idxX0 <= i->m_idxX1 && cy <= i->m_idxY1; ++cy) {
        for (int64_t cx = i->m_idxX0; cx <= i->m_idxX1; ++cx) {
            std::vector<CInstance*>& bucket = g.buckets[Bucket(cx, cy)];
            auto it = std::find(bucket.begin(), bucket.end(), i);
            if (it != bucket.end()) {
                *it = bucket.back();
                bucket.pop_back();
            }
        }
    }
    i->m_idxX0 = 1;
    i->m_idxX1 = 0;
}

void File(CInstance* i, const Placement& p)
{
    if (p.big) {
        i->m_idxSlot = int32_t(g.big.size());
        g.big.push_back(i);
        return;
    }
    for (int64_t cy = p.y0; cy <= p.y1; ++cy)
        for (int64_t cx = p.x0; cx <= p.x1; ++cx) g.buckets[Bucket(cx, cy)].push_back(i);
    i->m_idxX0 = p.x0;
    i->m_idxY0 = p.y0;
    i->m_idxX1 = p.x1;
    i->m_idxY1 = p.y1;
}

// Files the instance under its box as it is now, unless it is filed so already.
void Refile(CInstance* i)
{
    const Placement p = PlacementOf(i);
    if (p.big ? i->m_idxSlot >= 0
              : (i->m_idxSlot < 0 && i->m_idxX0 == p.x0 && i->m_idxY0 == p.y0 && i->m_idxX1 == p.x1 && i->m_idxY1 == p.y1))
        return;
    Unfile(i);
    File(i, p);
}

void Dequeue(CInstance* i)
{
    if (i->m_idxQueuedGen != Gen()) return;
    CInstance* last = g.queue.back();
    g.queue[size_t(i->m_idxQueueSlot)] = last;
    last->m_idxQueueSlot = i->m_idxQueueSlot;
    g.queue.pop_back();
    i->m_idxQueuedGen = 0;
}

void Join(CInstance* i)
{
    i->m_idxGen = Gen();
    i->m_idxQueuedGen = 0;
    i->m_idxSlot = -1;
    i->m_idxX0 = 1;
    i->m_idxX1 = 0;
    ++g.members;
    WorldIndex_Queue(i);
}

void Leave(CInstance* i)
{
    Unfile(i);
    Dequeue(i);
    i->m_idxGen = 0;
    --g.members;
}

void Renumber()
{
    int64_t k = 0;
    for (CInstance* i = g.list->head; i; i = i->m_pNext, k += kGap) i->m_idxOrder = k;
}

// The order key of an instance just linked between its neighbours.
void Order(CInstance* i)
{
    const CInstance* p = i->m_pPrev;
    const CInstance* n = i->m_pNext;
    if (!p && !n) {
        i->m_idxOrder = 0;
        return;
    }
    if (!n && p->m_idxOrder < INT64_MAX - 2 * kGap) {
        i->m_idxOrder = p->m_idxOrder + kGap;
        return;
    }
    if (!p && n->m_idxOrder > INT64_MIN + 2 * kGap) {
        i->m_idxOrder = n->m_idxOrder - kGap;
        return;
    }
    if (p && n) {
        const uint64_t room = uint64_t(n->m_idxOrder) - uint64_t(p->m_idxOrder);
        if (n->m_idxOrder > p->m_idxOrder && room >= 2) {
            i->m_idxOrder = int64_t(uint64_t(p->m_idxOrder) + room / 2);
            return;
        }
    }
    Renumber();
}

void Drop()
{
    world_index::g_generation = UINT64_MAX;
    g.list = nullptr;
    g.members = 0;
    g.builtWith = 0;
    std::vector<std::vector<CInstance*>>().swap(g.buckets);
    std::vector<CInstance*>().swap(g.big);
    g.queue.clear();
}

void Build(InstanceList* list)
{
    Drop();
    world_index::g_generation = ++g.counter;
    g.list = list;
    int64_t sum = 0, counted = 0;
    int64_t k = 0;
    int32_t n = 0;
    for (CInstance* i = list->head; i; i = i->m_pNext, k += kGap, ++n) {
        i->m_idxGen = Gen();
        i->m_idxQueuedGen = 0;
        i->m_idxSlot = -1;
        i->m_idxX0 = 1;
        i->m_idxX1 = 0;
        i->m_idxOrder = k;
        i->RefreshBoundingBox();
        const int64_t w = int64_t(i->i_bbox_right) - i->i_bbox_left + 1, h = int64_t(i->i_bbox_bottom) - i->i_bbox_top + 1;
        // Boxes of instances without a shape (-100000 on every side) do not set the cell size.
        if (i->i_bbox_left != -100000 && w > 0 && h > 0 && w < kExact && h < kExact) {
            sum += std::max(w, h);
            ++counted;
        }
    }
    g.cell = counted ? int32_t(std::clamp<int64_t>(2 * sum / counted, 16, 4096)) : 64;
    g.members = n;
    g.builtWith = n;
    uint32_t size = 1024;
    while (size < uint32_t(2 * n) && size < (1u << 24)) size <<= 1;
    g.buckets.assign(size, {});
    g.mask = size - 1;
    for (CInstance* i = list->head; i; i = i->m_pNext) File(i, PlacementOf(i));
}

// Brings every queued instance's box up to date and files it again.
void Sync()
{
    for (CInstance* i : g.queue) {
        i->m_idxQueuedGen = 0;
        i->RefreshBoundingBox();
        Refile(i);
    }
    g.queue.clear();
}

// The link sequence of the instance in the object's inclusive list; 0 when it is not in it.
uint64_t SequenceIn(CInstance* i, const CObject* o)
{
    for (int32_t k = 0; k < i->m_recursiveCount; ++k) {
        const ObjectInstanceNode* node = i->RecursiveNode(k);
        if (node->owner == &o->m_instancesRecursive) return node->seq;
    }
    return 0;
}

} // namespace

bool WorldRegion_FromFloats(float x1, float y1, float x2, float y2, WorldRegion* out)
{
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return false;
    const double l = std::floor(double(std::min(x1, x2))), r = std::floor(double(std::max(x1, x2)));
    const double t = std::floor(double(std::min(y1, y2))), b = std::floor(double(std::max(y1, y2)));
    const double limit = double(kExact);
    if (!(l > -limit && r < limit && t > -limit && b < limit)) return false;
    *out = WorldRegion{int64_t(l), int64_t(t), int64_t(r), int64_t(b)};
    return true;
}

bool WorldRegion_FromInstance(CInstance* instance, WorldRegion* out)
{
    instance->RefreshBoundingBox();
    const int64_t l = instance->i_bbox_left, t = instance->i_bbox_top, r = instance->i_bbox_right, b = instance->i_bbox_bottom;
    if (l > r || t > b || !InExactRange(l) || !InExactRange(t) || !InExactRange(r) || !InExactRange(b)) return false;
    *out = WorldRegion{l, t, r, b};
    return true;
}

namespace {

// The members whose boxes meet region (every big one), keyed by keyOf (0: left out), in key
// order; null when the index cannot answer for this list and region.
template <class KeyOf>
const std::vector<CInstance*>* Gather(const WorldRegion& region, KeyOf&& keyOf)
{
    InstanceList* list = Run_GetActiveList();
    if (!list || !g.enabled) return nullptr;
    if (g.list != list) {
        if (list->count < g.threshold) return nullptr;
        Build(list);
    } else if (int64_t(g.members) > 2 * int64_t(g.builtWith) + 256) {
        Build(list); // grown well past the size the table and the cells were chosen for
    }
    const int64_t x0 = FloorDiv(region.left, g.cell), x1 = FloorDiv(region.right, g.cell);
    const int64_t y0 = FloorDiv(region.top, g.cell), y1 = FloorDiv(region.bottom, g.cell);
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxQueryCells) return nullptr;
    Sync();

    if (++g.stamp == 0) {
        for (CInstance* i = list->head; i; i = i->m_pNext) i->m_idxMark = 0;
        g.stamp = 1;
    }
    g.keyed.clear();
    auto take = [&](CInstance* i, bool big) {
        if (i->m_idxMark == g.stamp) return;
        i->m_idxMark = g.stamp;
        if (!big && (i->i_bbox_right < region.left || i->i_bbox_left > region.right || i->i_bbox_bottom < region.top ||
                     i->i_bbox_top > region.bottom))
            return;
        int64_t key;
        if (keyOf(i, &key)) g.keyed.emplace_back(key, i);
    };
    for (int64_t cy = y0; cy <= y1; ++cy)
        for (int64_t cx = x0; cx <= x1; ++cx)
            for (CInstance* i : g.buckets[Bucket(cx, cy)]) take(i, false);
    for (CInstance* i : g.big) take(i, true);
    std::sort(g.keyed.begin(), g.keyed.end(),
              [](const std::pair<int64_t, CInstance*>& a, const std::pair<int64_t, CInstance*>& b) { return a.first < b.first; });
    g.found.clear();
    for (const auto& [key, i] : g.keyed) g.found.push_back(i);
    ++g.answered;
    return &g.found;
}

} // namespace

const std::vector<CInstance*>* WorldIndex_Candidates(int32_t target, const WorldRegion& region)
{
    if (target == -3) {
        return Gather(region, [](const CInstance* i, int64_t* key) {
            *key = i->m_idxOrder;
            return true;
        });
    }
    if (target < 0 || target >= 100000) return nullptr;
    const CObject* object = Object_Lookup(target);
    if (!object || object->m_instancesRecursive.GetCount() < kSmallObject) return nullptr;
    return Gather(region, [object](CInstance* i, int64_t* key) {
        const uint64_t seq = SequenceIn(i, object);
        *key = int64_t(seq);
        return seq != 0;
    });
}

const std::vector<CInstance*>* WorldIndex_OwnCandidates(const CObject* object, const WorldRegion& region)
{
    if (!object) return nullptr;
    return Gather(region, [object](const CInstance* i, int64_t* key) {
        *key = int64_t(i->m_ownNode.seq);
        return i->m_ownNode.owner == &object->m_instances;
    });
}

void WorldIndex_Inserted(InstanceList* list, CInstance* instance)
{
    if (list != g.list) return;
    if (Member(instance)) Leave(instance);
    Order(instance);
    Join(instance);
}

void WorldIndex_Unlinked(InstanceList* list, CInstance* instance)
{
    if (list != g.list || !Member(instance)) return;
    Leave(instance);
}

void WorldIndex_Merged(InstanceList* list, CInstance** items, int32_t count)
{
    if (list != g.list) return;
    Renumber();
    for (int32_t k = 0; k < count; ++k) {
        CInstance* i = items[k];
        if (Member(i)) Leave(i);
        Join(i);
    }
}

void WorldIndex_Queue(CInstance* instance)
{
    if (!Member(instance) || instance->m_idxQueuedGen == Gen()) return;
    instance->m_idxQueuedGen = Gen();
    instance->m_idxQueueSlot = int32_t(g.queue.size());
    g.queue.push_back(instance);
}

void WorldIndex_Forget(CInstance* instance)
{
    if (Member(instance)) Leave(instance);
}

void WorldIndex_Reset()
{
    if (g.list) Drop();
}

void WorldIndex_SetThreshold(int32_t instances) { g.threshold = instances > 0 ? instances : 0; }

void WorldIndex_SetEnabled(bool on) { g.enabled = on; }

int64_t WorldIndex_Answered() { return g.answered; }

bool WorldIndex_Check()
{
    if (!g.list) return g.members == 0 && g.queue.empty() && g.big.empty();
    int32_t n = 0;
    bool first = true;
    int64_t last = 0;
    for (CInstance* i = g.list->head; i; i = i->m_pNext, ++n) {
        if (!Member(i)) return false;
        if (!first && i->m_idxOrder <= last) return false;
        first = false;
        last = i->m_idxOrder;
        if (i->m_idxQueuedGen == Gen()) {
            if (g.queue[size_t(i->m_idxQueueSlot)] != i) return false;
            continue;
        }
        if (i->i_bboxDirty) return false; // a box changed without the instance being queued
        const Placement p = PlacementOf(i);
        if (p.big) {
            if (i->m_idxSlot < 0 || g.big[size_t(i->m_idxSlot)] != i) return false;
            continue;
        }
        if (i->m_idxSlot >= 0 || i->m_idxX0 != p.x0 || i->m_idxY0 != p.y0 || i->m_idxX1 != p.x1 || i->m_idxY1 != p.y1) return false;
        for (int64_t cy = p.y0; cy <= p.y1; ++cy)
            for (int64_t cx = p.x0; cx <= p.x1; ++cx) {
                const std::vector<CInstance*>& bucket = g.buckets[Bucket(cx, cy)];
                if (std::find(bucket.begin(), bucket.end(), i) == bucket.end()) return false;
            }
    }
    if (n != g.members) return false;
    size_t filed = 0;
    for (const std::vector<CInstance*>& bucket : g.buckets)
        for (CInstance* i : bucket) {
            if (!Member(i)) return false;
            ++filed;
        }
    (void)filed;
    return true;
}
