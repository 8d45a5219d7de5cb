// How long the window's events wait while the modem is slow: a fake modem on a pseudo-terminal
// that answers a dial only after 30 s, a window that dials, drops the dial still in progress,
// dials again, filters, and closes with the call up. A thread posts a stamped event every 5 ms
// throughout; the figure is the longest wait and the events that waited longer than 50 ms
// while the machine itself was not held up (see tests/app/event_latency.h).
//
//   dial_latency_bench [ROUNDS]      (default 3)
#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_arguments.h"
#include "bench/event_latency.h"
#include "directory/directory_tables.h"
#include "directory/table_writer.h"
#include "tools/fake_modem/fake_modem.h"
#include "ui/message_box.h"

namespace {

using namespace abonex;
using namespace abonex::test;
using abonex::bench::EventLatency;

// A program folder with the licence and the three tables, and a main window on it whose
// settings stay in a folder of their own.
class BenchSession {
  public:
    BenchSession() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        QFile eula(m_folder.path() + QStringLiteral("/EULA.txt"));
        if (!eula.open(QIODevice::WriteOnly)) qFatal("cannot write EULA.txt");
        eula.write("Licence.\n");
        eula.close();
        writeTable(DirectoryMode::Persons,
                   {{"Иванов И.И.", "22-33-44"}, {"Сидоров", "35-00-00"}, {"Петров", "22-10-10"}});
        writeTable(DirectoryMode::Organisations, {{"Аптека", "2-11-11"}});
        writeTable(DirectoryMode::Favourites, {{"Мама", "2-22-22"}});
        m_window = std::make_unique<TFMain>(m_folder.path() + QLatin1Char('/'));
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        if (!QTest::qWaitForWindowActive(m_window.get())) qFatal("the window did not come up");
    }
    ~BenchSession() {
        if (m_window->isVisible()) m_window->close();
    }

    TFMain* window() const { return m_window.get(); }
    template <typename T>
    T* child(const char* name) const {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("no object %s", name);
        return found;
    }
    QTableView* grid() const { return child<QTableView>("GxDBGrid1"); }
    QStringList gridNames() const {
        QAbstractItemModel* model = grid()->model();
        while (model->canFetchMore({})) model->fetchMore({});
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row) {
            names << model->index(row, 0).data().toString();
        }
        return names;
    }

  private:
    void writeTable(DirectoryMode mode, const std::vector<DirectoryRow>& rows) {
        const DirectoryTable& table = directoryTable(mode);
        writeDirectoryTable(
            QFile::encodeName(m_folder.path() + QLatin1Char('/') + QLatin1String(table.tableFile))
                .toStdString(),
            table, rows);
    }

    QTemporaryDir m_settings;
    QTemporaryDir m_folder;
    std::unique_ptr<TFMain> m_window;
};

bool waitForCommand(const FakeModem& modem, const QByteArray& command, int times) {
    return QTest::qWaitFor([&] { return modem.count(command) >= times; }, 10000);
}

void clickRow(BenchSession& session, const QString& name) {
    QTableView* grid = session.grid();
    const qsizetype row = session.gridNames().indexOf(name);
    if (row < 0) qFatal("no row %s", qPrintable(name));
    const QModelIndex cell = grid->model()->index(static_cast<int>(row), 1);
    grid->scrollTo(cell);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualRect(cell).center());
}

void pressRing(BenchSession& session) {
    auto* button = session.child<QToolButton>("btnRing");
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// One round; false when the modem never saw what the window should have sent.
bool round(int number) {
    FakeModem modem;
    modem.setReply("ATD", "OK", 30000);
    qputenv("ABONEX_MODEM", modem.devicePath().toLocal8Bit());
    BenchSession session;
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
    const bench::Arguments args(argc, argv, "[ROUNDS]",
                                "How long the window's events wait while a fake modem that\n"
                                "answers only after 30 s dials, is dropped and dials again,\n"
                                "ROUNDS times (3).\n",
                                {}, 1);
    const int rounds = args.count(0, "ROUNDS", 3);
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
