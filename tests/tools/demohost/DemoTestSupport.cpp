#include "DemoTestSupport.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace levora::demohost::test {

namespace fs = std::filesystem;

CreateOptions smallHost(uint64_t seed) {
    CreateOptions o;
    o.greetings = 4;
    o.seconds = 1.5;
    o.seed = seed;
    o.bridgeProgram = bridgeProgram();
    return o;
}

const fs::path& sharedHost() {
    static std::unique_ptr<levora::test::TempDir> dir;
    static fs::path prefix;
    if (!dir) {
        dir = std::make_unique<levora::test::TempDir>();
        prefix = dir->path() / "prefix";
        createHost(prefix, smallHost());
    }
    return prefix;
}

fs::path copyOfSharedHost(const fs::path& folder) {
    const fs::path target = folder / "prefix";
    fs::copy(sharedHost(), target, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // As the host left them: the database knows the files by their times too.
    for (const auto& e : fs::recursive_directory_iterator(sharedHost()))
        if (e.is_regular_file() && !e.is_symlink())
            fs::last_write_time(target / fs::relative(e.path(), sharedHost()), e.last_write_time());
    return target;
}

fs::path demohostProgram() {
    return levora::test::binDir() / "demohost";
}
fs::path bridgeProgram() {
    return levora::test::binDir() / "SqlDirBridge";
}

std::vector<std::string> filesBelow(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::strerror(errno));
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp, args;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& a : argCopy)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    m_in = in[1];
    m_out = out[0];
    if (rc != 0) {
        ::close(m_in);
        ::close(m_out);
        throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " + std::strerror(rc));
    }
}

Child::~Child() {
    closeInput();
    if (!m_reaped && wait(2000) == -1) {
        ::kill(m_pid, SIGKILL);
        wait(2000);
    }
    if (m_out >= 0)
        ::close(m_out);
}

void Child::send(const std::string& line) {
    const std::string data = line + "\n";
    // The child may be gone already; a broken pipe must not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::write(m_in, data.data(), data.size()), static_cast<ssize_t>(data.size()));
}

Child::Read Child::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            Read r{Read::Kind::Line, m_buffer.substr(0, nl)};
            m_buffer.erase(0, nl + 1);
            return r;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {Read::Kind::Timeout, {}};
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n <= 0) {
            Read r{Read::Kind::Eof, m_buffer};
            m_buffer.clear();
            return r;
        }
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
}

void Child::closeInput() {
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
}

int Child::wait(int timeoutMs) {
    if (m_reaped)
        return m_exit;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_exit;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace levora::demohost::test
