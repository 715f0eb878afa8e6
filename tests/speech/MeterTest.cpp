// The speech-level meter against calibration signals and the shared reference recordings.
#include "SpeechTestUtil.h"
#include "speech/Leveler.h"
#include "speech/SpeechMeter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace gainfix;
using namespace gainfix::test;

namespace {

SpeechLevel meterOf(const std::vector<double>& x, double rate, std::size_t chunk = 0) {
    SpeechMeter m(rate);
    if (chunk == 0) {
        m.feed(x.data(), x.size());
    } else {
        for (std::size_t i = 0; i < x.size(); i += chunk)
            m.feed(x.data() + i, std::min(chunk, x.size() - i));
    }
    return m.result();
}

struct ToneCase {
    double level;
    int rate;
    int format;
    double hz = 1000.0;
};
void PrintTo(const ToneCase& c, std::ostream* os) {
    *os << c.level << " dBov, " << c.hz << " Hz at " << c.rate << " Hz";
}

class ToneCalibration : public ::testing::TestWithParam<ToneCase> {};

// A continuous 1 kHz tone reads its own level, through the whole path the tool uses
// (file decoding, DC blocking, meter), in several encodings and rates.
TEST_P(ToneCalibration, ContinuousToneReadsItsLevel) {
    const ToneCase c = GetParam();
    levora::test::TempDir dir;
    const auto file = dir.path() / "tone.wav";
    writeAudio(file, c.format, c.rate, 1, tone(c.level, c.hz, 10.0, c.rate));
    const SpeechLevel r = measureFile(file);
    ASSERT_FALSE(r.silent);
    EXPECT_NEAR(r.level, c.level, 0.05);
    EXPECT_GT(r.activity, 0.99);
}

INSTANTIATE_TEST_SUITE_P(Levels, ToneCalibration,
                         ::testing::Values(ToneCase{-6.0, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                           ToneCase{-26.0, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                           ToneCase{-45.0, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                           ToneCase{-26.0, 16000, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                                           ToneCase{-26.0, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                           // 1 kHz at 8 kHz repeats every 8 samples, so G.711's
                                           // rounding never averages out (+0.08 dB for A-law);
                                           // telephony test tones are 1004 Hz for that reason.
                                           ToneCase{-20.0, 8000, SF_FORMAT_WAV | SF_FORMAT_ULAW, 1004.0},
                                           ToneCase{-20.0, 8000, SF_FORMAT_WAV | SF_FORMAT_ALAW, 1004.0}),
                         [](const auto& info) {
                             const ToneCase& c = info.param;
                             return "minus" + std::to_string(static_cast<int>(-c.level)) + "_" +
                                    std::to_string(c.rate) + "Hz_format" + std::to_string(c.format & 0xFFFF);
                         });

TEST(SpeechMeter, GatedToneReadsBelowItsLevelBecauseOfTheHangover) {
    // 1 s on, 1 s off: the 200 ms hangover counts part of every pause as active.
    const int rate = 8000;
    std::vector<double> x;
    const auto on = tone(-26.0, 1000.0, 1.0, rate);
    for (int k = 0; k < 10; ++k) {
        x.insert(x.end(), on.begin(), on.end());
        x.insert(x.end(), on.size(), 0.0);
    }
    const SpeechLevel r = meterOf(x, rate);
    EXPECT_NEAR(r.level, -27.05, 0.1);
    EXPECT_NEAR(r.activity, 0.637, 0.015);
}

TEST(SpeechMeter, MemoryIsBoundedWhateverTheSampleRate) {
    for (double rate : {8000.0, 384000.0, 1e8, 2147483647.0}) {
        ASSERT_LE(SpeechMeter(rate).windowMemory(), 2 * SpeechMeter::kLongestBlockWindow + 2) << rate;
        ASSERT_LE(SpeechMeter(rate, SpeechMeter::kCoarseStepBits).windowMemory(),
                  2 * SpeechMeter::kLongestBlockWindow + 2)
            << rate;
    }
}

TEST(SpeechMeter, DigitalSilenceIsSilent) {
    const std::vector<double> zeros(80000, 0.0);
    EXPECT_TRUE(meterOf(zeros, 8000).silent);
    EXPECT_TRUE(meterOf({}, 8000).silent);
    // Below the lowest threshold (1 LSB of 16-bit) nothing counts as active either.
    EXPECT_TRUE(meterOf(tone(-100.0, 1000.0, 2.0, 8000), 8000).silent);
}

TEST(SpeechMeter, ResultDoesNotDependOnHowTheSignalIsCut) {
    const Audio a = readAudio(speech("greet10_pcm16_m26.wav"));
    const SpeechLevel whole = meterOf(a.samples, 8000);
    for (std::size_t chunk : {1u, 7u, 160u, 8000u}) {
        const SpeechLevel cut = meterOf(a.samples, 8000, chunk);
        EXPECT_NEAR(cut.level, whole.level, 1e-9) << "chunk " << chunk;
        EXPECT_EQ(cut.activity, whole.activity) << "chunk " << chunk;
    }
    for (std::size_t block : {1u, 333u, 8000u, 80000u})
        EXPECT_NEAR(measureFile(speech("greet10_pcm16_m26.wav"), block).level,
                    measureFile(speech("greet10_pcm16_m26.wav")).level, 1e-9)
            << "block " << block;
}

// The note's method, written out literally: one activity counter and one hangover counter per
// threshold, updated sample by sample. The meter's histogram must count exactly the same.
struct LiteralCounts {
    std::vector<std::uint64_t> active;
};
LiteralCounts literalP56(const std::vector<double>& x, double rate, const SpeechMeter& grid) {
    const int thresholds = grid.thresholds();
    const double g = std::exp(-1.0 / (rate * 0.03));
    const long hangover = std::lround(0.2 * rate);
    std::vector<std::uint64_t> a(static_cast<std::size_t>(thresholds), 0);
    std::vector<long> h(static_cast<std::size_t>(thresholds), hangover);
    double p = 0.0, q = 0.0;
    for (double v : x) {
        p = g * p + (1.0 - g) * std::fabs(v);
        q = g * q + (1.0 - g) * p;
        for (int j = 0; j < thresholds; ++j) {
            const auto k = static_cast<std::size_t>(j);
            if (q >= grid.threshold(j)) {
                ++a[k];
                h[k] = 0;
            } else if (h[k] < hangover) {
                ++a[k];
                ++h[k];
            }
        }
    }
    return {a};
}

TEST(SpeechMeter, CountsActivityExactlyAsThePerThresholdCounters) {
    const Audio speech50 = readAudio(speech("greet10_ulaw_m50.wav"));
    std::vector<double> bursts = tone(-40.0, 300.0, 3.0, 8000);
    for (std::size_t i = 0; i < bursts.size(); ++i)
        bursts[i] *= (i / 1200) % 3 == 0 ? 0.0 : std::pow(10.0, -static_cast<double>(i % 4000) / 400.0);
    // Bursts at a rate whose hangover is too long for the blocks: the queue counts them.
    std::vector<double> fastBursts = tone(-40.0, 3000.0, 1.5, 400000);
    for (std::size_t i = 0; i < fastBursts.size(); ++i)
        fastBursts[i] *= (i / 90000) % 3 == 0 ? 0.0 : std::pow(10.0, -static_cast<double>(i % 150000) / 20000.0);
    struct Case {
        const std::vector<double>* x;
        double rate;
        int stepBits;
        std::size_t chunk;
    };
    // The long recording on the 8-step grid (counting every fine threshold by hand takes minutes).
    const Case cases[] = {{&speech50.samples, 8000, SpeechMeter::kCoarseStepBits, 8000},
                          {&bursts, 8000, SpeechMeter::kStepBits, 777},
                          {&fastBursts, 400000, SpeechMeter::kCoarseStepBits, 100000}};
    for (const Case& c : cases) {
        SpeechMeter m(c.rate, c.stepBits);
        for (std::size_t i = 0; i < c.x->size(); i += c.chunk)
            m.feed(c.x->data() + i, std::min(c.chunk, c.x->size() - i));
        const LiteralCounts literal = literalP56(*c.x, c.rate, m);
        for (int j = 0; j < m.thresholds(); ++j)
            ASSERT_EQ(m.activeAt(j), literal.active[static_cast<std::size_t>(j)]) << c.rate << " Hz, threshold " << j;
        // The standard thresholds are on every grid, 2^-15 .. 2^-1.
        for (int j = 0; j < 15; ++j)
            EXPECT_EQ(m.threshold(j * m.steps()), std::ldexp(1.0, j - 15));
    }
}

TEST(SpeechMeter, DcOffsetDoesNotChangeTheMeasuredLevel) {
    levora::test::TempDir dir;
    Audio a = readAudio(speech("greet10_pcm16_m26.wav"));
    for (auto& v : a.samples)
        v += 220.0 / 32768.0;
    writeAudio(dir.path() / "dc.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, a.samples);
    const SpeechLevel clean = measureFile(speech("greet10_pcm16_m26.wav"));
    const SpeechLevel offset = measureFile(dir.path() / "dc.wav");
    EXPECT_NEAR(offset.level, clean.level, 0.03);
    EXPECT_NEAR(offset.activity, clean.activity, 0.005);
    // Without the DC blocker the offset would count pauses as active and pull the level down.
    EXPECT_LT(meterOf(a.samples, 8000).level, clean.level - 0.1);
}

TEST(SpeechMeter, StereoIsMeasuredOnTheMonoMix) {
    levora::test::TempDir dir;
    const Audio a = readAudio(speech("greet10_pcm16_m38.wav"));
    std::vector<double> stereo;
    for (double v : a.samples) {
        stereo.push_back(v);
        stereo.push_back(v);
    }
    writeAudio(dir.path() / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, stereo);
    EXPECT_NEAR(measureFile(dir.path() / "stereo.wav").level, measureFile(speech("greet10_pcm16_m38.wav")).level, 1e-9);
}

struct Reference {
    const char* file;
    double level;
    double activityPercent;
};
void PrintTo(const Reference& r, std::ostream* os) {
    *os << r.file;
}

class SharedSpeech : public ::testing::TestWithParam<Reference> {};

TEST_P(SharedSpeech, MatchesTheReferenceLevel) {
    const Reference ref = GetParam();
    const SpeechLevel r = measureFile(speech(ref.file));
    ASSERT_FALSE(r.silent);
    EXPECT_NEAR(r.level, ref.level, 0.15);
    EXPECT_NEAR(r.activity * 100.0, ref.activityPercent, 1.5);
}

// The reference levels listed with the test speech.
INSTANTIATE_TEST_SUITE_P(References, SharedSpeech,
                         ::testing::Values(Reference{"greet10_pcm16_m26.wav", -26.002, 56.0},
                                           Reference{"greet10_pcm16_m38.wav", -38.006, 56.0},
                                           Reference{"greet10_pcm16_m15.wav", -15.016, 71.5},
                                           Reference{"greet10_ulaw_m26.wav", -25.995, 56.1},
                                           Reference{"greet10_ulaw_m38.wav", -37.977, 56.2},
                                           Reference{"greet10_ulaw_m50.wav", -50.314, 61.4},
                                           Reference{"greet10_alaw_m26.wav", -26.002, 56.0},
                                           Reference{"greet60_pcm16_m32.wav", -32.003, 73.2}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

// The per-block clipping protection, on its own.
TEST(BlockLimiter, LowersOnlyWhatWouldPassTheCeiling) {
    const BlockLimiter limiter(2.0, 0.9, 10);
    EXPECT_DOUBLE_EQ(limiter.blockGain(0.3), 2.0);
    EXPECT_DOUBLE_EQ(limiter.blockGain(0.45), 2.0);
    EXPECT_DOUBLE_EQ(limiter.blockGain(0.6), 1.5);
    EXPECT_DOUBLE_EQ(limiter.blockGain(1.8), 0.5);
}

TEST(BlockLimiter, RampsStayInTheNeighbourAndAreContinuous) {
    const double g = 2.0;
    const BlockLimiter limiter(g, 0.9, 10);
    const std::size_t n = 40;
    // Three blocks: free, limited to 1.0, free.
    std::vector<double> a(n), b(n), c(n);
    limiter.sampleGains(g, g, 1.0, n, a.data());
    limiter.sampleGains(g, 1.0, g, n, b.data());
    limiter.sampleGains(1.0, g, g, n, c.data());
    for (double v : b)
        EXPECT_DOUBLE_EQ(v, 1.0); // the limited block itself never exceeds its safe gain
    EXPECT_DOUBLE_EQ(a.front(), g);
    EXPECT_DOUBLE_EQ(c.back(), g);
    std::vector<double> all(a);
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_LE(std::fabs(all[i] - all[i - 1]), 0.2) << "step at " << i; // (g - 1) * pi / 2 / 10 ≈ 0.16
        EXPECT_LE(all[i], g);
    }
    // The fade starts no earlier than one ramp length before the limited block.
    EXPECT_DOUBLE_EQ(a[n - 10], g);
    EXPECT_LT(a[n - 9], g);
}

TEST(BlockLimiter, AdjacentLimitedBlocksTakeTheLowerGainAtTheirBorder) {
    const BlockLimiter limiter(2.0, 0.9, 8);
    std::vector<double> first(16), second(16);
    limiter.sampleGains(2.0, 1.5, 0.5, 16, first.data());
    limiter.sampleGains(1.5, 0.5, 2.0, 16, second.data());
    EXPECT_LE(first.back(), 0.5 + 0.1);
    EXPECT_DOUBLE_EQ(first.front(), 1.5);
    for (double v : first)
        EXPECT_LE(v, 1.5);
    for (double v : second)
        EXPECT_DOUBLE_EQ(v, 0.5);
}

} // namespace
