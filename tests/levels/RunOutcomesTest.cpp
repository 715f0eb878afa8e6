// What happened to each file, from the run's log and the level before, by the gain tool's rule.
#include "LevelsFixture.h"

#include "levels/RunOutcomes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace levora {
namespace {

constexpr const char* kLog =
    "\r\n*****\r\nRunning Levora version: 1.0.35\r\n\r\n"
    "Search for '(error)' or '(warning)' to find logged errors and warnings.\r\n\r\n"
    "C:\\a.wav set to dB -26\r\n"
    "    Used command line=Z:\\bin\\gainfix315 -s \"C:\\a.wav\" -d c:\\mytempwavfile774.WAV -t -26 -m -45 -b 8000 -g "
    "5\r\n"
    "(error) in cmdSetDB function: The gain tool reported a failure (exit code 3)\r\n"
    "C:\\x.idx set to dB -26\r\n"
    "    Used command line=Z:\\bin\\gainfix315 -s \"C:\\x.idx\" -d c:\\mytempwavfile774.WAV -t -26 -m -45 -b 8000 -g "
    "5\r\n"
    "(error) in cmdSetDB function: Permission denied\r\n"
    "(error) in cmdSetDB function: The gain tool wrote no levelled file\r\n"
    "C:\\ro.wav set to dB -20\r\n"
    "    Used command line=Z:\\bin\\gainfix315 -s \"C:\\ro.wav\" -d c:\\mytempwavfile774.WAV -t -20 -m -40 -b 8000 -g "
    "3\r\n"
    "C:\\old.wav set to dB  0\r\n"
    "    Used command line=Z:\\bin\\gainfix -s \"C:\\old.wav\" -d c:\\mytempwavfile774.WAV -t  0\r\n"
    "C:\\older.wav set to dB -26\r\n"
    "    Used command line=Z:\\bin\\gainfix -s \"C:\\older.wav\" -d c:\\mytempwavfile774.WAV -t -26\r\n"
    "(error) in cmdSetDB function: Object variable or With block variable not set\r\n";

TEST(RunOutcomes, EachFileGetsWhatTheLogAndTheToolsRuleSay) {
    test::TempDir tmp;
    std::ofstream(tmp.path() / "Levora.log", std::ios::binary) << kLog;
    const std::map<std::string, LoggedFile> logged = filesInRunLog(tmp.path() / "Levora.log");
    ASSERT_EQ(logged.size(), 5u);
    // The quoted "(error)" of the header belongs to nobody; a failure after the last file (the
    // synchronisation's) neither.
    EXPECT_TRUE(logged.at("C:\\a.wav").failures.empty());
    EXPECT_TRUE(logged.at("C:\\older.wav").failures.empty());
    EXPECT_EQ(logged.at("C:\\ro.wav").failures,
              (std::vector<std::string>{"Permission denied", "The gain tool wrote no levelled file"}));
    // The older tool takes -t only: its own defaults hold for the rest.
    EXPECT_EQ(logged.at("C:\\older.wav").options.minimum, -45.0);
    EXPECT_EQ(logged.at("C:\\older.wav").options.maxChange, 5.0);

    struct Case {
        const char* file;
        FileLevel before;
        WhatHappened what;
        const char* text;
    };
    const Case cases[] = {
        {"C:\\a.wav", test::levelOf(-29.0), WhatHappened::ReachedTarget, "reached the target"},
        {"C:\\a.wav", test::levelOf(-21.0), WhatHappened::ReachedTarget, "reached the target"},
        {"C:\\a.wav", test::levelOf(-31.2), WhatHappened::MovedByLargestChange, "moved by the largest change"},
        {"C:\\a.wav", test::levelOf(-46.0), WhatHappened::BelowThreshold, "below the threshold"},
        {"C:\\a.wav", test::levelOf(-26.02), WhatHappened::LeftAlone, "left alone: already at target"},
        {"C:\\a.wav", test::silence(), WhatHappened::LeftAlone, "left alone: no active speech"},
        {"C:\\x.idx", test::notAudio(), WhatHappened::Failed, "failed: The gain tool reported a failure (exit code 3)"},
        {"C:\\ro.wav", test::levelOf(-30.0), WhatHappened::Failed,
         "failed: Permission denied; The gain tool wrote no levelled file"},
        // Its own options: -20 with at most 3 dB, minimum -40.
        {"C:\\old.wav", test::levelOf(-30.0), WhatHappened::LeftAlone, "left alone: gain control off"},
        {"C:\\older.wav", test::levelOf(-33.0), WhatHappened::MovedByLargestChange, "moved by the largest change"},
        {"C:\\missing.wav", test::levelOf(-30.0), WhatHappened::LeftAlone, "left alone: not levelled"},
    };
    for (const Case& c : cases) {
        ReportRow row;
        row.path = c.file;
        row.before = c.before;
        const auto it = logged.find(c.file);
        classifyRow(row, it == logged.end() ? nullptr : &it->second);
        EXPECT_EQ(row.what, c.what) << c.file << " " << c.before.level;
        EXPECT_EQ(whatHappenedText(row), c.text) << c.file << " " << c.before.level;
    }
    ReportRow ro;
    ro.before = test::levelOf(-36.0);
    LoggedFile roLogged = logged.at("C:\\ro.wav");
    roLogged.failures.clear();
    classifyRow(ro, &roLogged);
    EXPECT_EQ(ro.what, WhatHappened::MovedByLargestChange); // -36 is 16 dB from -20, past 3 dB
    ro.before = test::levelOf(-41.0);
    classifyRow(ro, &roLogged);
    EXPECT_EQ(ro.what, WhatHappened::BelowThreshold); // below -40 there
}

} // namespace
} // namespace levora
