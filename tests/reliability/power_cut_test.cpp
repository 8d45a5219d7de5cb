// Power-cut test: a copy of the program works on the persons table (start-up rebuild, appends,
// edits, deletes, now and then with the files flushed after a write) and the power fails at a
// random moment, again and again. The disk then holds everything up to each file's last flush
// and, of the later writes, any part; the write in flight may be torn. After each cut the next
// start-up must work on what the disk holds: the table opens, its index rebuilds and checks
// clean, every record flushed before the cut is still there as some version of itself, no
// record holds bytes of two writes, and the record count and the rows are what the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <set>

#include "engine/dataset/db_handler.h"
#include "engine/file/engine_error.h"
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
    long flushedRecords = 0;  // records the disk held at the cuts, summed over the cuts
    long flushedLost = 0;
    long landed = 0;      // record writes after the last flush that reached the disk
    long dropped = 0;     // and those that did not
    long torn = 0;        // records torn by the write in flight
    long blankSlots = 0;  // slots past the flushed end that no write reached
    long operations = 0;
    long flushedWritesCut = 0;  // cuts inside a write that flushes, with nothing else pending
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
    }

    // One run of the program from its start until the power fails.
    void runUntilTheCut(test::PowerCutRecorder& recorder, int session, std::mt19937& random) {
        TEngineDataSet set;
        try {
            test::openPersons(set, m_dir.path());
            set.ReindexAll();  // what the program does at every start
            set.OpenIndexFiles("PHONE.MDX", "NAME");
            for (int step = 0; step < 400 && !recorder.cutHappened(); ++step) {
                const bool autoFlush = random() % 3 == 0;
                set.handler()->setAutoFlush(autoFlush);
                // A cut inside this operation finds the table as flushed before it, and the
                // operation flushes what it writes.
                m_cutInAFlushedWrite = autoFlush && recorder.pendingCount(m_table) == 0;
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
                    continue;
                }
                const int count = set.RecordCount();
                if (op == 19 || count == 0) {
                    set.ReindexAll();
                    set.OpenIndexFiles("PHONE.MDX", "NAME");
                    continue;
                }
                set.GotoRecNo(1 + static_cast<int>(random() % static_cast<unsigned>(count)));
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
            }
        } catch (const std::exception& error) {
            // After the cut nothing the program does reaches the disk; before it, it must work.
            if (!recorder.cutHappened()) {
                ADD_FAILURE() << "session " << session << ": " << error.what();
            }
        }
        recorder.cutNow();
    }

    // What the next start finds: it must open, rebuild and check clean, with the rows the
    // table holds.
    void checkTheNextStart(const test::PowerCutRecorder& recorder, int session) {
        const Bytes table = recorder.afterCut(m_table);
        const Geometry g = geometryOf(recorder.flushed(m_table));
        const uint64_t records = g.wholeRecords(table);
        if (m_cutInAFlushedWrite) {
            // Other programs read as many records as the header counts: a header that reached
            // the disk must not promise a record that did not (an earlier cut may have left it
            // promising more already).
            const uint32_t before = test::le32(recorder.flushed(m_table), 4);
            EXPECT_LE(test::le32(table, 4), std::max<uint64_t>(records, before))
                << "session " << session;
            ++m_figures.flushedWritesCut;
        }
        std::set<int> live;
        for (uint64_t slot = 1; slot <= records; ++slot) {
            if (table[g.offsetOf(slot)] != '*') live.insert(static_cast<int>(slot));
        }
        try {
            TEngineDataSet set;
            test::openPersons(set, m_dir.path());
            EXPECT_EQ(set.RecordCount(), static_cast<int>(records)) << "session " << session;
            set.ReindexAll();
            set.OpenIndexFiles("PHONE.MDX", "NAME");
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
        checkRecords(recorder, session);
    }

    void checkRecords(const test::PowerCutRecorder& recorder, int session) {
        const Bytes& flushed = recorder.flushed(m_table);
        const Bytes& table = recorder.afterCut(m_table);
        const Geometry g = geometryOf(flushed);
        const uint64_t flushedRecords = g.wholeRecords(flushed);
        const uint64_t records = g.wholeRecords(table);
        const auto& pending = recorder.pending(m_table);
        const test::PowerCutRecorder::InFlight& inFlight = recorder.inFlight();

        // Every write to the table since the flush is its header or one whole record (with the
        // end mark after an append), at a record's place.
        std::map<uint64_t, std::vector<size_t>> writesTo;  // slot -> indexes into pending
        for (size_t i = 0; i < pending.size(); ++i) {
            const auto& op = pending[i];
            ASSERT_FALSE(op.truncation) << "session " << session << ": the table was cut";
            if (op.offset == 0 && op.bytes.size() <= g.headerLength) continue;
            const bool whole =
                op.bytes.size() == g.recordLength || op.bytes.size() == g.recordLength + 1;
            ASSERT_TRUE(op.offset >= g.headerLength &&
                        (op.offset - g.headerLength) % g.recordLength == 0 && whole)
                << "session " << session << ": a write of " << op.bytes.size() << " bytes at "
                << op.offset << " is not one record";
            writesTo[(op.offset - g.headerLength) / g.recordLength + 1].push_back(i);
            ++(op.landed ? m_figures.landed : m_figures.dropped);
        }

        m_figures.flushedRecords += static_cast<long>(flushedRecords);
        for (uint64_t slot = 1; slot <= std::max(records, flushedRecords); ++slot) {
            // What may stand in this slot: the record as flushed, or any version written since.
            std::vector<Bytes> versions;
            if (slot <= flushedRecords) versions.push_back(slotOf(flushed, g, slot));
            bool anyLanded = false;
            for (size_t i : writesTo[slot]) {
                const Bytes& bytes = pending[i].bytes;
                versions.emplace_back(bytes.begin(),
                                      bytes.begin() + static_cast<long>(g.recordLength));
                anyLanded = anyLanded || pending[i].landed;
            }
            // A slot only ever holds one record: the versions are of one name.
            for (const Bytes& version : versions) {
                EXPECT_EQ(nameIn(version), nameIn(versions.front()))
                    << "session " << session << ": record " << slot
                    << " was written as two records";
            }
            if (slot > records) {
                ++m_figures.flushedLost;
                ADD_FAILURE() << "session " << session << ": flushed record " << slot << " ("
                              << nameIn(versions.front()) << ") lost: the file ends before it";
                continue;
            }
            const Bytes now = slotOf(table, g, slot);
            if (std::find(versions.begin(), versions.end(), now) != versions.end()) continue;
            // The write in flight tore this record: its first bytes are the new ones, the rest
            // as the record was (flushed or written since).
            const bool tornHere =
                inFlight.any && inFlight.path == m_table && !writesTo[slot].empty() &&
                std::find(writesTo[slot].begin(), writesTo[slot].end(), inFlight.index) !=
                    writesTo[slot].end();
            if (tornHere) {
                const auto& op = pending[inFlight.index];
                const size_t fresh = std::min<size_t>(op.landedBytes, g.recordLength);
                bool matches = std::equal(op.bytes.begin(),
                                          op.bytes.begin() + static_cast<long>(fresh), now.begin());
                bool restIsAVersion = false;
                for (const Bytes& version : versions) {
                    restIsAVersion =
                        restIsAVersion ||
                        std::equal(version.begin() + static_cast<long>(fresh), version.end(),
                                   now.begin() + static_cast<long>(fresh));
                }
                if (!restIsAVersion && slot > flushedRecords) {
                    // An append torn over the slot's old (blank) bytes.
                    restIsAVersion = std::all_of(now.begin() + static_cast<long>(fresh), now.end(),
                                                 [](uint8_t b) { return b == 0; });
                }
                EXPECT_TRUE(matches && restIsAVersion)
                    << "session " << session << ": record " << slot << " torn otherwise than by "
                    << "the write in flight";
                ++m_figures.torn;
                continue;
            }
            if (slot > flushedRecords && !anyLanded) {
                // No write to this slot reached the disk, but a later record's did: the slot
                // holds what the disk had there (nothing, or the end mark).
                ++m_figures.blankSlots;
                continue;
            }
            if (slot <= flushedRecords) ++m_figures.flushedLost;
            ADD_FAILURE() << "session " << session << ": record " << slot
                          << " holds bytes of two writes (" << nameIn(now) << ")";
        }
    }

    test::TempDir m_dir;
    std::string m_table;
    std::string m_index;
    Figures m_figures;
    int m_version = 0;
    bool m_cutInAFlushedWrite = false;
};

TEST_F(PowerCutTest, EveryStartAfterAPowerCutFindsTheFlushedRecordsWhole) {
    const int cuts = test::envInt("ABONEX_POWER_CUTS", 150);
    const unsigned seed = static_cast<unsigned>(test::envInt("ABONEX_POWER_SEED", 1606));
    std::mt19937 random(seed);
    test::PowerCutRecorder recorder(seed);
    for (int session = 0; session < cuts; ++session) {
        recorder.watch({m_table, m_index});
        recorder.cutAfterWrites(1 + static_cast<int>(random() % 120));
        runUntilTheCut(recorder, session, random);
        recorder.stop();
        // The power comes back: the disk holds what the cut left.
        test::writeFileBytes(m_table, recorder.afterCut(m_table));
        test::writeFileBytes(m_index, recorder.afterCut(m_index));
        checkTheNextStart(recorder, session);
        if (HasFailure()) break;
        ++m_figures.cuts;
    }
    std::cout << "[power cut] " << m_figures.cuts << " cuts survived (seed " << seed << "), "
              << m_figures.operations
              << " operations; record writes after the last flush: " << m_figures.landed
              << " reached the disk, " << m_figures.dropped << " lost; flushed records checked "
              << m_figures.flushedRecords << ", lost " << m_figures.flushedLost
              << "; torn by the write in flight " << m_figures.torn
              << "; blank slots left by lost appends " << m_figures.blankSlots
              << "; cuts inside a flushed write " << m_figures.flushedWritesCut << "\n";
    EXPECT_EQ(m_figures.flushedLost, 0);
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
