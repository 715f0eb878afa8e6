// The About window: version, the maker's notices and the language switch.
//
// Lifecycle: loading (the constructor) labels the window, writes the version text and builds
// the language menu from a fresh scan. OK hides the window and keeps it loaded, so showing it
// again shows the same menu; the close box unloads it, so the next showing loads it afresh.
#pragma once

#include "i18n/AboutLogic.h"
#include "i18n/modLocalize.h"
#include "platform/AppInfo.h"
#include "platform/Ui.h"
#include "ui/gui/LinkLabel.h"

#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>

#include <map>
#include <vector>

namespace levora {

class WindowList;

class frmAbout : public QDialog, public ILoadedWindow, public IAboutView {
    Q_OBJECT
public:
    frmAbout(modLocalize& localize, WindowList* windows, IMessageBox& msgbox, const AppInfo& app);
    ~frmAbout() override;

    // The About menu item: shows the window modally without an owner, loading it into slot when
    // it is not loaded, and unloads it again when the user closed it with the close box.
    static void ShowModal(QPointer<frmAbout>& slot, modLocalize& localize, WindowList* windows, IMessageBox& msgbox,
                          const AppInfo& app);

    void frmAbout_Auto_Init();

    // Opens mnuSelectLanguage as a pop-up at a global position (the pointer on a click, below the
    // link from the keyboard).
    void popupLanguageMenu(const QPoint& globalPos);
    // What a click on element k of mnuLanguageList does.
    void mnuLanguageList_Click(int index);
    // True once the close box closed the window: it is to be unloaded.
    bool closedByCloseBox() const { return m_closedByCloseBox; }

    // ILoadedWindow
    std::string windowName() const override { return "frmAbout"; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override;
    void refreshControls() override;

    // IAboutView
    ILoadedWindow& window() override { return *this; }
    void setCaption(const std::string& control, const std::string& text) override;
    void setVersionText(const std::string& text) override;
    void setLanguageItems(const std::vector<LanguageMenuItem>& items) override;
    void setMousePointer(int pointer) override;

    QLabel* picOrvaneLogo = nullptr;
    QLabel* picTalvioLogo = nullptr;
    std::map<int, QLabel*> lblVersionTitle; // a control array: only element 1 is used
    QLabel* lblVersion = nullptr;
    QLabel* lblOrvaneAddress1 = nullptr;
    QLabel* lblOrvaneAddress2 = nullptr;
    QLabel* lblOrvaneAddress3 = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblTrademark = nullptr;
    LinkLabel* lblChangeLanguage = nullptr;
    QPushButton* cmdOK = nullptr;
    QMenu* mnuSelectLanguage = nullptr;
    std::vector<QAction*> mnuLanguageList; // element 0 exists from the start

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    QLabel* label(const char* name, int left, int top, int width, int height);

    modLocalize& m_localize;
    WindowList* m_windows;
    IMessageBox& m_msgbox;
    const AppInfo& m_app;
    QString m_defaultFamily;
    bool m_closedByCloseBox = false;
};

} // namespace levora
