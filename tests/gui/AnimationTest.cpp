// Animation1's clips: uncompressed and run-length encoded AVI frames, and the clips it refuses.
#include "app/gui/Animation.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace levora {
namespace {

using test::le16;
using test::le32;
std::string chunk(const std::string& id, const std::string& body) {
    return test::riffChunk(id, body);
}
std::string list(const std::string& type, const std::string& body) {
    return chunk("LIST", type + body);
}

struct Clip {
    int width = 2;
    int height = 2; // positive: bottom-up rows
    int bits = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;
    std::vector<std::string> frames;
    uint32_t usPerFrame = 50000;
};

std::string aviBytes(const Clip& c) {
    std::string avih = le32(c.usPerFrame) + le32(0) + le32(0) + le32(0) + le32(static_cast<uint32_t>(c.frames.size())) +
                       le32(0) + le32(1) + le32(0) + le32(static_cast<uint32_t>(c.width)) +
                       le32(static_cast<uint32_t>(c.height)) + std::string(16, '\0');
    std::string strh = "vidsDIB " + le32(0) + le32(0) + le32(0) + le32(1) + le32(20) + le32(0) +
                       le32(static_cast<uint32_t>(c.frames.size())) + std::string(20, '\0');
    std::string strf = le32(40) + le32(static_cast<uint32_t>(c.width)) + le32(static_cast<uint32_t>(c.height)) +
                       le16(1) + le16(static_cast<uint16_t>(c.bits)) + le32(c.compression) + le32(0) + le32(0) +
                       le32(0) + le32(static_cast<uint32_t>(c.palette.size())) + le32(0);
    for (uint32_t rgb : c.palette)
        strf += le32(rgb);
    std::string movi;
    for (const auto& f : c.frames)
        movi += chunk("00db", f);
    const std::string body =
        "AVI " + list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf))) +
        list("movi", movi);
    return test::riffForm("", body);
}

// B, G, R bytes of a 24-bit pixel.
std::string bgr(uint32_t rgb) {
    return {static_cast<char>(rgb), static_cast<char>(rgb >> 8), static_cast<char>(rgb >> 16)};
}

class AnimationTest : public ::testing::Test {
protected:
    std::filesystem::path write(const Clip& c) {
        const auto p = dir.path() / ("clip" + std::to_string(++n) + ".avi");
        test::writeFile(p, aviBytes(c));
        return p;
    }
    test::TempDir dir;
    int n = 0;
};

TEST_F(AnimationTest, UncompressedFramesAreReadBottomUpWithTheirTiming) {
    Clip c;
    // Rows of 2 pixels, 6 bytes, padded to 8; the bottom row comes first.
    const std::string bottom = bgr(0x0000FF) + bgr(0x00FF00) + std::string(2, '\0');
    const std::string top = bgr(0xFF0000) + bgr(0xFFFFFF) + std::string(2, '\0');
    c.frames = {bottom + top, top + bottom};
    const AviClip clip = readAviClip(write(c));
    ASSERT_EQ(clip.frames.size(), 2u);
    EXPECT_EQ(clip.frameMs, 50);
    EXPECT_EQ(clip.frames[0].size(), QSize(2, 2));
    EXPECT_EQ(clip.frames[0].pixel(0, 0), qRgb(0xFF, 0, 0));
    EXPECT_EQ(clip.frames[0].pixel(1, 0), qRgb(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(clip.frames[0].pixel(0, 1), qRgb(0, 0, 0xFF));
    EXPECT_EQ(clip.frames[1].pixel(1, 1), qRgb(0xFF, 0xFF, 0xFF));
}

TEST_F(AnimationTest, PalettedAndRunLengthEncodedFrames) {
    Clip pal;
    pal.bits = 8;
    pal.palette = {0x000000, 0x123456, 0xABCDEF};
    pal.frames = {std::string("\x01\x02\0\0", 4) + std::string("\x02\x01\0\0", 4)};
    AviClip clip = readAviClip(write(pal));
    EXPECT_EQ(clip.frames[0].pixel(0, 0), qRgb(0xAB, 0xCD, 0xEF)); // top row is the second stored
    EXPECT_EQ(clip.frames[0].pixel(1, 1), qRgb(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(clip.frames[0].pixel(0, 1), qRgb(0x12, 0x34, 0x56));

    Clip rle = pal;
    rle.compression = 1;
    // Bottom row: two of index 1; end of line; top row: one of index 2, one of 0; end of bitmap.
    // The second frame only moves down a row (delta) and repaints the top row's first pixel.
    rle.frames = {std::string("\x02\x01\x00\x00\x01\x02\x01\x00\x00\x01", 10),
                  std::string("\x00\x02\x00\x01\x01\x01\x00\x01", 8)};
    clip = readAviClip(write(rle));
    ASSERT_EQ(clip.frames.size(), 2u);
    EXPECT_EQ(clip.frames[0].pixel(0, 1), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(clip.frames[0].pixel(1, 1), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(clip.frames[0].pixel(0, 0), qRgb(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(clip.frames[0].pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(clip.frames[1].pixel(0, 0), qRgb(0x12, 0x34, 0x56)) << "drawn over the previous frame";
    EXPECT_EQ(clip.frames[1].pixel(0, 1), qRgb(0x12, 0x34, 0x56));
}

TEST_F(AnimationTest, ClipsThatCannotBeShownAreRefusedWithANumberedError) {
    auto number = [](const std::filesystem::path& p) {
        try {
            readAviClip(p);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number(dir.path() / "missing.avi"), err::FileNotFound);
    test::writeFile(dir.path() / "sound.wav", "RIFF\x04\0\0\0WAVE");
    EXPECT_EQ(number(dir.path() / "sound.wav"), err::PathFileAccess);
    Clip mjpeg;
    mjpeg.compression = 0x47504A4D;
    mjpeg.frames = {std::string(16, '\0')};
    EXPECT_EQ(number(write(mjpeg)), err::PathFileAccess);
    Clip shortFrame;
    shortFrame.frames = {std::string(5, '\0')};
    EXPECT_EQ(number(write(shortFrame)), err::PathFileAccess);
    Clip huge;
    huge.width = 100000;
    huge.frames = {std::string(16, '\0')};
    EXPECT_EQ(number(write(huge)), err::PathFileAccess);
    Clip whole;
    whole.frames = {std::string(16, '\0')};
    const std::string cut = aviBytes(whole);
    test::writeFile(dir.path() / "cut.avi", cut.substr(0, cut.size() - 10));
    EXPECT_EQ(number(dir.path() / "cut.avi"), err::PathFileAccess);
}

TEST_F(AnimationTest, ThePlayerLoopsUntilStopped) {
    Clip c;
    c.usPerFrame = 10000;
    c.frames = {std::string(16, '\x10'), std::string(16, '\x20'), std::string(16, '\x30')};
    AnimationControl player;
    player.open(write(c));
    EXPECT_EQ(player.frameCount(), 3);
    EXPECT_FALSE(player.pixmap().isNull());
    player.play();
    EXPECT_TRUE(player.isPlaying());
    int seen = 0, last = player.currentFrame();
    QElapsedTimer t;
    t.start();
    while (seen < 4 && t.elapsed() < 10000) { // four changes: it went round
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (player.currentFrame() != last) {
            last = player.currentFrame();
            ++seen;
        }
    }
    EXPECT_EQ(seen, 4);
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_THROW(player.open(dir.path() / "none.avi"), Error);
    EXPECT_EQ(player.frameCount(), 3) << "a failed open keeps the clip";
}

} // namespace
} // namespace levora

namespace levora {
namespace {

// The clip the build puts beside the program must be one the player can show, and it must move.
TEST(ShippedClip, FilecopyClipLoadsAndItsFramesDiffer) {
    const AviClip clip = readAviClip(test::binDir() / "filecopy.avi");
    ASSERT_GE(clip.frames.size(), 2u);
    EXPECT_EQ(clip.frameMs, 80);
    EXPECT_NE(clip.frames.front(), clip.frames[clip.frames.size() / 2]);
}

} // namespace
} // namespace levora
