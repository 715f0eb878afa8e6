#include "LinuxRunLock.h"

#include "Error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace levora {

IRunLock::State LinuxRunLock::tryAcquire() {
    if (m_fd >= 0)
        return State::Acquired;
    // Deliberately inheritable: a gain tool that outlives a killed run still writes the shared
    // temporary file, so it holds the machine with us until it ends. The run gives the lock back
    // before it starts the log viewer, which therefore does not hold it.
    const int fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0666);
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
    return State::Acquired;
}

void LinuxRunLock::release() {
    if (m_fd < 0)
        return;
    ::close(m_fd); // the last close of the file drops the lock
    m_fd = -1;
}

} // namespace levora
