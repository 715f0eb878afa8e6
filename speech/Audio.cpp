#include "speech/Audio.h"

#include "platform/WavHeader.h"
#include "speech/ToolError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace gainfix {

namespace {

constexpr double kLossyReserve = 0.8912509381337456; // -1 dB

bool isWavFamily(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
        return true;
    default:
        return false;
    }
}

std::uint32_t readU32(const unsigned char* p, bool bigEndian) {
    if (bigEndian)
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// libsndfile reads a GSM 6.10 data chunk that is not whole 65-byte blocks, or one with a pad byte,
// as one 320-sample block more than the fact chunk gives. Returns the fact count where that is all
// the difference, else the codec's own count.
sf_count_t gsmFrames(const std::uint8_t* head, std::size_t headBytes, std::uint64_t fileSize, sf_count_t codecFrames) {
    constexpr sf_count_t kSamplesPerBlock = 320;
    const auto parsed = levora::parseWavHeader(head, headBytes, fileSize);
    if (!parsed.header || !parsed.header->factFrames)
        return codecFrames;
    const auto fact = static_cast<sf_count_t>(*parsed.header->factFrames);
    return fact > 0 && fact <= codecFrames && codecFrames - fact <= kSamplesPerBlock ? fact : codecFrames;
}

sf_count_t gsmFrames(const fs::path& path, sf_count_t codecFrames) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> head(levora::kWavHeadBytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    std::error_code ec;
    const auto fileSize = fs::file_size(path, ec);
    if (ec)
        return codecFrames;
    return gsmFrames(head.data(), static_cast<std::size_t>(in.gcount()), fileSize, codecFrames);
}

std::string sourceMessage(const fs::path& path, const std::string& what) {
    return path.string() + ": " + what;
}

// Walks the RIFF chunks up to the data chunk; readAt(offset, out, n) fills out or returns false.
template <class ReadAt> void checkRiffChunks(ReadAt&& readAt, std::uint64_t fileSize, const fs::path& name) {
    std::array<unsigned char, 12> head{};
    if (!readAt(0, head.data(), head.size()))
        return;
    const bool riff = std::memcmp(head.data(), "RIFF", 4) == 0;
    const bool rifx = std::memcmp(head.data(), "RIFX", 4) == 0;
    if ((!riff && !rifx) || std::memcmp(head.data() + 8, "WAVE", 4) != 0)
        return; // RF64, W64 and the rest carry their sizes elsewhere; libsndfile judges them
    std::uint64_t pos = 12;
    while (pos + 8 <= fileSize) {
        std::array<unsigned char, 8> chunk{};
        if (!readAt(pos, chunk.data(), chunk.size()))
            return;
        const std::uint64_t size = readU32(chunk.data() + 4, rifx);
        if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (size > fileSize - pos - 8)
                throw ToolError(Failure::Source, sourceMessage(name, "truncated: the data chunk holds " +
                                                                         std::to_string(fileSize - pos - 8) + " of " +
                                                                         std::to_string(size) + " bytes"));
            return;
        }
        pos += 8 + size + (size & 1);
    }
}

struct Cursor {
    const std::string* bytes = nullptr;
    sf_count_t position = 0;
};

Cursor& cursorOf(void* user) {
    return *static_cast<Cursor*>(user);
}

sf_count_t memoryLength(void* user) {
    return static_cast<sf_count_t>(cursorOf(user).bytes->size());
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    Cursor& c = cursorOf(user);
    const sf_count_t base = whence == SEEK_CUR ? c.position : whence == SEEK_END ? memoryLength(user) : 0;
    if (base + offset < 0)
        return -1;
    c.position = base + offset;
    return c.position;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
    Cursor& c = cursorOf(user);
    const sf_count_t left = std::max<sf_count_t>(0, memoryLength(user) - c.position);
    const sf_count_t n = std::min(std::max<sf_count_t>(count, 0), left);
    if (n > 0)
        std::memcpy(out, c.bytes->data() + c.position, static_cast<std::size_t>(n));
    c.position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) {
    return 0; // read only
}

sf_count_t memoryTell(void* user) {
    return cursorOf(user).position;
}

} // namespace

Encoding encodingOf(int sfFormat) {
    switch (sfFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
        return {"PCM 8-bit signed", 127.0 / 128.0, 8};
    case SF_FORMAT_PCM_U8:
        return {"PCM 8-bit", 127.0 / 128.0, 8};
    case SF_FORMAT_PCM_16:
        return {"PCM 16-bit", 32767.0 / 32768.0, 16};
    case SF_FORMAT_PCM_24:
        return {"PCM 24-bit", 8388607.0 / 8388608.0, 24};
    case SF_FORMAT_PCM_32:
        return {"PCM 32-bit", 2147483647.0 / 2147483648.0, 32};
    case SF_FORMAT_FLOAT:
        return {"32-bit float", 1.0, 0};
    case SF_FORMAT_DOUBLE:
        return {"64-bit float", 1.0, 0};
    case SF_FORMAT_ULAW:
        return {"mu-law", 32124.0 / 32768.0, 16};
    case SF_FORMAT_ALAW:
        return {"A-law", 32256.0 / 32768.0, 16};
    case SF_FORMAT_IMA_ADPCM:
        return {"IMA ADPCM", 32767.0 / 32768.0 * kLossyReserve, 16};
    case SF_FORMAT_MS_ADPCM:
        return {"MS ADPCM", 32767.0 / 32768.0 * kLossyReserve, 16};
    case SF_FORMAT_GSM610:
        return {"GSM 6.10", 32767.0 / 32768.0 * kLossyReserve, 16};
    default:
        return {"compressed", 32767.0 / 32768.0 * kLossyReserve, 16};
    }
}

std::string describeFormat(const SF_INFO& info) {
    std::string container;
    switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAVEX:
        container = "WAVE_FORMAT_EXTENSIBLE";
        break;
    case SF_FORMAT_RF64:
        container = "RF64";
        break;
    case SF_FORMAT_W64:
        container = "W64";
        break;
    default:
        container = "WAV";
    }
    return container + " " + encodingOf(info.format).name + " " + std::to_string(info.samplerate) + " Hz " +
           (info.channels == 1 ? std::string("mono") : std::to_string(info.channels) + " channels");
}

void checkRiffLayout(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto fileSize = fs::file_size(path, ec);
    if (!in || ec)
        return; // the open that follows reports it
    checkRiffChunks(
        [&in](std::uint64_t pos, unsigned char* out, std::size_t n) {
            in.seekg(static_cast<std::streamoff>(pos));
            return static_cast<bool>(in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n)));
        },
        fileSize, path);
}

struct SoundReader::MemoryCursor : Cursor {};

SoundReader::SoundReader(const fs::path& path) : m_path(path) {
    std::error_code ec;
    const auto st = fs::status(path, ec);
    if (!fs::exists(st))
        throw ToolError(Failure::Source, sourceMessage(path, "source not found"));
    if (fs::is_directory(st))
        throw ToolError(Failure::Source, sourceMessage(path, "source is a folder, not a file"));
    if (!fs::is_regular_file(st)) // a pipe or device cannot be read twice
        throw ToolError(Failure::Source, sourceMessage(path, "source is not a regular file"));
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ToolError(Failure::Source,
                        sourceMessage(path, std::string("cannot read source: ") + std::strerror(errno)));
    ::close(fd);
    if (fs::file_size(path, ec) == 0 && !ec)
        throw ToolError(Failure::Source, sourceMessage(path, "source is empty"));

    checkRiffLayout(path);
    m_file = openSource(m_info, m_cursor);
    checkOpened();
    if ((m_info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_GSM610)
        m_info.frames = gsmFrames(path, m_codecFrames);
}

SoundReader::SoundReader(std::string bytes, const std::string& name)
    : m_path(name), m_inMemory(true), m_bytes(std::move(bytes)) {
    if (m_bytes.empty())
        throw ToolError(Failure::Source, sourceMessage(m_path, "source is empty"));
    const auto* data = reinterpret_cast<const std::uint8_t*>(m_bytes.data());
    checkRiffChunks(
        [this, data](std::uint64_t pos, unsigned char* out, std::size_t n) {
            if (pos > m_bytes.size() || n > m_bytes.size() - pos)
                return false;
            std::memcpy(out, data + pos, n);
            return true;
        },
        m_bytes.size(), m_path);
    m_file = openSource(m_info, m_cursor);
    checkOpened();
    if ((m_info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_GSM610)
        m_info.frames = gsmFrames(data, std::min(m_bytes.size(), levora::kWavHeadBytes), m_bytes.size(), m_codecFrames);
}

SNDFILE* SoundReader::openSource(SF_INFO& info, std::unique_ptr<MemoryCursor>& cursor) {
    if (!m_inMemory)
        return sf_open(m_path.c_str(), SFM_READ, &info);
    static SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    cursor = std::make_unique<MemoryCursor>();
    cursor->bytes = &m_bytes;
    return sf_open_virtual(&io, SFM_READ, &info, static_cast<Cursor*>(cursor.get()));
}

void SoundReader::checkOpened() {
    if (!m_file)
        throw ToolError(Failure::Source,
                        sourceMessage(m_path, std::string("not a readable WAV file (") + sf_strerror(nullptr) + ")"));
    if (!isWavFamily(m_info.format) || m_info.channels < 1 || m_info.samplerate < 1) {
        sf_close(m_file);
        m_file = nullptr;
        throw ToolError(Failure::Source, sourceMessage(m_path, "not a WAV file"));
    }
    if (m_info.samplerate < kMinSampleRate || m_info.samplerate > kMaxSampleRate) {
        const int rate = m_info.samplerate;
        sf_close(m_file);
        m_file = nullptr;
        throw ToolError(Failure::Source, sourceMessage(m_path, "sample rate " + std::to_string(rate) +
                                                                   " Hz is outside 1000 to 384000 Hz"));
    }
    sf_command(m_file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    m_codecFrames = m_info.frames;
}

SoundReader::~SoundReader() {
    if (m_file)
        sf_close(m_file);
}

std::size_t SoundReader::read(double* interleaved, std::size_t frames) {
    const sf_count_t wanted = std::min(static_cast<sf_count_t>(frames), m_info.frames - m_position);
    if (wanted <= 0)
        return 0;
    const sf_count_t got = sf_readf_double(m_file, interleaved, wanted);
    if (got < 0 || sf_error(m_file) != SF_ERR_NO_ERROR)
        throw ToolError(Failure::Source, sourceMessage(m_path, std::string("read error: ") + sf_strerror(m_file)));
    m_position += got;
    return static_cast<std::size_t>(got);
}

void SoundReader::rewind() {
    m_position = 0;
    if (sf_seek(m_file, 0, SEEK_SET) == 0)
        return;
    // Some codecs (GSM 6.10) cannot seek: open the file again instead.
    SF_INFO again{};
    std::unique_ptr<MemoryCursor> cursor;
    SNDFILE* reopened = openSource(again, cursor);
    if (!reopened || again.format != m_info.format || again.channels != m_info.channels ||
        again.frames != m_codecFrames) {
        if (reopened)
            sf_close(reopened);
        throw ToolError(Failure::Source, sourceMessage(m_path, "the source changed while it was being levelled"));
    }
    sf_close(m_file);
    m_file = reopened;
    if (cursor)
        m_cursor = std::move(cursor); // only once the handle reading through the old one is closed
    sf_command(m_file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
}

SoundWriter::SoundWriter(int fd, const SoundReader& like)
    : m_channels(like.channels()), m_encoding(encodingOf(like.info().format)) {
    SF_INFO info{};
    info.samplerate = like.info().samplerate;
    info.channels = like.info().channels;
    info.format = like.info().format;
    m_file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!m_file)
        throw ToolError(Failure::Destination, std::string("cannot write the source's format (") +
                                                  describeFormat(like.info()) + "): " + sf_strerror(nullptr));
    // The output holds exactly what is written: no PEAK chunk the input did not ask for.
    sf_command(m_file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(m_file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    for (int id = SF_STR_FIRST; id <= SF_STR_LAST; ++id)
        if (const char* s = sf_get_string(like.handle(), id))
            sf_set_string(m_file, id, s);
}

SoundWriter::~SoundWriter() {
    if (m_file)
        sf_close(m_file);
}

void SoundWriter::write(const double* interleaved, std::size_t frames) {
    const std::size_t n = frames * static_cast<std::size_t>(m_channels);
    sf_count_t written = 0;
    if (m_encoding.gridBits == 0) {
        written = sf_writef_double(m_file, interleaved, static_cast<sf_count_t>(frames));
    } else {
        // Round onto the encoding's own grid here: libsndfile narrows ints by shifting, which
        // truncates, and its float path scales by 2^(bits-1) - 1, which is not the reading scale.
        const int bits = m_encoding.gridBits;
        const double scale = std::ldexp(1.0, bits - 1);
        const std::int64_t top = (std::int64_t{1} << (bits - 1)) - 1;
        const int shift = 32 - bits;
        m_ints.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            // Round half away from zero, inline (llrint is a library call on baseline x86-64).
            const double s = interleaved[i] * scale;
            const auto v = std::clamp<std::int64_t>(static_cast<std::int64_t>(s + std::copysign(0.5, s)), -top, top);
            m_ints[i] = static_cast<int>(static_cast<std::uint32_t>(v) << shift);
        }
        written = sf_writef_int(m_file, m_ints.data(), static_cast<sf_count_t>(frames));
    }
    if (written != static_cast<sf_count_t>(frames))
        throw ToolError(Failure::Destination, std::string("write error: ") + sf_strerror(m_file));
}

void SoundWriter::close() {
    // No sf_write_sync here: the pending file is flushed once, when it is committed.
    const int err = sf_error(m_file);
    const int rc = sf_close(m_file);
    m_file = nullptr;
    if (err != SF_ERR_NO_ERROR || rc != 0)
        throw ToolError(Failure::Destination, "cannot finish the destination file");
}

} // namespace gainfix
