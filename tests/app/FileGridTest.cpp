// The file list: what the fill lists from the two host folders, how a failing folder is reported,
// and the selection rules of the grid's events.
#include "app/FileGrid.h"
#include "HostFixture.h"
#include "app/MemoryForm.h"
#include "host/RegistryAPI.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

class FillGridTest : public ::testing::Test {
protected:
    FillGridTest() { host.setRoot("C:\\Talvio"); }

    std::vector<std::string> fill() {
        RegistryAPI registry(host.store);
        StepRunner trap([this](const Error& e) { errors.push_back(e); });
        FillGrid(grid, registry, host.fs, trap);
        return grid.fileNames();
    }

    test::TestHost host;
    MemoryGrid grid;
    std::vector<Error> errors;
};

TEST_F(FillGridTest, ListsStreamFilesWhateverTheirExtensionAndOnlyWavFilesOfDefaultConfigurationSubFolders) {
    host.file("C:\\Talvio\\Stream Files\\b.wav");
    host.file("C:\\Talvio\\Stream Files\\A.wav");
    host.file("C:\\Talvio\\Stream Files\\notes.txt");
    // Left beside the greetings by a killed run (the earlier long form and the short one).
    host.file("C:\\Talvio\\Stream Files\\.voicename_1136.wav.levora-r3uEo1");
    host.file("C:\\Talvio\\Stream Files\\.levora-Ab12cD");
    host.file("C:\\Talvio\\Stream Files\\old\\deep.wav"); // a sub-folder of Stream Files: not listed
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\top.wav");
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\Greeting.WAV");
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\readme.txt");
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\wav");
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\deeper\\two.wav");
    host.file("C:\\Talvio\\Localize\\DefaultConfiguration\\DEU\\gruss.wav");

    const auto names = fill();
    EXPECT_TRUE(errors.empty());
    // Stream Files as formed from the root; the sub-folders with the folder names the disk holds,
    // in the order the file system lists them.
    EXPECT_EQ(names, (std::vector<std::string>{
                         "C:\\Talvio\\Stream Files\\A.wav",
                         "C:\\Talvio\\Stream Files\\b.wav",
                         "C:\\Talvio\\Stream Files\\notes.txt",
                         "C:\\Talvio\\localize\\defaultconfiguration\\DEU\\gruss.wav",
                         "C:\\Talvio\\localize\\defaultconfiguration\\ENU\\Greeting.WAV",
                     }));
    EXPECT_EQ(grid.checks(), std::vector<bool>(names.size(), true));
    EXPECT_EQ(grid.Rows(), 6);
}

TEST_F(FillGridTest, AppendsWithDrawingOffAndSwitchesItBackOn) {
    for (int i = 0; i < 5; ++i)
        host.file("C:\\Talvio\\Stream Files\\g" + std::to_string(i) + ".wav");
    host.folder("C:\\Talvio\\localize\\defaultconfiguration");
    fill();
    EXPECT_EQ(grid.rowsAppendedWithoutRedraw(), 5);
    EXPECT_TRUE(grid.redraw());
}

TEST_F(FillGridTest, SecondFolderMissingIsReportedOnceAndKeepsTheFirstFoldersRows) {
    host.file("C:\\Talvio\\Stream Files\\a.wav");
    host.file("C:\\Talvio\\Stream Files\\b.wav");
    const auto names = fill();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number(), err::PathNotFound);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_TRUE(grid.redraw());
}

TEST_F(FillGridTest, FirstFolderMissingAddsNoRowsAndTheSecondIsStillRead) {
    host.file("C:\\Talvio\\localize\\defaultconfiguration\\ENU\\x.wav");
    const auto names = fill();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number(), err::PathNotFound);
    EXPECT_EQ(names, std::vector<std::string>{"C:\\Talvio\\localize\\defaultconfiguration\\ENU\\x.wav"});
    EXPECT_TRUE(grid.redraw());
}

TEST_F(FillGridTest, RootWithTrailingBackslashKeepsTheDoubledSeparatorInStreamFilePaths) {
    host.setRoot("C:\\Talvio\\");
    host.file("C:\\Talvio\\Stream Files\\a.wav");
    host.file("C:\\Talvio\\localize\\defaultconfiguration\\ENU\\x.wav");
    const auto names = fill();
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "C:\\Talvio\\\\Stream Files\\a.wav");
    EXPECT_EQ(names[1], "C:\\Talvio\\localize\\defaultconfiguration\\ENU\\x.wav");
}

TEST_F(FillGridTest, MissingRootUsesTheFoldersOnTheCurrentDrive) {
    host.store.deleteValue(test::kSetupFullKey, "VantorRootPath");
    host.file("C:\\Stream Files\\a.wav");
    host.file("C:\\Talvio\\Stream Files\\not-this.wav");
    host.ns.setCurrentDirectory("C:\\");
    const auto names = fill();
    EXPECT_EQ(names, std::vector<std::string>{"\\Stream Files\\a.wav"});
    EXPECT_EQ(errors.size(), 1u); // \localize\defaultconfiguration\ is missing
}

TEST_F(FillGridTest, NoFolderAtAllLeavesOnlyTheHeaderRow) {
    fill();
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(errors.size(), 2u);
}

TEST(WavExtension, IsTheTextAfterTheLastDotInAnyCase) {
    EXPECT_TRUE(bHasWavExtension("a.wav"));
    EXPECT_TRUE(bHasWavExtension("a.b.WaV"));
    EXPECT_TRUE(bHasWavExtension(".wav"));
    EXPECT_FALSE(bHasWavExtension("a.wav.bak"));
    EXPECT_FALSE(bHasWavExtension("wav"));
    EXPECT_FALSE(bHasWavExtension("a.wave"));
}

class GridRulesTest : public ::testing::Test {
protected:
    GridRulesTest() {
        grid.setRows(4);
        for (int r = 1; r < 4; ++r) {
            grid.setTextMatrix(r, 2, "f" + std::to_string(r));
            grid.setCellChecked(r, 1, true);
        }
    }
    void clickAt(int row, int col) {
        grid.setRow(row);
        grid.setCol(col);
        rules.Click();
    }
    MemoryGrid grid;
    FileGridRules rules{grid};
};

TEST_F(GridRulesTest, ClickOnAFileNameTogglesItsRowAndOnlyThere) {
    clickAt(2, 2);
    EXPECT_EQ(grid.checks(), (std::vector<bool>{true, false, true}));
    clickAt(2, 2);
    EXPECT_EQ(grid.checks(), (std::vector<bool>{true, true, true}));

    for (auto [row, col] : {std::pair{2, 0}, {2, 1}, {0, 2}, {0, 0}}) {
        clickAt(row, col);
        EXPECT_EQ(grid.checks(), (std::vector<bool>{true, true, true})) << row << "," << col;
    }
}

TEST_F(GridRulesTest, OnlyCheckCellsMayBeEdited) {
    for (int col = 0; col < 3; ++col) {
        bool cancel = false;
        rules.BeforeEdit(1, col, cancel);
        EXPECT_EQ(cancel, col != 1) << col;
    }
}

TEST_F(GridRulesTest, AfterSortMakesTheHeaderCurrentSoTheHeaderClickTogglesNothing) {
    grid.setRow(3);
    grid.setCol(2);
    rules.AfterSort(2, 1);
    rules.Click(); // the click of the same header
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.Col(), 0);
    EXPECT_EQ(grid.checks(), (std::vector<bool>{true, true, true}));
}

TEST_F(GridRulesTest, UnselectAllThenSelectAll) {
    rules.SetAllChecks(false);
    EXPECT_EQ(grid.checks(), (std::vector<bool>{false, false, false}));
    rules.SetAllChecks(true);
    EXPECT_EQ(grid.checks(), (std::vector<bool>{true, true, true}));

    MemoryGrid empty;
    FileGridRules emptyRules(empty);
    EXPECT_NO_THROW(emptyRules.SetAllChecks(true));
}

TEST(MemoryGrid, ColumnsByKeyHeaderRowAndBounds) {
    MemoryGrid grid;
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.ColIndex("SELECTED"), 1);
    EXPECT_EQ(grid.ColIndex("filename"), 2);
    EXPECT_EQ(grid.ColIndex("Size"), -1);

    grid.setRows(3);
    grid.setTextMatrix(2, grid.ColIndex("FileName"), "C:\\Talvio\\Stream Files\\a.wav");
    grid.setCellChecked(2, grid.ColIndex("Selected"), true);
    EXPECT_TRUE(grid.CellChecked(2, 1));
    EXPECT_FALSE(grid.CellChecked(1, 1));
    EXPECT_EQ(grid.TextMatrix(2, 2), "C:\\Talvio\\Stream Files\\a.wav");

    for (auto [row, col] : {std::pair{3, 1}, {-1, 1}, {1, 3}, {1, -1}}) {
        try {
            (void)grid.TextMatrix(row, col);
            ADD_FAILURE() << row << "," << col << " did not fail";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 9);
        }
    }
    grid.setCellChecked(0, 1, true); // the header row has no check boxes
    EXPECT_FALSE(grid.CellChecked(0, 1));
    EXPECT_THROW(grid.setRows(0), Error); // never below the header row
    EXPECT_EQ(grid.Rows(), 3);
}

} // namespace
} // namespace levora
