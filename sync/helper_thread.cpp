#include "sync/helper_thread.h"

#include <system_error>
#include <utility>

namespace abonex {

std::unique_ptr<HelperThread> HelperThread::startIfPossible() {
    try {
        return std::make_unique<HelperThread>();
    } catch (const std::system_error&) {
        return nullptr;
    }
}

HelperThread::HelperThread() : m_thread([this] { serve(); }) {}

HelperThread::~HelperThread() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void HelperThread::start(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_task = std::move(task);
        m_error = nullptr;
        m_busy = true;
    }
    m_wake.notify_all();
}

std::exception_ptr HelperThread::wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_busy; });
    return m_error;
}

void HelperThread::serve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_task != nullptr; });
        if (m_task == nullptr) return;  // stopping with nothing to do
        std::function<void()> task = std::move(m_task);
        m_task = nullptr;
        lock.unlock();
        std::exception_ptr error;
        try {
            task();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_error = error;
        m_busy = false;
        m_wake.notify_all();
    }
}

bool runInHalves(HelperThread* helper, int count, int grain,
                 const std::function<void(int, int, int)>& work) {
    const bool split = helper != nullptr && count >= 2 * grain;
    const int half = split ? (count / 2 + grain - 1) / grain * grain : count;
    if (split) helper->start([&work, half, count] { work(1, half, count); });
    std::exception_ptr error;
    try {
        work(0, 0, half);
    } catch (...) {
        error = std::current_exception();
    }
    // The helper is done with the items before anything else happens to them.
    const std::exception_ptr helperError = split ? helper->wait() : nullptr;
    if (error) std::rethrow_exception(error);
    if (helperError) std::rethrow_exception(helperError);
    return split;
}

bool HalvesRunner::run(int count, int grain, const std::function<void(int, int, int)>& work) {
    if (!m_helper && !m_refused && count >= 2 * grain) {
        m_helper = HelperThread::startIfPossible();
        m_refused = !m_helper;
    }
    return runInHalves(m_helper.get(), count, grain, work);
}

}  // namespace abonex
