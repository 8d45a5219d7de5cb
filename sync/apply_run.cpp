#include "sync/apply_run.h"

#include <chrono>
#include <utility>

namespace abonex {

ApplyRun::ApplyRun(QObject* parent) : QObject(parent) {
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &ApplyRun::step);
}

ApplyRun::~ApplyRun() = default;

void ApplyRun::start(TEngineDataSet& change, SyncDirection direction, ChangeSide side,
                     const std::vector<DifferenceEntry>& entries, std::vector<bool> chosen) {
    m_chosen = std::move(chosen);
    m_apply = std::make_unique<DifferenceApply>(change, direction, side);
    m_running = true;
    try {
        m_apply->begin(entries, m_chosen);
    } catch (...) {
        m_running = false;
        emit failed(std::current_exception());
        return;
    }
    m_stepTimer.start();
}

ApplyCounts ApplyRun::counts() const {
    return m_apply ? m_apply->counts() : ApplyCounts{};
}

int ApplyRun::done() const {
    return m_apply ? m_apply->done() : 0;
}

int ApplyRun::total() const {
    return m_apply ? m_apply->total() : 0;
}

void ApplyRun::step() {
    if (!m_running) return;
    bool more = false;
    try {
        more = m_apply->step(DifferenceApply::Clock::now() +
                             std::chrono::milliseconds(kStepMilliseconds));
    } catch (...) {
        m_running = false;
        emit progressed(done(), total());
        emit failed(std::current_exception());
        return;
    }
    emit progressed(done(), total());
    if (more) {
        m_stepTimer.start();
        return;
    }
    m_running = false;
    emit finished();
}

}  // namespace abonex
