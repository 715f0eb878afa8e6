#include "LinuxProcesses.h"

#include "CommandLine.h"
#include "Error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

extern char** environ;

namespace fs = std::filesystem;

namespace levora {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

int pidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

WaitResult endedWith(int status) {
    if (WIFSIGNALED(status))
        return {WaitResult::Kind::Ended, 128 + WTERMSIG(status), WTERMSIG(status)};
    return {WaitResult::Kind::Ended, WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0};
}

WaitResult endedWith(const siginfo_t& info) {
    if (info.si_code == CLD_EXITED)
        return {WaitResult::Kind::Ended, info.si_status, 0};
    return {WaitResult::Kind::Ended, 128 + info.si_status, info.si_status};
}

bool endsWithExe(const std::string& s) {
    return s.size() > 4 && equalsNoCase(s.substr(s.size() - 4), ".exe");
}

bool isRunnable(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

// posix_spawn's inputs, kept alive together.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::vector<char*> cStrings(std::vector<std::string>& v) {
    std::vector<char*> out;
    out.reserve(v.size() + 1);
    for (auto& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

LinuxProcesses::LinuxProcesses(const PathNamespace& ns, std::string programFolder)
    : m_ns(ns), m_programFolder(std::move(programFolder)) {}

LinuxProcesses::~LinuxProcesses() {
    std::lock_guard lock(m_mutex);
    reapEnded();
}

uint32_t LinuxProcesses::CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

std::optional<int> LinuxProcesses::niceForClass(uint32_t priorityClass) {
    switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
        return 19;
    case BELOW_NORMAL_PRIORITY_CLASS:
        return 5;
    case NORMAL_PRIORITY_CLASS:
        return 0;
    case ABOVE_NORMAL_PRIORITY_CLASS:
        return -5;
    case HIGH_PRIORITY_CLASS:
        return -10;
    case REALTIME_PRIORITY_CLASS:
        return -20;
    default:
        return std::nullopt;
    }
}

namespace {

constexpr size_t kMaxNameLength = 255;

// In characters (UTF-8 sequences), between separators.
size_t longestComponent(const std::string& path) {
    size_t longest = 0, current = 0;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            current = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            longest = std::max(longest, ++current);
        }
    }
    return longest;
}

} // namespace

std::optional<fs::path> LinuxProcesses::findProgram(const std::string& name) const {
    if (name.empty())
        return std::nullopt;
    std::vector<std::string> variants{name, name + ".exe"};
    if (endsWithExe(name))
        variants.push_back(name.substr(0, name.size() - 4));

    std::vector<std::string> candidates;
    if (name.find_first_of("\\/:") == std::string::npos) {
        for (const std::string& folder :
             {m_programFolder, std::string("C:\\Windows\\System32"), std::string("C:\\Windows")})
            if (!folder.empty())
                for (const auto& v : variants)
                    candidates.push_back((folder.back() == '\\' ? folder : folder + "\\") + v);
    } else {
        candidates = variants;
    }
    for (const auto& c : candidates) {
        fs::path host;
        try {
            host = m_ns.toHost(c);
        } catch (const Error& e) {
            if (e.number() == err::CaseClash)
                throw;
            continue;
        }
        if (isRunnable(host))
            return host;
    }
    return std::nullopt;
}

LinuxProcesses::Resolved LinuxProcesses::resolve(const std::string& commandLine) const {
    size_t i = 0;
    while (i < commandLine.size() && isBlank(commandLine[i]))
        ++i;
    if (i < commandLine.size() && commandLine[i] == '"') {
        ProgramToken program = programToken(commandLine);
        if (auto p = findProgram(program.name))
            return {*p, program.name, program.rest};
        throw Error(err::FileNotFound);
    }
    // Unquoted: "C:\Program Files\x\tool -a" tries "C:\Program", then "C:\Program Files\x\tool", ...
    size_t end = i;
    while (end < commandLine.size()) {
        while (end < commandLine.size() && !isBlank(commandLine[end]))
            ++end;
        std::string name = commandLine.substr(i, end - i);
        // No file's name is longer than 255 characters; every longer candidate keeps the too long
        // part, so none can be found (and a long line of blanks costs no more than a short one).
        if (longestComponent(name) > kMaxNameLength)
            break;
        if (auto p = findProgram(name))
            return {*p, name, commandLine.substr(end)};
        while (end < commandLine.size() && isBlank(commandLine[end]))
            ++end;
    }
    throw Error(err::FileNotFound);
}

void LinuxProcesses::reapEnded() {
    for (auto it = m_children.begin(); it != m_children.end();) {
        int status = 0;
        pid_t r = ::waitpid(*it, &status, WNOHANG);
        if (r == *it || (r < 0 && errno == ECHILD)) {
            if (r == *it) {
                // Keep the status for a Wait that comes later; drop the oldest beyond a few hundred.
                if (m_endedUnwaited.size() >= 256)
                    m_endedUnwaited.erase(m_endedUnwaited.begin());
                m_endedUnwaited[*it] = endedWith(status);
            }
            m_groupLeaders.erase(*it);
            it = m_children.erase(it);
        } else {
            ++it;
        }
    }
}

uint32_t LinuxProcesses::Start(const std::string& commandLine, WindowStyle style) {
    {
        std::lock_guard lock(m_mutex);
        reapEnded();
    }

    std::vector<std::string> argv;
    bool searchPath = false;
    if (const auto file = textViewerFile(commandLine)) {
        // The desktop's text viewer stands in for Notepad; it gets a host path.
        const char* viewer = std::getenv("LEVORA_TEXT_VIEWER");
        argv.push_back(viewer && *viewer ? viewer : "xdg-open");
        searchPath = true;
        if (!file->empty()) {
            std::string host = *file;
            try {
                host = m_ns.toHost(*file).string();
            } catch (const Error&) {
            }
            argv.push_back(std::move(host));
        }
    } else {
        Resolved r = resolve(commandLine);
        argv.push_back(r.program.string());
        for (auto& a : splitArguments(r.rest))
            argv.push_back(std::move(a));
    }

    // Children resolve Windows paths in the same machine.
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LEVORA_PREFIX=", 14) != 0)
            env.emplace_back(*e);
    std::error_code ec;
    env.push_back("LEVORA_PREFIX=" + fs::absolute(m_ns.prefix().root(), ec).string());

    SpawnSetup setup;
    const bool hidden = style == WindowStyle::Hidden;
    if (hidden) {
        posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
        const char* debug = std::getenv("LEVORA_DEBUG");
        if (!(debug && *debug))
            posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    }
    // A started program inherits the current folder, as CreateProcess does.
    std::string cwd;
    try {
        fs::path host = m_ns.toHost(m_ns.currentDirectory());
        if (fs::is_directory(host, ec))
            cwd = host.string();
    } catch (const Error&) {
    }
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, cwd.c_str());

    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    if (hidden) {
        // Its own process group, so that Kill also ends what a tool script started.
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&setup.attr, 0);
    }
    posix_spawnattr_setflags(&setup.attr, flags);

    std::vector<char*> cargv = cStrings(argv);
    std::vector<char*> cenv = cStrings(env);
    pid_t pid = 0;
    int rc = searchPath ? ::posix_spawnp(&pid, cargv[0], &setup.actions, &setup.attr, cargv.data(), cenv.data())
                        : ::posix_spawn(&pid, cargv[0], &setup.actions, &setup.attr, cargv.data(), cenv.data());
    if (rc != 0) {
        if (rc == ENOENT && searchPath)
            throw Error(err::FileNotFound, standardDescription(err::FileNotFound) + " (no text viewer: " + argv[0] +
                                               " is not installed; install xdg-utils, or name a viewer in "
                                               "LEVORA_TEXT_VIEWER)");
        if (rc == ENOENT)
            throw Error(err::FileNotFound);
        if (rc == EACCES || rc == EPERM)
            throw Error(err::PermissionDenied);
        throw Error(err::InvalidCall, standardDescription(err::InvalidCall) + " (" + std::strerror(rc) + ")");
    }
    {
        std::lock_guard lock(m_mutex);
        m_children.insert(pid);
        if (hidden)
            m_groupLeaders.insert(pid);
    }
    if (m_onStarted)
        m_onStarted(static_cast<uint32_t>(pid));
    return static_cast<uint32_t>(pid);
}

WaitResult LinuxProcesses::Wait(uint32_t pidIn, uint32_t timeoutMs) {
    if (pidIn == 0 || pidIn > static_cast<uint32_t>(INT_MAX))
        return {};
    const pid_t pid = static_cast<pid_t>(pidIn);
    // Another thread may reap this child while it is awaited here: its status is then taken from
    // the ended ones.
    auto endedUnwaited = [&]() -> std::optional<WaitResult> {
        if (auto it = m_endedUnwaited.find(pid); it != m_endedUnwaited.end()) {
            const WaitResult r = it->second;
            m_endedUnwaited.erase(it);
            return r;
        }
        return std::nullopt;
    };
    int fd = -1;
    {
        std::lock_guard lock(m_mutex);
        reapEnded();
        if (auto r = endedUnwaited())
            return *r;
        fd = pidfdOpen(pid);
    }
    if (fd < 0)
        return {};

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    WaitResult result;
    for (;;) {
        int waitMs = -1;
        if (timeoutMs != INFINITE_WAIT) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
            waitMs = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, waitMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = {};
            break;
        }
        if (n == 0) {
            result = {WaitResult::Kind::TimedOut, -1};
            break;
        }
        std::lock_guard lock(m_mutex);
        if (auto r = endedUnwaited()) {
            result = *r;
        } else if (m_children.count(pid)) {
            siginfo_t info{};
            if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(fd), &info, WEXITED) == 0) {
                result = endedWith(info);
                m_children.erase(pid);
                m_groupLeaders.erase(pid);
            } else {
                result = {};
            }
        } else {
            result = {WaitResult::Kind::Ended, -1};
        }
        break;
    }
    ::close(fd);
    return result;
}

bool LinuxProcesses::Kill(uint32_t pidIn) {
    if (pidIn == 0 || pidIn > static_cast<uint32_t>(INT_MAX))
        return false;
    const pid_t pid = static_cast<pid_t>(pidIn);
    std::lock_guard lock(m_mutex);
    if (m_groupLeaders.count(pid))
        ::kill(-pid, SIGKILL);
    return ::kill(pid, SIGKILL) == 0;
}

bool LinuxProcesses::SetPriorityClass(uint32_t pidIn, uint32_t priorityClass) {
    auto nice = niceForClass(priorityClass);
    if (!nice || pidIn == 0 || pidIn > static_cast<uint32_t>(INT_MAX))
        return false;
    // Linux keeps the nice value per thread: set it on every thread of the process.
    std::error_code ec;
    bool any = false;
    bool ok = true;
    for (fs::directory_iterator it("/proc/" + std::to_string(pidIn) + "/task", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string tid = it->path().filename().string();
        any = true;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(std::strtoul(tid.c_str(), nullptr, 10)), *nice) != 0)
            ok = false;
    }
    return any && ok;
}

} // namespace levora
