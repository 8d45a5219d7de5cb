// The desktop search's D-Bus interfaces on a private session bus, asked with `gdbus call` as the
// desktops ask: the interfaces in this process with a recorder in place of the desktop (what
// activation opens or copies), and the real program started by the bus from a service file
// (its answers, the window it starts, its end when idle).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "search_provider/desktop_actions.h"
#include "search_provider/desktop_provider.h"
#include "search_provider/provider_bus.h"
#include "search_provider/provider_folder.h"
#include "tests/search_provider/provider_fixture.h"
#include "tests/support/session_bus.h"

namespace abonex {
namespace {

using test::PrivateSessionBus;
using test::TempDir;

const std::string kBusName = ABONEX_SEARCH_BUS_NAME;
const std::string kGnomePath = ABONEX_GNOME_SEARCH_PATH;
const std::string kKRunnerPath = ABONEX_KRUNNER_PATH;
const std::string kGnome = "org.gnome.Shell.SearchProvider2.";
const std::string kKRunner = "org.kde.krunner1.";

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "dbus_provider_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// What the desktop was asked to do.
class RecordingActions : public DesktopActions {
  public:
    bool windowAvailable() const override { return available; }
    bool openWindow(const QString& tablePath, int record) override {
        opened.push_back({tablePath.toStdString(), record});
        return opens;
    }
    bool copyText(const QString& text) override {
        copied.push_back(text.toStdString());
        return true;
    }

    bool available = true;
    bool opens = true;
    std::vector<std::pair<std::string, int>> opened;
    std::vector<std::string> copied;
};

// The interfaces served by this process on a private bus; calls are made by gdbus while this
// process's event loop answers them.
class InProcessProviderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        test::writeTownTables(m_tables);
        ASSERT_NE(m_bus.address(), "") << m_bus.error();
        m_connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QString::fromStdString(m_bus.address()), QStringLiteral("in-process")));
        ASSERT_TRUE(m_connection->isConnected());
        m_search = std::make_unique<DesktopSearch>(folder());
        m_provider = std::make_unique<DesktopProvider>(*m_search, m_actions, 0);
        ASSERT_EQ(publishProviders(*m_connection, *m_provider, &m_owner), QString());
    }
    void TearDown() override {
        if (m_connection) {
            m_connection->unregisterService(QString::fromStdString(kBusName));
            m_connection->unregisterObject(QString::fromStdString(kGnomePath));
            m_connection->unregisterObject(QString::fromStdString(kKRunnerPath));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("in-process"));
    }
    std::string folder() const { return m_tables.path() + "/"; }

    // gdbus `command` (call, introspect) on the private bus, run beside this process's event
    // loop, which answers it.
    std::string gdbus(const QString& command, const QStringList& arguments) {
        QProcess process;
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        process.start(QStringLiteral("gdbus"),
                      QStringList{command, QStringLiteral("--address"),
                                  QString::fromStdString(m_bus.address())} +
                          arguments);
        loop.exec();
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput().toStdString();
    }
    std::string call(const std::string& path, const std::string& method,
                     const QStringList& arguments = {}) {
        return gdbus(QStringLiteral("call"),
                     QStringList{QStringLiteral("--dest"), QString::fromStdString(kBusName),
                                 QStringLiteral("--object-path"), QString::fromStdString(path),
                                 QStringLiteral("--method"), QString::fromStdString(method)} +
                         arguments);
    }

    TempDir m_tables, m_share;
    PrivateSessionBus m_bus{m_share.path()};
    std::unique_ptr<QDBusConnection> m_connection;
    RecordingActions m_actions;
    std::unique_ptr<DesktopSearch> m_search;
    std::unique_ptr<DesktopProvider> m_provider;
    QObject m_owner;
};

int count(const std::string& text, const std::string& piece) {
    int found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++found;
    return found;
}

TEST_F(InProcessProviderTest, GnomeShellGetsIdsAndTheirMetas) {
    EXPECT_EQ(call(kGnomePath, kGnome + "GetInitialResultSet", {"['петр']"}),
              "(['P:1', 'P:2', 'P:3', 'O:1'],)\n");
    EXPECT_EQ(call(kGnomePath, kGnome + "GetSubsearchResultSet", {"['P:1']", "['петров', '22']"}),
              "(['P:1'],)\n");
    const std::string metas =
        call(kGnomePath, kGnome + "GetResultMetas", {"['P:1', 'P:3', 'O:1', 'P:99']"});
    EXPECT_EQ(metas,
              "([{'gicon': <'abonex'>, 'id': <'P:1'>, 'name': <'Петров П.П. — 22-11-00'>}, "
              "{'gicon': <'abonex'>, 'id': <'P:3'>, 'name': <'Петровский'>}, "
              "{'gicon': <'abonex'>, 'id': <'O:1'>, 'name': <'Петровский рынок — "
              "11-22-33'>}],)\n");

    // The variant that found a row is its description.
    EXPECT_EQ(call(kGnomePath, kGnome + "GetInitialResultSet", {"['елкин']"}), "(['P:4'],)\n");
    EXPECT_NE(call(kGnomePath, kGnome + "GetResultMetas", {"['P:4']"})
                  .find("'description': <'Найдено без учёта Ё'>"),
              std::string::npos);
}

TEST_F(InProcessProviderTest, GnomeShellActivationOpensTheWindowOnTheRowOrCopiesTheNumber) {
    call(kGnomePath, kGnome + "GetInitialResultSet", {"['сидоров']"});
    call(kGnomePath, kGnome + "ActivateResult", {"P:5", "['сидоров']", "0"});
    EXPECT_EQ(m_actions.opened,
              (std::vector<std::pair<std::string, int>>{{folder() + "Phone.DBF", 5}}));
    EXPECT_TRUE(m_actions.copied.empty());

    // The window cannot be opened: the number is copied, and the Shell is told to copy it too.
    m_actions.opens = false;
    m_actions.available = false;
    call(kGnomePath, kGnome + "ActivateResult", {"O:2", "['школа']", "0"});
    EXPECT_EQ(m_actions.copied, std::vector<std::string>{"44-55-66"});
    EXPECT_NE(call(kGnomePath, kGnome + "GetResultMetas", {"['O:2']"})
                  .find("'clipboardText': <'44-55-66'>"),
              std::string::npos);
    // An id of no row does nothing at all.
    m_actions.opened.clear();
    call(kGnomePath, kGnome + "ActivateResult", {"P:77", "['x']", "0"});
    EXPECT_TRUE(m_actions.opened.empty());
    EXPECT_EQ(m_actions.copied.size(), 1u);

    // "Show all" opens the window on the persons.
    m_actions.opens = true;
    call(kGnomePath, kGnome + "LaunchSearch", {"['петр']", "0"});
    EXPECT_EQ(m_actions.opened,
              (std::vector<std::pair<std::string, int>>{{folder() + "Phone.DBF", 0}}));
}

TEST_F(InProcessProviderTest, KRunnerGetsMatchesActionsAndRuns) {
    const std::string matches = call(kKRunnerPath, kKRunner + "Match", {"Gtnhjd 22-1"});
    EXPECT_EQ(matches,
              "([('P:1', 'Петров П.П. — 22-11-00', 'abonex', 30, 1.0, "
              "{'subtext': <'Найдено по раскладке: Петров'>})],)\n");
    EXPECT_EQ(count(call(kKRunnerPath, kKRunner + "Match", {"петр"}), "'abonex', 30,"), 4);
    EXPECT_EQ(call(kKRunnerPath, kKRunner + "Actions"),
              "([('copy', 'Копировать номер', 'edit-copy')],)\n");

    call(kKRunnerPath, kKRunner + "Run", {"O:1", ""});
    EXPECT_EQ(m_actions.opened,
              (std::vector<std::pair<std::string, int>>{{folder() + "Org.dbf", 1}}));
    call(kKRunnerPath, kKRunner + "Run", {"P:1", "copy"});
    EXPECT_EQ(m_actions.copied, std::vector<std::string>{"22-11-00"});
    m_actions.opens = false;
    call(kKRunnerPath, kKRunner + "Run", {"P:2", ""});
    EXPECT_EQ(m_actions.copied, (std::vector<std::string>{"22-11-00", "33-44-55"}));
    call(kKRunnerPath, kKRunner + "Teardown");
}

// The methods of an object as "name: in as, out aa{sv}" from its introspection: the arguments
// in, then the arguments out (a D-Bus signature keeps each kind's order, not their mix).
std::map<std::string, std::string> signatures(const std::string& xml) {
    std::map<std::string, std::string> methods;
    const QRegularExpression method(QStringLiteral(R"re(<method name="(\w+)">(.*?)</method>)re"),
                                    QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression argument(
        QStringLiteral(R"re(<arg (?:name="\w+" )?type="([^"]+)" direction="(in|out)"/>)re"));
    for (auto it = method.globalMatch(QString::fromStdString(xml)); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        QStringList in, out;
        for (auto a = argument.globalMatch(found.captured(2)); a.hasNext();) {
            const QRegularExpressionMatch arg = a.next();
            (arg.captured(2) == u"in" ? in : out) << arg.captured(2) + u' ' + arg.captured(1);
        }
        methods[found.captured(1).toStdString()] =
            (in + out).join(QStringLiteral(", ")).toStdString();
    }
    return methods;
}

TEST_F(InProcessProviderTest, TheMethodsHaveTheTypesTheDesktopsCallWith) {
    const auto introspect = [&](const std::string& path) {
        return signatures(gdbus(
            QStringLiteral("introspect"),
            {QStringLiteral("--xml"), QStringLiteral("--dest"), QString::fromStdString(kBusName),
             QStringLiteral("--object-path"), QString::fromStdString(path)}));
    };
    std::map<std::string, std::string> gnome = introspect(kGnomePath);
    EXPECT_EQ(gnome["GetInitialResultSet"], "in as, out as");
    EXPECT_EQ(gnome["GetSubsearchResultSet"], "in as, in as, out as");
    EXPECT_EQ(gnome["GetResultMetas"], "in as, out aa{sv}");
    EXPECT_EQ(gnome["ActivateResult"], "in s, in as, in u");
    EXPECT_EQ(gnome["LaunchSearch"], "in as, in u");
    std::map<std::string, std::string> krunner = introspect(kKRunnerPath);
    EXPECT_EQ(krunner["Actions"], "out a(sss)");
    EXPECT_EQ(krunner["Match"], "in s, out a(sssida{sv})");
    EXPECT_EQ(krunner["Run"], "in s, in s");
    EXPECT_EQ(krunner["Teardown"], "");
    EXPECT_EQ(krunner.count("Teardown"), 1u);
}

std::string readText(const std::string& path) {
    std::vector<uint8_t> bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Polls `done` for up to `seconds`; a program started by the bus takes its time.
bool within(int seconds, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The real program, beside a stand-in for the window's program that notes how it was started,
// started by the bus from its service file when the first question comes.
TEST(StartedByTheBus, AnswersOpensTheWindowOnTheRowAndEndsWhenIdle) {
    TempDir tables, program, share, config;
    test::writeTownTables(tables);
    test::writeFileBytes(tables.file("EULA.txt"), {'e', 'u', 'l', 'a'});
    const std::string provider = program.file("abonex-search-provider");
    std::filesystem::copy_file(ABONEX_SEARCH_PROVIDER, provider);
    const std::string started = program.file("started");
    const std::string window = "#!/bin/sh\necho \"$@\" >> '" + started + "'\n";
    test::writeFileBytes(program.file("abonex"),
                         std::vector<uint8_t>(window.begin(), window.end()));
    std::filesystem::permissions(program.file("abonex"), std::filesystem::perms::owner_all);
    std::filesystem::create_directories(share.file("dbus-1/services"));
    const std::string service =
        "[D-BUS Service]\nName=" + kBusName + "\nExec=" + provider + " --idle-seconds 2\n";
    test::writeFileBytes(share.file("dbus-1/services/" + kBusName + ".service"),
                         std::vector<uint8_t>(service.begin(), service.end()));
    PrivateSessionBus bus(share.path(),
                          {"ABONEX_DIRECTORY=" + tables.path(), "DISPLAY=:75",
                           "XDG_CONFIG_HOME=" + config.path(), "QT_QPA_PLATFORM=offscreen"});
    ASSERT_NE(bus.address(), "") << bus.error();
    EXPECT_FALSE(bus.nameHasOwner(kBusName));

    test::CommandResult ids =
        bus.call(kBusName, kGnomePath, kGnome + "GetInitialResultSet", {"['петр']"});
    EXPECT_EQ(ids.out, "(['P:1', 'P:2', 'P:3', 'O:1'],)\n") << ids.err;
    EXPECT_TRUE(bus.nameHasOwner(kBusName));
    test::CommandResult metas =
        bus.call(kBusName, kGnomePath, kGnome + "GetResultMetas", {"['P:1']"});
    EXPECT_EQ(metas.out,
              "([{'gicon': <'abonex'>, 'id': <'P:1'>, 'name': <'Петров П.П. — 22-11-00'>}],)\n");
    test::CommandResult matches = bus.call(kBusName, kKRunnerPath, kKRunner + "Match", {"петр"});
    EXPECT_NE(matches.out.find("('O:1', 'Петровский рынок — 11-22-33', 'abonex', 30,"),
              std::string::npos)
        << matches.out << matches.err;

    EXPECT_EQ(
        bus.call(kBusName, kGnomePath, kGnome + "ActivateResult", {"P:1", "['петр']", "0"}).status,
        0);
    EXPECT_TRUE(within(20, [&] { return std::filesystem::exists(started); }));
    EXPECT_EQ(readText(started), "--table " + tables.path() + "/Phone.DBF --record 1\n");

    // Nobody asks for two seconds: the program ends and gives the name up.
    EXPECT_TRUE(within(30, [&] { return !bus.nameHasOwner(kBusName); }));

    // Started again for the next question; without the program's licence in the folder the
    // window cannot be opened there, so the Shell is asked to copy the number.
    std::filesystem::remove(tables.file("EULA.txt"));
    metas = bus.call(kBusName, kGnomePath, kGnome + "GetResultMetas", {"['P:4']"});
    EXPECT_EQ(metas.out,
              "([{'clipboardText': <'53-87-52'>, 'gicon': <'abonex'>, 'id': <'P:4'>, "
              "'name': <'Ёлкин Е.Е. — 53-87-52'>}],)\n")
        << metas.err;
}

TEST(SystemDesktopActions, TheWindowOpensOnlyWithItsProgramItsFilesAndADisplay) {
    application();
    TempDir program, folder;
    test::writeTownTables(folder);
    test::writeFileBytes(folder.file("EULA.txt"), {'e'});
    const std::string started = program.file("started");
    const std::string window = "#!/bin/sh\necho \"$@\" > '" + started + "'\n";
    const QString programFolder = QString::fromStdString(program.path());
    SystemDesktopActions actions(programFolder, QString::fromStdString(folder.path() + "/"));
    const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", ":75");
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(actions.windowAvailable()) << "no program beside the provider";
    test::writeFileBytes(program.file("abonex"),
                         std::vector<uint8_t>(window.begin(), window.end()));
    EXPECT_FALSE(actions.windowAvailable()) << "a program that cannot be run";
    std::filesystem::permissions(program.file("abonex"), std::filesystem::perms::owner_all);
    EXPECT_TRUE(actions.windowAvailable());
    EXPECT_TRUE(actions.openWindow(QString::fromStdString(folder.file("Org.dbf")), 2));
    EXPECT_TRUE(within(20, [&] { return std::filesystem::exists(started); }));
    EXPECT_TRUE(within(20, [&] {
        return readText(started) == "--table " + folder.file("Org.dbf") + " --record 2\n";
    })) << readText(started);

    qunsetenv("DISPLAY");
    EXPECT_FALSE(actions.windowAvailable()) << "no display";
    EXPECT_FALSE(actions.openWindow(QString::fromStdString(folder.file("Org.dbf")), 2));
    EXPECT_FALSE(actions.copyText(QStringLiteral("22-11-00"))) << "no display to copy on";
    qputenv("WAYLAND_DISPLAY", "wayland-75");
    EXPECT_TRUE(actions.windowAvailable());
    std::filesystem::remove(folder.file("EULA.txt"));
    EXPECT_FALSE(actions.windowAvailable()) << "a folder the window cannot start on";
    display.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
    wayland.isNull() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", wayland);
}

TEST(DesktopSearchFolder, TheEnvironmentThenTheSettingsThenTheProgramFolder) {
    application();
    TempDir config, named, settingsNamed;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(config.path()));
    const QString programFolder = QStringLiteral("/opt/abonex");
    ::unsetenv("ABONEX_DIRECTORY");
    EXPECT_EQ(desktopSearchFolder(programFolder), QStringLiteral("/opt/abonex/"));
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("abonex"),
                           QStringLiteral("abonex"));
        settings.setValue(QStringLiteral("DesktopSearch/Folder"),
                          QString::fromStdString(settingsNamed.path()));
    }
    EXPECT_EQ(desktopSearchFolder(programFolder),
              QString::fromStdString(settingsNamed.path() + "/"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(config.path() + "/abonex/abonex.ini")));
    ::setenv("ABONEX_DIRECTORY", (named.path() + "/").c_str(), 1);
    EXPECT_EQ(desktopSearchFolder(programFolder), QString::fromStdString(named.path() + "/"));
    ::setenv("ABONEX_DIRECTORY", "", 1);
    EXPECT_EQ(desktopSearchFolder(programFolder),
              QString::fromStdString(settingsNamed.path() + "/"));
    ::unsetenv("ABONEX_DIRECTORY");
}

}  // namespace
}  // namespace abonex
