// UTF-8 (the program's strings) <-> UTF-16 (the strings of resource libraries and of the font
// faces the language sets). Ill-formed input becomes U+FFFD rather than failing: a damaged
// library string must still show as text.
#pragma once

#include <string>
#include <string_view>

namespace levora {

std::string toUtf8(std::u16string_view s);
std::u16string toUtf16(std::string_view s);

} // namespace levora
