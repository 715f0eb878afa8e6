#include "speech/PendingFile.h"

#include "speech/ToolError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace gainfix {

namespace {

[[noreturn]] void destinationFailure(const fs::path& dst, const std::string& what, int err) {
    throw ToolError(Failure::Destination, dst.string() + ": " + what + ": " + std::strerror(err));
}

mode_t newFileMode(const fs::path& destination) {
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777; // replacing a file keeps its permissions
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

PendingFile::PendingFile(fs::path destination) : m_destination(std::move(destination)) {
    std::error_code ec;
    if (fs::is_directory(m_destination, ec))
        throw ToolError(Failure::Destination, m_destination.string() + ": destination is a folder");
    fs::path folder = m_destination.parent_path();
    if (folder.empty())
        folder = ".";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + std::string inlined at -O3.
    std::string name = ".";
    name += m_destination.filename().string();
    name += ".gainfix-XXXXXX";
    std::string templ = (folder / name).string();
    m_fd = ::mkstemp(templ.data());
    if (m_fd < 0)
        destinationFailure(m_destination, "cannot create a file beside the destination", errno);
    m_temp = templ;
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    if (::fchmod(m_fd, newFileMode(m_destination)) != 0) {
        const int e = errno;
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_temp.c_str());
        destinationFailure(m_destination, "cannot set permissions", e);
    }
}

PendingFile::~PendingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.empty())
        ::unlink(m_temp.c_str());
}

void PendingFile::commit() {
    // The flush protects a file that already exists: after a crash it must be the old one or the
    // complete new one. A destination that did not exist has nothing to protect (Levora deletes its
    // scratch file before every run and flushes the copy it makes of it), and the flush is most of
    // the time a file takes.
    std::error_code ec;
    if (fs::exists(m_destination, ec) && ::fsync(m_fd) != 0)
        destinationFailure(m_destination, "cannot flush", errno);
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0)
        destinationFailure(m_destination, "cannot close", errno);
    if (::rename(m_temp.c_str(), m_destination.c_str()) != 0)
        destinationFailure(m_destination, "cannot replace", errno);
    m_committed = true;
    // The folder is not flushed: after a crash the destination is either the old file or the
    // complete new one, never a torn one, which is all the callers rely on; a folder flush would
    // double the cost of every file.
}

void copyFileAtomically(const fs::path& source, const fs::path& destination) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw ToolError(Failure::Source, source.string() + ": cannot read source: " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    PendingFile out(destination);
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw ToolError(Failure::Source, source.string() + ": read error: " + std::strerror(errno));
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.fd(), buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                destinationFailure(destination, "write error", errno);
            }
            done += put;
        }
    }
    out.commit();
}

} // namespace gainfix
