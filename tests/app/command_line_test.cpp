// `abonex --help` and `abonex --version`: answered before any window, so they work where no
// display is; every other command line starts the program as before.
#include "app/command_line.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

#include "app/start_request.h"

#ifndef ABONEX_PROGRAM
#error "ABONEX_PROGRAM names the built program"
#endif

using namespace abonex;

namespace {

struct Answer {
    std::optional<int> status;
    std::string printed;
};

Answer answer(std::initializer_list<const char*> words) {
    std::vector<const char*> argv{"abonex"};
    argv.insert(argv.end(), words);
    std::ostringstream out;
    Answer result;
    result.status = answerCommandLine(static_cast<int>(argv.size()), argv.data(), out);
    result.printed = out.str();
    return result;
}

// The program run as from a terminal without any display.
struct Run {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString out;
    QString err;
};

Run runWithoutDisplay(const QStringList& arguments, const QString& locale = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!locale.isEmpty()) env.insert(QStringLiteral("LANG"), locale);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QString::fromLatin1(name));
    }
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ABONEX_PROGRAM), arguments);
    Run run;
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitCode();
    run.exitStatus = program.exitStatus();
    run.out = QString::fromUtf8(program.readAllStandardOutput());
    run.err = QString::fromUtf8(program.readAllStandardError());
    return run;
}

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
  private slots:
    void helpAndVersionAreAnsweredWhereverTheyStand() {
        for (const auto& words : std::vector<std::vector<const char*>>{
                 {"--help"}, {"-h"}, {"-style", "fusion", "--help"}}) {
            std::vector<const char*> argv{"abonex"};
            argv.insert(argv.end(), words.begin(), words.end());
            std::ostringstream out;
            const auto status = answerCommandLine(static_cast<int>(argv.size()), argv.data(), out);
            QCOMPARE(status, std::optional<int>(0));
            // The tests run under the C locale: the help is Russian, the window's language.
            QVERIFY(out.str().starts_with("использование: abonex [--help | --version]\n"));
        }
        const Answer version = answer({"--version"});
        QCOMPARE(version.status, std::optional<int>(0));
        QCOMPARE(version.printed, std::string("abonex (Абонекс) 4.0\n"));
    }

    void everyOtherCommandLineStartsTheWindow() {
        // No arguments, the toolkit's own, and words after "--" are none of ours.
        for (const Answer& start :
             {answer({}), answer({"-platform", "offscreen"}), answer({"--", "--help"})}) {
            QCOMPARE(start.status, std::nullopt);
            QCOMPARE(start.printed, std::string());
        }
    }

    void aWrongCommandLineGetsItsUsageWithoutADisplay() {
        // It aborted in the platform plug-in (status 134) before it looked at the arguments.
        const Run bogus = runWithoutDisplay({QStringLiteral("--bogus")});
        QCOMPARE(bogus.exitStatus, QProcess::NormalExit);
        QCOMPARE(bogus.exitCode, 2);
        QCOMPARE(bogus.err, QStringLiteral("abonex: unknown argument \"--bogus\"\n"
                                           "usage: abonex [--table TABLE [--record N]]\n"));
        QCOMPARE(bogus.out, QString());
        // A folder that is not there is named; it was told to reinstall the package.
        const Run missing =
            runWithoutDisplay({QStringLiteral("--table"), QStringLiteral("/no/such/Phone.DBF")});
        QCOMPARE(missing.exitCode, 2);
        QCOMPARE(
            missing.err,
            QStringLiteral("abonex: no folder \"/no/such/\" for --table \"/no/such/Phone.DBF\"\n"
                           "usage: abonex [--table TABLE [--record N]]\n"));
        QTemporaryDir empty;
        const QString table = empty.path() + QStringLiteral("/Org.dbf");
        const Run noTable = runWithoutDisplay({QStringLiteral("--table"), table});
        QCOMPARE(noTable.exitCode, 2);
        QVERIFY2(noTable.err.startsWith(QStringLiteral("abonex: no table \"") + table + u'"'),
                 qPrintable(noTable.err));
        QFile org(table);
        QVERIFY(org.open(QIODevice::WriteOnly));
        org.close();
        const Run notADirectory = runWithoutDisplay({QStringLiteral("--table"), table});
        QCOMPARE(notADirectory.exitCode, 2);
        QVERIFY2(notADirectory.err.startsWith(QStringLiteral("abonex: \"") + empty.path() +
                                              QStringLiteral("/\" holds no directory of the "
                                                             "program: it needs Phone.DBF, "
                                                             "Phone.MDX and EULA.txt\n")),
                 qPrintable(notADirectory.err));
    }

    void onlyOneDashWordsAreLeftToTheToolkit() {
        QVERIFY(mayHoldToolkitOptions({QStringLiteral("-platform"), QStringLiteral("xcb")}));
        QVERIFY(mayHoldToolkitOptions({QStringLiteral("--table"), QStringLiteral("/t/Phone.DBF"),
                                       QStringLiteral("-style"), QStringLiteral("fusion")}));
        QVERIFY(!mayHoldToolkitOptions({QStringLiteral("--bogus")}));
        QVERIFY(!mayHoldToolkitOptions({QStringLiteral("-")}));
        QVERIFY(!mayHoldToolkitOptions({QStringLiteral("--"), QStringLiteral("-x")}));
        QVERIFY(!mayHoldToolkitOptions({}));
        QCOMPARE(startFolderProblem(StartRequest{}), QString());
    }

    void theProgramAnswersWithoutADisplay() {
        // Before, the application was made first: without a display it aborted (exit 134).
        const Run help = runWithoutDisplay({QStringLiteral("--help")});
        QCOMPARE(help.exitStatus, QProcess::NormalExit);
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(
            help.out.startsWith(QStringLiteral("использование: abonex [--help | --version]\n")),
            qPrintable(help.out + help.err));
        QVERIFY(help.out.contains(QStringLiteral("--version     показать версию и выйти")));
        // The same program under an English locale answers in English.
        const Run english =
            runWithoutDisplay({QStringLiteral("--help")}, QStringLiteral("en_US.UTF-8"));
        QCOMPARE(english.exitCode, 0);
        QVERIFY2(english.out.startsWith(QStringLiteral("usage: abonex [--help | --version]\n")),
                 qPrintable(english.out + english.err));
        QVERIFY(english.out.contains(QStringLiteral("--version     show the version and exit")));
        const Run version = runWithoutDisplay({QStringLiteral("--version")});
        QCOMPARE(version.exitStatus, QProcess::NormalExit);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("abonex (Абонекс) 4.0\n"));
        QCOMPARE(version.err, QString());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)

#include "command_line_test.moc"
