#include "QtFolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace levora {

std::string QtFolderDialog::ChooseFolder() {
    // Owned by the active control's window, as the shell's browser is.
    QWidget* owner = QApplication::focusWidget() ? QApplication::focusWidget()->window() : m_owner.data();
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::string() : QDir::toNativeSeparators(chosen).toStdString();
}

} // namespace levora
