#include "speech/SpeechMeter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace gainfix {

namespace {

// How many fine-grid thresholds the envelope reaches. The thresholds sit where the binary
// exponent or the top three mantissa bits change, so the bits of q answer exactly.
inline unsigned thresholdsReached(double q) {
    const auto bits = std::bit_cast<std::uint64_t>(q); // q >= 0
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    const int step = static_cast<int>((bits >> 49) & 7);
    const int reached = (exponent + SpeechMeter::kOctaves) * SpeechMeter::kSteps + step + 1;
    return static_cast<unsigned>(std::clamp(reached, 0, SpeechMeter::kThresholds));
}

} // namespace

SpeechMeter::SpeechMeter(double sampleRate)
    : m_g(std::exp(-1.0 / (sampleRate * kTimeConstant))), m_oneMinusG(1.0 - m_g),
      m_hangoverSamples(std::llround(kHangover * sampleRate)) {
    // The queue's indices fall strictly from front to back, so it never holds more entries than
    // there are indices, however long the hangover: its size does not follow the sample rate.
    const auto capacity = std::bit_ceil(
        std::min(static_cast<std::size_t>(std::max<std::int64_t>(m_hangoverSamples, 0)), std::size_t{kThresholds}) + 2);
    m_queuePos.resize(capacity);
    m_queueBin.resize(capacity);
    m_mask = capacity - 1;
}

double SpeechMeter::threshold(int j) {
    return std::ldexp(1.0 + (j % kSteps) / static_cast<double>(kSteps), j / kSteps - kOctaves);
}

void SpeechMeter::feed(const double* x, std::size_t n) {
    double p = m_p, q = m_q, sq = 0.0;
    const double g = m_g, h = m_oneMinusG;
    std::int64_t* pos = m_queuePos.data();
    std::uint8_t* bin = m_queueBin.data();
    const std::size_t mask = m_mask;
    std::uint64_t front = m_front, back = m_back;
    auto position = static_cast<std::int64_t>(m_n);
    const std::int64_t hangover = m_hangoverSamples;
    // The newest queue entry's index (none yet: an impossible value), and the histogram bin being
    // counted with its run length, so that the common case touches no array but the queue's.
    unsigned newest = back > front ? bin[(back - 1) & mask] : 0x100u;
    unsigned runBin = 0;
    std::uint64_t run = 0;
    for (std::size_t i = 0; i < n; ++i, ++position) {
        const double v = x[i];
        sq += v * v;
        p = g * p + h * std::fabs(v);
        q = g * q + h * p;
        const unsigned reached = thresholdsReached(q);
        if (reached == newest) {
            pos[(back - 1) & mask] = position; // same index again: only the newest position matters
        } else {
            while (back > front && bin[(back - 1) & mask] <= reached)
                --back;
            pos[back & mask] = position;
            bin[back & mask] = static_cast<std::uint8_t>(reached);
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
    for (int k = j + 1; k <= kThresholds; ++k)
        a += m_histogram[k];
    return a;
}

SpeechLevel SpeechMeter::result() const {
    return solve(1);
}
SpeechLevel SpeechMeter::standardResult() const {
    return solve(kSteps);
}

SpeechLevel SpeechMeter::solve(int stride) const {
    SpeechLevel r;
    r.samples = m_n;
    if (m_n == 0 || m_sq <= 0.0)
        return r;
    r.longTermLevel = 10.0 * std::log10(m_sq / static_cast<double>(m_n));

    // Active samples per threshold, highest first, summed from the histogram.
    std::array<std::uint64_t, kThresholds> active{};
    std::uint64_t sum = 0;
    for (int j = kThresholds - 1; j >= 0; --j) {
        sum += m_histogram[j + 1];
        active[j] = sum;
    }
    auto activeLevel = [&](int j) { return 10.0 * std::log10(m_sq / static_cast<double>(active[j])); };
    auto thresholdLevel = [](int j) { return 20.0 * std::log10(threshold(j)); };
    auto finish = [&](double level) {
        r.level = level;
        r.silent = false;
        r.activity = std::min(1.0, std::pow(10.0, (r.longTermLevel - level) / 10.0));
        return r;
    };

    // Silence: nothing reaches the lowest threshold, or even there the margin is not met.
    if (active[0] == 0)
        return r;
    double prevA = activeLevel(0);
    double prevD = prevA - thresholdLevel(0);
    if (prevD < kMarginDb)
        return r;
    int last = 0;
    for (int j = stride; j < kThresholds; j += stride) {
        if (active[j] == 0)
            return r;
        const double a = activeLevel(j);
        const double d = a - thresholdLevel(j);
        if (d <= kMarginDb) {
            // Linear in dB between the two thresholds that bracket A - C = margin.
            const double t = (prevD - kMarginDb) / (prevD - d);
            return finish(prevA + t * (a - prevA));
        }
        prevA = a;
        prevD = d;
        last = j;
    }
    // Even the highest threshold leaves more than the margin: only a signal near or above full
    // scale (float files) gets here. Its active samples' power is the best answer there is.
    return finish(activeLevel(last));
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
