// myGrid under the mouse and the keyboard: a click on a name toggles its box, the check column
// toggles through the grid's own editing, a header click sorts without toggling, names cannot be
// edited, and the selection buttons.
#include "MainHarness.h"
#include "ui/gui/Twips.h"

#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

namespace levora {
namespace {

using test::MainHarness;

class GridTest : public ::testing::Test {
protected:
    GridTest() {
        for (const char* name : {"b9.wav", "a.wav", "B10.wav"})
            h.host.file(std::string("C:\\Talvio\\Stream Files\\") + name);
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        EXPECT_EQ(h.load(), LoadResult::Ready);
        grid().resize(grid().size()); // offscreen: the view needs to be shown to lay out its cells
        h.form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(h.form.get()));
    }
    GridControl& grid() { return *h.form->myGrid; }
    QPoint cellCentre(int row, int col) { return grid().visualRect(grid().model()->index(row - 1, col)).center(); }
    void click(int row, int col) { QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, cellCentre(row, col)); }
    void clickHeader(int col) {
        QHeaderView* header = grid().horizontalHeader();
        const int x = header->sectionViewportPosition(col) + header->sectionSize(col) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    std::vector<bool> checks() {
        std::vector<bool> out;
        for (int r = 1; r < grid().Rows(); ++r)
            out.push_back(grid().CellChecked(r, 1));
        return out;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int r = 1; r < grid().Rows(); ++r)
            out.push_back(grid().TextMatrix(r, 2).substr(std::string("C:\\Talvio\\Stream Files\\").size()));
        return out;
    }
    MainHarness h;
};

TEST_F(GridTest, FourColumnsFoundByKeyInAnyCase) {
    EXPECT_EQ(grid().Cols(), 4);
    EXPECT_EQ(grid().ColIndex("Selected"), 1);
    EXPECT_EQ(grid().ColIndex("selected"), 1);
    EXPECT_EQ(grid().ColIndex("SELECTED"), 1);
    EXPECT_EQ(grid().ColIndex("FileName"), 2);
    EXPECT_EQ(grid().ColIndex("filename"), 2);
    EXPECT_EQ(grid().ColIndex("level"), 3);
    EXPECT_EQ(grid().ColIndex("Other"), -1);
    // As the file system lists them.
    EXPECT_EQ(names(), (std::vector<std::string>{"a.wav", "B10.wav", "b9.wav", "greeting1.wav"}));
    // Twips as drawn, though narrower than the style's smallest section.
    const Twips tw = Twips::forWidget(&grid());
    EXPECT_EQ(grid().columnWidth(0), tw.x(180));
    EXPECT_EQ(grid().columnWidth(1), tw.x(240));
    EXPECT_EQ(grid().columnWidth(3), tw.x(1215));
    EXPECT_EQ(grid().horizontalHeader()->sectionResizeMode(2), QHeaderView::Stretch) << "the name takes the rest";
    EXPECT_EQ(grid().horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(grid().selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(GridTest, ClickingANameTogglesItsBoxAndTheFixedColumnChangesNothing) {
    click(2, 2);
    EXPECT_EQ(checks(), (std::vector<bool>{true, false, true, true}));
    click(2, 2);
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true, true}));
    click(3, 0);
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(grid().Col(), 0);
}

TEST_F(GridTest, ClickingACheckBoxTogglesItOnce) {
    click(1, 1);
    EXPECT_EQ(checks(), (std::vector<bool>{false, true, true, true}));
    click(1, 1);
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true, true}));
}

TEST_F(GridTest, SpaceOnTheCheckCellTogglesItAndEditingANameIsRefused) {
    grid().setFocus();
    grid().setRow(4);
    grid().setCol(1);
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true, false}));

    grid().setCol(2);
    for (auto key : {Qt::Key_F2, Qt::Key_X, Qt::Key_Space}) {
        QTest::keyClick(&grid(), key);
        EXPECT_FALSE(grid().isEditing());
    }
    QTest::mouseDClick(grid().viewport(), Qt::LeftButton, {}, cellCentre(4, 2));
    EXPECT_FALSE(grid().isEditing());
    EXPECT_EQ(names()[3], "greeting1.wav");
    EXPECT_EQ(checks()[3], false) << "a double click is two clicks";
}

TEST_F(GridTest, HeaderClickSortsKeepsEachRowsBoxAndTogglesNone) {
    // Untick "B10.wav"; make a name row current so that a stray click would toggle it.
    grid().setCellChecked(2, 1, false);
    click(4, 2);
    ASSERT_EQ(checks(), (std::vector<bool>{true, false, true, false}));

    clickHeader(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"a.wav", "b9.wav", "B10.wav", "greeting1.wav"}));
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(grid().Row(), 0);
    EXPECT_EQ(grid().Col(), 0);

    clickHeader(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"greeting1.wav", "B10.wav", "b9.wav", "a.wav"}));
    EXPECT_EQ(checks(), (std::vector<bool>{false, false, true, true}));

    // Sorting by the check column keeps each name's box too.
    clickHeader(1);
    EXPECT_EQ(checks(), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(names(), (std::vector<std::string>{"greeting1.wav", "B10.wav", "b9.wav", "a.wav"}));
}

TEST_F(GridTest, ABareGridWouldLetANameBeEditedTheRuleRefusesIt) {
    // The refusal comes from the before-edit rule, not from the grid.
    GridControl bare({{"", 180, false}, {"selected", 240, true}, {"FileName", 1605, false}});
    bare.setRows(2);
    bare.setTextMatrix(1, 2, "name");
    bare.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bare));
    bare.setFocus();
    bare.setRow(1);
    bare.setCol(2);
    QTest::keyClick(&bare, Qt::Key_F2);
    EXPECT_TRUE(bare.isEditing());
}

TEST_F(GridTest, UnselectAllThenSelectAll) {
    h.form->cmdUnselectAll->click();
    EXPECT_EQ(checks(), (std::vector<bool>{false, false, false, false}));
    h.form->cmdSelectAll->click();
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, true, true}));
}

TEST(GridFill, ThirtyTwoThousandRowsAndMoreFitTheGrid) {
    GridControl g({{"", 180, false}, {"selected", 240, true}, {"FileName", 1605, false}});
    g.setRedraw(false);
    for (int i = 0; i < 40000; ++i) {
        const int row = g.Rows();
        g.setRows(row + 1);
        g.setTextMatrix(row, 2, "f" + std::to_string(i));
        g.setCellChecked(row, 1, true);
    }
    g.setRedraw(true);
    EXPECT_EQ(g.Rows(), 40001);
    EXPECT_EQ(g.model()->rowCount(), 40000);
    EXPECT_EQ(g.TextMatrix(40000, 2), "f39999");
    EXPECT_TRUE(g.CellChecked(32768, 1));
}

TEST(GridFill, OutOfRangeCellsRaiseSubscriptOutOfRange) {
    GridControl g({{"", 180, false}, {"selected", 240, true}, {"FileName", 1605, false}});
    for (auto [row, col] : {std::pair{1, 1}, {0, 3}, {-1, 0}}) {
        try {
            g.TextMatrix(row, col);
            FAIL() << row << "," << col;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 9);
        }
    }
    EXPECT_THROW(g.setRows(0), Error);
}

} // namespace
} // namespace levora
