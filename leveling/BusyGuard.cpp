#include "leveling/BusyGuard.h"

namespace levora {

BusyGuard::BusyGuard(BusyFlag& flag, IRunView& view) : m_flag(flag), m_view(view) {
    if (m_flag.m_busy)
        return;
    m_flag.m_busy = true;
    m_acquired = true;
    try {
        m_view.setCommandsEnabled(false);
    } catch (...) {
        // The flag alone still refuses a second start.
    }
}

BusyGuard::~BusyGuard() {
    if (!m_acquired)
        return;
    m_flag.m_busy = false;
    try {
        m_view.setCommandsEnabled(true);
    } catch (...) {
    }
}

} // namespace levora
