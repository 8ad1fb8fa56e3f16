// The flags behind Files/Base/QuitRequest.h and the judgement of the player's requests (its
// waits, its clock and the stage it stamps: Linux/QuitRequestM.cpp).
#include "Files/Base/QuitRequest.h"

#include <algorithm>

namespace quitrequest_detail {
std::atomic<int32_t> g_raised{0};
std::atomic<int32_t> g_quitting{0};
std::atomic<int32_t> g_stage{int32_t(QuitStage::Starting)};
std::atomic<int32_t> g_signalled{0};
std::atomic<int64_t> g_firstAt{0};
std::atomic<int64_t> g_endAt{0};
} // namespace quitrequest_detail

using namespace quitrequest_detail;

QuitStage QuitRequest_Stage() { return QuitStage(g_stage.load(std::memory_order_acquire)); }

QuitTake QuitRequest_Take(int64_t now, bool signal)
{
    if (signal) g_signalled.store(1, std::memory_order_release);
    now = std::max<int64_t>(now, 1); // 0 is "none yet"
    int64_t first = 0;
    if (g_firstAt.compare_exchange_strong(first, now, std::memory_order_acq_rel)) return QuitTake::First;
    // Only a request after the end events began, and not in the same burst as the first, is
    // the player asking again.
    if (QuitRequest_Stage() == QuitStage::Ending && now - first >= kQuitSameRequest) return QuitTake::Second;
    return QuitTake::Same;
}

int64_t QuitRequest_Deadline()
{
    const int64_t first = g_firstAt.load(std::memory_order_acquire);
    if (!first) return 0;
    switch (QuitRequest_Stage()) {
    case QuitStage::Playing: return first + kQuitEventGrace;
    case QuitStage::Ending:
        if (!g_signalled.load(std::memory_order_acquire)) return 0; // a window's close: the player can close again
        return std::max(first, g_endAt.load(std::memory_order_acquire)) + kQuitEndGrace;
    default: return 0;
    }
}
