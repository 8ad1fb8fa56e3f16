// Shared helpers of the 3D tests (see ThreeDTestSupport.h).
#include "ThreeDTestSupport.h"

#include <cstring>

#include "Files/Function/Function_3D.h"
#include "Files/Graphics/Graphics_3D_Model.h"
#include "Files/Graphics/Graphics_3D_Primitive.h"
#include "Files/Graphics/Graphics_Texture.h"
#include "Files/Graphics/Graphics_Transition.h"
#include "Files/Graphics_API/Graphics_3D.h"
#include "Files/Graphics_API/Graphics_Batch.h"
#include "Files/Graphics_API/Graphics_D3D.h"

Vertex3D Vtx(const FakeDraw& d, uint32_t i)
{
    Vertex3D v{};
    EXPECT_EQ(d.stride, 36u);
    if ((size_t)(i + 1) * 36 <= d.vertices.size()) std::memcpy(&v, d.vertices.data() + (size_t)i * 36, 36);
    else ADD_FAILURE() << "no vertex " << i;
    return v;
}

std::vector<Vertex3D> Vertices(const FakeDraw& d)
{
    std::vector<Vertex3D> out;
    for (uint32_t i = 0; i < d.vertexCount(); ++i) out.push_back(Vtx(d, i));
    return out;
}

SubmissionLog::SubmissionLog() { Attach(); }
void SubmissionLog::Attach() { GR_3D_SetSubmitObserver(&SubmissionLog::Observe, this); }
SubmissionLog::~SubmissionLog() { GR_3D_SetSubmitObserver(nullptr, nullptr); }

void SubmissionLog::Observe(int32_t kind, int32_t n, const Vertex3D* v, void* user)
{
    static_cast<SubmissionLog*>(user)->m_items.push_back(Submission{kind, std::vector<Vertex3D>(v, v + n)});
}

std::vector<Submission> SubmissionLog::Take()
{
    std::vector<Submission> out;
    out.swap(m_items);
    return out;
}

std::vector<std::pair<int32_t, int32_t>> SubmissionLog::Shape()
{
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const Submission& s : Take()) out.push_back({s.kind, (int32_t)s.v.size()});
    return out;
}

void ThreeD_ResetAll()
{
    GR_3D_Model_FreeAll();
    GR_3D_ResetPrimitive();
    GraphicsRecorder_SetVertexLimit(0);
    GR_Transition_Reset();
}

void ThreeDFixture::SetUp()
{
    ThreeD_ResetAll();
    GraphicsFixture::SetUp();
    GR_D3D_Start_Frame();
    dev()->ClearLog();
}

void ThreeDFixture::TearDown()
{
    ThreeD_ResetAll();
    GR_Texture_FreeAll();
    GraphicsFixture::TearDown();
}

std::vector<FakeDraw> ThreeDFixture::Drawn()
{
    GR_D3D_Flush();
    std::vector<FakeDraw> out = dev()->draws;
    dev()->draws.clear();
    return out;
}

std::vector<size_t> ThreeDFixture::LogAt(const std::string& prefix)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < dev()->log.size(); ++i)
        if (dev()->log[i].rfind(prefix, 0) == 0) at.push_back(i);
    return at;
}

void ThreeD_RegisterBuiltins()
{
    static bool done = false;
    if (done) return;
    GR_3D_RegisterBuiltins();
    GR_Transition_RegisterBuiltins();
    done = true;
}

double Call(const char* name, std::initializer_list<Val> args)
{
    ThreeD_RegisterBuiltins();
    return Builtin_Call(name, std::vector<Val>(args), nullptr, nullptr, true).Real();
}
