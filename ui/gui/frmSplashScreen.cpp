#include "frmSplashScreen.h"

#include "QtFontControl.h"
#include "Twips.h"
#include "WindowList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontInfo>
#include <QWindow>

namespace levora {

frmSplashScreen::frmSplashScreen(modLocalize& localize, WindowList* windows, QWidget* owner)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_localize(localize), m_windows(windows), m_owner(owner) {
    setObjectName(QStringLiteral("frmSplashScreen"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_defaultFamily = QFontInfo(font()).family();

    const Twips tw = Twips::forWidget(this);
    setFixedSize(tw.size(5325, 900));
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(tw.rect(60, -60, 5235, 915));
    Label1 = new QLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(tw.rect(720, 420, 3795, 195));
    // The prompt leveling puts long file names here: cut them rather than wrap out of sight.
    Label1->setWordWrap(false);

    frmSplashScreen_Auto_Init();
    if (m_windows)
        m_windows->add(this, [this] { frmSplashScreen_Auto_Init(); });
}

frmSplashScreen::~frmSplashScreen() {
    if (m_windows)
        m_windows->remove(this);
}

void frmSplashScreen::frmSplashScreen_Auto_Init() {
    m_localize.SetFormFonts(*this);
    Label1->setText(QString::fromStdString(m_localize.mymyLoadString(12)));
}

QPoint frmSplashScreen::positionOver(const QRect& ownerFrame, const QSize& ownSize, int offsetTopPx) {
    const int top = ownerFrame.top() + offsetTopPx;
    const int left = ownerFrame.left() + ownerFrame.width() / 2 - ownSize.width() / 2;
    return {left, top};
}

void frmSplashScreen::setLabel(const std::string& text) {
    Label1->setText(QString::fromStdString(text));
}

std::string frmSplashScreen::label() const {
    return Label1->text().toStdString();
}

void frmSplashScreen::showOverMain() {
    if (m_owner) {
        const Twips tw = Twips::forWidget(m_owner);
        move(positionOver(m_owner->frameGeometry(), frameGeometry().size(), tw.y(1700)));
    }
    if (m_owner && m_owner->windowHandle()) {
        // Keeps the window above its owner where a window manager orders windows.
        winId();
        windowHandle()->setTransientParent(m_owner->windowHandle());
    }
    raise();
    show();
    raise();
    // The work that follows blocks the event loop: draw the text now. On X11 the window can
    // only be drawn once it is mapped, so wait (briefly, without user input) for that.
    QElapsedTimer t;
    t.start();
    while (windowHandle() && !windowHandle()->isExposed() && t.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    repaint();
}

void frmSplashScreen::hide() {
    QWidget::hide();
}

void frmSplashScreen::forEachControl(const std::function<void(IFontControl*)>& f) {
    for (QWidget* w : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Label1)}) {
        QtFontControl c(w, m_defaultFamily);
        f(&c);
    }
}

void frmSplashScreen::refreshControls() {
    Frame1->update();
    Label1->update();
}

} // namespace levora
