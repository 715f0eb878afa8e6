#include "Utf16.h"

namespace levora {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEscapeBase = 0xDC00;

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// `count` UTF-16 units, unit(i) giving the i-th, to UTF-8; escaped: lone U+DC80..U+DCFF are bytes.
template <typename Unit> std::string unitsToUtf8(size_t count, Unit unit, bool escaped = false) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char32_t u = unit(i);
        if (isHighSurrogate(u) && i + 1 < count && isLowSurrogate(unit(i + 1))) {
            appendUtf8(0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00), out);
            ++i;
        } else if (escaped && u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            appendUtf8(kReplacement, out); // a lone surrogate
        } else {
            appendUtf8(u, out);
        }
    }
    return out;
}

// UTF-8 to UTF-16 units, each handed to put().
template <typename Put> void utf8ToUnits(std::string_view s, BadUtf8 bad, Put put) {
    auto putCodePoint = [&](char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (c >> 10)));
            put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            put(static_cast<char16_t>(c));
        }
    };
    // A broken sequence of `taken` bytes starting at s[i]; returns the bytes to skip.
    auto putBroken = [&](size_t i, size_t taken) -> size_t {
        if (bad != BadUtf8::Replace) {
            const char16_t byte = static_cast<unsigned char>(s[i]);
            put(static_cast<char16_t>(bad == BadUtf8::Escape ? kEscapeBase + byte : byte));
            return 1; // the bytes after the first are looked at again on their own
        }
        put(static_cast<char16_t>(kReplacement));
        return taken; // resynchronise on the byte that broke the sequence
    };
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        char32_t c = 0, min = 0;
        if (b < 0x80) {
            len = 1, c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, c = b & 0x07, min = 0x10000;
        } else {
            i += putBroken(i, 1);
            continue;
        }
        size_t k = 1;
        for (; k < len && i + k < s.size(); ++k) {
            const unsigned char cont = static_cast<unsigned char>(s[i + k]);
            if ((cont & 0xC0) != 0x80)
                break;
            c = (c << 6) | (cont & 0x3F);
        }
        if (k < len || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            i += putBroken(i, k);
            continue;
        }
        putCodePoint(c);
        i += len;
    }
}

} // namespace

std::string toUtf8(std::u16string_view s) {
    return unitsToUtf8(s.size(), [&](size_t i) { return char32_t(s[i]); });
}

std::u16string toUtf16(std::string_view s, BadUtf8 bad) {
    std::u16string out;
    out.reserve(s.size());
    utf8ToUnits(s, bad, [&](char16_t u) { out += u; });
    return out;
}

std::string toUtf8Escaped(std::u16string_view s) {
    return unitsToUtf8(
        s.size(), [&](size_t i) { return char32_t(s[i]); }, true);
}

std::string utf16leToUtf8(const uint8_t* p, size_t n) {
    return unitsToUtf8(n / 2, [&](size_t i) { return char32_t(p[2 * i] | (p[2 * i + 1] << 8)); });
}

std::vector<uint8_t> utf8ToUtf16le(const uint8_t* p, size_t n, BadUtf8 bad) {
    std::vector<uint8_t> out;
    out.reserve(n * 2);
    utf8ToUnits(std::string_view(reinterpret_cast<const char*>(p), n), bad, [&](char16_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    });
    return out;
}

} // namespace levora
