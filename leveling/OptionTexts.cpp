#include "leveling/OptionTexts.h"

#include "platform/Error.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace levora {

double NumberOfText(const std::string& text) {
    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact += c;

    auto digit = [&](size_t i) { return i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i])); };
    size_t i = 0;
    std::string number;
    if (i < compact.size() && (compact[i] == '-' || compact[i] == '+'))
        number += compact[i++];
    bool digits = false;
    while (digit(i)) {
        number += compact[i++];
        digits = true;
    }
    if (i < compact.size() && compact[i] == '.') {
        number += compact[i++];
        while (digit(i)) {
            number += compact[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    // An exponent (E, or D as the runtime also reads it) only counts when digits follow.
    if (i < compact.size() && std::strchr("eEdD", compact[i])) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < compact.size() && (compact[j] == '-' || compact[j] == '+'))
            exponent += compact[j++];
        if (digit(j)) {
            while (digit(j))
                exponent += compact[j++];
            number += exponent;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    if (std::isinf(value))
        throw Error(err::Overflow);
    return value;
}

} // namespace levora
