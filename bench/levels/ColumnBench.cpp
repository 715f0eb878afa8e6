// How long the level column of the main window takes to fill on a demo host of 32,767 greetings
// and voice names: from the window shown to the last level in the grid, with the window's own
// background measurement (one thread per core). Goal: under 40 s on the build machine.
//
//   column_bench [files] [seconds]      (default 32767 files of 6 s; QT_QPA_PLATFORM as set,
//                                         offscreen when unset)
#include "app/gui/Program.h"
#include "app/gui/frmMain.h"
#include "bench/BenchDoubles.h"
#include "ui/gui/AppFont.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace levora;
using levora::bench::NoFolder;
using levora::bench::SilentBox;

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int files = argc > 1 ? std::atoi(argv[1]) : 32767;
    const std::string seconds = argc > 2 ? argv[2] : "6";
    QApplication application(argc, argv);
    applyLevoraWindowFont();

    const fs::path root = fs::path(COLUMN_BENCH_DATA) / "prefix";
    std::printf("column_bench: a demo host of %d greetings and voice names of %s s under %s\n", files, seconds.c_str(),
                root.c_str());
    // Making the host takes minutes: one made for the same figures is used again.
    const fs::path made = root / (".column_bench-" + std::to_string(files) + "-" + seconds);
    if (!fs::exists(made)) {
        const std::string create = std::string("'") + COLUMN_BENCH_DEMOHOST + "' create '" + root.string() +
                                   "' --greetings " + std::to_string(files) + " --seconds " + seconds +
                                   " --force >/dev/null";
        if (std::system(create.c_str()) != 0) {
            std::fprintf(stderr, "column_bench: demohost create failed\n");
            return 1;
        }
        std::ofstream{made};
    }
    // Cold files would measure the disk: read them once, as a host that is in use has them cached.
    if (std::system(("find '" + root.string() + "/drive_c' -type f -exec cat {} + >/dev/null").c_str()) != 0)
        std::fprintf(stderr, "column_bench: the files could not be read ahead\n");

    SilentBox msgbox;
    NoFolder folders;
    Program::Options o;
    o.prefixRoot = root;
    o.msgbox = &msgbox;
    o.folderDialog = &folders;
    o.terminate = [](int) { std::exit(1); };
    Program program(std::move(o));
    if (program.load() != LoadResult::Ready)
        return 1;
    frmMain& form = program.form();
    QElapsedTimer t;
    t.start();
    form.show();
    while (!form.windowHandle() || !form.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    const double shown = t.nsecsElapsed() / 1e6;
    // The window stays live while the column fills: the longest wait between two passes of the
    // event loop is what a user would feel.
    double longestGap = 0;
    QElapsedTimer gap;
    gap.start();
    while (!form.mnuSaveLevelReport->isEnabled()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        longestGap = std::max(longestGap, gap.nsecsElapsed() / 1e6);
        gap.restart();
    }
    const double filled = t.nsecsElapsed() / 1e3 / 1e3 / 1e3;
    const int rows = form.myGrid->Rows() - 1;
    int levels = 0;
    for (int r = 1; r <= rows; ++r)
        levels += form.myGrid->TextMatrix(r, form.myGrid->ColIndex(kLevelKey)).empty() ? 0 : 1;
    std::printf("files in the list          %d (%d with their level)\n", rows, levels);
    std::printf("window shown               %.1f ms\n", shown);
    std::printf("column filled              %.1f s  goal < 40 s: %s\n", filled, filled < 40 ? "met" : "NOT met");
    std::printf("longest event-loop gap     %.1f ms\n", longestGap);
    std::printf("threads                    %u (cores)\n", std::max(1u, std::thread::hardware_concurrency()));
    return levels == rows ? 0 : 1;
}
