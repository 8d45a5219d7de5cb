// ApplyRun: one apply of chosen differences at a time, run without blocking the thread that owns
// it (the synchronisation window's thread, or a benchmark's).
//
// A run works through DifferenceApply in steps of kStepMilliseconds, each started by a zero timer
// from the owner's event loop, so the owner goes on handling its events throughout: it reads the
// changed table once, then applies the chosen entries one by one. Every step ends with
// progressed(); the end is finished() with what was done, or failed() with the engine error that
// ended it at an entry (the entries before it stay applied; counts() says what was done).
//
// Invariants: running() from start() to finished() or failed(); the data set is used by the run
// only within its steps.
//
// REQUIRES of the owner: the data set is open on the table to change (openChangeTable) and
// neither moved nor closed while running(); `entries` stays as it is until the run ends; the run
// is not deleted from a slot connected to its own signals.
#pragma once

#include <QObject>
#include <QTimer>
#include <exception>
#include <memory>
#include <vector>

#include "sync/difference.h"
#include "sync/difference_apply.h"

namespace abonex {

class TEngineDataSet;

class ApplyRun : public QObject {
    Q_OBJECT
  public:
    // How long one step works before the owner handles its events again.
    static constexpr int kStepMilliseconds = 10;

    explicit ApplyRun(QObject* parent = nullptr);
    ~ApplyRun() override;
    ApplyRun(const ApplyRun&) = delete;
    ApplyRun& operator=(const ApplyRun&) = delete;

    // Starts applying the entries whose `chosen` flag is set to `change`. Returns at once.
    void start(TEngineDataSet& change, SyncDirection direction, ChangeSide side,
               const std::vector<DifferenceEntry>& entries, std::vector<bool> chosen);

    bool running() const { return m_running; }
    // What has been done so far (and, after the end, in all).
    ApplyCounts counts() const;
    int done() const;
    int total() const;

  signals:
    // A step has ended: `done` of `total` units of work (records read, entries applied).
    void progressed(int done, int total);
    // Every chosen entry is applied or skipped.
    void finished();
    // The run ended at an engine error.
    void failed(std::exception_ptr error);

  private:
    void step();

    std::unique_ptr<DifferenceApply> m_apply;
    std::vector<bool> m_chosen;
    bool m_running = false;
    QTimer m_stepTimer;
};

}  // namespace abonex
