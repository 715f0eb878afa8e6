#include "app/OptionFields.h"

#include "leveling/LevelingRun.h"

#include <cstdlib>

namespace levora {

std::string OptionEntryText(const OptionList& list, int value) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + std::string inlined at -O3.
    std::string text = list.blankForNonNegative && value >= 0 ? " " : "";
    text += std::to_string(value);
    return text;
}

void FillOptionField(IOptionField& field, const OptionList& list, int32_t registryValue) {
    bool selected = false;
    for (int value = list.first; value <= list.last; value += list.step) {
        field.AddItem(OptionEntryText(list, value));
        const int32_t compared = list.matchMagnitude ? std::abs(value) : value;
        if (compared == registryValue) {
            field.setListIndex(field.ListCount() - 1);
            selected = true;
        }
    }
    if (!selected)
        field.setListIndex(list.fallbackIndex);
}

void SetSecondaryOptionsEnabled(IMainForm& form, bool enabled) {
    form.optionField(OptionFieldId::GainThreshold).setEnabled(enabled);
    form.optionField(OptionFieldId::MindBLevel).setEnabled(enabled);
    form.optionField(OptionFieldId::SampleSize).setEnabled(enabled);
}

void cmbTargetDB_Validate(IMainForm& form, const TalvioVersion& version, bool& /*cancel*/) {
    if (NumberOfText(form.optionField(OptionFieldId::TargetDB).Text()) == 0.0)
        SetSecondaryOptionsEnabled(form, false);
    else if (version.bIsVersionGreaterThanOrEqualTo(3, 1, 3, 19))
        SetSecondaryOptionsEnabled(form, true);
}

} // namespace levora
