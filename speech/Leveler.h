// Levels one WAV file: measure its active speech level, decide the gain, write the result.
#pragma once

#include "speech/SpeechMeter.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace gainfix {

struct Options {
    double target = -26.0;    // dBov; 0 switches gain control off
    double minimum = -45.0;   // dBov; quieter files are left alone
    std::size_t block = 8000; // samples per limiter block
    double maxGain = 5.0;     // dB, largest change either way
};

// Below this the change is not worth re-encoding the file for ("already at target"). It is also the
// band that keeps a levelled file levelled: rounding onto mu-law's steps after a large gain moves
// the reading by up to about 0.07 dB.
constexpr double kNegligibleGainDb = 0.1;
// A file that levelling cannot bring this much nearer the target than it is already is left as it is.
constexpr double kWorthwhileDb = 0.05;
// Passes over a file at most, each on the one before's output, until the next run would copy it.
constexpr int kPasses = 4;

struct Outcome {
    SpeechLevel level;
    bool copied = true;
    std::string reason;  // why a copy was made instead ("gain control off", ...)
    double gainDb = 0.0; // planned gain; 0 for a copy
    std::size_t blocks = 0;
    std::size_t limitedBlocks = 0;
    double lowestGainDb = 0.0; // the smallest gain any sample received
};

// The gain and whether it is applied at all, from a measured level.
Outcome plan(const SpeechLevel& level, const Options& options);

// Per-block clipping protection. A block whose peak, times the planned gain, would pass the
// ceiling gets just the gain that brings its peak to the ceiling; neighbouring blocks fade
// into and out of that lower gain over a raised-cosine ramp that lies in the neighbour, so
// every sample of a limited block stays at or below its block's safe gain.
class BlockLimiter {
public:
    BlockLimiter(double gain, double ceiling, std::size_t rampLength);

    // The safe gain of a block with this peak (the planned gain when it already fits).
    double blockGain(double peak) const;
    bool limited(double blockGain) const { return blockGain < m_gain; }
    // The per-sample gains of a block of n samples, given its own and its neighbours' safe gains
    // (a missing neighbour counts as not limited).
    void sampleGains(double previous, double own, double next, std::size_t n, double* gains) const;

    std::size_t rampLength() const { return m_ramp.size() - 1; }

private:
    double m_gain;
    double m_ceiling;
    std::vector<double> m_ramp; // m_ramp[d]: 0 at the limited block's edge, 1 at d = rampLength
};

// The ramp used for a block size: 20 ms, never longer than a block.
std::size_t rampLengthFor(double sampleRate, std::size_t block);

class SoundReader;

// The active speech level of an open file from its start, as the tool measures it (DC-blocked mono
// mix), streamed in blocks. Throws ToolError(Source).
SpeechLevel measure(SoundReader& in, std::size_t block = 8000);
// The same for a file by its path.
SpeechLevel measureFile(const std::filesystem::path& path, std::size_t block = 8000);

// Reads `source`, writes `destination` (atomically). The written file is measured as the next run will
// measure it, so that that run copies it (see the reading's docs). Throws ToolError.
Outcome levelFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                  const Options& options);

// The one line the tool prints: "<name>: level -38.01 dBov, activity 55.8 %, gain +5.00 dB, ..."
std::string summary(const std::string& sourceName, const Outcome& outcome);

} // namespace gainfix
