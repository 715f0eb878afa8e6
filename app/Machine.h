// Levora's machine: every platform service over one machine prefix and the program-wide modules
// on top of them, built once for a front end (the window, levora-level, a test or a benchmark).
// The front end brings what it shows: its message boxes, its event pump, and, where it must not
// start some program itself, a wrapper around the processes service.
#pragma once

#include "app/StartUp.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/modLocalize.h"
#include "leveling/BusyGuard.h"
#include "leveling/LevelFile.h"
#include "leveling/RunContext.h"
#include "log/Logging.h"
#include "platform/AppInfo.h"
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

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace levora {

class Machine {
public:
    using EnvLookup = std::function<std::optional<std::string>(const std::string&)>;
    // Given the real processes service, the one the program uses instead (it may pass calls on).
    using ProcessWrapper = std::function<std::unique_ptr<IProcesses>(IProcesses& real)>;

    // arguments: the command line after the program name. environment: where the session and
    // locale facts are read (default: the process environment).
    Machine(const std::filesystem::path& prefixRoot, const std::vector<std::string>& arguments, IMessageBox& msgbox,
            IEventPump& pump, const ProcessWrapper& wrapProcesses = {}, const EnvLookup& environment = {});
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // What the start-up needs, over the front end's main form; endProgram is Module1.EndProgram.
    StartUpServices startUp(IMainForm& form, std::function<void()> endProgram);
    // What the leveling run, the prompt leveling and the restore need, over the front end's view.
    RunContext runContext(IRunView& view);

    MachinePrefix prefix;
    PathNamespace ns;
    AppInfo app;
    IMessageBox& msgbox;
    IEventPump& pump;
    RegistryStore registry;
    LinuxFileSystem fs;
    LinuxProcesses realProcesses;
    std::unique_ptr<IProcesses> processWrapper; // the front end's, if it gave one
    IProcesses& processes;                      // the wrapper, else the real service
    LinuxSession session;
    LinuxLocale locale;
    PeResources resources;
    LinuxAutomation automation;
    SteadyClock clock;
    modLocalize localize;
    Logging log;
    RegistryAPI registryApi;
    TalvioVersion version;
    GainToolRunner gain;
    LinuxRunLock runLock{prefix.runLockFile()}; // one operation per machine, across processes
    BusyFlag busy{runLock};
};

} // namespace levora
