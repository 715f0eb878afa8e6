// Properties of the tool's reading over whole greetings, short words and uneven speech: it never
// takes a dip of the A - C curve, it follows a gain exactly, and a levelled file stays levelled.
#include "SpeechTestUtil.h"
#include "speech/Leveler.h"
#include "speech/SpeechMeter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace gainfix;
using namespace gainfix::test;
namespace fs = std::filesystem;

namespace {

struct Recording {
    std::string name;
    int format;                  // how it is stored for the levelling round trip
    std::vector<double> samples; // decoded, 8 kHz mono
};

double fromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

std::vector<double> scaled(std::vector<double> x, double db) {
    for (double& v : x)
        v *= fromDb(db);
    return x;
}

// The tool's reading of samples in memory, as measure() takes it from a file.
SpeechLevel toolReading(const std::vector<double>& x) {
    ToolMeter meter(8000);
    meter.feed(x.data(), x.size());
    if (meter.wantsFilteredPass()) {
        std::vector<double> copy(x);
        meter.feedFiltered(copy.data(), copy.size());
    }
    return meter.result();
}

// Stored and read back, so the samples are exactly what the file holds.
std::vector<double> stored(const fs::path& dir, const std::string& name, int format, const std::vector<double>& x) {
    const fs::path file = dir / (name + ".wav");
    writeAudio(file, format, 8000, 1, x);
    return readAudio(file).samples;
}

// The repository's speech whole, cut into single words of 0.3 to 0.8 s, and quiet speech whose
// last 15 % is louder, scaled to -40 .. -60 dBov and stored as mu-law.
std::vector<Recording> recordings(const fs::path& dir) {
    constexpr int kPcm = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    constexpr int kUlaw = SF_FORMAT_WAV | SF_FORMAT_ULAW;
    std::vector<Recording> all;
    for (const char* file :
         {"greet10_pcm16_m26.wav", "greet10_ulaw_m38.wav", "greet10_alaw_m26.wav", "greet60_pcm16_m32.wav"}) {
        Audio a = readAudio(speech(file));
        all.push_back({file, a.info.format, std::move(a.samples)});
    }

    const std::vector<double> greeting = readAudio(speech("greet10_pcm16_m26.wav")).samples;
    const double lengths[] = {0.35, 0.3, 0.45, 0.6, 0.8};
    for (int k = 0; k < 15; ++k) {
        const auto length = static_cast<std::size_t>(lengths[k % 5] * 8000);
        const std::size_t start = static_cast<std::size_t>(k) * 4700 + 3000;
        std::vector<double> piece(greeting.begin() + static_cast<std::ptrdiff_t>(start),
                                  greeting.begin() + static_cast<std::ptrdiff_t>(start + length));
        const SpeechLevel reading = toolReading(piece);
        if (!reading.silent && reading.level > -40.0) // a word, not a pause with its background noise
            all.push_back({"word at " + std::to_string(start) + ", " + std::to_string(length) + " samples", kPcm,
                           std::move(piece)});
    }

    // The loud end 22 dB (as on a real greeting that once read 5 dB low) or 28 dB above the rest.
    // The 7-s cut has a loud end whose own A - C curve crosses the margin at 17 % activity, rises up
    // to 1.8 dB above it and crosses again at 7 %: read at the first crossing, it moves by 4 dB
    // between scalings 0.5 dB apart. The greeting three times over (36 s) with a loud last 12 % runs
    // along the margin for several dB: read on 8 thresholds per octave, a gain moved it by up to
    // 1.9 dB more than the gain. The last 22 % 22 dB louder, raised by 18 dB and rounded onto mu-law
    // again, read 0.3 dB off the target and was levelled again by the next run.
    struct Uneven {
        double seconds; // the greeting cut to this length; 0: whole
        int repeats;
        int loudPercent;
        double louder;
        std::vector<double> levels;
    };
    const Uneven unevenOnes[] = {{0.0, 1, 15, 22.0, {-40.0, -45.0, -50.0, -54.0, -60.0}},
                                 {0.0, 1, 15, 28.0, {-40.0, -45.0, -50.0, -54.0, -60.0}},
                                 {7.0, 1, 18, 22.0, {-45.0, -47.0}},
                                 {0.0, 3, 12, 26.0, {-46.5}},
                                 {0.0, 1, 22, 22.0, {-48.0}}};
    for (const Uneven& u : unevenOnes) {
        std::vector<double> uneven;
        for (int k = 0; k < u.repeats; ++k)
            uneven.insert(uneven.end(), greeting.begin(), greeting.end());
        if (u.seconds > 0.0)
            uneven.resize(static_cast<std::size_t>(u.seconds * 8000));
        for (std::size_t i = uneven.size() * static_cast<std::size_t>(100 - u.loudPercent) / 100; i < uneven.size();
             ++i)
            uneven[i] *= fromDb(u.louder);
        const double reading = toolReading(uneven).level;
        for (double level : u.levels) {
            const std::string name = "uneven (" + std::to_string(u.loudPercent) + " % +" +
                                     std::to_string(static_cast<int>(u.louder)) + " dB, " +
                                     std::to_string(uneven.size()) + " samples) mu-law at " + std::to_string(level);
            all.push_back({name, kUlaw, stored(dir, "uneven", kUlaw, scaled(uneven, level - reading))});
        }
    }
    return all;
}

TEST(Reading, IgnoresDipsFollowsEveryGainAndLevelledFilesStayLevelled) {
    levora::test::TempDir dir;
    const std::vector<Recording> all = recordings(dir.path());
    ASSERT_GE(all.size(), 15u); // enough words had speech in them
    // A target the loud ends of the uneven recordings reach without the clipping protection, and
    // room for the quietest of them to get there.
    Options options;
    options.target = -30.0;
    options.minimum = -70.0;
    options.maxGain = 40.0;
    for (const Recording& r : all) {
        SCOPED_TRACE(r.name);
        const SpeechLevel base = toolReading(r.samples);
        ASSERT_FALSE(base.silent);

        // Past the crossing taken, A - C never rises more than a dip's height above the margin and
        // comes back: only a last rise that never returns to the margin may follow it. The curve is
        // taken 8 thresholds per octave: fine enough for any dip that moves a reading, too coarse for
        // the narrow spikes a single cluster of quantised envelope values makes, which the reading
        // averages out.
        SpeechMeter fine(8000);
        fine.feed(r.samples.data(), r.samples.size());
        const SpeechLevel plain = fine.result();
        SpeechMeter meter(8000, SpeechMeter::kCoarseStepBits);
        meter.feed(r.samples.data(), r.samples.size());
        const double sq = std::pow(10.0, plain.longTermLevel / 10.0) * static_cast<double>(plain.samples);
        std::vector<std::pair<double, double>> curve; // threshold and A - C above the crossing, in dB
        for (int j = 0; j < meter.thresholds() && meter.activeAt(j) > 0; ++j) {
            const double c = 20.0 * std::log10(meter.threshold(j));
            if (c > plain.level - SpeechMeter::kMarginDb)
                curve.emplace_back(c, 10.0 * std::log10(sq / static_cast<double>(meter.activeAt(j))) - c);
        }
        while (!curve.empty() && curve.back().second > SpeechMeter::kMarginDb)
            curve.pop_back();
        for (const auto& [c, d] : curve)
            ASSERT_LE(d, SpeechMeter::kMarginDb + SpeechMeter::kDipDb)
                << "threshold " << c << " dB, reading " << plain.level;

        // A gain moves the reading by the gain.
        double peak = 0.0;
        for (double v : r.samples)
            peak = std::max(peak, std::fabs(v));
        for (double gain : {-7.3, -2.0, -0.37, 0.61, 1.5, 3.0, 4.9}) {
            if (peak * fromDb(gain) >= 1.0)
                continue;
            const SpeechLevel moved = toolReading(scaled(r.samples, gain));
            ASSERT_FALSE(moved.silent) << "gain " << gain;
            EXPECT_NEAR(moved.level - base.level, gain, 0.05) << "gain " << gain;
        }

        // Levelled once, a second run with the same options finds it at the target.
        const fs::path src = dir.path() / "src.wav", once = dir.path() / "once.wav", twice = dir.path() / "twice.wav";
        writeAudio(src, r.format, 8000, 1, r.samples);
        const Outcome first = levelFile(src, once, options);
        ASSERT_EQ(first.limitedBlocks, 0u);
        const Outcome second = levelFile(once, twice, options);
        EXPECT_TRUE(second.copied) << summary("once.wav", second);
        EXPECT_EQ(second.reason, "already at target");
        EXPECT_TRUE(levora::test::readFile(twice) == levora::test::readFile(once));
    }
}

} // namespace
