// Levora's window put together: the machine (every service, app/Machine.h) under the Qt message
// boxes, event pump and folder browser, and the main window with its commands wired. main()
// builds one; so do the start-up benchmark and the tests that start the whole program.
#pragma once

#include "app/Module1.h"
#include "app/StartUp.h"
#include "platform/AppInfo.h"
#include "platform/Ui.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace levora {

class frmMain;
class modLocalize;
class WindowList;
class Logging;

class Program {
public:
    using EnvLookup = std::function<std::optional<std::string>(const std::string&)>;
    struct Options {
        std::filesystem::path prefixRoot;      // the machine prefix
        std::vector<std::string> arguments;    // the command line after the program name
        IMessageBox* msgbox = nullptr;         // default: Qt message boxes
        IFolderDialog* folderDialog = nullptr; // default: Qt's folder browser
        TerminateFunction terminate;           // default: end the process
        EnvLookup environment;                 // default: the process environment
    };

    explicit Program(Options options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The start-up (the main window's load handler); Ready: show the window.
    LoadResult load();
    frmMain& form();
    const AppInfo& app() const;
    modLocalize& localize();
    WindowList& windows();
    Logging& log();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace levora
