// sync_apply_bench: how the synchronisation window answers while it applies a long list of
// differences.
//
//   sync_apply_bench [RECORDS] [DIR]
//       (defaults: 300000, a fresh folder under /tmp; a DIR that already holds own/ and
//        external/ is used as it is)
//
// Two copies of a generated persons table whose every record has another first phone in the
// external copy; the window compares them (import) and then applies every difference to the own
// table. While the apply runs, a thread posts a stamped event every few milliseconds
// (bench/event_latency.h): the figures are the longest wait of one before the window's thread
// handled it, and how many waited longer than 100 ms while the machine itself was not held up.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_arguments.h"
#include "bench/bench_sync_host.h"
#include "bench/event_latency.h"
#include "bench/sync_copies.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"

namespace {

using namespace abonex;
using Clock = std::chrono::steady_clock;

void writeCopies(const std::string& dir, int records) {
    bench::writeCopyPair(
        dir, records,
        [](int i, DirectoryRow row, DirectoryTableWriter& own, DirectoryTableWriter& external) {
            // Numbered names: every record has one copy of its name in each
            // table.
            row.name = "Abonent " + std::to_string(i);
            row.phone1 = "1-" + std::to_string(i);
            own.add(row);
            row.phone1 = "2-" + std::to_string(i);
            external.add(row);
        });
}

void runUntil(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

double millisecondsOf(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

int measure(const std::string& dir) {
    bench::BenchSyncHost host;
    host.folder = QString::fromStdString(dir + "/own/");
    TFUpdateFromTable window(host);
    QPushButton* start = bench::chooseExternalCopy(window, dir);
    auto* apply = window.findChild<QPushButton*>(QStringLiteral("btnApply"));
    if (start == nullptr || apply == nullptr) return 1;
    QElapsedTimer elapsed;
    elapsed.start();
    start->click();
    runUntil([&] { return !window.busy(); });
    const int differences = window.differences().rowCount();
    std::printf("comparison: %lld ms, %d differences listed\n",
                static_cast<long long>(elapsed.elapsed()), differences);

    bench::EventLatency latency;
    MessageBox::setNextAnswer(QMessageBox::Yes);
    const Clock::time_point applyStart = Clock::now();
    elapsed.restart();
    apply->click();
    runUntil([&] { return !window.applying(); });
    const qint64 applyMs = elapsed.elapsed();
    latency.stop();
    const auto late = latency.lateBeyond(std::chrono::milliseconds(100));
    std::printf("apply of every difference to the own table: %lld ms\n",
                static_cast<long long>(applyMs));
    std::printf(
        "events handled during the apply: %d; longest wait: %.1f ms; "
        "waits over 100 ms (machine not held up): %zu\n",
        latency.handled(), millisecondsOf(latency.longest()), late.size());
    // Where in the apply the late ones were (the first few).
    for (size_t i = 0; i < late.size() && i < 10; ++i) {
        std::printf("  waited %.1f ms from %.0f ms into the apply\n",
                    millisecondsOf(late[i].handled - late[i].posted),
                    millisecondsOf(late[i].posted - applyStart));
    }
    if (!MessageBox::shown().isEmpty()) {
        QString summary = MessageBox::shown().last().text;
        summary.replace(QStringLiteral("\n\r"), QStringLiteral(" "));
        std::printf("summary shown: %s\n", summary.toUtf8().constData());
    }
    window.close();
    return late.empty() ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "[RECORDS] [DIR]",
                                "How long events wait while the window applies RECORDS\n"
                                "differences (300000). DIR keeps the copies for the next run\n"
                                "(made when missing).\n",
                                {}, 2);
    const int records = args.count(0, "RECORDS", 300000);
    const std::string dir = args.given(1)
                                ? args.word(1)
                                : std::filesystem::temp_directory_path().string() +
                                      "/abonex-sync-apply-bench-" + std::to_string(::getpid());
    if (!std::filesystem::exists(dir + "/own/Phone.DBF") ||
        !std::filesystem::exists(dir + "/external/Phone.DBF")) {
        writeCopies(dir, records);
    }
    std::printf("persons tables: %d records, every one with another first phone outside\n",
                records);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 0;
    {
        QApplication app(argc, argv);
        MessageBox::setInteractive(false);
        status = measure(dir);
    }
    if (!args.given(1)) std::filesystem::remove_all(dir);
    return status;
}
