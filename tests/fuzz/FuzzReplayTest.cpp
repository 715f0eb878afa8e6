// Every seed of the fuzz targets and every input a fuzzer ever found, through the same entry
// functions the fuzzers call: a fault once found stays found in the normal test build.
#include "entries/FuzzEntries.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace levora::fuzz {
namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzReplay : public ::testing::TestWithParam<const char*> {
protected:
    std::function<std::string(std::string_view)> entry() {
        const std::string name = GetParam();
        if (name == "registry_text")
            return registryText;
        if (name == "pe_strings")
            return peStrings;
        if (name == "avi_clip")
            return aviClip;
        if (name == "level_record")
            return levelRecord;
        if (name == "level_report")
            return levelReport;
        if (name == "gainfix_wav")
            return [this](std::string_view in) { return gainfixWav(in, m_dir.path()); };
        m_world = std::make_unique<CommandLineWorld>(m_dir.path());
        return [this](std::string_view in) { return commandLine(in, *m_world); };
    }

private:
    test::TempDir m_dir;
    std::unique_ptr<CommandLineWorld> m_world;
};

TEST_P(FuzzReplay, SeedsAndFoundInputsKeepEveryProperty) {
    const auto run = entry();
    int seeds = 0;
    for (const char* folder : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(LEVORA_FUZZ_DIR) / folder / GetParam();
        if (!fs::is_directory(dir))
            continue;
        for (const auto& f : fs::directory_iterator(dir)) {
            seeds += folder == std::string("corpus");
            EXPECT_EQ(run(readBytes(f.path())), "") << f.path();
        }
    }
    EXPECT_GE(seeds, 3) << "the seed corpus is missing";
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         ::testing::Values("registry_text", "pe_strings", "avi_clip", "gainfix_wav", "command_line",
                                           "level_record", "level_report"));

} // namespace
} // namespace levora::fuzz
