#include "SpeechSynth.h"

#include "Rng.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace levora::demohost {
namespace {

// A two-pole resonator with unit gain at 0 Hz (so a cascade keeps the source's tilt).
class Resonator {
public:
    void tune(double freq, double bandwidth, double fs) {
        const double r = std::exp(-M_PI * bandwidth / fs);
        m_b = 2.0 * r * std::cos(2.0 * M_PI * freq / fs);
        m_c = -r * r;
        m_a = 1.0 - m_b - m_c;
    }
    double operator()(double x) {
        const double y = m_a * x + m_b * m_y1 + m_c * m_y2;
        m_y2 = m_y1;
        m_y1 = y;
        return y;
    }

private:
    double m_a = 1, m_b = 0, m_c = 0, m_y1 = 0, m_y2 = 0;
};

struct Vowel {
    double f1, f2, f3;
};
constexpr std::array<Vowel, 6> kVowels{{
    {730, 1090, 2440}, // a
    {530, 1840, 2480}, // e
    {270, 2290, 3010}, // i
    {570, 840, 2410},  // o
    {300, 870, 2240},  // u
    {500, 1500, 2500}, // schwa
}};

// Rosenberg glottal flow over one period, phase in [0, 1).
double glottalFlow(double phase) {
    constexpr double open = 0.40, close = 0.16;
    if (phase < open)
        return 0.5 * (1.0 - std::cos(M_PI * phase / open));
    if (phase < open + close)
        return std::cos(M_PI * (phase - open) / (2.0 * close));
    return 0.0;
}

// Raised-cosine attack and release over a segment of n samples.
double envelope(int i, int n, int attack, int release) {
    attack = std::min(attack, n / 2);
    release = std::min(release, n / 2);
    if (i < attack)
        return 0.5 * (1.0 - std::cos(M_PI * i / attack));
    if (i >= n - release)
        return 0.5 * (1.0 - std::cos(M_PI * (n - i) / release));
    return 1.0;
}

class Renderer {
public:
    Renderer(const SpeechParams& params, std::vector<double>& out)
        : m_fs(params.sampleRate), m_out(out), m_rng(params.seed), m_scale(params.talker == Talker::High ? 1.16 : 1.0),
          m_f0(params.talker == Talker::High ? m_rng.uniform(175, 225) : m_rng.uniform(95, 130)) {}

    void voiced(size_t start, int n, double f0Start, double f0End, const Vowel& from, const Vowel& to,
                double amplitude) {
        std::array<Resonator, 3> formants;
        Resonator aspiration;
        aspiration.tune(1500, 2000, m_fs);
        const int transition = std::max(1, std::min(n / 3, ms(45)));
        const int ring = ms(30);
        double phase = m_rng.uniform();
        double prevFlow = glottalFlow(phase);
        double jitter = 1.0;
        for (int i = 0; i < n + ring && start + i < m_out.size(); ++i) {
            if (i % 8 == 0) {
                const double t = std::min(1.0, static_cast<double>(i) / transition);
                const double f1 = m_scale * (from.f1 + t * (to.f1 - from.f1));
                const double f2 = m_scale * (from.f2 + t * (to.f2 - from.f2));
                const double f3 = m_scale * (from.f3 + t * (to.f3 - from.f3));
                formants[0].tune(f1, 80, m_fs);
                formants[1].tune(f2, 100, m_fs);
                formants[2].tune(std::min(f3, 0.45 * m_fs), 150, m_fs);
            }
            double source = 0.0;
            if (i < n) {
                const double f0 = (f0Start + (f0End - f0Start) * i / n) * jitter;
                phase += f0 / m_fs;
                if (phase >= 1.0) {
                    phase -= 1.0;
                    jitter = 1.0 + 0.01 * m_rng.gauss();
                }
                const double flow = glottalFlow(phase);
                const double breath = 0.01 * aspiration(m_rng.gauss());
                source = (flow - prevFlow + breath) * envelope(i, n, ms(25), ms(45));
                prevFlow = flow;
            }
            double y = source;
            for (auto& f : formants)
                y = f(y);
            m_out[start + i] += amplitude * y;
        }
    }

    void noise(size_t start, int n, double centre, double bandwidth, double amplitude) {
        Resonator shape;
        shape.tune(std::min(centre, 0.45 * m_fs), bandwidth, m_fs);
        for (int i = 0; i < n && start + i < m_out.size(); ++i)
            m_out[start + i] += amplitude * shape(m_rng.gauss()) * envelope(i, n, ms(10), ms(15));
    }

    int ms(double milliseconds) const { return static_cast<int>(milliseconds * m_fs / 1000.0); }
    Rng& rng() { return m_rng; }
    double baseF0() const { return m_f0; }

private:
    double m_fs;
    std::vector<double>& m_out;
    Rng m_rng;
    double m_scale;
    double m_f0;
};

} // namespace

std::vector<double> synthesizeSpeech(const SpeechParams& params) {
    const double fs = params.sampleRate;
    std::vector<double> out(static_cast<size_t>(std::max(0.0, std::round(params.seconds * fs))), 0.0);
    if (out.empty())
        return out;
    Renderer r(params, out);
    Rng& rng = r.rng();

    // A short recording keeps proportionally shorter silences, so it still holds speech.
    const double tail = std::min(params.tailOut, 0.15 * params.seconds),
                 lead = std::min(params.leadIn, 0.15 * params.seconds);
    const size_t end = out.size() - std::min(out.size(), static_cast<size_t>(tail * fs));
    size_t pos = static_cast<size_t>(lead * fs);
    const Vowel* previous = &kVowels[5];
    size_t phraseStart = pos;
    const double phraseLength = 2.0 * fs;
    while (pos < end) {
        const int syllables = 1 + rng.below(3);
        for (int s = 0; s < syllables && pos < end; ++s) {
            // Pitch falls across a phrase and rises a little on stressed syllables.
            const double inPhrase = std::min(1.0, (pos - phraseStart) / phraseLength);
            const bool stressed = rng.chance(0.35);
            const double f0 = r.baseF0() * (1.12 - 0.2 * inPhrase) * (stressed ? 1.12 : 1.0);
            const double level = std::pow(10.0, (stressed ? rng.uniform(-1, 1) : rng.uniform(-7, -1)) / 20.0);

            const double onset = rng.uniform();
            if (onset < 0.45) {
                const int n = r.ms(rng.uniform(50, 110));
                r.noise(pos, n, rng.uniform(2700, 3700), rng.uniform(800, 1500), 0.03 * level);
                pos += n;
            } else if (onset < 0.65) {
                pos += r.ms(rng.uniform(25, 45)); // closure
                const int n = r.ms(rng.uniform(10, 18));
                r.noise(pos, n, rng.uniform(1200, 3000), 2500, 0.12 * level);
                pos += n;
            }
            const Vowel& vowel = kVowels[rng.below(static_cast<int>(kVowels.size()))];
            const int nucleus = r.ms(rng.uniform(110, 220));
            r.voiced(pos, nucleus, f0, f0 * rng.uniform(0.88, 0.98), *previous, vowel, level);
            previous = &vowel;
            pos += nucleus;
            if (rng.chance(0.3)) {
                const int n = r.ms(rng.uniform(40, 75));
                r.noise(pos, n, rng.uniform(3000, 3800), 1200, 0.02 * level);
                pos += n;
            }
            pos += r.ms(rng.uniform(15, 50));
        }
        // Short pauses between words, now and then a longer one that ends a phrase.
        if (rng.chance(0.22)) {
            pos += r.ms(rng.uniform(450, 900));
            phraseStart = pos;
        } else {
            pos += r.ms(rng.uniform(90, 260));
        }
    }
    // Nothing may sound after the tail point.
    std::fill(out.begin() + static_cast<long>(std::min(end, out.size())), out.end(), 0.0);

    // Remove DC and rumble (one-pole high-pass near 60 Hz), then set the peak to one half.
    const double a = std::exp(-2.0 * M_PI * 60.0 / fs);
    double xPrev = 0, yPrev = 0, peak = 0;
    for (double& x : out) {
        const double y = a * (yPrev + x - xPrev);
        xPrev = x;
        yPrev = y;
        x = y;
        peak = std::max(peak, std::abs(y));
    }
    if (peak > 0) {
        // A quiet room: a noise floor far below the speech keeps pauses from being digital zero.
        Rng floor = rng.fork(7);
        for (double& x : out)
            x = 0.5 * x / peak + 0.5 * 2e-4 * floor.gauss();
    }
    return out;
}

} // namespace levora::demohost
