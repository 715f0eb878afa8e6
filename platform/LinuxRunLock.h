// The machine's run lock as an advisory lock (flock) on a file in the machine prefix, and the host
// folders' locks as a file made exclusively in each folder ("levora-run.lock": holder's host name,
// process id and start time, then one line per program it started), flock'ed too where flock works.
// No lock descriptor is inherited by a started program.
#pragma once

#include "RunLock.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace levora {

class LinuxRunLock : public IRunLock {
public:
    static constexpr const char* kFolderLockName = "levora-run.lock";
    // How long a program left running by a holder that is gone may go on before it is killed.
    static constexpr uint32_t kDefaultOrphanWaitMs = 10 * 1000;

    // file: the lock file, made on first use (MachinePrefix::runLockFile()).
    explicit LinuxRunLock(std::filesystem::path file) : m_file(std::move(file)) {}
    ~LinuxRunLock() override { release(); }
    LinuxRunLock(const LinuxRunLock&) = delete;
    LinuxRunLock& operator=(const LinuxRunLock&) = delete;

    State tryAcquire() override;
    State tryAcquireFolder(const std::filesystem::path& hostFolder) override;
    void recordProgram(uint32_t pid) override;
    std::vector<std::string> removedLeftovers() const override { return m_removed; }
    void release() override;
    // How many times tryAcquire or tryAcquireFolder found a lock held by another process.
    int refusals() const { return m_refusals; }
    void setOrphanWaitMs(uint32_t ms) { m_orphanWaitMs = ms; }

    // "<host name>\n<pid>\n<start time>\n": what a folder lock's holder writes first.
    static std::string holderText(pid_t pid);
    // The process's start time (clock ticks after boot), 0 when it is not running (or a zombie).
    static unsigned long long startTimeOf(pid_t pid);

private:
    struct FolderLock {
        std::filesystem::path file;
        int fd = -1;
        dev_t dev = 0;
        ino_t ino = 0;
    };
    enum class Found { Held, Gone, Replaced };
    Found inspect(const std::filesystem::path& file);
    void removePrefixLeftovers();
    void endOrphans(const std::vector<std::pair<pid_t, unsigned long long>>& programs) const;

    std::filesystem::path m_file;
    int m_fd = -1;
    int m_refusals = 0;
    uint32_t m_orphanWaitMs = kDefaultOrphanWaitMs;
    std::mutex m_recordMutex; // programs are started from several job threads
    std::vector<FolderLock> m_folders;
    std::vector<std::string> m_removed;
};

} // namespace levora
