// Two processes writing one table through data sets at the same time.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using test::Person;
using test::TempDir;

TEST(DataSetConcurrency, TwoWritersKeepEveryIndexFileConsistent) {
    TempDir dir;
    std::vector<Person> people;
    for (int i = 0; i < 40; ++i) people.push_back({"Исходный" + std::to_string(i), "1"});
    test::makePersonsTable(dir.path(), people);

    constexpr int kAppends = 60;
    test::ProcessSignal go;
    auto writer = [&](char id, unsigned seed) {
        return test::forkChild([&, id, seed] {
            TEngineDataSet set;
            test::openPersons(set, dir.path());
            go.wait();
            std::mt19937 random(seed);
            for (int i = 0; i < kAppends; ++i) {
                set.Append();
                set.FieldByName("NAME").SetAsString(
                    std::string(1, id) + std::to_string(random() % 1000) + "-" + std::to_string(i));
                set.Post();
                // Edit some row: locked rows are skipped, as a user would retry later.
                set.First();
                int steps = static_cast<int>(random() % 30);
                for (int s = 0; s < steps && !set.Eof(); ++s) set.Next();
                if (set.Eof()) continue;
                try {
                    set.Edit();
                    set.FieldByName("PHONE1").SetAsString(std::string(1, id) + std::to_string(i));
                    set.Post();
                } catch (const EDatabaseError&) {
                }
            }
            return 0;
        });
    };
    int a = writer('A', 1);
    int b = writer('B', 2);
    go.notify();
    go.notify();
    EXPECT_EQ(test::waitChild(a), 0);
    EXPECT_EQ(test::waitChild(b), 0);

    test::expectIndexClean(dir.path());
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    EXPECT_EQ(set.RecordCount(), 40 + 2 * kAppends);
    std::set<std::string> names;
    for (set.First(); !set.Eof(); set.Next()) names.insert(set.Fields(0).AsString());
    EXPECT_EQ(names.size(), static_cast<size_t>(40 + 2 * kAppends));
}

}  // namespace
}  // namespace abonex
