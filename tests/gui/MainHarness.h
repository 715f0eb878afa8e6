// frmMain over a fresh machine prefix with the real platform services, scripted message boxes,
// a recorded registry and an environment of the test's own.
#pragma once

#include "../app/HostFixture.h"
#include "app/Module1.h"
#include "app/StartUp.h"
#include "app/gui/frmMain.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/modLocalize.h"
#include "log/Logging.h"
#include "platform/LinuxLocale.h"
#include "platform/LinuxSession.h"
#include "platform/PeResources.h"
#include "support/TestSupport.h"
#include "ui/gui/WindowList.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace levora::test {

class NextFolder : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse& w) override {
        ++calls;
        where = w;
        return next;
    }
    std::string next;
    FolderBrowse where;
    int calls = 0;
};

struct MainHarness {
    MainHarness() {
        localize.setWindowList(&windows);
        host.standard();
    }
    ~MainHarness() { form.reset(); }

    std::optional<std::string> env(const std::string& name) const {
        auto it = environment.find(name);
        return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

    frmMain& makeForm() {
        form = std::make_unique<frmMain>(
            frmMainServices{localize, windows, version, host.ns, msgbox, dialog, [this] { endProgram(); }});
        return *form;
    }
    void endProgram() {
        EndProgram(log, [this](int code) { terminated.push_back(code); });
    }
    // The load handler, with the command line given.
    LoadResult load(const std::string& commandLine = {}) {
        if (!form)
            makeForm();
        host.app.commandLine = commandLine;
        StartUpServices s{*form,
                          localize,
                          registry,
                          version,
                          session,
                          msgbox,
                          host.fs,
                          host.app,
                          [this](uint32_t c) {
                              priorities.push_back(c);
                              return true;
                          },
                          [this] { endProgram(); },
                          networkDrives};
        return frmMain_Load(s);
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& s : msgbox.shown)
            out.push_back(s.text);
        return out;
    }
    static std::string str(int id) { return modLocalize::builtInString(id); }

    TestHost host;
    RecordingRegistry recording{host.store};
    ScriptedMessageBox msgbox;
    PeResources resources{&modLocalize::builtInStringW, [this](const std::string& p) { return host.ns.toHost(p); }};
    LinuxLocale locale{[](const std::string&) -> std::optional<std::string> { return std::nullopt; }};
    std::map<std::string, std::string> environment{{"DISPLAY", ":0"}};
    LinuxSession session{[this](const std::string& n) { return env(n); }};
    modLocalize localize{resources, locale, host.fs, msgbox, host.app};
    WindowList windows;
    CountingPump pump;
    Logging log{host.fs, pump, host.app};
    RegistryAPI registry{recording};
    TalvioVersion version{registry, msgbox};
    NextFolder dialog;
    std::vector<int> terminated;
    // What the start-up learns of the drives' file systems (none checked when empty).
    std::function<std::vector<NetworkDrive>(const std::vector<std::string>&)> networkDrives;
    std::vector<uint32_t> priorities;
    std::unique_ptr<frmMain> form;
};

} // namespace levora::test
