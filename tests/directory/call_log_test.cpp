// The call log: a round trip through the table with its bytes on the disk, the newest call
// first, the user's folder made on first use, clearing, and a damaged or locked log refused
// with a clear error and left as it was.
#include "directory/call_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/lock_protocol.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::TempDir;

CallLogEntry incoming(std::string time, std::string number, std::string name, int rings) {
    return {"20261210",      std::move(time), CallDirection::Incoming, std::move(number),
            std::move(name), rings,           CallLine::None};
}

CallLogEntry outgoing(std::string time, std::string number, std::string name, CallLine line) {
    return {
        "20261210", std::move(time), CallDirection::Outgoing, std::move(number), std::move(name), 0,
        line};
}

// The stored bytes of field `field` (0-based) of record `record` (1-based).
std::string storedField(const std::string& path, int record, int field) {
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    const size_t header = test::le16(bytes, 8);
    const size_t length = test::le16(bytes, 10);
    size_t offset = 1;
    for (int f = 0; f < field; ++f) offset += static_cast<size_t>(kCallLogFields[f].width);
    const size_t at = header + static_cast<size_t>(record - 1) * length + offset;
    return std::string(bytes.begin() + static_cast<long>(at),
                       bytes.begin() + static_cast<long>(at + kCallLogFields[field].width));
}

TEST(CallLogTest, CallsComeBackNewestFirstAsStoredIn866) {
    TempDir dir;
    CallLog log(dir.path());
    EXPECT_TRUE(log.entries().empty());  // no table yet
    const std::vector<CallLogEntry> first{incoming("14:05:00", "88172538752", "Петров А.Ж.", 3),
                                          outgoing("14:07:10", "53-87-52", "", CallLine::Modem)};
    log.add(first);
    // A second window's call, logged later, in a second open of the table.
    CallLog(dir.path() + "/")
        .add(outgoing("14:09:59", "+7 (8172) 53-87-52", "ООО Рога и Копыта", CallLine::Desktop));
    const std::vector<CallLogEntry> calls = CallLog(dir.path()).entries();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0],
              outgoing("14:09:59", "+7 (8172) 53-87-52", "ООО Рога и Копыта", CallLine::Desktop));
    EXPECT_EQ(calls[1], first[1]);
    EXPECT_EQ(calls[2], first[0]);

    const std::string path = dir.file("Calls.dbf");
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    EXPECT_EQ(bytes[29], kLanguageDriverOem866);
    EXPECT_EQ(test::le32(bytes, 4), 3u);
    // "Петров" in code page 866, the rings right-aligned in their numeric field.
    EXPECT_EQ(storedField(path, 1, kCallFieldName).substr(0, 6), "\x8F\xA5\xE2\xE0\xAE\xA2");
    EXPECT_EQ(storedField(path, 1, kCallFieldRings), "  3");
    EXPECT_EQ(storedField(path, 1, kCallFieldDate), "20261210");
    EXPECT_EQ(storedField(path, 2, kCallFieldDirection), "OUT");
    EXPECT_EQ(storedField(path, 3, kCallFieldLine), "desktop");
}

TEST(CallLogTest, TextsThePageLacksOrTooLongAreFittedNotRefused) {
    TempDir dir;
    CallLog log(dir.path());
    const std::string longName(120, 'x');
    log.add(incoming("09:00:00", "8 800 ☎ 555", longName, 1));
    const std::vector<CallLogEntry> calls = log.entries();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].number, "8 800 ? 555");
    EXPECT_EQ(calls[0].name, std::string(100, 'x'));
}

TEST(CallLogTest, AMissingFolderIsMadeForTheUserOnly) {
    TempDir dir;
    const std::string folder = dir.path() + "/data/abonex/";
    CallLog log(folder);
    EXPECT_TRUE(log.entries().empty());
    struct stat info {};
    EXPECT_NE(::stat(folder.c_str(), &info), 0);  // reading makes nothing
    log.add(incoming("10:00:00", "", "", 2));
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(log.entries().size(), 1u);
}

TEST(CallLogTest, TheFolderFollowsXdgDataHomeElseHome) {
    const char* savedData = std::getenv("XDG_DATA_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string data = savedData ? savedData : "";
    const std::string home = savedHome ? savedHome : "";
    ::setenv("XDG_DATA_HOME", "/srv/me/data", 1);
    ::setenv("HOME", "/home/me", 1);
    EXPECT_EQ(callLogFolder(), "/srv/me/data/abonex/");
    // A relative folder is not one to trust: the default goes instead.
    ::setenv("XDG_DATA_HOME", "data", 1);
    EXPECT_EQ(callLogFolder(), "/home/me/.local/share/abonex/");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(callLogFolder(), "/home/me/.local/share/abonex/");
    ::unsetenv("HOME");
    EXPECT_THROW(callLogFolder(), std::runtime_error);
    savedData ? ::setenv("XDG_DATA_HOME", data.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    savedHome ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

TEST(CallLogTest, ClearedCallsAreNotReadBackAndLoggingGoesOn) {
    TempDir dir;
    CallLog log(dir.path());
    log.clear();  // nothing to clear, nothing made
    struct stat info {};
    EXPECT_NE(::stat(dir.file("Calls.dbf").c_str(), &info), 0);
    log.add({incoming("10:00:00", "1", "", 1), incoming("10:01:00", "2", "", 1)});
    log.clear();
    EXPECT_TRUE(log.entries().empty());
    log.add(incoming("10:02:00", "3", "", 4));
    const std::vector<CallLogEntry> calls = log.entries();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].number, "3");
}

TEST(CallLogTest, ADamagedLogIsReportedAndLeftAsItWas) {
    TempDir dir;
    CallLog log(dir.path());
    log.add(incoming("10:00:00", "88172538752", "Петров", 2));
    const std::string path = dir.file("Calls.dbf");
    std::vector<uint8_t> bytes = test::readFileBytes(path);
    test::putLe16(bytes, 8, 0xFFF0);  // a header longer than the file
    test::writeFileBytes(path, bytes);

    const std::string prefix = "the call log " + path + " could not be ";
    try {
        log.add(incoming("10:05:00", "1", "", 1));
        FAIL() << "a damaged log was written";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind(prefix + "written: ", 0), 0u) << error.what();
    }
    try {
        (void)log.entries();
        FAIL() << "a damaged log was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind(prefix + "read: ", 0), 0u) << error.what();
    }
    EXPECT_EQ(test::readFileBytes(path), bytes);

    // A table of other fields in its place is not taken for a log either.
    TempDir other;
    createDbfTable(other.file("Calls.dbf"), {{"NAME", 'C', 30, 0}});
    const std::vector<uint8_t> before = test::readFileBytes(other.file("Calls.dbf"));
    EXPECT_THROW(CallLog(other.path()).add(incoming("10:00:00", "1", "", 1)), std::runtime_error);
    EXPECT_EQ(test::readFileBytes(other.file("Calls.dbf")), before);
}

TEST(CallLogTest, ALogAnotherProcessHoldsLockedIsReportedAndNothingIsLost) {
    TempDir dir;
    CallLog log(dir.path());
    log.add(incoming("10:00:00", "88172538752", "Петров", 2));
    const std::string path = dir.file("Calls.dbf");
    const std::vector<uint8_t> before = test::readFileBytes(path);

    test::ProcessSignal locked;
    test::ProcessSignal release;
    const int child = test::forkChild([&] {
        GSO_dBaseFld table(path, true, true);
        table.setLockProtocol(TgsLokProtocol::Default);
        if (!table.appendLock()) return 1;
        locked.notify();
        release.wait();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    try {
        log.add(incoming("10:05:00", "1", "", 1));
        ADD_FAILURE() << "a locked log was written";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(
            std::string(error.what()).rfind("the call log " + path + " could not be written: ", 0),
            0u)
            << error.what();
    }
    EXPECT_EQ(test::readFileBytes(path), before);
    EXPECT_EQ(log.entries().size(), 1u);  // reading needs no lock
    release.notify();
    EXPECT_EQ(test::waitChild(child), 0);
    log.add(incoming("10:06:00", "2", "", 1));
    EXPECT_EQ(log.entries().size(), 2u);
}

}  // namespace
}  // namespace abonex
