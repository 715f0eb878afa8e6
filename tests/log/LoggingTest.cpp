#include "log/Logging.h"
#include "platform/LinuxFileSystem.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::CountingPump;
using levora::test::readFile;
using levora::test::writeFile;

namespace {

class LoggingTest : public levora::test::PrefixFixture {
protected:
    LinuxFileSystem lfs{ns};
    CountingPump pump;
    AppInfo app;
    Logging log{lfs, pump, app};

    void SetUp() override {
        log.setLocalTime([] {
            std::tm t{};
            t.tm_year = 2026 - 1900;
            t.tm_mon = 11;
            t.tm_mday = 7;
            t.tm_hour = 17;
            t.tm_min = 4;
            t.tm_sec = 9;
            return t;
        });
    }
    fs::path logFile() const { return prefix.driveC() / "Levora.log"; }
};

const std::string kHeader = "\r\n"
                            "*************************************************************\r\n"
                            "Running Levora version: 1.0.35\r\n"
                            "\r\n"
                            "12/7/2026 5:04:09 PM\r\n"
                            "\r\n"
                            "Search for '(error)' or '(warning)' to find logged errors and warnings.\r\n"
                            "\r\n"
                            "*************************************************************\r\n"
                            "\r\n";

} // namespace

TEST_F(LoggingTest, FreshLogReplacesTheOldOneAndStartsWithTheHeader) {
    writeFile(logFile(), "an older run\r\n");
    ::chmod(logFile().c_str(), 0640);
    log.OpenLog("c:\\Levora.log", false);
    EXPECT_TRUE(log.isOpen());
    EXPECT_EQ(pump.doEvents, 5) << "one write per header group, each followed by a yield";
    log.WriteLog("E:\\Host\\Stream Files\\g1.wav set to dB -26");
    log.WriteLog("ends in CR LF\r\n");
    log.CloseLog();
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(readFile(logFile()), kHeader + "E:\\Host\\Stream Files\\g1.wav set to dB -26\r\nends in CR LF\r\n\r\n");
    EXPECT_EQ(pump.doEvents, 7);
    struct stat st {};
    ::stat(logFile().c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Nothing left beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(prefix.driveC()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(LoggingTest, AppendKeepsTheEarlierLog) {
    log.OpenLog("c:\\Levora.log", false);
    log.WriteLog("first");
    log.CloseLog();
    log.OpenLog("C:\\LEVORA.LOG", true);
    log.WriteLog("second");
    log.CloseLog();
    EXPECT_EQ(readFile(logFile()), kHeader + "first\r\n" + kHeader + "second\r\n");
}

TEST_F(LoggingTest, WritesWithoutAnOpenLogAreDroppedButStillYield) {
    log.WriteLog("before");
    log.CloseLog();
    log.CloseLog();
    EXPECT_EQ(pump.doEvents, 1);
    log.OpenLog("c:\\Levora.log", false);
    log.CloseLog();
    log.WriteLog("after");
    EXPECT_EQ(readFile(logFile()), kHeader);
    EXPECT_EQ(pump.doEvents, 7);
}

TEST_F(LoggingTest, UnopenableLogsAreSilent) {
    log.OpenLog("c:\\missing folder\\Levora.log", false);
    EXPECT_FALSE(log.isOpen());
    log.WriteLog("line");
    log.CloseLog();
    EXPECT_FALSE(fs::exists(prefix.driveC() / "missing folder"));
    EXPECT_EQ(pump.doEvents, 6);

    log.OpenLog("Q:\\Levora.log", false); // no such drive
    EXPECT_FALSE(log.isOpen());

    writeFile(logFile(), "kept");
    ::chmod(logFile().c_str(), 0444);
    log.OpenLog("c:\\Levora.log", false);
    EXPECT_FALSE(log.isOpen());
    log.OpenLog("c:\\Levora.log", true);
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(readFile(logFile()), "kept");
}

TEST_F(LoggingTest, SecondOpenClosesTheFirst) {
    log.OpenLog("c:\\a.log", false);
    log.OpenLog("c:\\b.log", false);
    log.WriteLog("x");
    log.CloseLog();
    EXPECT_EQ(readFile(prefix.driveC() / "a.log"), kHeader);
    EXPECT_EQ(readFile(prefix.driveC() / "b.log"), kHeader + "x\r\n");
}

TEST(LoggingFormat, GeneralDate) {
    struct Case {
        int h, m, s;
        const char* text;
    } cases[] = {{0, 0, 0, "1/2/2003 12:00:00 AM"},
                 {11, 59, 59, "1/2/2003 11:59:59 AM"},
                 {12, 0, 5, "1/2/2003 12:00:05 PM"},
                 {23, 10, 0, "1/2/2003 11:10:00 PM"}};
    for (const auto& tc : cases) {
        std::tm t{};
        t.tm_year = 103;
        t.tm_mon = 0;
        t.tm_mday = 2;
        t.tm_hour = tc.h;
        t.tm_min = tc.m;
        t.tm_sec = tc.s;
        EXPECT_EQ(Logging::generalDate(t), tc.text);
    }
}
