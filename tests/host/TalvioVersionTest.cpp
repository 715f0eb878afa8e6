#include "host/TalvioVersion.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace levora;
using levora::test::ScriptedMessageBox;
using levora::test::TempDir;

namespace {

const std::string kNewer = "HKLM\\SOFTWARE\\Orvane Systems\\Orvane Talvio";
const std::string kOlder = "HKLM\\Software\\Quillon";
const std::string kOverflow = "(error):6 (Overflow) in procedure getVersion of Module TalvioVersion";

std::vector<uint8_t> dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

struct Version : ::testing::Test {
    TempDir dir;
    RegistryStore store{dir.path() / "system.reg"};
    RegistryAPI api{store};
    ScriptedMessageBox msgbox;
    TalvioVersion version{api, msgbox};

    void newer(uint32_t major, uint32_t minor, uint32_t release, uint32_t build) {
        ASSERT_TRUE(store.setValue(kNewer, "MajorVersion", REG_DWORD, dword(major)));
        ASSERT_TRUE(store.setValue(kNewer, "MinorVersion", REG_DWORD, dword(minor)));
        ASSERT_TRUE(store.setValue(kNewer, "ReleaseVersion", REG_DWORD, dword(release)));
        ASSERT_TRUE(store.setValue(kNewer, "BuildVersion", REG_DWORD, dword(build)));
    }
    void older(uint32_t versionNumber, uint32_t buildNumber) {
        ASSERT_TRUE(store.setValue(kOlder, "Version Number", REG_DWORD, dword(versionNumber)));
        ASSERT_TRUE(store.setValue(kOlder, "Build Number", REG_DWORD, dword(buildNumber)));
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& s : msgbox.shown)
            out.push_back(s.text);
        return out;
    }
};

} // namespace

TEST_F(Version, NewerKeyWinsOverTheOlderOne) {
    newer(4, 0, 3, 10);
    older(0x00030001, 0x00010000);
    EXPECT_EQ(version.getVersion(), (HostVersion{4, 0, 3, 10}));
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(Version, NewerKeyWithoutAMajorVersionHandsOverToTheOlderKey) {
    older(0x00030001, 0x00010000);
    ASSERT_TRUE(store.createKey(kNewer));
    EXPECT_EQ(version.getVersion(), (HostVersion{3, 1, 1, 0})) << "MajorVersion missing";
    newer(0, 9, 9, 9);
    EXPECT_EQ(version.getVersion(), (HostVersion{3, 1, 1, 0})) << "MajorVersion 0";
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(Version, OlderKeyPacksDecimalDigitsAsHexadecimalOnes) {
    struct Case {
        uint32_t v, b;
        HostVersion expected;
    };
    const std::vector<Case> cases = {
        {0x00030001, 0x00010000, {3, 1, 1, 0}},   {0x00030001, 0x0004000A, {3, 1, 4, 10}},
        {0x00040010, 0x00010012, {4, 10, 1, 18}}, {0x00030001, 0x00058000, {3, 1, 5, -32768}},
        {0x00030001, 0x0005FFFF, {3, 1, 5, -1}},  {0x1E020001, 0x00000000, {100, 1, 0, 0}}, // exponent quirk
        {0x3D010001, 0x00000000, {30, 1, 0, 0}},                                            // D is an exponent too
        {0x1E0A00A1, 0x000B0001, {1, 0, 0, 1}}, // stops at the first non-digit
        {0x1EA00003, 0x00000000, {1, 3, 0, 0}}, // E without digits after it
        {0x00000000, 0x00000000, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        older(c.v, c.b);
        EXPECT_EQ(version.getVersion(), c.expected) << std::hex << c.v << " " << c.b;
    }
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(Version, MissingValuesAndKeysReadAsZero) {
    EXPECT_EQ(version.getVersion(), (HostVersion{}));
    ASSERT_TRUE(store.setValue(kOlder, "Version Number", REG_DWORD, dword(0x00030001)));
    EXPECT_EQ(version.getVersion(), (HostVersion{3, 1, 0, 0}));
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(Version, NumbersOutside16BitsAreReportedAndTheRestIsRead) {
    newer(70000, 1, 4, 2);
    EXPECT_EQ(version.getVersion(), (HostVersion{0, 1, 4, 2}));
    EXPECT_EQ(messages(), std::vector<std::string>{kOverflow});
    EXPECT_EQ(msgbox.shown[0].buttons, vbOKOnly);

    msgbox.shown.clear();
    ASSERT_TRUE(store.deleteKey(kNewer));
    older(0x1E050001, 0x9E990003); // 1E05 = 100000, 9E99 = 9 * 10^99
    EXPECT_EQ(version.getVersion(), (HostVersion{0, 1, 0, 3}));
    EXPECT_EQ(messages(), (std::vector<std::string>{kOverflow, kOverflow}));
}

TEST(VersionCompare, AgainstTheLoadedVersion) {
    TempDir dir;
    RegistryStore store(dir.path() / "system.reg");
    RegistryAPI api(store);
    ScriptedMessageBox msgbox;
    TalvioVersion version(api, msgbox);
    EXPECT_TRUE(version.bIsVersionGreaterThanOrEqualTo(0, 0, 0, 0)); // all zero before start-up
    EXPECT_FALSE(version.bIsVersionGreaterThanOrEqualTo(3, 1, 1, 0));
    version.setLoaded({3, 1, 4, 0});
    struct Case {
        int16_t a, b, c, d;
        bool expected;
    };
    for (const auto& t : std::vector<Case>{{3, 1, 4, 0, true},
                                           {3, 1, 4, 1, false},
                                           {3, 1, 5, 0, false},
                                           {3, 1, 3, 19, true},
                                           {2, 9, 9, 9, true},
                                           {4, 0, 0, 0, false},
                                           {3, 1, 1, 0, true},
                                           {3, 0, 9, 9, true},
                                           {3, 2, 0, 0, false},
                                           {-1, 0, 0, 0, true}})
        EXPECT_EQ(version.bIsVersionGreaterThanOrEqualTo(t.a, t.b, t.c, t.d), t.expected)
            << t.a << "." << t.b << "(" << t.c << ")" << t.d;
    version.setLoaded({3, 1, 5, -1}); // build 8000-FFFF is negative: below build 0
    EXPECT_FALSE(version.bIsVersionGreaterThanOrEqualTo(3, 1, 5, 0));
    EXPECT_TRUE(msgbox.shown.empty());
}
