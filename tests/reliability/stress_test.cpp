// Multi-process stress: writers append, edit (under record locks), delete and read rows of one
// persons table at the same time. Each writer logs what it committed; every walk it makes must
// give each of its live rows exactly once; afterwards the index must be clean and every
// committed change present exactly as last committed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "engine/dbf/codepage.h"
#include "engine/file/engine_error.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using Clock = std::chrono::steady_clock;

// What a writer committed for one of its rows.
struct RowState {
    int version = 0;
    bool deleted = false;
};

// The rows the table is made with: nobody changes them, so every walk without the filter
// gives each of them once.
constexpr int kResidents = 200;
const std::string kResident = "Житель";

std::string rowName(int writer, int seq) {
    return "W" + std::to_string(writer) + "-" + std::to_string(seq);
}
// A comment that repeats the row's name: a torn or foreign write shows as a mismatch.
std::string rowComment(const std::string& name, int version) {
    std::string text;
    while (text.size() < 200) text += name + "/" + std::to_string(version) + ";";
    return text;
}

struct WriterStats {
    long appends = 0, edits = 0, deletes = 0, reads = 0, refusals = 0;
};

int runWriter(const std::string& dir, TgsLokProtocol protocol, int writer, int seconds,
              const std::string& logPath) {
    std::ofstream log(logPath, std::ios::trunc);
    TEngineDataSet set;
    set.setLockProtocol(protocol);
    test::openPersons(set, dir);
    std::mt19937 random(static_cast<unsigned>(writer * 7919 + 17));
    std::map<int, std::pair<int, RowState>> mine;  // seq -> (record number, state)
    WriterStats stats;
    int nextSeq = 0;
    std::string prefix = "W" + std::to_string(writer) + "-";
    set.OnFilterRecord = [&](TEngineDataSet& s, bool& accept) {
        accept = s.Fields(0).AsString().rfind(prefix, 0) == 0;
    };
    auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        int op = static_cast<int>(random() % 10);
        try {
            if (op < 4 || mine.empty()) {
                int seq = nextSeq++;
                std::string name = rowName(writer, seq);
                set.Append();
                set.FieldByName("NAME").SetAsString(name);
                set.FieldByName("PHONE1").SetAsString("v0");
                set.FieldByName("COMMENT").SetAsString(rowComment(name, 0));
                set.Post();
                mine[seq] = {set.RecNo(), RowState{}};
                log << "A " << seq << " " << set.RecNo() << "\n" << std::flush;
                ++stats.appends;
            } else if (op < 7) {
                auto it = std::next(mine.begin(), static_cast<long>(random() % mine.size()));
                if (it->second.second.deleted) continue;
                set.GotoRecNo(it->second.first);
                set.Edit();
                int version = it->second.second.version + 1;
                std::string name = rowName(writer, it->first);
                set.FieldByName("PHONE1").SetAsString("v" + std::to_string(version));
                set.FieldByName("COMMENT").SetAsString(rowComment(name, version));
                set.Post();
                it->second.second.version = version;
                log << "E " << it->first << " " << version << "\n" << std::flush;
                ++stats.edits;
            } else if (op < 8) {
                auto it = std::next(mine.begin(), static_cast<long>(random() % mine.size()));
                if (it->second.second.deleted) continue;
                set.GotoRecNo(it->second.first);
                if (!set.Delete()) return 3;
                it->second.second.deleted = true;
                log << "D " << it->first << "\n" << std::flush;
                ++stats.deletes;
            } else {
                // A reader: every row of this writer that is live now was committed before the
                // walk begins, and no other writer touches it, so the walk must give each one
                // exactly once, whatever the others split meanwhile. Both directions, through
                // the filter and without it.
                const bool filtered = stats.reads % 2 == 0;
                const bool forward = stats.reads % 4 < 2;
                std::map<std::string, int> seen;
                int residents = 0;  // rows of the table as it was made, never changed
                set.setFiltered(filtered);
                auto note = [&] {
                    const std::string name = set.Fields(0).AsString();
                    if (name.rfind(prefix, 0) == 0) ++seen[name];
                    if (ansiToUtf8(name).rfind(kResident, 0) == 0) ++residents;
                };
                if (forward) {
                    for (set.First(); !set.Eof(); set.Next()) note();
                } else {
                    for (set.Last(); !set.Bof(); set.Prior()) note();
                }
                set.setFiltered(false);
                // The walk may give them only through a filter that rejects them.
                if (residents != (filtered ? 0 : kResidents)) {
                    log << "R " << residents << " of the " << kResidents
                        << " rows the table was made with in a "
                        << (forward ? "forward" : "backward") << (filtered ? " filtered" : "")
                        << " walk\n"
                        << std::flush;
                    return 6;
                }
                for (const auto& [seq, row] : mine) {
                    const std::string name = rowName(writer, seq);
                    const int expected = row.second.deleted ? 0 : 1;
                    if (seen[name] != expected) {
                        log << "R " << name << " seen " << seen[name] << " times in a "
                            << (forward ? "forward" : "backward") << (filtered ? " filtered" : "")
                            << " walk\n"
                            << std::flush;
                        return 6;
                    }
                }
                ++stats.reads;
            }
        } catch (const EDatabaseError& error) {
            // A refused lock is reported, never silent: the change is simply not committed.
            if (std::string(error.what()) != "Record is locked by another user") return 4;
            set.Cancel();
            ++stats.refusals;
        } catch (const EEngineError& error) {
            if (std::string(error.what()).rfind("Error ", 0) != 0) return 5;
            set.Cancel();
            ++stats.refusals;
        }
    }
    log << "S " << stats.appends << " " << stats.edits << " " << stats.deletes << " " << stats.reads
        << " " << stats.refusals << "\n";
    return 0;
}

class StressTest : public ::testing::TestWithParam<TgsLokProtocol> {};

TEST_P(StressTest, WritersLoseNothingAndTheIndexStaysTrue) {
    const int processes = test::envInt("ABONEX_STRESS_PROCESSES", 4);
    const int seconds = test::envInt("ABONEX_STRESS_SECONDS", 8);
    test::TempDir dir;  // the writers' logs, and the table unless a folder is given
    // ABONEX_STRESS_FOLDER puts the table in a folder of its own there (a network share, say),
    // and ABONEX_STRESS_MIRROR names that same place as another machine sees it: the odd
    // processes open the table through the mirror.
    std::string folder = dir.path();
    std::string mirror = folder;
    const char* sharedFolder = std::getenv("ABONEX_STRESS_FOLDER");
    const char* mirrorFolder = std::getenv("ABONEX_STRESS_MIRROR");
    if (sharedFolder != nullptr) {
        static int serial = 0;
        const std::string name =
            "stress" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
        folder = std::string(sharedFolder) + "/" + name;
        mirror = std::string(mirrorFolder != nullptr ? mirrorFolder : sharedFolder) + "/" + name;
        ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0) << folder;
    }
    std::vector<test::Person> people;
    for (int i = 0; i < kResidents; ++i) people.push_back({kResident + std::to_string(i), "1"});
    test::makePersonsTable(folder, people);

    std::vector<int> children;
    for (int w = 0; w < processes; ++w) {
        std::string logPath = dir.file("writer" + std::to_string(w) + ".log");
        const std::string place = w % 2 == 0 ? folder : mirror;
        children.push_back(test::forkChild(
            [&, w, logPath, place] { return runWriter(place, GetParam(), w, seconds, logPath); }));
    }
    for (int pid : children) EXPECT_EQ(test::waitChild(pid), 0);
    // A reader that found a row missing or doubled says which (exit status 6).
    for (int w = 0; w < processes; ++w) {
        std::ifstream log(dir.file("writer" + std::to_string(w) + ".log"));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("R ", 0) == 0) ADD_FAILURE() << "writer " << w << ": " << line;
        }
    }

    test::expectIndexClean(folder);
    // Rebuild the expected state from the logs.
    std::map<std::string, RowState> expected;
    long committed = 0;
    WriterStats total;
    for (int w = 0; w < processes; ++w) {
        std::ifstream log(dir.file("writer" + std::to_string(w) + ".log"));
        std::string kind;
        while (log >> kind) {
            if (kind == "S") {
                WriterStats s;
                log >> s.appends >> s.edits >> s.deletes >> s.reads >> s.refusals;
                total.appends += s.appends;
                total.edits += s.edits;
                total.deletes += s.deletes;
                total.reads += s.reads;
                total.refusals += s.refusals;
                continue;
            }
            int seq = 0;
            log >> seq;
            std::string name = rowName(w, seq);
            if (kind == "A") {
                int recno;
                log >> recno;
                expected[name] = RowState{};
            } else if (kind == "E") {
                log >> expected[name].version;
            } else if (kind == "D") {
                expected[name].deleted = true;
            }
            ++committed;
        }
    }
    ASSERT_GT(total.appends, 0);
    std::cout << "[stress] " << processes << " processes x " << seconds << " s: " << committed
              << " changes committed (" << total.appends << " appends, " << total.edits
              << " edits, " << total.deletes << " deletes), " << total.reads
              << " complete walks checked, " << total.refusals << " lock refusals\n";

    GSO_dBaseFld table(folder + "/Phone.DBF", true, false);
    std::map<std::string, int> seen;
    for (int n = 1; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        std::string name = table.FieldGet("NAME");
        if (name.rfind("W", 0) != 0) continue;
        ++seen[name];
        auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << "record " << n << " holds " << name << ", which no writer committed";
            continue;
        }
        EXPECT_EQ(table.FieldGet("PHONE1"), "v" + std::to_string(it->second.version)) << name;
        EXPECT_EQ(table.FieldGet("COMMENT"), rowComment(name, it->second.version)) << name;
        EXPECT_EQ(table.isDeleted(), it->second.deleted) << name;
    }
    for (const auto& [name, state] : expected) EXPECT_EQ(seen[name], 1) << name;
}

INSTANTIATE_TEST_SUITE_P(Protocols, StressTest,
                         ::testing::Values(TgsLokProtocol::Default, TgsLokProtocol::DB4Lock),
                         [](const ::testing::TestParamInfo<TgsLokProtocol>& param) {
                             return param.param == TgsLokProtocol::Default ? "Default" : "DB4Lock";
                         });

}  // namespace
}  // namespace abonex
