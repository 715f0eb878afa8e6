#include "HostFile.h"

#include "Error.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

[[noreturn]] void raiseRead(int e, const fs::path& path) {
    const int32_t number = e == ENOENT                                ? err::FileNotFound
                           : e == ENOTDIR                             ? err::PathNotFound
                           : e == EACCES || e == EPERM || e == EISDIR ? err::PermissionDenied
                                                                      : err::PathFileAccess;
    throw Error(number, standardDescription(number) + ": " + std::strerror(e) + " (" + path.string() + ")");
}

} // namespace

FileStat statHostFile(const fs::path& path) {
    FileStat info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return info;
    info.exists = true;
    info.regular = S_ISREG(st.st_mode);
    info.folder = S_ISDIR(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.writeTimeNs = nanoseconds(st.st_mtim);
    return info;
}

int openRegularFile(const fs::path& path, std::uint64_t* size) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait; it is refused below anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        raiseRead(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        raiseRead(e, path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            raiseRead(EISDIR, path);
        throw Error(err::NotRegularFile, standardDescription(err::NotRegularFile) + " (" + path.string() + ")");
    }
    if (size)
        *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

std::string readHostFile(const fs::path& path, std::size_t maxBytes) {
    std::uint64_t size = 0;
    const int fd = openRegularFile(path, &size);
    auto tooLarge = [&] {
        ::close(fd);
        throw Error(err::FileTooLarge, standardDescription(err::FileTooLarge) + " (" + path.string() + ", more than " +
                                           std::to_string(maxBytes) + " bytes)");
    };
    if (size > maxBytes)
        tooLarge();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    for (;;) {
        // A file that grows while it is read is read up to one byte past the bound, no further.
        if (done == bytes.size()) {
            if (done > maxBytes)
                tooLarge();
            bytes.resize(std::min(maxBytes + 1, done + 65536));
        }
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            raiseRead(e, path);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done > maxBytes)
        throw Error(err::FileTooLarge, standardDescription(err::FileTooLarge) + " (" + path.string() + ")");
    bytes.resize(done);
    return bytes;
}

bool writeAllTo(int fd, std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        left -= static_cast<size_t>(w);
    }
    return true;
}

int openNoFollow(const fs::path& path, int flags, unsigned mode) {
    return ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
}

bool appendToHostFile(const fs::path& path, const std::string& text) {
    const int fd = openNoFollow(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    const bool written = writeAllTo(fd, text);
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return written && synced;
}

int renameRetryingBusy(const fs::path& from, const fs::path& to) {
    constexpr int kTries = 20;
    for (int i = 0;; ++i) {
        if (::rename(from.c_str(), to.c_str()) == 0)
            return 0;
        if (errno != EBUSY || i + 1 == kTries)
            return -1;
        const timespec pause{0, 50'000'000}; // 50 ms, a second in all
        ::nanosleep(&pause, nullptr);
    }
}

bool discardTempUnlessOnlyCopy(const std::string& tempPath, const fs::path& target, bool replacing) {
    struct stat st {};
    if (replacing && ::lstat(target.c_str(), &st) != 0 && errno == ENOENT)
        return false;
    ::unlink(tempPath.c_str());
    return true;
}

} // namespace levora
