// Helpers of the index tests: tables with rows, node blocks decoded from file bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/tgs_variant.h"
#include "engine/index/mdx_tag.h"

namespace abonex::test {

// Creates the table at `path` with `fields` and appends `rows` (field texts in field order);
// rows whose number is in `deleted` (1-based) are marked deleted.
void makeTable(const std::string& path, const std::vector<FieldSpec>& fields,
               const std::vector<std::vector<std::string>>& rows,
               const std::vector<int>& deleted = {});

// A node block as the file holds it.
struct NodeImage {
    uint32_t count = 0;
    uint32_t chain = 0;
    std::vector<uint32_t> pointers;  // count + 1 pointers (the last is 0 in a leaf)
    std::vector<std::string> keys;   // count + 1 raw keys
    bool zeroBehind = true;          // every byte behind entry count is zero
};
NodeImage nodeAt(const std::vector<uint8_t>& file, uint32_t block, int keyLength, int entryLength);

// The keys of a tag in tree order, as "<key>|<record>" with character keys as stored.
std::vector<std::string> treeKeys(GSobjMDXTag& tag);

// Runs `action` and expects an EEngineError with exactly `message`.
void expectEngineError(const std::function<void()>& action, const std::string& message);

}  // namespace abonex::test
