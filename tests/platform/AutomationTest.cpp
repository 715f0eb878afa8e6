// Automation objects served by real child programs registered in a test machine's registry.
#include "platform/AutomationCall.h"
#include "platform/LinuxAutomation.h"
#include "platform/RegistryStore.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::readFile;
using levora::test::writeFile;
using levora::test::writeScript;

namespace {

class AutomationTest : public levora::test::PrefixFixture {
protected:
    AutomationTest() {
        fs::create_directories(c() / "Servers");
        fs::create_directories(c() / "Levora");
    }

    // A /bin/sh server in C:\Servers, registered under progId with the given extra arguments.
    void registerServer(const std::string& progId, const std::string& script, const std::string& extraArgs = {}) {
        writeScript(c() / "Servers" / (progId + ".sh"), script);
        registerCommandLine(progId, "C:\\Servers\\" + progId + ".sh" + extraArgs);
    }

    void registerCommandLine(const std::string& progId, const std::string& commandLine) {
        const std::string clsid = "{0000" + std::to_string(++m_count) + "-0000-0000-0000-000000000000}";
        auto esc = [](std::string s) {
            std::string out;
            for (char c : s) {
                if (c == '\\' || c == '"')
                    out += '\\';
                out += c;
            }
            return out;
        };
        const fs::path reg = tmp.path() / "server.reg";
        writeFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\" + progId +
                           "\\CLSID]\r\n@=\"" + clsid + "\"\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID\\" + clsid +
                           "\\LocalServer32]\r\n@=\"" + esc(commandLine) + "\"\r\n");
        std::string error;
        ASSERT_TRUE(m_registry.importFile(reg, &error)) << error;
    }

    fs::path file(const std::string& name) const { return tmp.path() / name; }

    RegistryStore m_registry{prefix.systemReg()};
    LinuxAutomation m_automation{m_registry, ns, "C:\\Levora"};
    int m_count = 0;
};

std::vector<Variant> syncArgs() {
    return {Empty{}, Empty{}, int32_t{1}, int16_t{0}, int16_t{0}};
}

int32_t callNumber(IDispatchObject& obj, std::vector<Variant>& args) {
    try {
        obj.Invoke("SyncCommit", args);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST_F(AutomationTest, CallSendsOneJsonLineAndReadsTheAnswerBack) {
    const fs::path requests = file("requests.txt");
    registerServer("Test.Ok.1",
                   "while IFS= read -r line; do printf '%s\\n' \"$line\" >> \"$1\";\n"
                   "  printf '{\"hresult\":0,\"args\":[\"out\",null,5,0,0],\"result\":7}\\n'; done\n"
                   "echo released >> \"$1\"\n",
                   " " + requests.string());
    auto obj = m_automation.CreateObject("Test.Ok.1");
    std::vector<Variant> args = syncArgs();
    Variant result = obj->Invoke("SyncCommit", args);
    EXPECT_EQ(result, Variant(int32_t{7}));
    // By-reference arguments carry back what the server left in them.
    EXPECT_EQ(args[0], Variant(std::string("out")));
    EXPECT_TRUE(isEmpty(args[1]));
    EXPECT_EQ(args[2], Variant(int32_t{5}));
    // A second call on the same server.
    std::vector<Variant> again = syncArgs();
    obj->Invoke("SyncCommit", again);
    obj.reset(); // closes the input; the release waits for the server to go

    const std::string text = readFile(requests);
    EXPECT_EQ(text, "{\"method\":\"SyncCommit\",\"args\":[null,null,1,0,0]}\n"
                    "{\"method\":\"SyncCommit\",\"args\":[null,null,1,0,0]}\n"
                    "released\n");
}

TEST_F(AutomationTest, FailureAnswersBecomeNumberedErrors) {
    struct Case {
        const char* reply;
        int32_t number;
        std::string description;
    };
    const Case cases[] = {
        {R"({"hresult":-2147467259,"description":"database is broken"})", err::E_FAIL_, "database is broken"},
        {R"({"hresult":2147500035,"description":"locked"})", err::E_POINTER_, "locked"}, // unsigned form
        {R"({"hresult":-2147467259})", err::E_FAIL_, "Unspecified error"},
        {R"({"hresult":429,"description":""})", 429, "ActiveX component can't create object"},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::string progId = "Test.Fail" + std::to_string(++i);
        registerServer(progId, std::string("while read -r line; do printf '%s\\n' '") + c.reply + "'; done\n");
        auto obj = m_automation.CreateObject(progId);
        std::vector<Variant> args = syncArgs();
        try {
            obj->Invoke("SyncCommit", args);
            ADD_FAILURE() << c.reply;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.reply;
            EXPECT_EQ(e.description(), c.description) << c.reply;
        }
        // A failure the server reports leaves the object usable.
        EXPECT_EQ(callNumber(*obj, args), c.number);
    }
}

TEST_F(AutomationTest, GarbageOrADeadServerDisconnectsTheObjectForGood) {
    // A server that ends before its first answer never came up: that is a failure to create (429).
    struct Case {
        const char* name;
        const char* script;
        int32_t number;
    };
    const Case cases[] = {
        {"Test.Garbage.1", "while read -r line; do echo 'this is not json'; done\n", err::RPC_E_DISCONNECTED_},
        {"Test.NoHresult.1", "while read -r line; do echo '{\"args\":[]}'; done\n", err::RPC_E_DISCONNECTED_},
        {"Test.DiesAfterAnAnswer.1", "read -r line; echo '{\"hresult\":-2147467261}'; read -r line; exit 3\n",
         err::RPC_E_DISCONNECTED_},
        {"Test.Dies.1", "read -r line; exit 3\n", err::CantCreateObject},
        {"Test.GoneAtOnce.1", "exit 0\n", err::CantCreateObject}, // never reads: the request meets a closed pipe
    };
    for (const Case& c : cases) {
        registerServer(c.name, c.script);
        auto obj = m_automation.CreateObject(c.name);
        std::vector<Variant> args = syncArgs();
        int32_t number = callNumber(*obj, args);
        if (number == err::E_POINTER_) // answered once: still alive
            number = callNumber(*obj, args);
        EXPECT_EQ(number, c.number) << c.name;
        EXPECT_FALSE(obj->alive()) << c.name;
        try {
            obj->Invoke("SyncCommit", args);
            ADD_FAILURE() << c.name;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::RPC_E_DISCONNECTED_) << c.name;
            EXPECT_NE(e.description().find(c.name), std::string::npos) << e.description();
        }
    }
}

TEST_F(AutomationTest, ACallNotAnsweredInTimeKillsTheServer) {
    const fs::path pidFile = file("hang.pid");
    registerServer("Test.Hang.1", "echo $$ > \"$1\"\nread -r line\nexec sleep 60\n", " " + pidFile.string());
    m_automation.setCallTimeoutMs(300);
    auto obj = m_automation.CreateObject("Test.Hang.1");
    std::vector<Variant> args = syncArgs();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(callNumber(*obj, args), err::RPC_E_DISCONNECTED_);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::seconds(10));

    // Dead from now on: the next call fails at once, without waiting for the bound again.
    const auto second = std::chrono::steady_clock::now();
    EXPECT_EQ(callNumber(*obj, args), err::RPC_E_DISCONNECTED_);
    EXPECT_LT(std::chrono::steady_clock::now() - second, std::chrono::milliseconds(250));

    // The server was stopped and reaped.
    const pid_t pid = std::stoi(readFile(pidFile));
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST_F(AutomationTest, ServerThatIgnoresTheReleaseIsStoppedAfterTheGrace) {
    registerServer("Test.Stubborn.1", "trap '' TERM\nwhile true; do sleep 1; done\n");
    m_automation.setExitGraceMs(200);
    auto obj = m_automation.CreateObject("Test.Stubborn.1");
    const auto start = std::chrono::steady_clock::now();
    obj.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(AutomationTest, UnregisteredOrUnstartableServersGive429) {
    registerCommandLine("Test.Missing.1", "C:\\Servers\\nowhere.exe /automation");
    // A registered ProgID whose class has no LocalServer32.
    const fs::path reg = file("partial.reg");
    writeFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\Test.Partial.1\\CLSID]\r\n"
                   "@=\"{99999999-0000-0000-0000-000000000000}\"\r\n");
    ASSERT_TRUE(m_registry.importFile(reg));

    for (const char* progId : {"SqlDirBridge.dbBridge.1", "Test.Partial.1", "Test.Missing.1", ""}) {
        try {
            m_automation.CreateObject(progId);
            ADD_FAILURE() << progId;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 429) << progId;
            EXPECT_EQ(e.description().rfind("ActiveX component can't create object", 0), 0u) << e.description();
        }
    }
}

TEST_F(AutomationTest, ServerFoundByBareNameInTheProgramFolderAndCaseIgnored) {
    writeScript(c() / "Levora" / "bridge", "while read -r line; do echo '{\"hresult\":0,\"args\":[]}'; done\n");
    registerCommandLine("Test.Bare.1", "bridge.exe /Automation");
    EXPECT_EQ(m_automation.serverCommandLine("test.bare.1"), "bridge.exe /Automation");
    auto obj = m_automation.CreateObject("test.bare.1");
    std::vector<Variant> args = syncArgs();
    EXPECT_EQ(callNumber(*obj, args), 0);
}

TEST(CallByName, NoObjectGives91) {
    std::shared_ptr<IDispatchObject> none;
    std::vector<Variant> args;
    try {
        CallByName(none, "SyncCommit", args);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 91);
        EXPECT_EQ(e.description(), "Object variable or With block variable not set");
    }
}

} // namespace
