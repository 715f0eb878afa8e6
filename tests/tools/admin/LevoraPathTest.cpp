#include "platform/Prefix.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using levora::test::readFile;
using levora::test::TempDir;
using levora::test::writeFile;

namespace {

struct LevoraPath : ::testing::Test {
    TempDir dir;
    fs::path prefix = dir.path() / "prefix";

    levora::test::ProgramRun run(const std::vector<std::string>& args) {
        return levora::test::runProgram(levora::test::binDir() / "levora-path", args, dir.path(),
                                        {{"LEVORA_PREFIX", prefix.string()}});
    }
};

} // namespace

TEST_F(LevoraPath, ConvertsBothWays) {
    levora::MachinePrefix p(prefix);
    writeFile(p.driveC() / "Host" / "Stream Files" / "g1.wav", "x");
    fs::path driveC = fs::canonical(p.driveC());

    auto r = run({"-u", "c:\\host\\stream files\\G1.WAV", "C:\\Host\\new folder"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (driveC / "Host" / "Stream Files" / "g1.wav").string() + "\n" +
                         (driveC / "Host" / "new folder").string() + "\n");

    r = run({"-w", (driveC / "Host" / "Stream Files").string(), "/usr/bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "C:\\Host\\Stream Files\nZ:\\usr\\bin\n");
}

TEST_F(LevoraPath, UnconvertiblePathsFailWithAMessage) {
    levora::MachinePrefix p(prefix);
    auto r = run({"-u", "Q:\\nowhere"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Q:\\nowhere"), std::string::npos) << r.err;

    fs::remove(p.dosdevices() / "z:");
    r = run({"-w", "/usr/bin"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("/usr/bin"), std::string::npos) << r.err;

    writeFile(p.driveC() / "Dir" / "f", "");
    writeFile(p.driveC() / "DIR" / "f", "");
    r = run({"-u", "c:\\dir\\f"});
    EXPECT_NE(r.exitCode, 0) << "two folders differ only in case";
    EXPECT_NE(r.err.find("differ only in letter case"), std::string::npos) << r.err;

    EXPECT_EQ(run({"-x", "y"}).exitCode, 2);
    EXPECT_EQ(run({}).exitCode, 2);
}
