#include "AviReader.h"

#include "platform/Error.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace levora {

namespace {

constexpr int kMaxSide = 4096;
constexpr size_t kMaxFrames = 20000;
// RIFF, hdrl, strl and the odml lists nest three or four deep; the limit keeps the recursion
// off the end of the stack whatever a file claims.
constexpr int kMaxListDepth = 16;

[[noreturn]] void badClip(const std::string& why) {
    throw Error(err::PathFileAccess, "Unable to open AVI file (" + why + ")");
}

uint32_t u32(std::string_view b, size_t at) {
    if (at > b.size() || b.size() - at < 4)
        badClip("truncated");
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

uint16_t u16(std::string_view b, size_t at) {
    if (at > b.size() || b.size() - at < 2)
        badClip("truncated");
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

uint32_t rgb(unsigned r, unsigned g, unsigned b) {
    return 0xFF000000u | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

// The stream number of a data chunk ("00db" -> 0), -1 when it has none.
int streamOf(std::string_view id) {
    if (id.size() < 2 || !std::isdigit(static_cast<unsigned char>(id[0])) ||
        !std::isdigit(static_cast<unsigned char>(id[1])))
        return -1;
    return (id[0] - '0') * 10 + (id[1] - '0');
}

struct Format {
    int width = 0;
    int height = 0; // positive: rows stored bottom-up
    int bits = 0;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;
};

struct Parser {
    explicit Parser(std::string_view d) : data(d) {}
    std::string_view data;
    AviVideo video;
    Format format;
    bool haveFormat = false;
    int videoStream = -1;
    int streamCount = 0;
    uint64_t pixels = 0;             // held by the decoded frames so far
    std::vector<uint8_t> rleIndices; // RLE frames draw over the previous frame

    void list(size_t begin, size_t end, int depth) {
        if (depth > kMaxListDepth)
            badClip("lists nested too deeply");
        size_t at = begin;
        while (at + 8 <= end) {
            const std::string_view id = data.substr(at, 4);
            const uint32_t size = u32(data, at + 4);
            const size_t body = at + 8;
            if (size > end - body)
                badClip("chunk runs past its list");
            if (id == "LIST" || id == "RIFF") {
                if (size < 4)
                    badClip("empty list");
                list(body + 4, body + size, depth + 1);
            } else {
                chunk(id, body, size);
            }
            at = body + size + (size & 1u);
        }
    }

    void chunk(std::string_view id, size_t at, uint32_t size) {
        if (id == "avih") {
            if (size >= 4 && u32(data, at) > 0)
                video.frameMs = std::clamp(static_cast<int>(u32(data, at) / 1000), 10, 5000);
        } else if (id == "strh") {
            if (size >= 4 && data.substr(at, 4) == "vids" && videoStream < 0)
                videoStream = streamCount;
            ++streamCount;
        } else if (id == "strf") {
            if (streamCount - 1 == videoStream && !haveFormat)
                readFormat(at, size);
        } else if (id.size() == 4 && (id.substr(2, 2) == "db" || id.substr(2, 2) == "dc")) {
            if (haveFormat && streamOf(id) == videoStream)
                frame(at, size);
        }
    }

    void readFormat(size_t at, uint32_t size) {
        if (size < 40)
            badClip("short format");
        format.width = static_cast<int32_t>(u32(data, at + 4));
        format.height = static_cast<int32_t>(u32(data, at + 8));
        format.bits = u16(data, at + 14);
        format.compression = u32(data, at + 16);
        const uint32_t headerSize = u32(data, at);
        uint32_t colours = u32(data, at + 32);
        if (format.width <= 0 || format.width > kMaxSide || format.height == 0 || format.height < -kMaxSide ||
            format.height > kMaxSide)
            badClip("frame size");
        const int h = std::abs(format.height);
        const bool rgbFrames = format.compression == 0 &&
                               (format.bits == 8 || format.bits == 16 || format.bits == 24 || format.bits == 32);
        const bool rle8 = format.compression == 1 && format.bits == 8;
        if (!rgbFrames && !rle8)
            badClip("compressed frames");
        if (format.bits == 8) {
            if (colours == 0 || colours > 256)
                colours = 256;
            const uint64_t table = uint64_t(at) + headerSize;
            for (uint32_t i = 0; i < colours && table + 4 * i + 4 <= uint64_t(at) + size; ++i) {
                const uint32_t q = u32(data, static_cast<size_t>(table + 4 * i));
                format.palette.push_back(rgb(q >> 16, q >> 8, q));
            }
            format.palette.resize(256, rgb(0, 0, 0));
            rleIndices.assign(static_cast<size_t>(format.width) * h, 0);
        }
        haveFormat = true;
    }

    AviImage& newImage() {
        const int h = std::abs(format.height);
        pixels += static_cast<uint64_t>(format.width) * h;
        if (pixels > kMaxAviPixels)
            badClip("frames too large");
        auto img = std::make_shared<AviImage>();
        img->width = format.width;
        img->height = h;
        img->pixels.resize(static_cast<size_t>(format.width) * h);
        AviImage& out = *img;
        video.frames.push_back(std::move(img));
        return out;
    }

    void fromIndices() {
        AviImage& img = newImage();
        const int h = img.height;
        const size_t w = static_cast<size_t>(format.width);
        for (int y = 0; y < h; ++y) {
            const size_t src = static_cast<size_t>(format.height > 0 ? h - 1 - y : y);
            for (size_t x = 0; x < w; ++x)
                img.pixels[static_cast<size_t>(y) * w + x] = format.palette[rleIndices[src * w + x]];
        }
    }

    void frame(size_t at, uint32_t size) {
        if (video.frames.size() >= kMaxFrames)
            badClip("too many frames");
        if (size == 0) { // a repeated frame
            if (!video.frames.empty())
                video.frames.push_back(video.frames.back());
            return;
        }
        if (format.compression == 1) {
            decodeRle8(at, size);
            fromIndices();
            return;
        }
        const int h = std::abs(format.height);
        const size_t stride = ((static_cast<size_t>(format.width) * format.bits + 31) / 32) * 4;
        if (size < stride * h)
            badClip("short frame");
        AviImage& img = newImage();
        const size_t w = static_cast<size_t>(format.width);
        for (int y = 0; y < h; ++y) {
            const int src = format.height > 0 ? h - 1 - y : y;
            const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at + stride * src);
            uint32_t* line = img.pixels.data() + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; ++x) {
                switch (format.bits) {
                case 8:
                    line[x] = format.palette[p[x]];
                    break;
                case 16: {
                    const unsigned v = p[2 * x] | (p[2 * x + 1] << 8);
                    line[x] = rgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
                    break;
                }
                case 24:
                    line[x] = rgb(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
                    break;
                default:
                    line[x] = rgb(p[4 * x + 2], p[4 * x + 1], p[4 * x]);
                    break;
                }
            }
        }
    }

    void decodeRle8(size_t at, uint32_t size) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
        const int w = format.width;
        const int h = std::abs(format.height);
        size_t i = 0;
        int x = 0;
        int y = 0; // in stored order
        // x stops at the right edge: what lies beyond is dropped, however far a hostile frame moves.
        auto put = [&](unsigned char v) {
            if (x < w && y < h)
                rleIndices[static_cast<size_t>(y) * w + x] = v;
            x = std::min(x + 1, w);
        };
        while (i + 1 < size && y < h) {
            const unsigned char count = p[i];
            const unsigned char value = p[i + 1];
            i += 2;
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(value);
            } else if (value == 0) {
                x = 0;
                ++y;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                if (i + 1 >= size)
                    break;
                x = std::min(x + p[i], w);
                y += p[i + 1];
                i += 2;
            } else {
                if (i + value > size)
                    badClip("short frame");
                for (int k = 0; k < value; ++k)
                    put(p[i + static_cast<size_t>(k)]);
                i += value + (value & 1u);
            }
        }
    }
};

} // namespace

AviVideo parseAvi(std::string_view data) {
    if (data.size() < 12 || data.substr(0, 4) != "RIFF" || data.substr(8, 4) != "AVI ")
        badClip("not an AVI file");
    Parser parser(data);
    const size_t riffEnd = std::min<size_t>(data.size(), 8 + static_cast<size_t>(u32(data, 4)));
    parser.list(12, riffEnd, 1);
    if (!parser.haveFormat || parser.video.frames.empty())
        badClip("no video frames");
    return std::move(parser.video);
}

} // namespace levora
