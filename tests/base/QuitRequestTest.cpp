// The quit request as long work reads it: polls, and the stable sort that a raised request
// stops (its order is std::stable_sort's, across the runs it sorts apart and merges); the run's
// quit and the waits it ends; the player's requests as one or two, and the graces they give.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "Files/Base/QuitRequest.h"

namespace {

class QuitRequest : public ::testing::Test {
protected:
    void TearDown() override
    {
        QuitRequest_Clear();
        QuitRequest_ForgetQuit();
    }
};

// n keys with many ties, each paired with its first position (so stability shows).
std::vector<std::pair<int, int>> Keyed(size_t n)
{
    std::vector<std::pair<int, int>> items(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        items[i] = {int(x >> 16) % 97, int(i)};
    }
    return items;
}

bool ByKey(const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; }

} // namespace

TEST_F(QuitRequest, StableSortGivesTheStandardOrderAcrossRuns)
{
    // Below, at and past one run, and several runs with a short last one.
    for (size_t n : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(4097), size_t(12289), size_t(50000)}) {
        std::vector<std::pair<int, int>> items = Keyed(n), expected = items;
        std::stable_sort(expected.begin(), expected.end(), ByKey);
        QuitPoll poll;
        EXPECT_TRUE(QuitRequest_StableSort(items.begin(), items.end(), ByKey, poll)) << n;
        EXPECT_EQ(items, expected) << n;
    }
}

TEST_F(QuitRequest, ARaisedRequestStopsPollsAndLeavesASortsItemsWhole)
{
    QuitPoll idle;
    for (uint32_t i = 0; i < 3 * kQuitPollWork; ++i) ASSERT_FALSE(idle.Stop());

    QuitRequest_Raise();
    QuitPoll poll;
    uint32_t rounds = 0;
    while (!poll.Stop()) ASSERT_LE(++rounds, kQuitPollWork);

    // Stopped in its first runs and in its merges: every item is still there once.
    for (size_t n : {size_t(100000), size_t(3 * 4096)}) {
        std::vector<std::pair<int, int>> items = Keyed(n), original = items;
        QuitPoll sorting;
        if (n < kQuitPollWork) sorting.Stop(50000); // the three runs pass unread, the first merge reads
        EXPECT_FALSE(QuitRequest_StableSort(items.begin(), items.end(), ByKey, sorting)) << n;
        std::sort(items.begin(), items.end());
        std::sort(original.begin(), original.end());
        EXPECT_EQ(items, original) << n;
    }
}

TEST_F(QuitRequest, TheQuitEndsEveryWaitAtOnceAndForTheRestOfTheRun)
{
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
    int ends[2];
    ASSERT_EQ(pipe(ends), 0); // its read end is never ready until written
    EXPECT_TRUE(QuitWait_Sleep(2000));
    EXPECT_EQ(QuitWait_Ready(ends[0], POLLIN, 20), 0);

    // Noted by another thread while a sleep and a wait for a descriptor run: both end then.
    for (bool sleep : {true, false}) {
        std::thread noter([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            QuitRequest_NoteQuit();
        });
        const auto start = Clock::now();
        if (sleep) EXPECT_FALSE(QuitWait_Sleep(20000000));
        else EXPECT_EQ(QuitWait_Ready(ends[0], POLLIN, -1), 0);
        EXPECT_LT(secondsSince(start), 5.0) << sleep;
        noter.join();
        EXPECT_TRUE(QuitRequest_Quitting());
        if (sleep) QuitRequest_ForgetQuit();
    }

    // Once it came, a sleep ends before it begins, and a wait for a descriptor is a plain one.
    auto start = Clock::now();
    EXPECT_FALSE(QuitWait_Sleep(20000000));
    EXPECT_LT(secondsSince(start), 5.0);
    start = Clock::now();
    EXPECT_EQ(QuitWait_Ready(ends[0], POLLIN, 60), 0);
    EXPECT_GE(secondsSince(start), 0.05);
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    EXPECT_EQ(QuitWait_Ready(ends[0], POLLIN, -1), 1);
    close(ends[0]);
    close(ends[1]);

    QuitRequest_ForgetQuit();
    EXPECT_FALSE(QuitRequest_Quitting());
    EXPECT_TRUE(QuitWait_Sleep(1000));
}

// Requests at random times and stages against the rule: within a burst or before the end
// events began a request is the first one again; after both, the player's second. The
// deadline follows the stage: the event's grace from the first request while the game plays,
// the end's from the later of its start and the first request once a signal came, none for a
// window's close alone.
TEST_F(QuitRequest, RequestsAreOneUntilTheEndEventsBeganAndTheirGracesFollowTheStage)
{
    uint32_t x = 2024;
    auto next = [&](uint32_t n) {
        x = x * 1103515245u + 12345u;
        return (x >> 8) % n;
    };
    for (int round = 0; round < 400; ++round) {
        QuitRequest_ForgetQuit();
        EXPECT_EQ(QuitRequest_Stage(), QuitStage::Starting);
        EXPECT_EQ(QuitRequest_Deadline(), 0);
        const bool playing = next(4) != 0; // else the first request comes once the end events run (a game_end)
        QuitRequest_SetStage(playing ? QuitStage::Playing : QuitStage::Ending);
        const int64_t first = QuitRequest_Now();
        const bool firstSignal = next(2) != 0;
        ASSERT_EQ(QuitRequest_Take(first, firstSignal), QuitTake::First);
        bool signalled = firstSignal;
        int64_t endAt = playing ? 0 : first;
        if (playing) {
            EXPECT_EQ(QuitRequest_Deadline(), first + kQuitEventGrace);
            // Any number of requests while the game plays, however late: the same request.
            for (uint32_t k = next(3); k > 0; --k) {
                const bool signal = next(2) != 0;
                signalled |= signal;
                EXPECT_EQ(QuitRequest_Take(first + int64_t(next(3000000)), signal), QuitTake::Same);
            }
            EXPECT_EQ(QuitRequest_Deadline(), first + kQuitEventGrace);
            endAt = QuitRequest_Now();
            QuitRequest_SetStage(QuitStage::Ending);
        }
        const int64_t endDeadline = signalled ? std::max(first, endAt) + kQuitEndGrace : 0;
        // The end's start is read from the same clock: within a tenth of a second of ours.
        EXPECT_NEAR(double(QuitRequest_Deadline()), double(endDeadline), 1e5);
        const int64_t later = int64_t(next(2 * kQuitSameRequest));
        const bool signal = next(2) != 0;
        EXPECT_EQ(QuitRequest_Take(first + later, signal), later >= kQuitSameRequest ? QuitTake::Second : QuitTake::Same)
            << later;
        if (signal && !signalled) {
            EXPECT_GT(QuitRequest_Deadline(), 0); // a signal merged into a close limits the end
        }
        QuitRequest_SetStage(QuitStage::Closing);
        EXPECT_EQ(QuitRequest_Deadline(), 0);
        EXPECT_EQ(QuitRequest_Take(first + 20 * kQuitSameRequest, true), QuitTake::Same);
    }
}
