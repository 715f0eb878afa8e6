// Writes filecopy.avi: a short looping clip of a sheet flying from one folder to another, as
// uncompressed 24-bit DIB frames so the animation control needs no codec.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 272;
constexpr int kHeight = 28;
constexpr int kFrames = 16;
constexpr int kFrameMs = 80;

struct Rgb {
    uint8_t r, g, b;
};

class Frame {
public:
    Frame() : m_px(static_cast<size_t>(kWidth) * kHeight, Rgb{236, 233, 216}) {}
    void rect(int x0, int y0, int w, int h, Rgb c) {
        for (int y = std::max(0, y0); y < std::min(kHeight, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(kWidth, x0 + w); ++x)
                m_px[static_cast<size_t>(y) * kWidth + x] = c;
    }
    // Bottom-up rows, BGR, each row padded to four bytes.
    std::string dib() const {
        const int stride = (kWidth * 3 + 3) & ~3;
        std::string out(static_cast<size_t>(stride) * kHeight, '\0');
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Rgb& p = m_px[static_cast<size_t>(kHeight - 1 - y) * kWidth + x];
                char* d = &out[static_cast<size_t>(y) * stride + 3 * x];
                d[0] = static_cast<char>(p.b);
                d[1] = static_cast<char>(p.g);
                d[2] = static_cast<char>(p.r);
            }
        return out;
    }

private:
    std::vector<Rgb> m_px;
};

void folder(Frame& f, int x) {
    f.rect(x, 8, 12, 4, {200, 160, 40});
    f.rect(x, 11, 34, 16, {240, 200, 70});
    f.rect(x, 26, 34, 1, {150, 110, 20});
}

Frame drawFrame(int i) {
    Frame f;
    folder(f, 16);
    folder(f, kWidth - 50);
    const double t = static_cast<double>(i) / kFrames;
    const int x = 40 + static_cast<int>(t * (kWidth - 100));
    const int y = 10 - static_cast<int>(8 * std::sin(t * 3.14159265));
    f.rect(x, y, 14, 17, {90, 90, 90});
    f.rect(x + 1, y + 1, 12, 15, {255, 255, 255});
    for (int line = 0; line < 4; ++line)
        f.rect(x + 3, y + 4 + 3 * line, 8, 1, {70, 110, 200});
    return f;
}

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string le16(uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string chunk(const std::string& id, const std::string& body) {
    std::string c = id + le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() & 1)
        c += '\0';
    return c;
}
std::string list(const std::string& type, const std::string& body) {
    return chunk("LIST", type + body);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_filecopy_clip OUTPUT.avi\n");
        return 2;
    }
    const uint32_t frameBytes = static_cast<uint32_t>(((kWidth * 3 + 3) & ~3) * kHeight);

    std::string avih = le32(kFrameMs * 1000) + le32(frameBytes * 1000 / kFrameMs) + le32(0) + le32(0x10) +
                       le32(kFrames) + le32(0) + le32(1) + le32(frameBytes) + le32(kWidth) + le32(kHeight) +
                       std::string(16, '\0');
    std::string strh = std::string("vids") + "DIB " + le32(0) + le16(0) + le16(0) + le32(0) + le32(kFrameMs) +
                       le32(1000) + le32(0) + le32(kFrames) + le32(frameBytes) + le32(0xFFFFFFFF) + le32(0) + le16(0) +
                       le16(0) + le16(kWidth) + le16(kHeight);
    std::string strf = le32(40) + le32(kWidth) + le32(kHeight) + le16(1) + le16(24) + le32(0) + le32(frameBytes) +
                       le32(0) + le32(0) + le32(0) + le32(0);
    std::string hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));

    std::string movi;
    std::string idx;
    for (int i = 0; i < kFrames; ++i) {
        idx += std::string("00db") + le32(0x10) + le32(static_cast<uint32_t>(4 + movi.size())) + le32(frameBytes);
        movi += chunk("00db", drawFrame(i).dib());
    }
    std::string riff = chunk("RIFF", std::string("AVI ") + hdrl + list("movi", movi) + chunk("idx1", idx));

    const std::string out = argv[1];
    const std::string tmp = out + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f << riff;
        if (!f.flush()) {
            std::fprintf(stderr, "make_filecopy_clip: cannot write %s\n", tmp.c_str());
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "make_filecopy_clip: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
