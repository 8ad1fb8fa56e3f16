// Timing: the sleep's steps against a fake clock, argument splitting, and starting real
// programs (/bin/sh) with and without waiting.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "Files/Support/File.h"
#include "Files/Support/Timing.h"
#include "support/ScratchFolder.h"

namespace {

// A clock that moves only when asked: each reading advances it by step microseconds, and a
// system sleep advances it by the time slept.
class FakeClock : public ITimingHost {
public:
    int64_t NowMicroseconds() override
    {
        int64_t t = now;
        now += step;
        return t;
    }
    void SleepMicroseconds(int64_t us) override
    {
        sleeps.push_back(us);
        now += us;
    }
    int64_t now = 1000000;
    int64_t step = 100;
    std::vector<int64_t> sleeps;
};

int g_pumps = 0;
void CountPump() { g_pumps++; }

class TimingTest : public ::testing::Test {
protected:
    TimingTest()
    {
        Timing_SetHost(&clock_);
        Timing_SetEventPump(CountPump);
        g_pumps = 0;
        Timing_Init();
    }
    ~TimingTest() override
    {
        Timing_SetHost(nullptr);
        Timing_SetEventPump(nullptr);
    }
    FakeClock clock_;
};

} // namespace

TEST_F(TimingTest, TimeCountsFromInit)
{
    clock_.step = 0;
    Timing_Init();
    clock_.now += 12345;
    EXPECT_EQ(Timing_Time(), 12345);
    Timing_Init();
    EXPECT_EQ(Timing_Time(), 0);
}

TEST_F(TimingTest, ShortSleepsOnlyPumpUntilTheTimeHasCome)
{
    Timing_Sleep(1500);
    EXPECT_TRUE(clock_.sleeps.empty());
    EXPECT_GE(g_pumps, 14);
    EXPECT_GE(Timing_Time(), 1500);
}

TEST_F(TimingTest, LongerSleepsSleepAllButAMillisecondFirst)
{
    Timing_Sleep(5750);
    ASSERT_EQ(clock_.sleeps.size(), 1u);
    EXPECT_EQ(clock_.sleeps[0], 4000);
    EXPECT_GE(Timing_Time(), 5750);
}

TEST_F(TimingTest, SleepsAreCutToThreeSecondsSleptInTenthsWithThePumpBetween)
{
    Timing_SleepFrame(10000000);
    int64_t slept = 0;
    for (int64_t s : clock_.sleeps) {
        EXPECT_LE(s, 100000);
        slept += s;
    }
    EXPECT_EQ(slept, 2999000);
    EXPECT_GE(g_pumps, int(clock_.sleeps.size()));
    EXPECT_LT(Timing_Time(), 3000000 + 1000);
}

TEST_F(TimingTest, NothingForZeroOrLessAndAClockGoingBackEndsTheWait)
{
    Timing_Sleep(0);
    Timing_Sleep(-5);
    EXPECT_EQ(g_pumps, 0);
    clock_.step = -100;
    Timing_Sleep(1000);
    EXPECT_EQ(g_pumps, 1);
}

TEST(Timing, ArgumentsSplitAsOnTheWindowsCommandLine)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Timing_SplitArguments(nullptr), V{});
    EXPECT_EQ(Timing_SplitArguments("  a  b\tc "), (V{"a", "b", "c"}));
    EXPECT_EQ(Timing_SplitArguments("\"two words\" x\"y z\""), (V{"two words", "xy z"}));
    EXPECT_EQ(Timing_SplitArguments("a\\\\b \\\"q\\\" c\\\\\\\\\"d e\""), (V{"a\\\\b", "\"q\"", "c\\\\d e"}));
    EXPECT_EQ(Timing_SplitArguments("\"\""), (V{""}));
}

TEST(Timing, ProgramsRunInTheirFolderAndAreWaitedForWithThePumpRunning)
{
    ScratchFolder dir;
    g_pumps = 0;
    Timing_SetEventPump(CountPump);
    EXPECT_TRUE(File_ExecuteProgram("/bin/sh", "-c \"sleep 0.2; pwd > out.txt\"", dir.Path().c_str(), true));
    Timing_SetEventPump(nullptr);
    EXPECT_EQ(Scratch_ReadFile(dir / "out.txt"), dir.Path() + "\n");
    EXPECT_GT(g_pumps, 0);

    EXPECT_TRUE(File_ExecuteProgram("true", nullptr, nullptr, true)); // found in PATH
    EXPECT_FALSE(File_ExecuteProgram("/nonexistent/program", "", nullptr, true));
    EXPECT_FALSE(File_ExecuteProgram("no-such-program-zb", "", nullptr, false));
    EXPECT_FALSE(File_ExecuteProgram(nullptr, "", nullptr, false));
    EXPECT_FALSE(File_ExecuteProgram("/bin/true", "", (dir / "missing").c_str(), true));
}

TEST(Timing, ShellExecuteStartsAnExecutableWithoutWaiting)
{
    ScratchFolder dir;
    std::string script = dir / "run.sh";
    Scratch_WriteFile(script, "#!/bin/sh\necho \"$1\" > \"$2\"\n");
    chmod(script.c_str(), 0755);
    std::string marker = dir / "marker.txt";
    ASSERT_TRUE(File_ShellExecute(script.c_str(), ("hello " + marker).c_str(), dir.Path().c_str()));
    // Not waited for: poll until the script has written its file.
    for (int i = 0; i < 500 && Scratch_ReadFile(marker).empty(); i++)
        File_ExecuteProgram("/bin/sh", "-c \"sleep 0.01\"", nullptr, true);
    EXPECT_EQ(Scratch_ReadFile(marker), "hello\n");
    EXPECT_FALSE(File_ShellExecute(nullptr, nullptr, nullptr));
}
