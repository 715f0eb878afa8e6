// The main window: the option fields, the file list, the backup folder, the progress controls and
// the commands. Its load handler is the start-up (app/StartUp.h), run by main() before showing it.
// Controls keep their given names (members and objectName alike).
#pragma once

#include "Animation.h"
#include "GridControl.h"
#include "LevelColumn.h"
#include "app/FileGrid.h"
#include "app/MainForm.h"
#include "host/TalvioVersion.h"
#include "i18n/modLocalize.h"
#include "leveling/LevelingRun.h"
#include "leveling/RunView.h"
#include "platform/Ui.h"
#include "platform/WinPath.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <array>
#include <functional>
#include <memory>

namespace levora {

class WindowList;
struct RunOutcome;
class frmSplashScreen;
class frmMainRunView;

// A drop-down list of fixed entries as the option rules see it.
class QtOptionField : public IOptionField {
public:
    explicit QtOptionField(QComboBox* const& combo) : m_combo(combo) {}
    void AddItem(const std::string& text) override;
    int ListCount() const override { return m_combo->count(); }
    int ListIndex() const override { return m_combo->currentIndex(); }
    void setListIndex(int index) override;
    std::string Text() const override { return m_combo->currentText().toStdString(); }
    bool Enabled() const override { return m_combo->isEnabled(); }
    void setEnabled(bool enabled) override { m_combo->setEnabled(enabled); }

private:
    QComboBox* const& m_combo;
};

struct frmMainServices {
    modLocalize& localize;
    WindowList& windows;
    const TalvioVersion& version;
    const PathNamespace& ns;
    IMessageBox& msgbox;
    IFolderDialog& folderDialog;
    std::function<void()> endProgram; // Module1.EndProgram
};

class frmMain : public QMainWindow, public IMainForm, public ILoadedWindow, private GridEvents {
    Q_OBJECT
public:
    explicit frmMain(frmMainServices services);
    ~frmMain() override;

    // Commands of other parts of the program; unset ones do nothing.
    std::function<void()> onSetdB;            // cmdSetdB: the leveling run
    std::function<void()> onRestore;          // mnuRestore
    std::function<void()> onLevoraForPrompts; // mnuLevoraForPrompts
    std::function<void()> onHelp;             // Help(1)
    std::function<void()> onStopRun;          // asks the leveling run under way to stop after its current files
    std::function<void()> onAbout;            // About(2)
    // The file the level report goes to (a host path); empty: not saved. Default: a save dialog.
    std::function<std::string()> askReportFile;

    // The window as the leveling run, the backup, the synchronisation and the restore see it.
    IRunView& runView();
    // The please-wait window, loaded on first use.
    frmSplashScreen& splashScreen();
    frmSplashScreen* loadedSplash() const { return m_splash.get(); }

    // IMainForm
    void frmMain_Auto_Init() override;
    void setPromptsMenuVisible(bool visible) override { mnuLevoraForPrompts->setVisible(visible); }
    IOptionField& optionField(OptionFieldId id) override;
    IGrid& fileGrid() override { return *myGrid; }

    // ILoadedWindow
    std::string windowName() const override { return "frmMain"; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override;
    void refreshControls() override;

    // Event handlers, public so that tests can raise the events.
    void cmdBrowse_Click();
    void cmdSelectAll_Click();
    void cmdUnselectAll_Click();
    void cmbTargetDB_Validate();
    void txtBackupTarget_LostFocus();
    void cmdExit_Click();
    void mnuSaveLevelReport_Click();
    void mnuSelectOutOfBand_Click();

    // The level column: measured after the window first shows; around a run, the run's files
    // keep their levels before it and are measured again after it; after a restore, all are.
    LevelColumn& levelColumn() { return *m_levels; }
    void levelsBeforeRun();
    void levelsAfterRun(const RunOutcome& outcome);
    // After a run: the Progress frame says how it went; an Exit asked for during the run happens now.
    void runEnded(const RunOutcome& outcome);
    bool running() const { return m_running; }

    // Controls, in the order in which the window creates them.
    QGroupBox* frameBackupGreetings = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* txtBackupTarget = nullptr;
    QCheckBox* chkBackup = nullptr;
    QGroupBox* frameOptions = nullptr;
    QCheckBox* chkSaveToRegistry = nullptr;
    QComboBox* cmbMindBLevel = nullptr;
    QComboBox* cmbSampleSize = nullptr;
    QComboBox* cmbGainThreshold = nullptr;
    QComboBox* cmbTargetDB = nullptr;
    std::array<QLabel*, 4> lblTargetDb2{};
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblTargetDB = nullptr;
    QPushButton* cmdSetdB = nullptr;
    QGroupBox* frameProgress = nullptr;
    QProgressBar* ProgressBar = nullptr;
    AnimationControl* Animation1 = nullptr;
    QPushButton* cmdExit = nullptr;
    QGroupBox* frameSelectWAVFiles = nullptr;
    GridControl* myGrid = nullptr;
    QPushButton* cmdUnselectAll = nullptr;
    QPushButton* cmdSelectAll = nullptr;
    QLabel* Label2 = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuSetdB = nullptr; // the Levora Level command
    QAction* mnuRestore = nullptr;
    QAction* mnuLevoraForPrompts = nullptr;
    QAction* mnuSaveLevelReport = nullptr;
    QAction* mnuSelectOutOfBand = nullptr;
    QAction* Seperator2 = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuHelpHeader = nullptr;
    std::array<QAction*, 2> Help{}; // element 1
    QAction* Seperator = nullptr;
    std::array<QAction*, 3> About{}; // element 2

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class frmMainRunView;
    void createControls(); // frmMainLayout.cpp
    void createMenus();    // frmMainLayout.cpp
    void setTabOrder();    // frmMainLayout.cpp
    void connectHandlers();
    // Runs an event handler; a failure that escapes it is shown instead of reaching the event loop.
    void guarded(const std::function<void()>& handler);
    // A report saved before any run: what a run with the shown options would do to each ticked file.
    void planReport(LevelReport& report, const LevelOptions& shown) const;

    // myGrid's events.
    void Click() override;
    void BeforeEdit(int row, int col, bool& cancel) override;
    void AfterSort(int col, int order) override;

    frmMainServices m_s;
    QString m_defaultFamily;
    QtOptionField m_targetDB{cmbTargetDB};
    QtOptionField m_sampleSize{cmbSampleSize};
    QtOptionField m_gainThreshold{cmbGainThreshold};
    QtOptionField m_mindBLevel{cmbMindBLevel};
    std::unique_ptr<FileGridRules> m_gridRules;
    std::unique_ptr<frmMainRunView> m_runView;
    std::unique_ptr<frmSplashScreen> m_splash;
    std::unique_ptr<LevelColumn> m_levels;
    bool m_focusSet = false;
    bool m_ranThisSession = false; // the run log is this session's
    bool m_running = false;        // a leveling run is under way
    bool m_exitAfterRun = false;   // Exit was asked for during the run, which stops after its current files
};

} // namespace levora
