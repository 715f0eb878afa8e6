// What the leveling run, the backup, the synchronisation, the restore and the prompt leveling need
// from the main window. frmMain implements it; tests use a double.
#pragma once

#include <string>

namespace levora {

class ISplash {
public:
    virtual ~ISplash() = default;
    virtual void setLabel(const std::string& text) = 0; // frmSplashScreen.Label1
    virtual std::string label() const = 0;
    // Showing protocol: 1700 twips below the owner's top edge, centred on it, raised, shown
    // without blocking, repainted at once.
    virtual void showOverMain() = 0;
    virtual void hide() = 0;
};

class IRunView {
public:
    virtual ~IRunView() = default;

    // The grid (rows 0..rowCount-1, row 0 the header); columns found by key, case ignored.
    virtual int gridRows() const = 0;
    virtual int gridColumnByKey(const std::string& key) const = 0;
    virtual bool gridChecked(int row, int column) const = 0;
    virtual std::string gridText(int row, int column) const = 0;

    virtual bool chkSaveToRegistry() const = 0;
    virtual bool chkBackup() const = 0;
    virtual std::string txtBackupTarget() const = 0;
    virtual std::string cmbTargetDB() const = 0;
    virtual std::string cmbMindBLevel() const = 0;
    virtual std::string cmbSampleSize() const = 0;
    virtual std::string cmbGainThreshold() const = 0;

    virtual void setHourglass(bool on) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual int progressValue() const = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setFrameProgressCaption(const std::string& text) = 0;
    // Animation1: open throws Error 53 when the clip is missing.
    virtual void animationOpen(const std::string& winPath) = 0;
    virtual void animationShow(bool visible) = 0;
    virtual void animationPlay() = 0; // repeats without end
    virtual void animationStop() = 0;

    // No second start while a run, a prompt leveling or a restore is under way.
    virtual void setCommandsEnabled(bool enabled) = 0;

    virtual ISplash& splash() = 0;
};

} // namespace levora
