// The fast comparison and apply against the plain passes, on seeded random tables: names and
// phones drawn from small pools in varied letter case and with blanks around them, duplicate
// names, blank names and deleted records, in indexed directory tables and in a table compared
// in file order, in both directions, changing either table with a random choice of rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/dataset/engine_dataset.h"
#include "engine/expr/ansi_locale.h"
#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "tests/support/test_support.h"
#include "tests/sync/plain_passes.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

class RandomTables {
  public:
    explicit RandomTables(unsigned seed) : m_random(seed) {}

    std::vector<DirectoryRow> table() {
        std::vector<DirectoryRow> rows;
        const int count = below(25);
        for (int i = 0; i < count; ++i) rows.push_back(row());
        return rows;
    }
    // A copy of `rows` with some records dropped, changed, added or moved.
    std::vector<DirectoryRow> variantOf(const std::vector<DirectoryRow>& rows) {
        std::vector<DirectoryRow> copy;
        for (DirectoryRow row : rows) {
            switch (below(8)) {
                case 0:
                    continue;  // dropped
                case 1:
                    row.phone1 = phone();
                    break;
                case 2:
                    row.phone2 = phone();
                    break;
                case 3:
                    row.name = varied(row.name);
                    break;
                case 4:
                    copy.push_back(this->row());
                    break;
                default:
                    break;
            }
            row.deleted = below(10) == 0;
            copy.push_back(row);
        }
        if (!copy.empty() && below(2) == 0) std::swap(copy.front(), copy[below(copy.size())]);
        return copy;
    }
    int below(size_t bound) { return static_cast<int>(m_random() % bound); }
    bool chance(int percent) { return below(100) < percent; }

  private:
    DirectoryRow row() {
        DirectoryRow row;
        row.name = chance(8) ? std::string(chance(50) ? "" : "   ") : varied(pick(kNames));
        row.phone1 = phone();
        row.phone2 = chance(60) ? std::string() : phone();
        row.comment = chance(30) ? "комментарий" : "";
        row.deleted = chance(10);
        return row;
    }
    std::string phone() { return varied(pick(kPhones)); }
    // The text in another letter case and with blanks before or after it, now and then.
    std::string varied(const std::string& utf8) {
        std::string text = test::ansi(utf8);
        switch (below(6)) {
            case 0:
                text = ansiUpper(text);
                break;
            case 1:
                text = ansiLower(text);
                break;
            default:
                break;
        }
        if (chance(15)) text = std::string(1 + below(2), ' ') + text;
        if (chance(15)) text += " ";
        return test::utf8(text);
    }
    template <size_t N>
    std::string pick(const char* const (&pool)[N]) {
        return pool[below(N)];
    }

    static constexpr const char* kNames[] = {"Иванов И.И.", "Петров",   "Сидорова А.А.",
                                             "Ёлкин",       "Smith J.", "ООО \"Ромашка\""};
    static constexpr const char* kPhones[] = {"22-33-44", "22-33-45", "1w2", "", "7", "Доб. 5"};
    std::mt19937 m_random;
};

struct Layout {
    std::string fileName;
    DirectoryMode schema;
    bool indexed;
};

const Layout kLayouts[] = {
    {"Phone.DBF", DirectoryMode::Persons, true},
    {"Org.dbf", DirectoryMode::Organisations, true},
    {"Spisok.dbf", DirectoryMode::Persons, false},  // compared in file order
};

TEST(SyncProperty, FastComparisonAndApplyMatchThePlainPasses) {
    test::TempDir dir;
    for (const char* name : {"own", "external", "fast", "plain"}) {
        std::filesystem::create_directory(dir.file(name));
    }
    int differences = 0, applied = 0, skipped = 0;
    int kinds[3] = {};
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RandomTables random(seed);
        const Layout& layout = kLayouts[seed % std::size(kLayouts)];
        const std::vector<DirectoryRow> ownRows = random.table();
        const std::vector<DirectoryRow> externalRows =
            random.chance(70) ? random.variantOf(ownRows) : random.table();
        test::writeSyncTable(dir.file("own"), layout.fileName, layout.schema, ownRows,
                             layout.indexed);
        test::writeSyncTable(dir.file("external"), layout.fileName, layout.schema, externalRows,
                             layout.indexed);

        const auto direction = random.chance(50) ? SyncDirection::Import : SyncDirection::Export;
        const bool import = direction == SyncDirection::Import;
        std::vector<DifferenceEntry> entries;
        {
            TEngineDataSet source, target;
            openSyncTable(target, dir.file(import ? "own" : "external"), layout.fileName);
            openSyncTable(source, dir.file(import ? "external" : "own"), layout.fileName);
            TableComparison comparison(source, target);
            comparison.run();
            entries = comparison.entries();
            ASSERT_EQ(entries, test::plainComparison(source, target));
        }
        differences += static_cast<int>(entries.size());
        for (const DifferenceEntry& entry : entries) ++kinds[static_cast<int>(entry.kind)];

        // The same choice applied both ways, each to its own copy of the table changed.
        const auto side = random.chance(50) ? ChangeSide::Own : ChangeSide::External;
        std::vector<bool> chosen;
        for (size_t i = 0; i < entries.size(); ++i) chosen.push_back(random.chance(80));
        const std::string changed = side == ChangeSide::Own ? "own" : "external";
        for (const char* copy : {"fast", "plain"}) {
            for (const auto& file : std::filesystem::directory_iterator(dir.file(copy))) {
                std::filesystem::remove(file.path());
            }
            for (const auto& file : std::filesystem::directory_iterator(dir.file(changed))) {
                test::copyFile(file.path().string(),
                               dir.file(copy) + "/" + file.path().filename().string());
            }
        }
        TEngineDataSet fastChange, plainChange;
        openChangeTable(fastChange, dir.file("fast"), layout.fileName);
        openChangeTable(plainChange, dir.file("plain"), layout.fileName);
        DifferenceApply applying(fastChange, direction, side);
        applying.run(entries, chosen);
        const ApplyCounts plain = test::plainApply(plainChange, direction, side, entries, chosen);
        EXPECT_EQ(applying.counts(), plain);
        fastChange.Close();
        plainChange.Close();
        ASSERT_EQ(readDirectoryTable(dir.file("fast") + "/" + layout.fileName),
                  readDirectoryTable(dir.file("plain") + "/" + layout.fileName));
        applied += plain.changed + plain.added + plain.deleted;
        skipped += plain.skipped;
    }
    // The tables are varied enough to reach every branch many times over.
    EXPECT_GT(differences, 1000);
    for (int kind : kinds) EXPECT_GT(kind, 100);
    EXPECT_GT(applied, 500);
    EXPECT_GT(skipped, 10);
}

}  // namespace
}  // namespace abonex
