// Speech-like test signals: syllables at about four per second, words separated by short
// and long pauses, voiced nuclei made of glottal pulses through three formant resonators,
// noise-like fricatives and plosive bursts. Deterministic for a given seed.
#pragma once

#include <cstdint>
#include <vector>

namespace levora::demohost {

enum class Talker { Low, High };

struct SpeechParams {
    double seconds = 6.0;
    int sampleRate = 8000;
    uint64_t seed = 1;
    Talker talker = Talker::Low;
    // Silence kept at both ends (seconds), as a recording has before and after the speech.
    double leadIn = 0.3;
    double tailOut = 0.3;
};

// Samples as fractions of full scale, peak about 0.5; the caller scales to a level.
std::vector<double> synthesizeSpeech(const SpeechParams& params);

} // namespace levora::demohost
