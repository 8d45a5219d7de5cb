// Crash test: a writer is killed with SIGKILL at random moments, again and again. After each
// kill the table opens, the start-up rebuild of its index succeeds, the index checks clean and
// every write the writer had reported as committed is there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

// The writer: starts as the program does (open, rebuild), then appends rows named K<round>-<seq>
// and edits its earlier ones, logging each change after Post returned. It runs until it is
// killed.
[[noreturn]] void runVictim(const std::string& dir, int round, const std::string& logPath) {
    std::ofstream log(logPath, std::ios::app);
    TEngineDataSet set;
    test::openPersons(set, dir);
    // What the program does at start: a kill can land in the rebuild too.
    set.ReindexAll();
    set.OpenIndexFiles("PHONE.MDX", "NAME");
    std::mt19937 random(static_cast<unsigned>(round));
    std::vector<int> records;
    for (int seq = 0;; ++seq) {
        if (records.empty() || random() % 3 != 0) {
            set.Append();
            std::string name = "K" + std::to_string(round) + "-" + std::to_string(seq);
            set.FieldByName("NAME").SetAsString(name);
            set.FieldByName("PHONE1").SetAsString("0");
            set.Post();
            records.push_back(set.RecNo());
            log << "A " << name << " " << set.RecNo() << "\n" << std::flush;
        } else {
            int recno = records[random() % records.size()];
            set.GotoRecNo(recno);
            set.Edit();
            std::string version = std::to_string(seq);
            set.FieldByName("PHONE1").SetAsString(version);
            // A kill between Post and the log line leaves a committed change the log does not
            // confirm: announce it first, so the check knows which value may have landed.
            log << "P " << recno << " " << version << "\n" << std::flush;
            set.Post();
            log << "E " << recno << " " << version << "\n" << std::flush;
        }
    }
}

TEST(CrashTest, KilledWritersLeaveATableThatOpensRebuildsAndKeepsCommittedWrites) {
    const int kills = test::envInt("ABONEX_CRASH_KILLS", 25);
    test::TempDir dir;
    test::makePersonsTable(dir.path(), {{"Первый", "1"}});
    std::string logPath = dir.file("commits.log");
    std::mt19937 random(2026);
    for (int round = 0; round < kills; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) runVictim(dir.path(), round, logPath);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 60));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself in round " << round;

        // What the program does at start: open, rebuild the index, select the name tag.
        TEngineDataSet set;
        test::openPersons(set, dir.path());
        set.ReindexAll();
        set.OpenIndexFiles("PHONE.MDX", "NAME");
        set.Close();
        test::expectIndexClean(dir.path());
        if (HasFailure()) return;
    }

    std::map<std::string, int> appended;  // name -> record
    std::map<int, std::string> phone;     // record -> last committed PHONE1
    std::map<int, std::string> pending;   // record -> an edit announced but not confirmed
    std::ifstream log(logPath);
    std::string kind;
    long commits = 0;
    while (log >> kind) {
        if (kind == "A") {
            std::string name;
            int recno;
            log >> name >> recno;
            appended[name] = recno;
            phone[recno] = "0";
            ++commits;
            continue;
        }
        int recno;
        std::string version;
        log >> recno >> version;
        if (kind == "P") {
            pending[recno] = version;
        } else {
            phone[recno] = version;
            pending.erase(recno);
            ++commits;
        }
    }
    GSO_dBaseFld table(dir.file("Phone.DBF"), true, false);
    for (const auto& [name, recno] : appended) {
        ASSERT_LE(recno, table.recordCount()) << name;
        table.GotoRecord(recno);
        EXPECT_EQ(table.FieldGet("NAME"), name);
        std::string actual = table.FieldGet("PHONE1");
        bool unconfirmed = pending.count(recno) != 0 && pending[recno] == actual;
        if (!unconfirmed) {
            EXPECT_EQ(actual, phone[recno]) << name;
        }
    }
    std::cout << "[crash] " << kills << " kills survived, " << commits
              << " committed changes checked, " << table.recordCount() << " records\n";
}

}  // namespace
}  // namespace abonex
