#include "frmHelp.h"

#include "QtFontControl.h"
#include "Twips.h"
#include "WindowList.h"
#include "ui/HelpPage.h"

#include <QResizeEvent>
#include <QShowEvent>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace levora {

namespace {

int pxToTwips(int px, double dpi) {
    return static_cast<int>(std::lround(px * 1440.0 / dpi));
}

} // namespace

frmHelp::frmHelp(modLocalize& localize, WindowList* windows, IFileSystem& fs, const AppInfo& app)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                           Qt::WindowCloseButtonHint),
      m_localize(localize), m_windows(windows), m_fs(fs), m_app(app) {
    setObjectName(QStringLiteral("frmHelp"));
    setModal(true);
    setSizeGripEnabled(true);
    m_defaultFamily = font().family();

    browserHelp = new QTextBrowser(this);
    browserHelp->setObjectName(QStringLiteral("browserHelp"));
    browserHelp->setOpenLinks(true);
    browserHelp->setOpenExternalLinks(false);

    resize(Twips::forWidget(this).size(kHelpClientWidth, kHelpClientHeight));

    if (m_windows)
        m_windows->add(this, [this] { frmHelp_Auto_Init(); });
    // Load
    frmHelp_Auto_Init();
    Navigate(HelpPageLocation(m_localize, m_fs, m_app));
}

frmHelp::~frmHelp() {
    if (m_windows)
        m_windows->remove(this);
}

void frmHelp::ShowModal(modLocalize& localize, WindowList* windows, IFileSystem& fs, const AppInfo& app) {
    frmHelp help(localize, windows, fs, app);
    help.exec();
}

void frmHelp::frmHelp_Auto_Init() {
    m_localize.SetFormFonts(*this);
    setWindowTitle(QString::fromStdString(m_localize.mymyLoadString(41)));
}

void frmHelp::Navigate(const std::string& location) {
    m_location = location;
    std::filesystem::path host;
    try {
        host = HelpLocationToHost(location, m_fs);
    } catch (...) {
        // A location the namespace cannot place: shown like any page that is not there.
    }
    std::error_code ec;
    if (host.empty() || !std::filesystem::is_regular_file(host, ec)) {
        browserHelp->setHtml(QStringLiteral("<h3>The page cannot be displayed</h3><p>%1</p>")
                                 .arg(QString::fromStdString(location).toHtmlEscaped()));
        return;
    }
    browserHelp->setSource(QUrl::fromLocalFile(QString::fromStdString(host.string())));
}

void frmHelp::forEachControl(const std::function<void(IFontControl*)>& f) {
    // The browser renders the page with the page's own fonts: it has no font of its own here.
    f(nullptr);
}

void frmHelp::refreshControls() {
    browserHelp->viewport()->update();
}

void frmHelp::Form_Resize() {
    if (m_inResize || isMinimized())
        return;
    const Twips tw = Twips::forWidget(this);
    QSize outerPx = frameGeometry().size();
    if (!outerPx.isValid() || outerPx.width() < width() || outerPx.height() < height())
        outerPx = size();
    const int outerW = pxToTwips(outerPx.width(), tw.dpiX());
    const int outerH = pxToTwips(outerPx.height(), tw.dpiY());
    const HelpLayout l = HelpResize(outerW, outerH);
    if (l.outerWidth != outerW || l.outerHeight != outerH) {
        const QSize grow(std::max(0, tw.x(l.outerWidth) - outerPx.width()),
                         std::max(0, tw.y(l.outerHeight) - outerPx.height()));
        m_inResize = true;
        resize(size() + grow);
        m_inResize = false;
    }
    // The rule measures from the outer size; where the window manager's title bar and borders take
    // more than the rule leaves for them, keep the browser (and its scroll bars) inside the client area.
    QRect r = tw.rect(l.browser.left, l.browser.top, l.browser.width, l.browser.height);
    r.setWidth(std::min(r.width(), width() - r.left()));
    r.setHeight(std::min(r.height(), height() - r.top()));
    browserHelp->setGeometry(r);
}

void frmHelp::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    Form_Resize();
}

void frmHelp::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Let the window manager hold the minimum too, once the frame's size is known.
    const Twips tw = Twips::forWidget(this);
    const QSize frameExtra = frameGeometry().size() - size();
    setMinimumSize(std::max(1, tw.x(kHelpMinWidth) - std::max(0, frameExtra.width())),
                   std::max(1, tw.y(kHelpMinHeight) - std::max(0, frameExtra.height())));
    Form_Resize();
}

} // namespace levora
