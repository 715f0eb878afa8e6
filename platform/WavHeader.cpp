#include "WavHeader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace levora {

namespace {

class Reader {
public:
    Reader(const uint8_t* bytes, bool bigEndian) : m_bytes(bytes), m_big(bigEndian) {}
    uint16_t u16(size_t at) const {
        const uint8_t* p = m_bytes + at;
        return static_cast<uint16_t>(m_big ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
    }
    uint32_t u32(size_t at) const {
        const uint8_t* p = m_bytes + at;
        return m_big ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                     : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }

private:
    const uint8_t* m_bytes;
    bool m_big;
};

WavParse refused(std::string why) {
    return {std::nullopt, std::move(why)};
}

std::string tagName(uint16_t tag) {
    switch (tag) {
    case 1:
        return "PCM";
    case 3:
        return "float";
    case 6:
        return "A-law";
    case 7:
        return "mu-law";
    case WAVE_FORMAT_EXTENSIBLE:
        return "extensible";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "format 0x%04X", tag);
        return text;
    }
    }
}

} // namespace

uint64_t WavHeader::frames() const {
    const bool fixedFrames = formatTag == 1 || formatTag == 3 || formatTag == 6 || formatTag == 7;
    if (!fixedFrames && factFrames)
        return *factFrames;
    return blockAlign == 0 ? 0 : dataSize / blockAlign;
}

std::string WavHeader::describe() const {
    std::string text = tagName(formatTag);
    if (formatTag == 1 || formatTag == 3 || formatTag == WAVE_FORMAT_EXTENSIBLE)
        text.append(" ").append(std::to_string(bitsPerSample)).append("-bit");
    text.append(" ")
        .append(std::to_string(sampleRate))
        .append(" Hz ")
        .append(channels == 1 ? std::string("mono") : std::to_string(channels) + " channels");
    return text;
}

WavParse parseWavHeader(const uint8_t* bytes, size_t size, uint64_t fileSize) {
    size = static_cast<size_t>(std::min<uint64_t>({size, fileSize, kWavHeadBytes}));
    if (bytes == nullptr || size == 0)
        return refused("it is empty");
    if (size < 12)
        return refused("it is too short for a RIFF header (" + std::to_string(size) + " bytes)");
    const bool riff = std::memcmp(bytes, "RIFF", 4) == 0;
    const bool rifx = std::memcmp(bytes, "RIFX", 4) == 0;
    if ((!riff && !rifx) || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return refused("it is not a RIFF WAVE file");

    const Reader r(bytes, rifx);
    WavHeader h;
    h.bigEndian = rifx;
    bool haveFormat = false;
    // Every chunk header and every body read lies within `size`; positions are 64-bit, so no
    // size field can wrap them.
    for (uint64_t pos = 12;;) {
        if (pos + 8 > size)
            return refused(haveFormat ? "it has no data chunk" : "it has no fmt chunk");
        const size_t at = static_cast<size_t>(pos);
        const uint32_t chunkSize = r.u32(at + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
            if (chunkSize < 16)
                return refused("its fmt chunk is too short (" + std::to_string(chunkSize) + " bytes)");
            if (body + chunkSize > size)
                return refused("its fmt chunk is cut short");
            const size_t b = static_cast<size_t>(body);
            h.formatTag = r.u16(b);
            h.channels = r.u16(b + 2);
            h.sampleRate = r.u32(b + 4);
            h.blockAlign = r.u16(b + 12);
            h.bitsPerSample = r.u16(b + 14);
            if (h.formatTag == WAVE_FORMAT_EXTENSIBLE) {
                if (chunkSize < 40 || r.u16(b + 16) < 22)
                    return refused("its extensible fmt chunk is too short");
                std::memcpy(h.subFormat.data(), bytes + b + 24, h.subFormat.size());
            }
            if (h.channels == 0 || h.sampleRate == 0 || h.blockAlign == 0)
                return refused("its fmt chunk gives no channels, rate or block size");
            haveFormat = true;
        } else if (std::memcmp(bytes + at, "fact", 4) == 0) {
            if (chunkSize >= 4 && body + 4 <= size)
                h.factFrames = r.u32(static_cast<size_t>(body));
        } else if (std::memcmp(bytes + at, "data", 4) == 0) {
            if (!haveFormat)
                return refused("its data chunk comes before its fmt chunk");
            if (chunkSize > fileSize - body)
                return refused("it is cut short: its data chunk holds " + std::to_string(fileSize - body) + " of " +
                               std::to_string(chunkSize) + " bytes");
            h.dataOffset = body;
            h.dataSize = chunkSize;
            return {h, {}};
        }
        pos = body + chunkSize + (chunkSize & 1u);
    }
}

} // namespace levora
