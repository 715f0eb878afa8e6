#include "RegistryFile.h"

#include "Error.h"
#include "HostFile.h"
#include "ReplaceFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

RegistryFile::Stamp stampOf(const struct stat& st) {
    RegistryFile::Stamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.ctime = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

bool writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

class FileLock {
public:
    explicit FileLock(const fs::path& p) {
        m_fd = openNoFollow(p, O_RDWR | O_CREAT, 0666);
        if (m_fd < 0)
            return;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace

ReadResult readWholeFile(const fs::path& p, std::string& bytes, int& error, RegistryFile::Stamp* stamp) {
    bytes.clear();
    if (stamp)
        *stamp = {};
    // Stamped before the read: a change during it makes the next look read again.
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        error = errno;
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    if (stamp)
        *stamp = stampOf(st);
    try {
        bytes = readHostFile(p, kMaxRegistryFileBytes);
    } catch (const Error& e) {
        error = e.number() == err::FileNotFound     ? ENOENT
                : e.number() == err::FileTooLarge   ? EFBIG
                : e.number() == err::NotRegularFile ? EINVAL
                                                    : EACCES;
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool replaceFileWith(const fs::path& target, const std::string& content, std::string& error) {
    // A link at the store's name is replaced, never followed.
    struct stat st {};
    const bool replacing = ::lstat(target.c_str(), &st) == 0;
    const mode_t mode = replacing && S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0644;
    std::string tmp;
    int fd = createTempBeside(target, tmp);
    if (fd < 0) {
        error = "cannot create a file beside " + target.string() + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, content) && ::fdatasync(fd) == 0;
    int e = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && renameRetryingBusy(tmp, target) != 0) {
        e = errno;
        ok = false;
    }
    if (!ok) {
        discardTempUnlessOnlyCopy(tmp, target, replacing);
        error = "cannot write " + target.string() + ": " + std::strerror(e);
        return false;
    }
    // The directory is not flushed: after a crash the file is the old one or the new one, both whole.
    return true;
}

RegistryFile::RegistryFile(fs::path file) : m_file(std::move(file)), m_lockFile(m_file) {
    m_lockFile += ".lock";
}

RegistryFile::Load RegistryFile::load(RegHive& out, Stamp& stamp, std::string& why,
                                      std::optional<RegTextError>* damage) {
    std::string bytes;
    int err = 0;
    out = RegHive{};
    switch (readWholeFile(m_file, bytes, err, &stamp)) {
    case ReadResult::Missing:
        return Load::Ok;
    case ReadResult::Failed:
        why = std::strerror(err);
        reportOnce(stamp, "cannot be read (" + why + "); it is read as empty");
        return Load::Unreadable;
    case ReadResult::Ok:
        break;
    }
    RegText text = loadKeys(bytes, m_file.string(), true);
    if (!text.ok()) {
        if (damage)
            *damage = text.error;
        why = "line " + std::to_string(text.error.line) + ": " + text.error.what;
        reportOnce(stamp, "cannot be parsed (" + why + "); it is read as empty and left as it is");
        return Load::Malformed;
    }
    applyAll(out, text.ops);
    return Load::Ok;
}

void RegistryFile::reportOnce(const Stamp& stamp, const std::string& what) {
    if (m_reported && m_reportedStamp == stamp)
        return;
    m_reported = true;
    m_reportedStamp = stamp;
    std::cerr << "levora: registry " << m_file.string() << " " << what << std::endl;
}

RegHive& RegistryFile::current() {
    struct stat st {};
    Stamp now = ::stat(m_file.c_str(), &st) == 0 ? stampOf(st) : Stamp{};
    if (m_cacheLoaded && now == m_cacheStamp)
        return m_cache;
    std::string why;
    Stamp read;
    m_damage.reset();
    if (load(m_cache, read, why, &m_damage) != Load::Ok)
        m_cache = RegHive{};
    m_cacheStamp = read;
    m_cacheLoaded = true;
    return m_cache;
}

std::optional<RegTextError> RegistryFile::damage() {
    current();
    return m_damage;
}

long RegistryFile::modify(const std::function<long(RegHive&)>& change, std::string& error) {
    std::error_code ec;
    if (m_file.has_parent_path())
        fs::create_directories(m_file.parent_path(), ec);
    FileLock lock(m_lockFile);
    if (!lock.held()) {
        error = "cannot lock " + m_lockFile.string() + ": " + std::strerror(errno);
        return ERROR_ACCESS_DENIED;
    }
    RegHive h;
    Stamp stamp;
    std::string why;
    switch (load(h, stamp, why, nullptr)) {
    case Load::Ok:
        break;
    case Load::Malformed:
        error = m_file.string() + " cannot be parsed (" + why + "); it is left unchanged";
        return ERROR_BADDB;
    case Load::Unreadable:
        error = "cannot read " + m_file.string() + ": " + why;
        return ERROR_ACCESS_DENIED;
    }
    long rc = change(h);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!replaceFileWith(m_file, writeStoreKeys(h), error))
        return ERROR_WRITE_FAULT;
    struct stat st {};
    if (::stat(m_file.c_str(), &st) == 0) {
        m_cache = std::move(h);
        m_cacheStamp = stampOf(st);
        m_cacheLoaded = true;
        m_damage.reset();
    } else {
        m_cacheLoaded = false;
    }
    return ERROR_SUCCESS;
}

} // namespace levora
