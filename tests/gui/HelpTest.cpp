// The help window on Qt: the page it opens, the size it opens at and the minimum-size rule.
#include "support/PrefixFixture.h"
#include "ui/gui/Twips.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmHelp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

namespace levora {
namespace {

class HelpTest : public test::ProgramFolderFixture {
protected:
    HelpTest() {
        test::writeFile(folder() / "Levora.htm", "<html><body><p>fallback page</p></body></html>");
        test::writeFile(folder() / "Levora_FRA.htm",
                        "<html><head><meta charset=\"utf-8\"></head><body><p>page française</p></body></html>");
        test::writeFile(folder() / "Levora_ENX.htm", "<html><body><p>TDD page</p></body></html>");
    }
    std::string shownText(const frmHelp& h) const { return h.browserHelp->toPlainText().toStdString(); }

    test::NoLibraries res;
    modLocalize loc{res, locale, fs, msgbox, app};
    WindowList windows;
};

TEST_F(HelpTest, OpensTheLanguagePageByPathOrTheFallbackByFileLocation) {
    struct Case {
        int32_t language;
        bool removeFrench;
        std::string location;
        std::string text;
    };
    const std::vector<Case> cases{
        {1036, false, "C:\\Program Files\\Levora\\Levora_FRA.htm", "page française"},
        {1036, true, "file://C:\\Program Files\\Levora\\Levora.htm", "fallback page"},
        {33801, false, "C:\\Program Files\\Levora\\Levora_ENX.htm", "TDD page"},
        {1031, false, "file://C:\\Program Files\\Levora\\Levora.htm", "fallback page"},
    };
    for (const auto& c : cases) {
        if (c.removeFrench)
            std::filesystem::remove(folder() / "Levora_FRA.htm");
        loc.CurrentLanguageID = c.language;
        frmHelp help(loc, &windows, fs, app);
        EXPECT_EQ(help.location(), c.location) << c.language;
        EXPECT_EQ(shownText(help), c.text) << c.language;
        EXPECT_EQ(help.windowTitle().toStdString(), "Levora Level");
    }
}

TEST_F(HelpTest, AMissingFallbackShowsTheBrowsersOwnNotice) {
    std::filesystem::remove(folder() / "Levora.htm");
    loc.CurrentLanguageID = 1031;
    frmHelp help(loc, &windows, fs, app);
    EXPECT_EQ(help.location(), "file://C:\\Program Files\\Levora\\Levora.htm");
    EXPECT_NE(shownText(help).find("cannot be displayed"), std::string::npos);
}

TEST_F(HelpTest, OpensAtItsSizeAndKeepsTheMinimum) {
    loc.CurrentLanguageID = 1033;
    frmHelp help(loc, &windows, fs, app);
    const Twips tw = Twips::forWidget(&help);
    EXPECT_EQ(help.size(), tw.size(9405, 8040));
    EXPECT_TRUE(windows.isLoaded("frmHelp"));
    help.show();
    QApplication::processEvents();
    // Without a window manager the outer size is the client size.
    const QSize outer = help.frameGeometry().size();
    EXPECT_EQ(help.browserHelp->geometry().topLeft(), QPoint(tw.x(100), tw.y(1)));
    EXPECT_NEAR(help.browserHelp->width(), outer.width() - tw.x(200), 1);
    EXPECT_NEAR(help.browserHelp->height(), outer.height() - tw.y(400), 1);

    help.resize(20, 20); // dragged far too small: springs back
    QApplication::processEvents();
    EXPECT_GE(help.frameGeometry().width(), tw.x(2500) - 1);
    EXPECT_GE(help.frameGeometry().height(), tw.y(2400) - 1);
    EXPECT_NEAR(help.browserHelp->width(), tw.x(2300), 1);
    EXPECT_NEAR(help.browserHelp->height(), tw.y(2000), 1);

    help.resize(tw.size(12000, 9000));
    QApplication::processEvents();
    EXPECT_NEAR(help.browserHelp->width(), help.frameGeometry().width() - tw.x(200), 1);
    EXPECT_NEAR(help.browserHelp->height(), help.frameGeometry().height() - tw.y(400), 1);
    help.hide();
}

TEST_F(HelpTest, ShowModalUnloadsOnClose) {
    loc.CurrentLanguageID = 1036;
    bool wasLoaded = false;
    QTimer::singleShot(0, [&] {
        wasLoaded = windows.isLoaded("frmHelp");
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmHelp" && w->isVisible())
                w->close();
    });
    frmHelp::ShowModal(loc, &windows, fs, app);
    EXPECT_TRUE(wasLoaded);
    EXPECT_FALSE(windows.isLoaded("frmHelp"));
}

} // namespace
} // namespace levora
