// The level column of the file list: filled in the background once the window shows, with the
// meter's own reading of each file, sorted by value and marked where a run cannot reach the target.
#include "../levels/LevelsFixture.h"
#include "MainHarness.h"
#include "leveling/LevelingRun.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

namespace levora {
namespace {

using test::MainHarness;

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

// Fills the column and waits until it is filled.
bool fill(frmMain& form) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return false;
    QElapsedTimer bound;
    bound.start();
    while (!form.mnuSaveLevelReport->isEnabled() && bound.elapsed() < 60000)
        QTest::qWait(20);
    return form.mnuSaveLevelReport->isEnabled();
}

TEST(LevelColumnTest, CellsAndTooltipsAreInTheUsersLanguageAndNameTheWindowsPath) {
    test::MainHarness h;
    const auto program = h.host.ns.toHost(h.host.app.programFolder);
    for (const char* code : {"DEU", "FRA", "JPN"}) {
        const auto dll = test::binDir() / (std::string("Levora_") + code + ".dll");
        if (!std::filesystem::exists(dll))
            GTEST_SKIP() << "no language libraries were built";
        std::filesystem::copy_file(dll, program / dll.filename());
    }
    const std::string stream = "C:\\Talvio\\Stream Files\\";
    test::writeWav(h.host.ns.toHost(stream + "speech.wav"), SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1,
                   test::speechLike(2.0, 8000, 0.3, 5));
    test::writeWav(h.host.ns.toHost(stream + "quiet.wav"), SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1,
                   std::vector<double>(8000, 0.0));
    std::ofstream(h.host.ns.toHost(stream + "broken.wav")) << "not a recording";
    ASSERT_EQ(h.load(), LoadResult::Ready);
    frmMain& form = *h.form;
    ASSERT_TRUE(fill(form));
    GridControl& grid = *form.myGrid;
    const int col = grid.ColIndex(kLevelKey);
    const std::string hostRoot = h.host.prefix.root().string();

    for (int32_t language : {1031, 1036, 1041}) {
        SCOPED_TRACE(language);
        h.localize.CurrentLanguageID = language;
        h.localize.InitalizeLanguages();
        form.frmMain_Auto_Init();
        ASSERT_NE(h.localize.mymyLoadString(61), MainHarness::str(61)) << "the language's library is loaded";
        std::set<std::string> kinds;
        for (int r = 1; r < grid.Rows(); ++r) {
            const std::string cell = grid.TextMatrix(r, col);
            const std::string tip = grid.model()->index(r - 1, col).data(Qt::ToolTipRole).toString().toStdString();
            SCOPED_TRACE(cell + " | " + tip);
            for (const char* english : {"silent", "Active speech", "not a readable", "Not a recording"}) {
                EXPECT_EQ(cell.find(english), std::string::npos);
                EXPECT_EQ(tip.find(english), std::string::npos);
            }
            EXPECT_EQ(tip.find(hostRoot), std::string::npos) << "no host path";
            if (cell == "-") {
                kinds.insert("not audio");
                EXPECT_NE(tip.find(grid.TextMatrix(r, grid.ColIndex(kFileNameKey))), std::string::npos);
            } else if (cell == h.localize.mymyLoadString(61)) {
                kinds.insert("silent");
            } else {
                kinds.insert("level");
            }
        }
        EXPECT_EQ(kinds.size(), 3u);
    }
}

TEST(LevelColumnTest, TheOutOfBandCommandTicksOnlyTheLevelsARunShouldChange) {
    test::MainHarness h;
    std::uint32_t seed = 3;
    for (auto [name, peak] : {std::pair{"loud.wav", 0.9}, {"faint.wav", 0.002}, {"fine.wav", 0.15}}) {
        const auto file = h.host.ns.toHost(std::string("C:\\Talvio\\Stream Files\\") + name);
        test::writeWav(file, SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, test::speechLike(2.0, 8000, peak, seed++));
    }
    ASSERT_EQ(h.load(), LoadResult::Ready);
    frmMain& form = *h.form;
    EXPECT_FALSE(form.mnuSelectOutOfBand->isEnabled());
    ASSERT_TRUE(fill(form));
    EXPECT_TRUE(form.mnuSelectOutOfBand->isEnabled());
    GridControl& grid = *form.myGrid;
    // The target where the fine recording already is: only the loud one lies outside the band; the faint
    // one is below the minimum threshold, which the tool leaves alone.
    const int fineRow = [&] {
        for (int r = 1; r < grid.Rows(); ++r)
            if (grid.TextMatrix(r, grid.ColIndex(kFileNameKey)).ends_with("fine.wav"))
                return r;
        return -1;
    }();
    ASSERT_GT(fineRow, 0);
    const double fine = std::stod(grid.TextMatrix(fineRow, grid.ColIndex(kLevelKey)));
    const QString target = QString::number(std::lround(fine));
    const int entry = form.cmbTargetDB->findText(target, Qt::MatchContains);
    ASSERT_GE(entry, 0) << target.toStdString();
    form.cmbTargetDB->setCurrentIndex(entry);
    form.cmdSelectAll->click();
    form.mnuSelectOutOfBand->trigger();
    for (int r = 1; r < grid.Rows(); ++r) {
        const std::string name = grid.TextMatrix(r, grid.ColIndex(kFileNameKey));
        EXPECT_EQ(grid.CellChecked(r, grid.ColIndex(kSelectedKey)), name.ends_with("loud.wav")) << name;
    }

    // Saved before any run, the report says what a run would do to the ticked file.
    const auto csv = h.host.prefix.root() / "plan.csv";
    form.askReportFile = [&] { return csv.string(); };
    form.mnuSaveLevelReport->trigger();
    std::ifstream in(csv);
    int planned = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find(".wav") == std::string::npos)
            continue;
        const bool loud = line.find("loud.wav") != std::string::npos;
        EXPECT_EQ(line.find("not levelled") == std::string::npos, loud) << line;
        planned += loud && line.find("moved by the largest change") != std::string::npos;
    }
    EXPECT_EQ(planned, 1);
}

} // namespace
} // namespace levora
