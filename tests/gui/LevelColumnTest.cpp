// The level column of the file list: filled in the background once the window shows, with the
// meter's own reading of each file, sorted by value and marked where a run cannot reach the target.
#include "../levels/LevelsFixture.h"
#include "MainHarness.h"
#include "leveling/LevelingRun.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace levora {
namespace {

TEST(LevelColumnTest, FillsAfterTheWindowShowsSortsByValueAndMarksWhatARunCannotReach) {
    test::MainHarness h;
    std::uint32_t seed = 11;
    for (auto [name, peak] : {std::pair{"loud.wav", 0.9}, {"quiet.wav", 0.002}, {"middle.wav", 0.15}}) {
        const auto file = h.host.ns.toHost(std::string("C:\\Talvio\\Stream Files\\") + name);
        test::writeWav(file, SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, test::speechLike(2.0, 8000, peak, seed++));
    }
    ASSERT_EQ(h.load(), LoadResult::Ready);
    frmMain& form = *h.form;
    GridControl& grid = *form.myGrid;
    const int col = grid.ColIndex(kLevelKey);
    EXPECT_EQ(grid.TextMatrix(0, col), "Level (dBov)");
    EXPECT_EQ(grid.TextMatrix(1, col), "") << "nothing is measured before the window shows";
    EXPECT_FALSE(form.mnuSaveLevelReport->isEnabled());

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QElapsedTimer bound;
    bound.start();
    while (!form.mnuSaveLevelReport->isEnabled() && bound.elapsed() < 60000)
        QTest::qWait(20);
    ASSERT_TRUE(form.mnuSaveLevelReport->isEnabled()) << "the column never filled";

    const double target = NumberOfText(form.cmbTargetDB->currentText().toStdString());
    const double maxChange = NumberOfText(form.cmbGainThreshold->currentText().toStdString());
    int marked = 0, measured = 0;
    for (int r = 1; r < grid.Rows(); ++r) {
        const FileLevel level = measureFileLevel(h.host.ns.toHost(grid.TextMatrix(r, 2)));
        EXPECT_EQ(grid.TextMatrix(r, col), levelText(level)) << grid.TextMatrix(r, 2);
        const bool mark = grid.gridModel()->marked(r - 1, col);
        EXPECT_EQ(mark, beyondReach(level, target, maxChange)) << grid.TextMatrix(r, 2);
        EXPECT_FALSE(grid.model()->index(r - 1, col).data(Qt::ToolTipRole).toString().isEmpty());
        marked += mark;
        measured += level.measured();
    }
    EXPECT_EQ(measured, 3);
    EXPECT_GE(marked, 1) << "the quiet recording lies beyond the largest change";
    EXPECT_LT(marked, measured);

    // A header click sorts by value, the files without a level after the others.
    QHeaderView* header = grid.horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, header->height() / 2));
    std::vector<double> values;
    for (int r = 1; r <= 3; ++r)
        values.push_back(std::stod(grid.TextMatrix(r, col)));
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(grid.TextMatrix(grid.Rows() - 1, col), "-");

    // A click on a level acts as one on the name: its row's box changes.
    const QPoint cell = grid.visualRect(grid.model()->index(0, col)).center();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_FALSE(grid.CellChecked(1, grid.ColIndex(kSelectedKey)));

    // The report lists every file in the grid's order.
    const auto csv = h.host.prefix.root() / "levels.csv";
    form.askReportFile = [&] { return csv.string(); };
    form.mnuSaveLevelReport->trigger();
    std::ifstream in(csv);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<size_t>(grid.Rows())) << "a heading and one line per file";
    EXPECT_NE(lines[1].find("quiet.wav"), std::string::npos) << "the quietest first, as sorted";
}

} // namespace
} // namespace levora
