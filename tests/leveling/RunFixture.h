// A test machine with a host, a main window double and recording doubles for everything a
// leveling run, a prompt leveling or a restore talks to.
#pragma once

#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "leveling/LevelFile.h"
#include "leveling/RunContext.h"
#include "leveling/RunView.h"
#include "log/Logging.h"
#include "platform/Error.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxProcesses.h"
#include "platform/LinuxRunLock.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"
#include "support/TestSupport.h"

#include <stdexcept>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace levora::test {

// Everything the windows did, in order, as short texts ("hourglass on", "splash show: <label>").
using EventList = std::vector<std::string>;

class FakeSplash : public ISplash {
public:
    explicit FakeSplash(EventList& events) : m_events(events) {}
    void setLabel(const std::string& text) override {
        m_label = text;
        labels.push_back(text);
    }
    std::string label() const override { return m_label; }
    void showOverMain() override {
        if (failShow)
            throw Error(err::InvalidCall);
        visible = true;
        m_events.push_back("splash show: " + m_label);
    }
    void hide() override {
        visible = false;
        m_events.push_back("splash hide");
    }
    bool visible = false;
    bool failShow = false;
    std::vector<std::string> labels;

private:
    EventList& m_events;
    std::string m_label = "Copying greetings and voice names, please wait...";
};

class FakeRunView : public IRunView {
public:
    struct Row {
        bool selected;
        std::string file;
    };
    FakeRunView() : m_splash(events) {}

    int gridRows() const override { return static_cast<int>(rows.size()) + 1; }
    int gridColumnByKey(const std::string& key) const override {
        if (equalsNoCase(key, "selected"))
            return 0;
        if (equalsNoCase(key, "FileName"))
            return 1;
        return -1;
    }
    bool gridChecked(int row, int column) const override {
        if (column != 0 || row < 1 || row > static_cast<int>(rows.size()))
            throw Error(9, "Subscript out of range");
        return rows[static_cast<size_t>(row - 1)].selected;
    }
    std::string gridText(int row, int column) const override {
        if (column != 1 || row < 1 || row > static_cast<int>(rows.size()))
            throw Error(9, "Subscript out of range");
        return rows[static_cast<size_t>(row - 1)].file;
    }

    bool chkSaveToRegistry() const override { return saveToRegistry; }
    bool chkBackup() const override { return backup; }
    std::string txtBackupTarget() const override { return backupTarget; }
    std::string cmbTargetDB() const override { return target; }
    std::string cmbMindBLevel() const override { return minimum; }
    std::string cmbSampleSize() const override { return sampleSize; }
    std::string cmbGainThreshold() const override { return maxChange; }

    void setHourglass(bool on) override {
        hourglass = on;
        events.push_back(on ? "hourglass on" : "hourglass off");
    }
    void setProgressRange(int minimum_, int maximum_) override {
        progressMin = minimum_;
        progressMax = maximum_;
    }
    void setProgressValue(int value) override {
        progress = value;
        progressValues.push_back(value);
    }
    int progressValue() const override { return progress; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setFrameProgressCaption(const std::string& text) override {
        caption = text;
        events.push_back("caption: " + text);
    }
    void animationOpen(const std::string& winPath) override {
        if (animationClipMissing)
            throw Error(err::FileNotFound);
        animationClip = winPath;
        events.push_back("animation open");
    }
    void animationShow(bool visible) override {
        animationVisible = visible;
        events.push_back(visible ? "animation show" : "animation hide");
    }
    void animationPlay() override { events.push_back("animation play"); }
    void animationStop() override { events.push_back("animation stop"); }
    void setCommandsEnabled(bool enabled) override {
        commandsEnabled = enabled;
        events.push_back(enabled ? "commands on" : "commands off");
    }
    ISplash& splash() override { return m_splash; }
    FakeSplash& fakeSplash() { return m_splash; }

    std::vector<Row> rows;
    bool saveToRegistry = false;
    bool backup = false;
    std::string backupTarget;
    std::string target = "-26";
    std::string minimum = "-45";
    std::string sampleSize = "8000";
    std::string maxChange = "5";

    bool hourglass = false;
    int progressMin = 0, progressMax = 0, progress = 0;
    std::vector<int> progressValues;
    bool progressVisible = true;
    std::string caption;
    bool animationVisible = false;
    std::string animationClip;
    bool animationClipMissing = false; // open throws 53
    bool commandsEnabled = true;
    EventList events;

private:
    FakeSplash m_splash;
};

// A synchronisation component that answers from a script of HRESULTs (0 = success).
class FakeBridge : public IDispatchObject {
public:
    Variant Invoke(const std::string& method, std::vector<Variant>& args) override {
        ++calls;
        methods.push_back(method);
        argsSeen.push_back(args);
        if (!args.empty()) // arguments 1 and 2 are by reference
            args[0] = "left by call " + std::to_string(calls);
        if (onCall)
            onCall();
        if (!script.empty()) {
            auto [number, description] = script.front();
            script.erase(script.begin());
            if (number != 0)
                throw Error(number, description);
        }
        return Empty{};
    }
    bool alive() const override { return !dead; }
    void setCallTimeoutMs(uint32_t ms) override { callLimits.push_back(ms); }
    std::vector<uint32_t> callLimits;                    // the bound given before each call
    std::vector<std::pair<int32_t, std::string>> script; // used in order; when used up, success
    bool dead = false;                                   // its server gone
    int calls = 0;
    std::vector<std::string> methods;
    std::vector<std::vector<Variant>> argsSeen;
    std::function<void()> onCall;
};

class FakeAutomation : public IAutomation {
public:
    std::shared_ptr<IDispatchObject> CreateObject(const std::string& progId) override {
        created.push_back(progId);
        if (!registered)
            throw Error(err::CantCreateObject);
        if (created.size() > 1 && !next.empty()) {
            bridge = next.front();
            next.erase(next.begin());
        }
        return bridge;
    }
    bool registered = true;
    std::shared_ptr<FakeBridge> bridge = std::make_shared<FakeBridge>();
    std::vector<std::shared_ptr<FakeBridge>> next; // the objects the later creations give, in order
    std::vector<std::string> created;
};

// The host: "Root Path" = C:\Talvio\, the AGC key, the gain tools in C:\Levora.
class RunFixture {
public:
    RunFixture()
        : prefix(dir.path() / "prefix"), ns(prefix), fs(ns), store(prefix.systemReg()), registry(store),
          realProcesses(ns, "C:\\Levora"), processes(realProcesses), version(registry, msgbox), log(fs, pump, app),
          gain(fs, processes, version, log, app), ctx{view,
                                                      msgbox,
                                                      fs,
                                                      processes,
                                                      automation,
                                                      registry,
                                                      log,
                                                      gain,
                                                      app,
                                                      pump,
                                                      [](int32_t id) { return str(id); },
                                                      [this](double s) { pauses.push_back(s); },
                                                      busy} {
        app.programFolder = "C:\\Levora";
        app.exeBaseName = "Levora";
        version.setLoaded(HostVersion{3, 1, 5, 0});
        std::filesystem::create_directories(c("Levora"));
        std::filesystem::create_directories(c("Talvio/Stream Files"));
        std::filesystem::create_directories(c("Talvio/Localize/DefaultConfiguration"));
        importReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization]\r\n"
                  "\"AGCTargetDB\"=dword:00000000\r\n");
        setRootPath("C:\\Talvio\\");
    }

    std::filesystem::path c(const std::string& relative) const { return prefix.driveC() / relative; }

    std::string addGreeting(const std::string& name, const std::string& content = "audio") {
        writeFile(c("Talvio/Stream Files/" + name), content);
        return "C:\\Talvio\\Stream Files\\" + name;
    }

    // The fake tool keeps the source's 44-byte WAV header and moves each letter of its samples one on
    // (levelled()), so the output is a WAV of the same format and length and a test sees what was
    // levelled, and how often. Its Windows paths go through levora-path, so letter case is ignored
    // as the real tools ignore it.
    // beforeWork: shell lines run after the arguments are read ($src, $dst).
    void installTool(const std::string& name = "gainfix315", const std::string& beforeWork = {}) {
        const std::filesystem::path tool = c("Levora/" + name);
        writeFile(tool,
                  "#!/bin/sh\n"
                  "while [ $# -gt 0 ]; do case \"$1\" in -s) src=$2; shift;; -d) dst=$2; shift;; esac; shift; done\n" +
                      beforeWork + "s=$('" + (binDir() / "levora-path").string() +
                      "' -u \"$src\") || exit 2\n"
                      "d=$('" +
                      (binDir() / "levora-path").string() +
                      "' -u \"$dst\") || exit 2\n"
                      "[ -f \"$s\" ] || exit 3\n"
                      "{ head -c 44 \"$s\"; tail -c +45 \"$s\" | tr 'a-y' 'b-z'; } > \"$d\"\n");
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    }

    void setRootPath(const std::string& root) {
        std::string escaped;
        for (char ch : root) {
            if (ch == '\\' || ch == '"')
                escaped += '\\';
            escaped += ch;
        }
        importReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0]\r\n\"Root Path\"=" +
                  (root.empty() ? std::string("-") : "\"" + escaped + "\"") + "\r\n");
    }

    void importReg(const std::string& body) {
        const std::filesystem::path reg = dir.path() / "import.reg";
        writeFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n" + body);
        std::string error;
        if (!store.importFile(reg, &error))
            throw std::runtime_error("import failed: " + error);
    }

    // What the fake tool makes of the samples "audio": "bvejp".
    static std::string levelled(std::string samples) {
        for (char& ch : samples)
            if (ch >= 'a' && ch <= 'y')
                ++ch;
        return samples;
    }
    // The samples of a file made by pcmWav; any other file whole.
    static std::string samplesOf(const std::string& bytes) {
        return bytes.size() >= 44 && bytes.compare(0, 4, "RIFF") == 0 ? bytes.substr(44) : bytes;
    }

    bool logExists() const { return std::filesystem::exists(c("Levora.log")); }

    std::vector<std::string> logBody() const {
        std::vector<std::string> lines;
        if (!logExists())
            return lines;
        const std::string text = readFile(c("Levora.log"));
        size_t start = 0;
        for (size_t eol; (eol = text.find("\r\n", start)) != std::string::npos; start = eol + 2)
            lines.push_back(text.substr(start, eol - start));
        if (lines.size() < 10)
            throw std::runtime_error("log without its header");
        lines.erase(lines.begin(), lines.begin() + 10);
        return lines;
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& m : msgbox.shown)
            texts.push_back(m.text);
        return texts;
    }

    // The strings as "#<id>" so tests see which ID was used.
    static std::string str(int id) { return "#" + std::to_string(id); }

    TempDir dir;
    MachinePrefix prefix;
    PathNamespace ns;
    LinuxFileSystem fs;
    RegistryStore store;
    RegistryAPI registry;
    ScriptedMessageBox msgbox;
    CountingPump pump;
    AppInfo app;
    LinuxProcesses realProcesses;
    RecordingProcesses processes;
    TalvioVersion version;
    Logging log;
    GainToolRunner gain;
    FakeAutomation automation;
    FakeRunView view;
    LinuxRunLock runLock{prefix.runLockFile()};
    BusyFlag busy{runLock};
    std::vector<double> pauses;
    RunContext ctx;
};

} // namespace levora::test
