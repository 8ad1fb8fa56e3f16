// The quit request as long work reads it: polls, and the stable sort that a raised request
// stops (its order is std::stable_sort's, across the runs it sorts apart and merges); the run's
// quit and the waits it ends; the player's requests as one or two, and the graces they give.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
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

// Requests at random times and stages against the rule. Whatever the stage of the first: in
// the game's load it ends the run at once; while the game plays it is the first, and later
// ones while it plays are that one again; once the end events run (begun by the first, or by
// the game itself) a request ends the run at once unless it is the first one's burst; in the
// shutdown nothing does. The run's end at once, once decided, stays, and raises the request
// long work reads. The deadline follows the stage: the event's grace from the first request
// while the game plays, the end's from the later of its start and the first request once a
// signal came, none for a window's close alone. The run ends by the first signal, and the
// log names every signal once, by its own number, the first's first.
TEST_F(QuitRequest, EachRequestIsJudgedByTheStageItCameInAndTheGracesFollowTheStage)
{
    uint32_t x = 2024;
    auto next = [&](uint32_t n) {
        x = x * 1103515245u + 12345u;
        return (x >> 8) % n;
    };
    const int signals[] = {0, 1, 2, 15}; // the window's close, SIGHUP, SIGINT, SIGTERM
    for (int round = 0; round < 600; ++round) {
        QuitRequest_Clear();
        QuitRequest_ForgetQuit();
        EXPECT_EQ(QuitRequest_Stage(), QuitStage::Starting);
        EXPECT_EQ(QuitRequest_Deadline(), 0);
        EXPECT_FALSE(QuitRequest_Asked());
        EXPECT_EQ(QuitRequest_UnsaidSignal(), 0);
        // The stage of the first request: the load, the game, or the end events the game
        // began itself (game_end, the frame limit).
        const QuitStage firstStage = QuitStage(next(3));
        QuitRequest_SetStage(firstStage);
        const int64_t first = QuitRequest_Now();
        const int firstSignal = signals[next(4)];
        std::vector<int> taken = {firstSignal};
        const QuitTake firstTake = QuitRequest_Take(first, firstSignal);
        ASSERT_EQ(firstTake, firstStage == QuitStage::Playing ? QuitTake::First : QuitTake::AtOnce) << int(firstStage);
        bool atOnce = firstTake == QuitTake::AtOnce;
        int runsBy = firstSignal;
        int64_t endAt = firstStage == QuitStage::Ending ? first : 0;
        if (firstStage != QuitStage::Ending) {
            // Any number of requests, however late, before the end events begin: the same
            // request (or the end at once already decided by the load).
            if (firstStage == QuitStage::Playing) {
                EXPECT_EQ(QuitRequest_Deadline(), first + kQuitEventGrace);
            }
            for (uint32_t k = next(3); k > 0; --k) {
                const int signal = signals[next(4)];
                taken.push_back(signal);
                if (!runsBy) runsBy = signal;
                if (next(2)) QuitRequest_SetStage(QuitStage::Playing); // the load ended meanwhile
                EXPECT_EQ(QuitRequest_Take(first + int64_t(next(3000000)), signal), QuitTake::Same);
            }
            if (QuitRequest_Stage() == QuitStage::Playing) {
                EXPECT_EQ(QuitRequest_Deadline(), first + kQuitEventGrace);
            }
            endAt = QuitRequest_Now();
            QuitRequest_SetStage(QuitStage::Ending);
        }
        EXPECT_EQ(QuitRequest_EndsAtOnce(), atOnce);
        EXPECT_EQ(QuitRequest_Pending(), atOnce); // raised by the request that ended the run
        if (!atOnce) {
            const int64_t endDeadline = runsBy ? std::max(first, endAt) + kQuitEndGrace : 0;
            // The end's start is read from the same clock: within a tenth of a second of ours.
            EXPECT_NEAR(double(QuitRequest_Deadline()), double(endDeadline), 1e5);
        }
        // One more while the end events run: the first one's burst, else the end at once.
        const int64_t later = int64_t(next(2 * kQuitSameRequest));
        const int signal = signals[next(4)];
        taken.push_back(signal);
        if (!runsBy) runsBy = signal;
        EXPECT_EQ(QuitRequest_Take(first + later, signal), later >= kQuitSameRequest ? QuitTake::AtOnce : QuitTake::Same)
            << later;
        atOnce |= later >= kQuitSameRequest;
        EXPECT_EQ(QuitRequest_EndsAtOnce(), atOnce);
        EXPECT_EQ(QuitRequest_Pending(), atOnce);
        if (signal && !atOnce) {
            EXPECT_GT(QuitRequest_Deadline(), 0); // a signal merged into a close limits the end
        }
        QuitRequest_Clear(); // as the entry does before the shutdown
        QuitRequest_SetStage(QuitStage::Closing);
        EXPECT_EQ(QuitRequest_Deadline(), 0);
        const int closing = signals[next(4)];
        taken.push_back(closing);
        if (!runsBy) runsBy = closing;
        EXPECT_EQ(QuitRequest_Take(first + 20 * kQuitSameRequest, closing), QuitTake::Same);
        EXPECT_FALSE(QuitRequest_Pending());
        EXPECT_EQ(QuitRequest_FirstSignal(), runsBy);

        std::map<int, int> expected, said;
        for (int s : taken)
            if (s) ++expected[s];
        std::vector<int> order;
        while (const int s = QuitRequest_UnsaidSignal()) {
            order.push_back(s);
            ++said[s];
            ASSERT_LE(order.size(), taken.size());
        }
        EXPECT_EQ(said, expected);
        if (runsBy) {
            EXPECT_EQ(order.front(), runsBy);
        }
    }
}

// Signals taken on several threads at once, a storm of them: each is named once by its own
// number, and the run ends by the first taken (the first one the log names).
TEST_F(QuitRequest, SignalsTakenAtOnceAreEachNamedOnceAndTheFirstDecides)
{
    QuitRequest_SetStage(QuitStage::Playing);
    const int kinds[] = {1, 2, 15};
    std::atomic<int> go{0};
    std::vector<std::thread> takers;
    for (int t = 0; t < 3; ++t) {
        takers.emplace_back([&, t] {
            while (!go.load()) {
            }
            for (int i = 0; i < 100; ++i) QuitRequest_Take(QuitRequest_Now(), kinds[t]);
        });
    }
    std::map<int, int> said;
    go = 1;
    int first = 0;
    // Read while they are taken, as the entry does.
    for (int looks = 0; looks < 1000000 && said[1] + said[2] + said[15] < 300; ++looks) {
        while (const int s = QuitRequest_UnsaidSignal()) {
            if (!first) first = s;
            ++said[s];
        }
    }
    for (std::thread& t : takers) t.join();
    while (const int s = QuitRequest_UnsaidSignal()) ++said[s];
    EXPECT_EQ(said[1], 100);
    EXPECT_EQ(said[2], 100);
    EXPECT_EQ(said[15], 100);
    EXPECT_EQ(first, QuitRequest_FirstSignal());
}

// The load ends (the stage becomes Playing) while a signal is taken on another thread: the
// request is judged by one stage or the other, never by the load's when the entry's look
// after its change of stage found nothing.
TEST_F(QuitRequest, AStageSetWhileARequestIsTakenIsWhollyBeforeItOrAfter)
{
    for (int round = 0; round < 2000; ++round) {
        QuitRequest_Clear();
        QuitRequest_ForgetQuit();
        std::atomic<int> go{0};
        QuitTake take = QuitTake::Same;
        std::thread taker([&] {
            while (!go.load()) {
            }
            take = QuitRequest_Take(QuitRequest_Now(), 15);
        });
        go = 1;
        for (int spin = round % 64; spin > 0; --spin) std::atomic_signal_fence(std::memory_order_seq_cst);
        QuitRequest_SetStage(QuitStage::Playing);
        const bool seenAtOnce = QuitRequest_EndsAtOnce(), seenAsked = QuitRequest_Asked();
        taker.join();
        ASSERT_NE(take, QuitTake::Same);
        if (!seenAsked) {
            ASSERT_EQ(take, QuitTake::First) << round; // taken after the change: the game's grace
        }
        if (take == QuitTake::AtOnce) {
            ASSERT_TRUE(seenAtOnce) << round; // taken in the load: the entry's look saw it
        }
    }
}
