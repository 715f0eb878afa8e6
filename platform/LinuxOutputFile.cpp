// LinuxFileSystem::OpenOutputFile: the run log's file on the host.
#include "Error.h"
#include "LinuxFileSystem.h"
#include "ReplaceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

class HostOutputFile : public IOutputFile {
public:
    explicit HostOutputFile(int fd) : m_fd(fd) {}
    ~HostOutputFile() override {
        ::fdatasync(m_fd);
        ::close(m_fd);
    }
    HostOutputFile(const HostOutputFile&) = delete;
    HostOutputFile& operator=(const HostOutputFile&) = delete;

    bool Write(const std::string& text) override {
        const char* p = text.data();
        size_t left = text.size();
        while (left > 0) {
            const ssize_t w = ::write(m_fd, p, left);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            p += w;
            left -= static_cast<size_t>(w);
        }
        return true;
    }

private:
    int m_fd;
};

// A folder or a file without write permission cannot be opened for writing.
void refuseUnwritable(const fs::path& path, mode_t* mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0)
        throw Error(err::PermissionDenied);
    if (mode)
        *mode = st.st_mode & 07777;
}

int openFresh(const fs::path& target) {
    const fs::path path = replacementTarget(target);
    mode_t mode = 0644;
    refuseUnwritable(path, &mode);
    std::string temp;
    const int fd = createTempBeside(path, temp);
    if (fd < 0)
        throw Error(errno == ENOENT ? err::PathNotFound : err::PathFileAccess);
    ::fchmod(fd, mode);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw Error(err::PathFileAccess);
    }
    return fd;
}

int openAppend(const fs::path& path) {
    refuseUnwritable(path, nullptr);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Error(errno == ENOENT ? err::PathNotFound : err::PathFileAccess);
    return fd;
}

} // namespace

std::unique_ptr<IOutputFile> LinuxFileSystem::OpenOutputFile(const std::string& path, bool append) {
    const fs::path host = m_ns.toHost(path);
    return std::make_unique<HostOutputFile>(append ? openAppend(host) : openFresh(host));
}

} // namespace levora
