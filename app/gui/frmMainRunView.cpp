#include "frmMainRunView.h"

#include "app/modDirectorySelect.h"
#include "frmMain.h"
#include "ui/gui/frmSplashScreen.h"

#include <QApplication>

namespace levora {

frmMainRunView::~frmMainRunView() {
    if (m_hourglass)
        QApplication::restoreOverrideCursor();
}

int frmMainRunView::gridRows() const {
    return m_form.myGrid->Rows();
}

int frmMainRunView::gridColumnByKey(const std::string& key) const {
    return m_form.myGrid->ColIndex(key);
}

bool frmMainRunView::gridChecked(int row, int column) const {
    return m_form.myGrid->CellChecked(row, column);
}

std::string frmMainRunView::gridText(int row, int column) const {
    return m_form.myGrid->TextMatrix(row, column);
}

bool frmMainRunView::chkSaveToRegistry() const {
    return m_form.chkSaveToRegistry->isChecked();
}

bool frmMainRunView::chkBackup() const {
    return m_form.chkBackup->isChecked();
}

std::string frmMainRunView::txtBackupTarget() const {
    // A text typed just before a menu command never lost the focus: give it the backslash here too.
    return BackupTargetOnFocusOut(m_form.txtBackupTarget->text().toStdString());
}

std::string frmMainRunView::cmbTargetDB() const {
    return m_form.cmbTargetDB->currentText().toStdString();
}

std::string frmMainRunView::cmbMindBLevel() const {
    return m_form.cmbMindBLevel->currentText().toStdString();
}

std::string frmMainRunView::cmbSampleSize() const {
    return m_form.cmbSampleSize->currentText().toStdString();
}

std::string frmMainRunView::cmbGainThreshold() const {
    return m_form.cmbGainThreshold->currentText().toStdString();
}

void frmMainRunView::setHourglass(bool on) {
    if (on == m_hourglass)
        return;
    m_hourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmMainRunView::setProgressRange(int minimum, int maximum) {
    m_form.ProgressBar->setRange(minimum, maximum);
}

void frmMainRunView::setProgressValue(int value) {
    m_form.ProgressBar->setValue(value);
}

int frmMainRunView::progressValue() const {
    return m_form.ProgressBar->value();
}

void frmMainRunView::setProgressVisible(bool visible) {
    m_form.ProgressBar->setVisible(visible);
}

void frmMainRunView::setFrameProgressCaption(const std::string& text) {
    m_form.frameProgress->setTitle(QString::fromStdString(text));
}

void frmMainRunView::animationOpen(const std::string& winPath) {
    m_form.Animation1->open(m_form.m_s.ns.toHost(winPath));
}

void frmMainRunView::animationShow(bool visible) {
    m_form.Animation1->setVisible(visible);
}

void frmMainRunView::animationPlay() {
    m_form.Animation1->play();
}

void frmMainRunView::animationStop() {
    m_form.Animation1->stop();
}

void frmMainRunView::setCommandsEnabled(bool enabled) {
    m_form.cmdSetdB->setEnabled(enabled);
    m_form.mnuSetdB->setEnabled(enabled);
    m_form.mnuRestore->setEnabled(enabled);
    m_form.mnuLevoraForPrompts->setEnabled(enabled);
}

ISplash& frmMainRunView::splash() {
    return m_form.splashScreen();
}

} // namespace levora
