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

// suffix[k] = the largest of block[k..n); suffix[n] stays as it is (0). The scan is a chain of
// dependent compares, so the two halves run as two chains side by side and the lower one is
// raised to the upper one's maximum afterwards.
void suffixMaxima(const std::uint16_t* block, std::uint16_t* suffix, std::size_t n) {
    const std::size_t half = n / 2;
    std::uint16_t upper = 0, lower = 0;
    for (std::size_t k = half; k-- > 0;) {
        upper = std::max(upper, block[half + k + (n & 1)]);
        suffix[half + k + (n & 1)] = upper;
        lower = std::max(lower, block[k]);
        suffix[k] = lower;
    }
    if (n & 1)
        suffix[half] = upper = std::max(upper, block[half]);
    for (std::size_t k = 0; k < half; ++k)
        suffix[k] = std::max(suffix[k], upper);
}

} // namespace

SpeechMeter::SpeechMeter(double sampleRate, int stepBits)
    : m_stepBits(stepBits == kCoarseStepBits ? kCoarseStepBits : kStepBits),
      m_g(std::exp(-1.0 / (sampleRate * kTimeConstant))), m_oneMinusG(1.0 - m_g),
      m_hangoverSamples(std::llround(kHangover * sampleRate)), m_histogram(static_cast<std::size_t>(thresholds()) + 1) {
    const auto window = static_cast<std::size_t>(std::max<std::int64_t>(m_hangoverSamples, 0)) + 1;
    if (window <= kLongestBlockWindow) {
        m_block.resize(window);
        m_suffix.resize(window + 1); // m_suffix[window]: an empty tail
        return;
    }
    // The queue's indices fall strictly from front to back, so it never holds more entries than
    // there are indices, however long the hangover.
    const auto capacity = std::bit_ceil(static_cast<std::size_t>(thresholds()) + 2);
    m_queuePos.resize(capacity);
    m_queueBin.resize(capacity);
    m_mask = capacity - 1;
}

double SpeechMeter::threshold(int j) const {
    return std::ldexp(1.0 + (j % steps()) / static_cast<double>(steps()), j / steps() - kOctaves);
}

const std::vector<double>& SpeechMeter::thresholdLevels() const {
    auto make = [this] {
        // Every octave has the same steps: one logarithm per step, not per threshold (a tool run
        // makes this table once and would otherwise spend 0.1 ms on it).
        std::vector<double> stepDb(static_cast<std::size_t>(steps()));
        for (int s = 0; s < steps(); ++s)
            stepDb[static_cast<std::size_t>(s)] = 20.0 * std::log10(threshold(s) / threshold(0));
        const double octaveDb = 20.0 * std::log10(2.0);
        std::vector<double> levels(static_cast<std::size_t>(thresholds()));
        for (int j = 0; j < thresholds(); ++j)
            levels[static_cast<std::size_t>(j)] =
                (j / steps() - kOctaves) * octaveDb + stepDb[static_cast<std::size_t>(j % steps())];
        return levels;
    };
    // One table per grid, made once (a function-local static is made safely across threads).
    if (m_stepBits == kStepBits) {
        static const std::vector<double> fine = make();
        return fine;
    }
    static const std::vector<double> coarse = make();
    return coarse;
}

void SpeechMeter::feed(const double* x, std::size_t n) {
    // The grid is a constant inside the loop, so its index is a shift and a mask.
    const bool blocks = !m_block.empty();
    if (m_stepBits == kStepBits)
        blocks ? feedBlocks<kStepBits, false>(x, n, nullptr, nullptr) : feedQueue<kStepBits>(x, n);
    else if (m_stepBits == kCoarseStepBits)
        blocks ? feedBlocks<kCoarseStepBits, false>(x, n, nullptr, nullptr) : feedQueue<kCoarseStepBits>(x, n);
    else
        throw std::logic_error("no meter loop for this grid");
}

void SpeechMeter::feed(const double* x, std::size_t n, DcBlocker& highPass, double& highPassSq) {
    if (!m_block.empty() && m_stepBits == kStepBits)
        return feedBlocks<kStepBits, true>(x, n, &highPass, &highPassSq);
    if (!m_block.empty() && m_stepBits == kCoarseStepBits)
        return feedBlocks<kCoarseStepBits, true>(x, n, &highPass, &highPassSq);
    feed(x, n);
    double sq = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double y = highPass.process(x[i]);
        sq += y * y;
    }
    highPassSq += sq;
}

template <int StepBits, bool HighPass>
void SpeechMeter::feedBlocks(const double* x, std::size_t n, DcBlocker* highPass, double* highPassSq) {
    double p = m_p, q = m_q, sq = 0.0, hsq = 0.0;
    DcBlocker dc = HighPass ? *highPass : DcBlocker(1.0);
    const double g = m_g, h = m_oneMinusG;
    const std::size_t window = m_block.size();
    std::uint16_t* block = m_block.data();
    std::uint16_t* suffix = m_suffix.data();
    std::uint64_t* histogram = m_histogram.data();
    std::size_t offset = m_offset;
    unsigned prefix = m_prefix;
    for (std::size_t i = 0; i < n;) {
        const std::size_t run = std::min(n - i, window - offset);
        for (std::size_t k = offset; k < offset + run; ++k, ++i) {
            const double v = x[i];
            sq += v * v;
            if constexpr (HighPass) {
                const double y = dc.process(v);
                hsq += y * y;
            }
            p = g * p + h * std::fabs(v);
            q = g * q + h * p;
            const unsigned reached = thresholdsReached<StepBits>(q);
            block[k] = static_cast<std::uint16_t>(reached);
            prefix = std::max(prefix, reached);
            ++histogram[std::max<unsigned>(prefix, suffix[k + 1])];
        }
        offset += run;
        if (offset == window) {
            suffixMaxima(block, suffix, window);
            offset = 0;
            prefix = 0;
        }
    }
    keepEnvelope(p, q, sq, n);
    m_offset = offset;
    m_prefix = prefix;
    if constexpr (HighPass) {
        *highPass = dc;
        *highPassSq += hsq;
    }
}

template <int StepBits> void SpeechMeter::feedQueue(const double* x, std::size_t n) {
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
    keepEnvelope(p, q, sq, n);
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

SpeechLevel SpeechMeter::solve(int stride, bool skipDips, bool fromTop) const {
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

    // The curve's points are the thresholds j = i * stride that something reaches: j below the
    // highest index any sample reached.
    const int count = thresholds();
    int highest = count;
    while (highest > 0 && m_histogram[static_cast<std::size_t>(highest)] == 0)
        --highest;
    const int points = (highest + stride - 1) / stride;
    const std::vector<double>& thresholdDb = thresholdLevels();
    auto c = [&](int i) { return thresholdDb[static_cast<std::size_t>(i * stride)]; };
    auto activeDb = [&](std::uint64_t n) { return 10.0 * std::log10(m_sq / static_cast<double>(n)); };
    // Silence: nothing reaches the lowest threshold, or even there the margin is not met.
    if (points == 0 || activeDb(m_n - m_histogram[0]) - c(0) < kMarginDb)
        return r;

    // A - C at every point, from the top down (the active count grows as the threshold falls).
    // The logarithms are most of the cost on the fine grid: A changes only where the count does.
    std::vector<double> raw(static_cast<std::size_t>(points));
    int rawFrom = points; // raw[rawFrom..] are known
    std::uint64_t active = 0;
    int counted = count + 1; // histogram[counted..] are in `active`
    std::uint64_t lastActive = 0;
    double lastA = 0.0;
    auto rawDownTo = [&](int i) {
        for (; rawFrom > i; --rawFrom) {
            const int j = (rawFrom - 1) * stride;
            for (; counted > j + 1; --counted)
                active += m_histogram[static_cast<std::size_t>(counted) - 1];
            if (active != lastActive) {
                lastActive = active;
                lastA = activeDb(active);
            }
            raw[static_cast<std::size_t>(rawFrom) - 1] = lastA - c(rawFrom - 1);
        }
    };

    // On the fine grid the tool reads a smoothed curve: A - C averaged over kSmoothingDb either side
    // (weighted by the grid's spacing), so a cluster of quantised envelope values that makes the
    // curve saw about the margin yields one crossing in its middle, as the standard grid's
    // interpolation over 6 dB does, wherever the grid lies. The 8-step grid is smooth enough.
    const bool smooth = skipDips && m_stepBits == kStepBits;
    auto weight = [&](int i) {
        const double below = i > 0 ? c(i) - c(i - 1) : (points > 1 ? c(1) - c(0) : 1.0);
        const double above = i + 1 < points ? c(i + 1) - c(i) : below;
        return 0.5 * (below + above);
    };
    int lo = points, hi = points; // the window of point k: c(lo..hi-1) within kSmoothingDb of c(k)
    double windowW = 0.0, windowWD = 0.0;
    auto curveAt = [&](int k) {
        if (!smooth) {
            rawDownTo(k);
            return raw[static_cast<std::size_t>(k)];
        }
        for (; hi > 0 && c(hi - 1) > c(k) + kSmoothingDb; --hi) {
            windowW -= weight(hi - 1);
            windowWD -= weight(hi - 1) * raw[static_cast<std::size_t>(hi) - 1];
        }
        for (; lo > 0 && c(lo - 1) >= c(k) - kSmoothingDb; --lo) {
            rawDownTo(lo - 1);
            windowW += weight(lo - 1);
            windowWD += weight(lo - 1) * raw[static_cast<std::size_t>(lo) - 1];
        }
        return windowWD / windowW;
    };

    // Above the speech level the curve lies well below the margin: no crossing there, and nothing
    // that could end the walk below. So the walk starts where the curve might first reach the
    // margin. Between points a < b, A is at most A(b) (it rises with the threshold) and C at least
    // C(a), so A - C <= A(b) - C(a) there; the smoothed curve at a point is at most the largest such
    // bound within kSmoothingDb of it. Checked 8 points per octave, this skips most of the points.
    int first = points - 1; // the walk's first point
    if (smooth && !fromTop) {
        constexpr int kAnchorStep = 1 << (kStepBits - kCoarseStepBits);
        std::uint64_t anchorActive = 0;
        int anchorCounted = count + 1;
        auto activeDbAt = [&](int i) {
            for (; anchorCounted > i + 1; --anchorCounted)
                anchorActive += m_histogram[static_cast<std::size_t>(anchorCounted) - 1];
            return activeDb(anchorActive);
        };
        double aboveDb = activeDbAt(points - 1);
        for (int b = points - 1; b > 0;) {
            const int a = std::max(0, b - kAnchorStep);
            if (aboveDb - c(a) >= kMarginDb) {
                // The last point whose window lies wholly above b, so that its pair with the next is checked.
                int k = b;
                while (k + 1 < points && c(k + 1) - kSmoothingDb <= c(b))
                    ++k;
                first = std::min(points - 1, k + 1);
                break;
            }
            aboveDb = activeDbAt(a);
            b = a;
        }
        if (first < points - 1) {
            int windowTop = first;
            while (windowTop + 1 < points && c(windowTop + 1) <= c(first) + kSmoothingDb)
                ++windowTop;
            rawFrom = lo = hi = windowTop + 1;
        }
    }

    // A - C falls as the threshold rises but jumps up wherever many samples stop counting as active
    // at once (a cluster of quantised envelope values, quiet words before loud ones). A crossing
    // that the curve leaves again by more than kDipDb is such a dip, not the speech level: the
    // reading is the lowest crossing with nothing above it higher than that. Walking down from the
    // top, the highest value so far says when no lower crossing can be the reading any more. The
    // standard reading keeps the lowest crossing, as the recommendation has it.
    const double top = curveAt(first);
    double upper = top;
    double highestAbove = top;
    double reading = 0.0, fallback = 0.0;
    bool found = false, crossed = false;
    for (int k = first; k > 0; --k) {
        const double lower = curveAt(k - 1);
        // Linear in dB between the two points that bracket A - C = margin; the level at a point is
        // its threshold plus the curve there.
        if (!(upper > kMarginDb || lower < kMarginDb || (k > 1 && lower == kMarginDb))) {
            const double t = lower > upper ? (lower - kMarginDb) / (lower - upper) : 0.0;
            const double level = c(k - 1) + lower + t * ((c(k) + upper) - (c(k - 1) + lower));
            if (!crossed)
                fallback = level;
            crossed = true;
            if (!skipDips || highestAbove <= kMarginDb + kDipDb) {
                reading = level;
                found = true;
            }
        }
        highestAbove = std::max(highestAbove, lower);
        if (skipDips && crossed && highestAbove > kMarginDb + kDipDb)
            break;
        upper = lower;
    }
    if (found)
        return finish(reading);
    // Every crossing is left again (the curve ends above the margin): the highest one is the best there is.
    if (crossed)
        return finish(fallback);
    // The curve never came down to the margin where the walk started: walk it all.
    if (first < points - 1)
        return solve(stride, skipDips, true);
    // Even the highest threshold leaves more than the margin: only a signal near or above full
    // scale (float files) gets here. Its active samples' power is the best answer there is.
    if ((points - 1) * stride + stride >= count)
        return finish(c(points - 1) + top);
    return r;
}

bool ToolMeter::wantsFilteredPass() const {
    const double plainSq = m_plain.energy();
    if (m_plain.samples() == 0 || !(plainSq > 0.0))
        return false;
    return 1.0 - m_filteredSq / plainSq >= kRemovedPowerShare;
}

SpeechLevel ToolMeter::result() const {
    if (!m_filtered)
        return m_plain.result();
    SpeechLevel filtered = m_filtered->result();
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
