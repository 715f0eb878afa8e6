// Windows staged for the screenshots in docs/ (scripts/screenshot runs this under Xvfb):
//
//   gui_scenes splash PREFIX     the please-wait window over a plain window of the main window's size
//
// It stays until it is killed.
#include "i18n/modLocalize.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxLocale.h"
#include "platform/PeResources.h"
#include "platform/Prefix.h"
#include "platform/WinPath.h"
#include "ui/gui/AppFont.h"
#include "ui/gui/QtMessageBox.h"
#include "ui/gui/Twips.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmSplashScreen.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

using namespace levora;

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "splash") {
        std::fprintf(stderr, "usage: gui_scenes splash PREFIX\n");
        return 2;
    }
    QApplication application(argc, argv);
    applyLevoraWindowFont();

    MachinePrefix prefix(argv[2]);
    PathNamespace ns(prefix);
    LinuxFileSystem fs(ns);
    PeResources resources(&modLocalize::builtInStringW);
    LinuxLocale locale([](const std::string&) -> std::optional<std::string> { return std::nullopt; });
    QtMessageBox msgbox;
    AppInfo app;
    app.programFolder = "C:\\";
    modLocalize localize(resources, locale, fs, msgbox, app);
    WindowList windows;

    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Levora Level"));
    owner.setObjectName(QStringLiteral("plainWindow"));
    const Twips tw = Twips::forScreen();
    owner.setFixedSize(tw.size(10485, 7545));
    owner.move(40, 40);
    owner.show();

    frmSplashScreen splash(localize, &windows, &owner);
    splash.setWindowTitle(QStringLiteral("frmSplashScreen")); // only for finding it; it shows no title
    QTimer::singleShot(200, [&] { splash.showOverMain(); });
    return QApplication::exec();
}
