// Every platform service, created by main() (or a test) and handed to the logic.
#pragma once

#include "AppInfo.h"
#include "Automation.h"
#include "FileSystem.h"
#include "Locale.h"
#include "Process.h"
#include "Registry.h"
#include "Resources.h"
#include "Session.h"
#include "Ui.h"

namespace levora {

struct Services {
    IRegistry& registry;
    IFileSystem& fs;
    IProcesses& processes;
    IAutomation& automation;
    IResources& resources;
    ILocale& locale;
    ISession& session;
    IMessageBox& msgbox;
    IEventPump& pump;
    IClock& clock;
    AppInfo& app;
};

} // namespace levora
