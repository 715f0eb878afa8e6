// The background measurement behind the window's level column, and the window's report of it.
#include "LevelsFixture.h"

#include "levels/LevelSurvey.h"
#include "levels/LevelTable.h"
#include "platform/WinPath.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace levora {
namespace {

namespace fs = std::filesystem;

TEST(LevelSurvey, MeasuresEveryFileOnceAsTheMeterDoesOnItsOwn) {
    test::TempDir tmp;
    MachinePrefix prefix(tmp.path() / "prefix");
    PathNamespace ns(prefix);
    std::vector<LevelSurvey::Item> items;
    std::uint32_t seed = 7;
    for (double peak : {0.02, 0.1, 0.3, 0.8, 0.05, 0.5}) {
        const std::string path = "C:\\Talvio\\Stream Files\\g" + std::to_string(items.size()) + ".wav";
        fs::create_directories(ns.toHost(path).parent_path());
        test::writeWav(ns.toHost(path), SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1,
                       test::speechLike(3.0, 8000, peak, seed++));
        items.push_back({static_cast<int>(items.size()) * 10, path});
    }
    // GSM 6.10 ending inside a block: its length is the fact count, read from memory as from the path.
    const std::string gsm = "C:\\Talvio\\Stream Files\\gsm.wav";
    const std::size_t gsmSamples = 24080;
    test::writeWav(ns.toHost(gsm), SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1,
                   test::speechLike(gsmSamples / 8000.0, 8000, 0.3, seed++));
    items.push_back({3, gsm});
    test::writeFile(ns.toHost("C:\\Talvio\\Stream Files\\streamfiles.idx"), "not audio");
    items.push_back({1, "C:\\Talvio\\Stream Files\\streamfiles.idx"});
    items.push_back({2, "Q:\\no drive\\x.wav"});

    std::map<int, FileLevel> got;
    {
        LevelSurvey survey(prefix, items, 3);
        for (bool finished = false; !finished;) {
            finished = survey.finished(); // before the take: nothing can follow it then
            for (LevelSurvey::Result& r : survey.take())
                EXPECT_TRUE(got.emplace(r.id, std::move(r.level)).second) << "measured twice: " << r.id;
        }
    }
    ASSERT_EQ(got.size(), items.size());
    for (const LevelSurvey::Item& item : items) {
        if (item.id == 2) {
            EXPECT_FALSE(got[2].audio);
            EXPECT_FALSE(got[2].problem.empty()) << "an unknown drive says why";
            continue;
        }
        const FileLevel alone = measureFileLevel(ns.toHost(item.path));
        EXPECT_EQ(got[item.id].audio, alone.audio) << item.path;
        EXPECT_EQ(levelText(got[item.id]), levelText(alone)) << item.path;
        EXPECT_DOUBLE_EQ(got[item.id].level, alone.level) << item.path;
        EXPECT_DOUBLE_EQ(got[item.id].seconds, alone.seconds) << item.path;
    }
    EXPECT_TRUE(got[3].measured()) << got[3].problem;
    EXPECT_DOUBLE_EQ(got[3].seconds, gsmSamples / 8000.0);
}

TEST(LevelTable, ARunsFilesKeepTheirLevelBeforeItAndTheOthersAreLeftAlone) {
    LevelTable table;
    table.resize(3);
    table.set(0, test::levelOf(-38.0));
    table.set(1, test::levelOf(-30.0));
    table.set(2, test::levelOf(-20.0));
    EXPECT_TRUE(table.complete());

    table.beginRun({0, 1});
    EXPECT_EQ(table.unknown(), (std::vector<int>{0, 1})) << "the run's files are measured again";
    EXPECT_FALSE(table.complete());
    table.set(0, test::levelOf(-33.0));
    table.set(1, test::levelOf(-30.0));

    const FileOutcome a = test::levelledWith("a.wav");
    FileOutcome b = test::levelledWith("b.wav");
    b.error = "Error 1110: the levelled file is not in the original's format";
    table.endRun({a, b});
    const LevelReport report = table.report({{2, "c.wav"}, {0, "a.wav"}, {1, "b.wav"}}, LevelOptions{});
    ASSERT_EQ(report.rows.size(), 3u);
    EXPECT_EQ(report.rows[0].what, WhatHappened::LeftAlone);
    EXPECT_DOUBLE_EQ(report.rows[0].before.level, -20.0);
    EXPECT_EQ(report.rows[1].what, WhatHappened::MovedByLargestChange);
    EXPECT_DOUBLE_EQ(report.rows[1].before.level, -38.0);
    EXPECT_DOUBLE_EQ(report.rows[1].after.level, -33.0);
    EXPECT_EQ(report.rows[2].what, WhatHappened::Failed);
}

} // namespace
} // namespace levora
