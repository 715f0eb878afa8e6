// A tagged value as the automation and registry layers pass it around.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace levora {

struct Empty {
    bool operator==(const Empty&) const = default;
};

using Variant = std::variant<Empty, int16_t, int32_t, double, std::string, std::vector<uint8_t>, bool>;

inline bool isEmpty(const Variant& v) {
    return std::holds_alternative<Empty>(v);
}

} // namespace levora
