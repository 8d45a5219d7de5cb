// The comparison run on an event loop, without a window: its result and progress, stops during
// the rebuilds and during the comparison, a start after a stop, a rebuild that fails, and the
// index files every ending leaves.
#include "sync/comparison_run.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>

#include "bench/sync_copies.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/index_check.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "tests/support/test_support.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

using namespace std::chrono_literals;

// Lock waits of the engine long enough that a held lock, not the clock, ends them.
constexpr LockWait kLongLockWait{1200, 50};

// The event loop the runs need; made once, for every test of the program.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "comparison_run_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

// Handles events (waiting for them, woken every few milliseconds) until `done` holds; false
// when `limit` passes first.
bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limit.count()) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runEventsFor(std::chrono::milliseconds span) {
    QElapsedTimer elapsed;
    elapsed.start();
    runEventsUntil([&] { return elapsed.elapsed() >= span.count(); });
}

// What a run said, in order; `onProgress` may act inside the signal, as a window's slot does.
struct RunLog {
    explicit RunLog(ComparisonRun& run) {
        QObject::connect(&run, &ComparisonRun::rebuilt,
                         [this](int total) { totals.push_back(total); });
        QObject::connect(&run, &ComparisonRun::progressed, [this](int visited) {
            steps.push_back(visited);
            if (onProgress) onProgress(visited);
        });
        QObject::connect(&run, &ComparisonRun::finished, [this] { ++finished; });
        QObject::connect(&run, &ComparisonRun::failed, [this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                failures.push_back(e.what());
            }
        });
    }
    bool ended() const { return finished > 0 || !failures.empty(); }
    void clear() {
        totals.clear();
        steps.clear();
        finished = 0;
        failures.clear();
    }

    std::vector<int> totals;
    std::vector<int> steps;
    int finished = 0;
    std::vector<std::string> failures;
    std::function<void(int)> onProgress;
};

// Holds the index-file lock of `protocol` on the index file `path`, as another copy of the
// program does while it writes, until release() or its end.
class HeldIndexLock {
  public:
    HeldIndexLock(const std::string& path, TgsLokProtocol protocol) : m_file(path, true, true) {
        EXPECT_TRUE(m_file.lockWaiting(indexFileLockRegion(protocol)));
    }
    void release() { m_file.unlock(); }

  private:
    GSO_DiskFile m_file;
};

// An import: the external copy is the source, the own table the target. The data sets are
// declared before the run, so the run stops and waits for its rebuild before they close.
class ComparisonRunTest : public ::testing::Test, protected test::TwoFolders {
  protected:
    void SetUp() override { ensureApplication(); }

    // Two generated persons tables of `records` rows, the external one differing in 5 % of
    // them (every kind of difference).
    void writePersons(int records) {
        bench::writeSyncCopies(std::filesystem::path(own()).parent_path().string(), records);
        m_fileName = "Phone.DBF";
    }
    // Two organisations tables (locked by DB4Lock) of `records` rows; every external row has
    // another first phone.
    void writeOrganisations(int records) {
        std::vector<DirectoryRow> ownRows;
        std::vector<DirectoryRow> externalRows;
        for (int i = 0; i < records; ++i) {
            const std::string name = "Организация " + std::to_string(i);
            ownRows.push_back({name, "1-11-11", "", ""});
            externalRows.push_back({name, "2-22-22", "", ""});
        }
        m_fileName = "Org.dbf";
        test::writeSyncTable(own(), m_fileName, DirectoryMode::Organisations, ownRows);
        test::writeSyncTable(external(), m_fileName, DirectoryMode::Organisations, externalRows);
    }
    void open() {
        openSyncTable(m_target, own(), m_fileName);
        openSyncTable(m_source, external(), m_fileName);
    }
    std::string indexPath(const std::string& dir) const {
        return dir + "/" + std::filesystem::path(m_fileName).stem().string() + ".MDX";
    }

    // The comparison made directly on data sets of their own, to the end.
    std::vector<DifferenceEntry> directResult() {
        TEngineDataSet source;
        TEngineDataSet target;
        openSyncTable(target, own(), m_fileName);
        openSyncTable(source, external(), m_fileName);
        TableComparison comparison(source, target);
        comparison.run();
        return comparison.entries();
    }

    // Both index files pass the integrity check against their tables.
    void expectIndexFilesWhole() {
        for (const std::string& dir : {own(), external()}) {
            GSO_dBaseFld table(dir + "/" + m_fileName, true, false);
            const IndexCheckReport report = checkIndexFile(table, indexPath(dir));
            EXPECT_EQ(report.tagsChecked, 1) << dir;
            for (const IndexProblem& problem : report.problems) {
                ADD_FAILURE() << dir << ": " << problem.tag << ": " << problem.message;
            }
        }
    }

    // Starts a run and stops it while its rebuild of the target waits for the lock another
    // copy holds (organisations tables, under DB4Lock).
    void stopWhileTheTargetRebuildWaits(const RunLog& log) {
        // The source's index file is dated back, so that its rebuild shows in its date.
        const std::string sourceIndex = indexPath(external());
        std::filesystem::last_write_time(sourceIndex,
                                         std::filesystem::file_time_type::clock::now() - 1h);
        const auto datedBack = std::filesystem::last_write_time(sourceIndex);
        m_run.start(m_source, m_target);
        // The source's rebuild ends; the target's waits.
        ASSERT_TRUE(runEventsUntil([&] {
            return std::filesystem::last_write_time(sourceIndex) != datedBack &&
                   !test::regionLocked(sourceIndex, 0, 0xFFFFFFFF);
        }));
        runEventsFor(20ms);
        ASSERT_TRUE(log.totals.empty());  // still rebuilding
        m_run.stop();
        EXPECT_FALSE(m_run.running());
        EXPECT_TRUE(m_run.busy());  // the rebuild goes on, waiting for the lock
    }

    // After a stop: the run says nothing more, even once its rebuild has ended, and has no
    // result.
    void expectStoppedWithoutResult(const RunLog& log) {
        EXPECT_FALSE(m_run.running());
        ASSERT_TRUE(runEventsUntil([&] { return !m_run.busy(); }));
        runEventsFor(50ms);  // the end of a stopped rebuild, delivered late, is dropped
        EXPECT_EQ(log.finished, 0);
        EXPECT_TRUE(log.failures.empty());
        EXPECT_FALSE(m_run.complete());
        EXPECT_TRUE(m_run.entries().empty());
        EXPECT_EQ(m_run.total(), 0);
        EXPECT_EQ(m_run.visited(), 0);
    }

    std::string m_fileName;
    TEngineDataSet m_source;
    TEngineDataSet m_target;
    ComparisonRun m_run;
};

TEST_F(ComparisonRunTest, GivesTheComparisonsResultWithProgressUpToTheRecordCount) {
    writePersons(30000);
    open();
    const int sourceRecords = m_source.RecordCount();
    RunLog log(m_run);
    m_run.start(m_source, m_target);
    EXPECT_TRUE(m_run.running());
    EXPECT_TRUE(m_run.busy());
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    ASSERT_TRUE(log.failures.empty()) << log.failures.front();
    EXPECT_EQ(log.finished, 1);
    EXPECT_FALSE(m_run.running());
    EXPECT_TRUE(m_run.complete());

    EXPECT_EQ(log.totals, std::vector<int>{sourceRecords});
    EXPECT_EQ(m_run.total(), sourceRecords);
    // Several steps, each further on; the last one at the record count.
    ASSERT_GE(log.steps.size(), 2u);
    EXPECT_TRUE(std::is_sorted(log.steps.begin(), log.steps.end()));
    EXPECT_EQ(log.steps.back(), sourceRecords);
    EXPECT_EQ(m_run.visited(), sourceRecords);

    const std::vector<DifferenceEntry> expected = directResult();
    // Of every 100 external rows: two with another first phone, one with another second phone,
    // one the own table lacks.
    EXPECT_EQ(expected.size(), 1200u);
    ASSERT_EQ(m_run.entries().size(), expected.size());
    EXPECT_TRUE(m_run.entries() == expected);
    ASSERT_TRUE(runEventsUntil([&] { return !m_run.busy(); }));
    expectIndexFilesWhole();
}

TEST_F(ComparisonRunTest, ATableComparedWithItselfIsRebuiltOnceAfterTheOther) {
    writePersons(5000);
    openSyncTable(m_target, own(), m_fileName);
    openSyncTable(m_source, own(), m_fileName);
    RunLog log(m_run);
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    EXPECT_EQ(log.finished, 1);
    EXPECT_TRUE(m_run.entries().empty());
    EXPECT_EQ(m_run.visited(), 5000);
    GSO_dBaseFld table(own() + "/Phone.DBF", true, false);
    EXPECT_TRUE(checkIndexFile(table, own() + "/Phone.MDX").problems.empty());
}

TEST_F(ComparisonRunTest, AStopDuringTheComparisonEndsItWithoutAResult) {
    writePersons(120000);  // more than one step of the comparison compares
    open();
    RunLog log(m_run);
    int stoppedAt = -1;
    size_t stepsBeforeStop = 0;
    // Stops inside the signal of the first step that reached the source (the steps before read
    // the target), as the window's stop button pressed then does.
    log.onProgress = [&](int visited) {
        if (stoppedAt >= 0 || visited == 0) return;
        stoppedAt = visited;
        stepsBeforeStop = log.steps.size();
        m_run.stop();
    };
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return stoppedAt >= 0; }));
    EXPECT_LT(stoppedAt, m_source.RecordCount());
    expectStoppedWithoutResult(log);
    EXPECT_EQ(log.steps.size(), stepsBeforeStop);  // no step after the stop
    expectIndexFilesWhole();

    // A new start compares from the beginning, to the end.
    log.clear();
    log.onProgress = nullptr;
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    EXPECT_EQ(log.finished, 1);
    EXPECT_TRUE(m_run.entries() == directResult());
}

TEST_F(ComparisonRunTest, AStopInTheSignalOfTheLastStepEndsTheRunWithoutAResult) {
    writePersons(3000);
    open();
    RunLog log(m_run);
    log.onProgress = [&](int visited) {
        if (visited == m_run.total()) m_run.stop();
    };
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return !log.steps.empty() && !m_run.running(); }));
    EXPECT_EQ(log.steps.back(), m_source.RecordCount());
    expectStoppedWithoutResult(log);

    // A new run started there instead goes on to its own end.
    log.clear();
    int restarts = 0;
    log.onProgress = [&](int visited) {
        if (visited == m_run.total() && restarts++ == 0) m_run.start(m_source, m_target);
    };
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    EXPECT_EQ(restarts, 2);
    EXPECT_EQ(log.finished, 1);
    EXPECT_EQ(log.totals.size(), 2u);
    EXPECT_TRUE(m_run.complete());
    EXPECT_TRUE(m_run.entries() == directResult());
}

TEST_F(ComparisonRunTest, AStopAtOnceLeavesBothIndexFilesWhole) {
    writePersons(30000);
    open();
    RunLog log(m_run);
    m_run.start(m_source, m_target);
    m_run.stop();
    expectStoppedWithoutResult(log);
    EXPECT_TRUE(log.totals.empty());
    EXPECT_TRUE(log.steps.empty());
    expectIndexFilesWhole();
}

TEST_F(ComparisonRunTest, AStartAfterAStopDuringARebuildWaitsForThatRebuild) {
    test::ScopedLockWait longWait(kLongLockWait);
    writeOrganisations(3000);
    open();
    // Another copy writing the own organisations: the target's rebuild waits for its lock.
    HeldIndexLock ownWriter(indexPath(own()), TgsLokProtocol::DB4Lock);
    RunLog log(m_run);
    ASSERT_NO_FATAL_FAILURE(stopWhileTheTargetRebuildWaits(log));

    // The new run waits for the stopped one's rebuild on the worker: it rebuilds nothing yet,
    // not even the external index file that is free, and the event loop goes on.
    const auto externalWritten = [&] {
        return std::filesystem::last_write_time(indexPath(external()));
    };
    const auto externalBefore = externalWritten();
    m_run.start(m_source, m_target);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    runEventsFor(200ms);
    EXPECT_GT(ticks, 5);
    EXPECT_EQ(externalWritten(), externalBefore);
    EXPECT_TRUE(log.totals.empty());
    EXPECT_TRUE(m_run.running());

    // Another copy now writes the external table: the new run's rebuild of it will wait. The
    // stopped run's rebuild ends; its end is not taken for the new run's.
    HeldIndexLock externalWriter(indexPath(external()), TgsLokProtocol::DB4Lock);
    ownWriter.release();
    runEventsFor(300ms);
    EXPECT_TRUE(log.totals.empty());
    EXPECT_TRUE(log.steps.empty());
    EXPECT_TRUE(m_run.running());

    externalWriter.release();
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    ASSERT_TRUE(log.failures.empty()) << log.failures.front();
    EXPECT_EQ(log.finished, 1);
    EXPECT_EQ(log.totals, std::vector<int>{3000});
    ASSERT_EQ(m_run.entries().size(), 3000u);
    EXPECT_TRUE(m_run.entries() == directResult());
    ASSERT_TRUE(runEventsUntil([&] { return !m_run.busy(); }));
    expectIndexFilesWhole();
}

TEST_F(ComparisonRunTest, AStoppedRebuildEndsWithTheIndexFileWholeOnceTheLockIsFree) {
    test::ScopedLockWait longWait(kLongLockWait);
    writeOrganisations(3000);
    open();
    HeldIndexLock other(indexPath(own()), TgsLokProtocol::DB4Lock);
    RunLog log(m_run);
    ASSERT_NO_FATAL_FAILURE(stopWhileTheTargetRebuildWaits(log));
    runEventsFor(100ms);
    EXPECT_TRUE(m_run.busy());
    other.release();
    expectStoppedWithoutResult(log);
    EXPECT_TRUE(log.totals.empty());
    expectIndexFilesWhole();
}

TEST_F(ComparisonRunTest, ARebuildThatFailsEndsTheRunWithItsErrorAndNoResult) {
    writePersons(2000);
    open();
    // The target's index file is locked by another copy: under the Default protocol a rebuild
    // refuses at once.
    auto other = std::make_unique<HeldIndexLock>(indexPath(own()), TgsLokProtocol::Default);
    RunLog log(m_run);
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    EXPECT_EQ(log.finished, 0);
    EXPECT_EQ(log.failures, std::vector<std::string>{"File access denied - " + indexPath(own())});
    EXPECT_FALSE(m_run.running());
    EXPECT_FALSE(m_run.complete());
    EXPECT_TRUE(m_run.entries().empty());
    EXPECT_TRUE(log.totals.empty());

    // Once the other copy is done, a new run goes through.
    other.reset();
    log.clear();
    m_run.start(m_source, m_target);
    ASSERT_TRUE(runEventsUntil([&] { return log.ended(); }));
    EXPECT_EQ(log.finished, 1);
    EXPECT_TRUE(m_run.entries() == directResult());
    ASSERT_TRUE(runEventsUntil([&] { return !m_run.busy(); }));
    expectIndexFilesWhole();
}

TEST_F(ComparisonRunTest, DestroyingARunWaitsForItsRebuild) {
    writePersons(30000);
    open();
    {
        ComparisonRun run;
        RunLog log(run);
        run.start(m_source, m_target);
    }
    // The data sets are free again, and no lock of the rebuild is left behind.
    EXPECT_FALSE(test::regionLocked(indexPath(own()), 0, 0xFFFFFFFF));
    EXPECT_FALSE(test::regionLocked(indexPath(external()), 0, 0xFFFFFFFF));
    m_source.Close();
    m_target.Close();
    expectIndexFilesWhole();
}

}  // namespace
}  // namespace abonex
