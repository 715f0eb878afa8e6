// The four option fields: their fixed entries, the choice of the entry that matches the host's
// AGC default, and the rule that switches the three secondary fields.
#pragma once

#include "app/MainForm.h"
#include "host/TalvioVersion.h"

#include <cstdint>
#include <string>

namespace levora {

struct OptionList {
    int first;
    int last;
    int step;
    int fallbackIndex;
    bool matchMagnitude;      // the registry keeps the magnitude of a negative entry
    bool blankForNonNegative; // " 0" as the runtime's Str() writes it
};

constexpr OptionList kTargetDBList{-35, 0, 1, 9, false, true};
constexpr OptionList kSampleSizeList{4000, 80000, 4000, 1, false, false};
constexpr OptionList kGainThresholdList{1, 20, 1, 4, false, false};
constexpr OptionList kMindBLevelList{-55, -30, 1, 10, true, false};

// The text of one entry of a list.
std::string OptionEntryText(const OptionList& list, int value);

// Appends every entry and selects the one that matches registryValue, else the fallback.
void FillOptionField(IOptionField& field, const OptionList& list, int32_t registryValue);

// Enables or disables cmbGainThreshold, cmbMindBLevel and cmbSampleSize, in this order.
void SetSecondaryOptionsEnabled(IMainForm& form, bool enabled);

// The validation of cmbTargetDB when the focus leaves it; the focus change is never refused.
void cmbTargetDB_Validate(IMainForm& form, const TalvioVersion& version, bool& cancel);

} // namespace levora
