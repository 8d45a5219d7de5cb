// The Debian package as a user's machine receives it: made with CPack from this build tree into
// a temporary folder, read back with dpkg-deb and checked with the desktop-entry, AppStream,
// manual-page and lintian checkers. Nothing is installed: the maintainer scripts run against an
// unpacked copy of the package (through DPKG_ROOT, as dpkg gives it) with the commands that
// change the system's groups and dpkg's overrides replaced by recorders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "engine/file/byte_order.h"
#include "tests/support/session_bus.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::runCommand;
using test::shellQuote;
using test::TempDir;

const std::string kProgramDir = ABONEX_PROGRAM_DIR;
const std::string kVersion = ABONEX_VERSION;
const std::string kSearchBusName = ABONEX_SEARCH_BUS_NAME;
const std::string kServiceFile = "/usr/share/dbus-1/services/" + kSearchBusName + ".service";
const std::string kGnomeSearchFile =
    "/usr/share/gnome-shell/search-providers/abonex-search-provider.ini";
const std::string kKRunnerFile = "/usr/share/krunner/dbusplugins/abonex.desktop";
constexpr std::array<const char*, 6> kTableFiles = {"Phone.DBF", "Phone.MDX", "Org.dbf",
                                                    "Org.MDX",   "Favor.dbf", "Favor.MDX"};

std::string readText(const std::string& path) {
    std::vector<uint8_t> bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

mode_t modeOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return static_cast<mode_t>(-1);
    return status.st_mode & 07777;
}

// One line of `dpkg-deb -c`: "-rw-r--r-- root/root 1330 2026-01-01 00:00 ./opt/abonex/EULA.txt",
// a link ending in "-> TARGET". Kept by the path without "." and without a trailing "/".
struct Entry {
    std::string mode;
    std::string owner;
    std::string target;
};

std::map<std::string, Entry> parseListing(const std::string& text) {
    std::map<std::string, Entry> entries;
    for (const std::string& line : lines(text)) {
        std::istringstream words(line);
        Entry entry;
        std::string size, date, time, path, arrow;
        words >> entry.mode >> entry.owner >> size >> date >> time >> path;
        if (words >> arrow && arrow == "->") words >> entry.target;
        if (path.starts_with("./")) path.erase(0, 1);
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        entries[path] = entry;
    }
    return entries;
}

// The package is made once; every case reads it.
class PackageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_work = new TempDir;
        const std::string out = s_work->file("out");
        CommandResult made = runCommand(shellQuote(ABONEX_CPACK) + " -G DEB --config " +
                                        shellQuote(ABONEX_CPACK_CONFIG) + " -B " + shellQuote(out));
        s_makeLog = made.out + made.err;
        const std::string arch = firstLine(runCommand("dpkg --print-architecture").out);
        s_packageName = "abonex_" + kVersion + "_" + arch + ".deb";
        if (made.status != 0) return;
        for (const auto& file : fs::directory_iterator(out)) {
            if (file.path().extension() == ".deb") s_made.push_back(file.path().filename());
        }
        if (!fs::exists(out + "/" + s_packageName)) return;
        s_deb = out + "/" + s_packageName;
        s_root = s_work->file("root");
        runCommand("dpkg-deb -x " + shellQuote(s_deb) + " " + shellQuote(s_root));
        s_listing = parseListing(runCommand("dpkg-deb -c " + shellQuote(s_deb)).out);
    }
    static void TearDownTestSuite() {
        delete s_work;
        s_work = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(s_deb.empty()) << "no package was made:\n" << s_makeLog; }

    static std::string field(const std::string& name) {
        return firstLine(runCommand("dpkg-deb -f " + shellQuote(s_deb) + " " + name).out);
    }
    static bool listed(const std::string& path) { return s_listing.count(path) != 0; }

    static TempDir* s_work;
    static std::string s_makeLog;
    static std::string s_packageName;
    static std::vector<std::string> s_made;
    static std::string s_deb;
    static std::string s_root;  // the package unpacked
    static std::map<std::string, Entry> s_listing;
};

TempDir* PackageTest::s_work = nullptr;
std::string PackageTest::s_makeLog;
std::string PackageTest::s_packageName;
std::vector<std::string> PackageTest::s_made;
std::string PackageTest::s_deb;
std::string PackageTest::s_root;
std::map<std::string, Entry> PackageTest::s_listing;

TEST_F(PackageTest, OnePackageNamedForTheVersionAndTheMachine) {
    EXPECT_EQ(s_made, std::vector<std::string>{s_packageName});
    EXPECT_EQ(field("Package"), "abonex");
    EXPECT_EQ(field("Version"), kVersion);
    EXPECT_EQ(field("Architecture"), firstLine(runCommand("dpkg --print-architecture").out));
}

TEST_F(PackageTest, ListingHoldsTheProgramFolderTheLinksAndTheDesktopFiles) {
    struct Expected {
        std::string path;
        std::string mode;
        std::string target;
    };
    const std::vector<Expected> expected = {
        {kProgramDir, "drwxr-xr-x", ""},
        {kProgramDir + "/abonex", "-rwxr-xr-x", ""},
        {kProgramDir + "/abonex-db", "-rwxr-xr-x", ""},
        {kProgramDir + "/EULA.txt", "-rw-r--r--", ""},
        {kProgramDir + "/abonex-search-provider", "-rwxr-xr-x", ""},
        {kServiceFile, "-rw-r--r--", ""},
        {kGnomeSearchFile, "-rw-r--r--", ""},
        {kKRunnerFile, "-rw-r--r--", ""},
        {"/usr/bin/abonex", "lrwxrwxrwx", kProgramDir + "/abonex"},
        {"/usr/bin/abonex-db", "lrwxrwxrwx", kProgramDir + "/abonex-db"},
        {"/usr/share/applications/abonex.desktop", "-rw-r--r--", ""},
        {"/usr/share/metainfo/example.abonex.abonex.metainfo.xml", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/16x16/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/32x32/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/48x48/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/64x64/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/128x128/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/256x256/apps/abonex.png", "-rw-r--r--", ""},
        {"/usr/share/icons/hicolor/scalable/apps/abonex.svg", "-rw-r--r--", ""},
        {"/usr/share/man/man1/abonex.1.gz", "-rw-r--r--", ""},
        {"/usr/share/man/man1/abonex-db.1.gz", "-rw-r--r--", ""},
        {"/usr/share/man/ru/man1/abonex.1.gz", "-rw-r--r--", ""},
        {"/usr/share/doc/abonex/copyright", "-rw-r--r--", ""},
        {"/usr/share/doc/abonex/changelog.gz", "-rw-r--r--", ""},
    };
    for (const Expected& want : expected) {
        ASSERT_TRUE(listed(want.path)) << want.path;
        const Entry& entry = s_listing.at(want.path);
        EXPECT_EQ(entry.mode, want.mode) << want.path;
        EXPECT_EQ(entry.target, want.target) << want.path;
    }
    // The package never carries a table: unpacking one over an upgraded directory would
    // replace the users' data. Nothing is owned by another user, set-id or world-writable.
    const std::regex table(R"(.*\.(dbf|mdx|dbt)$)", std::regex::icase);
    for (const auto& [path, entry] : s_listing) {
        EXPECT_FALSE(std::regex_match(path, table)) << path;
        EXPECT_EQ(entry.owner, "root/root") << path;
        if (entry.mode[0] == 'l') continue;
        EXPECT_EQ(entry.mode.find_first_of("sStT"), std::string::npos) << path;
        EXPECT_NE(entry.mode[8], 'w') << path;
    }
}

TEST_F(PackageTest, DependenciesAreComputedFromTheBinariesAndNameWhatTheyCannotShow) {
    const std::string depends = field("Depends");
    // Versioned entries are what the shared-library scan gives.
    for (const char* library : {"libc6 (", "libstdc++6 (", "libqt6core6 (", "libqt6widgets6 ("}) {
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    }
    // The window's platform plug-in is loaded at run time, the group is made by addgroup.
    for (const char* package : {"qt6-qpa-plugins", "adduser"}) {
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    }
}

TEST_F(PackageTest, DesktopEntryPassesTheValidatorAndStartsTheLinkedProgram) {
    const std::string entry = s_root + "/usr/share/applications/abonex.desktop";
    CommandResult checked = runCommand("desktop-file-validate " + shellQuote(entry));
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(checked.out + checked.err, "");
    const std::string text = readText(entry);
    std::smatch exec, icon;
    ASSERT_TRUE(std::regex_search(text, exec, std::regex("\nExec=([^ \n]+)")));
    ASSERT_TRUE(std::regex_search(text, icon, std::regex("\nIcon=([^\n]+)")));
    EXPECT_TRUE(listed("/usr/bin/" + exec[1].str())) << exec[1];
    for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        EXPECT_TRUE(listed("/usr/share/icons/hicolor/" + std::string(size) + "/apps/" +
                           icon[1].str() + ".png"))
            << size;
    }
    EXPECT_TRUE(listed("/usr/share/icons/hicolor/scalable/apps/" + icon[1].str() + ".svg"));
}

TEST_F(PackageTest, MetadataPassesTheValidatorAndMatchesThePackage) {
    const std::string metainfo = s_root + "/usr/share/metainfo/example.abonex.abonex.metainfo.xml";
    CommandResult checked = runCommand("appstreamcli validate --no-net " + shellQuote(metainfo));
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    const std::string text = readText(metainfo);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(text, match,
                                  std::regex(R"re(<launchable type="desktop-id">([^<]+)<)re")));
    EXPECT_TRUE(listed("/usr/share/applications/" + match[1].str())) << match[1];
    ASSERT_TRUE(std::regex_search(text, match, std::regex(R"re(<release version="([^"]+)")re")));
    EXPECT_EQ(match[1].str(), kVersion) << "the newest release named in the metadata";
    const std::regex binary("<binary>([^<]+)</binary>");
    int binaries = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), binary), end; it != end; ++it) {
        EXPECT_TRUE(listed("/usr/bin/" + (*it)[1].str())) << (*it)[1];
        ++binaries;
    }
    EXPECT_EQ(binaries, 2);
}

// The value of `key` in an INI-style text ("Key=value" lines), "" when it has none.
std::string iniValue(const std::string& text, const std::string& key) {
    for (const std::string& line : lines(text)) {
        if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
    }
    return "";
}

TEST_F(PackageTest, DesktopSearchFilesNameOneAnotherAndTheProvider) {
    const std::string service = readText(s_root + kServiceFile);
    EXPECT_EQ(firstLine(service), "[D-BUS Service]");
    EXPECT_EQ(iniValue(service, "Name"), kSearchBusName);
    EXPECT_EQ(iniValue(service, "Exec"), kProgramDir + "/abonex-search-provider");

    const std::string gnome = readText(s_root + kGnomeSearchFile);
    EXPECT_EQ(firstLine(gnome), "[Shell Search Provider]");
    EXPECT_EQ(iniValue(gnome, "BusName"), kSearchBusName);
    EXPECT_EQ(iniValue(gnome, "ObjectPath"), ABONEX_GNOME_SEARCH_PATH);
    EXPECT_EQ(iniValue(gnome, "Version"), "2");
    EXPECT_TRUE(listed("/usr/share/applications/" + iniValue(gnome, "DesktopId")));

    const std::string krunner = s_root + kKRunnerFile;
    CommandResult checked = runCommand("desktop-file-validate " + shellQuote(krunner));
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(checked.out + checked.err, "");
    const std::string runner = readText(krunner);
    EXPECT_EQ(iniValue(runner, "X-Plasma-API"), "DBus");
    EXPECT_EQ(iniValue(runner, "X-Plasma-DBusRunner-Service"), kSearchBusName);
    EXPECT_EQ(iniValue(runner, "X-Plasma-DBusRunner-Path"), ABONEX_KRUNNER_PATH);
}

// The packaged provider, started by a private session bus from the packaged service file (its
// program path moved into the unpacked copy), answers both desktops on a demo town made by the
// packaged tool.
TEST_F(PackageTest, DesktopSearchAnswersGnomeShellAndKRunnerFromThePackagedFiles) {
    TempDir work;
    const std::string town = work.file("town");
    CommandResult demo =
        runCommand(shellQuote(s_root + kProgramDir + "/abonex-db") + " demo " + shellQuote(town));
    ASSERT_EQ(demo.status, 0) << demo.err;
    const std::string services = work.file("share/dbus-1/services");
    fs::create_directories(services);
    std::string service = readText(s_root + kServiceFile);
    const std::string exec = "Exec=" + kProgramDir;
    ASSERT_NE(service.find(exec), std::string::npos);
    service.replace(service.find(exec), exec.size(), "Exec=" + s_root + kProgramDir);
    test::writeFileBytes(services + "/" + kSearchBusName + ".service",
                         std::vector<uint8_t>(service.begin(), service.end()));
    test::PrivateSessionBus bus(
        work.file("share"), {"ABONEX_DIRECTORY=" + town, "XDG_CONFIG_HOME=" + work.file("cfg")});
    ASSERT_NE(bus.address(), "") << bus.error();

    const std::string gnome = "org.gnome.Shell.SearchProvider2.";
    CommandResult ids = bus.call(kSearchBusName, ABONEX_GNOME_SEARCH_PATH,
                                 gnome + "GetInitialResultSet", {"['петр']"});
    std::smatch first;
    ASSERT_TRUE(std::regex_search(ids.out, first, std::regex(R"(^\(\['(P:\d+)')")))
        << ids.out << ids.err;
    CommandResult metas = bus.call(kSearchBusName, ABONEX_GNOME_SEARCH_PATH,
                                   gnome + "GetResultMetas", {"['" + first[1].str() + "']"});
    EXPECT_TRUE(
        std::regex_search(metas.out, std::regex("'name': <'Петров[^']* — \\d\\d-\\d\\d-\\d\\d'>")))
        << metas.out << metas.err;
    CommandResult matches =
        bus.call(kSearchBusName, ABONEX_KRUNNER_PATH, "org.kde.krunner1.Match", {"петр"});
    EXPECT_EQ(std::regex_search(matches.out, std::regex("'P:\\d+', 'Петров")), true)
        << matches.out << matches.err;
}

TEST_F(PackageTest, EachIconHasTheSizeOfItsFolder) {
    for (unsigned size : {16u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string side = std::to_string(size);
        std::vector<uint8_t> png = test::readFileBytes(s_root + "/usr/share/icons/hicolor/" + side +
                                                       "x" + side + "/apps/abonex.png");
        ASSERT_GE(png.size(), 24u) << side;
        // The IHDR chunk follows the 8-byte signature: length, "IHDR", width, height (big end).
        EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR") << side;
        EXPECT_EQ(getBE32(&png[16]), size) << "width of the " << side << " icon";
        EXPECT_EQ(getBE32(&png[20]), size) << "height of the " << side << " icon";
    }
}

TEST_F(PackageTest, ManualPagesRenderCleanlyAndTheToolsPageNamesEveryCommand) {
    const std::string pages = s_root + "/usr/share/man/man1/";
    // The window's page is there in Russian too, with the same options.
    const std::pair<std::string, const char*> rendering[] = {
        {pages + "abonex.1.gz", "NAME"},
        {pages + "abonex-db.1.gz", "NAME"},
        {s_root + "/usr/share/man/ru/man1/abonex.1.gz", "ИМЯ"},
    };
    for (const auto& [page, heading] : rendering) {
        CommandResult rendered =
            runCommand("LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l " +
                       shellQuote(page));
        EXPECT_EQ(rendered.status, 0) << page;
        EXPECT_EQ(rendered.err, "") << page;
        EXPECT_NE(rendered.out.find(heading), std::string::npos) << page;
        if (page.find("abonex-db") != std::string::npos) continue;
        for (const char* option : {"--help", "--version", "--table", "--record", "LANG"}) {
            EXPECT_NE(rendered.out.find(option), std::string::npos) << page << " " << option;
        }
    }
    const std::string manual =
        runCommand("LC_ALL=C.UTF-8 MANWIDTH=200 man -l " + shellQuote(pages + "abonex-db.1.gz"))
            .out;
    const std::string help =
        runCommand(shellQuote(s_root + kProgramDir + "/abonex-db") + " help").out;
    std::set<std::string> commands;
    for (const std::string& line : lines(help)) {
        std::smatch match;
        if (std::regex_match(line, match, std::regex(R"(  abonex-db (\S+).*)"))) {
            commands.insert(match[1]);
        }
    }
    EXPECT_GE(commands.size(), 10u) << help;
    for (const std::string& command : commands) {
        // Each command is a tagged paragraph of the COMMANDS section.
        EXPECT_TRUE(std::regex_search(manual, std::regex("\n {7}" + command + "( |\n)")))
            << "abonex-db " << command << " is missing from the manual page";
    }
}

TEST_F(PackageTest, LintianFindsNoErrorAndEveryWarningKeptIsExplained) {
    CommandResult checked =
        runCommand("lintian --fail-on error --no-tag-display-limit " + shellQuote(s_deb));
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    const std::string readme = readText(test::sourceDir() + "/README.md");
    for (const std::string& line : lines(checked.out)) {
        std::smatch match;
        EXPECT_FALSE(line.starts_with("E:")) << line;
        if (std::regex_match(line, match, std::regex(R"(W: abonex: (\S+).*)"))) {
            EXPECT_NE(readme.find("`" + match[1].str() + "`"), std::string::npos)
                << "the README does not explain the lintian warning " << match[1];
        }
    }
}

// The maintainer scripts, run on an unpacked copy of the package. getent, addgroup and
// dpkg-statoverride are recorders: they log their arguments and keep "the group exists" and
// "the override is set" as files; setting the override applies its mode, as dpkg does.
class MaintainerScriptsTest : public PackageTest {
  protected:
    void SetUp() override {
        PackageTest::SetUp();
        if (HasFatalFailure()) return;
        m_root = m_dir.file("root");
        m_folder = m_root + kProgramDir;
        m_control = m_dir.file("control");
        m_stubs = m_dir.file("stubs");
        m_state = m_dir.file("state");
        fs::create_directories(m_stubs);
        fs::create_directories(m_state);
        ASSERT_EQ(runCommand("dpkg-deb -x " + shellQuote(s_deb) + " " + shellQuote(m_root)).status,
                  0);
        ASSERT_EQ(
            runCommand("dpkg-deb -e " + shellQuote(s_deb) + " " + shellQuote(m_control)).status, 0);
        stub("getent",
             "[ \"$*\" = 'group abonex' ] && [ -e \"$STUB_STATE/group\" ] && "
             "echo 'abonex:x:999:' && exit 0\nexit 2\n");
        stub("addgroup", "touch \"$STUB_STATE/group\"\n");
        stub("dpkg-statoverride",
             "case \"$1\" in\n"
             "--list) [ -e \"$STUB_STATE/override\" ] ;;\n"
             "--update) [ \"$2\" = --add ] || exit 2\n"
             "  touch \"$STUB_STATE/override\"; chmod \"$5\" \"$DPKG_ROOT$6\" ;;\n"
             "--remove) rm \"$STUB_STATE/override\" ;;\n"
             "*) exit 2 ;;\n"
             "esac\n");
    }
    void stub(const std::string& name, const std::string& body) {
        const std::string path = m_stubs + "/" + name;
        const std::string text =
            "#!/bin/sh\necho \"" + name + " $*\" >> \"$STUB_STATE/log\"\n" + body;
        test::writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        fs::permissions(path, fs::perms::owner_all);
    }
    // Runs a maintainer script as dpkg would, with the umask most systems give root.
    CommandResult script(const std::string& name, const std::string& arguments) {
        return runCommand("(umask 022 && cd / && PATH=" + shellQuote(m_stubs) +
                          ":\"$PATH\" STUB_STATE=" + shellQuote(m_state) +
                          " DPKG_ROOT=" + shellQuote(m_root) + " sh " +
                          shellQuote(m_control + "/" + name) + " " + arguments + ")");
    }
    // The recorders' log since the last call.
    std::vector<std::string> takeLog() {
        const std::string path = m_state + "/log";
        if (!fs::exists(path)) return {};
        std::vector<std::string> log = lines(readText(path));
        fs::remove(path);
        return log;
    }
    std::map<std::string, std::vector<uint8_t>> tableBytes() {
        std::map<std::string, std::vector<uint8_t>> bytes;
        for (const char* name : kTableFiles)
            bytes[name] = test::readFileBytes(m_folder + "/" + name);
        return bytes;
    }
    std::set<std::string> folderNames() {
        std::set<std::string> names;
        for (const auto& file : fs::directory_iterator(m_folder)) {
            names.insert(file.path().filename());
        }
        return names;
    }
    CommandResult tool(const std::string& arguments) {
        return runCommand(shellQuote(m_folder + "/abonex-db") + " " + arguments);
    }

    TempDir m_dir;
    std::string m_root, m_folder, m_control, m_stubs, m_state;
};

TEST_F(MaintainerScriptsTest, FirstConfigureMakesTheGroupTheSharedFolderAndAnEmptyDirectory) {
    CommandResult configured = script("postinst", "configure");
    ASSERT_EQ(configured.status, 0) << configured.out << configured.err;
    EXPECT_EQ(takeLog(), (std::vector<std::string>{
                             "getent group abonex",
                             "addgroup --system --quiet abonex",
                             "dpkg-statoverride --list " + kProgramDir,
                             "dpkg-statoverride --update --add root abonex 2775 " + kProgramDir,
                         }));
    EXPECT_EQ(configured.out, "abonex: created an empty directory in " + kProgramDir + "\n");
    // The tool ran from the shared folder: the group may write every file it made.
    for (const char* name : kTableFiles) {
        EXPECT_EQ(modeOf(m_folder + "/" + name), 0664u) << name;
    }
    for (const char* table : {"Phone.DBF", "Org.dbf", "Favor.dbf"}) {
        CommandResult info = tool("info " + shellQuote(m_folder + "/" + table));
        EXPECT_NE(info.out.find("records:        0"), std::string::npos) << table << info.err;
        CommandResult check = tool("check " + shellQuote(m_folder + "/" + table));
        EXPECT_EQ(check.status, 0) << table << check.out << check.err;
    }
}

TEST_F(MaintainerScriptsTest, ConfigureLeavesAFolderHoldingAnyOfTheSixFilesAsItIs) {
    const std::set<std::string> packaged = folderNames();
    // Each of the six, in a letter case other than the program's own.
    for (const char* name :
         {"phone.dbf", "PHONE.MDX", "ORG.DBF", "org.mdx", "FAVOR.DBF", "favor.Mdx"}) {
        const std::string path = m_folder + "/" + name;
        const std::string text = std::string("kept as it was: ") + name;
        const std::vector<uint8_t> bytes(text.begin(), text.end());
        test::writeFileBytes(path, bytes);
        CommandResult configured = script("postinst", "configure");
        EXPECT_EQ(configured.status, 0) << name << configured.err;
        EXPECT_EQ(configured.out, "") << name;
        std::set<std::string> expected = packaged;
        expected.insert(name);
        EXPECT_EQ(folderNames(), expected) << name;
        EXPECT_EQ(test::readFileBytes(path), bytes) << name;
        fs::remove(path);
    }
    // A directory kept on a share is linked into the folder: a link is a table that is there,
    // even while the share is not mounted.
    const std::string share = m_dir.file("share");
    fs::create_directories(share);
    test::writeFileBytes(share + "/Phone.DBF", {'k', 'e', 'p', 't'});
    for (const std::string& target : {share + "/Phone.DBF", m_dir.file("unmounted/Phone.DBF")}) {
        fs::create_symlink(target, m_folder + "/Phone.DBF");
        CommandResult configured = script("postinst", "configure");
        EXPECT_EQ(configured.status, 0) << target << configured.err;
        std::set<std::string> expected = packaged;
        expected.insert("Phone.DBF");
        EXPECT_EQ(folderNames(), expected) << target;
        fs::remove(m_folder + "/Phone.DBF");
    }
    EXPECT_EQ(test::readFileBytes(share + "/Phone.DBF"),
              (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
}

TEST_F(MaintainerScriptsTest, ConfiguringAgainKeepsTheGroupTheOverrideAndTheTables) {
    ASSERT_EQ(script("postinst", "configure").status, 0);
    takeLog();
    const auto before = tableBytes();
    CommandResult again = script("postinst", "configure " + kVersion);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"getent group abonex",
                                                   "dpkg-statoverride --list " + kProgramDir}));
    EXPECT_EQ(tableBytes(), before);
}

TEST_F(MaintainerScriptsTest, RemovingAndPurgingKeepTheTables) {
    ASSERT_EQ(script("postinst", "configure").status, 0);
    const std::string csv = m_dir.file("rows.csv");
    const std::string rows = "Петров П.П.,21-00-01,,кв. 5\n";
    test::writeFileBytes(csv, std::vector<uint8_t>(rows.begin(), rows.end()));
    ASSERT_EQ(tool("import " + shellQuote(m_folder + "/Phone.DBF") + " " + shellQuote(csv)).status,
              0);
    takeLog();
    const auto before = tableBytes();

    CommandResult removed = script("postrm", "remove");
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(takeLog(), std::vector<std::string>{});
    EXPECT_EQ(tableBytes(), before);

    CommandResult purged = script("postrm", "purge");
    EXPECT_EQ(purged.status, 0) << purged.err;
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"dpkg-statoverride --list " + kProgramDir,
                                                   "dpkg-statoverride --remove " + kProgramDir}));
    EXPECT_EQ(tableBytes(), before);
    EXPECT_NE(tool("search " + shellQuote(m_folder + "/Phone.DBF") + " --name Пет")
                  .out.find("Петров П.П."),
              std::string::npos);
}

}  // namespace
}  // namespace abonex
