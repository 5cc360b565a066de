#include "core/curve25519.h"

#include <algorithm>

namespace torvane::curve25519 {

namespace {

struct Curve {
    gcry_ctx_t context = nullptr;
    Curve() { gcry_mpi_ec_new(&context, nullptr, "Ed25519"); }
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;
    ~Curve() { gcry_ctx_release(context); }
};

struct Point {
    gcry_mpi_point_t value = nullptr;
    explicit Point(gcry_mpi_point_t p = gcry_mpi_point_new(0)) : value(p) {}
    Point(const Point&) = delete;
    Point& operator=(const Point&) = delete;
    ~Point() { gcry_mpi_point_release(value); }
};

// RFC 8032, 5.1.2: y in little-endian order, the lowest bit of x in the top bit.
std::optional<Bytes32> encode(const Point& point, const Curve& curve) {
    Mpi x, y;
    if (gcry_mpi_ec_get_affine(x, y, point.value, curve.context) != 0) return std::nullopt;
    Bytes32 bytes = scalar_bytes(y);
    if (gcry_mpi_test_bit(x, 0)) bytes[31] |= 0x80;
    return bytes;
}

}  // namespace

void initialize_gcrypt() {
    static const bool initialized = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    (void)initialized;
}

gcry_mpi_t group_order() {
    static const Mpi order("1000000000000000000000000000000014DEF9DEA2F79CD65812631A5CF5D3ED");
    return order;
}

void set_scalar(Mpi& out, std::span<const std::uint8_t> little_endian) {
    Bytes32 big_endian{};
    std::copy(little_endian.rbegin(), little_endian.rend(), big_endian.begin());
    gcry_mpi_release(out.value);
    out.value = nullptr;
    if (gcry_mpi_scan(&out.value, GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), nullptr))
        out.value = gcry_mpi_new(0);
}

void set_hash_scalar(Mpi& out, std::initializer_list<std::span<const std::uint8_t>> parts) {
    initialize_gcrypt();
    std::array<std::uint8_t, 64> digest{};
    gcry_md_hd_t hash = nullptr;
    if (gcry_md_open(&hash, GCRY_MD_SHA512, 0) == 0) {
        for (std::span<const std::uint8_t> part : parts)
            gcry_md_write(hash, part.data(), part.size());
        const unsigned char* result = gcry_md_read(hash, GCRY_MD_SHA512);
        if (result) std::copy(result, result + digest.size(), digest.begin());
        gcry_md_close(hash);
    }
    std::array<std::uint8_t, 64> big_endian{};
    std::copy(digest.rbegin(), digest.rend(), big_endian.begin());
    gcry_mpi_release(out.value);
    out.value = nullptr;
    if (gcry_mpi_scan(&out.value, GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), nullptr))
        out.value = gcry_mpi_new(0);
    gcry_mpi_mod(out, out, group_order());
}

Bytes32 scalar_bytes(gcry_mpi_t value) {
    Bytes32 big_endian{};
    std::size_t length = 0;
    if (gcry_mpi_get_nbits(value) > 256 ||
        gcry_mpi_print(GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), &length, value))
        return {};
    Bytes32 little_endian{};
    std::copy(big_endian.begin(), big_endian.begin() + length, little_endian.rend() - length);
    return little_endian;
}

std::optional<Bytes32> base_multiple(gcry_mpi_t a) {
    initialize_gcrypt();
    const Curve curve;
    if (!curve.context) return std::nullopt;
    const Point base(gcry_mpi_ec_get_point("g", curve.context, 1)), product;
    gcry_mpi_ec_mul(product.value, a, base.value, curve.context);
    return encode(product, curve);
}

std::optional<Bytes32> base_multiple_minus(gcry_mpi_t s, gcry_mpi_t k,
                                           std::span<const std::uint8_t> a) {
    initialize_gcrypt();
    const Curve curve;
    if (!curve.context || a.size() != 32) return std::nullopt;
    Mpi encoded;
    gcry_mpi_set_opaque_copy(encoded, a.data(), 256);
    const Point point_a, base(gcry_mpi_ec_get_point("g", curve.context, 1)), sb, ka, difference;
    if (gcry_mpi_ec_decode_point(point_a.value, encoded, curve.context)) return std::nullopt;
    gcry_mpi_ec_mul(sb.value, s, base.value, curve.context);
    gcry_mpi_ec_mul(ka.value, k, point_a.value, curve.context);
    gcry_mpi_ec_sub(difference.value, sb.value, ka.value, curve.context);
    return encode(difference, curve);
}

}  // namespace torvane::curve25519
