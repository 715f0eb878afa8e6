#include "LinuxAutomation.h"

#include "CommandLine.h"
#include "Error.h"
#include "LinuxProcesses.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace levora {

namespace {

using json = nlohmann::ordered_json; // keeps "method" before "args" on the wire

// ------------------------------------------------------------------ wire format

json toJson(const Variant& v) {
    return std::visit(
        [](const auto& x) -> json {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, Empty>)
                return nullptr;
            else if constexpr (std::is_same_v<T, std::vector<uint8_t>>)
                return json(x);
            else
                return json(x);
        },
        v);
}

Variant fromJson(const json& j) {
    if (j.is_boolean())
        return j.get<bool>();
    if (j.is_number_integer()) {
        const int64_t n = j.is_number_unsigned() ? static_cast<int64_t>(j.get<uint64_t>()) : j.get<int64_t>();
        if (n >= INT32_MIN && n <= INT32_MAX)
            return static_cast<int32_t>(n);
        return static_cast<double>(n);
    }
    if (j.is_number())
        return j.get<double>();
    if (j.is_string())
        return j.get<std::string>();
    if (j.is_array()) {
        std::vector<uint8_t> bytes;
        for (const json& e : j) {
            if (!e.is_number_integer() || e.get<int64_t>() < 0 || e.get<int64_t>() > 255)
                return j.dump(-1, ' ', false, json::error_handler_t::replace);
            bytes.push_back(static_cast<uint8_t>(e.get<int64_t>()));
        }
        return bytes;
    }
    return Empty{};
}

// An HRESULT may come as a signed or as an unsigned 32-bit number.
bool readHresult(const json& j, int32_t& out) {
    if (!j.is_number_integer())
        return false;
    const int64_t n = j.is_number_unsigned() ? static_cast<int64_t>(j.get<uint64_t>()) : j.get<int64_t>();
    if (n < INT32_MIN || n > static_cast<int64_t>(UINT32_MAX))
        return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(n));
    return true;
}

std::string shortened(const std::string& s) {
    std::string t = s.size() > 80 ? s.substr(0, 80) + "..." : s;
    for (char& c : t)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return t;
}

// "600", or "0.3" for a bound that is not a whole number of seconds.
std::string secondsText(uint32_t ms) {
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000);
    return std::to_string(ms / 1000) + "." + std::to_string((ms % 1000) / 100);
}

// ------------------------------------------------------------------ the server process

class ServerObject : public IDispatchObject {
public:
    ServerObject(std::string progId, pid_t pid, int toServer, int fromServer, uint32_t callTimeoutMs,
                 uint32_t exitGraceMs)
        : m_progId(std::move(progId)), m_pid(pid), m_toServer(toServer), m_fromServer(fromServer),
          m_callTimeoutMs(callTimeoutMs), m_exitGraceMs(exitGraceMs) {}

    ~ServerObject() override {
        closeFd(m_toServer); // the server's signal to exit
        if (m_pid > 0 && !waitForExit(m_exitGraceMs)) {
            ::kill(-m_pid, SIGKILL);
            waitForExit(UINT32_MAX);
        }
        closeFd(m_fromServer);
    }

    bool alive() const override { return !m_dead; }
    void setCallTimeoutMs(uint32_t ms) override { m_callTimeoutMs = ms; }

    Variant Invoke(const std::string& method, std::vector<Variant>& args) override {
        if (m_dead)
            throw disconnected("the server of " + m_progId + " is no longer running");

        json request = {{"method", method}, {"args", json::array()}};
        for (const Variant& a : args)
            request["args"].push_back(toJson(a));
        const std::string line = request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
        if (!sendAll(line))
            ended("the server of " + m_progId + " ended before " + method + " could be sent");

        const std::string reply = readLine(method);
        m_answered = true;
        const json answer = json::parse(reply, nullptr, false);
        int32_t hresult = 0;
        if (answer.is_discarded() || !answer.is_object() || !answer.contains("hresult") ||
            !readHresult(answer["hresult"], hresult))
            fail("the server of " + m_progId + " answered " + method + " with something that is not a reply: \"" +
                 shortened(reply) + "\"");

        if (hresult != 0) {
            std::string description;
            if (answer.contains("description") && answer["description"].is_string())
                description = answer["description"].get<std::string>();
            if (description.empty())
                description = standardDescription(hresult);
            if (description.empty())
                description = "Automation error";
            throw Error(hresult, description);
        }
        if (answer.contains("args") && answer["args"].is_array()) {
            const json& out = answer["args"];
            for (size_t i = 0; i < out.size() && i < args.size(); ++i)
                args[i] = fromJson(out[i]);
        }
        return answer.contains("result") ? fromJson(answer["result"]) : Variant{Empty{}};
    }

private:
    static Error disconnected(const std::string& why) {
        return Error(err::RPC_E_DISCONNECTED_, standardDescription(err::RPC_E_DISCONNECTED_) + " (" + why + ")");
    }

    // Ends the conversation for good: the server is stopped and every later call fails at once.
    [[noreturn]] void fail(const std::string& why) {
        stop();
        throw disconnected(why);
    }

    void stop() {
        m_dead = true;
        closeFd(m_toServer);
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            waitForExit(UINT32_MAX);
        }
    }

    // The server went away. Before its first answer that means it never came up: the object could
    // not be created (429), not a connection lost.
    [[noreturn]] void ended(const std::string& why) {
        stop();
        if (m_answered)
            throw disconnected(why);
        throw Error(err::CantCreateObject, standardDescription(err::CantCreateObject) + " (" + why + ")");
    }

    bool sendAll(const std::string& data) {
        // A server that has gone away must not take us with it: SIGPIPE is held back in this thread
        // while writing, and one it caused is consumed before the mask is restored.
        sigset_t pipeSet, old;
        sigemptyset(&pipeSet);
        sigaddset(&pipeSet, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
        bool ok = true, brokePipe = false;
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(m_toServer, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = false;
                brokePipe = errno == EPIPE;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (brokePipe && !sigismember(&old, SIGPIPE)) {
            const timespec zero{0, 0};
            while (sigtimedwait(&pipeSet, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return ok;
    }

    std::string readLine(const std::string& method) {
        using clock = std::chrono::steady_clock;
        const auto deadline = clock::now() + std::chrono::milliseconds(m_callTimeoutMs);
        for (;;) {
            if (const size_t eol = m_buffer.find('\n'); eol != std::string::npos) {
                std::string line = m_buffer.substr(0, eol);
                m_buffer.erase(0, eol + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
            if (left <= 0)
                fail("the server of " + m_progId + " did not answer " + method + " within " +
                     secondsText(m_callTimeoutMs) + " seconds and was stopped");
            pollfd p{m_fromServer, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
            if (r < 0 && errno != EINTR)
                fail("waiting for the server of " + m_progId + " failed: " + std::strerror(errno));
            if (r <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(m_fromServer, chunk, sizeof chunk);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                ended("the server of " + m_progId + " ended during " + method);
            m_buffer.append(chunk, static_cast<size_t>(n));
            if (m_buffer.size() > (64u << 20))
                fail("the server of " + m_progId + " sent an answer without an end");
        }
    }

    // Reaps the server; false when it is still running after timeoutMs.
    bool waitForExit(uint32_t timeoutMs) {
        using clock = std::chrono::steady_clock;
        const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs == UINT32_MAX ? 0 : timeoutMs);
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, timeoutMs == UINT32_MAX ? 0 : WNOHANG);
            if (r == m_pid || (r < 0 && errno != EINTR)) {
                m_pid = -1; // reaped (or already reaped by someone else)
                return true;
            }
            if (r < 0)
                continue;
            if (clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    static void closeFd(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    std::string m_progId;
    pid_t m_pid;
    int m_toServer;
    int m_fromServer;
    uint32_t m_callTimeoutMs;
    uint32_t m_exitGraceMs;
    bool m_dead = false;
    bool m_answered = false;
    std::string m_buffer;
};

[[noreturn]] void cannotCreate(const std::string& progId, const std::string& why) {
    throw Error(err::CantCreateObject, standardDescription(err::CantCreateObject) + " (" + progId + ": " + why + ")");
}

} // namespace

LinuxAutomation::LinuxAutomation(IRegistry& registry, const PathNamespace& ns, std::string programFolder)
    : m_registry(registry), m_ns(ns), m_programFolder(std::move(programFolder)) {}

std::string LinuxAutomation::defaultValue(const std::string& subKey) {
    HKEY key = 0;
    if (m_registry.RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::string text;
    uint32_t type = 0, size = 0;
    if (m_registry.RegQueryValueExA(key, "", &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ && size > 0) {
        std::string buffer(size, '\0');
        if (m_registry.RegQueryValueExA(key, "", &type, reinterpret_cast<uint8_t*>(buffer.data()), &size) ==
            ERROR_SUCCESS) {
            buffer.resize(std::min<size_t>(size, buffer.size()));
            text = buffer.substr(0, buffer.find('\0'));
        }
    }
    m_registry.RegCloseKey(key);
    return text;
}

std::string LinuxAutomation::serverCommandLine(const std::string& progId) {
    if (progId.empty())
        return {};
    const std::string clsid = defaultValue(progId + "\\CLSID");
    if (clsid.empty())
        return {};
    return defaultValue("CLSID\\" + clsid + "\\LocalServer32");
}

std::shared_ptr<IDispatchObject> LinuxAutomation::CreateObject(const std::string& progId) {
    const std::string commandLine = serverCommandLine(progId);
    if (commandLine.empty())
        cannotCreate(progId, "not registered");

    LinuxProcesses::Resolved resolved;
    std::vector<std::string> arguments;
    try {
        const LinuxProcesses resolver(m_ns, m_programFolder);
        resolved = resolver.resolve(commandLine);
        arguments = splitArguments(resolved.rest);
    } catch (const Error& e) {
        cannotCreate(progId, "server " + commandLine + ": " + e.description());
    }

    std::vector<std::string> argStrings{resolved.program.string()};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The server resolves Windows paths through the same machine prefix.
    std::vector<std::string> envStrings;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LEVORA_PREFIX=", 14) != 0)
            envStrings.emplace_back(*e);
    envStrings.push_back("LEVORA_PREFIX=" + m_ns.prefix().root().string());
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int toServer[2], fromServer[2];
    if (::pipe2(toServer, O_CLOEXEC) != 0)
        cannotCreate(progId, std::strerror(errno));
    if (::pipe2(fromServer, O_CLOEXEC) != 0) {
        const int saved = errno;
        ::close(toServer[0]);
        ::close(toServer[1]);
        cannotCreate(progId, std::strerror(saved));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toServer[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromServer[1], STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // A group of its own, so that stopping the server also stops whatever it started.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(toServer[0]);
    ::close(fromServer[1]);
    if (rc != 0) {
        ::close(toServer[1]);
        ::close(fromServer[0]);
        cannotCreate(progId, "cannot start " + resolved.program.string() + ": " + std::strerror(rc));
    }
    return std::make_shared<ServerObject>(progId, pid, toServer[1], fromServer[0], m_callTimeoutMs, m_exitGraceMs);
}

} // namespace levora
