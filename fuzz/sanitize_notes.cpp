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
#include "strict_utf8.h"

namespace {

constexpr std::size_t limit = 300;
constexpr char32_t ellipsis = 0x2026;

bool removed(char32_t c) {
    return c <= 0x1F || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

bool ascii_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The cleaning rule written out plainly, for input that is UTF-8.
std::vector<char32_t> reference(const std::vector<char32_t>& text) {
    std::vector<char32_t> kept;
    for (char32_t c : text) {
        if (!removed(c)) kept.push_back(c);
    }
    // Every white-space character but the space is a control character, removed above.
    std::size_t first = 0, last = kept.size();
    while (first < last && kept[first] == U' ')
        ++first;
    while (last > first && kept[last - 1] == U' ')
        --last;
    std::vector<char32_t> out(kept.begin() + static_cast<std::ptrdiff_t>(first),
                              kept.begin() + static_cast<std::ptrdiff_t>(last));
    if (out.size() > limit) {
        out.resize(limit);
        out.push_back(ellipsis);
    }
    return out;
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
    std::optional<std::vector<char32_t>> shown = fuzz::strict_utf8(*notes);
    FUZZ_CHECK(shown.has_value());
    FUZZ_CHECK(shown->size() <= limit || (shown->size() == limit + 1 && shown->back() == ellipsis));
    for (char32_t c : *shown)
        FUZZ_CHECK(!removed(c));
    if (!shown->empty()) {
        FUZZ_CHECK(shown->front() != U' ');
        FUZZ_CHECK(shown->back() != U' ');
    }
    // Cleaning clean notes again changes nothing.
    if (!notes->empty()) FUZZ_CHECK(torvane::sanitize_notes(*notes) == notes);

    // Notes that are UTF-8 lose exactly the removed characters and nothing else.
    if (std::optional<std::vector<char32_t>> input = fuzz::strict_utf8(text))
        FUZZ_CHECK(*shown == reference(*input));
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // No notes at all stay no notes.
    FUZZ_CHECK(!torvane::sanitize_notes(std::nullopt).has_value());
    return 0;
}
