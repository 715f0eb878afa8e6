// Small text helpers for ASCII keywords, switches and language codes. Names of files and folders
// compare by upperForm / equalsNoCase (WinPath.h), which fold more than ASCII.
#pragma once

#include <string>
#include <string_view>

namespace levora {

// s without the leading and trailing characters listed in blanks.
std::string trim(std::string_view s, std::string_view blanks = " \t\r\n");
// The same as a view into s, for parsers that must not copy every line.
std::string_view trimView(std::string_view s, std::string_view blanks = " \t\r\n");
std::string lowerAscii(std::string s);
std::string upperAscii(std::string s);
// Whether s begins with prefix, ASCII letters compared without regard to case.
bool startsWithNoCase(std::string_view s, std::string_view prefix);

} // namespace levora
