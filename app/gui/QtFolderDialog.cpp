#include "QtFolderDialog.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QUrl>

namespace levora {

void QtFolderDialog::prepare(QFileDialog& dialog, const FolderBrowse& where) {
    // Qt's own browser: a native one would ignore the side bar.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(QString());
    QString start = QString::fromStdString(where.start);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    dialog.setDirectory(start);

    QList<QUrl> urls;
    for (const FolderBrowse::Place& p : where.places)
        urls << QUrl::fromLocalFile(QString::fromStdString(p.folder));
    dialog.setSidebarUrls(urls);
    // The side bar names a place after its folder ("drive_c"); the drive letter says more.
    // Qt's side bar keeps each place's address under the role after Qt::UserRole.
    constexpr int kUrlRole = Qt::UserRole + 1;
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    QAbstractItemModel* model = sidebar ? sidebar->model() : nullptr;
    for (int row = 0; model && row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const QString folder = model->data(index, kUrlRole).toUrl().toLocalFile();
        for (const FolderBrowse::Place& p : where.places)
            if (QDir::cleanPath(QString::fromStdString(p.folder)) == QDir::cleanPath(folder))
                model->setData(index, QString::fromStdString(p.label));
    }
}

std::string QtFolderDialog::ChooseFolder(const FolderBrowse& where) {
    // Owned by the active control's window, as the shell's browser is.
    QWidget* owner = QApplication::focusWidget() ? QApplication::focusWidget()->window() : m_owner.data();
    QFileDialog dialog(owner);
    prepare(dialog, where);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

} // namespace levora
