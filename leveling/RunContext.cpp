#include "leveling/RunContext.h"

#include "platform/Error.h"

#include <exception>
#include <string>
#include <variant>

namespace levora {

void ReportRefusal(RunContext& ctx, const BusyGuard& guard) {
    try {
        if (guard.heldByAnotherProcess())
            ctx.msgbox.MsgBox(ctx.loadString(kMachineBusyStringId), vbOKOnly);
        else if (guard.lockFailure())
            ctx.msgbox.MsgBox(guard.lockFailure()->description(), vbOKOnly);
    } catch (...) {
    }
}

void OfferRunLog(RunContext& ctx) {
    if (ctx.msgbox.MsgBox(ctx.loadString(20), vbOKCancel) != vbOK)
        return;
    try {
        ctx.processes.Start(kViewerCommandLine, WindowStyle::NormalFocus);
    } catch (...) {
        ctx.msgbox.MsgBox(std::string(kRunLogPath) + ": " + toError(std::current_exception()).description(), vbOKOnly);
    }
}

std::string readHostRoot(RegistryAPI& registry) {
    Variant v = registry.getRegValue(HKEY_LOCAL_MACHINE, kHostKey, kRootPathValue, REG_SZ, std::string());
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

OptionTexts readOptionTexts(const IRunView& view) {
    return OptionTexts{view.cmbTargetDB(), view.cmbMindBLevel(), view.cmbSampleSize(), view.cmbGainThreshold()};
}

} // namespace levora
