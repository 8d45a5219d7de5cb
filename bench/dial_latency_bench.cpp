// How long the window's events wait while the modem is slow: a fake modem on a pseudo-terminal
// that answers a dial only after 30 s, a window that dials, drops the dial still in progress,
// dials again, filters, and closes with the call up. A thread posts a stamped event every 5 ms
// throughout; the figure is the longest wait and the events that waited longer than 50 ms
// while the machine itself was not held up (see tests/app/event_latency.h).
//
//   dial_latency_bench [ROUNDS]      (default 3)
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/event_latency.h"
#include "tests/app/window_session.h"
#include "tools/fake_modem/fake_modem.h"
#include "ui/message_box.h"

namespace {

using namespace abonex;
using namespace abonex::test;

bool waitForCommand(const FakeModem& modem, const QByteArray& command, int times) {
    return QTest::qWaitFor([&] { return modem.count(command) >= times; }, 10000);
}

void clickRow(WindowSession& session, const QString& name) {
    QTableView* grid = session.grid();
    const qsizetype row = session.gridNames().indexOf(name);
    if (row < 0) qFatal("no row %s", qPrintable(name));
    const QModelIndex cell = grid->model()->index(static_cast<int>(row), 1);
    grid->scrollTo(cell);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualRect(cell).center());
}

void pressRing(WindowSession& session) {
    auto* button = session.child<QToolButton>("btnRing");
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// One round; false when the modem never saw what the window should have sent.
bool round(int number) {
    FakeModem modem;
    modem.setReply("ATD", "OK", 30000);
    qputenv("ABONEX_MODEM", modem.devicePath().toLocal8Bit());
    WindowSession session;
    session.start();
    if (!waitForCommand(modem, "ATZ", 2)) return false;

    EventLatency events;
    clickRow(session, QStringLiteral("Иванов И.И."));
    pressRing(session);
    if (!waitForCommand(modem, "ATD", 1)) return false;
    QTest::qWait(500);
    clickRow(session, QStringLiteral("Сидоров"));
    pressRing(session);  // drops the dial in progress, then dials again
    if (!waitForCommand(modem, "ATD", 2)) return false;
    auto* phone = session.child<QLineEdit>("edPhone");
    QTest::keyClicks(phone, "35");
    QTest::keyClick(phone, Qt::Key_Return);
    QTest::qWait(500);
    session.window()->close();  // hangs up the dial in progress
    QTest::qWait(300);
    events.stop();

    const auto late = events.lateBeyond(std::chrono::milliseconds(50));
    std::printf(
        "round %d: %d events, longest wait %lld ms, %zu waited over 50 ms (machine "
        "stalls excluded)\n",
        number, events.handled(),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(events.longest()).count()),
        late.size());
    qunsetenv("ABONEX_MODEM");
    return modem.count("ATH") >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    for (int i = 1; i <= rounds; ++i) {
        if (!round(i)) {
            std::fprintf(stderr, "round %d: the modem did not get the expected commands\n", i);
            return 1;
        }
    }
    return 0;
}
