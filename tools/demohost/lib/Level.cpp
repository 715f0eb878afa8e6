#include "Level.h"

#include "speech/SpeechMeter.h"

#include <algorithm>
#include <cmath>

namespace levora::demohost {
namespace {

// Peaks stay below this; both µ-law (±32124) and 16-bit PCM can hold it.
constexpr double kCeiling = 0.97;
// The limiter leaves everything below this untouched.
constexpr double kKnee = 0.6;

double softLimit(double v) {
    const double a = std::abs(v);
    if (a <= kKnee)
        return v;
    const double span = kCeiling - kKnee;
    return std::copysign(kKnee + span * std::tanh((a - kKnee) / span), v);
}

} // namespace

Measured measureSpeech(const std::vector<double>& samples, double sampleRate) {
    gainfix::SpeechMeter meter(sampleRate);
    gainfix::DcBlocker dc(sampleRate);
    std::vector<double> block(4096);
    for (size_t start = 0; start < samples.size(); start += block.size()) {
        const size_t n = std::min(block.size(), samples.size() - start);
        for (size_t i = 0; i < n; ++i)
            block[i] = dc.process(samples[start + i]);
        meter.feed(block.data(), n);
    }
    const gainfix::SpeechLevel r = meter.result();
    return Measured{r.silent, r.level, r.activity};
}

std::vector<double> applyGain(const std::vector<double>& samples, double gainDb) {
    const double g = std::pow(10.0, gainDb / 20.0);
    std::vector<double> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), [g](double v) { return softLimit(g * v); });
    return out;
}

std::optional<double> gainForLevel(const std::vector<double>& samples, double sampleRate, double target,
                                   const Channel& channel) {
    const auto stored = [&](double gain) {
        std::vector<double> y = applyGain(samples, gain);
        return measureSpeech(channel ? channel(y) : y, sampleRate);
    };
    const Measured start = measureSpeech(samples, sampleRate);
    if (start.silent)
        return std::nullopt;
    // The level follows the gain dB for dB except where the limiter or the quantiser bites; a few
    // rounds of correction settle it.
    double gain = target - start.level;
    for (int round = 0; round < 8; ++round) {
        const Measured m = stored(gain);
        if (m.silent)
            return std::nullopt;
        if (std::abs(m.level - target) < 0.005)
            break;
        gain += target - m.level;
    }
    return gain;
}

} // namespace levora::demohost
