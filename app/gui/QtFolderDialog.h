// The folder browser behind cmdBrowse: folders only, new folders can be made, it starts at the
// desktop (or the home folder) each time and preselects nothing.
#pragma once

#include "platform/Ui.h"

#include <QPointer>
#include <QWidget>

namespace levora {

class QtFolderDialog : public IFolderDialog {
public:
    // owner: used when no control of the application has the focus.
    explicit QtFolderDialog(QWidget* owner = nullptr) : m_owner(owner) {}
    std::string ChooseFolder() override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace levora
