// The AVI reader's bounds against hostile clips (the decoding itself is tested through the player).
#include "app/AviReader.h"
#include "platform/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace levora {
namespace {

using test::le32;
std::string chunk(const std::string& id, const std::string& body) {
    return test::riffChunk(id, body);
}
std::string riff(const std::string& body) {
    return test::riffForm("AVI ", body);
}
// A video stream of 8-bit run-length frames of the given size.
std::string rleStream(uint32_t width, uint32_t height) {
    const std::string strf =
        le32(40) + le32(width) + le32(height) + std::string("\1\0\x08\0", 4) + le32(1) + std::string(20, '\0');
    return chunk("LIST", "strl" + chunk("strh", "vids" + std::string(52, '\0')) + chunk("strf", strf));
}

TEST(AviReader, HostileClipsAreRefusedWithinBoundedTimeMemoryAndStack) {
    // Lists nested two hundred thousand deep: the stack, not the file, would run out.
    std::string nested;
    for (uint32_t level = 200000; level > 0; --level) // each level: 12 bytes around the one inside
        nested += "LIST" + le32(4 + 8 + 12 * (level - 1)) + "deep";
    nested += chunk("JUNK", "");
    // Two-byte frames that each decode to a 4096 x 4096 picture: 64 MB apiece.
    std::string frames;
    for (int i = 0; i < 200; ++i)
        frames += chunk("00dc", std::string("\0\1", 2));
    // A height of -2^31 has no magnitude.
    const std::string cases[] = {riff(nested), riff(rleStream(4096, 4096) + chunk("LIST", "movi" + frames)),
                                 riff(rleStream(4, 0x80000000u) + chunk("LIST", "movi" + frames))};
    for (const auto& clip : cases) {
        try {
            parseAvi(clip);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PathFileAccess);
        }
    }
}

} // namespace
} // namespace levora
