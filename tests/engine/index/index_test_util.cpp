#include "tests/engine/index/index_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/file/engine_error.h"
#include "engine/index/mdx_format.h"

namespace abonex::test {

void makeTable(const std::string& path, const std::vector<FieldSpec>& fields,
               const std::vector<std::vector<std::string>>& rows, const std::vector<int>& deleted) {
    createDbfTable(path, fields);
    GSO_dBaseFld table(path, false, true);
    for (const auto& row : rows) {
        table.BlankRecord();
        for (size_t i = 0; i < row.size(); ++i) table.FieldPut(static_cast<int>(i + 1), row[i]);
        table.AppendRecord();
    }
    for (int n : deleted) {
        table.GotoRecord(n);
        table.DeleteRecord();
    }
}

NodeImage nodeAt(const std::vector<uint8_t>& file, uint32_t block, int keyLength, int entryLength) {
    NodeImage node;
    const size_t base = size_t{block} * mdx::kUnitSize;
    if (base + mdx::kBlockLength > file.size()) {
        ADD_FAILURE() << "block " << block << " lies outside the file";
        return node;
    }
    const uint8_t* b = file.data() + base;
    node.count = getLE32(b);
    node.chain = getLE32(b + 4);
    const size_t entries = std::min<size_t>(node.count + 1, (mdx::kBlockLength - 12) / entryLength);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* at = b + 8 + i * static_cast<size_t>(entryLength);
        node.pointers.push_back(getLE32(at));
        node.keys.emplace_back(reinterpret_cast<const char*>(at + 4), keyLength);
    }
    for (size_t i = 8 + entries * static_cast<size_t>(entryLength); i < mdx::kBlockLength; ++i) {
        if (b[i] != 0) node.zeroBehind = false;
    }
    return node;
}

std::vector<std::string> treeKeys(GSobjMDXTag& tag) {
    std::vector<std::string> keys;
    tag.walkKeys([&](const TgsVariant& key) {
        std::string text =
            key.type() == VariantType::Character ? key.bytes() : std::to_string(key.asDouble());
        keys.push_back(text + "|" + std::to_string(key.pointer()));
    });
    return keys;
}

void expectEngineError(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error; expected " << message;
    } catch (const EEngineError& error) {
        EXPECT_EQ(std::string(error.what()), message);
    }
}

}  // namespace abonex::test
