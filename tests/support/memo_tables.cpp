#include "tests/support/memo_tables.h"

#include "engine/file/byte_order.h"
#include "engine/file/path_util.h"
#include "tests/support/test_support.h"

namespace abonex::test {

namespace {

void descriptor(std::vector<uint8_t>& header, size_t at, const char* name, char type, int length) {
    for (size_t i = 0; name[i] != '\0'; ++i) header[at + i] = static_cast<uint8_t>(name[i]);
    header[at + dbf::kFieldType] = static_cast<uint8_t>(type);
    header[at + dbf::kFieldLength] = static_cast<uint8_t>(length);
}

}  // namespace

std::string writeMemoTable(const std::string& dbfPath, MemoFile::Kind kind,
                           const std::vector<MemoRow>& rows, uint32_t blockLength) {
    if (kind == MemoFile::Kind::DBase3) blockLength = 512;
    // The memo file: a 512-byte header (FoxPro: whole blocks of it), then one run of blocks per
    // memo.
    std::vector<uint8_t> memo(kind == MemoFile::Kind::DBase4 ? blockLength : 512, 0);
    if (kind == MemoFile::Kind::DBase3) memo[16] = 0x03;
    if (kind == MemoFile::Kind::DBase4) putLe16(memo, 20, static_cast<uint16_t>(blockLength));
    if (kind == MemoFile::Kind::FoxPro)
        putBE16(memo.data() + 6, static_cast<uint16_t>(blockLength));
    std::vector<uint32_t> blocks;
    for (const MemoRow& row : rows) {
        if (!row.memo) {
            blocks.push_back(0);
            continue;
        }
        blocks.push_back(static_cast<uint32_t>(memo.size() / blockLength));
        std::vector<uint8_t> entry;
        const std::string& text = *row.memo;
        if (kind == MemoFile::Kind::DBase3) {
            entry.assign(text.begin(), text.end());
            entry.push_back(0x1A);
            entry.push_back(0x1A);
        } else {
            entry.assign(8, 0);
            if (kind == MemoFile::Kind::DBase4) {
                entry[0] = entry[1] = 0xFF;
                entry[2] = 0x08;
                putLe32(entry, 4, static_cast<uint32_t>(text.size() + 8));
            } else {
                putBE32(entry.data(), 1);
                putBE32(entry.data() + 4, static_cast<uint32_t>(text.size()));
            }
            entry.insert(entry.end(), text.begin(), text.end());
        }
        entry.resize((entry.size() + blockLength - 1) / blockLength * blockLength, 0);
        memo.insert(memo.end(), entry.begin(), entry.end());
    }
    const auto nextFree = static_cast<uint32_t>(memo.size() / blockLength);
    if (kind == MemoFile::Kind::FoxPro) {
        putBE32(memo.data(), nextFree);
    } else {
        putLe32(memo, 0, nextFree);
    }

    const uint8_t version = kind == MemoFile::Kind::DBase3   ? 0x83
                            : kind == MemoFile::Kind::DBase4 ? 0x8B
                                                             : 0xF5;
    const int recordLength = 1 + 20 + 10;
    const int headerLength = 32 + 2 * 32 + 1;
    std::vector<uint8_t> table(static_cast<size_t>(headerLength), 0);
    table[dbf::kHdrVersion] = version;
    stampHeaderDate(&table[dbf::kHdrUpdateDate], LocalTimestamp{2026, 12, 9, 0, 0, 0, 0});
    putLe32(table, dbf::kHdrRecordCount, static_cast<uint32_t>(rows.size()));
    putLe16(table, dbf::kHdrHeaderLength, headerLength);
    putLe16(table, dbf::kHdrRecordLength, recordLength);
    table[dbf::kHdrLanguageDriver] = kLanguageDriverOem866;
    descriptor(table, 32, "NAME", 'C', 20);
    descriptor(table, 64, "NOTES", 'M', 10);
    table[96] = 0x0D;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string record(static_cast<size_t>(recordLength), ' ');
        record.replace(1, std::min<size_t>(rows[r].name.size(), 20), rows[r].name.substr(0, 20));
        if (blocks[r] != 0) {
            const std::string number = std::to_string(blocks[r]);
            record.replace(static_cast<size_t>(recordLength) - number.size(), number.size(),
                           number);
        }
        table.insert(table.end(), record.begin(), record.end());
    }
    table.push_back(0x1A);
    writeFileBytes(dbfPath, table);
    const std::string memoPath =
        replaceExtension(dbfPath, kind == MemoFile::Kind::FoxPro ? ".FPT" : ".DBT");
    writeFileBytes(memoPath, memo);
    return memoPath;
}

}  // namespace abonex::test
