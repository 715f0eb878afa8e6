#include "leveling/RunContext.h"

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
