#include "SpeechTestUtil.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace gainfix::test {

ToolRun runTool(const fs::path& work, const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env) {
    fs::create_directories(work / "home");
    std::map<std::string, std::string> vars{{"HOME", (work / "home").string()},
                                            {"LEVORA_PREFIX", (work / "prefix").string()}};
    for (const auto& [k, v] : env)
        vars[k] = v;
    levora::test::ProgramRun run = levora::test::runProgram(levora::test::binDir() / program, args, work, vars);
    return {run.exitCode, std::move(run.out), std::move(run.err)};
}

fs::path speech(const std::string& name) {
    return levora::test::sourceDir() / "tests" / "data" / "speech" / name;
}

Audio readAudio(const fs::path& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f)
        throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    a.samples.resize(static_cast<std::size_t>(a.info.frames * a.info.channels));
    sf_readf_double(f, a.samples.data(), a.info.frames);
    sf_close(f);
    return a;
}

void writeAudio(const fs::path& path, int format, int rate, int channels, const std::vector<double>& interleaved) {
    levora::test::writeWav(path, format, rate, channels, interleaved, levora::test::SampleRounding::OnGrid);
}

std::vector<double> tone(double levelDbov, double hz, double seconds, int rate) {
    const double amplitude = std::sqrt(2.0) * std::pow(10.0, levelDbov / 20.0);
    const auto n = static_cast<std::size_t>(seconds * rate);
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
    return x;
}

std::vector<int> as16(const std::vector<double>& samples) {
    std::vector<int> v(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        v[i] = static_cast<int>(std::lrint(samples[i] * 32768.0));
    return v;
}

WavHeader wavHeader(const fs::path& path) {
    const std::string bytes = levora::test::readFile(path);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    auto u16 = [&](std::size_t at) {
        std::uint16_t v = 0;
        std::memcpy(&v, bytes.data() + at, 2);
        return v;
    };
    WavHeader h;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0)
        return h;
    for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
        const std::string id = bytes.substr(pos, 4);
        const std::uint32_t size = u32(pos + 4);
        h.chunks.push_back(id);
        if (id == "fmt " && pos + 24 <= bytes.size()) {
            h.fmtSize = size;
            h.formatTag = u16(pos + 8);
            h.channels = u16(pos + 10);
            h.sampleRate = u32(pos + 12);
            h.byteRate = u32(pos + 16);
            h.blockAlign = u16(pos + 20);
            h.bitsPerSample = u16(pos + 22);
        }
        pos += 8 + size + (size & 1);
    }
    return h;
}

} // namespace gainfix::test
