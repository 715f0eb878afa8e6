// Helpers of the demo host tests: a small host built once, and a child process on pipes.
#pragma once

#include "DemoHost.h"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace levora::demohost::test {

// Options for a quick host: a few short greetings.
CreateOptions smallHost(uint64_t seed = 7);
// A host built once for the tests that only read it.
const std::filesystem::path& sharedHost();
// A fresh copy of the shared host in folder, for tests that change it.
std::filesystem::path copyOfSharedHost(const std::filesystem::path& folder);

std::filesystem::path demohostProgram();
std::filesystem::path bridgeProgram();

// Every regular file below a folder, relative, sorted.
std::vector<std::string> filesBelow(const std::filesystem::path& folder);

// A program on pipes: lines to its input, lines from its output.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void send(const std::string& line);
    struct Read {
        enum class Kind { Line, Timeout, Eof } kind = Kind::Timeout;
        std::string text; // the line, or what came before the end of output
    };
    Read readLine(int timeoutMs);
    void closeInput();
    // Exit code, 128 + signal when killed, -1 when it did not end within timeoutMs.
    int wait(int timeoutMs = 10000);

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    bool m_reaped = false;
    int m_exit = -1;
};

} // namespace levora::demohost::test
