// EventLatency: how long events wait before the window's thread handles them, for the dial
// commands' test and benchmark.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace abonex::bench {

// Measures how long events wait before the window's thread handles them. A thread posts a
// stamped event every few milliseconds; the receiver notes each one's wait. A second thread
// that only sleeps notes when it woke late itself: then the whole machine was held up (other
// programs, a loaded processor), not the window's thread, and waits at that time tell nothing
// about the program.
class EventLatency : public QObject {
  public:
    using Clock = std::chrono::steady_clock;
    struct Late {
        Clock::time_point posted;
        Clock::time_point handled;
    };

    EventLatency() {
        m_poster = std::thread([this] {
            while (!m_stop) {
                QCoreApplication::postEvent(this, new Stamped(Clock::now()));
                std::this_thread::sleep_for(kInterval);
            }
        });
        m_reference = std::thread([this] {
            while (!m_stop) {
                const Clock::time_point before = Clock::now();
                std::this_thread::sleep_for(kInterval);
                const Clock::time_point after = Clock::now();
                if (after - before > kInterval + kMachineStall) {
                    std::lock_guard lock(m_mutex);
                    m_stalls.push_back({before, after});
                }
            }
        });
    }
    ~EventLatency() override { stop(); }

    void stop() {
        m_stop = true;
        if (m_poster.joinable()) m_poster.join();
        if (m_reference.joinable()) m_reference.join();
        QCoreApplication::removePostedEvents(this);
    }
    int handled() const { return m_handled; }
    Clock::duration longest() const { return m_longest; }
    // Events that waited longer than `bound` while the machine itself was not held up.
    std::vector<Late> lateBeyond(Clock::duration bound) const {
        std::lock_guard lock(m_mutex);
        std::vector<Late> result;
        for (const Late& late : m_late) {
            if (late.handled - late.posted <= bound) continue;
            const bool machineStalled =
                std::any_of(m_stalls.begin(), m_stalls.end(), [&](const Late& stall) {
                    return stall.posted < late.handled && late.posted < stall.handled;
                });
            if (!machineStalled) result.push_back(late);
        }
        return result;
    }

  protected:
    bool event(QEvent* e) override {
        if (e->type() != kStampedType) return QObject::event(e);
        const Clock::time_point now = Clock::now();
        const Clock::time_point posted = static_cast<Stamped*>(e)->posted;
        ++m_handled;
        m_longest = std::max(m_longest, now - posted);
        if (now - posted > kNoted) {
            std::lock_guard lock(m_mutex);
            m_late.push_back({posted, now});
        }
        return true;
    }

  private:
    static constexpr QEvent::Type kStampedType = static_cast<QEvent::Type>(QEvent::User + 13);
    static constexpr auto kInterval = std::chrono::milliseconds(5);
    static constexpr auto kMachineStall = std::chrono::milliseconds(15);
    static constexpr auto kNoted = std::chrono::milliseconds(20);
    struct Stamped : QEvent {
        explicit Stamped(Clock::time_point at) : QEvent(kStampedType), posted(at) {}
        Clock::time_point posted;
    };

    std::atomic<bool> m_stop{false};
    std::thread m_poster;
    std::thread m_reference;
    mutable std::mutex m_mutex;
    std::vector<Late> m_late;
    std::vector<Late> m_stalls;
    int m_handled = 0;
    Clock::duration m_longest{};
};

}  // namespace abonex::bench
