#include "platform/Error.h"
#include "platform/LinuxProcesses.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::EnvVar;
using levora::test::processRunning;
using levora::test::readFile;
using levora::test::writeFile;
using levora::test::writeScript;

namespace {

class ProcessTest : public levora::test::PrefixFixture {
protected:
    LinuxProcesses procs{ns, "C:\\Program Files\\Levora"};
    EnvVar noDebug{"LEVORA_DEBUG", nullptr};
    fs::path progDir() const { return c() / "Program Files" / "Levora"; }

    // A tool that writes every argument it got, one per line in brackets, to out.
    void argsTool(const fs::path& at, const fs::path& out) {
        writeScript(at, "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + out.string() + "'\n");
    }
    WaitResult run(const std::string& cmd) {
        uint32_t pid = procs.Start(cmd, WindowStyle::Hidden);
        return procs.Wait(pid, 10000);
    }
};

} // namespace

TEST_F(ProcessTest, ProgramIsResolvedAsCreateProcessDoes) {
    writeScript(progDir() / "gainfix315", "exit 0\n");
    writeScript(c() / "bin" / "app.exe", "exit 0\n");
    writeScript(c() / "Windows" / "System32" / "sysprog.exe", "exit 0\n");
    writeFile(c() / "bin" / "plain.txt", "not a program");

    struct Case {
        const char* line;
        fs::path program;
        const char* rest;
    } cases[] = {
        // An unquoted program path with blanks: successively longer blank-separated prefixes.
        {"C:\\Program Files\\Levora\\gainfix315 -s \"x y\"", progDir() / "gainfix315", " -s \"x y\""},
        {"\"C:\\Program Files\\Levora\\gainfix315\" -a", progDir() / "gainfix315", " -a"},
        {"c:\\PROGRAM FILES\\levora\\GAINFIX315", progDir() / "gainfix315", ""},
        {"C:\\bin\\app -x", c() / "bin" / "app.exe", " -x"},                         // ".exe" appended
        {"C:\\Program Files\\Levora\\gainfix315.exe", progDir() / "gainfix315", ""}, // ".exe" dropped
        {"gainfix315 -t -26", progDir() / "gainfix315", " -t -26"},                  // bare: program folder
        {"sysprog", c() / "Windows" / "System32" / "sysprog.exe", ""},               // then System32
    };
    for (const auto& tc : cases) {
        auto r = procs.resolve(tc.line);
        EXPECT_EQ(r.program, tc.program) << tc.line;
        EXPECT_EQ(r.rest, tc.rest) << tc.line;
    }
    // The shorter prefix wins when it names a program, as on Windows.
    writeScript(c() / "Program", "exit 0\n");
    EXPECT_EQ(procs.resolve("C:\\Program Files\\Levora\\gainfix315 -a").program, c() / "Program");

    for (const char* missing : {"C:\\bin\\plain.txt", "C:\\nothing here -a", "gainfix", "\"C:\\bin\" x", ""}) {
        try {
            procs.Start(missing, WindowStyle::Hidden);
            ADD_FAILURE() << missing;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::FileNotFound) << missing;
        }
    }
}

TEST_F(ProcessTest, StartPassesArgumentsPrefixAndFolder) {
    fs::path out = tmp.path() / "args.txt";
    argsTool(progDir() / "tool", out);
    WaitResult r = run("C:\\Program Files\\Levora\\tool -s \"E:\\Host\\Stream Files\\g 1.wav\" -t  0 a\\\\\"b c\"");
    EXPECT_EQ(r.kind, WaitResult::Kind::Ended);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(out), "[-s]\n[E:\\Host\\Stream Files\\g 1.wav]\n[-t]\n[0]\n[a\\b c]\n");

    // The child sees this machine's prefix, the current Windows folder as its working folder,
    // and with a hidden window its output goes nowhere.
    fs::create_directories(c() / "Work");
    ns.setCurrentDirectory("C:\\Work");
    EnvVar other("LEVORA_PREFIX", "/somewhere/else");
    writeScript(progDir() / "env", "echo \"$LEVORA_PREFIX\" > '" + out.string() + "'\npwd >> '" + out.string() +
                                       "'\nlink=$(readlink /proc/$$/fd/1)\necho \"$link\" >> '" + out.string() + "'\n");
    r = run("env");
    EXPECT_EQ(r.kind, WaitResult::Kind::Ended);
    EXPECT_EQ(readFile(out), prefix.root().string() + "\n" + (c() / "Work").string() + "\n/dev/null\n");
}

TEST_F(ProcessTest, WaitTellsEndedFromTimedOutAndReapsChildren) {
    writeScript(progDir() / "fail3", "exit 3\n");
    uint32_t pid = procs.Start("fail3", WindowStyle::Hidden);
    WaitResult r = procs.Wait(pid, INFINITE_WAIT);
    EXPECT_EQ(r.kind, WaitResult::Kind::Ended);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid))) << "no zombie left";
    // Gone: it cannot be waited on any more.
    EXPECT_EQ(procs.Wait(pid, 1000).kind, WaitResult::Kind::Failed);

    // A hanging tool that started a child of its own: time-out, then Kill ends both.
    fs::path childPid = tmp.path() / "child.pid";
    writeScript(progDir() / "hang", "sleep 30 &\necho $! > '" + childPid.string() + "'\nwait\n");
    pid = procs.Start("hang", WindowStyle::Hidden);
    for (int i = 0; i < 500 && readFile(childPid).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    r = procs.Wait(pid, 100);
    EXPECT_EQ(r.kind, WaitResult::Kind::TimedOut);
    EXPECT_TRUE(processRunning(static_cast<pid_t>(pid)));
    EXPECT_TRUE(procs.Kill(pid));
    r = procs.Wait(pid, 5000);
    EXPECT_EQ(r.kind, WaitResult::Kind::Ended);
    EXPECT_EQ(r.exitCode, 128 + SIGKILL);
    pid_t sleeper = std::atoi(readFile(childPid).c_str());
    ASSERT_GT(sleeper, 0);
    for (int i = 0; i < 200 && processRunning(sleeper); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(processRunning(sleeper));

    // A child that ended before anyone waited is still reported with its code.
    pid = procs.Start("fail3", WindowStyle::Hidden);
    for (int i = 0; i < 1000 && processRunning(static_cast<pid_t>(pid)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists("/proc/" + std::to_string(pid))) << "ended, not yet reaped";
    procs.Start("fail3", WindowStyle::Hidden); // reaps in passing
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid)));
    r = procs.Wait(pid, 0);
    EXPECT_EQ(r.kind, WaitResult::Kind::Ended);
    EXPECT_EQ(r.exitCode, 3);

    EXPECT_EQ(procs.Wait(0, 0).kind, WaitResult::Kind::Failed);
    EXPECT_FALSE(procs.Kill(0));
}

TEST_F(ProcessTest, NotepadOpensTheFileInTheTextViewer) {
    fs::path out = tmp.path() / "viewer.txt";
    fs::path viewer = tmp.path() / "viewer";
    argsTool(viewer, out);
    EnvVar v("LEVORA_TEXT_VIEWER", viewer.c_str());
    writeFile(c() / "Levora.log", "log");
    uint32_t pid = procs.Start("notepad.exe c:\\levora.log", WindowStyle::NormalFocus);
    EXPECT_EQ(procs.Wait(pid, 10000).kind, WaitResult::Kind::Ended);
    EXPECT_EQ(readFile(out), "[" + (c() / "Levora.log").string() + "]\n");

    EnvVar none("LEVORA_TEXT_VIEWER", (tmp.path() / "no-such-viewer").c_str());
    try {
        procs.Start("NOTEPAD c:\\levora.log", WindowStyle::NormalFocus);
        ADD_FAILURE() << "a missing viewer started";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
        EXPECT_NE(e.description().find("install xdg-utils"), std::string::npos) << e.description();
    }
}

TEST_F(ProcessTest, PriorityClassesMapOntoNiceValues) {
    writeScript(progDir() / "idle", "exec sleep 30\n");
    uint32_t pid = procs.Start("idle", WindowStyle::Hidden);
    const id_t id = static_cast<id_t>(pid);
    EXPECT_TRUE(procs.SetPriorityClass(pid, BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(getpriority(PRIO_PROCESS, id), 5);
    EXPECT_TRUE(procs.SetPriorityClass(pid, IDLE_PRIORITY_CLASS));
    EXPECT_EQ(getpriority(PRIO_PROCESS, id), 19);
    // Raising needs the right to do so; the answer must match what happened.
    bool raised = procs.SetPriorityClass(pid, NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(getpriority(PRIO_PROCESS, id), raised ? 0 : 19);
    EXPECT_FALSE(procs.SetPriorityClass(pid, 0x12345));
    procs.Kill(pid);
    procs.Wait(pid, 5000);
    EXPECT_FALSE(procs.SetPriorityClass(pid, IDLE_PRIORITY_CLASS));
    EXPECT_EQ(LinuxProcesses::niceForClass(ABOVE_NORMAL_PRIORITY_CLASS), -5);
}
