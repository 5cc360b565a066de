#pragma once
// UTF-8 as the fuzz targets judge it.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace fuzz {

inline bool continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Strict UTF-8 decoding, written apart from the program's own decoder so that the two check
// each other: absent for anything but shortest-form scalar values.
inline std::optional<std::vector<char32_t>> strict_utf8(std::string_view s) {
    std::vector<char32_t> out;
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t n;
        char32_t c, min;
        if (b < 0x80) {
            n = 0, c = b, min = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 1, c = b & 0x1Fu, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 2, c = b & 0x0Fu, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 3, c = b & 0x07u, min = 0x10000;
        } else {
            return std::nullopt;
        }
        if (s.size() - i - 1 < n) return std::nullopt;
        for (std::size_t k = 1; k <= n; ++k) {
            auto next = static_cast<unsigned char>(s[i + k]);
            if (!continuation(next)) return std::nullopt;
            c = (c << 6) | (next & 0x3Fu);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += n + 1;
    }
    return out;
}

}  // namespace fuzz
