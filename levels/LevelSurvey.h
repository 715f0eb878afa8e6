// Measures many files' levels on background threads, so a window can show them as they come in
// without waiting for any: the owner hands over the list, then collects results on its own thread.
#pragma once

#include "levels/FileLevel.h"
#include "platform/Prefix.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace levora {

class LevelSurvey {
public:
    struct Item {
        int id = 0;       // the caller's key (a grid row's, say)
        std::string path; // a Windows path of the machine
    };
    struct Result {
        int id = 0;
        FileLevel level;
    };

    // Starts at once; threads 0 means one per core. Each thread resolves paths through a namespace
    // of its own, so nothing of the caller's is shared.
    LevelSurvey(const MachinePrefix& prefix, std::vector<Item> items, unsigned threads = 0);
    // Files not yet started are left; the ones being measured are finished first.
    ~LevelSurvey();
    LevelSurvey(const LevelSurvey&) = delete;
    LevelSurvey& operator=(const LevelSurvey&) = delete;

    // The results since the last call, in the order they were measured.
    std::vector<Result> take();
    // Every item measured (its result may still wait to be taken).
    bool finished() const { return m_done.load() == m_items.size(); }
    std::size_t size() const { return m_items.size(); }

private:
    void work();

    const MachinePrefix& m_prefix;
    const std::vector<Item> m_items;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::size_t> m_done{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Result> m_results;
    std::vector<std::thread> m_threads;
};

} // namespace levora
