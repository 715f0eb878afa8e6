#include "WavFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace levora::demohost {
namespace {

// libsndfile's virtual I/O over a string.
struct MemoryFile {
    std::string data;
    sf_count_t pos = 0;

    static sf_count_t length(void* self) {
        return static_cast<sf_count_t>(static_cast<MemoryFile*>(self)->data.size());
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? m->pos
                                               : static_cast<sf_count_t>(m->data.size());
        if (base + offset < 0)
            return -1;
        m->pos = base + offset;
        return m->pos;
    }
    static sf_count_t read(void* ptr, sf_count_t count, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        const sf_count_t size = static_cast<sf_count_t>(m->data.size());
        const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - m->pos));
        if (n > 0)
            std::memcpy(ptr, m->data.data() + m->pos, static_cast<size_t>(n));
        m->pos += n;
        return n;
    }
    static sf_count_t write(const void* ptr, sf_count_t count, void* self) {
        auto* m = static_cast<MemoryFile*>(self);
        const size_t end = static_cast<size_t>(m->pos + count);
        if (end > m->data.size())
            m->data.resize(end);
        std::memcpy(m->data.data() + m->pos, ptr, static_cast<size_t>(count));
        m->pos += count;
        return count;
    }
    static sf_count_t tell(void* self) { return static_cast<MemoryFile*>(self)->pos; }

    SF_VIRTUAL_IO io() { return SF_VIRTUAL_IO{&length, &seek, &read, &write, &tell}; }
};

std::string shortFormatName(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
        return "PCM 8";
    case SF_FORMAT_PCM_16:
        return "PCM 16";
    case SF_FORMAT_PCM_24:
        return "PCM 24";
    case SF_FORMAT_PCM_32:
        return "PCM 32";
    case SF_FORMAT_FLOAT:
        return "float";
    case SF_FORMAT_DOUBLE:
        return "double";
    case SF_FORMAT_ULAW:
        return "u-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    case SF_FORMAT_IMA_ADPCM:
        return "IMA ADPCM";
    case SF_FORMAT_MS_ADPCM:
        return "MS ADPCM";
    case SF_FORMAT_GSM610:
        return "GSM 6.10";
    default:
        return "other";
    }
}

std::optional<DecodedAudio> decodeOpen(SNDFILE* sf, const SF_INFO& info) {
    DecodedAudio audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.format = shortFormatName(info.format);
    // libsndfile scales 16-bit data by 1/32768 when it reads doubles: the meter's scale.
    sf_command(sf, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    const int channels = std::max(1, info.channels);
    constexpr sf_count_t chunk = 4096;
    std::vector<double> frames(static_cast<size_t>(channels * chunk));
    audio.samples.reserve(static_cast<size_t>(std::max<sf_count_t>(0, info.frames)));
    for (;;) {
        const sf_count_t got = sf_readf_double(sf, frames.data(), chunk);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i) {
            double sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += frames[static_cast<size_t>(i * channels + c)];
            audio.samples.push_back(sum / channels);
        }
    }
    sf_close(sf);
    return audio;
}

} // namespace

const char* encodingName(Encoding e) {
    return e == Encoding::MuLaw ? "u-law" : "PCM 16";
}

std::string encodeWav(const std::vector<int16_t>& samples, int sampleRate, Encoding encoding) {
    MemoryFile mem;
    SF_VIRTUAL_IO io = mem.io();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | (encoding == Encoding::MuLaw ? SF_FORMAT_ULAW : SF_FORMAT_PCM_16);
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &mem);
    if (!sf)
        throw std::runtime_error(std::string("cannot encode WAV: ") + sf_strerror(nullptr));
    const sf_count_t written = sf_write_short(sf, samples.data(), static_cast<sf_count_t>(samples.size()));
    const std::string message = sf_strerror(sf);
    if (sf_close(sf) != 0 || written != static_cast<sf_count_t>(samples.size()))
        throw std::runtime_error("cannot encode WAV: " + message);
    return std::move(mem.data);
}

std::optional<DecodedAudio> decodeAudio(const std::string& image, std::string* error) {
    MemoryFile mem{image, 0};
    SF_VIRTUAL_IO io = mem.io();
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &mem);
    if (!sf) {
        if (error)
            *error = sf_strerror(nullptr);
        return std::nullopt;
    }
    return decodeOpen(sf, info);
}

std::optional<DecodedAudio> readAudio(const std::filesystem::path& file, std::string* error) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(file.c_str(), SFM_READ, &info);
    if (!sf) {
        if (error)
            *error = sf_strerror(nullptr);
        return std::nullopt;
    }
    return decodeOpen(sf, info);
}

void writeFileAtomic(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::path temp = file;
    temp += ".part";
    const auto fail = [&](int err) {
        ::unlink(temp.c_str());
        throw std::filesystem::filesystem_error("cannot write", file, std::error_code(err, std::generic_category()));
    };
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            fail(err);
        }
        done += static_cast<size_t>(n);
    }
    // Flushed before the rename, so a crash leaves either the old file or the whole new one.
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 || synced != 0)
        fail(synced != 0 ? synced : errno);
    std::filesystem::rename(temp, file);
}

std::vector<int16_t> toPcm16(const std::vector<double>& x) {
    std::vector<int16_t> out(x.size());
    std::transform(x.begin(), x.end(), out.begin(), [](double v) {
        return static_cast<int16_t>(std::clamp(std::lround(v * 32768.0), -32768L, 32767L));
    });
    return out;
}

} // namespace levora::demohost
