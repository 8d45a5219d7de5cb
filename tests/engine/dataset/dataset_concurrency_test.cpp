// Two processes writing one table through data sets at the same time.
#include <gtest/gtest.h>

#include <functional>
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

// A copy of the program keeps the index file open while another process adds and deletes a
// tag: the copy's next write must give the new tag its key, and stop writing the deleted one.
TEST(DataSetConcurrency, AWriterFollowsTagsThatAnotherProcessCreatesAndDeletes) {
    TempDir dir;
    std::vector<Person> people;
    for (int i = 0; i < 30; ++i) people.push_back({"Первый" + std::to_string(i), "1"});
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    auto inOtherProcess = [&](const std::function<void(GSobjMDXFile&)>& change) {
        const int child = test::forkChild([&] {
            GSO_dBaseFld table(dir.file("Phone.DBF"), true, true);
            GSobjMDXFile file(table, "Phone");
            change(file);
            return 0;
        });
        return test::waitChild(child);
    };
    auto append = [&](const std::string& name, const std::string& phone) {
        set.Append();
        set.FieldByName("NAME").SetAsString(*utf8ToAnsi(name));
        set.FieldByName("PHONE1").SetAsString(phone);
        set.Post();
    };
    ASSERT_EQ(inOtherProcess(
                  [](GSobjMDXFile& file) { file.TagCreate("PHONE", "PHONE1", "", false, false); }),
              0);
    append("Второй", "22-22-22");
    test::expectIndexClean(dir.path());
    ASSERT_EQ(inOtherProcess([](GSobjMDXFile& file) { file.TagDelete("PHONE"); }), 0);
    append("Третий", "33-33-33");
    EXPECT_EQ(set.handler()->indexFile(0)->tags().size(), 1u);
    ASSERT_EQ(inOtherProcess([](GSobjMDXFile& file) {
                  file.TagCreate("PHONE", "PHONE2 + NAME", "", false, true);
              }),
              0);
    append("Четвёртый", "44-44-44");
    set.Close();
    test::expectIndexClean(dir.path());
    GSO_dBaseFld table(dir.file("Phone.DBF"), true, false);
    GSobjMDXFile file(table, "Phone");
    ASSERT_EQ(file.tags().size(), 2u);
    EXPECT_EQ(file.findTag("PHONE")->keyExpression(), "PHONE2 + NAME");
    int keys = 0;
    file.findTag("PHONE")->walkKeys([&](const TgsVariant&) { ++keys; });
    EXPECT_EQ(keys, 33);
}

}  // namespace
}  // namespace abonex
