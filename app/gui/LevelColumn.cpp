#include "LevelColumn.h"

#include "app/FileGrid.h"

#include <algorithm>

namespace levora {

namespace {

// Often enough for the column to fill visibly, seldom enough to cost the window nothing.
constexpr int kCollectMs = 100;

} // namespace

LevelColumn::LevelColumn(GridControl& grid, int column, int fileColumn, const MachinePrefix& prefix,
                         std::function<double()> target, std::function<double()> maxChange, TextOf text,
                         QObject* parent)
    : QObject(parent), m_grid(grid), m_col(column), m_fileCol(fileColumn), m_prefix(prefix),
      m_target(std::move(target)), m_maxChange(std::move(maxChange)), m_text(std::move(text)) {
    m_timer.setInterval(kCollectMs);
    connect(&m_timer, &QTimer::timeout, this, &LevelColumn::collect);
}

LevelColumn::~LevelColumn() {
    stop();
}

void LevelColumn::stop() {
    m_timer.stop();
    m_survey.reset();
}

void LevelColumn::measure() {
    m_table.resize(static_cast<std::size_t>(m_grid.gridModel()->keyCount()));
    start(m_table.unknown());
}

void LevelColumn::beginRun() {
    // The run's files change under the meter: measured now, they could show half a run.
    stop();
    const GridModel& model = *m_grid.gridModel();
    const int selected = m_grid.ColIndex(kSelectedKey);
    m_table.resize(static_cast<std::size_t>(model.keyCount()));
    std::vector<int> ticked;
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.check(row, selected) == 1)
            ticked.push_back(model.rowKey(row));
    m_table.beginRun(ticked);
}

void LevelColumn::endRun(std::vector<FileOutcome> files) {
    m_table.endRun(std::move(files));
    measure();
}

void LevelColumn::remeasureAll() {
    stop();
    m_table.forgetAll();
    measure();
}

void LevelColumn::start(std::vector<int> keys) {
    stop();
    const GridModel& model = *m_grid.gridModel();
    // In the grid's order, so the column fills from the top.
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](int k) { return model.rowOfKey(k) < 0; }), keys.end());
    std::sort(keys.begin(), keys.end(), [&](int a, int b) { return model.rowOfKey(a) < model.rowOfKey(b); });
    std::vector<LevelSurvey::Item> items;
    items.reserve(keys.size());
    for (int key : keys)
        items.push_back({key, model.text(model.rowOfKey(key), m_fileCol).toStdString()});
    if (items.empty()) {
        if (onFilled && m_table.complete())
            onFilled();
        return;
    }
    m_survey = std::make_unique<LevelSurvey>(m_prefix, std::move(items));
    m_timer.start();
}

void LevelColumn::collect() {
    if (!m_survey)
        return;
    // Read before taking: a survey finished now has nothing left once this take is done.
    const bool finished = m_survey->finished();
    const double target = m_target();
    const double maxChange = m_maxChange();
    GridModel& model = *m_grid.gridModel();
    for (LevelSurvey::Result& r : m_survey->take()) {
        const int row = model.rowOfKey(r.id);
        if (row >= 0) {
            show(row, r.level);
            model.setMarked(row, m_col, beyondReach(r.level, target, maxChange));
        }
        m_table.set(r.id, std::move(r.level));
    }
    if (finished) {
        stop();
        if (onFilled && m_table.complete())
            onFilled();
    }
}

void LevelColumn::remark() {
    const double target = m_target();
    const double maxChange = m_maxChange();
    GridModel& model = *m_grid.gridModel();
    for (int row = 0; row < model.rowCount(); ++row)
        if (const FileLevel* level = m_table.level(model.rowKey(row)))
            model.setMarked(row, m_col, beyondReach(*level, target, maxChange));
}

void LevelColumn::show(int row, const FileLevel& level) {
    GridModel& model = *m_grid.gridModel();
    model.setText(row, m_col, QString::fromStdString(levelCellText(level, m_text)));
    const std::string winPath = model.text(row, m_fileCol).toStdString();
    model.setToolTip(row, m_col, QString::fromStdString(levelCellTip(level, winPath, m_text)));
}

void LevelColumn::retranslate() {
    const GridModel& model = *m_grid.gridModel();
    for (int row = 0; row < model.rowCount(); ++row)
        if (const FileLevel* level = m_table.level(model.rowKey(row)))
            show(row, *level);
}

std::vector<bool> LevelColumn::outsideBand(double target, double minimum) const {
    const GridModel& model = *m_grid.gridModel();
    std::vector<bool> out(static_cast<size_t>(model.rowCount()), false);
    for (int row = 0; row < model.rowCount(); ++row)
        if (const FileLevel* level = m_table.level(model.rowKey(row)))
            out[static_cast<size_t>(row)] = outsideTargetBand(*level, target, minimum);
    return out;
}

LevelReport LevelColumn::report(const LevelOptions& shown) const {
    const GridModel& model = *m_grid.gridModel();
    std::vector<LevelTable::Row> rows;
    rows.reserve(static_cast<std::size_t>(model.rowCount()));
    for (int row = 0; row < model.rowCount(); ++row)
        rows.push_back({model.rowKey(row), model.text(row, m_fileCol).toStdString()});
    return m_table.report(rows, shown);
}

} // namespace levora
