// Speech levels as the gain tool sees them: the P.56 active level of a DC-blocked copy,
// measured with the gain tool's own meter, so the demo host's figures match the tool's.
#pragma once

#include <functional>
#include <optional>
#include <vector>

namespace levora::demohost {

struct Measured {
    bool silent = true;
    double level = -100.0; // dBov
    double activity = 0.0; // 0..1
};

Measured measureSpeech(const std::vector<double>& samples, double sampleRate);

// The signal times a gain in dB, through a soft limiter that keeps the peaks below full scale
// (loud speech would otherwise clip).
std::vector<double> applyGain(const std::vector<double>& samples, double gainDb);

// What storing does to a signal (quantising, µ-law), so a level is set on what will be stored.
using Channel = std::function<std::vector<double>(const std::vector<double>&)>;

// The gain that gives the stored signal an active level of target dBov (within 0.005 dB where
// the limiter leaves room); empty when the signal holds no speech.
std::optional<double> gainForLevel(const std::vector<double>& samples, double sampleRate, double target,
                                   const Channel& channel = {});

} // namespace levora::demohost
