// sync_window_bench: how the synchronisation window answers while it compares two generated
// persons tables (bench/sync_copies.h), and the same figures of the comparison run alone.
//
//   sync_window_bench [--run-only] [RECORDS] [DIR]
//       (defaults: 500000, a fresh folder under /tmp; a DIR that already holds own/ and
//        external/ is used as it is)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. A 1 ms timer stands for
// the events a user sends: the figures are the longest time between two of its ticks while a
// run is busy, and how many gaps exceed 50 ms. Then runs are stopped at several moments: the
// figures are how long the press itself takes (the window shows "Старт!" when it returns) and
// how long the work goes on after it (a rebuild already under way finishes on its worker thread).
//
// With --run-only, the comparison run (sync/comparison_run.h) works on its own data sets from a
// Qt Core event loop, without a window or widgets: the same figures, a stop being a call of
// stop(). The difference between the two is what the window adds.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/bench_arguments.h"
#include "bench/bench_sync_host.h"
#include "bench/sync_copies.h"
#include "engine/dataset/engine_dataset.h"
#include "sync/comparison_run.h"
#include "sync/sync_tables.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"

namespace {

using namespace abonex;

// Ticks of a 1 ms timer; the gaps are counted while the measured work is busy.
class TickWatch {
  public:
    explicit TickWatch(std::function<bool()> busy) : m_busy(std::move(busy)) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_longestMs = 0;
        m_over50 = 0;
        m_last.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longestMs; }
    int over50() const { return m_over50; }

  private:
    void tick() {
        const double gap = static_cast<double>(m_last.nsecsElapsed()) / 1e6;
        m_last.start();
        if (!m_busy()) return;
        m_longestMs = std::max(m_longestMs, gap);
        if (gap > 50) ++m_over50;
    }
    std::function<bool()> m_busy;
    QTimer m_timer;
    QElapsedTimer m_last;
    double m_longestMs = 0;
    int m_over50 = 0;
};

// Runs the event loop, sleeping between events as an idle program does (the 1 ms timer keeps
// waking it), until `busy` says the work has ended; returns the milliseconds it took.
double waitUntilIdle(const std::function<bool()>& busy) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Let the last queued notices arrive.
    QCoreApplication::processEvents();
    return static_cast<double>(elapsed.nsecsElapsed()) / 1e6;
}

// Runs the event loop for `ms` milliseconds.
void runFor(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// What is measured: the window driven through its start button, or the run alone.
struct Subject {
    std::function<void()> start;  // starts a comparison (after the previous one's end)
    std::function<void()> stop;   // stops the running one
    std::function<bool()> running;
    std::function<bool()> busy;  // running, or a rebuild it started still at work
    std::function<int()> differences;
    std::function<QString()> shown;  // what the window shows after a stop (the run: its state)
};

void measure(const Subject& subject) {
    TickWatch ticks(subject.busy);
    ticks.start();
    subject.start();
    const double runMs = waitUntilIdle(subject.busy);
    std::printf("whole run (both rebuilds and the comparison): %.0f ms, %d differences listed\n",
                runMs, subject.differences());
    std::printf(
        "longest time between two handled events during the run: %.1f ms; gaps over "
        "50 ms: %d\n",
        ticks.longestMs(), ticks.over50());

    // Stops at several moments of a run: in the rebuilds and in the comparison.
    std::printf("stop pressed after   press took   work went on   window shows\n");
    for (const int after : {50, 150, 300, 500, 700, 900, 1100}) {
        subject.start();
        runFor(after);
        if (!subject.running()) {
            std::printf("%10d ms   (the run had already ended)\n", after);
            waitUntilIdle(subject.busy);
            continue;
        }
        QElapsedTimer press;
        press.start();
        subject.stop();
        const double pressMs = static_cast<double>(press.nsecsElapsed()) / 1e6;
        const QString shown = subject.shown();
        const double tailMs = waitUntilIdle(subject.busy);
        std::printf("%10d ms %12.2f ms %12.1f ms   \"%s\"\n", after, pressMs, tailMs,
                    shown.toUtf8().constData());
    }
    ticks.stop();
}

int measureWindow(const std::string& dir) {
    bench::BenchSyncHost host;
    host.folder = QString::fromStdString(dir + "/own/");
    TFUpdateFromTable window(host);
    QPushButton* start = bench::chooseExternalCopy(window, dir);
    if (start == nullptr) return 1;
    Subject subject;
    subject.start = [&] {
        window.btnBackClick();
        start->click();
    };
    subject.stop = [&] { start->click(); };
    subject.running = [&] { return window.ComparisonRunning(); };
    subject.busy = [&] { return window.busy(); };
    subject.differences = [&] { return window.differences().rowCount(); };
    subject.shown = [&] { return start->text(); };
    measure(subject);
    window.close();
    return 0;
}

int measureRunAlone(const std::string& dir) {
    TEngineDataSet source;
    TEngineDataSet target;
    try {
        openSyncTable(target, dir + "/own", "Phone.DBF");
        openSyncTable(source, dir + "/external", "Phone.DBF");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the tables could not be opened: %s\n", error.what());
        return 1;
    }
    ComparisonRun run;
    QObject::connect(&run, &ComparisonRun::failed, [](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "the run failed: %s\n", e.what());
            std::exit(1);
        }
    });
    Subject subject;
    subject.start = [&] { run.start(source, target); };
    subject.stop = [&] { run.stop(); };
    subject.running = [&] { return run.running(); };
    subject.busy = [&] { return run.busy(); };
    subject.differences = [&] { return static_cast<int>(run.entries().size()); };
    subject.shown = [&] {
        return run.running() ? QStringLiteral("(running)") : QStringLiteral("(stopped)");
    };
    measure(subject);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "[--run-only] [RECORDS] [DIR]",
                                "The synchronisation window's longest wait between handled\n"
                                "events during a comparison of two persons tables of RECORDS\n"
                                "records (500000), and what a stop takes; --run-only measures\n"
                                "the same of the comparison run without the window. DIR keeps\n"
                                "the copies for the next run (made when missing).\n",
                                {"--run-only"}, 2);
    const bool runOnly = args.flag("--run-only");
    const int records = args.count(0, "RECORDS", 500000);
    const std::string dir = args.given(1)
                                ? args.word(1)
                                : std::filesystem::temp_directory_path().string() +
                                      "/abonex-sync-window-bench-" + std::to_string(::getpid());
    if (!std::filesystem::exists(dir + "/own/Phone.DBF") ||
        !std::filesystem::exists(dir + "/external/Phone.DBF")) {
        bench::writeSyncCopies(dir, records);
    }
    std::printf("persons tables: %d records, the external copy differing in about 5 %%\n", records);

    int status = 0;
    if (runOnly) {
        std::printf("the comparison run alone, on a Qt Core event loop\n");
        QCoreApplication app(argc, argv);
        status = measureRunAlone(dir);
    } else {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        QApplication app(argc, argv);
        MessageBox::setInteractive(false);
        status = measureWindow(dir);
    }
    if (!args.given(1)) std::filesystem::remove_all(dir);
    return status;
}
