// levora-host against a scripted smbclient and net: what their output means, the host lock, a
// damaged key export, and what detach pushes, skips and leaves for the next detach.
#include "HostCommands.h"

#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::host;
using levora::test::readFile;
using levora::test::TempDir;
using levora::test::writeFile;

namespace {

// smbclient and net as a script: each smbclient command (split at ";") and each other program line
// goes to answer(), which returns the output; everything run is recorded.
class ScriptedRunner : public IProgramRunner {
public:
    std::function<std::string(const std::string& command, const fs::path& folder)> answer;
    std::vector<std::string> commands;
    std::vector<std::string> argv; // of the last program run

    ProgramResult run(const std::vector<std::string>& args, const fs::path& folder) override {
        argv = args;
        ProgramResult r{0, "", false};
        if (argv[0] == "smbclient" && argv.size() == 6 && argv[4] == "-c") {
            std::istringstream in(argv[5]);
            for (std::string c; std::getline(in, c, ';');) {
                c.erase(0, c.find_first_not_of(' '));
                if (!c.empty())
                    r.output += say(c, folder); // smbclient goes on after a failed command, exit 0
            }
            return r;
        }
        std::string line;
        for (const std::string& a : argv)
            line += (line.empty() ? "" : " ") + a;
        r.output = say(line, folder);
        if (r.output.find("NT_STATUS") != std::string::npos || r.output.find("damaged") != std::string::npos)
            r.status = argv[0] == "smbclient" ? 1 : 255;
        return r;
    }

private:
    std::string say(const std::string& c, const fs::path& folder) {
        commands.push_back(c);
        return answer ? answer(c, folder) : std::string();
    }
};

// The quoted arguments of an smbclient command.
std::vector<std::string> quoted(const std::string& command) {
    std::vector<std::string> out;
    static const std::regex q("\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(command.begin(), command.end(), q); it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1]);
    return out;
}

bool starts(const std::string& s, const std::string& with) {
    return s.rfind(with, 0) == 0;
}

class LevoraHostTest : public ::testing::Test {
protected:
    LevoraHostTest() : prefix(dir.path() / "p"), commands(runner, out) {
        writeFile(dir.path() / "auth", "username = admin\npassword = secret\n");
        address = {"talvio01", "C$", dir.path() / "auth"};
        commands.holder = "ops@ws7";
        commands.now = [] { return std::int64_t{1765000000}; };
    }

    std::vector<std::string> ran(const std::string& prefixOfCommand) const {
        std::vector<std::string> r;
        for (const std::string& c : runner.commands)
            if (starts(c, prefixOfCommand))
                r.push_back(c);
        return r;
    }

    // An attached prefix whose run changed the given files (share path -> host content, local content).
    void attached(const std::map<std::string, std::pair<std::string, std::string>>& files) {
        const MachinePrefix machine(prefix);
        RegistryStore store(machine.systemReg());
        fs::create_directories(Attachment::folder(prefix));
        store.setValue(kAgcFullKey, "AGCTargetDB", REG_DWORD, {0xe2, 0xff, 0xff, 0xff});
        store.exportKey(kAgcFullKey, Attachment::folder(prefix) / "agc-attached.reg");
        Attachment a;
        a.fields = {{"server", "talvio01"},   {"share", "C$"},
                    {"unc", "//talvio01/C$"}, {"auth", address.authFile.string()},
                    {"since", "1765000000"},  {"holder", "ops@ws7"},
                    {"token", "t0k3n5678"}};
        for (const auto& [path, contents] : files) {
            writeFile(dir.path() / "orig", contents.first);
            a.manifest[path] = *describeFile(dir.path() / "orig");
            writeFile(machine.driveC() / path, contents.second);
        }
        a.save(prefix);
    }

    TempDir dir;
    fs::path prefix;
    std::ostringstream out;
    ScriptedRunner runner;
    HostCommands commands;
    HostAddress address;
};

TEST_F(LevoraHostTest, TheHostsAnswersBecomeNumberedFailuresInPlainWords) {
    struct Case {
        std::string output;
        int32_t number;
        std::string words;
    };
    const std::vector<Case> cases{
        {"session setup failed: NT_STATUS_LOGON_FAILURE", kHostUnreachable, "refused the user name or password"},
        {"tree connect failed: NT_STATUS_BAD_NETWORK_NAME", kHostUnreachable, "has no such share"},
        {"do_connect: Connection to talvio01 failed (Error NT_STATUS_IO_TIMEOUT)", kHostUnreachable, "did not answer"},
    };
    for (const Case& c : cases) {
        runner.answer = [&](const std::string&, const fs::path&) { return c.output; };
        try {
            commands.breakLock(address);
            ADD_FAILURE() << c.output;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.output;
            EXPECT_NE(e.description().find(c.words), std::string::npos) << e.description();
        }
    }
    // A failed command inside -c is no failure of the connection: it shows in the reply.
    runner.answer = [](const std::string&, const fs::path&) {
        return "NT_STATUS_SHARING_VIOLATION opening remote file \\Talvio\\x.wav";
    };
    HostShare share(runner, address);
    EXPECT_EQ(share.smb("put a b").status, "NT_STATUS_SHARING_VIOLATION");
    EXPECT_THROW(smbQuote("a;b"), Error);
}

TEST_F(LevoraHostTest, ASecondAttachIsRefusedWithTheHoldersNameAndTime) {
    runner.answer = [](const std::string& c, const fs::path&) -> std::string {
        if (starts(c, "mkdir"))
            return "NT_STATUS_OBJECT_NAME_COLLISION making remote directory \\.levora-host.lock";
        if (starts(c, "get"))
            return "holder=ana@ws2\nsince=1764990000\ntoken=x\n";
        return "";
    };
    try {
        commands.attach(address, prefix, false, "");
        FAIL() << "attached";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kHostLocked);
        EXPECT_NE(e.description().find("attached by ana@ws2 since 2025-12-06 03:00:00 UTC"), std::string::npos)
            << e.description();
        EXPECT_NE(e.description().find("levora-host break-lock //talvio01/C$"), std::string::npos);
    }
    EXPECT_TRUE(ran("net").empty());
    EXPECT_TRUE(ran("rmdir").empty()); // the other workstation's lock stays
    EXPECT_FALSE(Attachment::load(prefix));
}

TEST_F(LevoraHostTest, ADamagedKeyExportImportsNothingAndReleasesTheLock) {
    std::string holderFile;
    runner.answer = [&](const std::string& c, const fs::path&) -> std::string {
        if (starts(c, "put"))
            holderFile = readFile(quoted(c)[0]);
        if (starts(c, "get"))
            return holderFile;
        if (starts(c, "net rpc registry export")) // cut short in the middle of a value
            writeFile(runner.argv[5],
                      "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\Quillon]\n\"Root\"=dword:ffff");
        return "";
    };
    EXPECT_THROW(
        try { commands.attach(address, prefix, false, ""); } catch (const Error& e) {
            EXPECT_EQ(e.number(), kKeysRefused);
            EXPECT_NE(e.description().find("is damaged; nothing was imported"), std::string::npos) << e.description();
            throw;
        },
        Error);
    EXPECT_FALSE(fs::exists(prefix / "system.reg"));
    EXPECT_TRUE(ran("tar").empty());
    EXPECT_EQ(ran("rmdir").size(), 1u);
}

TEST_F(LevoraHostTest, DetachSkipsAFileChangedOnTheHostAndPushesTheRestOnce) {
    attached({{"Talvio/Stream Files/a.wav", {"A0", "A1"}},
              {"Talvio/Stream Files/b.wav", {"B0", "B1"}},
              {"Talvio/Stream Files/c.wav", {"C0", "C1"}},
              {"Talvio/Stream Files/same.wav", {"S0", "S0"}}});
    std::map<std::string, std::string> host{{"\\Talvio\\Stream Files\\a.wav", "A0"},
                                            {"\\Talvio\\Stream Files\\b.wav", "B0"},
                                            {"\\Talvio\\Stream Files\\c.wav", "re-recorded"}};
    bool bInUse = true;
    runner.answer = [&](const std::string& c, const fs::path& folder) -> std::string {
        const auto q = quoted(c);
        if (starts(c, "get") && q[0] == "\\.levora-host.lock\\holder")
            return "holder=ops@ws7\nsince=1765000000\ntoken=t0k3n5678\n";
        if (starts(c, "get"))
            writeFile(folder / q[1], host[q[0]]);
        if (starts(c, "rename") && q[1].find("b.wav") != std::string::npos && bInUse)
            return "NT_STATUS_SHARING_VIOLATION renaming files";
        return "";
    };
    int pauses = 0;
    commands.retryPause = [&] { ++pauses; };

    EXPECT_EQ(commands.detach(prefix, std::nullopt), kExitSkipped);
    EXPECT_EQ(pauses, commands.triesInUse - 1);
    for (const std::string& c : ran("rename"))
        EXPECT_EQ(c.find("c.wav"), std::string::npos) << "the host's new recording was replaced: " << c;
    EXPECT_EQ(ran("rename").size(), 1u + 3u); // a.wav once, b.wav three times
    EXPECT_NE(out.str().find("Skipped Talvio/Stream Files/c.wav: it changed on the host"), std::string::npos);
    EXPECT_NE(out.str().find("stays locked"), std::string::npos);
    EXPECT_TRUE(ran("rmdir").empty());

    // Again, the file no longer in use: only b.wav goes; then the lock is released.
    runner.commands.clear();
    bInUse = false;
    EXPECT_EQ(commands.detach(prefix, std::nullopt), kExitSkipped);
    ASSERT_EQ(ran("rename").size(), 1u);
    EXPECT_NE(ran("rename")[0].find("b.wav"), std::string::npos);
    EXPECT_EQ(ran("put").size(), 1u);
    EXPECT_EQ(ran("rmdir").size(), 1u);
    EXPECT_NE(out.str().find("the host must resynchronise its database"), std::string::npos);
    EXPECT_FALSE(Attachment::load(prefix)->attached());
}

} // namespace
