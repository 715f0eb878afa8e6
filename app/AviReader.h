// The frames of an AVI clip without sound, decoded as the platform's animation control decodes
// them: uncompressed DIB frames (8, 16, 24 or 32 bits) or 8-bit run-length encoded ones.
// Qt-free: the animation player turns the frames into images.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace levora {

// One decoded frame: rows top-down, pixels 0xFFRRGGBB.
struct AviImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

struct AviVideo {
    // A repeated frame (an empty data chunk) shares the image before it.
    std::vector<std::shared_ptr<const AviImage>> frames;
    int frameMs = 100;
};

// The video of a clip held in memory. Throws Error 75 when it is not a clip this player can show,
// including one whose frames would take more than kMaxAviPixels pixels to hold.
AviVideo parseAvi(std::string_view data);

// Bounds the memory a hostile clip can claim: a two-byte run-length frame decodes to a whole
// picture. 512 K pixels (2 MB) is four times the clip the program ships.
constexpr uint64_t kMaxAviPixels = 512u * 1024;

} // namespace levora
