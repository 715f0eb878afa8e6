// Every tool shows the one project version under the name it was started as.
#include "platform/Version.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(ToolVersion, EveryToolAnswersWithTheProjectVersion) {
    levora::test::TempDir dir;
    for (const char* tool :
         {"gainfix", "gainfix314", "gainfix315", "levora-level", "levora-reg", "levora-path", "demohost"}) {
        const auto r = levora::test::runProgram(levora::test::binDir() / tool, {"--version"}, dir.path(),
                                                {{"LEVORA_PREFIX", (dir.path() / "prefix").string()}});
        EXPECT_EQ(r.exitCode, 0) << tool << ": " << r.err;
        EXPECT_EQ(r.out, std::string(tool) + " " + levora::kVersionText + "\n") << tool;
    }
}
