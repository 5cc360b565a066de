// The update package and the feed that describes it, each checked by reading it back as the
// program will.

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "core/appcast.h"
#include "core/crypto.h"
#include "core/package.h"
#include "core/package_proof.h"
#include "core/strings.h"
#include "core/url.h"
#include "tools/release/release.h"
#include "tools/release/zip_write.h"

namespace torvane::release {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Two to four dot-separated decimal numbers below 2^32, as the program compares them.
bool valid_minimum_system(std::string_view text) {
    std::size_t parts = 0;
    for (;;) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc{} || end != part.data() + part.size()) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts >= 2 && parts <= 4;
}

Status check_feed_fields(std::span<const std::uint8_t> package, const FeedFields& fields) {
    if (package.empty() || package.size() > max_package_size)
        return Error{"a package must have 1 to " + std::to_string(max_package_size) + " bytes"};
    if (Result<Bytes> app = extract_app_bytes(package); !app)
        return Error{"the package is not one the program accepts: " + app.error().message};
    if (fields.build < 1 || fields.build > 0xFFFF) return Error{"the build must be 1 to 65535"};
    if (!package_url_allowed(fields.url, https_host(fields.url)))
        return Error{"the package URL must be an https URL on the default port: " + fields.url};
    if (fields.minimum_system && !valid_minimum_system(*fields.minimum_system))
        return Error{"the minimum system must be two to four numbers, like 10.0.19045"};
    if (fields.notes && !valid_utf8(*fields.notes))
        return Error{"the release notes are not UTF-8 text"};
    return success();
}

std::string feed_text(std::span<const std::uint8_t> package, const FeedFields& fields,
                      std::span<const std::uint8_t> signature) {
    nlohmann::ordered_json feed;
    feed["version"] = fields.version;
    feed["build"] = fields.build;
    feed["size"] = package.size();
    feed["url"] = fields.url;
    feed["sha256"] = sha256_hex(package);
    feed["signature"] = base64_encode(signature);
    if (fields.notes) feed["notes"] = *fields.notes;
    if (fields.minimum_system) feed["minimumSystem"] = *fields.minimum_system;
    return feed.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// Read back as the program reads it.
Status check_feed(std::string_view text, std::span<const std::uint8_t> package,
                  const FeedFields& fields, const PublicKey& key) {
    Result<Appcast> parsed = parse_appcast(text);
    if (!parsed)
        return Error{
            "the program would not accept the feed; is the version three numbers of "
            "up to four digits, like 1.4.2? (" +
            fields.version + ")"};
    const Appcast& a = parsed.value();
    const auto signature = base64_decode(a.signature);
    if (a.version != fields.version || a.build != fields.build ||
        a.size != static_cast<std::int64_t>(package.size()) || a.url != fields.url ||
        a.notes != fields.notes || a.minimumSystem != fields.minimum_system ||
        !verify_package_digest(package, a) || !signature ||
        !ed25519_verify_strict(key, package, *signature))
        return Error{"the feed does not verify against its package"};
    return success();
}

}  // namespace

Result<PublicKey> public_key_of(const Ed25519Seed& seed) {
    const auto key = ed25519_public_key(seed);
    if (!key) return Error{"libgcrypt could not derive the public key"};
    return *key;
}

Result<std::vector<std::uint8_t>> pack(std::span<const std::uint8_t> exe) {
    if (exe.empty()) return Error{"the executable is empty"};
    if (exe.size() > max_package_size)
        return Error{"the executable is larger than " + std::to_string(max_package_size) +
                     " bytes"};
    zip_write::Record record;
    record.name = record.local_name = app_name;
    record.data = zip_write::raw_deflate(exe);
    if (record.data.empty()) return Error{"zlib could not compress the executable"};
    record.crc = zip_write::crc32_of(exe);
    record.size = static_cast<std::uint32_t>(exe.size());
    Bytes package = zip_write::write({record});
    if (package.size() > max_package_size)
        return Error{"the package would be larger than " + std::to_string(max_package_size) +
                     " bytes, which the program refuses to download"};
    // What the program will take out of it.
    Result<Bytes> extracted = extract_app_bytes(package);
    if (!extracted ||
        !std::equal(exe.begin(), exe.end(), extracted.value().begin(), extracted.value().end()))
        return Error{"the package does not give back the executable"};
    return package;
}

Result<std::string> make_feed(std::span<const std::uint8_t> package, const Ed25519Seed& seed,
                              const FeedFields& fields) {
    if (Status valid = check_feed_fields(package, fields); !valid) return valid.error();
    Result<PublicKey> key = public_key_of(seed);
    if (!key) return key.error();
    const auto signature = ed25519_sign(seed, package);
    if (!signature) return Error{"libgcrypt could not sign the package"};
    std::string text = feed_text(package, fields, *signature);
    if (Status checked = check_feed(text, package, fields, key.value()); !checked)
        return checked.error();
    return text;
}

}  // namespace torvane::release
