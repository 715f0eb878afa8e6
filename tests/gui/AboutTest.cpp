// The About window on Qt: its controls, its language menu over the real shipped libraries, its
// lifecycle (OK hides, the close box unloads) and the switch across the loaded windows.
#include "app/gui/frmMain.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/gui/frmAbout.h"
#include "platform/PeResources.h"
#include "platform/RegistryStore.h"
#include "support/PrefixFixture.h"
#include "ui/gui/QtFontControl.h"
#include "ui/gui/QtTranslations.h"
#include "ui/gui/Twips.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmSplashScreen.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace levora {
namespace {

class NoFolderDialog : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse&) override { return {}; }
};

class AboutTest : public test::ProgramFolderFixture {
protected:
    AboutTest() { loc.setWindowList(&windows); }
    ~AboutTest() override {
        delete about.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // A shipped library copied beside the program, under the name given.
    void ship(const std::string& code, const std::string& asName = {}) {
        const auto src = test::binDir() / ("Levora_" + code + ".dll");
        ASSERT_TRUE(std::filesystem::exists(src)) << src << " is built with the program";
        std::filesystem::copy_file(src, folder() / (asName.empty() ? src.filename().string() : asName),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::vector<std::pair<std::string, std::string>> menu() const {
        std::vector<std::pair<std::string, std::string>> items;
        for (QAction* a : about->mnuLanguageList)
            items.emplace_back(a->text().toStdString(), a->data().toString().toStdString());
        return items;
    }
    // Runs f once the modal window is up (the nested event loop is running).
    static void whenShown(std::function<void()> f) { QTimer::singleShot(0, std::move(f)); }

    PeResources res{&modLocalize::builtInStringW, [this](const std::string& p) { return ns.toHost(p); }};
    modLocalize loc{res, locale, fs, msgbox, app};
    WindowList windows;
    QPointer<frmAbout> about;
};

TEST_F(AboutTest, WithoutLibrariesTheMenuHoldsThePlaceholder) {
    loc.InitalizeLanguages();
    about = new frmAbout(loc, &windows, msgbox, app);
    using Items = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(menu(), (Items{{"no languages loaded", "1033"}}));
    EXPECT_EQ(about->lblVersion->text().toStdString(), " 1.0 Build 35");
    EXPECT_EQ(about->windowTitle().toStdString(), "Levora Level");
    EXPECT_EQ(about->cmdOK->text().toStdString(), "OK");
    EXPECT_EQ(about->lblVersionTitle.at(1)->text().toStdString(), "Version:");
    EXPECT_EQ(about->mnuSelectLanguage->title().toStdString(), "Select Language");
    EXPECT_TRUE(msgbox.shown.empty());
    EXPECT_TRUE(windows.isLoaded("frmAbout"));
}

TEST_F(AboutTest, ControlsAndLogosAreAsDrawn) {
    loc.InitalizeLanguages();
    about = new frmAbout(loc, &windows, msgbox, app);
    const Twips tw = Twips::forWidget(about);
    EXPECT_EQ(about->size(), tw.size(6090, 3285));
    EXPECT_EQ(about->minimumSize(), about->maximumSize()); // fixed border
    EXPECT_FALSE(about->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(about->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(about->lblVersionTitle.at(1)->font().bold());
    EXPECT_TRUE(about->lblChangeLanguage->font().underline());
    EXPECT_EQ(about->lblChangeLanguage->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    const QPixmap orvane = about->picOrvaneLogo->pixmap();
    const QPixmap talvio = about->picTalvioLogo->pixmap();
    EXPECT_EQ(orvane.size(), QSize(104, 62));
    EXPECT_EQ(talvio.size(), QSize(146, 58));
    // Each control lies inside the client area, and the labels do not overlap one another.
    std::vector<QWidget*> controls{about->picOrvaneLogo,
                                   about->picTalvioLogo,
                                   about->lblVersionTitle.at(1),
                                   about->lblVersion,
                                   about->lblOrvaneAddress1,
                                   about->lblOrvaneAddress2,
                                   about->lblOrvaneAddress3,
                                   about->lblCopyright,
                                   about->lblTrademark,
                                   about->lblChangeLanguage,
                                   about->cmdOK};
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(about->rect().contains(controls[i]->geometry())) << controls[i]->objectName().toStdString();
        for (size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << controls[i]->objectName().toStdString() << " / " << controls[j]->objectName().toStdString();
    }
}

TEST_F(AboutTest, MenuListsTheShippedLibrariesInListingOrder) {
    ship("JPN");
    ship("ENU");
    ship("FRA");
    about = new frmAbout(loc, &windows, msgbox, app);
    using Items = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(menu(),
              (Items{{"English (United States)", "1033"}, {"French (France)", "1036"}, {"Japanese (Japan)", "1041"}}));
}

TEST_F(AboutTest, OkHidesAndKeepsTheMenuTheCloseBoxUnloads) {
    ship("DEU");
    whenShown([this] {
        ASSERT_TRUE(about && about->isVisible());
        about->cmdOK->click();
    });
    frmAbout::ShowModal(about, loc, &windows, msgbox, app);
    ASSERT_TRUE(about); // hidden, still loaded
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(windows.isLoaded("frmAbout"));
    bool firstUnloaded = false;
    QObject::connect(about.data(), &QObject::destroyed, [&] { firstUnloaded = true; });

    ship("FRA"); // added while the window is hidden
    size_t itemsWhileShownAgain = 0;
    whenShown([&] {
        itemsWhileShownAgain = about->mnuLanguageList.size();
        about->close(); // the close box
    });
    frmAbout::ShowModal(about, loc, &windows, msgbox, app);
    EXPECT_EQ(itemsWhileShownAgain, 1u);
    EXPECT_FALSE(about); // unloaded
    EXPECT_TRUE(firstUnloaded);
    EXPECT_FALSE(windows.isLoaded("frmAbout"));

    size_t itemsAfterReload = 0;
    whenShown([&] {
        itemsAfterReload = about->mnuLanguageList.size();
        about->cmdOK->click();
    });
    frmAbout::ShowModal(about, loc, &windows, msgbox, app);
    EXPECT_EQ(itemsAfterReload, 2u);
}

TEST_F(AboutTest, ChangeLanguageWorksFromTheKeyboardAndForAssistiveTechnology) {
    ship("DEU");
    about = new frmAbout(loc, &windows, msgbox, app);
    about->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about.data()));
    about->activateWindow();
    about->cmdOK->setFocus();
    QMenu* menu = about->mnuSelectLanguage;
    auto expectMenuBelowTheLink = [&](const char* how) {
        ASSERT_TRUE(menu->isVisible()) << how;
        const QRect link(about->lblChangeLanguage->mapToGlobal(QPoint(0, 0)), about->lblChangeLanguage->size());
        EXPECT_GE(menu->pos().y(), link.bottom() - 1) << how;
        EXPECT_GE(menu->pos().x(), link.left()) << how;
        menu->hide();
    };

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), about->lblChangeLanguage) << "Tab reaches the link";
    QTest::keyClick(about->lblChangeLanguage, Qt::Key_Space);
    expectMenuBelowTheLink("Space");
    QTest::keyClick(about->lblChangeLanguage, Qt::Key_Return);
    expectMenuBelowTheLink("Enter");

    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(about->lblChangeLanguage);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name).toStdString(), "Change Language");
    ASSERT_NE(link->actionInterface(), nullptr);
    EXPECT_TRUE(link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    expectMenuBelowTheLink("press action");
    about->hide();
}

class SwitchOnQt : public AboutTest {
protected:
    SwitchOnQt() : registryStore(prefix.systemReg()), registry(registryStore), version(registry, msgbox) {
        main = std::make_unique<frmMain>(frmMainServices{loc, windows, version, ns, msgbox, folderDialog, [] {}});
        loc.InitalizeLanguages();
        main->frmMain_Auto_Init();
        main->splashScreen().hide(); // loaded, never shown
    }
    ~SwitchOnQt() override {
        delete about.data();
        main.reset();
    }
    int indexOfTag(const std::string& tag) const {
        for (size_t i = 0; i < about->mnuLanguageList.size(); ++i)
            if (about->mnuLanguageList[i]->data().toString().toStdString() == tag)
                return static_cast<int>(i);
        return -1;
    }
    RegistryStore registryStore;
    RegistryAPI registry;
    TalvioVersion version;
    NoFolderDialog folderDialog;
    std::unique_ptr<frmMain> main;
};

TEST_F(SwitchOnQt, GermanRelabelsMainAboutAndTheHiddenSplash) {
    ship("ENU");
    ship("DEU");
    about = new frmAbout(loc, &windows, msgbox, app);
    ASSERT_EQ(main->cmdExit->text().toStdString(), "Exit");
    const int k = indexOfTag("1031");
    ASSERT_GE(k, 0);
    about->mnuLanguageList_Click(k);
    EXPECT_EQ(loc.CurrentLanguageID, 1031);
    EXPECT_EQ(main->cmdExit->text().toStdString(), "Beenden");
    EXPECT_EQ(main->frameOptions->title().toStdString(), "Optionen");
    EXPECT_EQ(about->lblChangeLanguage->text().toStdString(), "Sprache ändern");
    EXPECT_EQ(about->mnuSelectLanguage->title().toStdString(), "Sprache auswählen");
    EXPECT_FALSE(main->loadedSplash()->isVisible());
    EXPECT_EQ(main->loadedSplash()->label(), "Ansagen werden kopiert, bitte warten...");
    // what the labelling does not set keeps its text
    EXPECT_EQ(about->lblVersion->text().toStdString(), " 1.0 Build 35");
    EXPECT_EQ(about->mnuLanguageList[0]->text().toStdString(), "German (Germany)");
    EXPECT_TRUE(about->cursor().shape() != Qt::WaitCursor);
    EXPECT_TRUE(msgbox.shown.empty());

    // and back to English through its own library
    about->mnuLanguageList_Click(indexOfTag("1033"));
    EXPECT_EQ(main->cmdExit->text().toStdString(), "Exit");
    EXPECT_EQ(main->loadedSplash()->label(), "Copying greetings and voice names, please wait...");
}

TEST_F(SwitchOnQt, JapaneseGivesEveryControlTheJapaneseFace) {
    ship("JPN");
    about = new frmAbout(loc, &windows, msgbox, app);
    about->mnuLanguageList_Click(indexOfTag("1041"));
    ASSERT_EQ(loc.CurrentLanguageID, 1041);
    const QString face = QString::fromUtf16(u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
    EXPECT_EQ(about->cmdOK->text(), QString::fromUtf16(u"OK"));
    EXPECT_EQ(about->lblChangeLanguage->text(), QString::fromUtf16(u"言語の変更"));
    std::vector<QWidget*> all;
    for (QWidget* w : about->findChildren<QWidget*>())
        all.push_back(w);
    all.push_back(main->cmdExit);
    all.push_back(main->frameOptions);
    all.push_back(main->loadedSplash()->Label1);
    for (QWidget* w : all) {
        const QStringList families = w->font().families();
        ASSERT_FALSE(families.isEmpty()) << w->objectName().toStdString();
        EXPECT_TRUE(families.contains(face)) << w->objectName().toStdString();
        EXPECT_EQ(QFontInfo(w->font()).family(), QtFontControl::familyFor(QFontDatabase::Japanese))
            << w->objectName().toStdString();
    }
    // the bold title stays bold, the link stays underlined: only the face changes
    EXPECT_TRUE(about->lblVersionTitle.at(1)->font().bold());
    EXPECT_TRUE(about->lblChangeLanguage->font().underline());
}

TEST_F(SwitchOnQt, StandardButtonsFollowTheLanguage) {
    ship("ENU");
    ship("DEU");
    QtTranslations qt;
    loc.setLanguageListener([&qt](const std::string& locale) { qt.use(locale); });
    auto yesNo = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return (box.button(QMessageBox::Yes)->text() + "/" + box.button(QMessageBox::No)->text()).toStdString();
    };
    loc.CurrentLanguageID = 1031;
    loc.InitalizeLanguages(); // as the start-up does
    EXPECT_EQ(yesNo(), "&Ja/&Nein");
    about = new frmAbout(loc, &windows, msgbox, app);
    about->mnuLanguageList_Click(indexOfTag("1033"));
    EXPECT_EQ(yesNo(), "&Yes/&No");
}

} // namespace
} // namespace levora
