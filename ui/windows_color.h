// Colours written as Windows colour values: 0x00BBGGRR, blue in the high byte, red in the low.
#pragma once

#include <QColor>
#include <cstdint>

namespace abonex {

inline QColor windowsColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

inline constexpr uint32_t kGridBackground = 0xE7F0F1;
inline constexpr uint32_t kPreviewBackground = 0xD9EAE4;
inline constexpr uint32_t kPreviewText = 0x31594B;
inline constexpr uint32_t kHintColour = 0xFFFF00;
inline constexpr uint32_t kBannerBackground = 0xD0EEF0;

}  // namespace abonex
