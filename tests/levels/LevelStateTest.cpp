// The record of what was last levelled: a file counts as unchanged only when its size, time,
// content and options all agree; a missing or damaged record makes everything changed.
#include "levels/LevelState.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace levora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOptions = "t=-26 m=-45 b=8000 g=5";

class LevelStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        write(a, "RIFF first greeting");
        write(b, "RIFF second greeting");
    }
    static void write(const fs::path& p, const std::string& content) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A recorded state of both files, saved and loaded again.
    LevelState recorded() {
        LevelState s = LevelState::load(record);
        EXPECT_TRUE(s.record(kA, a, kOptions));
        EXPECT_TRUE(s.record(kB, b, kOptions));
        s.save(record);
        return LevelState::load(record);
    }

    // Keys with what a name may hold on the host: tabs, line breaks, a percent sign.
    const std::string kA = "C:\\Talvio\\Stream Files\\a\t%0A\n.wav";
    const std::string kB = "C:\\Talvio\\Stream Files\\b.wav";
    test::TempDir tmp;
    fs::path a = tmp.path() / "a.wav";
    fs::path b = tmp.path() / "b.wav";
    fs::path record = tmp.path() / LevelState::kFileName;
};

TEST_F(LevelStateTest, MissingRecordIsEmptyAndNotDamaged) {
    const LevelState s = LevelState::load(record);
    EXPECT_FALSE(s.damaged());
    EXPECT_EQ(s.size(), 0u);
    EXPECT_FALSE(s.unchanged(kA, a, kOptions));
}

TEST_F(LevelStateTest, UnchangedOnlyWhenSizeTimeContentAndOptionsAgree) {
    const LevelState s = recorded();
    ASSERT_FALSE(s.damaged());
    EXPECT_TRUE(s.unchanged(kA, a, kOptions));
    EXPECT_TRUE(s.unchanged(kB, b, kOptions));
    EXPECT_FALSE(s.unchanged(kA, a, "t=-20 m=-45 b=8000 g=5"));
    EXPECT_FALSE(s.unchanged("C:\\other.wav", a, kOptions));

    // Same size and time, other content (a copy that kept the time): the hash tells.
    struct stat st {};
    ASSERT_EQ(::stat(b.c_str(), &st), 0);
    write(b, "RIFF second greetinG");
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, b.c_str(), times, 0), 0);
    EXPECT_FALSE(s.unchanged(kB, b, kOptions));

    // Touched: same content, a new time.
    const timespec now[2] = {{0, UTIME_NOW}, {st.st_mtim.tv_sec + 5, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, a.c_str(), now, 0), 0);
    EXPECT_FALSE(s.unchanged(kA, a, kOptions));

    // Gone.
    fs::remove(a);
    EXPECT_FALSE(s.unchanged(kA, a, kOptions));
    LevelState again = s;
    EXPECT_FALSE(again.record(kA, a, kOptions)); // and its record is dropped
    EXPECT_EQ(again.size(), 1u);
}

TEST_F(LevelStateTest, DamagedRecordMeansEverythingChanged) {
    recorded();
    const std::string good = read(record);
    const std::string firstLineEnd = good.substr(0, good.find('\n') + 1);
    const std::string damages[] = {
        "",                                                // empty
        "garbage\n",                                       // no header
        std::string("levora-state\t1\n\0\0\0", 18),        // binary junk
        good.substr(0, good.size() / 2),                   // cut short
        good.substr(0, good.rfind("end")),                 // no end line
        good + "extra\n",                                  // something after the end
        firstLineEnd + "12\tx\t00\topts\tC:\\a\nend\t1\n", // unreadable numbers
        [&] {
            std::string g = good;
            g.replace(g.rfind("end\t2"), 5, "end\t3");
            return g;
        }(), // wrong count
        [&] {
            std::string g = good;
            g.insert(g.find('\n') + 1, g.substr(g.find('\n') + 1, g.find('\n', g.find('\n') + 1) - g.find('\n')));
            return g;
        }(), // a key twice
    };
    for (const std::string& damaged : damages) {
        write(record, damaged);
        const LevelState s = LevelState::load(record);
        EXPECT_TRUE(s.damaged()) << testing::PrintToString(damaged);
        EXPECT_FALSE(s.unchanged(kB, b, kOptions)) << testing::PrintToString(damaged);
        // Recording over a damaged record starts afresh and writes a good one.
        LevelState fresh = s;
        fresh.record(kB, b, kOptions);
        fresh.save(record);
        EXPECT_TRUE(LevelState::load(record).unchanged(kB, b, kOptions));
    }
    // A folder where the record should be: damaged too, not a crash.
    fs::remove(record);
    fs::create_directory(record);
    EXPECT_FALSE(LevelState::load(record).unchanged(kB, b, kOptions));
}

} // namespace
} // namespace levora
