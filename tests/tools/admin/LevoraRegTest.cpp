#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <iconv.h>

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

// An export as a Windows tool reads it: a UTF-16LE byte-order mark, then UTF-16LE text, decoded
// here by the C library's converter (as `iconv -f UTF-16LE` does), not by our own.
std::string decodeExport(const std::string& bytes) {
    EXPECT_TRUE(bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') << "no UTF-16LE byte-order mark";
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = bytes.substr(2);
    std::string out(in.size() * 2 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t srcLeft = in.size();
    size_t dstLeft = out.size();
    EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1)) << "not UTF-16LE";
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

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
    std::string saved = decodeExport(readFile(prefix / "drive_c" / "saved.reg"));
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

TEST_F(LevoraReg, ExportsUtf16WithCrLfThatRoundTripsNonAsciiText) {
    const std::string key = "HKLM\\Software\\Grüße";
    const std::string text = "Begrüßung – 日本語 ½";
    ASSERT_EQ(run({"add", key, "/v", "Ansage", "/d", text}).exitCode, 0);
    ASSERT_EQ(run({"export", key, "C:\\u.reg"}).exitCode, 0);
    const std::string saved = decodeExport(readFile(prefix / "drive_c" / "u.reg"));
    EXPECT_EQ(saved.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Grüße]\r\n", 0),
              0u)
        << saved;
    EXPECT_NE(saved.find("\"Ansage\"=\"" + text + "\"\r\n"), std::string::npos) << saved;
    for (size_t i = saved.find('\n'); i != std::string::npos; i = saved.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && saved[i - 1] == '\r') << "a line ends without CR at " << i;

    ASSERT_EQ(run({"delete", key, "/f"}).exitCode, 0);
    ASSERT_EQ(run({"import", "C:\\u.reg"}).exitCode, 0);
    Result q = run({"query", key, "/v", "Ansage"});
    EXPECT_NE(q.out.find("REG_SZ    " + text + "\n"), std::string::npos) << q.out << q.err;

    // On request, UTF-8 without a byte-order mark, as system.reg holds it.
    ASSERT_EQ(run({"export", key, "C:\\u8.reg", "/utf8"}).exitCode, 0);
    EXPECT_EQ(readFile(prefix / "drive_c" / "u8.reg").rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
}
