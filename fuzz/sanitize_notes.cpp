// Release notes from the update feed, shown in a notification: cleaning never fails, always
// gives UTF-8 of at most 300 characters (code points) plus "…", and is done once for all.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "core/appcast.h"
#include "core/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> notes = torvane::sanitize_notes(text);
    // Absent exactly when there is nothing but white space.
    FUZZ_CHECK(notes.has_value() != (text.find_first_not_of(" \t\n\r\v\f") == text.npos));
    if (!notes) return 0;
    FUZZ_CHECK(torvane::valid_utf8(*notes));
    std::size_t characters = 0;
    for (unsigned char b : *notes)
        characters += (b & 0xC0) != 0x80;
    FUZZ_CHECK(characters <= 300 || (characters == 301 && notes->ends_with("…")));
    if (!notes->empty()) FUZZ_CHECK(torvane::sanitize_notes(*notes) == notes);
    return 0;
}
