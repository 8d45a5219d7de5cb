// The byte order of the stored formats: exact byte images, high bytes read without sign
// spreading, and big-endian forms whose bytes compare as the numbers they hold.
#include "engine/file/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

namespace abonex {
namespace {

TEST(ByteOrderTest, LittleEndianImagesPutTheLowByteFirst) {
    std::array<uint8_t, 8> b{};
    putLE16(b.data(), 0xA1B2);
    EXPECT_EQ(b[0], 0xB2);
    EXPECT_EQ(b[1], 0xA1);
    putLE32(b.data(), 0xF1E2D3C4u);
    EXPECT_EQ(b, (std::array<uint8_t, 8>{0xC4, 0xD3, 0xE2, 0xF1, 0, 0, 0, 0}));
    putLE64(b.data(), 0x8877665544332211ull);
    EXPECT_EQ(b, (std::array<uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    EXPECT_EQ(getLE64(b.data()), 0x8877665544332211ull);
    EXPECT_EQ(getLE32(b.data() + 4), 0x88776655u);
    EXPECT_EQ(getLE16(b.data() + 6), 0x8877);
    // The big-endian 16-bit form (FoxPro memo block lengths) puts the high byte first.
    putBE16(b.data(), 0x0240);
    EXPECT_EQ(b[0], 0x02);
    EXPECT_EQ(b[1], 0x40);
    EXPECT_EQ(getBE16(b.data()), 0x0240);
}

TEST(ByteOrderTest, HighBytesReadBackWithoutSignSpreading) {
    const uint8_t image[8] = {0x01, 0x80, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(getLE16(image), 0x8001);
    EXPECT_EQ(getLE32(image), 0xFF008001u);
    EXPECT_EQ(getLE64(image), 0xFFFFFFFEFF008001ull);
    EXPECT_EQ(getBE16(image), 0x0180);
    EXPECT_EQ(getBE16(image + 3), 0xFFFE);
    EXPECT_EQ(getBE32(image), 0x018000FFu);
    EXPECT_EQ(getBE64(image), 0x018000FFFEFFFFFFull);
}

TEST(ByteOrderTest, BigEndianFormsCompareByteForByteAsTheirNumbers) {
    std::mt19937_64 random(20260212);
    for (int i = 0; i < 2000; ++i) {
        // Small gaps as well as large ones: neighbours differ only in their low bytes.
        const uint64_t a = random();
        const uint64_t b = i % 2 == 0 ? random() : a + random() % 300;
        uint8_t first[8], second[8];
        putBE64(first, a);
        putBE64(second, b);
        EXPECT_EQ(std::memcmp(first, second, 8) < 0, a < b) << a << " " << b;
        EXPECT_EQ(getBE64(first), a);
        putBE32(first, static_cast<uint32_t>(a));
        putBE32(second, static_cast<uint32_t>(b));
        EXPECT_EQ(std::memcmp(first, second, 4) < 0,
                  static_cast<uint32_t>(a) < static_cast<uint32_t>(b));
        EXPECT_EQ(getBE32(first), static_cast<uint32_t>(a));
    }
}

}  // namespace
}  // namespace abonex
