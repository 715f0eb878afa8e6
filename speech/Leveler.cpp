#include "speech/Leveler.h"

#include "speech/Audio.h"
#include "speech/PendingFile.h"
#include "speech/ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace gainfix {

namespace {

double toDb(double linear) {
    return 20.0 * std::log10(linear);
}
double fromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

double peakOf(const double* x, std::size_t n) {
    // Four running maxima, so the loop is not one long chain of dependent compares.
    double m[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (std::size_t k = 0; k < 4; ++k)
            m[k] = std::max(m[k], std::fabs(x[i + k]));
    for (; i < n; ++i)
        m[0] = std::max(m[0], std::fabs(x[i]));
    return std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
}

// Streams the mono mix of the whole file, block by block, to f(samples, count).
template <class F> void readMono(SoundReader& in, std::size_t block, F&& f) {
    const auto channels = static_cast<std::size_t>(in.channels());
    std::vector<double> frames(block * channels);
    std::vector<double> mono(block);
    sf_count_t total = 0;
    while (const std::size_t n = in.read(frames.data(), block)) {
        if (channels == 1) {
            std::copy_n(frames.data(), n, mono.data());
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                double sum = 0.0;
                for (std::size_t c = 0; c < channels; ++c)
                    sum += frames[i * channels + c];
                mono[i] = sum / static_cast<double>(channels);
            }
        }
        f(mono.data(), n);
        total += static_cast<sf_count_t>(n);
    }
    if (total != in.info().frames)
        throw ToolError(Failure::Source, "damaged: read " + std::to_string(total) + " of " +
                                             std::to_string(in.info().frames) + " frames");
}

// Pass 2: gain with the per-block limiter; one block of look-ahead for the ramps.
void apply(SoundReader& in, SoundWriter& out, const Options& options, Outcome& outcome) {
    const auto channels = static_cast<std::size_t>(in.channels());
    const std::size_t block = options.block;
    const double gain = fromDb(outcome.gainDb);
    // Aim one step of the output grid below the ceiling, so rounding can never reach past it and a
    // sample sitting on the rail always means the source had it there.
    const Encoding& enc = out.encoding();
    const double ceiling = enc.gridBits > 0 ? enc.ceiling - std::ldexp(1.0, 1 - enc.gridBits) : enc.ceiling;
    const BlockLimiter limiter(gain, ceiling, rampLengthFor(in.info().samplerate, block));

    std::vector<double> current(block * channels), next(block * channels), gains(block);
    std::size_t currentFrames = in.read(current.data(), block);
    double currentGain = limiter.blockGain(peakOf(current.data(), currentFrames * channels));
    double previousGain = gain;
    double lowest = gain;
    sf_count_t total = 0;
    while (currentFrames > 0) {
        const std::size_t nextFrames = in.read(next.data(), block);
        const double nextGain = nextFrames > 0 ? limiter.blockGain(peakOf(next.data(), nextFrames * channels)) : gain;
        limiter.sampleGains(previousGain, currentGain, nextGain, currentFrames, gains.data());
        // The ramps only ever lie between a block's gain and the planned one, so the lowest
        // gain of the file is the lowest block gain.
        lowest = std::min(lowest, currentGain);
        if (channels == 1) {
            for (std::size_t i = 0; i < currentFrames; ++i)
                current[i] *= gains[i];
        } else {
            for (std::size_t i = 0; i < currentFrames; ++i)
                for (std::size_t c = 0; c < channels; ++c)
                    current[i * channels + c] *= gains[i];
        }
        out.write(current.data(), currentFrames);
        ++outcome.blocks;
        if (limiter.limited(currentGain))
            ++outcome.limitedBlocks;
        total += static_cast<sf_count_t>(currentFrames);

        previousGain = currentGain;
        currentGain = nextGain;
        current.swap(next);
        currentFrames = nextFrames;
    }
    if (total != in.info().frames)
        throw ToolError(Failure::Source, "the source changed while it was being levelled");
    outcome.lowestGainDb = toDb(lowest);
}

} // namespace

Outcome plan(const SpeechLevel& level, const Options& options) {
    Outcome o;
    o.level = level;
    if (options.target == 0.0) {
        o.reason = "gain control off";
    } else if (level.silent) {
        o.reason = "no active speech";
    } else if (level.level < options.minimum) {
        o.reason = "below " + format("%g", options.minimum) + " dBov";
    } else {
        const double gain = std::clamp(options.target - level.level, -options.maxGain, options.maxGain);
        // A level that is not a number passes the clamp untouched; no gain past the largest change
        // may ever reach the samples.
        if (!(std::fabs(gain) <= options.maxGain))
            throw std::logic_error("gain " + format("%+.2f", gain) + " dB lies outside the largest change");
        if (std::fabs(gain) < kNegligibleGainDb) {
            o.reason = "already at target";
        } else {
            o.copied = false;
            o.gainDb = gain;
            o.lowestGainDb = gain;
        }
    }
    return o;
}

BlockLimiter::BlockLimiter(double gain, double ceiling, std::size_t rampLength)
    : m_gain(gain), m_ceiling(ceiling), m_ramp(rampLength + 1) {
    for (std::size_t d = 0; d <= rampLength; ++d)
        m_ramp[d] = rampLength == 0 ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(d) / rampLength);
}

double BlockLimiter::blockGain(double peak) const {
    if (peak * m_gain <= m_ceiling)
        return m_gain;
    return m_ceiling / peak;
}

void BlockLimiter::sampleGains(double previous, double own, double next, std::size_t n, double* gains) const {
    std::fill_n(gains, n, own);
    const std::size_t ramp = rampLength();
    // Fade out of a limited previous block: sample i lies i + 1 samples past its last sample.
    if (previous < m_gain)
        for (std::size_t i = 0; i < n && i + 1 < ramp; ++i)
            gains[i] = std::min(gains[i], previous + (m_gain - previous) * m_ramp[i + 1]);
    // Fade into a limited next block: sample i lies n - i samples before its first sample.
    if (next < m_gain)
        for (std::size_t d = 1; d <= n && d < ramp; ++d)
            gains[n - d] = std::min(gains[n - d], next + (m_gain - next) * m_ramp[d]);
}

std::size_t rampLengthFor(double sampleRate, std::size_t block) {
    const auto ramp = static_cast<std::size_t>(std::lround(0.02 * sampleRate));
    return std::clamp<std::size_t>(ramp, 1, block);
}

// Pass 1: the level of the mono mix, DC-blocked where that matters (then the file is read twice).
SpeechLevel measure(SoundReader& in, std::size_t block) {
    ToolMeter meter(in.info().samplerate);
    readMono(in, block, [&](double* x, std::size_t n) { meter.feed(x, n); });
    if (meter.wantsFilteredPass()) {
        in.rewind();
        readMono(in, block, [&](double* x, std::size_t n) { meter.feedFiltered(x, n); });
    }
    const SpeechLevel level = meter.result();
    // A sample that is not a finite number poisons the sums: the file is damaged, not loud.
    if (std::isnan(level.longTermLevel) || std::isinf(level.longTermLevel))
        throw ToolError(Failure::Source, "damaged: samples that are not finite numbers");
    return level;
}

SpeechLevel measureFile(const fs::path& path, std::size_t block) {
    SoundReader in(path);
    return measure(in, std::max<std::size_t>(block, 1));
}

namespace {

// One gain written beside the destination, not yet in its place.
struct Attempt {
    std::unique_ptr<PendingFile> file;
    Outcome outcome;
    double miss = HUGE_VAL; // the target minus what the written file reads
    bool atTarget() const { return std::fabs(miss) < kNegligibleGainDb; }
};

Attempt writeAttempt(SoundReader& in, const fs::path& destination, const Options& options, const Outcome& planned) {
    in.rewind();
    Attempt a{std::make_unique<PendingFile>(destination), planned};
    SoundWriter out(a.file->fd(), in);
    apply(in, out, options, a.outcome);
    out.close();
    return a;
}

// What the next run would read from the written file: the same bytes, measured the same way, and
// streamed, so that memory does not grow with the file.
void judge(Attempt& a, const Options& options) {
    SoundReader written(a.file->path());
    const SpeechLevel after = measure(written, options.block);
    if (!after.silent)
        a.miss = options.target - after.level;
}

// One pass of the tool over a recording. Rounding onto the output's steps moves the reading: after
// a large gain by tenths of a dB, and on uneven G.711 speech whose crossing sits on a cluster of
// quantised envelope values the reading stays on that cluster and then jumps past the band. So the
// written file is measured as the next run would measure it, and other gains are tried around the
// one its miss asks for, keeping the closest. A gain at the largest change, or one the clipping
// protection lowered, is not meant to reach the target and is not measured. Returns no file when
// the recording is to be copied as it is.
Attempt levelOnce(SoundReader& in, const fs::path& destination, const Options& options) {
    const Outcome planned = plan(measure(in, options.block), options);
    if (planned.copied)
        return Attempt{nullptr, planned};
    Attempt best = writeAttempt(in, destination, options, planned);
    if (best.outcome.limitedBlocks > 0 || !(std::fabs(planned.gainDb) < options.maxGain))
        return best;
    judge(best, options);
    static constexpr double kProbes[] = {0.0, 0.05, -0.05, 0.1, -0.1, 0.15, -0.15};
    const double aim = planned.gainDb + best.miss;
    for (double probe : kProbes) {
        if (best.atTarget() || std::isinf(best.miss))
            break;
        Outcome corrected = planned;
        corrected.gainDb = aim + probe;
        corrected.lowestGainDb = corrected.gainDb;
        if (!(std::fabs(corrected.gainDb) < options.maxGain))
            continue;
        Attempt again = writeAttempt(in, destination, options, corrected);
        if (again.outcome.limitedBlocks > 0)
            continue;
        judge(again, options);
        if (std::fabs(again.miss) < std::fabs(best.miss))
            best = std::move(again);
    }
    // No gain lands within the band and none comes nearer than the recording already is: it is as
    // near the target as its encoding allows, and rewriting it would change it on every run.
    if (!best.atTarget() && std::fabs(best.miss) > std::fabs(planned.gainDb) - kWorthwhileDb) {
        Outcome unchanged = planned;
        unchanged.copied = true;
        unchanged.gainDb = 0.0;
        unchanged.lowestGainDb = 0.0;
        unchanged.reason = "already at target, within its encoding's steps";
        return Attempt{nullptr, unchanged};
    }
    return best;
}

} // namespace

Outcome levelFile(const fs::path& source, const fs::path& destination, const Options& options) {
    SoundReader in(source);
    Attempt done = levelOnce(in, destination, options);
    if (!done.file) {
        copyFileAtomically(source, destination);
        return done.outcome;
    }
    // A levelled file must stay levelled: the next run with the same options must copy it. Within
    // the band it does. Otherwise the next run is made here, on the written file, until one copies
    // it; the gain a further pass applies is added to the outcome's.
    Outcome outcome = done.outcome;
    for (int pass = 1; pass < kPasses && !done.atTarget() && outcome.limitedBlocks == 0 &&
                       std::fabs(outcome.gainDb) < options.maxGain;
         ++pass) {
        SoundReader written(done.file->path());
        Attempt next = levelOnce(written, destination, options);
        if (!next.file)
            break;
        outcome.gainDb += next.outcome.gainDb;
        outcome.lowestGainDb += next.outcome.lowestGainDb;
        outcome.limitedBlocks += next.outcome.limitedBlocks;
        done = std::move(next);
    }
    done.file->commit();
    return outcome;
}

std::string summary(const std::string& sourceName, const Outcome& o) {
    std::string line = sourceName + ": level ";
    line += o.level.silent ? std::string("silent") : format("%.2f dBov", o.level.level);
    line += ", activity " + format("%.1f %%", o.level.activity * 100.0);
    if (o.level.dcRemoved)
        line += " (DC removed)";
    line += ", gain " + format("%+.2f dB", o.gainDb);
    if (o.copied) {
        line += " (copied unchanged: " + o.reason + ")";
    } else {
        line += ", limited " + std::to_string(o.limitedBlocks) + " of " + std::to_string(o.blocks) + " blocks";
        if (o.limitedBlocks > 0)
            line += " (lowest gain " + format("%+.2f dB", o.lowestGainDb) + ")";
    }
    return line;
}

} // namespace gainfix
