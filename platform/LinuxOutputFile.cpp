// LinuxFileSystem::OpenOutputFile: the run log's file on the host.
#include "Error.h"
#include "HostFile.h"
#include "LinuxFileSystem.h"
#include "ReplaceFile.h"

#include <cerrno>
#include <cstring>
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

    bool Write(const std::string& text) override { return writeAllTo(m_fd, text); }

private:
    int m_fd;
};

[[noreturn]] void refuse(int32_t number, int e, const fs::path& path) {
    throw Error(number, standardDescription(number) + ": " + std::strerror(e) + " (" + path.string() + ")");
}

// A folder, a link or a file without write permission at the name cannot be opened for writing: a
// link is never followed, so a planted one cannot send the log over another file.
void refuseUnwritable(const fs::path& path, mode_t* mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISLNK(st.st_mode))
        refuse(err::PermissionDenied, ELOOP, path);
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0)
        refuse(err::PermissionDenied, S_ISDIR(st.st_mode) ? EISDIR : EACCES, path);
    if (mode)
        *mode = st.st_mode & 07777;
}

int openAppend(const fs::path& path) {
    refuseUnwritable(path, nullptr);
    const int fd = openNoFollow(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        const int e = errno;
        refuse(e == ENOENT ? err::PathNotFound : e == ELOOP ? err::PermissionDenied : err::PathFileAccess, e, path);
    }
    return fd;
}

// The empty file is made beside the old one, closed and renamed over it before it is opened again:
// a network client refuses to rename a file that is still open.
int openFresh(const fs::path& path) {
    mode_t mode = 0644;
    refuseUnwritable(path, &mode);
    const bool replacing = ::access(path.c_str(), F_OK) == 0;
    std::string temp;
    const int made = createTempBeside(path, temp);
    if (made < 0)
        refuse(errno == ENOENT ? err::PathNotFound : err::PathFileAccess, errno, path);
    int why = ::fchmod(made, mode) == 0 ? 0 : errno;
    if (::close(made) != 0 && why == 0)
        why = errno;
    if (why == 0 && renameRetryingBusy(temp, path) != 0)
        why = errno;
    if (why != 0) {
        discardTempUnlessOnlyCopy(temp, path, replacing);
        refuse(err::PathFileAccess, why, path);
    }
    return openAppend(path);
}

} // namespace

std::unique_ptr<IOutputFile> LinuxFileSystem::OpenOutputFile(const std::string& path, bool append) {
    const fs::path host = m_ns.toHost(path);
    return std::make_unique<HostOutputFile>(append ? openAppend(host) : openFresh(host));
}

} // namespace levora
