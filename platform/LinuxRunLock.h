// The machine's run lock as an advisory lock (flock) on a file in the machine prefix.
#pragma once

#include "RunLock.h"

#include <filesystem>

namespace levora {

class LinuxRunLock : public IRunLock {
public:
    // file: the lock file, made on first use (MachinePrefix::runLockFile()).
    explicit LinuxRunLock(std::filesystem::path file) : m_file(std::move(file)) {}
    ~LinuxRunLock() override { release(); }
    LinuxRunLock(const LinuxRunLock&) = delete;
    LinuxRunLock& operator=(const LinuxRunLock&) = delete;

    State tryAcquire() override;
    void release() override;
    // How many times tryAcquire found the lock held by another process.
    int refusals() const { return m_refusals; }

private:
    std::filesystem::path m_file;
    int m_fd = -1;
    int m_refusals = 0;
};

} // namespace levora
