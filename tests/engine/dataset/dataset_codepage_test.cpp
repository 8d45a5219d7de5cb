// A data set over tables whose language byte names another code page than the directory's 866,
// or none: the text crosses in 1251 whatever page the table holds, is stored back in that page,
// and the key expressions case it by that page's letters.
#include <gtest/gtest.h>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

std::string ansi(std::string_view utf8) {
    return *utf8ToAnsi(utf8);
}

class DataSetCodePageTest : public ::testing::Test {
  protected:
    // T.DBF with one record whose NAME holds `stored` (bytes as they are on disk).
    void makeTable(uint8_t languageDriver, const std::string& stored) {
        createDbfTable(m_dir.file("T.DBF"), {{"NAME", 'C', 20, 0}}, languageDriver);
        GSO_dBaseFld table(m_dir.file("T.DBF"), false, true);
        table.BlankRecord();
        table.FieldPut("NAME", stored);
        table.AppendRecord();
    }
    void open(std::optional<CodePage> forced = std::nullopt) {
        m_set.setDatabaseName(m_dir.path());
        m_set.setTableName("T.DBF");
        m_set.setForcedCodePage(forced);
        m_set.Open();
        m_set.First();
    }
    // The NAME bytes of record 1 on disk.
    std::string storedName() {
        GSO_dBaseFld table(m_dir.file("T.DBF"), true, false);
        table.GotoRecord(1);
        return table.FieldGet("NAME");
    }
    test::TempDir m_dir;
    TEngineDataSet m_set;
};

TEST_F(DataSetCodePageTest, A1251TableCrossesAsItIsAndIsWrittenIn1251) {
    makeTable(0xC9, *utf8ToPage(CodePage::Cp1251, "Ёлкин «дача»"));
    open();
    EXPECT_EQ(m_set.tableCodePage(), CodePage::Cp1251);
    EXPECT_EQ(m_set.handler()->textCodePage(), TextCodePage::Ansi1251);
    EXPECT_EQ(m_set.Fields(0).AsString(), ansi("Ёлкин «дача»"));
    m_set.Edit();
    m_set.Fields(0).SetAsString(ansi("Щукин «лес»"));
    m_set.Post();
    m_set.Close();
    EXPECT_EQ(storedName(), *utf8ToPage(CodePage::Cp1251, "Щукин «лес»"));
}

TEST_F(DataSetCodePageTest, ATableThatNamesNoPageIsTheDirectorys866) {
    makeTable(0x00, *utf8ToOem("Ёлкин"));
    open();
    EXPECT_EQ(m_set.tableCodePage(), CodePage::Cp866);
    EXPECT_EQ(m_set.handler()->textCodePage(), TextCodePage::Oem866);
    EXPECT_EQ(m_set.Fields(0).AsString(), ansi("Ёлкин"));
    m_set.Close();
    // Unless the one who opens it knows better.
    m_set.setDefaultCodePage(CodePage::Cp1251);
    open();
    EXPECT_EQ(m_set.tableCodePage(), CodePage::Cp1251);
    EXPECT_EQ(m_set.Fields(0).AsString(), *utf8ToOem("Ёлкин"));
}

TEST_F(DataSetCodePageTest, AForcedPageOverridesTheLanguageByte) {
    // Marked 866 but holding 1251 text, as a program that never set the byte leaves it.
    makeTable(0x26, *utf8ToPage(CodePage::Cp1251, "Жуков"));
    open(CodePage::Cp1251);
    EXPECT_EQ(m_set.Fields(0).AsString(), ansi("Жуков"));
    m_set.Close();
    open();
    EXPECT_NE(m_set.Fields(0).AsString(), ansi("Жуков"));
}

TEST_F(DataSetCodePageTest, A1252TableShowsWhat1251HasAndMarksTheRest) {
    // é and ñ are not in 1251: they cross as '?', and a letter both pages hold as itself.
    makeTable(0x03, *utf8ToPage(CodePage::Cp1252, "café niño £"));
    open();
    EXPECT_EQ(m_set.tableCodePage(), CodePage::Cp1252);
    EXPECT_EQ(m_set.Fields(0).AsString(), "caf? ni?o ?");
}

TEST_F(DataSetCodePageTest, StoredTextThroughItsTranslationIsWhatAsStringGives) {
    // Each page with text of its own, padded as the field stores it; a number field beside it.
    const std::pair<uint8_t, std::string> tables[] = {
        {0x26, *utf8ToOem("Ёлкин ╔═╗ №5")},
        {0xC9, *utf8ToPage(CodePage::Cp1251, "Ёлкин «дача»")},
        {0x03, *utf8ToPage(CodePage::Cp1252, "café niño £")},
    };
    for (const auto& [driver, stored] : tables) {
        SCOPED_TRACE(int{driver});
        test::TempDir dir;
        createDbfTable(dir.file("T.DBF"), {{"NAME", 'C', 30, 0}, {"SUM", 'N', 8, 2}}, driver);
        {
            GSO_dBaseFld table(dir.file("T.DBF"), false, true);
            table.BlankRecord();
            table.FieldPut("NAME", stored);
            table.FieldPut("SUM", "  -12.50");
            table.AppendRecord();
        }
        TEngineDataSet set;
        set.setDatabaseName(dir.path());
        set.setTableName("T.DBF");
        for (const bool translate : {true, false}) {
            set.setTranslateASCII(translate);
            set.Open();
            set.First();
            for (int i = 0; i < set.FieldCount(); ++i) {
                std::string viaTable;
                Utf8Table(set.fieldTranslation(i)).append(viaTable, set.storedFieldText(i));
                EXPECT_EQ(viaTable, ansiToUtf8(set.Fields(i).AsString())) << i << translate;
            }
            EXPECT_EQ(set.storedFieldText(0), stored);
            EXPECT_EQ(set.storedFieldText(1), "-12.50");
            // While a row is edited, its text is the edit's.
            set.Edit();
            set.Fields(0).SetAsString("abc");
            EXPECT_EQ(set.storedFieldText(0), "abc");
            set.Cancel();
            set.Close();
            EXPECT_THROW(set.storedFieldText(0), EDatabaseError);
        }
    }
}

}  // namespace
}  // namespace abonex
