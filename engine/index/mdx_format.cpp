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
    key[1] = static_cast<uint8_t>(8 * digitBytes + 1) | (negative ? kNumericNegative : 0);
    for (size_t i = 0; i < digits.size(); ++i) {
        const auto nibble = static_cast<uint8_t>(digits[i] - '0');
        key[2 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
    }
    return key;
}

double decodeNumericKey(const uint8_t* key) {
    // The digits are read from all ten digit bytes: unused digits are zero, and writers
    // disagree on the digit count kept in the rest of byte 1 (this one counts digit bytes,
    // others count digits), so the value is taken from the digits themselves.
    std::string text = (key[1] & kNumericNegative) != 0 ? "-0." : "0.";
    bool nonZero = false;
    for (size_t i = 2; i < static_cast<size_t>(kNumericKeyLength); ++i) {
        for (int digit : {key[i] >> 4, key[i] & 0x0F}) {
            if (digit > 9) digit = 9;  // a damaged nibble still gives a number
            text.push_back(static_cast<char>('0' + digit));
            nonZero = nonZero || digit != 0;
        }
    }
    if (!nonZero) return 0.0;
    text += "e" + std::to_string(static_cast<int>(key[0]) - kExponentBias);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace abonex::mdx
