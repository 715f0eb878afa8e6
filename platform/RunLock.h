// One leveling run, prompt leveling or restore per machine at a time, across processes, and one per
// host folder across machine prefixes (two prefixes may lead their drives to the same host folders).
// A lock whose holder is gone never keeps the machine locked: the operating system drops the
// prefix's lock with its holder, and a folder's lock of a holder provably gone is taken over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace levora {

class IRunLock {
public:
    enum class State { Acquired, HeldElsewhere };
    virtual ~IRunLock() = default;

    // Takes the lock without waiting. HeldElsewhere while another process holds it; a
    // levora::Error when the lock cannot be tried at all (its file cannot be made, ...).
    virtual State tryAcquire() = 0;
    // With the lock held: also locks a host folder the operation will change (the host root, the
    // folder of drive C), so that another prefix leading to the same folder is refused. Given back
    // by release(). HeldElsewhere and Error as for tryAcquire.
    virtual State tryAcquireFolder(const std::filesystem::path& /*hostFolder*/) { return State::Acquired; }
    // Notes a program started while the lock is held, so that a later holder can wait for it, or
    // stop it, if it outlives this process.
    virtual void recordProgram(uint32_t /*pid*/) {}
    // The files a killed writer left in the machine prefix that tryAcquire removed (host paths).
    virtual std::vector<std::string> removedLeftovers() const { return {}; }
    // Gives it back; nothing when it is not held.
    virtual void release() = 0;
};

} // namespace levora
