// The header of a RIFF (or big-endian RIFX) WAVE file: its format and where its audio lies. Reads
// only the bytes it is given and never trusts a size field further than the file reaches, so any
// input, however damaged or hostile, gives a header or a reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace levora {

constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct WavHeader {
    bool bigEndian = false;              // RIFX
    uint16_t formatTag = 0;              // 1 PCM, 3 float, 6 A-law, 7 mu-law, 0xFFFE extensible, ...
    std::array<uint8_t, 16> subFormat{}; // the extensible format's GUID; zero otherwise
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint64_t dataOffset = 0; // of the audio, from the start of the file
    uint64_t dataSize = 0;
    std::optional<uint32_t> factFrames; // the "fact" chunk's sample count, when there is one

    // Frames of audio: the fact count for compressed formats that give one, else whole blocks.
    uint64_t frames() const;
    // "mu-law 8000 Hz mono", for messages.
    std::string describe() const;
};

struct WavParse {
    std::optional<WavHeader> header;
    std::string problem; // why there is no header ("it is empty", "no RIFF header", ...)
};

// The most bytes of a file's start that parseWavHeader looks at: the fmt and fact chunks and the
// data chunk's header must lie within them.
constexpr size_t kWavHeadBytes = 64 * 1024;

// bytes: the first `size` bytes of a file of `fileSize` bytes (size <= fileSize; at most
// kWavHeadBytes are looked at). The data chunk must lie wholly inside the file.
WavParse parseWavHeader(const uint8_t* bytes, size_t size, uint64_t fileSize);

} // namespace levora
