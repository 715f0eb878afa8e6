// UTF-8 (the program's strings) <-> UTF-16 (resource library strings, font faces, the text values
// of registry files). A lone surrogate in UTF-16 becomes U+FFFD. What ill-formed UTF-8 becomes is
// the caller's choice: a damaged string that is shown must still show as text (U+FFFD), while the
// registry takes a stray byte from an A call as the Latin-1 character it most likely meant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace levora {

enum class BadUtf8 {
    Replace, // each broken sequence becomes one U+FFFD
    Latin1,  // each byte outside a valid sequence stands for itself (U+0000..U+00FF)
    Escape,  // each byte outside a valid sequence becomes the lone surrogate U+DC00 + byte, which
             // toUtf8Escaped turns back into that byte: host file names survive a round trip
};

std::string toUtf8(std::u16string_view s);
std::u16string toUtf16(std::string_view s, BadUtf8 bad);
// The inverse of toUtf16(s, BadUtf8::Escape): U+DC80..U+DCFF alone become their byte again.
std::string toUtf8Escaped(std::u16string_view s);

// The same on UTF-16LE bytes, as files and the registry hold them; an odd last byte is dropped.
std::string utf16leToUtf8(const uint8_t* p, size_t n);
std::vector<uint8_t> utf8ToUtf16le(const uint8_t* p, size_t n, BadUtf8 bad);

} // namespace levora
