// phone_list_bench: how long the printed phone list of the demo town's persons takes to lay out
// and write as a PDF file, the way "Печать…" lays it out for the printer.
//
//   phone_list_bench [ROWS] [FILE]   (defaults: 5000, phone_list_bench.pdf in /tmp)
//
// Prints the pages and the medians (time and processor time) of five runs of the whole writing
// (layout, painting, the file closed); the file of the last run is left for a look (pdftoppm -png
// -f 1 -l 1 FILE page). Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/phone_list_document.h"
#include "directory/persons_generator.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 5000;
    const QString path =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/phone_list_bench.pdf");
    if (rows < 0) {
        std::fprintf(stderr, "usage: phone_list_bench [ROWS] [FILE]\n");
        return 2;
    }
    abonex::demo::PersonsGenerator generator(39);
    std::vector<abonex::DirectoryRow> persons;
    for (int i = 0; i < rows; ++i) persons.push_back(generator.next());
    std::sort(persons.begin(), persons.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });

    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    std::vector<double> cpuTimes;  // the process's processor time: the figure of a busy machine
    int pages = 0;
    for (int run = 0; run < 5; ++run) {
        const Clock::time_point start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        abonex::PhoneListDocument list;
        list.setHeading(QStringLiteral("Телефоны частных лиц"), QStringLiteral("Все записи"));
        list.setCaptions({QStringLiteral("Фамилия И.О."), QStringLiteral("телефон 1"),
                          QStringLiteral("телефон 2"), QStringLiteral("Комментарий")});
        for (const abonex::DirectoryRow& row : persons) {
            list.addRow({QString::fromStdString(row.name), QString::fromStdString(row.phone1),
                         QString::fromStdString(row.phone2), QString::fromStdString(row.comment)});
        }
        {
            QPdfWriter writer(path);
            writer.setPageSize(QPageSize(QPageSize::A4));
            const double margin = abonex::PhoneListDocument::kMarginMm;
            writer.setPageMargins(QMarginsF(margin, margin, margin, margin),
                                  QPageLayout::Millimeter);
            writer.setResolution(1200);  // QPrinter::HighResolution on a PDF
            pages = list.print(writer);
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpuTimes.push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    if (pages == 0) {
        std::fprintf(stderr, "phone_list_bench: cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    std::printf(
        "rows %d  pages %d  PDF written in %.0f ms, processor %.0f ms (medians of %zu; goal "
        "< 2000 ms)  %s\n",
        rows, pages, times[times.size() / 2], cpuTimes[cpuTimes.size() / 2], times.size(),
        qPrintable(path));
    return 0;
}
