#include "leveling/RunContext.h"

#include <variant>

namespace levora {

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
