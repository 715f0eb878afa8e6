#include "frmMain.h"

#include "app/OptionFields.h"
#include "app/modDirectorySelect.h"
#include "frmMainRunView.h"
#include "leveling/LevelingRun.h"
#include "levels/RowOutcome.h"
#include "ui/gui/QtFontControl.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmSplashScreen.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>

#include <set>

#include <utility>

namespace levora {

void QtOptionField::AddItem(const std::string& text) {
    m_combo->addItem(QString::fromStdString(text));
}

void QtOptionField::setListIndex(int index) {
    if (index < -1 || index >= m_combo->count())
        throw Error(380, "Invalid property value");
    m_combo->setCurrentIndex(index);
}

frmMain::frmMain(frmMainServices services)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_s(std::move(services)) {
    setObjectName(QStringLiteral("frmMain"));
    m_defaultFamily = QFontInfo(font()).family();
    createControls();
    createMenus();
    m_gridRules = std::make_unique<FileGridRules>(*myGrid);
    m_runView = std::make_unique<frmMainRunView>(*this);
    m_levels = std::make_unique<LevelColumn>(
        *myGrid, myGrid->ColIndex(kLevelKey), myGrid->ColIndex(kFileNameKey), m_s.ns.prefix(),
        [this] { return NumberOfText(cmbTargetDB->currentText().toStdString()); },
        [this] { return NumberOfText(cmbGainThreshold->currentText().toStdString()); },
        [this](int id) { return m_s.localize.mymyLoadString(id); });
    m_levels->onFilled = [this] {
        mnuSaveLevelReport->setEnabled(true);
        mnuSelectOutOfBand->setEnabled(true);
    };
    connectHandlers();
    m_s.windows.add(this, [this] { frmMain_Auto_Init(); });
}

frmMain::~frmMain() {
    m_s.windows.remove(this);
    m_levels.reset();
    m_splash.reset();
}

IRunView& frmMain::runView() {
    return *m_runView;
}

frmSplashScreen& frmMain::splashScreen() {
    if (!m_splash)
        m_splash = std::make_unique<frmSplashScreen>(m_s.localize, &m_s.windows, this);
    return *m_splash;
}

IOptionField& frmMain::optionField(OptionFieldId id) {
    switch (id) {
    case OptionFieldId::TargetDB:
        return m_targetDB;
    case OptionFieldId::SampleSize:
        return m_sampleSize;
    case OptionFieldId::GainThreshold:
        return m_gainThreshold;
    case OptionFieldId::MindBLevel:
        break;
    }
    return m_mindBLevel;
}

void frmMain::connectHandlers() {
    myGrid->setEvents(this);
    auto on = [this](auto* sender, auto signal, std::function<void()> handler) {
        connect(sender, signal, this, [this, handler] { guarded(handler); });
    };
    auto command = [this](const std::function<void()>& slot) {
        return [&slot] {
            if (slot)
                slot();
        };
    };
    on(cmdBrowse, &QPushButton::clicked, [this] { cmdBrowse_Click(); });
    on(cmdSelectAll, &QPushButton::clicked, [this] { cmdSelectAll_Click(); });
    on(cmdUnselectAll, &QPushButton::clicked, [this] { cmdUnselectAll_Click(); });
    on(cmdExit, &QPushButton::clicked, [this] { cmdExit_Click(); });
    on(mnuExit, &QAction::triggered, [this] { cmdExit_Click(); });
    on(cmdSetdB, &QPushButton::clicked, command(onSetdB));
    on(mnuRestore, &QAction::triggered, command(onRestore));
    on(mnuLevoraForPrompts, &QAction::triggered, command(onLevoraForPrompts));
    on(Help[1], &QAction::triggered, command(onHelp));
    on(About[2], &QAction::triggered, command(onAbout));
    on(mnuSaveLevelReport, &QAction::triggered, [this] { mnuSaveLevelReport_Click(); });
    on(mnuSelectOutOfBand, &QAction::triggered, [this] { mnuSelectOutOfBand_Click(); });
    connect(mnuSetdB, &QAction::triggered, cmdSetdB, &QPushButton::click);
    for (QComboBox* field : {cmbTargetDB, cmbGainThreshold})
        connect(field, &QComboBox::currentIndexChanged, this, [this] { m_levels->remark(); });
    cmbTargetDB->installEventFilter(this);
    txtBackupTarget->installEventFilter(this);
    for (QPushButton* b : {cmdBrowse, cmdSetdB, cmdExit, cmdUnselectAll, cmdSelectAll})
        b->installEventFilter(this);
}

void frmMain::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        const Error e = toError(std::current_exception());
        try {
            m_s.msgbox.MsgBox("Run-time error '" + std::to_string(e.number()) + "':\n\n" + e.description());
        } catch (...) {
        }
    }
}

void frmMain::frmMain_Auto_Init() {
    modLocalize& loc = m_s.localize;
    loc.SetFormFonts(*this);
    auto str = [&](int id) { return QString::fromStdString(loc.mymyLoadString(id)); };
    setWindowTitle(str(41));
    frameBackupGreetings->setTitle(str(8));
    cmdBrowse->setText(str(9));
    chkBackup->setText(str(37));
    frameOptions->setTitle(str(30));
    chkSaveToRegistry->setText(str(36));
    lblTargetDb2[3]->setText(str(4));
    lblTargetDb2[2]->setText(str(3));
    lblTargetDb2[1]->setText(str(1));
    Label4->setText(str(23));
    Label3->setText(str(22));
    Label1->setText(str(34));
    lblTargetDB->setText(str(24));
    lblTargetDb2[0]->setText(str(2));
    cmdSetdB->setText(str(41));
    frameProgress->setTitle(str(32));
    cmdExit->setText(str(18));
    frameSelectWAVFiles->setTitle(str(39));
    cmdUnselectAll->setText(str(49));
    cmdSelectAll->setText(str(38));
    Label2->setText(str(52));
    mnuFile->setTitle(str(19));
    mnuSetdB->setText(str(41));
    mnuSelectOutOfBand->setText(str(69));
    mnuRestore->setText(str(33));
    mnuSaveLevelReport->setText(str(57));
    mnuExit->setText(str(18));
    mnuHelpHeader->setTitle(str(21));
    Help[1]->setText(str(21));
    About[2]->setText(str(6));
    myGrid->setTextMatrix(0, myGrid->ColIndex("FileName"), loc.mymyLoadString(54));
    myGrid->setTextMatrix(0, myGrid->ColIndex(kLevelKey), loc.mymyLoadString(56));
    // Names for assistive technology: the field after the check box that labels it, not after
    // its frame; the file list after its frame.
    txtBackupTarget->setAccessibleName(chkBackup->text().remove(QLatin1Char('&')));
    myGrid->setAccessibleName(frameSelectWAVFiles->title().remove(QLatin1Char('&')));
    m_levels->retranslate();
}

void frmMain::forEachControl(const std::function<void(IFontControl*)>& f) {
    QWidget* const controls[] = {frameBackupGreetings,
                                 cmdBrowse,
                                 txtBackupTarget,
                                 chkBackup,
                                 frameOptions,
                                 chkSaveToRegistry,
                                 cmbMindBLevel,
                                 cmbSampleSize,
                                 cmbGainThreshold,
                                 cmbTargetDB,
                                 lblTargetDb2[3],
                                 lblTargetDb2[2],
                                 lblTargetDb2[1],
                                 Label4,
                                 Label3,
                                 Label1,
                                 lblTargetDB,
                                 lblTargetDb2[0],
                                 cmdSetdB,
                                 frameProgress,
                                 ProgressBar,
                                 Animation1,
                                 cmdExit,
                                 frameSelectWAVFiles,
                                 myGrid,
                                 cmdUnselectAll,
                                 cmdSelectAll,
                                 Label2};
    for (QWidget* w : controls) {
        QtFontControl c(w, m_defaultFamily);
        f(&c);
    }
    // Menu items have no font of their own.
    for (int i = 0; i < 9; ++i)
        f(nullptr);
}

void frmMain::refreshControls() {
    for (QWidget* w : centralWidget()->findChildren<QWidget*>())
        w->update();
    menuBar()->update();
}

void frmMain::cmdBrowse_Click() {
    const std::string current = txtBackupTarget->text().toStdString();
    const std::string chosen = modDirectorySelect::strBrowseForFolder(m_s.folderDialog, m_s.ns, current);
    const std::string text = BackupTargetFromBrowse(current, chosen);
    txtBackupTarget->setText(QString::fromStdString(text));
}

void frmMain::cmdSelectAll_Click() {
    m_gridRules->SetAllChecks(true);
}

void frmMain::cmdUnselectAll_Click() {
    m_gridRules->SetAllChecks(false);
}

void frmMain::cmbTargetDB_Validate() {
    bool cancel = false;
    levora::cmbTargetDB_Validate(*this, m_s.version, cancel);
}

void frmMain::txtBackupTarget_LostFocus() {
    const std::string text = txtBackupTarget->text().toStdString();
    const std::string fixed = BackupTargetOnFocusOut(text);
    if (fixed != text)
        txtBackupTarget->setText(QString::fromStdString(fixed));
}

void frmMain::cmdExit_Click() {
    if (m_running) {
        // Ending now would leave a file half done, the log without its end and the host unsynchronised.
        if (m_exitAfterRun)
            return;
        if (m_s.msgbox.MsgBox(m_s.localize.mymyLoadString(64), vbYesNo) != vbYes)
            return;
        m_exitAfterRun = true;
        frameProgress->setTitle(QString::fromStdString(m_s.localize.mymyLoadString(70)));
        if (onStopRun)
            onStopRun();
        return;
    }
    if (m_s.endProgram)
        m_s.endProgram();
}

void frmMain::levelsBeforeRun() {
    mnuSaveLevelReport->setEnabled(false);
    mnuSelectOutOfBand->setEnabled(false);
    m_running = true;
    m_levels->beginRun();
}

void frmMain::levelsAfterRun(const RunOutcome& outcome) {
    m_running = false;
    m_ranThisSession = true;
    m_levels->endRun(outcome.files);
}

void frmMain::runEnded(const RunOutcome& outcome) {
    levelsAfterRun(outcome);
    if (outcome.reachedEnd())
        frameProgress->setTitle(
            QString::fromStdString(RunSummary(outcome, [this](int id) { return m_s.localize.mymyLoadString(id); })));
    if (std::exchange(m_exitAfterRun, false))
        cmdExit_Click();
}

void frmMain::mnuSelectOutOfBand_Click() {
    if (!m_levels->filled())
        return;
    const double target = NumberOfText(cmbTargetDB->currentText().toStdString());
    const double minimum = NumberOfText(cmbMindBLevel->currentText().toStdString());
    const int selected = myGrid->ColIndex(kSelectedKey);
    const std::vector<bool> outside = m_levels->outsideBand(target, minimum);
    for (int row = 1; row < myGrid->Rows(); ++row)
        myGrid->setCellChecked(row, selected, outside[static_cast<size_t>(row - 1)]);
}

void frmMain::mnuSaveLevelReport_Click() {
    if (!m_levels->filled())
        return;
    std::string file;
    if (askReportFile) {
        file = askReportFile();
    } else {
        file = QFileDialog::getSaveFileName(this, mnuSaveLevelReport->text().remove(QStringLiteral("...")),
                                            QStringLiteral("levels.html"),
                                            QStringLiteral("HTML (*.html *.htm);;CSV (*.csv)"))
                   .toStdString();
    }
    if (file.empty())
        return;
    // A name without an extension gets the page; another extension is refused by the writer.
    if (std::filesystem::path(file).extension().empty())
        file += ".html";
    LevelOptions shown;
    shown.target = NumberOfText(cmbTargetDB->currentText().toStdString());
    shown.minimum = NumberOfText(cmbMindBLevel->currentText().toStdString());
    shown.maxChange = NumberOfText(cmbGainThreshold->currentText().toStdString());
    LevelReport report = m_levels->report(shown);
    if (!m_ranThisSession)
        planReport(report, shown);
    report.machine = m_s.ns.prefix().root().string();
    report.when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
    try {
        writeReport(file, report);
    } catch (const Error& e) {
        m_s.msgbox.MsgBox("The level report could not be written to " + file + ":\n\n" + e.description(), vbOKOnly);
    }
}

void frmMain::planReport(LevelReport& report, const LevelOptions& shown) const {
    // Before any run of this session a ticked file's row says what a run with the shown options would
    // do to it; its level after is not known yet.
    std::set<std::string> ticked;
    const int selected = myGrid->ColIndex(kSelectedKey);
    const int fileCol = myGrid->ColIndex(kFileNameKey);
    for (int row = 1; row < myGrid->Rows(); ++row)
        if (myGrid->CellChecked(row, selected))
            ticked.insert(myGrid->TextMatrix(row, fileCol));
    for (ReportRow& row : report.rows)
        if (ticked.count(row.path))
            planRow(row, shown);
    report.notes.push_back("No run yet: each ticked file's row says what a run with these options would do");
}

void frmMain::closeEvent(QCloseEvent* event) {
    guarded([this] { cmdExit_Click(); });
    // During a run the window stays until the run has stopped; Exit then ends the program.
    if (m_running)
        event->ignore();
    else
        event->accept();
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_focusSet) {
        m_focusSet = true;
        cmdExit->setFocus(Qt::OtherFocusReason);
        // Once the window is on the screen: the start-up never waits for the meter.
        QTimer::singleShot(0, this, [this] { m_levels->measure(); });
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // Return on a push button presses it, as Space does (outside a dialog Qt leaves it to the button).
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->animateClick();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (watched == cmbTargetDB && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            guarded([this] { cmbTargetDB_Validate(); });
        else if (watched == txtBackupTarget && reason != Qt::PopupFocusReason)
            guarded([this] { txtBackupTarget_LostFocus(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Click() {
    guarded([this] { m_gridRules->Click(); });
}

void frmMain::BeforeEdit(int row, int col, bool& cancel) {
    guarded([&] { m_gridRules->BeforeEdit(row, col, cancel); });
}

void frmMain::AfterSort(int col, int order) {
    guarded([&] { m_gridRules->AfterSort(col, order); });
}

} // namespace levora
