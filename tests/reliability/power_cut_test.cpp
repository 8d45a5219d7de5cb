// Power-cut test: a copy of the program works on the persons table with the directory's commit
// points (start-up rebuild, appends, edits, deletes) and the power fails at a random moment,
// again and again. The disk then holds everything up to each file's last flush and, of the
// later writes, any part; the write in flight may be torn. After each cut the next start-up
// must work on what the disk holds: the table opens (rolling back its journal), its index
// rebuilds and checks clean, every record holds the last change the program confirmed or the
// change that was in flight, whole, and the header, the record count and the rows are what the
// file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>

#include "engine/dataset/db_handler.h"
#include "engine/file/engine_error.h"
#include "engine/file/rollback_journal.h"
#include "tests/engine/dataset/dataset_fixture.h"
#include "tests/reliability/power_cut_recorder.h"

namespace abonex {
namespace {

using Bytes = test::PowerCutRecorder::Bytes;

std::string versionComment(const std::string& name, int version) {
    std::string text;
    while (text.size() < 200) text += name + "/" + std::to_string(version) + ";";
    return text;
}

struct Figures {
    long cuts = 0;
    long operations = 0;
    long confirmed = 0;       // changes the program said were done, over all sessions
    long recordsChecked = 0;  // records the disk held after the cuts, summed over the cuts
    long confirmedLost = 0;   // records found older than their last confirmed change, or gone
    long torn = 0;            // records that are none of their versions
    long inFlightLanded = 0;  // the change cut short that stands whole after the next start
    long inFlightUndone = 0;  // and the one that is undone (or never reached the disk)
    long rolledBack = 0;      // cuts after which the next start found a hot journal
};

// The table's geometry, from its header.
struct Geometry {
    uint64_t headerLength = 0;
    uint64_t recordLength = 0;
    uint64_t wholeRecords(const Bytes& image) const {
        return image.size() > headerLength ? (image.size() - headerLength) / recordLength : 0;
    }
    uint64_t offsetOf(uint64_t slot) const { return headerLength + (slot - 1) * recordLength; }
};

Geometry geometryOf(const Bytes& table) {
    return {static_cast<uint64_t>(test::le16(table, 8)),
            static_cast<uint64_t>(test::le16(table, 10))};
}

Bytes slotOf(const Bytes& image, const Geometry& g, uint64_t slot) {
    const auto begin = image.begin() + static_cast<long>(g.offsetOf(slot));
    return Bytes(begin, begin + static_cast<long>(g.recordLength));
}

std::string nameIn(const Bytes& record) {
    std::string name(record.begin() + 1, record.begin() + 31);
    while (!name.empty() && static_cast<uint8_t>(name.back()) <= ' ') name.pop_back();
    return name;
}

class PowerCutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<test::Person> people;
        for (int i = 0; i < 60; ++i) people.push_back({"Житель" + std::to_string(i), "1"});
        test::makePersonsTable(m_dir.path(), people);
        TEngineDataSet set;
        test::openPersons(set, m_dir.path());
        m_table = set.tablePath();
        m_index = set.handler()->indexFile(0)->path();
        m_journal = RollbackJournal::journalPathFor(m_table);
        if (!std::filesystem::exists(m_journal)) test::writeFileBytes(m_journal, {});
        const Bytes table = test::readFileBytes(m_table);
        m_geometry = geometryOf(table);
        for (uint64_t slot = 1; slot <= m_geometry.wholeRecords(table); ++slot) {
            m_confirmed[slot] = {slotOf(table, m_geometry, slot)};
        }
    }

    // The record `slot` as the table file holds it now.
    Bytes recordOnDisk(uint64_t slot) const {
        Bytes record(m_geometry.recordLength);
        std::ifstream in(m_table, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(m_geometry.offsetOf(slot)));
        in.read(reinterpret_cast<char*>(record.data()),
                static_cast<std::streamsize>(record.size()));
        return record;
    }

    // A change the program said was done, unless the power went before it said so.
    void confirm(const test::PowerCutRecorder& recorder, uint64_t slot) {
        if (recorder.cutHappened()) return;
        m_confirmed[slot].push_back(recordOnDisk(slot));
        ++m_figures.confirmed;
    }

    // One run of the program, with the commit points the directory's tables use, from its
    // start until the power fails.
    void runUntilTheCut(test::PowerCutRecorder& recorder, int session, std::mt19937& random) {
        TEngineDataSet set;
        try {
            set.setAutoFlush(true);
            test::openPersons(set, m_dir.path());
            set.ReindexAll();  // what the program does at every start
            set.OpenIndexFiles("PHONE.MDX", "NAME");
            for (int step = 0; step < 400 && !recorder.cutHappened(); ++step) {
                const int op = static_cast<int>(random() % 20);
                ++m_figures.operations;
                if (op < 9) {
                    const std::string name =
                        "P" + std::to_string(session) + "-" + std::to_string(step);
                    set.Append();
                    set.FieldByName("NAME").SetAsString(name);
                    set.FieldByName("PHONE1").SetAsString("v0");
                    set.FieldByName("COMMENT").SetAsString(versionComment(name, 0));
                    set.Post();
                    confirm(recorder, static_cast<uint64_t>(set.handler()->recordNumber()));
                    continue;
                }
                const int count = set.RecordCount();
                if (op == 19 || count == 0) {
                    set.ReindexAll();
                    set.OpenIndexFiles("PHONE.MDX", "NAME");
                    continue;
                }
                const int slot = 1 + static_cast<int>(random() % static_cast<unsigned>(count));
                set.GotoRecNo(slot);
                const std::string name = set.Fields(0).AsString();
                if (set.handler()->isDeleted() || name.empty()) continue;
                if (op < 16) {
                    const int version = ++m_version;
                    set.Edit();
                    set.FieldByName("PHONE1").SetAsString("v" + std::to_string(version));
                    set.FieldByName("COMMENT").SetAsString(versionComment(name, version));
                    set.Post();
                } else {
                    set.Delete();
                }
                confirm(recorder, static_cast<uint64_t>(slot));
            }
        } catch (const std::exception& error) {
            // After the cut nothing the program does reaches the disk; before it, it must work.
            if (!recorder.cutHappened()) {
                ADD_FAILURE() << "session " << session << ": " << error.what();
            }
        }
        recorder.cutNow();
    }

    // What the next start finds: it must open (rolling back what the journal holds), rebuild
    // and check clean, with the rows the table holds, every change the program confirmed,
    // and no record that is not one of its versions.
    void checkTheNextStart(const test::PowerCutRecorder& recorder, int session) {
        if (!recorder.afterCut(m_journal).empty()) ++m_figures.rolledBack;
        Bytes table;
        try {
            TEngineDataSet set;
            test::openPersons(set, m_dir.path());
            table = test::readFileBytes(m_table);
            const uint64_t records = m_geometry.wholeRecords(table);
            // Other programs read as many records as the header counts: it must not promise
            // a record the disk does not hold.
            EXPECT_LE(test::le32(table, 4), records) << "session " << session;
            EXPECT_TRUE(test::readFileBytes(m_journal).empty())
                << "session " << session << ": the journal was not emptied";
            EXPECT_EQ(set.RecordCount(), static_cast<int>(records)) << "session " << session;
            set.ReindexAll();
            set.OpenIndexFiles("PHONE.MDX", "NAME");
            std::set<int> live;
            for (uint64_t slot = 1; slot <= records; ++slot) {
                if (table[m_geometry.offsetOf(slot)] != '*') live.insert(static_cast<int>(slot));
            }
            std::set<int> shown;
            for (const DataSetRow& row : set.fetchRows(0, static_cast<int>(records) + 10)) {
                EXPECT_TRUE(shown.insert(row.recordNumber).second)
                    << "session " << session << ": record " << row.recordNumber << " shown twice";
            }
            EXPECT_EQ(shown, live) << "session " << session;
        } catch (const std::exception& error) {
            ADD_FAILURE() << "session " << session
                          << ": the start after the cut fails: " << error.what();
            return;
        }
        test::expectIndexClean(m_dir.path());
        checkRecords(recorder, table, session);
    }

    void checkRecords(const test::PowerCutRecorder& recorder, const Bytes& table, int session) {
        const Geometry& g = m_geometry;
        const uint64_t records = g.wholeRecords(table);
        // The change in flight at the cut: its writes to the table since the last commit.
        std::map<uint64_t, std::vector<Bytes>> inFlight;
        for (const auto& op : recorder.pending(m_table)) {
            ASSERT_FALSE(op.truncation) << "session " << session << ": the table was cut";
            if (op.offset < g.headerLength) continue;
            ASSERT_TRUE((op.offset - g.headerLength) % g.recordLength == 0 &&
                        op.bytes.size() >= g.recordLength)
                << "session " << session << ": a write of " << op.bytes.size() << " bytes at "
                << op.offset << " is not a whole record";
            inFlight[(op.offset - g.headerLength) / g.recordLength + 1].emplace_back(
                op.bytes.begin(), op.bytes.begin() + static_cast<long>(g.recordLength));
        }
        const uint64_t confirmedRecords = m_confirmed.empty() ? 0 : m_confirmed.rbegin()->first;
        m_figures.recordsChecked += static_cast<long>(records);
        for (uint64_t slot = 1; slot <= std::max(records, confirmedRecords); ++slot) {
            const auto confirmed = m_confirmed.find(slot);
            const auto flying = inFlight.find(slot);
            if (slot > records) {
                if (confirmed == m_confirmed.end()) continue;  // an append cut short
                ++m_figures.confirmedLost;
                ADD_FAILURE() << "session " << session << ": confirmed record " << slot << " ("
                              << nameIn(confirmed->second.back())
                              << ") lost: the file ends before it";
                continue;
            }
            const Bytes now = slotOf(table, g, slot);
            if (confirmed != m_confirmed.end() && now == confirmed->second.back()) {
                if (flying != inFlight.end()) ++m_figures.inFlightUndone;
            } else if (flying != inFlight.end() &&
                       std::find(flying->second.begin(), flying->second.end(), now) !=
                           flying->second.end()) {
                ++m_figures.inFlightLanded;
            } else if (confirmed != m_confirmed.end() &&
                       std::find(confirmed->second.begin(), confirmed->second.end(), now) !=
                           confirmed->second.end()) {
                ++m_figures.confirmedLost;
                ADD_FAILURE() << "session " << session << ": record " << slot << " (" << nameIn(now)
                              << ") lost its last confirmed change";
            } else {
                ++m_figures.torn;
                ADD_FAILURE() << "session " << session << ": record " << slot << " (" << nameIn(now)
                              << ") is none of its versions: torn";
            }
            // From here on the record is what the disk holds.
            if (confirmed == m_confirmed.end() || now != confirmed->second.back()) {
                m_confirmed[slot] = {now};
            }
        }
    }

    test::TempDir m_dir;
    std::string m_table;
    std::string m_index;
    std::string m_journal;
    Geometry m_geometry;
    // Every version of each record the program confirmed, the last one last.
    std::map<uint64_t, std::vector<Bytes>> m_confirmed;
    Figures m_figures;
    int m_version = 0;
};

TEST_F(PowerCutTest, NoConfirmedChangeIsLostAndNoRecordTornByAPowerCut) {
    const int cuts = test::envInt("ABONEX_POWER_CUTS", 150);
    const unsigned seed = static_cast<unsigned>(test::envInt("ABONEX_POWER_SEED", 1606));
    std::mt19937 random(seed);
    test::PowerCutRecorder recorder(seed);
    for (int session = 0; session < cuts; ++session) {
        recorder.watch({m_table, m_index, m_journal});
        recorder.cutAfterWrites(1 + static_cast<int>(random() % 120));
        runUntilTheCut(recorder, session, random);
        recorder.stop();
        // The power comes back: the disk holds what the cut left.
        for (const std::string& path : {m_table, m_index, m_journal}) {
            test::writeFileBytes(path, recorder.afterCut(path));
        }
        checkTheNextStart(recorder, session);
        if (HasFailure()) break;
        ++m_figures.cuts;
    }
    std::cout << "[power cut] " << m_figures.cuts << " cuts survived (seed " << seed << "), "
              << m_figures.operations << " operations, " << m_figures.confirmed
              << " changes confirmed; records checked " << m_figures.recordsChecked
              << "; confirmed changes lost " << m_figures.confirmedLost << "; records torn "
              << m_figures.torn << "; the change in flight stood " << m_figures.inFlightLanded
              << " times and was undone " << m_figures.inFlightUndone
              << " times; hot journals rolled back " << m_figures.rolledBack << "\n";
    EXPECT_EQ(m_figures.confirmedLost, 0);
    EXPECT_EQ(m_figures.torn, 0);
}

TEST_F(PowerCutTest, ARebuildCutAtAnyOfItsWritesLeavesAnIndexThatOpensAndRebuilds) {
    // A second tag, created after the first: its header lies behind the first tag's tree, so
    // the rebuild has to move it in front before it cuts the file.
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile index(table, m_index);
        index.TagCreate("PHONE1", "PHONE1+NAME", "", false, false);
    }
    const Bytes tableBytes = test::readFileBytes(m_table);
    const Bytes indexBytes = test::readFileBytes(m_index);
    auto rebuild = [&] {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile index(table, m_index);
        index.Reindex();
    };
    test::PowerCutRecorder recorder(1606);
    recorder.watch({m_table, m_index});
    rebuild();
    recorder.stop();
    const int writes = recorder.writeCount();
    ASSERT_GE(writes, 5);  // headers, trees, headers again

    long cuts = 0;
    for (int cutAt = 1; cutAt <= writes; ++cutAt) {
        for (int trial = 0; trial < 4; ++trial) {
            test::writeFileBytes(m_table, tableBytes);
            test::writeFileBytes(m_index, indexBytes);
            recorder.watch({m_table, m_index});
            recorder.cutAfterWrites(cutAt);
            rebuild();
            recorder.cutNow();
            recorder.stop();
            test::writeFileBytes(m_index, recorder.afterCut(m_index));
            try {
                GSO_dBaseFld table(m_table, true, true);
                GSobjMDXFile index(table, m_index);
                ASSERT_EQ(index.tags().size(), 2u);
                EXPECT_EQ(index.tags()[0]->name(), "NAME");
                EXPECT_EQ(index.tags()[0]->keyExpression(), "NAME");
                EXPECT_EQ(index.tags()[1]->name(), "PHONE1");
                EXPECT_EQ(index.tags()[1]->keyExpression(), "PHONE1+NAME");
                EXPECT_FALSE(index.tags()[1]->ascending());
                index.Reindex();
            } catch (const std::exception& error) {
                ADD_FAILURE() << "cut at write " << cutAt << ": " << error.what();
            }
            GSO_dBaseFld table(m_table, true, false);
            const IndexCheckReport report = checkIndexFile(table, m_index);
            for (const auto& problem : report.problems) {
                ADD_FAILURE() << "cut at write " << cutAt << ": " << formatIndexProblem(problem);
            }
            if (HasFailure()) return;
            ++cuts;
        }
    }
    std::cout << "[power cut] rebuild of a two-tag index: " << cuts << " cuts at its " << writes
              << " writes survived\n";
}

}  // namespace
}  // namespace abonex
