// Shared helpers of the 3D tests: a fixture over the recording graphics fake that also empties
// the 3D primitive state, the models and the texture table around each test, access to the
// 36-byte vertices of recorded draws, and calls of the 3D built-ins by name.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "Files/Graphics_API/Graphics_Recorder.h"
#include "support/BuiltinTest.h"
#include "support/FakeGraphics.h"

// The 3D vertex i of a draw (36-byte stride).
Vertex3D Vtx(const FakeDraw& d, uint32_t i);
// Every vertex of a draw.
std::vector<Vertex3D> Vertices(const FakeDraw& d);

// The primitives submitted while the object lives (kind and vertices as built, before the
// batch turns strips and fans into lists), through the 3D primitives' observer.
struct Submission {
    int32_t kind;
    std::vector<Vertex3D> v;
};
class SubmissionLog {
public:
    SubmissionLog();
    ~SubmissionLog();
    // Installs the observer again (after the 3D state was reset).
    void Attach();
    // The submissions since the last call.
    std::vector<Submission> Take();
    // Kinds and vertex counts of Take().
    std::vector<std::pair<int32_t, int32_t>> Shape();

private:
    static void Observe(int32_t kind, int32_t n, const Vertex3D* v, void* user);
    std::vector<Submission> m_items;
};

// Empties the 3D state: primitive, recording, models, the recorder's vertex limit.
void ThreeD_ResetAll();

class ThreeDFixture : public GraphicsFixture {
protected:
    void SetUp() override;
    void TearDown() override;
    // The draws since the last call (the batch is flushed first).
    std::vector<FakeDraw> Drawn();
    // Positions of the device log lines that start with prefix, in order.
    std::vector<size_t> LogAt(const std::string& prefix);
};

// A built-in by name (the 3D and transition groups registered first; the count is checked
// against the row's) with reals or strings; the result's real.
double Call(const char* name, std::initializer_list<Val> args);
// Registers the 3D and transition built-ins once a process.
void ThreeD_RegisterBuiltins();
