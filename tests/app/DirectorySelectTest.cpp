// The backup folder: the browser's answer as a Windows path, and the trailing backslash that the
// backup and the restore rely on.
#include "HostFixture.h"
#include "app/modDirectorySelect.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

class NextFolder : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse& w) override {
        where = w;
        return next;
    }
    std::string next;
    FolderBrowse where;
};

TEST(FolderPicker, ReturnsTheWindowsPathOfTheChosenFolder) {
    test::TestHost host;
    const auto d = host.tmp.path() / "disk-d";
    std::filesystem::create_directories(d / "Archive");
    host.prefix.mapDrive('d', d);
    std::filesystem::create_directories(host.prefix.driveC() / "Backup");
    NextFolder dialog;

    struct Case {
        std::filesystem::path chosen;
        const char* picked;
        const char* field;
    };
    const Case cases[] = {
        {host.prefix.driveC() / "Backup", "C:\\Backup", "C:\\Backup\\"},
        {d, "D:\\", "D:\\"},
        {d / "Archive", "D:\\Archive", "D:\\Archive\\"},
    };
    for (const Case& c : cases) {
        dialog.next = c.chosen.string();
        const std::string picked = modDirectorySelect::strBrowseForFolder(dialog, host.ns);
        EXPECT_EQ(picked, c.picked);
        EXPECT_EQ(BackupTargetFromBrowse("E:\\Old\\", picked), c.field);
    }
}

TEST(FolderPicker, StartsAtTheBackupFolderElseAtCAndOffersTheDrivesByLetter) {
    test::TestHost host;
    const auto d = host.tmp.path() / "disk-d";
    std::filesystem::create_directories(d);
    host.prefix.mapDrive('d', d);
    host.prefix.mapDrive('e', host.tmp.path() / "unplugged"); // a drive whose folder is gone
    std::filesystem::create_directories(host.prefix.driveC() / "Backup");
    const std::string c = host.ns.driveTarget('c').string();
    NextFolder dialog;

    const std::pair<const char*, std::string> starts[] = {
        {"c:\\backup\\", (host.ns.driveTarget('c') / "Backup").string()},
        {"C:\\Not There\\", c},
        {"Q:\\", c},
        {"", c},
    };
    for (const auto& [field, start] : starts) {
        modDirectorySelect::strBrowseForFolder(dialog, host.ns, field);
        EXPECT_EQ(dialog.where.start, start) << field;
    }
    std::vector<std::pair<std::string, std::string>> places;
    for (const auto& p : dialog.where.places)
        places.emplace_back(p.label, p.folder);
    EXPECT_EQ(places, (std::vector<std::pair<std::string, std::string>>{
                          {"C:", c}, {"D:", host.ns.driveTarget('d').string()}, {"Z:", "/"}}));
}

TEST(FolderPicker, CancelKeepsTheEarlierText) {
    test::TestHost host;
    NextFolder dialog;
    const std::string picked = modDirectorySelect::strBrowseForFolder(dialog, host.ns);
    EXPECT_EQ(picked, "");
    EXPECT_EQ(BackupTargetFromBrowse("C:\\Backup\\", picked), "C:\\Backup\\");
}

TEST(FolderPicker, AFolderWithoutAWindowsNameCountsAsACancel) {
    test::TestHost host;
    const auto odd = host.prefix.driveC() / "a\\b";
    std::filesystem::create_directories(odd);
    NextFolder dialog;
    dialog.next = odd.string();
    EXPECT_EQ(modDirectorySelect::strBrowseForFolder(dialog, host.ns), "");
}

TEST(FolderPicker, LongPathsAreNotCut) {
    test::TestHost host;
    std::filesystem::path p = host.prefix.driveC();
    std::string expected = "C:";
    for (int i = 0; i < 12; ++i) {
        const std::string part(30, static_cast<char>('a' + i));
        p /= part;
        expected += "\\" + part;
    }
    std::filesystem::create_directories(p);
    NextFolder dialog;
    dialog.next = p.string();
    const std::string picked = modDirectorySelect::strBrowseForFolder(dialog, host.ns);
    EXPECT_GT(picked.size(), 260u);
    EXPECT_EQ(picked, expected);
}

TEST(BackupTarget, LeavingTheFieldAddsTheTrailingBackslash) {
    EXPECT_EQ(BackupTargetOnFocusOut("C:\\Backup"), "C:\\Backup\\");
    EXPECT_EQ(BackupTargetOnFocusOut("C:\\Backup\\"), "C:\\Backup\\");
    EXPECT_EQ(BackupTargetOnFocusOut("D:\\"), "D:\\");
    EXPECT_EQ(BackupTargetOnFocusOut(""), "");
}

} // namespace
} // namespace levora
