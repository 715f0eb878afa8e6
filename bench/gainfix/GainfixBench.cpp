// Figures for the gain tool, one per line: meter accuracy against the reference levels, speed
// per file and per 1,000 greetings against sox, the meter's throughput, and peak memory.
//
//   gainfix_bench [--files N] [--long-minutes M] [--meter-only]
#include "speech/Leveler.h"
#include "speech/SpeechMeter.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const fs::path kData = GAINFIX_BENCH_DATA;
const fs::path kSpeech = fs::path(LEVORA_SOURCE_DIR) / "tests" / "data" / "speech";
const fs::path kTool = fs::path(LEVORA_BIN_DIR) / "gainfix315";
const char* const kSox = "/usr/bin/sox";

struct ChildResult {
    double seconds = 0.0;
    double cpuSeconds = 0.0; // user + system time of the child
    long maxRssKb = 0;
    int status = -1;
};

// Runs a program with stdout and stderr discarded; wall time and the child's peak resident size.
ChildResult runChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::vector<std::string> copy(args);
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error("wait4 failed");
    ChildResult r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.maxRssKb = usage.ru_maxrss;
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r.status != 0)
        throw std::runtime_error(args[0] + " failed on " + args[2]);
    return r;
}

std::vector<std::string> gainfixArgs(const fs::path& src, const fs::path& dst) {
    return {kTool.string(), "-s", src.string(), "-d", dst.string(), "-t", "-26", "-m", "-45", "-b", "8000", "-g", "5"};
}
std::vector<std::string> soxArgs(const fs::path& src, const fs::path& dst) {
    return {kSox, src.string(), dst.string(), "gain", "-n", "-3"};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

std::vector<double> readMono(const fs::path& p, int* rate = nullptr) {
    SF_INFO info{};
    SNDFILE* f = sf_open(p.c_str(), SFM_READ, &info);
    if (!f)
        throw std::runtime_error("cannot read " + p.string());
    std::vector<double> x(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_double(f, x.data(), info.frames);
    sf_close(f);
    if (rate)
        *rate = info.samplerate;
    return x;
}

void writeFile(const fs::path& p, int format, const std::vector<double>& x) {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error("cannot write " + p.string());
    std::vector<int> ints(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        ints[i] = static_cast<int>(std::clamp(std::lrint(x[i] * 32768.0), -32767L, 32767L)) * 65536;
    sf_writef_int(f, ints.data(), static_cast<sf_count_t>(ints.size()));
    sf_close(f);
}

// Deterministic greetings: 10-s windows of the 59-s test speech at varied levels, every other
// one in mu-law, the rest 16-bit PCM, as a host keeps them.
std::vector<fs::path> makeGreetings(int count) {
    const fs::path dir = kData / "greetings";
    fs::create_directories(dir);
    const std::vector<double> speech = readMono(kSpeech / "greet60_pcm16_m32.wav");
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<fs::path> files;
    const std::size_t length = 80000;
    for (int i = 0; i < count; ++i) {
        const fs::path p = dir / ("greeting" + std::to_string(i) + ".wav");
        files.push_back(p);
        if (fs::exists(p))
            continue;
        const std::size_t start = next() % (speech.size() - length);
        const double gainDb = -8.0 + static_cast<double>(next() % 1600) / 100.0; // -40 .. -24 dBov
        const double g = std::pow(10.0, gainDb / 20.0);
        std::vector<double> x(speech.begin() + static_cast<long>(start),
                              speech.begin() + static_cast<long>(start + length));
        for (auto& v : x)
            v *= g;
        writeFile(p, SF_FORMAT_WAV | (i % 2 ? SF_FORMAT_ULAW : SF_FORMAT_PCM_16), x);
    }
    return files;
}

fs::path makeLongFile(double minutes) {
    const fs::path p = kData / ("long" + std::to_string(static_cast<int>(minutes)) + "min.wav");
    if (fs::exists(p))
        return p;
    const std::vector<double> speech = readMono(kSpeech / "greet60_pcm16_m32.wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error("cannot write " + p.string());
    const auto total = static_cast<std::size_t>(minutes * 60.0 * 8000.0);
    for (std::size_t done = 0; done < total;) {
        const std::size_t n = std::min(speech.size(), total - done);
        sf_write_double(f, speech.data(), static_cast<sf_count_t>(n));
        done += n;
    }
    sf_close(f);
    return p;
}

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void line(const std::string& name, double value, const char* unit) {
    std::printf("%-44s %12.4f %s\n", name.c_str(), value, unit);
}

} // namespace

int main(int argc, char** argv) {
    int greetings = 1000;
    double longMinutes = 30.0;
    bool meterOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--meter-only") == 0)
            meterOnly = true;
        else if (i + 1 < argc && std::strcmp(argv[i], "--files") == 0)
            greetings = std::max(1, std::atoi(argv[++i]));
        else if (i + 1 < argc && std::strcmp(argv[i], "--long-minutes") == 0)
            longMinutes = std::max(1.0, std::atof(argv[++i]));
    }
    try {
        fs::create_directories(kData / "out");
        std::setvbuf(stdout, nullptr, _IOLBF, 0);

        // Accuracy: the tool's meter against the reference levels listed with the test speech.
        struct Ref {
            const char* file;
            double level;
        };
        const Ref refs[] = {{"greet10_pcm16_m26.wav", -26.002}, {"greet10_pcm16_m38.wav", -38.006},
                            {"greet10_pcm16_m15.wav", -15.016}, {"greet10_ulaw_m26.wav", -25.995},
                            {"greet10_ulaw_m38.wav", -37.977},  {"greet10_ulaw_m50.wav", -50.314},
                            {"greet10_alaw_m26.wav", -26.002},  {"greet60_pcm16_m32.wav", -32.003}};
        double worst = 0.0;
        for (const Ref& r : refs) {
            const double d = gainfix::measureFile(kSpeech / r.file).level - r.level;
            worst = std::max(worst, std::fabs(d));
            line(std::string("accuracy ") + r.file, d, "dB (meter - reference)");
        }
        line("accuracy worst", worst, "dB (goal 0.15)");

        // The meter alone, on the 59-s file held in memory.
        int rate = 8000;
        const std::vector<double> speech = readMono(kSpeech / "greet60_pcm16_m32.wav", &rate);
        // The 8-step grid as well: the sliding maximum's cost must not follow the grid.
        for (int tool = 0; tool < 3; ++tool) {
            std::size_t samples = 0;
            std::vector<double> scratch(speech.size());
            const auto start = Clock::now();
            const double cpuStart = threadCpu();
            double elapsed = 0.0;
            while (elapsed < 2.0) {
                if (tool != 1) {
                    gainfix::SpeechMeter m(rate, tool == 0 ? gainfix::SpeechMeter::kStepBits
                                                           : gainfix::SpeechMeter::kCoarseStepBits);
                    m.feed(speech.data(), speech.size());
                    if (m.result().silent)
                        throw std::logic_error("meter found no speech");
                } else {
                    gainfix::ToolMeter m(rate);
                    m.feed(speech.data(), speech.size());
                    if (m.wantsFilteredPass()) {
                        std::copy(speech.begin(), speech.end(), scratch.begin());
                        m.feedFiltered(scratch.data(), scratch.size());
                    }
                    if (m.result().silent)
                        throw std::logic_error("meter found no speech");
                }
                samples += speech.size();
                elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            }
            const double cpu = threadCpu() - cpuStart;
            const std::string name = tool == 0   ? "meter alone"
                                     : tool == 1 ? "meter + DC blocker (as the tool runs it)"
                                                 : "meter alone, 8-step grid";
            line(name + " M samples/s (CPU time)", static_cast<double>(samples) / cpu / 1e6, "(goal 30)");
            line(name + " M samples/s (wall)", static_cast<double>(samples) / elapsed / 1e6, "");
        }
        if (meterOnly)
            return 0;

        // Median time per file, gainfix against sox on the same file.
        for (const char* file : {"greet10_pcm16_m38.wav", "greet60_pcm16_m32.wav"}) {
            std::vector<double> ours, theirs, oursCpu, theirsCpu;
            const fs::path dst = kData / "out" / file;
            for (int k = 0; k < 21; ++k) {
                const ChildResult a = runChild(gainfixArgs(kSpeech / file, dst));
                const ChildResult b = runChild(soxArgs(kSpeech / file, dst));
                ours.push_back(a.seconds);
                oursCpu.push_back(a.cpuSeconds);
                theirs.push_back(b.seconds);
                theirsCpu.push_back(b.cpuSeconds);
            }
            line(std::string("median ms/file gainfix ") + file, 1000.0 * median(ours), "ms wall");
            line(std::string("median ms/file sox ") + file, 1000.0 * median(theirs), "ms wall");
            line(std::string("speed ratio sox/gainfix ") + file, median(theirs) / median(ours), "(wall; goal >= 1)");
            // What the durable replacement alone costs on this disk: the same bytes written beside,
            // flushed and renamed, as the tool does and sox does not.
            std::vector<double> syncs;
            const std::string bytes(static_cast<std::size_t>(fs::file_size(kSpeech / file)), '\1');
            for (int k = 0; k < 21; ++k) {
                const fs::path tmp = kData / "out" / "sync.tmp";
                const auto start = Clock::now();
                const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
                    ::fsync(fd) != 0 || ::close(fd) != 0 ||
                    ::rename(tmp.c_str(), (kData / "out" / "sync.wav").c_str()) != 0)
                    throw std::runtime_error("sync probe failed");
                syncs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            }
            line(std::string("median ms write+fsync+rename alone ") + file, 1000.0 * median(syncs), "ms wall");
            line(std::string("median CPU ms/file gainfix ") + file, 1000.0 * median(oursCpu), "ms CPU");
            line(std::string("median CPU ms/file sox ") + file, 1000.0 * median(theirsCpu), "ms CPU");
        }

        // Throughput over many generated greetings.
        const std::vector<fs::path> files = makeGreetings(greetings);
        double ourTime = 0.0, soxTime = 0.0, ourCpu = 0.0, soxCpu = 0.0;
        const fs::path dst = kData / "out" / "greeting.wav";
        for (const fs::path& f : files) {
            const ChildResult r = runChild(gainfixArgs(f, dst));
            ourTime += r.seconds;
            ourCpu += r.cpuSeconds;
        }
        for (const fs::path& f : files) {
            const ChildResult r = runChild(soxArgs(f, dst));
            soxTime += r.seconds;
            soxCpu += r.cpuSeconds;
        }
        const double n = static_cast<double>(files.size());
        line("files/s gainfix (" + std::to_string(files.size()) + " x 10 s)", n / ourTime, "files/s wall");
        line("files/s sox gain -n -3", n / soxTime, "files/s wall");
        line("throughput ratio gainfix/sox", soxTime / ourTime, "(wall; goal >= 1)");
        line("CPU ms/file gainfix", 1000.0 * ourCpu / n, "ms CPU");
        line("CPU ms/file sox", 1000.0 * soxCpu / n, "ms CPU");

        // Peak resident size: it must not grow with the file's length.
        const fs::path tenSeconds = files.front();
        const fs::path longFile = makeLongFile(longMinutes);
        const long small = runChild(gainfixArgs(tenSeconds, kData / "out" / "rss10.wav")).maxRssKb;
        const long large = runChild(gainfixArgs(longFile, kData / "out" / "rsslong.wav")).maxRssKb;
        fs::remove(kData / "out" / "rsslong.wav");
        line("peak RSS gainfix 10-s file", static_cast<double>(small), "kB");
        line("peak RSS gainfix " + std::to_string(static_cast<int>(longMinutes)) + "-min file",
             static_cast<double>(large), "kB");
        line("peak RSS growth long/short", static_cast<double>(large) / static_cast<double>(small), "(goal ~1)");
        const double longSeconds = runChild(gainfixArgs(longFile, kData / "out" / "rsslong.wav")).seconds;
        fs::remove(kData / "out" / "rsslong.wav");
        line("gainfix long file speed", longMinutes * 60.0 / longSeconds, "x real time");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gainfix_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
