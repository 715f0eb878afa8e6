// Active speech level after ITU-T P.56 method B, in dBov (0 dBov = a full-scale square wave).
//
// The meter streams: feed() may be called with buffers of any size and the result does not
// depend on how the signal was cut. Samples are fractions of full scale (16-bit: s / 32768).
//
// A sample counts as active at threshold c when the envelope reached c at some point in the
// last 200 ms (the hangover). That is the same as: the largest envelope value over the last
// 200 ms reaches c. So the meter keeps a sliding maximum of the envelope and a histogram of it,
// and the activity at every threshold falls out of the histogram: constant work per sample, for
// any number of thresholds.
//
// The tool reads on a grid of 512 thresholds per octave: a coarser one interpolates across the
// few large steps in which the activity of short or uneven recordings falls. An 8-step grid is
// there for checks that count every threshold by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace gainfix {

struct SpeechLevel {
    bool dcRemoved = false;        // measured on the high-passed signal (see ToolMeter)
    bool silent = true;            // no active speech found: level and activity are meaningless
    double level = -100.0;         // active speech level, dBov
    double activity = 0.0;         // fraction of the samples counted as active, 0..1
    double longTermLevel = -100.0; // plain RMS level over the whole signal, dBov
    std::uint64_t samples = 0;
};

// Removes DC and subsonic rumble before metering: a second-order Butterworth high-pass at 20 Hz.
// Flat (unity gain) across the speech band, unlike a one-pole DC blocker, whose gain rises
// towards Nyquist and would read every level a little high.
class DcBlocker {
public:
    static constexpr double kCornerHz = 20.0;
    explicit DcBlocker(double sampleRate);
    double process(double x) {
        const double y = m_b0 * x + m_z1;
        m_z1 = m_b1 * x - m_a1 * y + m_z2;
        m_z2 = m_b0 * x - m_a2 * y;
        return y;
    }
    void process(double* x, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            x[i] = process(x[i]);
    }

private:
    double m_b0, m_b1, m_a1, m_a2;
    double m_z1 = 0.0;
    double m_z2 = 0.0;
};

class SpeechMeter {
public:
    // 2^stepBits thresholds per octave: kStepBits or kCoarseStepBits.
    explicit SpeechMeter(double sampleRate, int stepBits = kStepBits);

    void feed(const double* x, std::size_t n);
    // The same, and adds the power of the samples high-passed by `highPass` to highPassSq, in the
    // same loop: the filter's chain of dependent operations then runs beside the envelope's.
    void feed(const double* x, std::size_t n, DcBlocker& highPass, double& highPassSq);

    // The tool's reading (docs/gainfix.md): on the meter's grid (on the fine one averaged over
    // kSmoothingDb either side), the first crossing of A - C = margin after which the curve never
    // rises more than kDipDb above the margin again, interpolated between the thresholds around it.
    SpeechLevel result() const;
    // The level from the 15 standard thresholds 2^-15 .. 2^-1 alone: their first crossing,
    // interpolated between them.
    SpeechLevel standardResult() const;

    static constexpr int kOctaves = 15;           // lowest threshold 2^-15 (1 LSB of 16-bit)
    static constexpr int kStepBits = 9;           // 512 thresholds per octave: the tool's grid
    static constexpr int kCoarseStepBits = 3;     // 8 per octave
    static constexpr double kMarginDb = 15.9;     // active level above the threshold
    static constexpr double kSmoothingDb = 1.0;   // the reading's curve is averaged this far either side
    static constexpr double kDipDb = 1.0;         // a rise past the margin this high makes a crossing a dip
    static constexpr double kTimeConstant = 0.03; // envelope smoothing, s
    static constexpr double kHangover = 0.2;      // activity after the envelope drops, s

    int steps() const { return 1 << m_stepBits; }
    int thresholds() const { return kOctaves * steps(); }
    // Threshold j of the grid, as a fraction of full scale: 2^(j/steps - 15) * (1 + (j%steps)/steps).
    double threshold(int j) const;
    // 20 log10 of every threshold of this meter's grid.
    const std::vector<double>& thresholdLevels() const;
    // The sum of the squared samples so far, and their count.
    double energy() const { return m_sq; }
    std::uint64_t samples() const { return m_n; }
    // Active samples at threshold j (the envelope reached it within the hangover).
    std::uint64_t activeAt(int j) const;
    // Entries the sliding maximum keeps, whatever the sample rate.
    std::size_t windowMemory() const { return m_block.size() + m_suffix.size() + m_queuePos.size(); }

    // Longer hangovers (sample rates above about 327 kHz) take the queue, whose size does not grow
    // with the window.
    static constexpr std::size_t kLongestBlockWindow = std::size_t{1} << 16;

private:
    template <int StepBits, bool HighPass>
    void feedBlocks(const double* x, std::size_t n, DcBlocker* highPass, double* highPassSq);
    template <int StepBits> void feedQueue(const double* x, std::size_t n);
    // The envelope's state after a feed of n samples whose squares sum to sq.
    void keepEnvelope(double p, double q, double sq, std::size_t n) {
        m_p = p;
        m_q = q;
        m_sq += sq;
        m_n += n;
    }
    // fromTop: walk the whole curve, not from where it might first reach the margin.
    SpeechLevel solve(int stride, bool skipDips, bool fromTop = false) const;

    int m_stepBits;
    double m_g;
    double m_oneMinusG;
    std::int64_t m_hangoverSamples;
    double m_p = 0.0;
    double m_q = 0.0;
    double m_sq = 0.0;
    std::uint64_t m_n = 0;
    // Sliding maximum of the envelope's threshold index over the window (this sample and the
    // hangover before it), in blocks of the window's length: the window of a sample is the tail of
    // the previous block and the head of its own, so its maximum is the previous block's maximum
    // from the same offset on (m_suffix) and the running maximum of the current one. Branch-free,
    // so a fine grid costs no more than a coarse one.
    std::vector<std::uint16_t> m_block;  // indices of the current block so far
    std::vector<std::uint16_t> m_suffix; // m_suffix[i]: the largest index of the previous block from i on
    std::size_t m_offset = 0;
    unsigned m_prefix = 0;
    // For windows too long to keep in blocks: a monotonic queue in a ring (positions rise front to
    // back, indices fall).
    std::vector<std::int64_t> m_queuePos;
    std::vector<std::uint16_t> m_queueBin;
    std::size_t m_mask = 0;
    std::uint64_t m_front = 0;
    std::uint64_t m_back = 0;
    // m_histogram[k]: samples whose windowed envelope reached exactly k thresholds.
    std::vector<std::uint64_t> m_histogram;
};

// What the tool measures: the level of the signal with DC and subsonic rumble removed.
// The first pass meters the signal as it is and only sums the power of its high-passed copy. When
// the high-pass takes away less than 1 % of the power there was nothing worth removing, and that
// unfiltered reading is used: the filter's own tiny changes to the waveform can move the reading
// of quiet, coarsely quantised recordings by tenths of a dB (the mu-law -50 dBov test file reads
// -50.31 unfiltered, as its reference does, and -50.58 filtered). Otherwise the caller feeds the
// signal a second time and the high-passed copy is metered: most recordings need one pass only.
class ToolMeter {
public:
    explicit ToolMeter(double sampleRate, int stepBits = SpeechMeter::kStepBits)
        : m_plain(sampleRate, stepBits), m_dc(sampleRate), m_rate(sampleRate), m_stepBits(stepBits) {}
    // First pass: mono samples, left unchanged.
    void feed(const double* x, std::size_t n) { m_plain.feed(x, n, m_dc, m_filteredSq); }
    // True when the high-pass removes enough to matter: then feed the signal again with feedFiltered().
    bool wantsFilteredPass() const;
    // Second pass: the same samples again, from the start; the buffer is used as scratch space.
    void feedFiltered(double* x, std::size_t n) {
        if (!m_filtered) {
            m_dc = DcBlocker(m_rate);
            m_filtered.emplace(m_rate, m_stepBits);
        }
        m_dc.process(x, n);
        m_filtered->feed(x, n);
    }
    SpeechLevel result() const;

    static constexpr double kRemovedPowerShare = 0.01;

private:
    SpeechMeter m_plain;
    std::optional<SpeechMeter> m_filtered; // made for the second pass only
    DcBlocker m_dc;
    double m_rate;
    int m_stepBits;
    double m_filteredSq = 0.0;
};

} // namespace gainfix
