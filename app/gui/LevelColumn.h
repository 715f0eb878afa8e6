// The level column of myGrid: every listed file's speech level, measured on background threads
// after the window shows and put into the grid as results come in, so neither the start-up nor a
// run waits for it. Levels further from the target than the largest change are marked.
#pragma once

#include "GridControl.h"
#include "RunSummary.h"
#include "levels/LevelSurvey.h"
#include "levels/LevelTable.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace levora {

class LevelColumn : public QObject {
    Q_OBJECT
public:
    // target and maxChange give the option fields' values at the moment they are asked; text the
    // string table's texts in the user's language.
    LevelColumn(GridControl& grid, int column, int fileColumn, const MachinePrefix& prefix,
                std::function<double()> target, std::function<double()> maxChange, TextOf text,
                QObject* parent = nullptr);
    ~LevelColumn() override;

    // Measures the files not measured yet (all, the first time), in the grid's order.
    void measure();
    // A run begins on the ticked files: their levels now are their levels before it.
    void beginRun();
    // After the run (files: what it did to each): the files it had are measured again (and whatever
    // was still missing).
    void endRun(std::vector<FileOutcome> files);
    // Measures every file again (their contents may all have changed, as after a restore).
    void remeasureAll();
    // Marks anew for the current target and largest change.
    void remark();
    // Writes the cells and their tooltips anew in the current language.
    void retranslate();
    // Per data row: its level lies outside the target band (see outsideTargetBand).
    std::vector<bool> outsideBand(double target, double minimum) const;

    // Every file has its level in the grid.
    bool filled() const { return !m_survey && m_table.complete(); }
    // Called once each time the column becomes filled.
    std::function<void()> onFilled;

    // The report of the files as the grid lists them now, with what the last run did to them.
    LevelReport report(const LevelOptions& shown) const;

    // Stops measuring (results not yet shown are dropped); waits for the files being read.
    void stop();

private:
    void start(std::vector<int> keys);
    void collect();
    void show(int row, const FileLevel& level);

    GridControl& m_grid;
    int m_col;
    int m_fileCol;
    const MachinePrefix& m_prefix;
    std::function<double()> m_target;
    std::function<double()> m_maxChange;
    TextOf m_text;
    LevelTable m_table;
    std::unique_ptr<LevelSurvey> m_survey;
    QTimer m_timer;
};

} // namespace levora
