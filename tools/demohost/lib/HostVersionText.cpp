#include "HostVersionText.h"

#include <regex>

namespace levora::demohost {
namespace {

std::optional<uint32_t> digitsAsHex(int value) {
    if (value < 0 || value > 9999)
        return std::nullopt;
    uint32_t packed = 0;
    for (int shift = 0; value > 0; shift += 4, value /= 10)
        packed |= static_cast<uint32_t>(value % 10) << shift;
    return packed;
}

} // namespace

std::optional<ReleaseNumber> parseRelease(const std::string& text) {
    static const std::regex host(R"(^\s*(\d{1,5})\.(\d{1,5})\((\d{1,5})\)(?:\.(\d{1,5}))?\s*$)");
    static const std::regex dotted(R"(^\s*(\d{1,5})\.(\d{1,5})\.(\d{1,5})\.(\d{1,5})\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, host) && !std::regex_match(text, m, dotted))
        return std::nullopt;
    ReleaseNumber v;
    int* fields[] = {&v.major, &v.minor, &v.release, &v.build};
    for (int i = 0; i < 4; ++i) {
        if (!m[i + 1].matched)
            continue;
        const int n = std::stoi(m[i + 1].str());
        if (n > 32767)
            return std::nullopt;
        *fields[i] = n;
    }
    return v;
}

std::string formatRelease(const ReleaseNumber& v) {
    std::string s = std::to_string(v.major) + "." + std::to_string(v.minor) + "(" + std::to_string(v.release) + ")";
    if (v.build != 0) { // appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + std::string at -O3
        s += '.';
        s += std::to_string(v.build);
    }
    return s;
}

std::optional<PackedRelease> packOldLayout(const ReleaseNumber& v) {
    const auto major = digitsAsHex(v.major), minor = digitsAsHex(v.minor), release = digitsAsHex(v.release);
    if (!major || !minor || !release || v.build < 0 || v.build > 0x7FFF)
        return std::nullopt;
    return PackedRelease{(*major << 16) | *minor, (*release << 16) | static_cast<uint32_t>(v.build)};
}

} // namespace levora::demohost
