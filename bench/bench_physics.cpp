// The physics step of a room: N bodies (boxes and circles, half each) dropped in rows onto a
// static floor and walls, at 60 steps a second, scale 0.1; each step is the engine's step, the
// write-back of every moving body to its instance and the collection of the touching contacts
// (no instance has a collision event, so none is performed). Measured after the pile has
// formed (two seconds of steps), then for the first steps of the fall.
//
// And the debugger packet splitter: a stream of 44-byte packets (and one evaluation in eight)
// handed over in 1,500-byte pieces, as the network delivers them.
//
//   build/bench/bench_physics
#include <benchmark/benchmark.h>
#include <box2d/box2d.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Files/Networking/Network.h"
#include "Files/Object/Instance.h"
#include "Files/Physics/Physics.h"
#include "Files/World/World_Hooks.h"

namespace {

struct Scene {
    std::unique_ptr<CPhysicsWorld> world;
    std::vector<std::unique_ptr<CInstance>> instances;

    explicit Scene(int32_t n)
    {
        Physics_InstallHooks(World_Hooks());
        world = std::make_unique<CPhysicsWorld>(0.1f, 60);
        world->SetGravity(0, 10);
        auto bind = [&](CInstance* i, CPhysicsFixture* f) {
            world->BindFixture(f, i);
            Physics_DeleteFixture(f->m_id);
        };
        // Floor and walls around a pit 2,000 pixels wide.
        const float walls[3][4] = {{0, 2000, 2000, 40}, {-40, 0, 40, 2040}, {2000, 0, 40, 2040}};
        for (const auto& w : walls) {
            auto* i = new CInstance(w[0], w[1], int32_t(100000 + instances.size()), -1, false);
            CPhysicsFixture* f = Physics_CreateFixture();
            f->SetPolygonShape();
            f->AddPoint(0, 0);
            f->AddPoint(w[2] * 0.1f, 0);
            f->AddPoint(w[2] * 0.1f, w[3] * 0.1f);
            f->AddPoint(0, w[3] * 0.1f);
            bind(i, f);
            instances.emplace_back(i);
        }
        const int32_t perRow = 60;
        for (int32_t k = 0; k < n; ++k) {
            const float x = 20.0f + float(k % perRow) * 32.0f + float((k / perRow) % 2) * 8.0f;
            const float y = 1900.0f - float(k / perRow) * 32.0f;
            auto* i = new CInstance(x, y, int32_t(100000 + instances.size()), -1, false);
            CPhysicsFixture* f = Physics_CreateFixture();
            if (k % 2) {
                f->SetCircleShape(1.2f);
            } else {
                f->SetPolygonShape();
                f->AddPoint(-1.2f, -1.2f);
                f->AddPoint(1.2f, -1.2f);
                f->AddPoint(1.2f, 1.2f);
                f->AddPoint(-1.2f, 1.2f);
            }
            f->m_density = 1;
            f->m_friction = 0.4f;
            bind(i, f);
            instances.emplace_back(i);
        }
    }
    ~Scene()
    {
        instances.clear(); // bodies leave the world first
        world.reset();
    }
};

void BM_PhysicsStepSettled(benchmark::State& state)
{
    Scene scene(int32_t(state.range(0)));
    for (int k = 0; k < 120; ++k) scene.world->Step(60, false);
    for (auto _ : state) scene.world->Step(60, false);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PhysicsStepSettled)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The engine's own step on the same settled scene: the layer's share is the difference.
void BM_EngineStepSettled(benchmark::State& state)
{
    Scene scene(int32_t(state.range(0)));
    for (int k = 0; k < 120; ++k) scene.world->Step(60, false);
    for (auto _ : state) scene.world->Box2D()->Step(1.0f / 60.0f, PHYSICS_VELOCITY_ITERATIONS, PHYSICS_POSITION_ITERATIONS);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EngineStepSettled)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_PhysicsStepFalling(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<Scene>(int32_t(state.range(0)));
        state.ResumeTiming();
        for (int k = 0; k < 30; ++k) scene->world->Step(60, false);
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 30);
}
BENCHMARK(BM_PhysicsStepFalling)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DebuggerPackets(benchmark::State& state)
{
    static const NetDebugHandlers handlers = {
        [](NetSocket*) {}, [](NetSocket*) {}, [](bool) {}, [](bool) {}, [](uint32_t, bool) {},
        [](NetSocket*, const uint8_t*, uint32_t) {},
    };
    Network_SetDebugHandlers(&handlers);
    std::vector<uint8_t> stream;
    for (int k = 0; k < 4096; ++k) {
        uint32_t words[11] = {NET_DEBUG_MAGIC, 44, uint32_t(1 + k % 6), 0, 0, 0, 0, 0, 0, 0, 0};
        if (k % 8 == 7) {
            words[2] = 9;
            words[3] = 64;
            stream.insert(stream.end(), reinterpret_cast<uint8_t*>(words), reinterpret_cast<uint8_t*>(words) + 20);
            stream.insert(stream.end(), 44, 'e');
            continue;
        }
        stream.insert(stream.end(), reinterpret_cast<uint8_t*>(words), reinterpret_cast<uint8_t*>(words) + 44);
    }
    NetServer* server = NetServer::Create(0, 1, 64, true);
    NetSocket* c = server->Adopt(new NetSocket(-1, 64, true));
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += 1500)
            server->HandleData(c, stream.data() + at, int32_t(std::min<size_t>(1500, stream.size() - at)));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * 4096);
    delete server;
    Network_SetDebugHandlers(nullptr);
}
BENCHMARK(BM_DebuggerPackets)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
