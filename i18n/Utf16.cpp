#include "Utf16.h"

namespace levora {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

void appendUtf16(char32_t c, std::u16string& out) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

} // namespace

std::string toUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            appendUtf8(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00), out);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(kReplacement, out); // a lone surrogate
        } else {
            appendUtf8(u, out);
        }
    }
    return out;
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
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
            appendUtf16(kReplacement, out);
            ++i;
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
            appendUtf16(kReplacement, out);
            i += k; // resynchronise on the byte that broke the sequence
            continue;
        }
        appendUtf16(c, out);
        i += len;
    }
    return out;
}

} // namespace levora
