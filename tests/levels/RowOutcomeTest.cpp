// What happened to each file: from what the run did to it and its level measured again after it.
#include "LevelsFixture.h"

#include "levels/RowOutcome.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

TEST(RowOutcome, TheLevelAfterSaysWhatHappened) {
    const FileOutcome levelled = test::levelledWith("C:\\a.wav");
    FileOutcome failed = levelled;
    failed.error = "The gain tool reported a failure (exit code 3)";
    FileOutcome off = levelled;
    off.target = 0;
    struct Case {
        const FileOutcome* done;
        FileLevel before, after;
        WhatHappened what;
        const char* text;
    };
    const Case cases[] = {
        {&levelled, test::levelOf(-29.0), test::levelOf(-26.01), WhatHappened::ReachedTarget, "reached the target"},
        // The level after decides, not the rule applied to the level before.
        {&levelled, test::levelOf(-29.35), test::levelOf(-26.9), WhatHappened::MissedTarget,
         "did not reach the target: -26.9"},
        // A coarse encoding's steps: the measured change is shown, not the largest change.
        {&levelled, test::levelOf(-40.0), test::levelOf(-34.9), WhatHappened::MovedByLargestChange,
         "moved by the largest change: +5.1"},
        {&levelled, test::levelOf(-46.0), test::levelOf(-46.0), WhatHappened::BelowThreshold, "below the threshold"},
        {&levelled, test::levelOf(-26.02), test::levelOf(-26.02), WhatHappened::LeftAlone,
         "left alone: already at target"},
        {&levelled, test::silence(), test::silence(), WhatHappened::LeftAlone, "left alone: no active speech"},
        {&off, test::levelOf(-30.0), test::levelOf(-30.0), WhatHappened::LeftAlone, "left alone: gain control off"},
        {&failed, test::notAudio(), test::notAudio(), WhatHappened::Failed,
         "failed: The gain tool reported a failure (exit code 3)"},
        {nullptr, test::levelOf(-30.0), test::levelOf(-30.0), WhatHappened::LeftAlone, "left alone: not levelled"},
    };
    for (const Case& c : cases) {
        ReportRow row;
        row.before = c.before;
        row.after = c.after;
        classifyRow(row, c.done);
        EXPECT_EQ(row.what, c.what) << c.text;
        EXPECT_EQ(whatHappenedText(row), c.text);
    }
}

} // namespace
} // namespace levora
