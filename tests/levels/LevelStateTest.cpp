// The record of what was last levelled: a file counts as unchanged only when its size, time,
// content and options all agree; a line of the record that cannot be read, or was cut, costs only
// its own file.
#include "levels/LevelState.h"

#include "platform/LinuxFileSystem.h"
#include "platform/Prefix.h"
#include "platform/WinPath.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace levora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOptions = "t=-26 m=-45 b=8000 g=5";

class LevelStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::writeFile(prefix.driveC() / "a.wav", "RIFF first greeting");
        test::writeFile(prefix.driveC() / "b.wav", "RIFF second greeting");
    }
    // A recorded state of both files, written and read again.
    LevelState recorded() {
        LevelState s;
        EXPECT_TRUE(s.record(files, kA, a, kOptions));
        EXPECT_TRUE(s.record(files, kB, b, kOptions));
        return LevelState::parse(s.text());
    }

    // Keys with what a name may hold on the host: tabs, line breaks, a percent sign.
    const std::string kA = "C:\\Talvio\\Stream Files\\a\t%0A\n.wav";
    const std::string kB = "C:\\Talvio\\Stream Files\\b.wav";
    const std::string a = "C:\\a.wav";
    const std::string b = "C:\\b.wav";
    test::TempDir tmp;
    MachinePrefix prefix{tmp.path() / "prefix"};
    PathNamespace ns{prefix};
    LinuxFileSystem files{ns};
};

TEST_F(LevelStateTest, UnchangedOnlyWhenSizeTimeContentAndOptionsAgree) {
    EXPECT_FALSE(LevelState::parse("").damaged());
    const LevelState s = recorded();
    ASSERT_FALSE(s.damaged());
    EXPECT_TRUE(s.unchanged(files, kA, a, kOptions));
    EXPECT_TRUE(s.unchanged(files, kB, b, kOptions));
    EXPECT_FALSE(s.unchanged(files, kA, a, "t=-20 m=-45 b=8000 g=5"));
    EXPECT_FALSE(s.unchanged(files, "C:\\other.wav", a, kOptions));

    // Same size and time, other content (a copy that kept the time): the hash tells.
    const fs::path hostB = prefix.driveC() / "b.wav";
    const auto time = fs::last_write_time(hostB);
    test::writeFile(hostB, "RIFF second greetinG");
    fs::last_write_time(hostB, time);
    EXPECT_FALSE(s.unchanged(files, kB, b, kOptions));

    // Touched: same content, a new time.
    const fs::path hostA = prefix.driveC() / "a.wav";
    fs::last_write_time(hostA, fs::last_write_time(hostA) + std::chrono::seconds(5));
    EXPECT_FALSE(s.unchanged(files, kA, a, kOptions));

    // Gone, or not a file at all.
    fs::remove(hostA);
    EXPECT_FALSE(s.unchanged(files, kA, a, kOptions));
    fs::create_directory(hostA);
    LevelState again = s;
    EXPECT_FALSE(again.record(files, kA, a, kOptions)); // and its record is dropped
    EXPECT_EQ(again.size(), 1u);
}

TEST_F(LevelStateTest, ALineThatCannotBeReadCostsOnlyItsOwnFile) {
    LevelState s = recorded();
    const std::string good = s.text();
    s.forget(kA);
    const std::string forgetA = s.line(kA);
    const std::string bLine = s.line(kB);
    struct Case {
        std::string text;
        bool damaged, aKept, bKept;
    };
    const Case cases[] = {
        {"garbage\n" + bLine, true, false, false},                         // no header
        {good + forgetA, false, false, true},                              // a later line forgets a file
        {good + forgetA.substr(0, forgetA.size() - 1), false, true, true}, // ... cut by a kill: dropped
        {good.substr(0, good.size() - 3), false, true, false},             // the last line cut short
        {good + std::string("x\t\0\t1\n", 6), true, true, true},           // junk between good lines
        {good + "12\tx\t00\topts\tC:\\a\n" + bLine, true, true, true},     // unreadable numbers
        {"levora-state\t1\n" + good.substr(good.find('\n') + 1) + "end\t2\n", false, true, true}, // the first form
    };
    for (const Case& c : cases) {
        const LevelState read = LevelState::parse(c.text);
        EXPECT_EQ(read.damaged(), c.damaged) << testing::PrintToString(c.text);
        EXPECT_EQ(read.unchanged(files, kA, a, kOptions), c.aKept) << testing::PrintToString(c.text);
        EXPECT_EQ(read.unchanged(files, kB, b, kOptions), c.bKept) << testing::PrintToString(c.text);
    }
}

} // namespace
} // namespace levora
