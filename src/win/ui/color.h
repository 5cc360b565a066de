#pragma once
// The program's one color type: a packed word with alpha in bits 0–7, red 8–15, green 16–23
// and blue 24–31.

#include <algorithm>
#include <cstdint>

namespace torvane {

using Color = uint32_t;

// From #RRGGBB and an alpha byte.
constexpr Color rgb(uint32_t rrggbb, uint8_t alpha = 0xFF) {
    const uint32_t r = (rrggbb >> 16) & 0xFF, g = (rrggbb >> 8) & 0xFF, b = rrggbb & 0xFF;
    return (b << 24) | (g << 16) | (r << 8) | alpha;
}

// From the DWM's registry color 0xAABBGGRR; its alpha byte is dropped, the result is opaque.
constexpr Color from_dwm_color(uint32_t aabbggrr) {
    return (aabbggrr << 8) | 0xFF;
}

constexpr uint8_t alpha_of(Color c) {
    return static_cast<uint8_t>(c);
}
constexpr uint8_t red_of(Color c) {
    return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t green_of(Color c) {
    return static_cast<uint8_t>(c >> 16);
}
constexpr uint8_t blue_of(Color c) {
    return static_cast<uint8_t>(c >> 24);
}

// Relative luminance, 0 to 1.
constexpr double luminance(Color c) {
    return (0.2126 * red_of(c) + 0.7152 * green_of(c) + 0.0722 * blue_of(c)) / 255;
}

// Each channel moved `amount` of the way to white, truncated; the alpha byte is kept.
constexpr Color lightened(Color c, double amount) {
    auto toward_white = [amount](uint8_t v) {
        return static_cast<uint32_t>(std::clamp(v + (255.0 - v) * amount, 0.0, 255.0));
    };
    return (toward_white(blue_of(c)) << 24) | (toward_white(green_of(c)) << 16) |
           (toward_white(red_of(c)) << 8) | alpha_of(c);
}

// The system accent used when none is set: #0067C0.
inline constexpr Color default_accent = rgb(0x0067C0);

}  // namespace torvane
