// Everything the leveling run, the backup, the synchronisation, the prompt leveling and the
// restore talk to. The main window builds one; tests build one from doubles.
#pragma once

#include "host/RegistryAPI.h"
#include "leveling/BusyGuard.h"
#include "leveling/LevelFile.h"
#include "leveling/RunView.h"
#include "log/Logging.h"
#include "platform/AppInfo.h"
#include "platform/Automation.h"
#include "platform/FileSystem.h"
#include "platform/HostKeys.h"
#include "platform/Process.h"
#include "platform/Ui.h"

#include <cstdint>
#include <functional>
#include <string>

namespace levora {

// modLocalize::mymyLoadString in the program.
using StringLoader = std::function<std::string(int32_t)>;
// Module1's Pause in the program: waits that many seconds while window events run.
using PauseFunction = std::function<void(double)>;

struct RunContext {
    IRunView& view;
    IMessageBox& msgbox;
    IFileSystem& fs;
    IProcesses& processes;
    IAutomation& automation;
    RegistryAPI& registry;
    Logging& log;
    GainToolRunner& gain;
    const AppInfo& app;
    IEventPump& pump;
    StringLoader loadString;
    PauseFunction pause;
    BusyFlag& busy;
};

constexpr const char* kRunLogPath = "c:\\Levora.log";
constexpr const char* kViewerCommandLine = "notepad.exe c:\\Levora.log";
constexpr const char* kHostKey = hostkeys::kRootKey;
constexpr const char* kRootPathValue = hostkeys::kRootPathValue;
constexpr const char* kAgcKey = hostkeys::kAgcKey;

// "Another Levora run is already working on this machine. ..."
constexpr int32_t kMachineBusyStringId = 58;

// Says why a guard acquired nothing: another process holds the machine (string 58), or its lock
// could not be tried (the failure's description). A refusal inside this process says nothing: the
// commands are off while an operation runs.
void ReportRefusal(RunContext& ctx, const BusyGuard& guard);

// Asks whether to open the run log (string 20) and opens it in the text viewer; a viewer that
// cannot be started is said, as the log is closed by then.
void OfferRunLog(RunContext& ctx);

// "Root Path" of the host (ends with a backslash), empty when missing.
std::string readHostRoot(RegistryAPI& registry);
// The four option texts as the main window shows them at this moment.
OptionTexts readOptionTexts(const IRunView& view);

} // namespace levora
