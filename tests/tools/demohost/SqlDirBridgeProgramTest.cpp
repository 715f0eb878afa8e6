// The synchronisation component as the program runs it: JSON lines on its standard input and
// output, started by hand and through the registry by the automation layer.
#include "DemoHost.h"
#include "DemoTestSupport.h"
#include "leveling/RunFixture.h"
#include "leveling/SyncDirectory.h"
#include "platform/Error.h"
#include "platform/LinuxAutomation.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <set>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;
using levora::test::TempDir;
using nlohmann::json;
using test::Child;
using Kind = Child::Read::Kind;

const std::string kCall = R"({"method":"SyncCommit","args":[null,null,1,0,0]})";
constexpr int32_t kEPointer = static_cast<int32_t>(0x80004003);
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005);

fs::path streamOf(const fs::path& prefix) {
    return prefix / "drive_c" / "Talvio" / "Stream Files";
}
fs::path dbOf(const fs::path& prefix) {
    return prefix / "drive_c" / "Talvio" / "Data" / "talvio.db";
}

std::set<std::string> dbPaths(const fs::path& prefix) {
    std::set<std::string> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(dbOf(prefix).c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT path FROM greetings", -1, &st, nullptr), SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

std::set<std::string> folderWavs(const fs::path& prefix) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(streamOf(prefix)))
        if (e.path().extension() == ".wav")
            out.insert("C:\\Talvio\\Stream Files\\" + e.path().filename().string());
    return out;
}

json call(Child& server) {
    server.send(kCall);
    const auto r = server.readLine(20000);
    EXPECT_EQ(r.kind, Kind::Line) << r.text;
    return r.kind == Kind::Line ? json::parse(r.text) : json{};
}

class SqlDirBridgeProgram : public ::testing::Test {
protected:
    void SetUp() override { m_prefix = test::copyOfSharedHost(m_dir.path()); }
    Child start(std::vector<std::string> options = {}) {
        std::vector<std::string> argv{test::bridgeProgram().string(), "--busy-timeout-ms", "50"};
        argv.insert(argv.end(), options.begin(), options.end());
        // Found as the automation layer starts it: the prefix in the environment.
        return Child(argv, {"LEVORA_PREFIX=" + m_prefix.string()});
    }
    TempDir m_dir;
    fs::path m_prefix;
};

TEST_F(SqlDirBridgeProgram, BringsTheDatabaseInLineWithTheFolder) {
    const auto files = folderWavs(m_prefix);
    ASSERT_EQ(files.size(), 4u);
    fs::remove(streamOf(m_prefix) / "voicename_1002.wav");
    fs::copy_file(streamOf(m_prefix) / "voicename_1001.wav", streamOf(m_prefix) / "voicename_1003.wav");

    Child server = start();
    json a = call(server);
    EXPECT_EQ(a["hresult"], 0);
    EXPECT_EQ(a["args"], json::parse(R"([4,"1 inserted, 0 updated, 1 deleted, 3 unchanged",1,0,0])"));
    EXPECT_EQ(dbPaths(m_prefix), folderWavs(m_prefix));

    a = call(server); // the same server answers again
    EXPECT_EQ(a["args"][1], "0 inserted, 0 updated, 0 deleted, 4 unchanged");
    server.closeInput();
    EXPECT_EQ(server.wait(), 0);
}

TEST_F(SqlDirBridgeProgram, AnotherWriterGetsDidNotCompleteThenItWorks) {
    fs::remove(streamOf(m_prefix) / "voicename_1002.wav");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dbOf(m_prefix).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    Child server = start();
    json a = call(server);
    EXPECT_EQ(a["hresult"], kEPointer);
    EXPECT_NE(a["description"].get<std::string>().find("try again"), std::string::npos);
    EXPECT_EQ(dbPaths(m_prefix).size(), 4u); // the row of the removed file is still there

    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    a = call(server);
    EXPECT_EQ(a["hresult"], 0);
    EXPECT_EQ(dbPaths(m_prefix), folderWavs(m_prefix));
}

TEST_F(SqlDirBridgeProgram, ARealFailureIsEFailWithADescription) {
    fs::rename(streamOf(m_prefix), m_prefix / "moved");
    Child server = start();
    const json a = call(server);
    EXPECT_EQ(a["hresult"], kEFail);
    EXPECT_NE(a["description"].get<std::string>().find("Stream Files"), std::string::npos) << a.dump();
    EXPECT_EQ(dbPaths(m_prefix).size(), 4u);
}

TEST_F(SqlDirBridgeProgram, TestOptionsFailThenWork) {
    const struct {
        std::vector<std::string> options;
        std::vector<int32_t> answers;
    } cases[] = {
        {{"--fail", "2", "--hresult", "0x80004005"}, {kEFail, kEFail, 0}},
        {{"--fail", "1"}, {kEPointer, 0}},
        {{"--fail", "1", "--hresult", "-2147417848"}, {static_cast<int32_t>(0x80010108), 0}},
    };
    for (const auto& c : cases) {
        Child server = start(c.options);
        for (int32_t expected : c.answers)
            EXPECT_EQ(call(server)["hresult"], expected);
    }
}

TEST_F(SqlDirBridgeProgram, TestOptionCrashDiesInTheMiddleOfACall) {
    Child server = start({"--crash-after-calls", "1"});
    EXPECT_EQ(call(server)["hresult"], 0);
    server.send(kCall);
    const auto r = server.readLine(20000);
    EXPECT_EQ(r.kind, Kind::Eof);
    EXPECT_FALSE(r.text.empty()); // a torn answer
    EXPECT_EQ(server.wait(), 128 + 9);
}

TEST_F(SqlDirBridgeProgram, TestOptionHangNeverAnswersButEndsWithItsInput) {
    Child server = start({"--hang"});
    server.send(kCall);
    EXPECT_EQ(server.readLine(300).kind, Kind::Timeout);
    server.closeInput();
    EXPECT_EQ(server.wait(5000), 0);
}

TEST_F(SqlDirBridgeProgram, BadOptionsAreRefused) {
    Child server = start({"--hresult", "lots"});
    EXPECT_EQ(server.readLine(5000).kind, Kind::Eof);
    EXPECT_NE(server.wait(), 0);
}

// The registration that demohost writes, used by the program's own automation layer.
TEST_F(SqlDirBridgeProgram, CreatedByItsProgIdThroughTheRegistry) {
    fs::remove(streamOf(m_prefix) / "voicename_1002.wav");
    MachinePrefix prefix(m_prefix);
    PathNamespace ns(prefix);
    RegistryStore registry(prefix.systemReg());
    LinuxAutomation automation(registry, ns, "C:\\");
    std::vector<Variant> args{Empty{}, Empty{}, int32_t{1}, int16_t{0}, int16_t{0}};
    {
        auto bridge = automation.CreateObject(host::kProgId);
        ASSERT_TRUE(bridge);
        bridge->Invoke("SyncCommit", args);
        EXPECT_EQ(args[0], Variant(int32_t{3}));
    }
    EXPECT_EQ(dbPaths(m_prefix), folderWavs(m_prefix));

    // A test component: the command line with its options, as a test writes it.
    const std::string server = automation.serverCommandLine(host::kProgId);
    ASSERT_TRUE(registry.setValue(std::string(host::kClassesKey) + "\\CLSID\\" + host::kClsid + "\\LocalServer32", "",
                                  REG_SZ, [&] {
                                      const std::string s = server + " --fail 1";
                                      std::vector<uint8_t> b(s.begin(), s.end());
                                      b.push_back(0);
                                      return b;
                                  }()));
    auto failing = automation.CreateObject(host::kProgId);
    try {
        failing->Invoke("SyncCommit", args);
        ADD_FAILURE() << "the first call should fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kEPointer);
    }
    EXPECT_NO_THROW(failing->Invoke("SyncCommit", args));
}

// The synchronisation phase over the real component whose server dies: a server gone before its
// first answer is not created again; one that dies after answering is created once more, then
// given up. The 30-second pauses only record.
TEST_F(SqlDirBridgeProgram, ASynchronisationWhoseServerDiesGivesUpWithoutLongWaits) {
    MachinePrefix prefix(m_prefix);
    PathNamespace ns(prefix);
    RegistryStore registry(prefix.systemReg());
    LinuxAutomation automation(registry, ns, "C:\\");
    const std::string server = automation.serverCommandLine(host::kProgId);
    const std::string failLine = "(error) Failed to syncronize SQL data with the directory.  Error number=";
    const std::string warning = "(warning) Syncer did not complete.  Waiting 30 seconds and trying again";
    struct Case {
        const char* options;
        std::vector<std::string> body;
        size_t pauses;
    } cases[] = {
        {" --crash-after-calls 0", {failLine + " 429 Description=ActiveX component can't create object"}, 0},
        {" --crash-after-calls 1 --fail 1",
         {warning, warning, warning, failLine + "-2147417848 Description=The object invoked has disconnected"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string commandLine = server + c.options;
        std::vector<uint8_t> value(commandLine.begin(), commandLine.end());
        value.push_back(0);
        ASSERT_TRUE(registry.setValue(std::string(host::kClassesKey) + "\\CLSID\\" + host::kClsid + "\\LocalServer32",
                                      "", REG_SZ, value));
        levora::test::RunFixture f;
        const RunContext& d = f.ctx;
        RunContext ctx{d.view, d.msgbox, d.fs,   d.processes,  automation, d.registry, d.log,
                       d.gain, d.app,    d.pump, d.loadString, d.pause,    d.busy};
        DirectorySync sync(ctx);
        f.log.OpenLog(kRunLogPath, false);
        StepRunner trap([&](const Error& e) { f.log.WriteLog("(error) in cmdSetDB function: " + e.description()); });
        EXPECT_FALSE(sync.SyncDirectory(trap));
        f.log.CloseLog();
        const auto body = f.logBody();
        ASSERT_EQ(body.size(), c.body.size());
        for (size_t i = 0; i < body.size(); ++i)
            EXPECT_EQ(body[i].rfind(c.body[i], 0), 0u) << body[i];
        EXPECT_EQ(f.pauses.size(), c.pauses);
        EXPECT_EQ(f.messages(), std::vector<std::string>{"#42"});
    }
}

} // namespace
} // namespace levora::demohost
