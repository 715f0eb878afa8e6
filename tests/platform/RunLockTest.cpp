// The run lock: one operation per machine prefix, one per host folder across prefixes, and what a
// later run does with a lock whose holder is gone and the programs it left running.
#include "platform/LinuxRunLock.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::test;

namespace {

using State = IRunLock::State;

class RunLockTest : public ::testing::Test {
protected:
    RunLockTest() { fs::create_directories(host); }

    // A process id that is certainly not running: a child that has ended and been reaped.
    static pid_t endedPid() {
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(0);
        ::waitpid(pid, nullptr, 0);
        return pid;
    }
    // This machine's name, as a holder writes it first.
    static std::string hostName() {
        const std::string holder = LinuxRunLock::holderText(::getpid());
        return holder.substr(0, holder.find('\n'));
    }
    fs::path lockFile() const { return host / LinuxRunLock::kFolderLockName; }

    TempDir dir;
    fs::path host = dir.path() / "host";
};

TEST_F(RunLockTest, AHostFolderIsLockedAcrossPrefixesUntilItsHolderGivesItBack) {
    LinuxRunLock first(dir.path() / "first.lock"), second(dir.path() / "second.lock");
    ASSERT_EQ(first.tryAcquire(), State::Acquired);
    ASSERT_EQ(second.tryAcquire(), State::Acquired); // two prefixes
    EXPECT_EQ(first.tryAcquireFolder(host), State::Acquired);
    EXPECT_EQ(first.tryAcquireFolder(dir.path() / "host/../host"), State::Acquired); // the same folder
    EXPECT_EQ(second.tryAcquireFolder(host), State::HeldElsewhere);
    EXPECT_EQ(second.refusals(), 1);
    first.release();
    EXPECT_FALSE(fs::exists(lockFile()));
    EXPECT_EQ(second.tryAcquireFolder(host), State::Acquired);
}

TEST_F(RunLockTest, ALockIsTakenOverOnlyWhenItsHolderIsProvablyGone) {
    const pid_t ended = endedPid();
    const std::string self = std::to_string(::getpid());
    const std::string start = std::to_string(LinuxRunLock::startTimeOf(::getpid()));
    const struct {
        const char* what;
        std::string text;
        bool takenOver;
    } cases[] = {
        {"ended process", hostName() + "\n" + std::to_string(ended) + "\n12345\n", true},
        {"id reused by another process", hostName() + "\n" + self + "\n" + start + "1\n", true},
        {"running holder", hostName() + "\n" + self + "\n" + start + "\n", false},
        {"holder on another machine", "elsewhere.example\n" + std::to_string(ended) + "\n12345\n", false},
        {"holder still writing its name", "", false},
    };
    for (const auto& c : cases) {
        writeFile(lockFile(), c.text);
        LinuxRunLock lock(dir.path() / "prefix.lock");
        ASSERT_EQ(lock.tryAcquire(), State::Acquired);
        EXPECT_EQ(lock.tryAcquireFolder(host), c.takenOver ? State::Acquired : State::HeldElsewhere) << c.what;
        lock.release();
        fs::remove(lockFile());
    }
}

TEST_F(RunLockTest, AProgramLeftRunningByAHolderThatIsGoneIsKilledAfterTheWait) {
    // A hidden tool leads a process group with the program it started.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const char* argv[] = {"/bin/sh", "-c", "sleep 60 & wait", nullptr};
    pid_t tool = 0;
    ASSERT_EQ(::posix_spawn(&tool, argv[0], nullptr, &attr, const_cast<char**>(argv), environ), 0);
    posix_spawnattr_destroy(&attr);

    std::string recorded;
    {
        LinuxRunLock killedRun(dir.path() / "prefix.lock");
        ASSERT_EQ(killedRun.tryAcquire(), State::Acquired);
        ASSERT_EQ(killedRun.tryAcquireFolder(host), State::Acquired);
        killedRun.recordProgram(static_cast<uint32_t>(tool));
        recorded = readFile(lockFile());
    }
    // The same file as its holder, killed, would have left it.
    writeFile(lockFile(), hostName() + "\n" + std::to_string(endedPid()) + "\n12345\n" +
                              recorded.substr(LinuxRunLock::holderText(::getpid()).size()));

    LinuxRunLock rerun(dir.path() / "prefix.lock");
    rerun.setOrphanWaitMs(200);
    ASSERT_EQ(rerun.tryAcquire(), State::Acquired);
    EXPECT_EQ(rerun.tryAcquireFolder(host), State::Acquired);
    int status = 0;
    ASSERT_EQ(::waitpid(tool, &status, 0), tool);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // What it started went with it (a killed process may stay a zombie until its new parent reaps it).
    int living = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!std::getline(in, stat) || stat.rfind(')') == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::string state;
        long parent = 0, group = 0;
        if (fields >> state >> parent >> group && group == tool && state != "Z")
            ++living;
    }
    EXPECT_EQ(living, 0);
}

TEST_F(RunLockTest, NoStartedProgramInheritsALock) {
    LinuxRunLock lock(dir.path() / "prefix.lock");
    ASSERT_EQ(lock.tryAcquire(), State::Acquired);
    ASSERT_EQ(lock.tryAcquireFolder(host), State::Acquired);
    FILE* p = ::popen("ls -l /proc/self/fd", "r");
    ASSERT_NE(p, nullptr);
    std::string fds;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p))
        fds += buffer;
    ::pclose(p);
    ASSERT_FALSE(fds.empty());
    EXPECT_EQ(fds.find("lock"), std::string::npos) << fds;
}

TEST_F(RunLockTest, TheMachinesLockRemovesWhatKilledStoreWritersLeftInThePrefix) {
    const fs::path old = dir.path() / ".levora-Ab12cd", fresh = dir.path() / ".levora-Zz98yx",
                   other = dir.path() / "system.reg";
    for (const fs::path& p : {old, fresh, other})
        writeFile(p, "x");
    fs::last_write_time(old, fs::last_write_time(old) - std::chrono::minutes(2));
    LinuxRunLock lock(dir.path() / "levora.lock");
    ASSERT_EQ(lock.tryAcquire(), State::Acquired);
    EXPECT_EQ(lock.removedLeftovers(), std::vector<std::string>{old.string()});
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(fresh)); // a live writer's, maybe
    EXPECT_TRUE(fs::exists(other));
}

} // namespace
