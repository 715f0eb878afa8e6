// The "please wait" window: no border, no title bar, no input; shown over the main window while
// a long synchronous step runs, hidden afterwards and kept loaded.
#pragma once

#include "i18n/modLocalize.h"
#include "leveling/RunView.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QWidget>

namespace levora {

class WindowList;

class frmSplashScreen : public QWidget, public ILoadedWindow, public ISplash {
    Q_OBJECT
public:
    // Loading the window labels it and files it in the list of loaded windows.
    frmSplashScreen(modLocalize& localize, WindowList* windows, QWidget* owner = nullptr);
    ~frmSplashScreen() override;

    void frmSplashScreen_Auto_Init();

    // The window it is shown over (the main window).
    void setOwner(QWidget* owner) { m_owner = owner; }
    // Showing protocol, with the owner's outer geometry in pixels.
    static QPoint positionOver(const QRect& ownerFrame, const QSize& ownSize, int offsetTopPx);

    // ISplash
    void setLabel(const std::string& text) override;
    std::string label() const override;
    void showOverMain() override;
    void hide() override;

    // ILoadedWindow
    std::string windowName() const override { return "frmSplashScreen"; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override;
    void refreshControls() override;

    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;

private:
    modLocalize& m_localize;
    WindowList* m_windows;
    QPointer<QWidget> m_owner;
    QString m_defaultFamily;
};

} // namespace levora
