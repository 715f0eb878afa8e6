// How long Levora takes from its start to its window on the screen when the host holds 32,767
// greetings and voice names, and how much of that is the file list's fill.
//
//   startup_bench [files] [repeats]      (default 32767 files, 7 repeats; QT_QPA_PLATFORM as set,
//                                          offscreen when unset)
//
// Three figures: the fill alone; the program's start-up in a running process (services, load
// handler, window shown and painted); and a fresh process from exec() to its window shown, which
// adds loading Qt and creating the application object. Goal: under one second on the build machine.
#include "app/FileGrid.h"
#include "app/gui/GridControl.h"
#include "app/gui/Program.h"
#include "app/gui/frmMain.h"
#include "bench/BenchDoubles.h"
#include "host/RegistryAPI.h"
#include "platform/LinuxFileSystem.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"
#include "ui/gui/AppFont.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace levora;
using levora::bench::NoFolder;
using levora::bench::SilentBox;

namespace {

std::vector<uint8_t> dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// A 3.1(5) host whose "Stream Files" holds `files` greetings (empty files: the fill only lists
// them) and whose default configuration has a few languages.
void makeHost(const fs::path& root, int files) {
    fs::remove_all(root);
    MachinePrefix prefix(root);
    RegistryStore store(prefix.systemReg());
    const std::string version = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Systems\\Orvane Talvio";
    store.setValue(version, "MajorVersion", REG_DWORD, dword(3));
    store.setValue(version, "MinorVersion", REG_DWORD, dword(1));
    store.setValue(version, "ReleaseVersion", REG_DWORD, dword(5));
    store.setValue(version, "BuildVersion", REG_DWORD, dword(0));
    const std::string rootPath = "C:\\Talvio";
    std::vector<uint8_t> text(rootPath.begin(), rootPath.end());
    text.push_back(0);
    store.setValue("HKEY_LOCAL_MACHINE\\Software\\Quillon\\Vantor Setup\\1.0\\Properties", "VantorRootPath", REG_SZ,
                   text);
    store.createKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization");
    const fs::path stream = prefix.driveC() / "Talvio" / "Stream Files";
    fs::create_directories(stream);
    char name[64];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "greeting_%05d_%s.wav", i, i % 3 ? "std" : "busy");
        std::ofstream(stream / name);
    }
    for (const char* lang : {"ENU", "DEU", "FRA"}) {
        const fs::path d = prefix.driveC() / "Talvio" / "Localize" / "DefaultConfiguration" / lang;
        fs::create_directories(d);
        for (const char* f : {"greeting.wav", "busy.wav", "vn.wav"})
            std::ofstream(d / f);
    }
}

// Milliseconds since this process was started by exec(), from its start time in /proc.
double msSinceExec() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 (starttime, clock ticks since boot); fields are counted after the command name's ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const unsigned long long start = std::strtoull(field.c_str(), nullptr, 10);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (now.tv_sec + now.tv_nsec / 1e9 - start / ticks) * 1000.0;
}

// Shows the program's window on the prefix and returns when it is exposed and painted.
void showProgram(const fs::path& root, IMessageBox& msgbox, IFolderDialog& folders, std::vector<double>* load) {
    Program::Options o;
    o.prefixRoot = root;
    o.msgbox = &msgbox;
    o.folderDialog = &folders;
    o.terminate = [](int) {
        std::fprintf(stderr, "startup_bench: the start-up ended the program\n");
        std::exit(1);
    };
    Program program(std::move(o));
    QElapsedTimer l;
    l.start();
    if (program.load() != LoadResult::Ready)
        std::exit(1);
    if (load)
        load->push_back(l.nsecsElapsed() / 1e6);
    program.form().show();
    while (!program.form().windowHandle() || !program.form().windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    program.form().repaint();
    QApplication::processEvents();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 3 && std::string(argv[1]) == "--child") {
        QApplication application(argc, argv);
        applyLevoraWindowFont();
        SilentBox msgbox;
        NoFolder folders;
        showProgram(argv[2], msgbox, folders, nullptr);
        std::printf("%.1f\n", msSinceExec());
        return 0;
    }
    const int files = argc > 1 ? std::atoi(argv[1]) : 32767;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    QApplication application(argc, argv);
    applyLevoraWindowFont();

    const fs::path root = fs::path(STARTUP_BENCH_DATA) / "prefix";
    std::printf("startup_bench: generating a host with %d files in Stream Files under %s\n", files, root.c_str());
    makeHost(root, files);

    SilentBox msgbox;
    NoFolder folders;
    std::vector<double> fill, startup, load, fresh;
    for (int r = 0; r < repeats; ++r) {
        // The fill alone, into a fresh grid, through the same services.
        {
            MachinePrefix prefix(root);
            PathNamespace ns(prefix);
            RegistryStore store(prefix.systemReg());
            LinuxFileSystem lfs(ns);
            RegistryAPI registry(store);
            GridControl grid({{"", 180, false}, {kSelectedKey, 240, true}, {kFileNameKey, 1605, false}});
            StepRunner trap([&](const Error& e) { msgbox.MsgBox(e.description(), vbOKOnly, {}); });
            QElapsedTimer t;
            t.start();
            FillGrid(grid, registry, lfs, trap);
            fill.push_back(t.nsecsElapsed() / 1e6);
            if (grid.Rows() != files + 10) {
                std::fprintf(stderr, "startup_bench: %d rows, expected %d\n", grid.Rows() - 1, files + 9);
                return 1;
            }
        }
        // Start to window shown: every service, the start-up, the window exposed and painted.
        {
            QElapsedTimer t;
            t.start();
            showProgram(root, msgbox, folders, &load);
            startup.push_back(t.nsecsElapsed() / 1e6);
        }
        // The same in a process of its own, from exec() on.
        {
            const std::string command =
                "'" + fs::read_symlink("/proc/self/exe").string() + "' --child '" + root.string() + "'";
            FILE* child = popen(command.c_str(), "r");
            double ms = -1;
            if (!child || std::fscanf(child, "%lf", &ms) != 1 || pclose(child) != 0 || ms < 0) {
                std::fprintf(stderr, "startup_bench: the child run failed\n");
                return 1;
            }
            fresh.push_back(ms);
        }
    }
    std::printf("files in Stream Files     %d (+9 default greetings)\n", files);
    std::printf("fill alone                median %.1f ms  (min %.1f)\n", median(fill),
                *std::min_element(fill.begin(), fill.end()));
    std::printf("load handler (start-up)   median %.1f ms\n", median(load));
    std::printf("start-up to window shown  median %.1f ms  (min %.1f)\n", median(startup),
                *std::min_element(startup.begin(), startup.end()));
    std::printf("exec() to window shown    median %.1f ms  (min %.1f)  goal < 1000 ms: %s\n", median(fresh),
                *std::min_element(fresh.begin(), fresh.end()), median(fresh) < 1000 ? "met" : "NOT met");
    std::printf("platform %s, %d repeats\n", qPrintable(QGuiApplication::platformName()), repeats);
    return 0;
}
