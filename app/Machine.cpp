#include "Machine.h"

#include "app/Module1.h"
#include "app/mdlPriority.h"
#include "platform/CommandLine.h"

namespace levora {

namespace {

// The program's name, not the running file's: the language libraries (Levora_XXX.dll), the help
// pages and the log header are named after it, whichever front end or test program runs.
constexpr const char* kProgramName = "Levora";

AppInfo appInfo(const PathNamespace& ns, const std::vector<std::string>& arguments) {
    AppInfo app;
    app.programFolder = programFolderOf(ns);
    app.exeBaseName = kProgramName;
    app.commandLine = quoteArguments(arguments);
    return app;
}

} // namespace

Machine::Machine(const std::filesystem::path& prefixRoot, const std::vector<std::string>& arguments,
                 IMessageBox& msgbox_, IEventPump& pump_, const ProcessWrapper& wrapProcesses,
                 const EnvLookup& environment)
    : prefix(prefixRoot, MachinePrefix::Layout::OnlyInExistingRoot), ns(prefix), app(appInfo(ns, arguments)),
      msgbox(msgbox_), pump(pump_), registry(prefix.systemReg()), fs(ns), realProcesses(ns, app.programFolder),
      processWrapper(wrapProcesses ? wrapProcesses(realProcesses) : nullptr),
      processes(processWrapper ? *processWrapper : static_cast<IProcesses&>(realProcesses)),
      session(environment ? LinuxSession(environment) : LinuxSession()),
      locale(environment ? LinuxLocale(environment) : LinuxLocale()),
      resources(&modLocalize::builtInStringW, [this](const std::string& p) { return ns.toHost(p); }),
      automation(registry, ns, app.programFolder), localize(resources, locale, fs, msgbox, app), log(fs, pump, app),
      registryApi(registry), version(registryApi, msgbox), gain(fs, processes, version, log, app) {
    // A program that outlives a killed run is known to the next one through the run lock.
    realProcesses.setStartObserver([this](uint32_t pid) { runLock.recordProgram(pid); });
}

StartUpServices Machine::startUp(IMainForm& form, std::function<void()> endProgram) {
    return StartUpServices{form,
                           localize,
                           registryApi,
                           version,
                           session,
                           msgbox,
                           fs,
                           app,
                           [this](uint32_t priorityClass) { return bSetProcessPriority(processes, priorityClass); },
                           std::move(endProgram),
                           [this](const std::vector<std::string>& written) { return networkDrives(ns, written); }};
}

RunContext Machine::runContext(IRunView& view) {
    return RunContext{view,
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
                      busy};
}

} // namespace levora
