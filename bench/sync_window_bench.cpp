// sync_window_bench: how the synchronisation window answers while it compares two generated
// persons tables (bench/sync_copies.h).
//
//   sync_window_bench [RECORDS] [DIR]  (defaults: 500000, a fresh folder under /tmp; a DIR that
//                                       already holds own/ and external/ is used as it is)
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. A 1 ms timer stands for
// the events a user sends: the figures are the longest time between two of its ticks while a
// run is busy, and how many gaps exceed 50 ms. Then runs are stopped at several moments: the
// figures are how long the press itself takes (the window shows "Старт!" when it returns) and
// how long the work goes on after it (a rebuild already under way finishes on its worker thread).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/sync_copies.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"

namespace {

using namespace abonex;

struct BenchHost : SyncWindowHost {
    QString folder;
    QString hint;
    QString syncDatabaseFolder() const override { return folder; }
    QString trayHint() const override { return hint; }
    void setTrayHint(const QString& text) override { hint = text; }
    void setSyncWindow(QWidget*) override {}
    void minimiseApplication() override {}
    TEngineDataSet* shownDataSet() override { return nullptr; }
};

// Ticks of a 1 ms timer; the gaps are counted while the window is busy.
class TickWatch {
  public:
    explicit TickWatch(const TFUpdateFromTable& window) : m_window(window) {
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
        if (!m_window.busy()) return;
        m_longestMs = std::max(m_longestMs, gap);
        if (gap > 50) ++m_over50;
    }
    const TFUpdateFromTable& m_window;
    QTimer m_timer;
    QElapsedTimer m_last;
    double m_longestMs = 0;
    int m_over50 = 0;
};

// Runs the event loop, sleeping between events as an idle program does (the 1 ms timer keeps
// waking it), until the window's work has ended; returns the milliseconds it took.
double waitUntilIdle(const TFUpdateFromTable& window) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (window.busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setInteractive(false);
    const int records = argc > 1 ? std::atoi(argv[1]) : 500000;
    const std::string dir = argc > 2
                                ? argv[2]
                                : std::filesystem::temp_directory_path().string() +
                                      "/abonex-sync-window-bench-" + std::to_string(::getpid());
    if (!std::filesystem::exists(dir + "/own/Phone.DBF") ||
        !std::filesystem::exists(dir + "/external/Phone.DBF")) {
        bench::writeSyncCopies(dir, records);
    }
    std::printf("persons tables: %d records, the external copy differing in about 5 %%\n", records);

    BenchHost host;
    host.folder = QString::fromStdString(dir + "/own/");
    TFUpdateFromTable window(host);
    window.show();
    OpenFileDialog::setNextAnswer(QString::fromStdString(dir + "/external/Phone.DBF"));
    window.btnBrowseClick();
    auto* start = window.findChild<QPushButton*>(QStringLiteral("btnStart"));
    if (start == nullptr || !start->isEnabled()) {
        std::fprintf(stderr, "the tables could not be opened\n");
        return 1;
    }

    TickWatch ticks(window);
    ticks.start();
    QElapsedTimer run;
    run.start();
    start->click();
    const double runMs = waitUntilIdle(window);
    std::printf("whole run (both rebuilds and the comparison): %.0f ms, %d differences listed\n",
                runMs, window.differences().rowCount());
    std::printf(
        "longest time between two handled events during the run: %.1f ms; gaps over "
        "50 ms: %d\n",
        ticks.longestMs(), ticks.over50());

    // Stops at several moments of a run: in the rebuilds and in the comparison.
    std::printf("stop pressed after   press took   work went on   window shows\n");
    for (const int after : {50, 150, 300, 500, 700, 900, 1100}) {
        window.btnBackClick();
        start->click();
        runFor(after);
        if (!window.ComparisonRunning()) {
            std::printf("%10d ms   (the run had already ended)\n", after);
            waitUntilIdle(window);
            continue;
        }
        QElapsedTimer press;
        press.start();
        start->click();
        const double pressMs = static_cast<double>(press.nsecsElapsed()) / 1e6;
        const QString shown = start->text();
        const double tailMs = waitUntilIdle(window);
        std::printf("%10d ms %12.2f ms %12.1f ms   \"%s\"\n", after, pressMs, tailMs,
                    shown.toUtf8().constData());
    }

    ticks.stop();
    window.close();
    if (argc <= 2) std::filesystem::remove_all(dir);
    return 0;
}
