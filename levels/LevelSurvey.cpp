#include "levels/LevelSurvey.h"

#include "platform/WinPath.h"

#include <algorithm>

namespace levora {

LevelSurvey::LevelSurvey(const MachinePrefix& prefix, std::vector<Item> items, unsigned threads)
    : m_prefix(prefix), m_items(std::move(items)) {
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, m_items.size()));
    m_threads.reserve(threads);
    for (unsigned t = 0; t < threads; ++t)
        m_threads.emplace_back([this] { work(); });
}

LevelSurvey::~LevelSurvey() {
    m_stop = true;
    for (std::thread& t : m_threads)
        t.join();
}

void LevelSurvey::work() {
    PathNamespace ns(m_prefix);
    for (;;) {
        const std::size_t i = m_stop ? m_items.size() : m_next.fetch_add(1);
        if (i >= m_items.size())
            break;
        Result r;
        r.id = m_items[i].id;
        try {
            r.level = measureFileLevel(ns.toHost(m_items[i].path));
        } catch (const std::exception& e) { // a path that names no file of the machine
            r.level.problem = e.what();
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_results.push_back(std::move(r));
        }
        ++m_done;
    }
}

std::vector<LevelSurvey::Result> LevelSurvey::take() {
    std::vector<Result> out;
    const std::lock_guard<std::mutex> lock(m_mutex);
    out.swap(m_results);
    return out;
}

} // namespace levora
