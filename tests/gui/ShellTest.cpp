// The Qt services under every window: twips, message boxes, the event pump, the list of loaded
// windows, fonts by character set, and the please-wait window.
#include "MainHarness.h"
#include "app/gui/QtFolderDialog.h"
#include "app/modDirectorySelect.h"
#include "ui/gui/QtEventPump.h"
#include "ui/gui/QtFontControl.h"
#include "ui/gui/QtMessageBox.h"
#include "ui/gui/Twips.h"
#include "ui/gui/frmSplashScreen.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace levora {
namespace {

TEST(Twips, ConvertEdgesSoNeighboursShareTheirBorder) {
    const Twips tw(96, 96);
    EXPECT_EQ(tw.x(1440), 96);
    EXPECT_EQ(tw.y(10485), 699);
    EXPECT_EQ(tw.rect(60, -60, 5235, 915), QRect(4, -4, 349, 61));
    // 10..20 twips: both edges fall on pixel 1, so the control is 0 wide where a width of
    // 10 twips alone would give 1.
    EXPECT_EQ(tw.rect(10, 0, 10, 10).width(), 0);
    // Two controls side by side in twips touch in pixels whatever the rounding.
    for (int left = 0; left < 60; ++left) {
        const QRect a = tw.rect(left, 0, 1305, 315);
        const QRect b = tw.rect(left + 1305, 0, 1545, 315);
        EXPECT_EQ(a.right() + 1, b.left()) << left;
    }
    const Twips hi(144, 120);
    EXPECT_EQ(hi.x(1440), 144);
    EXPECT_EQ(hi.y(1440), 120);
}

struct BoxAnswer {
    int style;
    QMessageBox::StandardButton press; // NoButton: close with Escape
    int answer;
};

TEST(QtMessageBoxTest, ButtonsAndAnswersFollowTheStyleAndTheTitleDefaultsToLevora) {
    const BoxAnswer cases[] = {
        {vbOKOnly, QMessageBox::Ok, vbOK},           {vbOKCancel, QMessageBox::Ok, vbOK},
        {vbOKCancel, QMessageBox::Cancel, vbCancel}, {vbOKCancel, QMessageBox::NoButton, vbCancel},
        {vbYesNo, QMessageBox::Yes, vbYes},          {vbYesNo, QMessageBox::No, vbNo},
        {vbYesNo + 32, QMessageBox::No, vbNo},       {vbOKOnly, QMessageBox::NoButton, vbOK},
    };
    for (const BoxAnswer& c : cases) {
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            if (c.press == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(c.press)->click();
        });
        QtMessageBox mb;
        EXPECT_EQ(mb.MsgBox("Finished.", c.style), c.answer) << c.style << " " << c.press;
        EXPECT_EQ(title.toStdString(), "Levora");
        EXPECT_EQ(text.toStdString(), "Finished.");
        EXPECT_TRUE(buttons.testFlag(c.press) || c.press == QMessageBox::NoButton);
    }
    QString title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    QtMessageBox mb;
    EXPECT_EQ(mb.MsgBox("Replace the backup?", vbYesNo, "Backup"), vbYes);
    EXPECT_EQ(title.toStdString(), "Backup");
}

TEST(QtEventPumpTest, DoEventsRunsWhatIsPendingAndWaitEventsWaitsForTheNextEvent) {
    QtEventPump pump;
    bool ran = false;
    QMetaObject::invokeMethod(
        qApp, [&] { ran = true; }, Qt::QueuedConnection);
    pump.DoEvents();
    EXPECT_TRUE(ran);

    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    for (int i = 0; i < 100 && !fired; ++i)
        pump.WaitEvents(1000);
    EXPECT_TRUE(fired);
    pump.WaitEvents(0); // nothing pending: returns
}

class Window : public ILoadedWindow {
public:
    explicit Window(std::string name) : m_name(std::move(name)) {}
    std::string windowName() const override { return m_name; }
    void forEachControl(const std::function<void(IFontControl*)>&) override {}
    void refreshControls() override {}

private:
    std::string m_name;
};

TEST(WindowListTest, LabellingProceduresAreFoundByNameWhileTheirWindowIsLoaded) {
    WindowList list;
    Window main("frmMain"), about("frmAbout");
    std::vector<std::string> calls;
    list.add(&main, [&] { calls.push_back("main"); });
    list.add(&about, [&] { calls.push_back("about"); });
    EXPECT_EQ(list.loadedWindows(), (std::vector<ILoadedWindow*>{&main, &about}));
    EXPECT_TRUE(list.callAutoInit("frmAbout_Auto_Init"));
    EXPECT_TRUE(list.callAutoInit("FRMMAIN_AUTO_INIT"));
    EXPECT_FALSE(list.callAutoInit("frmHelp_Auto_Init"));
    EXPECT_FALSE(list.callAutoInit("frmMain"));
    list.remove(&about);
    EXPECT_FALSE(list.callAutoInit("frmAbout_Auto_Init"));
    EXPECT_FALSE(list.isLoaded("frmAbout"));
    EXPECT_EQ(calls, (std::vector<std::string>{"about", "main"}));
    list.add(&main, [&] { calls.push_back("again"); }); // loading again replaces the entry
    EXPECT_EQ(list.loadedWindows().size(), 1u);
}

TEST(QtFontControlTest, CharsetAddsAScriptFamilyAndAnEmptyFaceRestoresTheWindowsFamily) {
    QLabel label;
    const QString family = QFontInfo(label.font()).family();
    const int size = label.font().pointSize();
    QtFontControl c(&label, family);
    c.setCharset(128);
    c.setFaceName(u"MS UI Gothic");
    c.setFontName(u"MS UI Gothic");
    const QStringList families = label.font().families();
    ASSERT_FALSE(families.isEmpty());
    EXPECT_EQ(families.back(), "MS UI Gothic"); // not installed: behind the faces that are
    EXPECT_TRUE(families.contains(family));
    const QString japanese = QtFontControl::familyFor(QFontDatabase::Japanese);
    if (!japanese.isEmpty()) {
        EXPECT_TRUE(families.contains(japanese));
        EXPECT_TRUE(QFontDatabase::families(QFontDatabase::Japanese).contains(QFontInfo(label.font()).family()));
    }
    c.setCharset(1);
    c.setFaceName(u"");
    EXPECT_EQ(label.font().families(), QStringList{family});
    EXPECT_EQ(label.font().pointSize(), size);

    EXPECT_EQ(QtFontControl::writingSystemOf(0), QFontDatabase::Any);
    EXPECT_EQ(QtFontControl::writingSystemOf(129), QFontDatabase::Korean);
    EXPECT_EQ(QtFontControl::writingSystemOf(134), QFontDatabase::SimplifiedChinese);
    EXPECT_EQ(QtFontControl::writingSystemOf(136), QFontDatabase::TraditionalChinese);
    EXPECT_EQ(QtFontControl::writingSystemOf(204), QFontDatabase::Cyrillic);
}

TEST(QtFolderDialogTest, OpensAtTheStartAndListsTheDrivesByLetter) {
    test::TestHost host;
    const auto d = host.tmp.path() / "disk-d";
    std::filesystem::create_directories(d);
    host.prefix.mapDrive('d', d);
    std::filesystem::create_directories(host.prefix.driveC() / "Backup");
    QFileDialog dialog;
    QtFolderDialog::prepare(dialog, modDirectorySelect::browseFrom("C:\\Backup\\", host.ns));
    EXPECT_EQ(dialog.directory().absolutePath().toStdString(), host.ns.toHost("C:\\Backup").string());
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    ASSERT_NE(sidebar, nullptr);
    QStringList places;
    for (int row = 0; row < sidebar->model()->rowCount(); ++row)
        places << sidebar->model()->index(row, 0).data().toString();
    EXPECT_EQ(places, (QStringList{"C:", "D:", "Z:"}));
    EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
}

class SplashTest : public ::testing::Test {
protected:
    SplashTest() {
        owner.setGeometry(200, 100, 600, 400);
        owner.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }
    test::MainHarness h;
    QWidget owner;
};

TEST_F(SplashTest, LoadingLabelsItAndFilesItAmongTheLoadedWindows) {
    frmSplashScreen splash(h.localize, &h.windows, &owner);
    const Twips tw = Twips::forWidget(&splash);
    EXPECT_EQ(splash.label(), "Copying greetings and voice names, please wait...");
    EXPECT_TRUE(h.windows.isLoaded("frmSplashScreen"));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.size(), tw.size(5325, 900));
    EXPECT_EQ(splash.Frame1->geometry(), tw.rect(60, -60, 5235, 915));
    EXPECT_EQ(splash.Label1->parentWidget(), splash.Frame1);
    EXPECT_EQ(splash.Label1->geometry(), tw.rect(720, 420, 3795, 195));
    EXPECT_FALSE(splash.isVisible());

    splash.setLabel("Updating prompt file: ");
    EXPECT_TRUE(h.windows.callAutoInit("frmSplashScreen_Auto_Init"));
    EXPECT_EQ(splash.label(), test::MainHarness::str(12));
}

TEST_F(SplashTest, ShownBelowTheOwnersTopCentredAndHiddenWithoutUnloading) {
    frmSplashScreen splash(h.localize, &h.windows, &owner);
    const Twips tw = Twips::forWidget(&owner);
    splash.setLabel("Updating prompt file: a.wav");
    // Measured on the owner's outer edges, as the window manager reports them.
    auto expected = [&] {
        const QRect o = owner.frameGeometry();
        return QPoint(o.left() + o.width() / 2 - splash.frameGeometry().width() / 2, o.top() + tw.y(1700));
    };
    QApplication::processEvents();
    ASSERT_GT(owner.frameGeometry().left(), 150);
    splash.showOverMain();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.pos(), expected());
    EXPECT_EQ(splash.label(), "Updating prompt file: a.wav");

    splash.hide();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_TRUE(h.windows.isLoaded("frmSplashScreen"));

    // The owner moved between two runs: the window follows.
    owner.move(20, 30);
    QApplication::processEvents();
    ASSERT_LT(owner.frameGeometry().left(), 50);
    splash.showOverMain();
    EXPECT_EQ(splash.pos(), expected());
    EXPECT_EQ(splash.label(), "Updating prompt file: a.wav") << "showing does not reset the label";
    splash.hide();
}

TEST(SplashPosition, IsComputedFromTheOwnersOuterGeometry) {
    EXPECT_EQ(frmSplashScreen::positionOver(QRect(10, 20, 700, 530), QSize(355, 60), 113), QPoint(10 + 350 - 177, 133));
    EXPECT_EQ(frmSplashScreen::positionOver(QRect(-50, 0, 300, 200), QSize(355, 60), 113),
              QPoint(-50 + 150 - 177, 113));
}

} // namespace
} // namespace levora
