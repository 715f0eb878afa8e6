// WAV input and output through libsndfile, with what the leveler needs to know about an
// encoding: how loud it can go before it saturates, and the grid its samples sit on.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace gainfix {

struct Encoding {
    std::string name;
    // Largest magnitude the encoding holds without saturating, as a fraction of full scale
    // (mu-law decodes to at most 32124/32768, A-law to 32256/32768).
    double ceiling = 1.0;
    // Samples are written on a grid of 2^-(bits-1); 0 for floating point.
    int gridBits = 16;
};

// What every output of a format is limited to; lossy codecs keep 1 dB in reserve because
// their decoders overshoot the waveform they were given.
Encoding encodingOf(int sfFormat);
// "WAV mu-law 8000 Hz mono" and the like, for messages.
std::string describeFormat(const SF_INFO& info);

// Refuses what libsndfile would quietly accept: a RIFF file whose data chunk claims more bytes
// than the file holds (a truncated copy). Throws ToolError(Source).
void checkRiffLayout(const std::filesystem::path& path);

// The sample rates a recording may have; a header claiming another is damaged or hostile.
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 384000;

class SoundReader {
public:
    // Throws ToolError(Source) for a missing, unreadable, non-WAV or damaged file, or one whose
    // sample rate lies outside kMinSampleRate..kMaxSampleRate.
    explicit SoundReader(const std::filesystem::path& path);
    // The same for a recording already read into memory (through the machine's file system), so the
    // reader never opens a path itself; name is for messages only.
    SoundReader(std::string bytes, const std::string& name);
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    // info().frames is the length the file really holds: for GSM 6.10, the fact chunk's count where
    // libsndfile reads the partial last block (or the pad byte) as one whole block more.
    const SF_INFO& info() const { return m_info; }
    int channels() const { return m_info.channels; }
    // Interleaved samples as fractions of full scale; returns the frames read (0 at the end).
    std::size_t read(double* interleaved, std::size_t frames);
    void rewind();
    SNDFILE* handle() const { return m_file; }

private:
    struct MemoryCursor;
    // Opens the path, or the bytes with a fresh cursor (the one an open handle reads through stays).
    SNDFILE* openSource(SF_INFO& info, std::unique_ptr<MemoryCursor>& cursor);
    void checkOpened();

    std::filesystem::path m_path;
    bool m_inMemory = false;
    std::string m_bytes;
    std::unique_ptr<MemoryCursor> m_cursor;
    SNDFILE* m_file = nullptr;
    SF_INFO m_info{};
    sf_count_t m_codecFrames = 0; // what libsndfile counts
    sf_count_t m_position = 0;
};

class SoundWriter {
public:
    // Writes to an open descriptor (left open) in exactly the format of `like`, copying its text tags.
    // Throws ToolError(Destination).
    SoundWriter(int fd, const SoundReader& like);
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    const Encoding& encoding() const { return m_encoding; }
    // Rounds onto the encoding's grid and writes; samples must already be within the ceiling.
    void write(const double* interleaved, std::size_t frames);
    // Finishes the header; throws ToolError(Destination) on failure.
    void close();

private:
    SNDFILE* m_file = nullptr;
    int m_channels;
    Encoding m_encoding;
    std::vector<int> m_ints;
};

} // namespace gainfix
