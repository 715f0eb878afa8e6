#include "LinuxRunLock.h"

#include "Error.h"
#include "HostFile.h"
#include "ReplaceFile.h"
#include "Session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace levora {

namespace {

// A holder that made its file this recently may still be writing its name into it.
constexpr auto kFreshFile = std::chrono::seconds(10);
// A store writer replaces its file within moments: an older temporary file's writer was killed.
constexpr auto kLeftoverAge = std::chrono::seconds(60);
// Enough for a holder's lines and a program line per file of any host.
constexpr size_t kMaxLockText = 4u << 20;

std::string readAll(int fd) {
    std::string text;
    char chunk[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > kMaxLockText)
            return text;
        text.append(chunk, static_cast<size_t>(n));
    }
}

bool running(pid_t pid, unsigned long long start) {
    if (pid <= 0 || start == 0)
        return false;
    // Another user's process may be hidden from /proc: one that exists is not proven gone.
    std::error_code ec;
    if (!std::filesystem::exists("/proc/" + std::to_string(pid), ec))
        return ::kill(pid, 0) == 0 || errno == EPERM;
    return LinuxRunLock::startTimeOf(pid) == start;
}

} // namespace

std::string LinuxRunLock::holderText(pid_t pid) {
    return ThisMachineName() + "\n" + std::to_string(pid) + "\n" + std::to_string(startTimeOf(pid)) + "\n";
}

unsigned long long LinuxRunLock::startTimeOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return 0;
    // The name in parentheses may hold blanks; the fields after its last ')' do not.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    unsigned long long start = 0;
    // state is field 3 and starttime field 22 of the line.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 3 && field == "Z")
            return 0;
        if (i == 22)
            start = std::strtoull(field.c_str(), nullptr, 10);
    }
    return start;
}

IRunLock::State LinuxRunLock::tryAcquire() {
    if (m_fd >= 0)
        return State::Acquired;
    // Close-on-exec: a gain tool that outlives a killed run must not keep the machine locked for
    // ever; the folder locks record it instead, and a later run deals with it.
    const int fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        raiseError(err::RunLockFailed, "Cannot open the run lock " + m_file.string() + ": " + std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK) {
            ++m_refusals;
            return State::HeldElsewhere;
        }
        raiseError(err::RunLockFailed, "Cannot lock " + m_file.string() + ": " + std::strerror(e));
    }
    m_fd = fd;
    removePrefixLeftovers();
    return State::Acquired;
}

void LinuxRunLock::removePrefixLeftovers() {
    m_removed.clear();
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator it(m_file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path path = it->path();
        std::error_code stat;
        if (!isTempBesideName(path.filename().string()) || !it->is_regular_file(stat) || it->is_symlink(stat))
            continue;
        const auto written = std::filesystem::last_write_time(path, stat);
        if (stat || now - written < kLeftoverAge)
            continue;
        if (::unlink(path.c_str()) == 0)
            m_removed.push_back(path.string());
    }
}

IRunLock::State LinuxRunLock::tryAcquireFolder(const std::filesystem::path& hostFolder) {
    struct stat folder {};
    if (::stat(hostFolder.c_str(), &folder) != 0)
        raiseError(err::RunLockFailed, "Cannot lock the folder " + hostFolder.string() + ": " + std::strerror(errno));
    for (const FolderLock& held : m_folders)
        if (held.dev == folder.st_dev && held.ino == folder.st_ino)
            return State::Acquired;
    const std::filesystem::path file = hostFolder / kFolderLockName;
    // A few rounds: a lock taken over, or given back, between two steps is looked at again.
    for (int round = 0; round < 4; ++round) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // flock where the file system has it (a network share may not): the file alone still excludes.
            (void)::flock(fd, LOCK_EX | LOCK_NB);
            if (!writeAllTo(fd, holderText(::getpid())) || ::fsync(fd) != 0) {
                const int e = errno;
                ::unlink(file.c_str());
                ::close(fd);
                raiseError(err::RunLockFailed, "Cannot write the run lock " + file.string() + ": " + std::strerror(e));
            }
            std::lock_guard<std::mutex> hold(m_recordMutex);
            m_folders.push_back({file, fd, folder.st_dev, folder.st_ino});
            return State::Acquired;
        }
        if (errno != EEXIST)
            raiseError(err::RunLockFailed, "Cannot make the run lock " + file.string() + ": " + std::strerror(errno));
        if (inspect(file) == Found::Held)
            break;
    }
    ++m_refusals;
    return State::HeldElsewhere;
}

// Looks at a folder lock another process made. Its holder is provably gone when it wrote this host's
// name and its process id no longer runs, or runs with another start time; then the programs it
// started are waited for (and killed after the orphan wait) and the file is removed.
LinuxRunLock::Found LinuxRunLock::inspect(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Found::Replaced;
        raiseError(err::RunLockFailed, "Cannot open the run lock " + file.string() + ": " + std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Found::Held;
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) != 0 || ::lstat(file.c_str(), &named) != 0 || opened.st_ino != named.st_ino ||
        opened.st_dev != named.st_dev)
        return Found::Replaced;

    std::istringstream lines(readAll(fd));
    std::string host, pidText, startText, line;
    std::getline(lines, host);
    std::getline(lines, pidText);
    std::getline(lines, startText);
    const pid_t pid = static_cast<pid_t>(std::strtol(pidText.c_str(), nullptr, 10));
    const unsigned long long start = std::strtoull(startText.c_str(), nullptr, 10);
    if (pid <= 0 || start == 0) {
        // Cut short: its maker died before writing its name, or is writing it now.
        const auto age = std::chrono::system_clock::now() -
                         std::chrono::system_clock::from_time_t(static_cast<time_t>(named.st_mtime));
        if (age < kFreshFile)
            return Found::Held;
    } else if (host != ThisMachineName() || running(pid, start)) {
        return Found::Held;
    }
    std::vector<std::pair<pid_t, unsigned long long>> programs;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag;
        long long programPid = 0;
        unsigned long long programStart = 0;
        if (words >> tag >> programPid >> programStart && tag == "program")
            programs.emplace_back(static_cast<pid_t>(programPid), programStart);
    }
    endOrphans(programs);
    ::unlink(file.c_str());
    return Found::Gone;
}

void LinuxRunLock::endOrphans(const std::vector<std::pair<pid_t, unsigned long long>>& programs) const {
    auto anyRunning = [&] {
        for (const auto& [pid, start] : programs)
            if (running(pid, start))
                return true;
        return false;
    };
    const auto waitUntil = [&](std::chrono::steady_clock::time_point end) {
        while (anyRunning() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_orphanWaitMs));
    for (const auto& [pid, start] : programs)
        if (running(pid, start)) {
            ::kill(-pid, SIGKILL); // a hidden program leads a group of its own, with what it started
            ::kill(pid, SIGKILL);
        }
    waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(5));
}

void LinuxRunLock::recordProgram(uint32_t pid) {
    const std::string line =
        "program " + std::to_string(pid) + " " + std::to_string(startTimeOf(static_cast<pid_t>(pid))) + "\n";
    std::lock_guard<std::mutex> hold(m_recordMutex);
    for (const FolderLock& held : m_folders) {
        ::lseek(held.fd, 0, SEEK_END);
        (void)writeAllTo(held.fd, line);
        (void)::fdatasync(held.fd);
    }
}

void LinuxRunLock::release() {
    {
        std::lock_guard<std::mutex> hold(m_recordMutex);
        // Removed while still held, so no other process takes over a file that is about to go.
        for (const FolderLock& held : m_folders) {
            ::unlink(held.file.c_str());
            ::close(held.fd);
        }
        m_folders.clear();
    }
    if (m_fd < 0)
        return;
    ::close(m_fd); // the last close of the file drops the lock
    m_fd = -1;
}

} // namespace levora
