// Tests on a fresh machine prefix in its own temporary folder.
#pragma once

#include "TestSupport.h"

#include "platform/AppInfo.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxLocale.h"
#include "platform/Prefix.h"
#include "platform/WinPath.h"

#include <gtest/gtest.h>

#include <optional>

namespace levora::test {

class PrefixFixture : public ::testing::Test {
protected:
    TempDir tmp;
    MachinePrefix prefix{tmp.path() / "pfx"};
    PathNamespace ns{prefix};
    std::filesystem::path c() const { return prefix.driveC(); }
};

// The program ("Levora") in C:\Program Files\Levora of a machine without locale data:
// what the language layer reads, less the resource libraries, which each test chooses.
class ProgramFolderFixture : public PrefixFixture {
protected:
    ProgramFolderFixture() {
        std::filesystem::create_directories(folder());
        app.programFolder = "C:\\Program Files\\Levora";
        app.exeBaseName = "Levora";
    }
    std::filesystem::path folder() const { return c() / "Program Files" / "Levora"; }

    LinuxFileSystem fs{ns};
    LinuxLocale locale{[](const std::string&) -> std::optional<std::string> { return std::nullopt; }};
    ScriptedMessageBox msgbox;
    AppInfo app;
};

} // namespace levora::test
