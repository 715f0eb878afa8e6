// One leveling run, prompt leveling or restore per machine at a time, across processes. The lock
// belongs to the operating system, which drops it when its holder dies, so a killed run never
// leaves the machine locked.
#pragma once

namespace levora {

class IRunLock {
public:
    enum class State { Acquired, HeldElsewhere };
    virtual ~IRunLock() = default;

    // Takes the lock without waiting. HeldElsewhere while another process holds it; a
    // levora::Error when the lock cannot be tried at all (its file cannot be made, ...).
    virtual State tryAcquire() = 0;
    // Gives it back; nothing when it is not held.
    virtual void release() = 0;
};

} // namespace levora
