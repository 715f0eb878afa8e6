#include "leveling/SyncDirectory.h"

#include "platform/AutomationCall.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace levora {

namespace {
constexpr const char* kWarningLine = "(warning) Syncer did not complete.  Waiting 30 seconds and trying again";
}

bool DirectorySync::isRetryable(int32_t number) {
    return number == err::E_POINTER_ || number == err::RPC_E_DISCONNECTED_;
}

std::string DirectorySync::failureLine(const Error& e) {
    const int32_t n = e.number();
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + std::string inlined at -O3.
    std::string number = n >= 0 ? " " : "";
    number += std::to_string(n);
    return "(error) Failed to syncronize SQL data with the directory.  Error number=" + number +
           " Description=" + e.description();
}

// Before the call: the progress bar gives way to the looping clip and the status line. Display
// failures (a missing clip) go to the run's trap on every pass: they are not synchronisation failures.
void DirectorySync::showAnimation(StepRunner& trap) {
    IRunView& view = m_ctx.view;
    trap.step([&] { view.setProgressVisible(false); });
    trap.step([&] { view.animationOpen(m_ctx.app.programFolder + "\\filecopy.avi"); });
    trap.step([&] { view.animationShow(true); });
    trap.step([&] { view.animationPlay(); });
    trap.step([&] { view.setFrameProgressCaption(m_ctx.loadString(43)); });
    trap.step([&] { m_ctx.pump.DoEvents(); });
}

bool DirectorySync::SyncDirectory(StepRunner& runTrap) {
    std::string attached;
    runTrap.step([&] {
        const Variant v =
            m_ctx.registry.getRegValue(HKEY_LOCAL_MACHINE, kAttachedHostKey, kAttachedHostValue, REG_SZ, std::string());
        if (const auto* s = std::get_if<std::string>(&v))
            attached = *s;
    });
    if (!attached.empty()) {
        m_ctx.log.WriteLog("(warning) This machine is a copy of " + attached +
                           ": the host resynchronises its database after levora-host detach.");
        runTrap.step([&] { m_ctx.view.setFrameProgressCaption(m_ctx.loadString(20)); });
        return false;
    }
    std::shared_ptr<IDispatchObject> bridge;
    runTrap.step([&] { bridge = m_ctx.automation.CreateObject(kSyncProgId); });

    StepRunner syncTrap([&](const Error& e) {
        m_ctx.log.WriteLog(failureLine(e));
        m_ctx.msgbox.MsgBox(m_ctx.loadString(42), vbOKOnly);
    });

    // Arguments 1 and 2 are passed by reference and keep whatever the component left in them.
    std::vector<Variant> args{Empty{}, Empty{}, int32_t{1}, int16_t{0}, int16_t{0}};
    bool synced = false;
    bool createdAgain = false;
    const std::function<double()> now = m_now ? m_now : [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
    const double deadline = now() + m_timeLimit;
    const std::string limitText = std::to_string(static_cast<long long>(std::lround(m_timeLimit)));
    for (int attempt = 1;; ++attempt) {
        showAnimation(runTrap);
        const double left = deadline - now();
        if (left <= 0) {
            syncTrap.report(Error(err::SyncTimedOut, "The synchronisation did not complete within " + limitText +
                                                         " seconds and was given up."));
            break;
        }
        try {
            if (bridge)
                bridge->setCallTimeoutMs(static_cast<uint32_t>(std::ceil(left * 1000.0)));
            CallByName(bridge, "SyncCommit", args);
            synced = true;
            break;
        } catch (...) {
            const Error e = toError(std::current_exception());
            // A component whose server is gone answers nothing any more: it is created once more,
            // and if that one fails or dies too, waiting longer would not help.
            const bool dead = bridge && !bridge->alive();
            if (!isRetryable(e.number()) || (dead && createdAgain)) {
                syncTrap.report(e);
                break;
            }
            if (!dead && attempt >= m_maxTries) {
                // A component that never completes must not hold the window for ever.
                m_ctx.log.WriteLog("(error) Syncer did not complete after " + std::to_string(attempt) +
                                   " tries.  Giving up.");
                syncTrap.report(e);
                break;
            }
            if (now() + kRetryPauseSeconds >= deadline) {
                m_ctx.log.WriteLog("(error) Syncer did not complete within " + limitText + " seconds.  Giving up.");
                syncTrap.report(e);
                break;
            }
            m_ctx.log.WriteLog(kWarningLine);
            syncTrap.step([&] { m_ctx.pause(kRetryPauseSeconds); });
            if (dead) {
                createdAgain = true;
                bridge.reset();
                if (!syncTrap.step([&] { bridge = m_ctx.automation.CreateObject(kSyncProgId); }))
                    break;
            }
        }
    }
    bridge.reset(); // the server exits once its input is closed

    syncTrap.step([&] { m_ctx.view.animationStop(); });
    syncTrap.step([&] { m_ctx.view.animationShow(false); });
    syncTrap.step([&] { m_ctx.view.setFrameProgressCaption(m_ctx.loadString(20)); });
    return synced;
}

} // namespace levora
