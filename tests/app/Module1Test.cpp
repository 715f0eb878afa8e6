#include "app/Module1.h"
#include "app/mdlPriority.h"
#include "platform/Error.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxProcesses.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::CountingPump;
using levora::test::FakeClock;
using levora::test::processRunning;
using levora::test::readFile;
using levora::test::RecordingProcesses;
using levora::test::writeFile;
using levora::test::writeScript;

namespace {

class ProcessFixture : public levora::test::PrefixFixture {
protected:
    LinuxProcesses procs{ns, "C:\\Tools"};

    uint32_t startScript(const std::string& name, const std::string& body) {
        writeScript(c() / "Tools" / name, body);
        return procs.Start(name, WindowStyle::Hidden);
    }
};

// The log of a fresh prefix, for the tests of how the program ends.
class LogFixture : public levora::test::PrefixFixture {
protected:
    LinuxFileSystem lfs{ns};
    CountingPump pump;
    AppInfo app;
    Logging log{lfs, pump, app};
};
using EndProgramTest = LogFixture;
using EndProgramDeathTest = LogFixture;

} // namespace

TEST_F(ProcessFixture, WaitForProcessOnAVanishedProcessFailsAtOnce) {
    uint32_t pid = startScript("quick", "exit 0\n");
    EXPECT_TRUE(bWaitForProcess(procs, pid, INFINITE_WAIT));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(bWaitForProcess(procs, pid, INFINITE_WAIT)); // ended and reaped: gone
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(bWaitForProcess(procs, 0, 10));

    RecordingProcesses failing;
    failing.throwOnWait = true;
    EXPECT_FALSE(bWaitForProcess(failing, 1, 10));
}

TEST_F(ProcessFixture, WaitForProcessTimesOutTrueAndLeavesTheProgramRunning) {
    uint32_t pid = startScript("long", "exec sleep 30\n");
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(bWaitForProcess(procs, pid, 1000));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(20));
    EXPECT_TRUE(processRunning(static_cast<pid_t>(pid)));
    procs.Kill(pid);
    EXPECT_TRUE(bWaitForProcess(procs, pid, 5000));
}

TEST(PauseTest, WaitsInTheEventPumpUntilTheTimeHasPassed) {
    FakeClock clock;
    CountingPump pump;
    int longest = 0;
    pump.onWait = [&](int ms) {
        longest = std::max(longest, ms);
        clock.now += ms / 1000.0;
    };
    const double start = clock.now;
    Pause(clock, pump, 30);
    EXPECT_GE(clock.now - start, 30.0 - 1e-9);
    EXPECT_LT(clock.now - start, 30.06);
    EXPECT_LE(longest, 50) << "short slices keep the window alive";
    EXPECT_GE(pump.waits, 600);
    EXPECT_EQ(pump.doEvents, 0);

    // A slow event handler moves time on by itself: the pause does not add its full length again.
    CountingPump slow;
    slow.onWait = [&](int) { clock.now += 10; };
    Pause(clock, slow, 25);
    EXPECT_EQ(slow.waits, 3);
}

TEST(PauseTest, NothingOrNegativeReturnsAtOnceWithoutEvents) {
    FakeClock clock;
    CountingPump pump;
    for (double s : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()})
        Pause(clock, pump, s);
    EXPECT_EQ(pump.waits + pump.doEvents, 0);
}

TEST_F(EndProgramTest, ClosesTheLogThenEndsWithExitCodeZero) {
    std::vector<int> codes;
    std::vector<bool> openAtEnd;
    auto hook = [&](int code) {
        codes.push_back(code);
        openAtEnd.push_back(log.isOpen());
    };
    log.OpenLog("c:\\Levora.log", false);
    log.WriteLog("last line");
    EndProgram(log, hook);
    EndProgram(log, hook); // no log open: still ends, nothing shown
    EXPECT_EQ(codes, (std::vector<int>{0, 0}));
    EXPECT_EQ(openAtEnd, (std::vector<bool>{false, false}));
    std::string text = readFile(prefix.driveC() / "Levora.log");
    EXPECT_EQ(text.substr(text.size() - 11), "last line\r\n");
}

TEST_F(EndProgramDeathTest, EndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            log.OpenLog("c:\\Levora.log", false);
            EndProgram(log);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(PriorityTest, SetsTheClassOfOurOwnProcess) {
    RecordingProcesses procs;
    EXPECT_TRUE(bSetProcessPriority(procs, BELOW_NORMAL_PRIORITY_CLASS));
    procs.answer = false;
    EXPECT_FALSE(bSetProcessPriority(procs, HIGH_PRIORITY_CLASS));
    EXPECT_EQ(procs.priorityCalls,
              (std::vector<std::pair<uint32_t, uint32_t>>{{RecordingProcesses::kOwnPid, BELOW_NORMAL_PRIORITY_CLASS},
                                                          {RecordingProcesses::kOwnPid, HIGH_PRIORITY_CLASS}}));
}
