// abonex-db calls: the user's call log as CSV, the newest first, from the folder
// XDG_DATA_HOME names, an empty or missing log, and a damaged one.
#include <sys/stat.h>

#include "directory/call_log.h"
#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

class ToolCallsTest : public ToolTest {
  protected:
    std::string dataHome() const { return m_dir.path() + "/data"; }
    std::string logFolder() const { return dataHome() + "/abonex/"; }
    CommandResult calls(const std::string& words = "") const {
        return runCommand("XDG_DATA_HOME=" + shellQuote(dataHome()) + " " + shellQuote(toolPath()) +
                          " calls" + words);
    }
};

TEST_F(ToolCallsTest, PrintsTheLogNewestFirst) {
    CallLog(logFolder())
        .add({{"20261210", "14:05:00", CallDirection::Incoming, "88172538752", "Петров А.Ж.", 3,
               CallLine::None},
              {"20261210", "14:07:10", CallDirection::Outgoing, "53-87-52", "Аптека, у дома", 0,
               CallLine::Modem},
              {"20261211", "09:00:00", CallDirection::Incoming, "", "", 1, CallLine::None},
              {"20261211", "09:30:00", CallDirection::Outgoing, "+7 (8172) 22-33-44", "", 0,
               CallLine::Desktop}});
    const CommandResult listed = calls();
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(listed.out,
              "DATE,TIME,DIRECTION,NUMBER,NAME,RINGS,LINE\n"
              "2026-12-11,09:30:00,OUT,+7 (8172) 22-33-44,,0,desktop\n"
              "2026-12-11,09:00:00,IN,,,1,\n"
              "2026-12-10,14:07:10,OUT,53-87-52,\"Аптека, у дома\",0,modem\n"
              "2026-12-10,14:05:00,IN,88172538752,Петров А.Ж.,3,\n");
}

TEST_F(ToolCallsTest, NoLogYetIsTheHeaderAloneAndMakesNothing) {
    const CommandResult listed = calls();
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "DATE,TIME,DIRECTION,NUMBER,NAME,RINGS,LINE\n");
    struct stat info {};
    EXPECT_NE(::stat(dataHome().c_str(), &info), 0);
    // Without XDG_DATA_HOME the log is the one under HOME.
    const CommandResult home = runCommand("env -u XDG_DATA_HOME HOME=" + shellQuote(m_dir.path()) +
                                          " " + shellQuote(toolPath()) + " calls");
    EXPECT_EQ(home.status, 0) << home.err;
    CallLog(m_dir.path() + "/.local/share/abonex")
        .add({"20261210", "14:05:00", CallDirection::Incoming, "12", "", 1, CallLine::None});
    const CommandResult homeLog =
        runCommand("env -u XDG_DATA_HOME HOME=" + shellQuote(m_dir.path()) + " " +
                   shellQuote(toolPath()) + " calls");
    EXPECT_EQ(homeLog.out,
              "DATE,TIME,DIRECTION,NUMBER,NAME,RINGS,LINE\n2026-12-10,14:05:00,IN,12,,1,\n");
}

TEST_F(ToolCallsTest, ADamagedLogIsAnErrorNamingItAndAWordIsAUsageError) {
    CallLog(logFolder())
        .add({"20261210", "14:05:00", CallDirection::Incoming, "12", "", 1, CallLine::None});
    const std::string path = logFolder() + "Calls.dbf";
    std::vector<uint8_t> bytes = readFileBytes(path);
    putLe16(bytes, 8, 0xFFF0);
    writeFileBytes(path, bytes);
    const CommandResult damaged = calls();
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(damaged.err.rfind("the call log " + path + " could not be read: ", 0), 0u)
        << damaged.err;
    EXPECT_EQ(readFileBytes(path), bytes);

    const CommandResult wrong = calls(" extra");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("usage: abonex-db calls"), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace abonex::test
