// The job queue: work runs at most `running` at a time, each job on a slot of its own, and the jobs
// are finished strictly in the order they were added, whatever order their work ends in.
#include "leveling/JobQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace levora {
namespace {

TEST(JobQueue, FinishesInOrderWithinItsBounds) {
    struct Case {
        int running, slots;
    };
    for (const Case c : {Case{1, 1}, Case{3, 12}, Case{2, 2}}) {
        std::vector<int> finished;
        std::atomic<int> active{0}, mostActive{0};
        std::mutex heldLock;
        std::set<int> slotsHeld; // from a job's work until it is finished
        bool slotShared = false, slotOutOfRange = false, wrongThread = false;
        const std::thread::id caller = std::this_thread::get_id();
        {
            JobQueue queue(c.running, c.slots);
            for (int i = 0; i < 24; ++i) {
                if (i % 5 == 4) { // an entry without work waits for the ones before it
                    queue.add({}, [&, i](int slot, std::exception_ptr) {
                        EXPECT_EQ(slot, -1);
                        finished.push_back(i);
                    });
                    continue;
                }
                queue.add(
                    [&, i](int slot, const std::function<void()>& release) {
                        {
                            std::lock_guard<std::mutex> lock(heldLock);
                            slotShared = slotShared || !slotsHeld.insert(slot).second;
                            slotOutOfRange = slotOutOfRange || slot < 0 || slot >= c.slots;
                        }
                        mostActive = std::max(mostActive.load(), ++active);
                        // Earlier jobs take longer, so later ones end first.
                        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 == 0 ? 20 : 1));
                        --active;
                        release();
                        if (i == 7)
                            throw std::runtime_error("seven");
                    },
                    [&, i](int slot, std::exception_ptr error) {
                        wrongThread = wrongThread || std::this_thread::get_id() != caller;
                        {
                            std::lock_guard<std::mutex> lock(heldLock);
                            slotsHeld.erase(slot);
                        }
                        EXPECT_EQ(static_cast<bool>(error), i == 7) << i;
                        finished.push_back(i);
                    });
            }
            queue.finishAll();
        }
        std::vector<int> all(24);
        for (int i = 0; i < 24; ++i)
            all[static_cast<size_t>(i)] = i;
        EXPECT_EQ(finished, all) << c.running;
        EXPECT_LE(mostActive.load(), c.running);
        EXPECT_FALSE(slotShared);
        EXPECT_FALSE(slotOutOfRange);
        EXPECT_FALSE(wrongThread);
    }
}

} // namespace
} // namespace levora
