#include "Program.h"

#include "QtFolderDialog.h"
#include "app/mdlPriority.h"
#include "frmMain.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/gui/frmAbout.h"
#include "i18n/modLocalize.h"
#include "leveling/BusyGuard.h"
#include "leveling/LevelFile.h"
#include "leveling/LevelingRun.h"
#include "leveling/PromptLeveling.h"
#include "leveling/RunContext.h"
#include "log/Logging.h"
#include "platform/LinuxAutomation.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxLocale.h"
#include "platform/LinuxProcesses.h"
#include "platform/LinuxRunLock.h"
#include "platform/LinuxSession.h"
#include "platform/PeResources.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/SteadyClock.h"
#include "platform/WinPath.h"
#include "restore/Restore.h"
#include "ui/gui/QtEventPump.h"
#include "ui/gui/QtMessageBox.h"
#include "ui/gui/WindowList.h"
#include "ui/gui/frmHelp.h"

#include <filesystem>

namespace levora {

namespace {

std::string exeBaseName() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("Levora") : exe.stem().string();
}

AppInfo appInfo(const PathNamespace& ns, const std::vector<std::string>& arguments) {
    AppInfo app;
    app.programFolder = programFolderOf(ns);
    app.exeBaseName = exeBaseName();
    app.commandLine = Program::commandLineOf(arguments);
    return app;
}

} // namespace

struct Program::Impl {
    explicit Impl(Options o)
        : options(std::move(o)), prefix(options.prefixRoot), ns(prefix), app(appInfo(ns, options.arguments)),
          registry(prefix.systemReg()), fs(ns), processes(ns, app.programFolder),
          session(options.environment ? LinuxSession(options.environment) : LinuxSession()),
          resources(&modLocalize::builtInStringW, [this](const std::string& p) { return ns.toHost(p); }),
          locale(options.environment ? LinuxLocale(options.environment) : LinuxLocale()),
          automation(registry, ns, app.programFolder), msgbox(options.msgbox ? *options.msgbox : qtMsgbox),
          folderDialog(options.folderDialog ? *options.folderDialog : qtFolderDialog),
          localize(resources, locale, fs, msgbox, app), log(fs, pump, app), registryApi(registry),
          version(registryApi, msgbox), gain(fs, processes, version, log, app),
          form(frmMainServices{localize, windows, version, ns, msgbox, folderDialog, [this] { endProgram(); }}),
          context{form.runView(),
                  msgbox,
                  fs,
                  processes,
                  automation,
                  registryApi,
                  log,
                  gain,
                  app,
                  pump,
                  [this](int32_t id) { return localize.mymyLoadString(id); },
                  [this](double seconds) { Pause(clock, pump, seconds); },
                  busy},
          run(context), prompts(context), restore(context) {
        localize.setWindowList(&windows);
        form.onSetdB = [this] { run.cmdSetdB_Click(); };
        form.onRestore = [this] { restore.mnuRestore_Click(); };
        form.onLevoraForPrompts = [this] { prompts.mnuLevoraForPrompts_Click(); };
        form.onAbout = [this] { frmAbout::ShowModal(about, localize, &windows, msgbox, app); };
        form.onHelp = [this] { frmHelp::ShowModal(localize, &windows, fs, app); };
    }
    ~Impl() { delete about.data(); } // a hidden About window stays loaded until the end

    void endProgram() {
        if (options.terminate)
            EndProgram(log, options.terminate);
        else
            EndProgram(log);
    }

    Options options;
    MachinePrefix prefix;
    PathNamespace ns;
    AppInfo app;
    RegistryStore registry;
    LinuxFileSystem fs;
    LinuxProcesses processes;
    LinuxSession session;
    PeResources resources;
    LinuxLocale locale;
    SteadyClock clock;
    LinuxAutomation automation;
    QtMessageBox qtMsgbox;
    QtEventPump pump;
    QtFolderDialog qtFolderDialog;
    IMessageBox& msgbox;
    IFolderDialog& folderDialog;
    WindowList windows;
    modLocalize localize;
    Logging log;
    RegistryAPI registryApi;
    TalvioVersion version;
    GainToolRunner gain;
    LinuxRunLock runLock{prefix.runLockFile()};
    BusyFlag busy{runLock};
    frmMain form;
    RunContext context;
    LevelingRun run;
    PromptLeveling prompts;
    GreetingRestore restore;
    QPointer<frmAbout> about;
};

Program::Program(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

Program::~Program() = default;

LoadResult Program::load() {
    Impl& p = *m_impl;
    StartUpServices s{p.form,
                      p.localize,
                      p.registryApi,
                      p.version,
                      p.session,
                      p.msgbox,
                      p.fs,
                      p.app,
                      [&p](uint32_t priorityClass) { return bSetProcessPriority(p.processes, priorityClass); },
                      [&p] { p.endProgram(); }};
    return frmMain_Load(s);
}

frmMain& Program::form() {
    return m_impl->form;
}
const AppInfo& Program::app() const {
    return m_impl->app;
}
modLocalize& Program::localize() {
    return m_impl->localize;
}
WindowList& Program::windows() {
    return m_impl->windows;
}
Logging& Program::log() {
    return m_impl->log;
}

std::string Program::commandLineOf(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& a : arguments) {
        if (!out.empty())
            out += ' ';
        if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) {
            out += a;
            continue;
        }
        // Quoted as the Windows C runtime reads it back: backslashes doubled before a quote.
        out += '"';
        size_t slashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
            slashes = 0;
            out += c;
        }
        out.append(2 * slashes, '\\');
        out += '"';
    }
    return out;
}

} // namespace levora
