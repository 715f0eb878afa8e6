#include "Text.h"

#include <algorithm>

namespace levora {

namespace {

char lowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string_view trimView(std::string_view s, std::string_view blanks) {
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

std::string trim(std::string_view s, std::string_view blanks) {
    return std::string(trimView(s, blanks));
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = lowerChar(c);
    return s;
}

std::string upperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(),
                                                   [](char a, char b) { return lowerChar(a) == lowerChar(b); });
}

} // namespace levora
