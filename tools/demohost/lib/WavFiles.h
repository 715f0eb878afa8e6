// WAV files through libsndfile: the two encodings a telephony host records greetings in,
// and a reader that decodes whatever libsndfile can. Encoding happens in memory, so a level
// can be checked on exactly the bytes that will be stored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace levora::demohost {

enum class Encoding { MuLaw, Pcm16 };
const char* encodingName(Encoding e);

// The whole WAV file image of mono 16-bit samples in the given encoding.
// Throws std::runtime_error with libsndfile's message on failure.
std::string encodeWav(const std::vector<int16_t>& samples, int sampleRate, Encoding encoding);

struct DecodedAudio {
    std::vector<double> samples; // mixed down to mono, fractions of full scale (16-bit: s/32768)
    int sampleRate = 0;
    int channels = 0;
    std::string format; // the encoding: "PCM 16", "u-law", "A-law", ...
    double seconds() const { return sampleRate > 0 ? static_cast<double>(samples.size()) / sampleRate : 0.0; }
};

// Empty with *error set when the data is not audio libsndfile knows.
std::optional<DecodedAudio> decodeAudio(const std::string& image, std::string* error = nullptr);
std::optional<DecodedAudio> readAudio(const std::filesystem::path& file, std::string* error = nullptr);

// Written beside the target, flushed and renamed over it. Throws std::filesystem_error.
void writeFileAtomic(const std::filesystem::path& file, const std::string& bytes);

// Fractions of full scale to 16-bit samples, rounded and kept inside the 16-bit range.
std::vector<int16_t> toPcm16(const std::vector<double>& x);

} // namespace levora::demohost
