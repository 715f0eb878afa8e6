// The folder-listing cache and the refusal of network drives.
#include "platform/Error.h"
#include "platform/FolderListingCache.h"
#include "platform/NetworkDrive.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::writeFile;

namespace {

class DriveTest : public levora::test::PrefixFixture {};

TEST_F(DriveTest, AKeptListingSeesANameAddedAfterTheFolderSettled) {
    const fs::path dir = c() / "Stream Files";
    writeFile(dir / "greeting_1001_std.wav", "1");
    std::time_t now = std::time(nullptr);
    FolderListingCache cache([&] { return now; }, [](const fs::path&) { return true; });

    // A folder younger than the settle time is listed on every look, never kept.
    EXPECT_EQ(cache.findNoCase(dir, "GREETING_1001_STD.WAV"), "greeting_1001_std.wav");
    EXPECT_EQ(cache.size(), 0u);

    // Past the settle time the listing is kept and answers the next look.
    now += FolderListingCache::kSettledSeconds + 10;
    EXPECT_EQ(cache.findNoCase(dir, "GREETING_1001_STD.WAV"), "greeting_1001_std.wav");
    EXPECT_EQ(cache.size(), 1u);

    // Its case twin arrives: the kept listing is stale and must not answer for it.
    writeFile(dir / "Greeting_1001_std.wav", "2");
    now += FolderListingCache::kSettledSeconds + 10;
    EXPECT_THROW(
        {
            try {
                cache.findNoCase(dir, "GREETING_1001_STD.WAV");
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), err::CaseClash);
                throw;
            }
        },
        Error);

    // A folder whose times cannot be trusted is never kept, however old.
    FolderListingCache untrusted([&] { return now + 100; }, [](const fs::path&) { return false; });
    EXPECT_EQ(untrusted.findNoCase(c(), "STREAM FILES"), "Stream Files");
    EXPECT_EQ(untrusted.size(), 0u);
}

TEST_F(DriveTest, ADriveOnANetworkFileSystemIsRefusedUnlessAllowed) {
    fs::create_directories(c() / "Talvio" / "Stream Files");
    const std::vector<std::string> written{"C:\\Talvio\\Stream Files", "C:\\Levora.log"};
    struct Case {
        const char* name;
        std::optional<long> type;
        bool refused;
    } cases[] = {
        {"ext4", 0xEF53, false},     {"tmpfs", 0x01021994, false}, {"unknown", std::nullopt, false},
        {"fuse", 0x65735546, true},  {"smb", 0x517B, true},        {"cifs", 0xFF534D42L, true},
        {"smb2", 0xFE534D42L, true}, {"nfs", 0x6969, true},
    };
    for (const Case& tc : cases) {
        const FileSystemTypeProbe probe = [&](const fs::path&) { return tc.type; };
        EXPECT_EQ(networkDrives(ns, written, probe).size(), tc.refused ? 2u : 0u) << tc.name;
        EXPECT_NO_THROW(refuseNetworkDrives(ns, written, true, probe)) << tc.name;
        try {
            refuseNetworkDrives(ns, written, false, probe);
            EXPECT_FALSE(tc.refused) << tc.name;
        } catch (const Error& e) {
            EXPECT_TRUE(tc.refused) << tc.name;
            EXPECT_EQ(e.number(), err::NetworkDrive);
            EXPECT_NE(e.description().find("levora-host attach"), std::string::npos) << e.description();
        }
    }
    // Only the drive that lies on the mount is refused: decided by the nearest existing folder.
    const FileSystemTypeProbe streamOnSmb = [&](const fs::path& p) -> std::optional<long> {
        return p == c() / "Talvio" / "Stream Files" ? 0xFF534D42L : 0xEF53;
    };
    const auto found = networkDrives(ns, {"C:\\Talvio\\Stream Files\\new.wav", "C:\\Levora.log"}, streamOnSmb);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].kind, MountKind::Smb);
    EXPECT_EQ(found[0].hostDir, c() / "Talvio" / "Stream Files");
}

} // namespace
