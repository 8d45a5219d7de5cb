// Start-up, search and closing timings of the directory window on a large persons table.
//
//   startup_bench [FOLDER] [RECORDS] [--cold]
//
// With --cold the folder's table and index files are written out and dropped from the page
// cache before the window starts (those files only, not the rest of the machine's cache), so
// the start reads them from the disk as after a reboot. Use a copy of the shared data: the
// start-up rebuild writes the index.
// FOLDER (default /tmp/abonex-startup-bench) receives, once, a program folder whose persons
// table holds RECORDS rows (default 500000) with its index file, and empty organisation and
// favourites tables; a folder that holds a persons table already (a copy of one made by
// `abonex-db demo`) is used as it is, with a licence text added when it has none. The window
// then runs in a fresh process on that folder under whatever Qt platform is set (offscreen for a
// machine without a display), and this process reports, each beside its goal:
//   - from the start of the window's process to the first rows painted in the grid (the quick
//     look at the index included; a rebuild too when the look refuses the index), and to the
//     end of the start-up rebuild that follows the paint on its own thread;
//   - from Enter in the name box to the filtered rows painted, for prefixes at the start and in
//     the middle of the alphabet, a rare prefix and a prefix that no name has;
//   - from Ctrl+Q to the end of the window's process, and to the end of the closing rebuild's
//     own process (this program started with the window's hidden request);
//   - the resident set after start-up with the private memory in it, the peak resident memory
//     and what the largest resident set sampled is made of.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "bench/bench_arguments.h"
#include "bench/process_memory.h"
#include "directory/directory_tables.h"
#include "directory/index_rebuild.h"
#include "directory/table_writer.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::bench::mappedFileKb;
using abonex::bench::megabytes;
using abonex::bench::statusKb;

namespace {

const auto kProcessStart = std::chrono::steady_clock::now();
// The goals of the start and the close at any table size.
constexpr double kFirstRowsGoalMs = 1000;
constexpr double kCloseGoalMs = 1000;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The monotonic clock in milliseconds, the same in every process of the machine: the window's
// process reports its moments in it and this one compares them with its own.
double monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A persons table of `records` rows drawn from a few surnames, endings and initials, with its
// index file.
void generatePersons(const std::string& folder, int records) {
    const char* surnames[] = {"Иванов",   "Петров",   "Сидоров",  "Кузнецов", "Смирнов", "Попов",
                              "Васильев", "Соколов",  "Михайлов", "Новиков",  "Фёдоров", "Морозов",
                              "Волков",   "Алексеев", "Лебедев",  "Семёнов",  "Егоров",  "Павлов",
                              "Козлов",   "Степанов", "Николаев", "Орлов",    "Андреев", "Макаров",
                              "Никитин",  "Захаров",  "Зайцев",   "Соловьёв", "Борисов", "Яковлев"};
    const char* endings[] = {"", "а", "ский", "ич", "енко", "ин"};
    const char* initials = "АБВГДЕЖЗИКЛМНОПРСТУФХЧШЭЮЯ";
    std::vector<std::string> initialLetters;
    for (const char* p = initials; *p != 0;) {
        const int width = (static_cast<unsigned char>(*p) >= 0xC0) ? 2 : 1;
        initialLetters.emplace_back(p, static_cast<size_t>(width));
        p += width;
    }
    const std::vector<std::string> comments{
        "", "", "", "дача", "рабочий, после 18:00 не звонить", "соседи по подъезду"};

    std::mt19937 random(20261208);
    std::vector<std::string> names;
    for (const char* surname : surnames) {
        for (const char* ending : endings) names.push_back(std::string(surname) + ending);
    }
    DirectoryTableWriter writer(folder + "Phone.DBF", directoryTable(DirectoryMode::Persons));
    char phone[16];
    for (int i = 0; i < records; ++i) {
        DirectoryRow row;
        row.name = names[random() % names.size()] + " " +
                   initialLetters[random() % initialLetters.size()] + "." +
                   initialLetters[random() % initialLetters.size()] + ".";
        std::snprintf(phone, sizeof phone, "%02u-%02u-%02u", unsigned(random() % 100),
                      unsigned(random() % 100), unsigned(random() % 100));
        row.phone1 = phone;
        if (random() % 4 == 0) {
            std::snprintf(phone, sizeof phone, "%02u-%02u-%02u", unsigned(random() % 100),
                          unsigned(random() % 100), unsigned(random() % 100));
            row.phone2 = phone;
        }
        row.comment = comments[random() % comments.size()];
        writer.add(row);
    }
    writer.finish();
}

void generateFolder(const std::string& folder, int records) {
    std::ofstream(folder + "EULA.txt") << "Licence text of the benchmark folder.\n";
    auto smallTable = [&](DirectoryMode mode, const std::vector<DirectoryRow>& rows) {
        const DirectoryTable& table = directoryTable(mode);
        writeDirectoryTable(folder + std::string(table.tableFile), table, rows);
    };
    smallTable(DirectoryMode::Organisations,
               {{"Аптека №1 \"Здоровье\"", "2-11-11", "2-11-12", "круглосуточно"},
                {"Автовокзал, справочная", "2-05-05", "", ""},
                {"Городская больница, приёмный покой", "2-03-03", "2-03-04", "скорая: 03"},
                {"Школа №5", "2-55-55", "", "вахта, после 20:00 сторож"},
                {"Библиотека им. Пушкина", "2-31-40", "", "вт-сб 10:00-19:00"},
                {"Водоканал, аварийная служба", "2-40-40", "2-40-41", ""},
                {"Горгаз, аварийная служба", "04", "2-04-04", ""},
                {"Детский сад \"Солнышко\"", "2-17-90", "", ""},
                {"Почта, отделение 1", "2-20-01", "", "пн-пт 8:00-20:00"},
                {"Такси \"Вояж\"", "2-88-88", "2-88-89", "круглосуточно"},
                {"Кинотеатр \"Октябрь\"", "2-66-12", "", "касса"}});
    smallTable(DirectoryMode::Favourites, {{"Мама", "2-22-22", "", "после 21:00 не звонить"},
                                           {"Сантехник Николай", "8-902-555-12-34", "", ""},
                                           {"Работа, приёмная", "2-70-00", "2-70-01", ""}});
    generatePersons(folder, records);
}

// Reports the first paint of the grid that shows rows after `arm()`.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QTableView* grid) : m_grid(grid) {
        grid->viewport()->installEventFilter(this);
    }
    void arm(std::function<void()> done, bool needRows) {
        m_done = std::move(done);
        m_needRows = needRows;
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_done &&
            (!m_needRows || m_grid->model()->rowCount() > 0)) {
            // Runs once this paint has finished.
            auto done = std::move(m_done);
            m_done = nullptr;
            QTimer::singleShot(0, done);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QTableView* m_grid;
    std::function<void()> m_done;
    bool m_needRows = true;
};

int measure(int argc, char** argv, const QString& folder) {
    Application app(argc, argv);
    MessageBox::setInteractive(false);
    // Every run starts with the design view: the window's stored settings go to a folder of
    // the run's own.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    TFMain window(folder);
    if (window.startupFailed() || !window.DSet.Active()) {
        std::fprintf(stderr, "start-up failed\n");
        for (const MessageBox::Shown& box : MessageBox::shown()) {
            std::fprintf(stderr, "%s\n", box.text.toUtf8().constData());
        }
        return 1;
    }
    const int records = window.DSet.RecordCount();
    auto* grid = window.findChild<QTableView*>(QStringLiteral("GxDBGrid1"));
    auto* edFam = window.findChild<QLineEdit*>(QStringLiteral("edFam"));
    PaintWatch watch(grid);

    struct Search {
        QString text;
        double ms = 0;
        int rows = 0;
    };
    std::vector<Search> searches{{QStringLiteral("АЛЕКСЕЕВ")},
                                 {QStringLiteral("ПЕТРОВ")},
                                 {QStringLiteral("ЯКОВЛЕВСКИЙ Ю.")},
                                 {QStringLiteral("ЩЮЩ")}};
    size_t next = 0;
    std::chrono::steady_clock::time_point enterAt;
    // What the resident set is made of, sampled once the first rows and each search's rows are
    // painted; the sample with the largest resident set is reported (the kernel keeps a
    // high-water mark of the total only).
    struct Resident {
        long total = 0, table = 0, files = 0, anonymous = 0;
    } largest, afterStart;
    auto sampleResident = [&] {
        Resident now{statusKb("VmRSS"), mappedFileKb("/Phone.DBF"), statusKb("RssFile"),
                     statusKb("RssAnon")};
        if (now.total > largest.total) largest = now;
        return now;
    };
    double closeAt = 0;
    std::function<void()> runSearch;
    runSearch = [&] {
        if (next == searches.size()) {
            // "Выход" (Ctrl+Q), as the user closes the window; the moment goes to the measuring
            // process.
            closeAt = monotonicMs();
            window.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
            QCoreApplication::quit();
            return;
        }
        edFam->setText(searches[next].text);
        watch.arm(
            [&] {
                searches[next].ms = millisecondsSince(enterAt);
                searches[next].rows = grid->model()->rowCount();
                sampleResident();
                ++next;
                QTimer::singleShot(50, runSearch);
            },
            false);
        enterAt = std::chrono::steady_clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(edFam, &press);
    };

    double firstPaint = 0;
    double firstPaintAt = 0;
    double rebuiltAt = 0;
    // The searches wait for the start-up rebuild: while it writes the index they would find
    // nothing, and they would be timed against a busy disk.
    // Meanwhile the window's event loop is to stay free: the longest gap between two ticks of
    // this 5 ms timer is the longest the window would not have answered the user.
    QTimer rebuildWatch;
    rebuildWatch.setInterval(5);
    double lastTick = 0;
    double longestPause = 0;
    QObject::connect(&rebuildWatch, &QTimer::timeout, [&] {
        const double now = monotonicMs();
        if (lastTick > 0) longestPause = std::max(longestPause, now - lastTick);
        lastTick = now;
        if (window.startRebuildPending()) return;
        rebuildWatch.stop();
        rebuiltAt = monotonicMs();
        QTimer::singleShot(50, runSearch);
    });
    watch.arm(
        [&] {
            firstPaint = millisecondsSince(kProcessStart);
            firstPaintAt = monotonicMs();
            afterStart = sampleResident();
            rebuildWatch.start();
        },
        true);
    window.setClosingRebuildProgram(QCoreApplication::applicationFilePath());
    window.show();
    window.activateWindow();
    app.exec();

    std::printf("records in persons table:        %d\n", records);
    std::printf("moments (monotonic ms): first-paint %.3f rebuilt %.3f close %.3f\n", firstPaintAt,
                rebuiltAt, closeAt);
    std::printf("window's clock, start to first rows painted: %8.1f ms\n", firstPaint);
    std::printf("longest pause of the window's events during the start-up rebuild: %8.1f ms\n",
                longestPause);
    for (const Search& search : searches) {
        std::printf("Enter to rows painted, \"%s\": %8.1f ms (%d rows held by the grid)\n",
                    search.text.toUtf8().constData(), search.ms, search.rows);
    }
    std::printf("resident set after start-up:     %8.1f MB (private memory %.1f MB)\n",
                megabytes(afterStart.total), megabytes(afterStart.anonymous));
    std::printf("peak resident memory (VmHWM):    %8.1f MB\n", megabytes(statusKb("VmHWM")));
    std::printf("largest sampled resident set:    %8.1f MB\n", megabytes(largest.total));
    std::printf("  persons table pages mapped:    %8.1f MB (shared with the page cache)\n",
                megabytes(largest.table));
    std::printf("  program, libraries, other files:%7.1f MB\n",
                megabytes(largest.files - largest.table));
    std::printf("  private memory:                %8.1f MB\n", megabytes(largest.anonymous));
    return 0;
}

// Writes out and drops from the page cache every file of `folder`, so the next reads of them
// come from the disk.
void dropFromPageCache(const std::string& folder) {
    for (const char* name :
         {"Phone.DBF", "Phone.MDX", "Org.dbf", "Org.MDX", "Favor.dbf", "Favor.MDX", "EULA.txt"}) {
        const int fd = ::open((folder + name).c_str(), O_RDONLY);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Runs the window's process and reads its moments; returns its exit status.
int runMeasured(char* program, const std::string& folder, int records) {
    // The closing rebuild's process outlives the window's; as its subreaper this process waits
    // for it too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    int out[2];
    if (pipe(out) != 0) return 1;
    const double startAt = monotonicMs();
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<std::string> args{program, folder, std::to_string(records), "--measure"};
        std::vector<char*> raw;
        for (std::string& arg : args) raw.push_back(arg.data());
        raw.push_back(nullptr);
        execv("/proc/self/exe", raw.data());
        std::perror("execv");
        _exit(1);
    }
    close(out[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const double exitAt = monotonicMs();
    // Whatever else ends now is the closing rebuild's process.
    double rebuildEndAt = 0;
    int rebuildStatus = -1;
    for (int other; waitpid(-1, &other, 0) > 0;) {
        rebuildEndAt = monotonicMs();
        rebuildStatus = WIFEXITED(other) ? WEXITSTATUS(other) : -1;
    }
    std::fputs(report.c_str(), stdout);
    double firstPaintAt = 0, rebuiltAt = 0, closeAt = 0;
    const size_t moments = report.find("moments (monotonic ms):");
    if (moments == std::string::npos ||
        std::sscanf(report.c_str() + moments,
                    "moments (monotonic ms): first-paint %lf rebuilt %lf close %lf", &firstPaintAt,
                    &rebuiltAt, &closeAt) != 3) {
        std::fprintf(stderr, "the window's process reported no moments\n");
        return 1;
    }
    const double firstRows = firstPaintAt - startAt;
    const double closing = exitAt - closeAt;
    std::printf(
        "process start to first rows painted:        %8.1f ms  goal <= %.0f ms  (%.2f of it)\n",
        firstRows, kFirstRowsGoalMs, firstRows / kFirstRowsGoalMs);
    std::printf(
        "process start to start-up rebuild done:     %8.1f ms  (after the paint, on its own "
        "thread)\n",
        rebuiltAt - startAt);
    std::printf(
        "Ctrl+Q to the window's process ended:       %8.1f ms  goal <= %.0f ms  (%.2f of it)\n",
        closing, kCloseGoalMs, closing / kCloseGoalMs);
    if (rebuildEndAt > 0) {
        std::printf("Ctrl+Q to the closing rebuild's process ended: %8.1f ms  (exit status %d)\n",
                    rebuildEndAt - closeAt, rebuildStatus);
    } else {
        std::printf("closing rebuild's process: none was started\n");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The closing rebuild the window hands to this program, as the directory program does.
    if (argc >= 2 && argv[1] == kRebuildIndexesArgument) {
        std::string errors;
        const int status =
            runRebuildRequest(std::vector<std::string>(argv + 2, argv + argc), errors);
        std::fputs(errors.c_str(), stderr);
        return status;
    }
    // --measure is the word the benchmark runs itself with for the measured start.
    const bench::Arguments args(argc, argv, "[FOLDER] [RECORDS] [--cold]",
                                "The window's start-up, searches and resident memory on FOLDER\n"
                                "(/tmp/abonex-startup-bench), made with RECORDS persons (500000)\n"
                                "unless it holds a table and index; --cold writes its files out\n"
                                "and drops them from the page cache first, as after a reboot.\n",
                                {"--measure", "--cold"}, 2);
    const bool measuring = args.flag("--measure");
    const bool cold = args.flag("--cold");
    std::string folder = args.word(0, "/tmp/abonex-startup-bench");
    const int records = args.count(1, "RECORDS", 500000);
    if (folder.back() != '/') folder += '/';
    if (!measuring) {
        const std::string marker = folder + "records-" + std::to_string(records);
        const bool given = QFile::exists(QString::fromStdString(folder + "Phone.DBF")) &&
                           QFile::exists(QString::fromStdString(folder + "Phone.MDX"));
        if (given) {
            if (!QFile::exists(QString::fromStdString(folder + "EULA.txt"))) {
                std::ofstream(folder + "EULA.txt") << "Licence text of the benchmark folder.\n";
            }
        } else if (!QFile::exists(QString::fromStdString(marker))) {
            std::printf("generating %d persons in %s ...\n", records, folder.c_str());
            std::fflush(stdout);
            QFile::remove(QString::fromStdString(folder + "Phone.MDX"));
            std::system(("mkdir -p '" + folder + "'").c_str());
            generateFolder(folder, records);
            std::ofstream{marker};
            // Written out now, so the measured run does not wait for the generator's pages.
            ::sync();
        }
        if (cold) dropFromPageCache(folder);
        std::fflush(stdout);
        return runMeasured(argv[0], folder, records);
    }
    return measure(argc, argv, QString::fromStdString(folder));
}
