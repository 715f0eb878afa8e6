// The main window as its start-up and its option rules see it.
#pragma once

#include "app/Grid.h"

#include <string>

namespace levora {

// A drop-down list of fixed entries.
class IOptionField {
public:
    virtual ~IOptionField() = default;
    virtual void AddItem(const std::string& text) = 0;
    virtual int ListCount() const = 0;
    virtual int ListIndex() const = 0;
    // Selecting an entry from code does not run the field's validation.
    virtual void setListIndex(int index) = 0;
    virtual std::string Text() const = 0;
    virtual bool Enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

enum class OptionFieldId { TargetDB, SampleSize, GainThreshold, MindBLevel };

class IMainForm {
public:
    virtual ~IMainForm() = default;
    // Fonts and every caption in the current language.
    virtual void frmMain_Auto_Init() = 0;
    virtual void setPromptsMenuVisible(bool visible) = 0;
    // cmbTargetDB, cmbSampleSize, cmbGainThreshold, cmbMindBLevel.
    virtual IOptionField& optionField(OptionFieldId id) = 0;
    // myGrid.
    virtual IGrid& fileGrid() = 0;
};

} // namespace levora
