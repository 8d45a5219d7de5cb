#include "tests/support/memo_tables.h"

#include "engine/file/path_util.h"
#include "tests/support/test_support.h"

namespace abonex::test {

namespace {

void put16le(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}
void put32le(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void put32be(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}

void descriptor(std::vector<uint8_t>& header, size_t at, const char* name, char type, int length) {
    for (size_t i = 0; name[i] != '\0'; ++i) header[at + i] = static_cast<uint8_t>(name[i]);
    header[at + 11] = static_cast<uint8_t>(type);
    header[at + 16] = static_cast<uint8_t>(length);
}

}  // namespace

std::string writeMemoTable(const std::string& dbfPath, MemoFile::Kind kind,
                           const std::vector<MemoRow>& rows, uint32_t blockLength) {
    if (kind == MemoFile::Kind::DBase3) blockLength = 512;
    // The memo file: a 512-byte header (FoxPro: whole blocks of it), then one run of blocks per
    // memo.
    std::vector<uint8_t> memo(kind == MemoFile::Kind::DBase4 ? blockLength : 512, 0);
    if (kind == MemoFile::Kind::DBase3) memo[16] = 0x03;
    if (kind == MemoFile::Kind::DBase4) put16le(memo, 20, blockLength);
    if (kind == MemoFile::Kind::FoxPro) {
        memo[6] = static_cast<uint8_t>(blockLength >> 8);
        memo[7] = static_cast<uint8_t>(blockLength);
    }
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
                put32le(entry, 4, static_cast<uint32_t>(text.size() + 8));
            } else {
                put32be(entry, 0, 1);
                put32be(entry, 4, static_cast<uint32_t>(text.size()));
            }
            entry.insert(entry.end(), text.begin(), text.end());
        }
        entry.resize((entry.size() + blockLength - 1) / blockLength * blockLength, 0);
        memo.insert(memo.end(), entry.begin(), entry.end());
    }
    const auto nextFree = static_cast<uint32_t>(memo.size() / blockLength);
    if (kind == MemoFile::Kind::FoxPro) {
        put32be(memo, 0, nextFree);
    } else {
        put32le(memo, 0, nextFree);
    }

    const uint8_t version = kind == MemoFile::Kind::DBase3   ? 0x83
                            : kind == MemoFile::Kind::DBase4 ? 0x8B
                                                             : 0xF5;
    const int recordLength = 1 + 20 + 10;
    const int headerLength = 32 + 2 * 32 + 1;
    std::vector<uint8_t> table(static_cast<size_t>(headerLength), 0);
    table[0] = version;
    table[1] = 126;
    table[2] = 12;
    table[3] = 9;
    put32le(table, 4, static_cast<uint32_t>(rows.size()));
    put16le(table, 8, headerLength);
    put16le(table, 10, recordLength);
    table[29] = kLanguageDriverOem866;
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
