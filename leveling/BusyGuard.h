// One long operation at a time: the leveling run, the prompt leveling and the restore all share the
// temporary file, the run log and the progress controls, and each yields to window events while it
// works, so a click on another of them must not start a second one.
#pragma once

#include "leveling/RunView.h"

namespace levora {

class BusyFlag {
public:
    bool busy() const { return m_busy; }

private:
    friend class BusyGuard;
    bool m_busy = false;
};

// Takes the flag and disables the commands for its lifetime; gives both back when it goes away,
// whichever way the operation ends. A guard made while the flag is taken acquires nothing.
class BusyGuard {
public:
    BusyGuard(BusyFlag& flag, IRunView& view);
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    bool acquired() const { return m_acquired; }

private:
    BusyFlag& m_flag;
    IRunView& m_view;
    bool m_acquired = false;
};

} // namespace levora
