// The demohost command line: exit codes and what it prints.
#include "DemoTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;
using levora::test::readFile;
using levora::test::TempDir;

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

Outcome demohost(const TempDir& dir, const std::string& arguments) {
    const fs::path out = dir.path() / "out.txt", err = dir.path() / "err.txt";
    const std::string command =
        "'" + test::demohostProgram().string() + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

TEST(DemohostProgram, CreatesThenRefusesThenReplacesWithForce) {
    TempDir dir;
    const std::string prefix = "'" + (dir.path() / "my prefix").string() + "'";
    Outcome r = demohost(dir, "create " + prefix + " --greetings 2 --seconds 1 --layout old --version '3.1(4)'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("3.1(4)"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir.path() / "my prefix" / "drive_c" / "Talvio" / "Data" / "talvio.db"));

    r = demohost(dir, "create " + prefix);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;

    r = demohost(dir, "create " + prefix + " --greetings 2 --seconds 1 --force");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    r = demohost(dir, "levels " + prefix);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("greeting_1001_std.wav"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("DefaultGreeting.wav"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("DefaultTemplate.wav"), std::string::npos) << r.out;
}

TEST(DemohostProgram, BadArgumentsFailWithoutCreatingAnything) {
    const char* cases[] = {
        "create P --version 3.1",
        "create P --version '3.1(70000)'",
        "create P --layout middle",
        "create P --greetings -1",
        "create P --seconds 0",
        "create P --layout old --version '10000.1(1)'",
        "create",
        "explode P",
    };
    for (const char* c : cases) {
        TempDir dir;
        std::string args = c;
        const auto at = args.find(" P");
        if (at != std::string::npos)
            args.replace(at, 2, " '" + (dir.path() / "p").string() + "'");
        const Outcome r = demohost(dir, args);
        EXPECT_NE(r.exitCode, 0) << c;
        EXPECT_FALSE(r.err.empty()) << c;
        EXPECT_FALSE(fs::exists(dir.path() / "p" / "system.reg")) << c;
    }
}

} // namespace
} // namespace levora::demohost
