#include "engine/index/mdx_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace abonex::mdx {
namespace {

std::vector<int> bytesOf(const NumericKey& key) {
    return {key.begin(), key.end()};
}

TEST(NumericKey, EncodesDigitsExponentAndSign) {
    EXPECT_EQ(bytesOf(encodeNumericKey(123)),
              (std::vector<int>{0x37, 0x11, 0x12, 0x30, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(encodeNumericKey(0)),
              (std::vector<int>{0x34, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(encodeNumericKey(-123)),
              (std::vector<int>{0x37, 0x91, 0x12, 0x30, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 0.5 = 0.5 x 10^0; 0.0125 = 0.125 x 10^-1
    EXPECT_EQ(bytesOf(encodeNumericKey(0.5)),
              (std::vector<int>{0x34, 0x09, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytesOf(encodeNumericKey(0.0125)),
              (std::vector<int>{0x33, 0x11, 0x12, 0x50, 0, 0, 0, 0, 0, 0, 0, 0}));
    // An even digit count fills the last byte: 1234 -> two digit bytes.
    EXPECT_EQ(bytesOf(encodeNumericKey(1234)),
              (std::vector<int>{0x38, 0x11, 0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(NumericKey, RoundsToFifteenDigitsAndCapsTheExponent) {
    // 16 significant digits round to 15: 0.123456789012346 x 10^15
    EXPECT_EQ(bytesOf(encodeNumericKey(123456789012345.6)),
              (std::vector<int>{0x43, 0x41, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x60, 0, 0}));
    // An exponent above 15 is stored as 15 with fifteen 9s.
    const std::vector<int> capped{0x43, 0x41, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x90, 0, 0};
    EXPECT_EQ(bytesOf(encodeNumericKey(1234567890123456789.0)), capped);
    EXPECT_EQ(bytesOf(encodeNumericKey(1e300)), capped);
    std::vector<int> negativeCapped = capped;
    negativeCapped[1] = 0xC1;
    EXPECT_EQ(bytesOf(encodeNumericKey(-1e20)), negativeCapped);
}

TEST(NumericKey, DecodesWhatItEncodes) {
    for (double value : {123.0, 0.0, -123.0, 0.5, -0.0125, 1499.99, 999999999999999.0, 1e-40,
                         -42.125, 3.14159265358979}) {
        const NumericKey key = encodeNumericKey(value);
        EXPECT_DOUBLE_EQ(decodeNumericKey(key.data()), value) << value;
    }
    EXPECT_DOUBLE_EQ(decodeNumericKey(encodeNumericKey(1e20).data()), 999999999999999.0);
}

TEST(NumericKey, DecodingNeverReadsPastTheKey) {
    // A digit-count byte claiming 15 digit bytes is held to the ten the key has.
    uint8_t key[kNumericKeyLength] = {0x34 + 2, 0x79, 0x12, 0x34};
    EXPECT_DOUBLE_EQ(decodeNumericKey(key), 12.34);
}

TEST(NumericKey, DigitsBeyondTheCountOfByteOneAreRead) {
    // Another writer counts digits, not digit bytes, in byte 1: 1369.6 has five digits, which
    // it stores as 0x15 (two and a half bytes); 313 as 0x0D.
    const uint8_t fiveDigits[kNumericKeyLength] = {0x38, 0x15, 0x13, 0x69, 0x60};
    EXPECT_DOUBLE_EQ(decodeNumericKey(fiveDigits), 1369.6);
    const uint8_t threeDigits[kNumericKeyLength] = {0x37, 0x0D, 0x31, 0x30};
    EXPECT_DOUBLE_EQ(decodeNumericKey(threeDigits), 313.0);
    const uint8_t negative[kNumericKeyLength] = {0x37, 0x8D, 0x31, 0x30};
    EXPECT_DOUBLE_EQ(decodeNumericKey(negative), -313.0);
}

TEST(TagGeometry, FollowsKeyLength) {
    struct Row {
        int key, entry, perNode;
    };
    for (Row row : {Row{8, 12, 83}, Row{12, 16, 62}, Row{30, 36, 27}, Row{100, 104, 8},
                    Row{239, 244, 3}, Row{1, 8, 126}}) {
        const TagGeometry g = tagGeometry(row.key);
        EXPECT_EQ(g.entryLength, row.entry) << row.key;
        EXPECT_EQ(g.keysPerNode, row.perNode) << row.key;
    }
}

}  // namespace
}  // namespace abonex::mdx
