// The levels a window shows, one per file it lists, and what they were when the last run began:
// the level report of the window is made from them.
#pragma once

#include "leveling/FileOutcome.h"
#include "levels/FileLevel.h"
#include "levels/LevelReport.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace levora {

class LevelTable {
public:
    // Keys are 0..keys-1 (the grid's row keys); levels already known are kept.
    void resize(std::size_t keys);
    void set(int key, FileLevel level);
    // Nothing until the file has been measured (again, after a run that had it).
    const FileLevel* level(int key) const;
    // Every file has its level.
    bool complete() const { return m_known == m_levels.size(); }

    // A run begins on these files: their levels now are their levels before it, and they count as
    // unmeasured until they are measured again. Files of an earlier run in this session are forgotten.
    void beginRun(const std::vector<int>& keys);
    // What the run did to each file it had.
    void endRun(std::vector<FileOutcome> files) { m_run = std::move(files); }
    // Every level is unknown again (the files may all have changed); before-run levels are kept.
    void forgetAll();
    // Keys whose level is not known, in key order.
    std::vector<int> unknown() const;

    struct Row {
        int key = 0;
        std::string path; // as the grid shows it
    };
    // One row per listed file, in the order given. Files of the last run are classified by what it
    // did to them and their level now; the others are left alone at their level.
    LevelReport report(const std::vector<Row>& rows, const LevelOptions& shown) const;

private:
    std::vector<std::optional<FileLevel>> m_levels;
    std::vector<std::optional<FileLevel>> m_before; // set for the files of the last run
    std::size_t m_known = 0;
    std::vector<FileOutcome> m_run;
};

} // namespace levora
