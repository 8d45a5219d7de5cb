#include "sync/comparison_run.h"

#include <QtConcurrent/QtConcurrentRun>
#include <chrono>
#include <filesystem>

#include "engine/dataset/engine_dataset.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"

namespace abonex {

namespace {

const std::vector<DifferenceEntry> kNoEntries;
const std::string kNoName;

}  // namespace

ComparisonRun::ComparisonRun(QObject* parent) : QObject(parent) {
    // A run's two rebuilds, and those of stopped runs that may still be finishing or waiting.
    m_pool.setMaxThreadCount(4);
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &ComparisonRun::step);
}

ComparisonRun::~ComparisonRun() {
    end();
    waitForRebuild();
    m_pool.waitForDone();
}

bool ComparisonRun::busy() const {
    return running() || m_rebuild.isRunning();
}

int ComparisonRun::total() const {
    return m_comparison ? m_comparison->recordCount() : 0;
}

int ComparisonRun::visited() const {
    return m_comparison ? m_comparison->visited() : 0;
}

const std::string& ComparisonRun::currentName() const {
    return m_comparison ? m_comparison->currentName() : kNoName;
}

int ComparisonRun::found() const {
    return m_comparison ? m_comparison->found() : 0;
}

const std::vector<DifferenceEntry>& ComparisonRun::entries() const {
    return m_comparison ? m_comparison->entries() : kNoEntries;
}

void ComparisonRun::start(TEngineDataSet& source, TEngineDataSet& target) {
    end();
    m_source = &source;
    m_target = &target;
    m_phase = Phase::Rebuilding;
    const int run = ++m_run;
    m_activeRun = run;
    std::error_code ignored;
    startRebuild(run, std::filesystem::equivalent(source.tablePath(), target.tablePath(), ignored));
}

void ComparisonRun::stop() {
    end();
}

void ComparisonRun::keepFoundSoFar() {
    if (m_phase != Phase::Comparing) return;
    m_stepTimer.stop();  // no step follows
    m_comparison->keepFoundSoFar();
}

void ComparisonRun::end() {
    m_activeRun = 0;
    m_stepTimer.stop();
    m_comparison.reset();
    m_complete = false;
    m_phase = Phase::Idle;
}

void ComparisonRun::waitForRebuild() {
    m_rebuild.waitForFinished();
}

void ComparisonRun::startRebuild(int run, bool oneFile) {
    // The rebuild of a run stopped earlier may still be at work on these data sets: this one
    // waits for it on the worker thread, so the owner's event loop never does.
    QFuture<void> previous = m_rebuild;
    TEngineDataSet* source = m_source;
    TEngineDataSet* target = m_target;
    m_rebuild =
        QtConcurrent::run(&m_pool, [this, run, previous, oneFile, source, target]() mutable {
            previous.waitForFinished();
            const auto rebuild = [this, run](TEngineDataSet& dataSet) -> std::exception_ptr {
                if (m_activeRun != run) return nullptr;  // stopped meanwhile
                try {
                    reindexSyncTable(dataSet);
                } catch (...) {
                    return std::current_exception();
                }
                return nullptr;
            };
            std::exception_ptr error;
            if (oneFile) {
                // Two rebuilds of one index file must not overlap.
                error = rebuild(*source);
                if (!error) error = rebuild(*target);
            } else {
                QFuture<std::exception_ptr> targetDone =
                    QtConcurrent::run(&m_pool, [&rebuild, target] { return rebuild(*target); });
                error = rebuild(*source);
                const std::exception_ptr targetError = targetDone.result();
                if (!error) error = targetError;
            }
            // Delivered on the owner's thread; dropped if the run is gone by then.
            QMetaObject::invokeMethod(
                this, [this, run, error] { rebuildFinished(run, error); }, Qt::QueuedConnection);
        });
}

void ComparisonRun::rebuildFinished(int run, std::exception_ptr error) {
    if (run != m_run || m_phase != Phase::Rebuilding) return;  // a stopped run's rebuild
    if (error) {
        end();
        emit failed(error);
        return;
    }
    m_comparison = std::make_unique<TableComparison>(*m_source, *m_target);
    m_phase = Phase::Comparing;
    m_stepTimer.start();
    emit rebuilt(m_comparison->recordCount());
}

void ComparisonRun::step() {
    if (m_phase != Phase::Comparing) return;
    const int run = m_run;
    bool more = false;
    try {
        more = m_comparison->step(TableComparison::Clock::now() +
                                  std::chrono::milliseconds(kStepMilliseconds));
    } catch (...) {
        end();
        emit failed(std::current_exception());
        return;
    }
    emit progressed(m_comparison->visited());
    // A slot of progressed() may have stopped this run, and started another.
    if (run != m_run || m_phase != Phase::Comparing) return;
    if (more) {
        m_stepTimer.start();
        return;
    }
    m_phase = Phase::Idle;
    m_complete = true;
    emit finished();
}

}  // namespace abonex
