#pragma once
// UTF-8 decoding and encoding, shared by the text helpers and both platform layers.

#include <string>
#include <string_view>

namespace torvane {

// Calls f(code_point, valid, raw_bytes) for each character; an invalid byte is reported alone
// with valid = false (overlong forms, surrogates and values above U+10FFFF are invalid).
template <class F>
void for_each_code_point(std::string_view s, F&& f) {
    std::size_t i = 0;
    while (i < s.size()) {
        auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len = b0 < 0x80         ? 1
                          : (b0 >> 5) == 6  ? 2
                          : (b0 >> 4) == 14 ? 3
                          : (b0 >> 3) == 30 ? 4
                                            : 0;
        char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        bool valid = len != 0 && i + len <= s.size();
        for (std::size_t k = 1; valid && k < len; ++k) {
            auto b = static_cast<unsigned char>(s[i + k]);
            valid = (b >> 6) == 2;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (valid) {
            static constexpr char32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = cp >= min_for_len[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (!valid) len = 1;
        f(cp, valid, s.substr(i, len));
        i += len;
    }
}

inline void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace torvane
