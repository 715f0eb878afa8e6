// The host release in the host's own notation, "3.1(5)", and its two registry encodings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace levora::demohost {

struct ReleaseNumber {
    int major = 0, minor = 0, release = 0, build = 0;
    bool operator==(const ReleaseNumber&) const = default;
};

// "3.1(5)", "3.1(5).12" (build 12) or "3.1.5.12". Empty when malformed or out of the
// 16-bit range the program reads the numbers into.
std::optional<ReleaseNumber> parseRelease(const std::string& text);
std::string formatRelease(const ReleaseNumber& v);

// The older layout keeps major/minor in "Version Number" and release/build in "Build Number".
// The program reads the hexadecimal digits of the first three as decimal digits, and the build
// as a plain hexadecimal number, so major, minor and release are stored digit by digit.
struct PackedRelease {
    uint32_t versionNumber = 0;
    uint32_t buildNumber = 0;
};
// Empty when a number cannot be written that way (major, minor or release above 9999).
std::optional<PackedRelease> packOldLayout(const ReleaseNumber& v);

} // namespace levora::demohost
