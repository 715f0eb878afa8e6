#include "frmAbout.h"

#include "ui/gui/QtFontControl.h"
#include "ui/gui/Twips.h"
#include "ui/gui/WindowList.h"

#include <QCloseEvent>
#include <QCursor>
#include <QPixmap>

// The logos live in the resources of this static library; they must be registered by hand.
static void initAboutResources() {
    Q_INIT_RESOURCE(about);
}

namespace levora {

namespace {

// The language switch still needs a list when the window was loaded without one: itself.
class SelfOnly : public IWindowList {
public:
    explicit SelfOnly(frmAbout& w) : m_w(w) {}
    std::vector<ILoadedWindow*> loadedWindows() override { return {&m_w}; }
    bool callAutoInit(const std::string& name) override {
        if (name != "frmAbout_Auto_Init")
            return false;
        m_w.frmAbout_Auto_Init();
        return true;
    }

private:
    frmAbout& m_w;
};

} // namespace

frmAbout::frmAbout(modLocalize& localize, WindowList* windows, IMessageBox& msgbox, const AppInfo& app)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_localize(localize), m_windows(windows), m_msgbox(msgbox), m_app(app) {
    initAboutResources();
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setSizeGripEnabled(false);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    m_defaultFamily = font().family();

    const Twips tw = Twips::forWidget(this);
    setFixedSize(tw.size(6090, 3285));

    picOrvaneLogo = new QLabel(this);
    picOrvaneLogo->setObjectName(QStringLiteral("picOrvaneLogo"));
    picOrvaneLogo->setPixmap(QPixmap(QStringLiteral(":/about/orvane.bmp")));
    picOrvaneLogo->setGeometry(QRect(tw.rect(120, 120, 0, 0).topLeft(), QSize(104, 62)));
    picTalvioLogo = new QLabel(this);
    picTalvioLogo->setObjectName(QStringLiteral("picTalvioLogo"));
    picTalvioLogo->setPixmap(QPixmap(QStringLiteral(":/about/talvio.bmp")));
    picTalvioLogo->setGeometry(QRect(QPoint(tw.x(6090 - 120) - 146, tw.y(150)), QSize(146, 58)));

    QLabel* title = label("lblVersionTitle", 120, 1170, 1095, 240);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    lblVersionTitle[1] = title;
    lblVersion = label("lblVersion", 1215, 1170, 2200, 240);

    lblChangeLanguage = new LinkLabel(this);
    lblChangeLanguage->setObjectName(QStringLiteral("lblChangeLanguage"));
    lblChangeLanguage->setGeometry(tw.rect(3450, 1170, 2520, 240));
    lblChangeLanguage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont link = lblChangeLanguage->font();
    link.setUnderline(true);
    lblChangeLanguage->setFont(link);
    QPalette linkPalette = lblChangeLanguage->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblChangeLanguage->setPalette(linkPalette);
    connect(lblChangeLanguage, &LinkLabel::activated, this, &frmAbout::popupLanguageMenu);

    lblOrvaneAddress1 = label("lblOrvaneAddress1", 120, 1470, 5850, 225);
    lblOrvaneAddress2 = label("lblOrvaneAddress2", 120, 1695, 5850, 225);
    lblOrvaneAddress3 = label("lblOrvaneAddress3", 120, 1920, 5850, 225);
    lblCopyright = label("lblCopyright", 120, 2175, 5850, 405);
    lblCopyright->setWordWrap(true);
    lblCopyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTrademark = label("lblTrademark", 120, 2580, 4380, 660);
    lblTrademark->setWordWrap(true);
    lblTrademark->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = new QPushButton(this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(tw.rect(4620, 2820, 1350, 375));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] { hide(); });

    mnuSelectLanguage = new QMenu(this);
    mnuSelectLanguage->setObjectName(QStringLiteral("mnuSelectLanguage"));
    QAction* first = mnuSelectLanguage->addAction(QString());
    first->setObjectName(QStringLiteral("mnuLanguageList(0)"));
    connect(first, &QAction::triggered, this, [this] { mnuLanguageList_Click(0); });
    mnuLanguageList.push_back(first);

    // Loaded from here on: the load's own initialisation already sets this window's fonts.
    if (m_windows)
        m_windows->add(this, [this] { frmAbout_Auto_Init(); });
    AboutFormLoad(*this, m_localize, m_msgbox, m_app);
    cmdOK->setFocus();
}

frmAbout::~frmAbout() {
    if (m_windows)
        m_windows->remove(this);
}

void frmAbout::ShowModal(QPointer<frmAbout>& slot, modLocalize& localize, WindowList* windows, IMessageBox& msgbox,
                         const AppInfo& app) {
    if (!slot)
        slot = new frmAbout(localize, windows, msgbox, app);
    slot->exec();
    if (slot && slot->closedByCloseBox())
        delete slot.data();
}

QLabel* frmAbout::label(const char* name, int left, int top, int width, int height) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(Twips::forWidget(this).rect(left, top, width, height));
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

void frmAbout::frmAbout_Auto_Init() {
    levora::frmAbout_Auto_Init(*this, m_localize);
}

void frmAbout::setCaption(const std::string& control, const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (control == "frmAbout")
        setWindowTitle(t);
    else if (control == "cmdOK")
        cmdOK->setText(t);
    else if (control == "lblOrvaneAddress1")
        lblOrvaneAddress1->setText(t);
    else if (control == "lblOrvaneAddress2")
        lblOrvaneAddress2->setText(t);
    else if (control == "lblOrvaneAddress3")
        lblOrvaneAddress3->setText(t);
    else if (control == "lblChangeLanguage")
        lblChangeLanguage->setText(t);
    else if (control == "lblTrademark")
        lblTrademark->setText(t);
    else if (control == "lblCopyright")
        lblCopyright->setText(t);
    else if (control == "lblVersionTitle(1)")
        lblVersionTitle.at(1)->setText(t);
    else if (control == "mnuSelectLanguage")
        mnuSelectLanguage->setTitle(t);
}

void frmAbout::setVersionText(const std::string& text) {
    lblVersion->setText(QString::fromStdString(text));
}

void frmAbout::setLanguageItems(const std::vector<LanguageMenuItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (i >= mnuLanguageList.size()) {
            QAction* a = mnuSelectLanguage->addAction(QString());
            a->setObjectName(QStringLiteral("mnuLanguageList(%1)").arg(i));
            const int index = static_cast<int>(i);
            connect(a, &QAction::triggered, this, [this, index] { mnuLanguageList_Click(index); });
            mnuLanguageList.push_back(a);
        }
        mnuLanguageList[i]->setText(QString::fromStdString(items[i].caption));
        mnuLanguageList[i]->setData(QString::fromStdString(items[i].tag));
    }
}

void frmAbout::setMousePointer(int pointer) {
    if (pointer == vbHourglass)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmAbout::popupLanguageMenu(const QPoint& globalPos) {
    mnuSelectLanguage->popup(globalPos);
}

void frmAbout::mnuLanguageList_Click(int index) {
    if (index < 0 || static_cast<size_t>(index) >= mnuLanguageList.size())
        return;
    const std::string tag = mnuLanguageList[static_cast<size_t>(index)]->data().toString().toStdString();
    if (m_windows) {
        SwitchLanguage(*this, m_localize, *m_windows, tag);
    } else {
        SelfOnly self(*this);
        SwitchLanguage(*this, m_localize, self, tag);
    }
}

void frmAbout::forEachControl(const std::function<void(IFontControl*)>& f) {
    for (QWidget* w : findChildren<QWidget*>()) {
        QtFontControl c(w, m_defaultFamily);
        f(&c);
    }
}

void frmAbout::refreshControls() {
    for (QWidget* w : findChildren<QWidget*>())
        w->update();
}

void frmAbout::closeEvent(QCloseEvent* e) {
    m_closedByCloseBox = true;
    QDialog::closeEvent(e);
}

} // namespace levora
