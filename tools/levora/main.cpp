// Levora: start-up, then the main window until the user ends the program.
#include "app/gui/Program.h"
#include "app/gui/frmMain.h"
#include "platform/Prefix.h"
#include "ui/gui/AppFont.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* v = std::getenv(name); v && *v)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        std::cerr << "Levora shows a window and needs a display: run it on a desktop, or under a virtual\n"
                     "one with  xvfb-run -a levora\n";
        return 2;
    }
    // The command line as the program sees it, before Qt takes its own options out.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Levora"));
    levora::applyLevoraWindowFont();

    levora::Program::Options options;
    options.prefixRoot = levora::MachinePrefix::defaultRoot();
    options.arguments = std::move(arguments);
    levora::Program program(std::move(options));
    if (program.load() == levora::LoadResult::Ended)
        return 0;
    program.form().show();
    return QApplication::exec();
}
