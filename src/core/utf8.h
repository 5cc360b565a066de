#pragma once
// UTF-8 decoding and encoding, and conversion to and from UTF-16, shared by the text helpers,
// both platform layers and the release tool.

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

// UTF-16 in any 16-bit unit type (char16_t, or wchar_t on Windows); every unpaired surrogate
// becomes U+FFFD.
template <class Unit>
std::string utf8_of_utf16(std::basic_string_view<Unit> utf16) {
    static_assert(sizeof(Unit) == 2);
    const auto unit = [&](std::size_t i) { return char32_t{static_cast<char16_t>(utf16[i])}; };
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

// Every invalid byte becomes U+FFFD.
template <class Unit>
std::basic_string<Unit> utf16_of_utf8(std::string_view utf8) {
    static_assert(sizeof(Unit) == 2);
    std::basic_string<Unit> out;
    out.reserve(utf8.size());
    for_each_code_point(utf8, [&](char32_t cp, bool valid, std::string_view) {
        if (!valid) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<Unit>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<Unit>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<Unit>(cp));
        }
    });
    return out;
}

}  // namespace torvane
