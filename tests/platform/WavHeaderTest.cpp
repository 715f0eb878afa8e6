// The WAV header reader against well-formed files of several layouts and against damaged ones.
#include "platform/WavHeader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace levora;
using levora::test::le32;
using levora::test::pcmWav;

namespace {

WavParse parse(const std::string& bytes, uint64_t fileSize) {
    return parseWavHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), fileSize);
}
WavParse parse(const std::string& bytes) {
    return parse(bytes, bytes.size());
}

std::string riff(const std::string& chunks) {
    return test::riffForm("WAVE", chunks);
}
std::string chunk(const char* id, const std::string& body) {
    return test::riffChunk(std::string(id, 4), body);
}
// fmt body: tag, channels, rate, byte rate, block align, bits.
std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits) {
    std::string b;
    b += static_cast<char>(tag & 0xFF);
    b += static_cast<char>(tag >> 8);
    b += static_cast<char>(channels & 0xFF);
    b += static_cast<char>(channels >> 8);
    b += le32(rate) + le32(rate * blockAlign);
    b += static_cast<char>(blockAlign & 0xFF);
    b += static_cast<char>(blockAlign >> 8);
    b += static_cast<char>(bits & 0xFF);
    b += static_cast<char>(bits >> 8);
    return b;
}

TEST(WavHeader, ReadsTheFormatAndWhereTheAudioLies) {
    // A LIST chunk of odd size (padded) before fmt, a fact chunk for a compressed format, RIFX.
    const std::string ima =
        riff(chunk("LIST", "odd") + chunk("fmt ", fmtBody(0x11, 1, 8000, 256, 4) + std::string("\x02\x00\xF9\x01", 4)) +
             chunk("fact", le32(1010)) + chunk("data", std::string(512, '\0')));
    std::string rifx = pcmWav("abcdef", 8000, 1, 16);
    std::memcpy(rifx.data(), "RIFX", 4);
    // Big-endian fields: fmt size 16, tag 1, rate 8000 = 0x1F40, channels 1, block align 2, bits 16, data size 6.
    rifx.replace(16, 4, std::string("\x00\x00\x00\x10", 4));
    rifx.replace(20, 4, std::string("\x00\x01\x00\x01", 4));
    rifx.replace(24, 4, std::string("\x00\x00\x1F\x40", 4));
    rifx.replace(32, 4, std::string("\x00\x02\x00\x10", 4));
    rifx.replace(40, 4, std::string("\x00\x00\x00\x06", 4));
    struct Case {
        const char* name;
        std::string bytes;
        uint16_t tag, channels;
        uint32_t rate;
        uint64_t dataOffset, dataSize, frames;
    } cases[] = {
        {"PCM 8-bit", pcmWav("original"), 1, 1, 8000, 44, 8, 8},
        {"PCM 16-bit stereo", pcmWav(std::string(16, 'x'), 44100, 2, 16), 1, 2, 44100, 44, 16, 4},
        {"IMA ADPCM with fact", ima, 0x11, 1, 8000, 12 + 12 + 8 + 20 + 12 + 8, 512, 1010},
        {"RIFX", rifx, 1, 1, 8000, 44, 6, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WavParse p = parse(c.bytes);
        ASSERT_TRUE(p.header) << p.problem;
        EXPECT_EQ(p.header->formatTag, c.tag);
        EXPECT_EQ(p.header->channels, c.channels);
        EXPECT_EQ(p.header->sampleRate, c.rate);
        EXPECT_EQ(p.header->dataOffset, c.dataOffset);
        EXPECT_EQ(p.header->dataSize, c.dataSize);
        EXPECT_EQ(p.header->frames(), c.frames);
    }
    // Only the head needs to be given: the audio may lie beyond it.
    const std::string big = pcmWav(std::string(100000, 'a'));
    const WavParse head = parse(big.substr(0, 64), big.size());
    ASSERT_TRUE(head.header) << head.problem;
    EXPECT_EQ(head.header->frames(), 100000u);
}

TEST(WavHeader, DamagedOrHostileInputGivesAReason) {
    const std::string good = pcmWav("original");
    std::string hugeChunk = riff(chunk("fmt ", fmtBody(1, 1, 8000, 1, 8)));
    hugeChunk += "JUNK" + le32(0xFFFFFFFFu) + "data" + le32(8) + "original"; // skips past the end
    struct Case {
        const char* name;
        std::string bytes;
        uint64_t fileSize;
        const char* problem;
    } cases[] = {
        {"empty", "", 0, "it is empty"},
        {"short", "RIFF", 4, "too short"},
        {"not RIFF", std::string("RIFF\0\0\0\0AVI LIST", 16), 16, "not a RIFF WAVE file"},
        {"no fmt", riff(chunk("data", "abc")), 0, "data chunk comes before its fmt chunk"},
        {"fmt too short", riff(chunk("fmt ", "\x01\x00")), 0, "fmt chunk is too short"},
        {"no channels", riff(chunk("fmt ", fmtBody(1, 0, 8000, 1, 8)) + chunk("data", "ab")), 0, "no channels"},
        {"no rate", riff(chunk("fmt ", fmtBody(1, 1, 0, 1, 8)) + chunk("data", "ab")), 0, "no channels, rate"},
        {"extensible too short", riff(chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 1, 8))), 0, "extensible"},
        {"cut in the audio", good.substr(0, 48), 48, "cut short: its data chunk holds 4 of 8 bytes"},
        {"cut in the fmt chunk", good.substr(0, 30), 30, "fmt chunk is cut short"},
        {"no data chunk", riff(chunk("fmt ", fmtBody(1, 1, 8000, 1, 8))), 0, "no data chunk"},
        {"a chunk size past the end", hugeChunk, 0, "no data chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WavParse p = parse(c.bytes, c.fileSize ? c.fileSize : c.bytes.size());
        EXPECT_FALSE(p.header);
        EXPECT_NE(p.problem.find(c.problem), std::string::npos) << p.problem;
    }
    // Every cut of a valid file, at every length, is refused without reading past what it is given.
    const std::string ext =
        riff(chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 2, 16) + std::string("\x16\x00", 2) + std::string(22, '\x01')) +
             chunk("fact", le32(3)) + chunk("data", "abcdef"));
    ASSERT_TRUE(parse(ext).header) << parse(ext).problem;
    for (size_t n = 0; n < ext.size(); ++n) {
        const std::vector<uint8_t> cut(ext.begin(), ext.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(parseWavHeader(cut.data(), cut.size(), n).header) << n;
    }
}

} // namespace
