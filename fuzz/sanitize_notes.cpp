// Release notes from the update feed, shown in a notification: cleaning never fails, never
// lets a control or invisible formatting character through, never gives more than 300
// characters (code points) plus "…", and always gives UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "core/appcast.h"
#include "core/text.h"

namespace {

constexpr std::size_t limit = 300;
constexpr char32_t ellipsis = 0x2026;

bool removed(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

// The code points of text that is valid UTF-8.
std::vector<char32_t> code_points(std::string_view s) {
    std::vector<char32_t> out;
    for (unsigned char b : s) {
        if ((b & 0xC0) == 0x80) {
            out.back() = out.back() << 6 | (b & 0x3Fu);
        } else {
            out.push_back(b < 0x80 ? b : b < 0xE0 ? b & 0x1Fu : b < 0xF0 ? b & 0x0Fu : b & 0x07u);
        }
    }
    return out;
}

bool ascii_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<std::string> notes = torvane::sanitize_notes(text);

    // Absent exactly when there is nothing but white space.
    bool blank = true;
    for (char c : text)
        blank = blank && ascii_space(c);
    FUZZ_CHECK(notes.has_value() != blank);
    if (!notes) return 0;

    // Whatever came in, UTF-8 goes out, clean and within the limit.
    FUZZ_CHECK(torvane::valid_utf8(*notes));
    const std::vector<char32_t> shown = code_points(*notes);
    FUZZ_CHECK(shown.size() <= limit || (shown.size() == limit + 1 && shown.back() == ellipsis));
    for (char32_t c : shown)
        FUZZ_CHECK(!removed(c));
    if (!shown.empty()) {
        FUZZ_CHECK(shown.front() != U' ');
        FUZZ_CHECK(shown.back() != U' ');
    }
    // Cleaning clean notes again changes nothing.
    if (!notes->empty()) FUZZ_CHECK(torvane::sanitize_notes(*notes) == notes);
    return 0;
}
