// The gain tool's failures, each with the exit status it ends the process with.
#pragma once

#include <stdexcept>
#include <string>

namespace gainfix {

enum class Failure {
    Usage = 2,       // bad or missing arguments
    Source = 3,      // source missing, unreadable, not a WAV file, damaged
    Destination = 4, // destination cannot be written
};

class ToolError : public std::runtime_error {
public:
    ToolError(Failure kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    Failure kind() const noexcept { return m_kind; }
    int exitCode() const noexcept { return static_cast<int>(m_kind); }

private:
    Failure m_kind;
};

} // namespace gainfix
