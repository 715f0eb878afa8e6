// Runs jobs on threads of their own and finishes them strictly in the order they were added.
//
// Each job holds one of `slots` slot numbers (0..slots-1, its scratch file, say) from add() until it
// is finished; at most `running` jobs do their work at once. A job's work runs on a thread of its
// own when running > 1, else on the caller's thread when the job is finished. finish callbacks run
// only on the caller's thread, oldest first, so what they write comes out in the order of add().
// An entry without work (a row with nothing to do) is finished as soon as everything before it is.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <semaphore>
#include <vector>

namespace levora {

class JobQueue {
public:
    // release: lets the next job start its work (call it when the costly part has ended); it is
    // called for you when the work returns.
    using Work = std::function<void(int slot, const std::function<void()>& release)>;
    // slot: the job's slot (-1 for an entry without work); error: what the work threw, or null.
    using Finish = std::function<void(int slot, std::exception_ptr error)>;

    JobQueue(int running, int slots);
    ~JobQueue(); // waits for the work still running; its finish callbacks are not called
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Adds a job, or with empty work an entry that only waits for its turn. Before it returns, the
    // oldest entries are finished while they have no work or every slot is taken.
    void add(Work work, Finish finish);
    // Finishes everything added.
    void finishAll();

    int slots() const { return static_cast<int>(m_slotBusy.size()); }
    int unfinished() const { return static_cast<int>(m_pending.size()); }

private:
    struct Entry {
        int slot = -1; // -1: no work
        std::future<void> done;
        Finish finish;
    };
    void finishOldest();

    int m_running;
    std::counting_semaphore<> m_gate; // before m_pending: running work holds it until it is waited for
    std::vector<bool> m_slotBusy;
    std::deque<Entry> m_pending;
    int m_busy = 0;
};

} // namespace levora
