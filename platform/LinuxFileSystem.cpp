#include "LinuxFileSystem.h"

#include "Error.h"
#include "HostFile.h"
#include "ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace levora {

namespace {

int32_t numberForErrno(int e, int32_t notFound) {
    switch (e) {
    case ENOENT:
        return notFound;
    case ENOTDIR:
        return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return err::PermissionDenied;
    case EEXIST:
    case ENOTEMPTY:
        return err::FileExists;
    case ENOSPC:
    case EDQUOT:
        return 61; // Disk full
    case EIO:
        return 57; // Device I/O error
    default:
        return err::PathFileAccess;
    }
}

[[noreturn]] void raiseErrno(int e, int32_t notFound = err::FileNotFound) {
    throw Error(numberForErrno(e, notFound));
}

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

fs::file_type typeOf(const fs::path& p) {
    std::error_code ec;
    return fs::status(p, ec).type();
}

bool isDir(const fs::path& p) {
    return typeOf(p) == fs::file_type::directory;
}
bool isFile(const fs::path& p) {
    return typeOf(p) == fs::file_type::regular;
}

// An existence test: a path that names nothing here is simply not there, but two names that
// differ only in letter case are reported, never guessed between.
template <typename Test> bool unlessCaseClash(Test test) {
    try {
        return test();
    } catch (const Error& e) {
        if (e.number() == err::CaseClash)
            throw;
        return false;
    }
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

void writeAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            raiseErrno(errno);
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
}

// Windows file names end at the last separator; a trailing separator names a folder.
std::string lastComponent(const std::string& winPath) {
    size_t i = winPath.find_last_of("\\/");
    return i == std::string::npos ? (winPath.size() > 2 && winPath[1] == ':' ? winPath.substr(2) : winPath)
                                  : winPath.substr(i + 1);
}

// Refuses a folder tree that holds a read-only file (checked before anything is deleted).
bool holdsReadOnly(const fs::path& dir) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_symlink(ec))
            continue;
        if (it->is_regular_file(ec) && LinuxFileSystem::hostReadOnly(it->path()))
            return true;
    }
    return false;
}

void copyTree(const fs::path& src, const fs::path& dst, bool overwrite) {
    bool made = false;
    if (!fs::exists(fs::symlink_status(dst))) {
        if (::mkdir(dst.c_str(), 0777) != 0)
            raiseErrno(errno, err::PathNotFound);
        made = true;
    } else if (!isDir(dst)) {
        throw Error(err::FileExists);
    }
    // One listing of the destination serves all its names, and grows as they are copied in, so
    // filling a folder costs no listing per file (and a folder made here none at all).
    FolderNames names(dst, made);
    for (const auto& name : PathNamespace::listSorted(src, true)) {
        const std::string entry = names.resolve(name);
        copyTree(src / name, dst / entry, overwrite);
        names.add(entry);
    }
    for (const auto& name : PathNamespace::listSorted(src, false)) {
        const std::string entry = names.resolve(name);
        const fs::path target = dst / entry;
        const bool replacing = fs::exists(fs::symlink_status(target));
        if (replacing) {
            if (!overwrite)
                throw Error(err::FileExists);
            if (isDir(target) || LinuxFileSystem::hostReadOnly(target))
                throw Error(err::PermissionDenied);
        }
        // A file that replaces another is flushed before its rename, so a crash leaves the old one
        // or the new one; a new file is flushed with all the others when the copy ends.
        LinuxFileSystem::copyHostFile(src / name, target, replacing);
        names.add(entry);
    }
}

} // namespace

bool LinuxFileSystem::hostReadOnly(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0;
}

void LinuxFileSystem::copyHostFile(const fs::path& srcIn, const fs::path& dstIn, bool flush) {
    Fd in(::open(srcIn.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        raiseErrno(errno);
    struct stat srcSt {};
    if (::fstat(in.get(), &srcSt) != 0)
        raiseErrno(errno);
    if (!S_ISREG(srcSt.st_mode))
        throw Error(err::FileNotFound);

    // Replace what a link points at, not the link.
    const fs::path dst = replacementTarget(dstIn);
    struct stat dstSt {};
    const bool replacing = ::stat(dst.c_str(), &dstSt) == 0;

    std::string tmp;
    Fd out(createTempBeside(dst, tmp));
    if (out.get() < 0)
        raiseErrno(errno, err::PathNotFound);
    try {
        std::vector<char> buf(1 << 17);
        for (;;) {
            ssize_t r = ::read(in.get(), buf.data(), buf.size());
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                raiseErrno(errno);
            }
            if (r == 0)
                break;
            writeAll(out.get(), buf.data(), static_cast<size_t>(r));
        }
        if (replacing) {
            ::fchmod(out.get(), dstSt.st_mode & 07777);
            if (::fchown(out.get(), dstSt.st_uid, dstSt.st_gid) != 0) {
                // Only a privileged process may give a file away; the permissions still hold.
            }
        } else {
            ::fchmod(out.get(), srcSt.st_mode & 0777);
        }
        struct timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
        ::futimens(out.get(), times);
        if (flush && ::fsync(out.get()) != 0)
            raiseErrno(errno);
        if (::close(out.release()) != 0)
            raiseErrno(errno);
        if (renameRetryingBusy(tmp, dst) != 0)
            raiseErrno(errno, err::PathNotFound);
    } catch (const Error& e) {
        if (discardTempUnlessOnlyCopy(tmp, dst, replacing))
            throw;
        throw Error(e.number(), e.description() + "; the new content is kept in " + tmp);
    } catch (...) {
        discardTempUnlessOnlyCopy(tmp, dst, replacing);
        throw;
    }
    // The folder is not flushed per file: the rename alone guarantees the old file or the whole
    // new one after a crash, and a folder flush per greeting would double the cost of a run.
}

bool LinuxFileSystem::FileExists(const std::string& path) {
    return unlessCaseClash([&] { return isFile(m_ns.toHost(path)); });
}

bool LinuxFileSystem::FolderExists(const std::string& path) {
    return unlessCaseClash([&] { return isDir(m_ns.toHost(path)); });
}

std::vector<std::string> LinuxFileSystem::SubFolderNames(const std::string& folder) {
    fs::path p = m_ns.toHost(folder);
    if (!isDir(p))
        throw Error(err::PathNotFound);
    return PathNamespace::listSorted(p, true);
}

std::vector<std::string> LinuxFileSystem::FileNames(const std::string& folder) {
    fs::path p = m_ns.toHost(folder);
    if (!isDir(p))
        throw Error(err::PathNotFound);
    return PathNamespace::listSorted(p, false);
}

void LinuxFileSystem::DeleteFile(const std::string& path, bool force) {
    fs::path p = m_ns.toHost(path);
    std::error_code ec;
    auto st = fs::symlink_status(p, ec);
    if (!fs::exists(st) || isDir(p))
        throw Error(err::FileNotFound);
    if (!force && hostReadOnly(p))
        throw Error(err::PermissionDenied);
    if (::unlink(p.c_str()) != 0)
        raiseErrno(errno);
}

void LinuxFileSystem::DeleteFolder(const std::string& path, bool force) {
    fs::path p = m_ns.toHost(path);
    if (!isDir(p))
        throw Error(err::PathNotFound);
    if (!force && holdsReadOnly(p))
        throw Error(err::PermissionDenied);
    std::error_code ec;
    fs::remove_all(p, ec);
    if (ec)
        raiseErrno(ec.value(), err::PathNotFound);
}

void LinuxFileSystem::CopyFile(const std::string& source, const std::string& destination, bool overwrite) {
    fs::path src = m_ns.toHost(source);
    if (!isFile(src))
        throw Error(err::FileNotFound);
    std::string destWin = destination;
    if (endsWithSeparator(destWin))
        destWin += lastComponent(source);
    fs::path dst = m_ns.toHost(destWin);
    if (!isDir(dst.parent_path()))
        throw Error(err::PathNotFound);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(dst, ec))) {
        if (isDir(dst))
            throw Error(err::PermissionDenied);
        if (!overwrite)
            throw Error(err::FileExists);
        if (hostReadOnly(dst))
            throw Error(err::PermissionDenied);
    }
    copyHostFile(src, dst);
}

void LinuxFileSystem::CopyFolder(const std::string& source, const std::string& destination, bool overwrite) {
    fs::path src = m_ns.toHost(source);
    if (!isDir(src))
        throw Error(err::PathNotFound);
    fs::path dst = m_ns.toHost(destination);
    if (!isDir(dst) && !isDir(dst.parent_path()))
        throw Error(err::PathNotFound);
    copyTree(src, dst, overwrite);
    // One flush for every new file of the copy (a flush per file costs about 10 ms here, most of a
    // backup's time): when the copy returns, all of it is on disk.
    Fd folder(::open(dst.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::syncfs(folder.get()) != 0)
        raiseErrno(errno, err::PathNotFound);
}

void LinuxFileSystem::CreateFolder(const std::string& path) {
    fs::path p = m_ns.toHost(path);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(p, ec)))
        throw Error(err::FileExists);
    if (!isDir(p.parent_path()))
        throw Error(err::PathNotFound);
    if (::mkdir(p.c_str(), 0777) != 0)
        raiseErrno(errno, err::PathNotFound);
}

fs::file_time_type LinuxFileSystem::LastWriteTime(const std::string& path) {
    fs::path p = m_ns.toHost(path);
    std::error_code ec;
    auto t = fs::last_write_time(p, ec);
    if (ec)
        raiseErrno(ec.value());
    return t;
}

bool LinuxFileSystem::IsReadOnly(const std::string& path) {
    fs::path p = m_ns.toHost(path);
    std::error_code ec;
    if (!fs::exists(fs::status(p, ec)))
        throw Error(err::FileNotFound);
    return hostReadOnly(p);
}

FileHead LinuxFileSystem::ReadHead(const std::string& path, size_t maxBytes) {
    FileHead head;
    const int fd = openRegularFile(m_ns.toHost(path), &head.size);
    head.bytes.resize(static_cast<size_t>(std::min<uint64_t>(maxBytes, head.size)));
    size_t done = 0;
    while (done < head.bytes.size()) {
        const ssize_t n = ::read(fd, head.bytes.data() + done, head.bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            raiseErrno(e);
        }
        if (n == 0)
            break; // shorter than it was a moment ago
        done += static_cast<size_t>(n);
    }
    head.bytes.resize(done);
    ::close(fd);
    return head;
}

FileStat LinuxFileSystem::Stat(const std::string& path) {
    return statHostFile(m_ns.toHost(path));
}

std::string LinuxFileSystem::ReadFile(const std::string& path, size_t maxBytes) {
    return readHostFile(m_ns.toHost(path), maxBytes);
}

fs::path LinuxFileSystem::HostPath(const std::string& path) {
    return m_ns.toHost(path);
}

} // namespace levora
