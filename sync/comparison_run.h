// ComparisonRun: one comparison of a source table with a target table at a time, run without
// blocking the thread that owns it (a window's thread, or a benchmark's).
//
// A run first rebuilds both tables' index files from their tables on worker threads (the two at
// once, or one after the other when both data sets are one file), then compares the tables with
// TableComparison in steps of kStepMilliseconds, each started by a zero timer from the owner's
// event loop, so the owner goes on handling its events throughout. rebuilt() says that the
// comparison begins; every step ends with progressed(); the end of the comparison is finished(),
// after which entries() holds its whole result until the next start().
//
// stop() ends the run at once and without a result. A rebuild cannot be cut short without
// damaging its index file: one under way finishes on its worker, one not begun yet is skipped.
// A start() made meanwhile waits for it on the worker thread, never on the owner's; busy() stays
// true until it has finished.
//
// An engine error in a rebuild or a step ends the run without a result and reaches the owner as
// failed(), with the error.
//
// Invariants: the data sets of a run are used by its rebuild workers only until rebuilt() and by
// the owner's thread only after it; running() is true from start() to finished(), failed() or
// stop(); complete() is true from finished() to the next start().
//
// REQUIRES of the owner: the two data sets are distinct, open, and are neither moved nor closed
// by anyone else while busy() (waitForRebuild() ends that wait, the destructor stops and waits);
// the run is not deleted from a slot connected to its own signals.
#pragma once

#include <QFuture>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "sync/difference.h"

namespace abonex {

class TEngineDataSet;
class TableComparison;

class ComparisonRun : public QObject {
    Q_OBJECT
  public:
    // How long one step of the comparison works before the owner handles its events again.
    static constexpr int kStepMilliseconds = 10;

    explicit ComparisonRun(QObject* parent = nullptr);
    // Stops a run and waits for its rebuild.
    ~ComparisonRun() override;
    ComparisonRun(const ComparisonRun&) = delete;
    ComparisonRun& operator=(const ComparisonRun&) = delete;

    // Starts a run that looks every record of `source` up in `target`. A run still going is
    // stopped first. Returns at once: the rebuilds start on the workers (after any rebuild of a
    // stopped run has finished there).
    void start(TEngineDataSet& source, TEngineDataSet& target);
    // Ends the running run at once, without a result; nothing when none runs.
    void stop();
    // For a run about to be stopped: entries() holds every difference found so far, in source
    // order, until stop(). Nothing when no comparison is under way.
    void keepFoundSoFar();
    // Blocks until no rebuild is at work. The owner calls it before it closes or moves the data
    // sets of a stopped run.
    void waitForRebuild();

    bool running() const { return m_phase != Phase::Idle; }
    // True while a run goes on or a rebuild it started has not finished yet.
    bool busy() const;
    // The last run ended with finished(): entries() is its whole result.
    bool complete() const { return m_complete; }

    // From rebuilt() on, for the running or the complete run; zero, "" and nothing otherwise.
    // The source's record count (deleted records included): the most visited() reaches.
    int total() const;
    // Source records looked up so far.
    int visited() const;
    // The name of the last source record looked up.
    const std::string& currentName() const;
    // Differences found so far.
    int found() const;
    // One entry per differing source record, in source order (see TableComparison::entries).
    const std::vector<DifferenceEntry>& entries() const;

  signals:
    // Both index files are rebuilt; the comparison of `total` source records begins.
    void rebuilt(int total);
    // A step of the comparison has ended; `visited` source records are looked up.
    void progressed(int visited);
    // The comparison is done; entries() holds its result.
    void finished();
    // The run ended at an error of a rebuild or of a step.
    void failed(std::exception_ptr error);

  private:
    enum class Phase { Idle, Rebuilding, Comparing };

    void startRebuild(int run, bool oneFile);
    void rebuildFinished(int run, std::exception_ptr error);
    void step();
    void end();

    Phase m_phase = Phase::Idle;
    bool m_complete = false;
    TEngineDataSet* m_source = nullptr;
    TEngineDataSet* m_target = nullptr;
    // `m_run` numbers the runs, so that the end of a stopped run's rebuild is not taken for the
    // current run's; `m_activeRun` is the run whose rebuilds may still begin (0: none).
    int m_run = 0;
    std::atomic<int> m_activeRun{0};
    QThreadPool m_pool;
    QFuture<void> m_rebuild;
    std::unique_ptr<TableComparison> m_comparison;
    QTimer m_stepTimer;
};

}  // namespace abonex
