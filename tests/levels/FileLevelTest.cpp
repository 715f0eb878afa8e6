// The level shown and reported is the gain tool's own reading of the same file.
#include "LevelsFixture.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace levora {
namespace {

namespace fs = std::filesystem;

struct Recording {
    const char* name;
    int format;
    int rate;
    int channels;
    double peak;
    double dc; // an offset added to every sample: the tool then meters a high-passed copy
};

// The tool's line: "<file>: level -37.99 dBov, activity 55.9 %, ..."
bool toolReading(const fs::path& work, const fs::path& file, double& level, double& activity, bool& dcRemoved) {
    const test::ProgramRun run = test::runProgram(
        test::binDir() / "gainfix315", {"-s", file.string(), "-d", (work / "out.wav").string(), "-t", "-26"}, work,
        {{"HOME", (work / "home").string()}, {"LEVORA_PREFIX", (work / "prefix").string()}});
    // Found by hand: std::regex sets off GCC 12's false "maybe uninitialized" under the sanitizers.
    const size_t at = run.out.find(": level ");
    const size_t act = run.out.find(" dBov, activity ");
    if (run.exitCode != 0 || at == std::string::npos || act == std::string::npos)
        return false;
    dcRemoved = run.out.find("(DC removed)") != std::string::npos;
    level = std::stod(run.out.substr(at + 8, act - at - 8));
    activity = std::stod(run.out.substr(act + 16));
    return true;
}

TEST(FileLevel, AgreesWithTheGainToolsOwnReading) {
    test::TempDir tmp;
    fs::create_directories(tmp.path() / "home");
    const Recording recordings[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 0.3, 0.0},
        {"mulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 0.6, 0.0},
        {"quiet-alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1, 0.01, 0.0},
        {"stereo-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 2, 0.2, 0.0},
        {"offset-pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 0.1, 0.02},
        {"pcm24.wavex", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 22050, 1, 0.5, 0.0},
    };
    std::uint32_t seed = 1;
    for (const Recording& r : recordings) {
        const std::vector<double> mono = test::speechLike(6.0, r.rate, r.peak, seed++);
        std::vector<double> samples;
        for (double s : mono)
            for (int c = 0; c < r.channels; ++c)
                samples.push_back(s * (c == 0 ? 1.0 : 0.5) + r.dc);
        const fs::path file = tmp.path() / r.name;
        test::writeWav(file, r.format, r.rate, r.channels, samples);

        double level = 0.0, activity = 0.0;
        bool dcRemoved = false;
        ASSERT_TRUE(toolReading(tmp.path(), file, level, activity, dcRemoved)) << r.name;
        EXPECT_EQ(dcRemoved, r.dc != 0.0) << r.name; // both of the tool's readings are compared
        const FileLevel f = measureFileLevel(file);
        ASSERT_TRUE(f.measured()) << r.name << ": " << f.problem;
        // The tool prints two decimals, so its reading is itself within 0.005 dB.
        EXPECT_NEAR(f.level, level, 0.05) << r.name;
        EXPECT_NEAR(f.activity * 100.0, activity, 0.06) << r.name;
        EXPECT_NEAR(f.seconds, 6.0, 1e-3) << r.name;
        EXPECT_NE(f.format.find(std::to_string(r.rate) + " Hz"), std::string::npos) << f.format;
    }
    // And the repository's recorded test speech.
    int files = 0;
    for (const auto& e : fs::directory_iterator(test::sourceDir() / "tests" / "data" / "speech")) {
        if (e.path().extension() != ".wav")
            continue;
        ++files;
        double level = 0.0, activity = 0.0;
        bool dcRemoved = false;
        ASSERT_TRUE(toolReading(tmp.path(), e.path(), level, activity, dcRemoved)) << e.path();
        const FileLevel f = measureFileLevel(e.path());
        ASSERT_TRUE(f.measured()) << e.path() << ": " << f.problem;
        EXPECT_NEAR(f.level, level, 0.05) << e.path();
        EXPECT_NEAR(f.activity * 100.0, activity, 0.06) << e.path();
    }
    EXPECT_GE(files, 8);
}

TEST(FileLevel, WhatIsNotAudioIsShownAsADash) {
    test::TempDir tmp;
    const fs::path text = tmp.path() / "streamfiles.idx";
    std::ofstream(text) << "greeting_1001_std.wav\n";
    const fs::path truncated = tmp.path() / "cut.wav";
    test::writeWav(truncated, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, test::speechLike(2.0, 8000, 0.3, 9));
    fs::resize_file(truncated, fs::file_size(truncated) / 2);
    const fs::path silent = tmp.path() / "silent.wav";
    test::writeWav(silent, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, std::vector<double>(8000, 0.0));

    for (const fs::path& p : {text, truncated, tmp.path() / "missing.wav", tmp.path()}) {
        const FileLevel f = measureFileLevel(p);
        EXPECT_FALSE(f.audio) << p;
        EXPECT_FALSE(f.problem.empty()) << p;
        EXPECT_EQ(levelText(f), "-") << p;
    }
    const FileLevel s = measureFileLevel(silent);
    EXPECT_TRUE(s.audio && s.silent);
    EXPECT_EQ(levelText(s), "silent");
    EXPECT_EQ(levelText(test::levelOf(-26.04)), "-26.0");
}

} // namespace
} // namespace levora
