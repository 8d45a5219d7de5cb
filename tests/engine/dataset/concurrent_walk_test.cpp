// Readers walk the name tag without any lock while another process adds and renames rows all
// over it, splitting leaves ahead of the walks, in both directions, with and without a filter:
// every row whose key stays in the tag for the whole walk comes exactly once, and a row added
// meanwhile at most once. (A row renamed during a walk may be met at its old key and its new
// one, or at neither: its key did not stay.)
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using Clock = std::chrono::steady_clock;

// Names of ten capitals, the same spread for the rows that stay and the rows inserted; every
// tenth name that stays is given to two rows, so that runs of equal keys are split too.
std::string randomName(std::mt19937& random) {
    std::string name;
    for (int i = 0; i < 10; ++i) name += static_cast<char>('A' + random() % 26);
    return name;
}

enum class Walk { Forward, Backward, ContainsForward, ContainsBackward, StartsWithForward };

struct WalkFilter {
    KeyFilter::Kind kind;
    std::string text;
    bool accepts(const std::string& name) const {
        return kind == KeyFilter::Kind::StartsWith ? name.rfind(text, 0) == 0
                                                   : name.find(text) != std::string::npos;
    }
};

TEST(ConcurrentWalk, EveryRowThatStaysComesOnceWhileAnotherProcessSplitsLeaves) {
    const int seconds = test::envInt("ABONEX_WALK_SECONDS", 2);
    test::TempDir dir;
    std::mt19937 random(22);
    // The rows that stay, and as many rows of the writer, which it renames again and again:
    // each rename takes a key out of one leaf and puts it into another, which splits when full,
    // while the tree stays small enough for many walks.
    constexpr int kStaying = 400;
    constexpr int kMoving = 400;
    std::vector<test::Person> people;
    for (int i = 0; i < kStaying; ++i) {
        const std::string name = i % 10 == 1 ? people.back().name : randomName(random);
        people.push_back({name, "s" + std::to_string(i)});
    }
    std::vector<test::Person> all = people;
    for (int i = 0; i < kMoving; ++i) all.push_back({randomName(random), "m" + std::to_string(i)});
    test::makePersonsTable(dir.path(), all);

    test::ProcessSignal started, stop;
    const int writer = test::forkChild([&] {
        TEngineDataSet set;
        test::openPersons(set, dir.path());
        std::mt19937 own(7);
        started.notify();
        for (int i = 0; !stop.wait(0); ++i) {
            if (i % 16 == 0) {
                set.Append();
                set.Fields(0).SetAsString(randomName(own));
                set.Fields(1).SetAsString("n" + std::to_string(i));
            } else {
                set.GotoRecNo(kStaying + 1 + static_cast<int>(own() % kMoving));
                set.Edit();
                // Some take the name of a row that stays: its run of equal keys grows.
                set.Fields(0).SetAsString(i % 7 == 0 ? people[own() % people.size()].name
                                                     : randomName(own));
            }
            set.Post();
        }
        return 0;
    });
    struct StopWriter {
        test::ProcessSignal& stop;
        int pid;
        int status = -1;
        int finish() {
            if (pid > 0) {
                stop.notify();
                status = test::waitChild(pid);
                pid = 0;
            }
            return status;
        }
        ~StopWriter() { finish(); }
    } writing{stop, writer};
    ASSERT_TRUE(started.wait());

    auto table = std::make_shared<KeyMatchTable>([](uint8_t a, uint8_t b) { return a == b; });
    const std::vector<Walk> kinds = {Walk::Forward, Walk::Backward, Walk::ContainsForward,
                                     Walk::ContainsBackward, Walk::StartsWithForward};
    std::map<Walk, int> walks;
    int rowsAtStart = 0;
    int rowsAtEnd = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    for (size_t round = 0; Clock::now() < deadline || walks.size() < kinds.size(); ++round) {
        const Walk kind = kinds[round % kinds.size()];
        const std::string letter(1, static_cast<char>('A' + round % 26));
        std::optional<WalkFilter> filter;
        if (kind == Walk::ContainsForward || kind == Walk::ContainsBackward) {
            filter = WalkFilter{KeyFilter::Kind::Contains, letter};
        } else if (kind == Walk::StartsWithForward) {
            filter = WalkFilter{KeyFilter::Kind::StartsWith, letter};
        }
        TEngineDataSet reader;
        if (filter) {
            reader.OnFilterRecord = [&](TEngineDataSet& set, bool& accept) {
                accept = filter->accepts(set.Fields(0).AsString());
            };
            reader.OnFilterKey = [&](TEngineDataSet&) {
                return std::optional<KeyFilter>(KeyFilter(filter->kind, 0, filter->text, table));
            };
            reader.setFiltered(true);
        }
        test::openPersons(reader, dir.path());
        if (round == 0) rowsAtStart = reader.RecordCount();
        std::map<std::string, int> seen;  // by phone: every row has its own
        const bool forward = kind != Walk::Backward && kind != Walk::ContainsBackward;
        if (forward) {
            for (reader.First(); !reader.Eof(); reader.Next()) ++seen[reader.Fields(1).AsString()];
        } else {
            for (reader.Last(); !reader.Bof(); reader.Prior()) ++seen[reader.Fields(1).AsString()];
        }
        for (const auto& [phone, count] : seen) {
            if (phone[0] == 'm') continue;  // renamed all the time
            ASSERT_EQ(count, 1) << "walk " << round << " gave row " << phone << " twice";
        }
        for (size_t i = 0; i < people.size(); ++i) {
            if (filter && !filter->accepts(people[i].name)) continue;
            ASSERT_EQ(seen.count(people[i].phone), 1u)
                << "walk " << round << " (kind " << static_cast<int>(kind) << ") left out "
                << people[i].name << " " << people[i].phone;
        }
        ++walks[kind];
        rowsAtEnd = reader.RecordCount();
    }
    EXPECT_EQ(writing.finish(), 0);
    // The walks ran while the other process was writing.
    EXPECT_GT(rowsAtEnd, rowsAtStart);
    std::cout << "[walks] " << walks.size() << " kinds, "
              << walks[Walk::Forward] + walks[Walk::Backward] + walks[Walk::ContainsForward] +
                     walks[Walk::ContainsBackward] + walks[Walk::StartsWithForward]
              << " walks while " << rowsAtEnd - rowsAtStart << " rows were added\n";
    test::expectIndexClean(dir.path());
}

}  // namespace
}  // namespace abonex
