// The help window: the help page of the current language in a browser that fills the window.
// Each showing loads the window afresh; closing it unloads it.
#pragma once

#include "i18n/modLocalize.h"
#include "platform/AppInfo.h"
#include "platform/FileSystem.h"

#include <QDialog>
#include <QTextBrowser>

#include <string>

namespace levora {

class WindowList;

class frmHelp : public QDialog, public ILoadedWindow {
    Q_OBJECT
public:
    frmHelp(modLocalize& localize, WindowList* windows, IFileSystem& fs, const AppInfo& app);
    ~frmHelp() override;

    // The Help menu item: loads the window, shows it modally without an owner, unloads it.
    static void ShowModal(modLocalize& localize, WindowList* windows, IFileSystem& fs, const AppInfo& app);

    void frmHelp_Auto_Init();

    // The browser's one operation: go to a location given as text (a Windows path, or "file://"
    // and a Windows path).
    void Navigate(const std::string& location);
    const std::string& location() const { return m_location; }

    // ILoadedWindow
    std::string windowName() const override { return "frmHelp"; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override;
    void refreshControls() override;

    QTextBrowser* browserHelp = nullptr;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void Form_Resize();

    modLocalize& m_localize;
    WindowList* m_windows;
    IFileSystem& m_fs;
    const AppInfo& m_app;
    QString m_defaultFamily;
    std::string m_location;
    bool m_inResize = false;
};

} // namespace levora
