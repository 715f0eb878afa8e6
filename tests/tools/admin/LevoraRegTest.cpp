#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace levora;
using levora::test::readFile;
using levora::test::TempDir;
using levora::test::writeFile;

namespace {

using Result = levora::test::ProgramRun;

struct LevoraReg : ::testing::Test {
    TempDir dir;
    std::filesystem::path prefix = dir.path() / "prefix";

    // Runs levora-reg on the test's prefix with no terminal on stdin (questions are answered no).
    Result run(const std::vector<std::string>& args) {
        return levora::test::runProgram(levora::test::binDir() / "levora-reg", args, dir.path(),
                                        {{"LEVORA_PREFIX", prefix.string()}});
    }
    std::string systemReg() { return readFile(prefix / "system.reg"); }
};

} // namespace

TEST_F(LevoraReg, AddsAndQueriesEachType) {
    const std::string agc = "HKLM\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";
    ASSERT_EQ(run({"add", agc, "/v", "AGCTargetDB", "/t", "REG_DWORD", "/d", "-26"}).exitCode, 0);
    ASSERT_EQ(run({"add", agc, "/v", "AGCsampleSize", "/t", "reg_dword", "/d", "0x1F40"}).exitCode, 0);
    ASSERT_EQ(run({"ADD", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0", "/V", "Root Path", "/D",
                   "C:\\Quillon\\Vantor\\"})
                  .exitCode,
              0);
    ASSERT_EQ(run({"add", "HKLM\\SOFTWARE\\Quillon", "/ve", "/t", "REG_BINARY", "/d", "e6ff00"}).exitCode, 0);
    EXPECT_NE(systemReg().find("\"AGCTargetDB\"=dword:ffffffe6\r\n\"AGCsampleSize\"=dword:00001f40\r\n"),
              std::string::npos);
    EXPECT_NE(systemReg().find("\"Root Path\"=\"C:\\\\Quillon\\\\Vantor\\\\\"\r\n"), std::string::npos);

    Result q = run({"query", "hklm\\software\\quillon\\mevra\\1.0\\initialization", "/v", "agctargetdb"});
    EXPECT_EQ(q.exitCode, 0);
    EXPECT_NE(q.out.find("    AGCTargetDB    REG_DWORD    0xffffffe6\n"), std::string::npos) << q.out;
    q = run({"query", "HKLM\\SOFTWARE\\Quillon"});
    EXPECT_EQ(q.exitCode, 0);
    EXPECT_NE(q.out.find("    (Default)    REG_BINARY    E6FF00\n"), std::string::npos) << q.out;
    EXPECT_NE(q.out.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\n"), std::string::npos) << q.out;
    q = run({"query", "HKLM\\SOFTWARE\\Quillon", "/s"});
    EXPECT_NE(q.out.find("    Root Path    REG_SZ    C:\\Quillon\\Vantor\\\n"), std::string::npos) << q.out;
}

TEST_F(LevoraReg, RefusesBadInputWithAMessageAndAFailureCode) {
    ASSERT_EQ(run({"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_DWORD", "/d", "7"}).exitCode, 0);
    std::string before = systemReg();
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{}, "missing command"},
        {{"frob"}, "unknown command"},
        {{"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_DWORD", "/d", "12x"}, "32-bit number"},
        {{"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"}, "32-bit number"},
        {{"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_BINARY", "/d", "abc"}, "two per byte"},
        {{"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_MULTI_SZ", "/d", "a"}, "unsupported type"},
        {{"add", "HKCU\\Software\\A", "/v", "n", "/d", "a"}, "HKEY_LOCAL_MACHINE"},
        {{"add", "HKLM\\Software\\A", "/v"}, "needs a value"},
        {{"add", "HKLM\\Software\\A", "/v", "n", "/t", "REG_DWORD", "/d", "8"}, "/f"}, // exists: not overwritten
        {{"query", "HKLM\\Software\\Missing"}, "unable to find"},
        {{"query", "HKLM\\Software\\A", "/v", "missing"}, "unable to find"},
        {{"delete", "HKLM\\Software\\A"}, "/f"}, // not confirmed
        {{"delete", "HKLM\\Software\\A", "/v", "missing", "/f"}, "unable to find"},
        {{"import", (dir.path() / "none.reg").string()}, "cannot read"},
        {{"export", "HKLM\\Software\\A"}, "argument"},
    };
    for (const auto& [args, message] : bad) {
        Result r = run(args);
        EXPECT_NE(r.exitCode, 0) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_EQ(systemReg(), before);
}

TEST_F(LevoraReg, DeletesValuesAndKeys) {
    ASSERT_EQ(run({"add", "HKLM\\Software\\A\\B", "/v", "x", "/d", "1"}).exitCode, 0);
    ASSERT_EQ(run({"add", "HKLM\\Software\\A", "/v", "y", "/d", "2"}).exitCode, 0);
    ASSERT_EQ(run({"add", "HKLM\\Software\\A", "/v", "y", "/d", "3", "/f"}).exitCode, 0);
    EXPECT_NE(systemReg().find("\"y\"=\"3\""), std::string::npos);
    EXPECT_EQ(run({"delete", "HKLM\\Software\\A", "/v", "Y", "/f"}).exitCode, 0);
    EXPECT_EQ(systemReg().find("\"y\""), std::string::npos);
    EXPECT_EQ(run({"delete", "HKLM\\Software\\a", "/f"}).exitCode, 0);
    EXPECT_EQ(systemReg().find("Software\\A"), std::string::npos);
    EXPECT_EQ(run({"query", "HKLM\\Software\\A\\B"}).exitCode, 1);
}

TEST_F(LevoraReg, ExportsAndImportsThroughWindowsPaths) {
    ASSERT_EQ(
        run({"add", "HKLM\\Software\\Quillon", "/v", "Version Number", "/t", "REG_DWORD", "/d", "0x30001"}).exitCode,
        0);
    ASSERT_EQ(run({"export", "HKLM\\Software\\Quillon", "C:\\saved.reg"}).exitCode, 0);
    std::string saved = readFile(prefix / "drive_c" / "saved.reg");
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\Software\\Quillon]\r\n\"Version Number\"=dword:00030001"),
              std::string::npos);
    EXPECT_NE(run({"export", "HKLM\\Software\\Quillon", "C:\\saved.reg"}).exitCode, 0); // exists, no /y
    EXPECT_EQ(run({"export", "HKLM\\Software\\Quillon", "C:\\saved.reg", "/y"}).exitCode, 0);

    ASSERT_EQ(run({"delete", "HKLM\\Software\\Quillon", "/f"}).exitCode, 0);
    // A host path works as well.
    EXPECT_EQ(run({"import", (prefix / "drive_c" / "saved.reg").string()}).exitCode, 0);
    Result q = run({"query", "HKLM\\Software\\Quillon", "/v", "Version Number"});
    EXPECT_NE(q.out.find("REG_DWORD    0x30001"), std::string::npos) << q.out << q.err;

    writeFile(prefix / "drive_c" / "bad.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=what\n");
    Result r = run({"import", "c:\\BAD.REG"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
}
