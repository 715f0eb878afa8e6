// One long operation at a time: the leveling run, the prompt leveling and the restore all share the
// temporary file, the run log and the progress controls, and each yields to window events while it
// works, so a click on another of them must not start a second one. Across processes (two windows,
// the window and levora-level) the machine's run lock does the same.
#pragma once

#include "leveling/RunView.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/RunLock.h"

#include <optional>
#include <string>
#include <vector>

namespace levora {

class BusyFlag {
public:
    BusyFlag() = default;
    explicit BusyFlag(IRunLock& machineLock) : m_machineLock(&machineLock) {}
    bool busy() const { return m_busy; }

private:
    friend class BusyGuard;
    bool m_busy = false;
    IRunLock* m_machineLock = nullptr;
};

// Takes the flag and the machine's lock and disables the commands for its lifetime; gives all back
// when it goes away, whichever way the operation ends. A guard made while the flag or the lock is
// taken acquires nothing.
class BusyGuard {
public:
    BusyGuard(BusyFlag& flag, IRunView& view);
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    bool acquired() const { return m_acquired; }
    // Why a guard acquired nothing: another process holds the machine, or its lock failed.
    bool heldByAnotherProcess() const { return m_heldElsewhere; }
    const std::optional<Error>& lockFailure() const { return m_lockFailure; }
    // With the guard acquired: also locks the host folders it will change (Windows paths; a missing one
    // is passed over), which another machine prefix may lead to as well. False, with
    // heldByAnotherProcess() or lockFailure() saying why, when one of them cannot be had.
    bool lockFolders(IFileSystem& fs, const std::vector<std::string>& winFolders);
    // What taking the machine's lock removed that killed writers had left (host paths).
    std::vector<std::string> removedLeftovers() const;
    // Lets other processes in while this one still waits for a final answer (the commands stay off).
    void releaseMachine();

private:
    BusyFlag& m_flag;
    IRunView& m_view;
    bool m_acquired = false;
    bool m_machineHeld = false;
    bool m_heldElsewhere = false;
    std::optional<Error> m_lockFailure;
};

} // namespace levora
