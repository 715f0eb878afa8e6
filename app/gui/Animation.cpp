#include "Animation.h"

#include "platform/Error.h"

#include <QPainter>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace levora {

namespace {

constexpr int kMaxSide = 4096;
constexpr size_t kMaxFrames = 20000;

[[noreturn]] void badClip(const std::string& why) {
    throw Error(err::PathFileAccess, "Unable to open AVI file (" + why + ")");
}

uint32_t u32(const std::string& b, size_t at) {
    if (at + 4 > b.size())
        badClip("truncated");
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

uint16_t u16(const std::string& b, size_t at) {
    if (at + 2 > b.size())
        badClip("truncated");
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

// The stream number of a data chunk ("00db" -> 0), -1 when it has none.
int streamOf(const std::string& id) {
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
    std::vector<QRgb> palette;
};

struct Parser {
    explicit Parser(const std::string& d) : data(d) {}
    const std::string& data;
    AviClip clip;
    Format format;
    bool haveFormat = false;
    int videoStream = -1;
    int streamCount = 0;
    std::vector<uint8_t> rleIndices; // RLE frames draw over the previous frame

    void list(size_t begin, size_t end) {
        size_t at = begin;
        while (at + 8 <= end) {
            const std::string id = data.substr(at, 4);
            const uint32_t size = u32(data, at + 4);
            const size_t body = at + 8;
            if (size > end - body)
                badClip("chunk runs past its list");
            if (id == "LIST" || id == "RIFF") {
                if (size < 4)
                    badClip("empty list");
                list(body + 4, body + size);
            } else {
                chunk(id, body, size);
            }
            at = body + size + (size & 1u);
        }
    }

    void chunk(const std::string& id, size_t at, uint32_t size) {
        if (id == "avih") {
            if (size >= 4 && u32(data, at) > 0)
                clip.frameMs = std::clamp(static_cast<int>(u32(data, at) / 1000), 10, 5000);
        } else if (id == "strh") {
            if (size >= 4 && data.compare(at, 4, "vids") == 0 && videoStream < 0)
                videoStream = streamCount;
            ++streamCount;
        } else if (id == "strf") {
            if (streamCount - 1 == videoStream && !haveFormat)
                readFormat(at, size);
        } else if (id.size() == 4 && (id.compare(2, 2, "db") == 0 || id.compare(2, 2, "dc") == 0)) {
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
        const int h = std::abs(format.height);
        if (format.width <= 0 || format.width > kMaxSide || h == 0 || h > kMaxSide)
            badClip("frame size");
        const bool rgb = format.compression == 0 &&
                         (format.bits == 8 || format.bits == 16 || format.bits == 24 || format.bits == 32);
        const bool rle8 = format.compression == 1 && format.bits == 8;
        if (!rgb && !rle8)
            badClip("compressed frames");
        if (format.bits == 8) {
            if (colours == 0 || colours > 256)
                colours = 256;
            const size_t table = at + headerSize;
            for (uint32_t i = 0; i < colours && table + 4 * i + 4 <= at + size; ++i) {
                const uint32_t q = u32(data, table + 4 * i);
                format.palette.push_back(qRgb((q >> 16) & 0xFF, (q >> 8) & 0xFF, q & 0xFF));
            }
            format.palette.resize(256, qRgb(0, 0, 0));
            rleIndices.assign(static_cast<size_t>(format.width) * h, 0);
        }
        haveFormat = true;
    }

    QImage fromIndices() const {
        const int h = std::abs(format.height);
        QImage img(format.width, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            const int src = format.height > 0 ? h - 1 - y : y;
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < format.width; ++x)
                line[x] = format.palette[rleIndices[static_cast<size_t>(src) * format.width + x]];
        }
        return img;
    }

    void frame(size_t at, uint32_t size) {
        if (clip.frames.size() >= kMaxFrames)
            badClip("too many frames");
        if (size == 0) { // a repeated frame
            if (!clip.frames.empty())
                clip.frames.push_back(clip.frames.back());
            return;
        }
        if (format.compression == 1) {
            decodeRle8(at, size);
            clip.frames.push_back(fromIndices());
            return;
        }
        const int h = std::abs(format.height);
        const size_t stride = ((static_cast<size_t>(format.width) * format.bits + 31) / 32) * 4;
        if (size < stride * h)
            badClip("short frame");
        QImage img(format.width, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            const int src = format.height > 0 ? h - 1 - y : y;
            const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at + stride * src);
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < format.width; ++x) {
                switch (format.bits) {
                case 8:
                    line[x] = format.palette[p[x]];
                    break;
                case 16: {
                    const unsigned v = p[2 * x] | (p[2 * x + 1] << 8);
                    line[x] = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
                    break;
                }
                case 24:
                    line[x] = qRgb(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
                    break;
                default:
                    line[x] = qRgb(p[4 * x + 2], p[4 * x + 1], p[4 * x]);
                    break;
                }
            }
        }
        clip.frames.push_back(img);
    }

    void decodeRle8(size_t at, uint32_t size) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
        const int w = format.width;
        const int h = std::abs(format.height);
        size_t i = 0;
        int x = 0;
        int y = 0; // in stored order
        auto put = [&](unsigned char v) {
            if (x < w && y < h)
                rleIndices[static_cast<size_t>(y) * w + x] = v;
            ++x;
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
                x += p[i];
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

AviClip readAviClip(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw Error(err::FileNotFound);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(err::PathFileAccess);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "AVI ") != 0)
        badClip("not an AVI file");
    Parser parser(data);
    const size_t riffEnd = std::min<size_t>(data.size(), 8 + static_cast<size_t>(u32(data, 4)));
    parser.list(12, riffEnd);
    if (!parser.haveFormat || parser.clip.frames.empty())
        badClip("no video frames");
    return std::move(parser.clip);
}

AnimationControl::AnimationControl(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_clip.frames.empty())
            showFrame((m_frame + 1) % static_cast<int>(m_clip.frames.size()));
    });
}

void AnimationControl::open(const std::filesystem::path& file) {
    AviClip clip = readAviClip(file);
    stop();
    m_clip = std::move(clip);
    m_timer.setInterval(m_clip.frameMs);
    showFrame(0);
}

void AnimationControl::close() {
    stop();
    m_clip = {};
    m_frame = 0;
    clear();
}

void AnimationControl::play() {
    if (!m_clip.frames.empty())
        m_timer.start();
}

void AnimationControl::stop() {
    m_timer.stop();
}

void AnimationControl::showFrame(int index) {
    m_frame = index;
    setPixmap(QPixmap::fromImage(m_clip.frames[static_cast<size_t>(index)]));
}

} // namespace levora
