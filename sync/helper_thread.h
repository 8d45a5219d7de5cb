// HelperThread: a second thread for work that a caller splits in two, runs one half of itself
// and waits for the other: one task at a time, handed over and waited for by one owner thread.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace abonex {

class HelperThread {
  public:
    // A helper thread, or none when the system refuses another thread: then the work is done
    // on the calling thread alone (runInHalves with no helper).
    static std::unique_ptr<HelperThread> startIfPossible();

    HelperThread();
    // Waits for the task running, if any, and ends the thread.
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Starts `task` on the helper thread; wait() must follow before the next start().
    void start(std::function<void()> task);
    // Waits for the task started last; what it raised, or null.
    std::exception_ptr wait();

  private:
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_task;
    std::exception_ptr m_error;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;  // last: started once the members it uses are made
};

// Runs work(part, begin, end) over the items 0 .. count - 1: when `helper` is given and there
// are at least two grains of items, in two halves of whole grains at once, part 0 on the calling
// thread and part 1 on the helper; else all of them as part 0 on the calling thread. True when
// it was split. Returns once both halves ended; then raises what the first half raised, else
// what the second did.
bool runInHalves(HelperThread* helper, int count, int grain,
                 const std::function<void(int, int, int)>& work);

// runInHalves with a helper thread started the first time there are items enough for two
// halves, and kept for the runs after it. Where the system refuses the thread, every run is
// done on the calling thread and the thread is not asked for again.
class HalvesRunner {
  public:
    bool run(int count, int grain, const std::function<void(int, int, int)>& work);
    // Ends the helper thread, if one runs; a later run may start another.
    void stop() { m_helper.reset(); }
    bool hasHelper() const { return m_helper != nullptr; }

  private:
    std::unique_ptr<HelperThread> m_helper;
    bool m_refused = false;
};

}  // namespace abonex
