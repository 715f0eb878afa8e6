#include "leveling/BusyGuard.h"

namespace levora {

BusyGuard::BusyGuard(BusyFlag& flag, IRunView& view) : m_flag(flag), m_view(view) {
    if (m_flag.m_busy)
        return;
    if (m_flag.m_machineLock) {
        try {
            m_heldElsewhere = m_flag.m_machineLock->tryAcquire() == IRunLock::State::HeldElsewhere;
        } catch (...) {
            m_lockFailure = toError(std::current_exception());
        }
        if (m_heldElsewhere || m_lockFailure)
            return;
        m_machineHeld = true;
    }
    m_flag.m_busy = true;
    m_acquired = true;
    try {
        m_view.setCommandsEnabled(false);
    } catch (...) {
        // The flag alone still refuses a second start.
    }
}

bool BusyGuard::lockFolders(IFileSystem& fs, const std::vector<std::string>& winFolders) {
    if (!m_machineHeld)
        return m_acquired;
    try {
        for (const std::string& folder : winFolders) {
            if (folder.empty() || !fs.FolderExists(folder))
                continue;
            if (m_flag.m_machineLock->tryAcquireFolder(fs.HostPath(folder)) == IRunLock::State::HeldElsewhere) {
                m_heldElsewhere = true;
                return false;
            }
        }
    } catch (...) {
        m_lockFailure = toError(std::current_exception());
        return false;
    }
    return true;
}

std::vector<std::string> BusyGuard::removedLeftovers() const {
    return m_machineHeld ? m_flag.m_machineLock->removedLeftovers() : std::vector<std::string>{};
}

void BusyGuard::releaseMachine() {
    if (!m_machineHeld)
        return;
    m_machineHeld = false;
    m_flag.m_machineLock->release();
}

BusyGuard::~BusyGuard() {
    if (!m_acquired)
        return;
    releaseMachine();
    m_flag.m_busy = false;
    try {
        m_view.setCommandsEnabled(true);
    } catch (...) {
    }
}

} // namespace levora
