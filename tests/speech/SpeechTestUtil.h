// Helpers for the gain tool's tests: run the tool as a child, make and read WAV files.
#pragma once

#include <sndfile.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gainfix::test {

struct ToolRun {
    int status = -1; // exit status; -1 when the child did not exit normally
    std::string out;
    std::string err;
};

// Runs binDir()/program with args in a scratch folder below `work`. HOME and LEVORA_PREFIX always
// point inside `work` (work/home, work/prefix), so nothing outside it is touched; `env` adds to or
// overrides the environment.
ToolRun runTool(const std::filesystem::path& work, const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {});

// The shared test speech.
std::filesystem::path speech(const std::string& name);

struct Audio {
    SF_INFO info{};
    std::vector<double> samples; // interleaved, fractions of full scale
};
Audio readAudio(const std::filesystem::path& path);
// The shared writer (levora::test::writeWav), samples on the format's grid.
void writeAudio(const std::filesystem::path& path, int format, int rate, int channels,
                const std::vector<double>& interleaved);

// A sine at the given P.56 level (a sine's power is half its squared amplitude).
std::vector<double> tone(double levelDbov, double hz, double seconds, int rate);

// Decoded sample values on the 16-bit scale (for mu-law/A-law/PCM16 checks).
std::vector<int> as16(const std::vector<double>& samples);

// The fields of a WAV file's "fmt " chunk, and the chunk ids in file order.
struct WavHeader {
    std::uint32_t fmtSize = 0;
    std::uint16_t formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    std::uint32_t sampleRate = 0, byteRate = 0;
    std::vector<std::string> chunks;
};
WavHeader wavHeader(const std::filesystem::path& path);

} // namespace gainfix::test
