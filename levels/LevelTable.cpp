#include "levels/LevelTable.h"

#include "levels/RowOutcome.h"

#include <map>

namespace levora {

void LevelTable::resize(std::size_t keys) {
    m_levels.resize(keys);
    m_before.resize(keys);
    m_known = 0;
    for (const auto& l : m_levels)
        m_known += l ? 1 : 0;
}

void LevelTable::set(int key, FileLevel level) {
    const auto k = static_cast<std::size_t>(key);
    if (key < 0 || k >= m_levels.size())
        return;
    if (!m_levels[k])
        ++m_known;
    m_levels[k] = std::move(level);
}

const FileLevel* LevelTable::level(int key) const {
    const auto k = static_cast<std::size_t>(key);
    return key >= 0 && k < m_levels.size() && m_levels[k] ? &*m_levels[k] : nullptr;
}

void LevelTable::beginRun(const std::vector<int>& keys) {
    m_run.clear();
    for (auto& b : m_before)
        b.reset();
    for (int key : keys) {
        const auto k = static_cast<std::size_t>(key);
        if (key < 0 || k >= m_levels.size())
            continue;
        m_before[k] = m_levels[k] ? *m_levels[k] : FileLevel{};
        if (m_levels[k]) {
            m_levels[k].reset();
            --m_known;
        }
    }
}

void LevelTable::forgetAll() {
    for (auto& l : m_levels)
        l.reset();
    m_known = 0;
}

std::vector<int> LevelTable::unknown() const {
    std::vector<int> keys;
    for (std::size_t k = 0; k < m_levels.size(); ++k)
        if (!m_levels[k])
            keys.push_back(static_cast<int>(k));
    return keys;
}

LevelReport LevelTable::report(const std::vector<Row>& rows, const LevelOptions& shown) const {
    std::map<std::string, const FileOutcome*> done;
    for (const FileOutcome& f : m_run)
        done[f.path] = &f;
    LevelReport report;
    report.options = shown;
    for (const Row& r : rows) {
        ReportRow row;
        row.path = r.path;
        row.options = shown;
        const FileLevel* now = level(r.key);
        row.after = now ? *now : FileLevel{};
        const auto k = static_cast<std::size_t>(r.key);
        const bool inRun = r.key >= 0 && k < m_before.size() && m_before[k];
        row.before = inRun ? *m_before[k] : row.after;
        const auto it = inRun ? done.find(r.path) : done.end();
        classifyRow(row, it == done.end() ? nullptr : it->second);
        report.rows.push_back(std::move(row));
    }
    return report;
}

} // namespace levora
