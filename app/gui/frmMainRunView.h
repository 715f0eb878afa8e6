// frmMain as the leveling run, the backup, the synchronisation, the prompt leveling and the
// restore see it: the grid, the option texts, the progress controls and the please-wait window.
#pragma once

#include "leveling/RunView.h"

namespace levora {

class frmMain;

class frmMainRunView : public IRunView {
public:
    explicit frmMainRunView(frmMain& form) : m_form(form) {}
    ~frmMainRunView() override;

    int gridRows() const override;
    int gridColumnByKey(const std::string& key) const override;
    bool gridChecked(int row, int column) const override;
    std::string gridText(int row, int column) const override;

    bool chkSaveToRegistry() const override;
    bool chkBackup() const override;
    std::string txtBackupTarget() const override;
    std::string cmbTargetDB() const override;
    std::string cmbMindBLevel() const override;
    std::string cmbSampleSize() const override;
    std::string cmbGainThreshold() const override;

    void setHourglass(bool on) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    int progressValue() const override;
    void setProgressVisible(bool visible) override;
    void setFrameProgressCaption(const std::string& text) override;
    void animationOpen(const std::string& winPath) override;
    void animationShow(bool visible) override;
    void animationPlay() override;
    void animationStop() override;
    void setCommandsEnabled(bool enabled) override;
    ISplash& splash() override;

private:
    frmMain& m_form;
    bool m_hourglass = false;
};

} // namespace levora
