#include "leveling/JobQueue.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace levora {

namespace {

constexpr std::ptrdiff_t kMaxRunning = 1024;

} // namespace

JobQueue::JobQueue(int running, int slots)
    : m_running(std::clamp(running, 1, static_cast<int>(kMaxRunning))), m_gate(m_running),
      m_slotBusy(static_cast<size_t>(std::max(slots, 1)), false) {}

JobQueue::~JobQueue() {
    for (Entry& e : m_pending)
        if (e.done.valid() && e.done.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
            e.done.wait();
}

void JobQueue::add(Work work, Finish finish) {
    Entry& entry = m_pending.emplace_back();
    entry.finish = std::move(finish);
    if (work) {
        entry.slot = static_cast<int>(std::find(m_slotBusy.begin(), m_slotBusy.end(), false) - m_slotBusy.begin());
        auto run = [this, work = std::move(work), slot = entry.slot] {
            m_gate.acquire();
            bool released = false;
            const std::function<void()> release = [&] {
                if (!std::exchange(released, true))
                    m_gate.release();
            };
            try {
                work(slot, release);
            } catch (...) {
                release();
                throw;
            }
            release();
        };
        try {
            entry.done = std::async(m_running > 1 ? std::launch::async : std::launch::deferred, std::move(run));
        } catch (const std::system_error&) {
            entry.done = std::async(std::launch::deferred, std::move(run)); // no thread to spare: here, later
        }
        m_slotBusy[static_cast<size_t>(entry.slot)] = true;
        ++m_busy;
    }
    while (!m_pending.empty() && (m_pending.front().slot < 0 || m_busy == slots()))
        finishOldest();
}

void JobQueue::finishAll() {
    while (!m_pending.empty())
        finishOldest();
}

void JobQueue::finishOldest() {
    Entry entry = std::move(m_pending.front());
    m_pending.pop_front();
    std::exception_ptr error;
    if (entry.slot >= 0) {
        try {
            entry.done.get();
        } catch (...) {
            error = std::current_exception();
        }
        m_slotBusy[static_cast<size_t>(entry.slot)] = false;
        --m_busy;
    }
    if (entry.finish)
        entry.finish(entry.slot, error);
}

} // namespace levora
