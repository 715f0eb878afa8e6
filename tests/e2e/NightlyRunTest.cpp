// levora-level --changed-only on a fresh demo host: the first run levels everything, the next one
// nothing, a touched file alone after that, and after a lost record only what is not at the target.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace levora {
namespace {

namespace fs = std::filesystem;

TEST(NightlyRun, ChangedOnlyLevelsWhatChangedSinceTheLastRun) {
    test::TempDir tmp;
    const fs::path prefix = tmp.path() / "prefix";
    const std::map<std::string, std::string> env{{"HOME", (tmp.path() / "home").string()},
                                                 {"LEVORA_PREFIX", prefix.string()}};
    fs::create_directories(tmp.path() / "home");
    const test::ProgramRun host =
        test::runProgram(test::binDir() / "demohost", {"create", prefix.string(), "--greetings", "4", "--seconds", "2"},
                         tmp.path(), env);
    ASSERT_EQ(host.exitCode, 0) << host.err;

    const fs::path log = prefix / "drive_c" / "Levora.log";
    auto run = [&](std::vector<std::string> extra) {
        fs::remove(log);
        std::vector<std::string> args{"--no-backup", "--no-registry", "--changed-only"};
        args.insert(args.end(), extra.begin(), extra.end());
        const test::ProgramRun r = test::runProgram(test::binDir() / "levora-level", args, tmp.path(), env);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        std::set<std::string> levelled;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            if (const size_t at = line.find(" set to dB "); at != std::string::npos)
                levelled.insert(line.substr(0, at));
        return std::make_pair(levelled, r.out);
    };

    const auto [all, first] = run({});
    ASSERT_GE(all.size(), 8u) << first; // the greetings, voice names, default greetings and the index
    EXPECT_NE(first.find("Changed:  " + std::to_string(all.size()) + " of " + std::to_string(all.size())),
              std::string::npos)
        << first;
    // Each file was recorded as it was done: the header and one line per file.
    std::ifstream record(prefix / "levora-state.tsv");
    size_t recordLines = 0;
    for (std::string line; std::getline(record, line);)
        ++recordLines;
    EXPECT_EQ(recordLines, all.size() + 1);

    // Nothing changed: nothing levelled, not even the files the limiter held back or the index the
    // tool refuses; no log written.
    const auto [none, second] = run({});
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(fs::exists(log));
    EXPECT_NE(second.find("Nothing changed since the last run"), std::string::npos) << second;

    // One file touched: that one alone, and the report lists it alone.
    const std::string touched = "C:\\Talvio\\Stream Files\\voicename_1002.wav";
    ASSERT_TRUE(all.count(touched));
    const timespec later[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (prefix / "drive_c/Talvio/Stream Files/voicename_1002.wav").c_str(), later, 0), 0);
    const fs::path report = tmp.path() / "night.csv";
    const auto [one, third] = run({"--report", report.string()});
    EXPECT_EQ(one, std::set<std::string>{touched}) << third;
    EXPECT_NE(third.find("Leveling: 1 of 1 files"), std::string::npos) << third;
    std::ifstream in(report);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind(touched + ",WAV ", 0), 0u) << lines[1];

    // A damaged record: every file counts as changed, but what is at the target already is not
    // levelled a second time.
    std::ofstream(prefix / "levora-state.tsv", std::ios::trunc) << "levora-state\t2\n\x01\x02 not a record\n";
    const auto [again, fourth] = run({});
    EXPECT_NE(fourth.find("is damaged"), std::string::npos) << fourth;
    EXPECT_NE(fourth.find("already at the target"), std::string::npos) << fourth;
    EXPECT_LT(again.size(), all.size()) << fourth;
    for (const std::string& file : again)
        EXPECT_TRUE(all.count(file)) << file;
}

} // namespace
} // namespace levora
