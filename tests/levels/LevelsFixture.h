// Recordings made by the level tests themselves: speech-like bursts (noise syllables with pauses)
// brought to a given active level by the meter under test's own rule of thumb, written with
// libsndfile in any WAV encoding.
#pragma once

#include "leveling/FileOutcome.h"
#include "levels/FileLevel.h"
#include "levels/LevelReport.h"
#include "support/TestSupport.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <vector>

namespace levora::test {

// Mono speech-like signal: syllables of 120-320 ms of band-passed noise under a raised-cosine
// envelope, 60-400 ms pauses between them, peak amplitude about `peak` of full scale.
inline std::vector<double> speechLike(double seconds, int rate, double peak, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const auto n = static_cast<std::size_t>(seconds * rate);
    std::vector<double> x(n, 0.0);
    std::size_t at = static_cast<std::size_t>(0.2 * rate);
    double lp = 0.0, last = 0.0;
    while (at < n) {
        const auto len = static_cast<std::size_t>((0.12 + 0.2 * u(rng)) * rate);
        const double amp = peak * (0.4 + 0.6 * u(rng));
        for (std::size_t i = 0; i < len && at + i < n; ++i) {
            // Differenced, then smoothed: a band of noise with nothing near 0 Hz, as speech has.
            const double w = 2.0 * u(rng) - 1.0;
            lp = 0.7 * lp + 0.3 * (w - last);
            last = w;
            const double env = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(len));
            x[at + i] = std::clamp(amp * env * lp * 2.5, -0.99, 0.99);
        }
        at += len + static_cast<std::size_t>((0.06 + 0.34 * u(rng)) * rate);
    }
    return x;
}

// A measured level, for report rows.
inline FileLevel levelOf(double db, double activity = 0.8, double seconds = 4.0) {
    FileLevel f;
    f.audio = true;
    f.silent = false;
    f.level = db;
    f.activity = activity;
    f.seconds = seconds;
    f.format = "WAV PCM 16-bit 8000 Hz mono";
    return f;
}

inline FileLevel silence() {
    FileLevel f = levelOf(-100.0, 0.0);
    f.silent = true;
    return f;
}

// What a run did to a file it levelled with these options.
inline FileOutcome levelledWith(const std::string& path, double target = -26, double minimum = -45,
                                double maxChange = 5) {
    FileOutcome o;
    o.path = path;
    o.target = target;
    o.minimum = minimum;
    o.maxChange = maxChange;
    o.optionsKnown = true;
    o.toolEnd = ToolEnd::Exited;
    o.verdict = OutputVerdict::Accepted;
    o.replaced = true;
    return o;
}

inline FileLevel notAudio() {
    FileLevel f;
    f.problem = "not a WAV file";
    return f;
}

} // namespace levora::test
