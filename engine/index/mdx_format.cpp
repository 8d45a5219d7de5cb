#include "engine/index/mdx_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace abonex::mdx {

TagGeometry tagGeometry(int keyLength, uint32_t blockLength) {
    TagGeometry geometry{};
    geometry.keyLength = keyLength;
    geometry.entryLength = (keyLength + 4 + 3) / 4 * 4;
    geometry.keysPerNode =
        (static_cast<int>(blockLength) - static_cast<int>(kNodeEntries)) / geometry.entryLength - 1;
    return geometry;
}

NumericKey encodeNumericKey(double value) {
    NumericKey key{};
    key[0] = static_cast<uint8_t>(kExponentBias);
    key[1] = 1;
    if (std::isnan(value) || value == 0.0) return key;

    const bool negative = value < 0;
    std::string digits;
    int exponent = 0;
    if (std::isinf(value)) {
        exponent = kMaxNumericDigits + 1;
    } else {
        // "%.14e" rounds to 15 significant digits: d.dddddddddddddde+XX, i.e. 0.ddd x 10^(XX+1).
        char text[40];
        std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
        digits.push_back(text[0]);
        digits.append(text + 2, 14);
        exponent = std::atoi(text + 17) + 1;
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
    }
    if (exponent > kMaxNumericDigits) {
        exponent = kMaxNumericDigits;
        digits.assign(kMaxNumericDigits, '9');
    }
    if (exponent < -kExponentBias) return key;  // below the smallest exponent the form holds

    const size_t digitBytes = (digits.size() + 1) / 2;
    key[0] = static_cast<uint8_t>(exponent + kExponentBias);
    key[1] = static_cast<uint8_t>(8 * digitBytes + 1) | (negative ? 0x80 : 0);
    for (size_t i = 0; i < digits.size(); ++i) {
        const auto nibble = static_cast<uint8_t>(digits[i] - '0');
        key[2 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
    }
    return key;
}

double decodeNumericKey(const uint8_t* key) {
    size_t digitCount = 2 * ((key[1] / 8u) % 16u);
    if (digitCount > 2 * (kNumericKeyLength - 2)) digitCount = 2 * (kNumericKeyLength - 2);
    std::string text = "0.";
    for (size_t i = 0; i < digitCount; ++i) {
        const uint8_t byte = key[2 + i / 2];
        const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        text.push_back(static_cast<char>('0' + (nibble > 9 ? 9 : nibble)));
    }
    if (digitCount == 0) text.push_back('0');
    text += "e" + std::to_string(static_cast<int>(key[0]) - kExponentBias);
    const double value = std::strtod(text.c_str(), nullptr);
    return (key[1] & 0x80) != 0 ? -value : value;
}

}  // namespace abonex::mdx
