// The folder browser behind cmdBrowse: folders only, new folders can be made; it starts where
// the logic says (the backup folder, else C:\) and offers the machine's drives in its side bar.
#pragma once

#include "platform/Ui.h"

#include <QPointer>
#include <QWidget>

class QFileDialog;

namespace levora {

class QtFolderDialog : public IFolderDialog {
public:
    // owner: used when no control of the application has the focus.
    explicit QtFolderDialog(QWidget* owner = nullptr) : m_owner(owner) {}
    std::string ChooseFolder(const FolderBrowse& where) override;

    // The browser, set up but not shown (tests look at it).
    static void prepare(QFileDialog& dialog, const FolderBrowse& where);

private:
    QPointer<QWidget> m_owner;
};

} // namespace levora
