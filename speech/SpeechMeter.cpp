#include "speech/SpeechMeter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace gainfix {

namespace {

// How many thresholds the envelope reaches. The thresholds sit where the binary exponent or the
// top stepBits mantissa bits change, so the bits of q answer exactly.
template <int StepBits> inline unsigned thresholdsReached(double q) {
    const auto bits = std::bit_cast<std::uint64_t>(q); // q >= 0
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    const int step = static_cast<int>((bits >> (52 - StepBits)) & ((1u << StepBits) - 1));
    const int reached = ((exponent + SpeechMeter::kOctaves) << StepBits) + step + 1;
    return static_cast<unsigned>(std::clamp(reached, 0, SpeechMeter::kOctaves << StepBits));
}

} // namespace

SpeechMeter::SpeechMeter(double sampleRate, int stepBits)
    : m_stepBits(stepBits == kShortStepBits ? kShortStepBits : kStepBits),
      m_g(std::exp(-1.0 / (sampleRate * kTimeConstant))), m_oneMinusG(1.0 - m_g),
      m_hangoverSamples(std::llround(kHangover * sampleRate)), m_histogram(static_cast<std::size_t>(thresholds()) + 1) {
    // The queue's indices fall strictly from front to back, so it never holds more entries than
    // there are indices, however long the hangover: its size does not follow the sample rate.
    const auto capacity = std::bit_ceil(std::min(static_cast<std::size_t>(std::max<std::int64_t>(m_hangoverSamples, 0)),
                                                 static_cast<std::size_t>(thresholds())) +
                                        2);
    m_queuePos.resize(capacity);
    m_queueBin.resize(capacity);
    m_mask = capacity - 1;
}

int SpeechMeter::stepBitsFor(std::uint64_t samples, double sampleRate) {
    return static_cast<double>(samples) < kShortSeconds * sampleRate ? kShortStepBits : kStepBits;
}

double SpeechMeter::threshold(int j) const {
    return std::ldexp(1.0 + (j % steps()) / static_cast<double>(steps()), j / steps() - kOctaves);
}

const std::vector<double>& SpeechMeter::thresholdLevels() const {
    auto make = [this] {
        std::vector<double> levels(static_cast<std::size_t>(thresholds()));
        for (int j = 0; j < thresholds(); ++j)
            levels[static_cast<std::size_t>(j)] = 20.0 * std::log10(threshold(j));
        return levels;
    };
    // One table per grid, made once (a function-local static is made safely across threads).
    if (m_stepBits == kShortStepBits) {
        static const std::vector<double> fine = make();
        return fine;
    }
    static const std::vector<double> standard = make();
    return standard;
}

void SpeechMeter::feed(const double* x, std::size_t n) {
    // The grid is a constant inside the loop, so its index is a shift and a mask.
    if (m_stepBits == kShortStepBits)
        feedOn<kShortStepBits>(x, n);
    else if (m_stepBits == kStepBits)
        feedOn<kStepBits>(x, n);
    else
        throw std::logic_error("no meter loop for this grid");
}

template <int StepBits> void SpeechMeter::feedOn(const double* x, std::size_t n) {
    double p = m_p, q = m_q, sq = 0.0;
    const double g = m_g, h = m_oneMinusG;
    std::int64_t* pos = m_queuePos.data();
    std::uint16_t* bin = m_queueBin.data();
    const std::size_t mask = m_mask;
    std::uint64_t front = m_front, back = m_back;
    auto position = static_cast<std::int64_t>(m_n);
    const std::int64_t hangover = m_hangoverSamples;
    // The newest queue entry's index (none yet: an impossible value), and the histogram bin being
    // counted with its run length, so that the common case touches no array but the queue's.
    unsigned newest = back > front ? bin[(back - 1) & mask] : 0x10000u;
    unsigned runBin = 0;
    std::uint64_t run = 0;
    for (std::size_t i = 0; i < n; ++i, ++position) {
        const double v = x[i];
        sq += v * v;
        p = g * p + h * std::fabs(v);
        q = g * q + h * p;
        const unsigned reached = thresholdsReached<StepBits>(q);
        if (reached == newest) {
            pos[(back - 1) & mask] = position; // same index again: only the newest position matters
        } else {
            while (back > front && bin[(back - 1) & mask] <= reached)
                --back;
            pos[back & mask] = position;
            bin[back & mask] = static_cast<std::uint16_t>(reached);
            ++back;
            newest = reached;
        }
        // The window holds this sample and the hangover before it; one entry leaves per sample at most.
        if (pos[front & mask] < position - hangover)
            ++front;
        const unsigned windowMax = bin[front & mask];
        if (windowMax == runBin) {
            ++run;
        } else {
            m_histogram[runBin] += run;
            runBin = windowMax;
            run = 1;
        }
    }
    m_histogram[runBin] += run;
    m_p = p;
    m_q = q;
    m_sq += sq;
    m_n += n;
    m_front = front;
    m_back = back;
}

std::uint64_t SpeechMeter::activeAt(int j) const {
    std::uint64_t a = 0;
    for (int k = j + 1; k <= thresholds(); ++k)
        a += m_histogram[static_cast<std::size_t>(k)];
    return a;
}

SpeechLevel SpeechMeter::result() const {
    return solve(1, true);
}
SpeechLevel SpeechMeter::standardResult() const {
    return solve(steps(), false);
}

SpeechLevel SpeechMeter::solve(int stride, bool skipDips) const {
    SpeechLevel r;
    r.samples = m_n;
    if (m_n == 0 || m_sq <= 0.0)
        return r;
    r.longTermLevel = 10.0 * std::log10(m_sq / static_cast<double>(m_n));
    auto finish = [&](double level) {
        r.level = level;
        r.silent = false;
        r.activity = std::min(1.0, std::pow(10.0, (r.longTermLevel - level) / 10.0));
        return r;
    };

    // A and A - C at every threshold of the grid (every stride-th) that something reaches.
    const int count = thresholds();
    std::vector<std::uint64_t> active(static_cast<std::size_t>(count));
    std::uint64_t sum = 0;
    for (int j = count - 1; j >= 0; --j) {
        sum += m_histogram[static_cast<std::size_t>(j) + 1];
        active[static_cast<std::size_t>(j)] = sum;
    }
    // The logarithms are most of a short recording's cost on the fine grid: the thresholds' are
    // the same for every recording, and A changes only where the count of active samples does.
    const std::vector<double>& thresholdDb = thresholdLevels();
    std::vector<double> a, c, d;
    a.reserve(static_cast<std::size_t>(count / stride + 1));
    c.reserve(a.capacity());
    d.reserve(a.capacity());
    std::uint64_t lastActive = 0;
    double lastA = 0.0;
    for (int j = 0; j < count && active[static_cast<std::size_t>(j)] > 0; j += stride) {
        const std::uint64_t n = active[static_cast<std::size_t>(j)];
        if (n != lastActive) {
            lastActive = n;
            lastA = 10.0 * std::log10(m_sq / static_cast<double>(n));
        }
        a.push_back(lastA);
        c.push_back(thresholdDb[static_cast<std::size_t>(j)]);
        d.push_back(a.back() - c.back());
    }
    // Silence: nothing reaches the lowest threshold, or even there the margin is not met.
    if (d.empty() || d[0] < kMarginDb)
        return r;
    if (skipDips && m_stepBits == kShortStepBits) {
        // On the fine grid the tool reads a smoothed curve: A - C averaged over kSmoothingDb either
        // side (weighted by the grid's spacing), so a cluster of quantised envelope values that makes
        // the curve saw about the margin yields one crossing in its middle, as the standard grid's
        // interpolation over 6 dB does, wherever the grid lies. The 8-step grid is smooth enough.
        std::vector<double> weight(d.size()), prefixW(d.size() + 1, 0.0), prefixWD(d.size() + 1, 0.0);
        for (std::size_t k = 0; k < d.size(); ++k) {
            const double below = k > 0 ? c[k] - c[k - 1] : (d.size() > 1 ? c[1] - c[0] : 1.0);
            const double above = k + 1 < d.size() ? c[k + 1] - c[k] : below;
            weight[k] = 0.5 * (below + above);
            prefixW[k + 1] = prefixW[k] + weight[k];
            prefixWD[k + 1] = prefixWD[k] + weight[k] * d[k];
        }
        std::vector<double> smooth(d.size());
        std::size_t lo = 0, hi = 0;
        for (std::size_t k = 0; k < d.size(); ++k) {
            while (c[lo] < c[k] - kSmoothingDb)
                ++lo;
            while (hi < d.size() && c[hi] <= c[k] + kSmoothingDb)
                ++hi;
            smooth[k] = (prefixWD[hi] - prefixWD[lo]) / (prefixW[hi] - prefixW[lo]);
        }
        // On the smoothed curve the reading is the threshold where it meets the margin, plus the margin.
        for (std::size_t k = 0; k < d.size(); ++k)
            a[k] = c[k] + smooth[k];
        d.swap(smooth);
    }
    // The highest A - C from each threshold up.
    std::vector<double> highestFrom(d.size() + 1, -HUGE_VAL);
    for (std::size_t k = d.size(); k-- > 0;)
        highestFrom[k] = std::max(d[k], highestFrom[k + 1]);

    // A - C falls as the threshold rises but jumps up wherever many samples stop counting as active
    // at once (a cluster of quantised envelope values, quiet words before loud ones). A crossing
    // that the curve leaves again by more than kDipDb is such a dip, not the speech level. The
    // standard reading keeps the first crossing, as the recommendation has it.
    double lastCrossing = 0.0;
    bool crossed = false;
    for (std::size_t k = 1; k < d.size(); ++k) {
        if (d[k] > kMarginDb || d[k - 1] < kMarginDb || (k > 1 && d[k - 1] == kMarginDb))
            continue;
        // Linear in dB between the two thresholds that bracket A - C = margin.
        const double t = d[k - 1] > d[k] ? (d[k - 1] - kMarginDb) / (d[k - 1] - d[k]) : 0.0;
        const double level = a[k - 1] + t * (a[k] - a[k - 1]);
        if (!skipDips || highestFrom[k] <= kMarginDb + kDipDb)
            return finish(level);
        lastCrossing = level;
        crossed = true;
    }
    // Every crossing is left again (the curve ends above the margin): the last one is the best there is.
    if (crossed)
        return finish(lastCrossing);
    // Even the highest threshold leaves more than the margin: only a signal near or above full
    // scale (float files) gets here. Its active samples' power is the best answer there is.
    if (static_cast<int>(d.size() - 1) * stride + stride >= count)
        return finish(a.back());
    return r;
}

bool ToolMeter::wantsFilteredPass() const {
    const SpeechLevel plain = m_plain.result();
    if (plain.samples == 0 || plain.longTermLevel <= -100.0)
        return false;
    const double plainSq = std::pow(10.0, plain.longTermLevel / 10.0) * static_cast<double>(plain.samples);
    return 1.0 - m_filteredSq / plainSq >= kRemovedPowerShare;
}

SpeechLevel ToolMeter::result() const {
    if (!m_secondPass)
        return m_plain.result();
    SpeechLevel filtered = m_filtered.result();
    filtered.dcRemoved = true;
    return filtered;
}

DcBlocker::DcBlocker(double sampleRate) {
    // Bilinear transform of the analogue prototype, Q = 1/sqrt(2).
    const double k = std::tan(M_PI * std::min(kCornerHz, 0.25 * sampleRate) / sampleRate);
    const double q = M_SQRT1_2;
    const double norm = 1.0 / (1.0 + k / q + k * k);
    m_b0 = norm;
    m_b1 = -2.0 * norm;
    m_a1 = 2.0 * (k * k - 1.0) * norm;
    m_a2 = (1.0 - k / q + k * k) * norm;
}

} // namespace gainfix
