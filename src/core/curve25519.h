#pragma once
// Ed25519 from libgcrypt's parts: its SHA-512, big numbers and curve arithmetic. libgcrypt's
// own EdDSA takes the message inside an S-expression, which holds at most 65,535 bytes of data
// (a longer message aborts the process), so signatures over whole packages are made and
// checked here, with the same equation and arithmetic its EdDSA uses.

#include <gcrypt.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>

namespace torvane::curve25519 {

using Bytes32 = std::array<std::uint8_t, 32>;

void initialize_gcrypt();

struct Mpi {
    gcry_mpi_t value = nullptr;
    Mpi() : value(gcry_mpi_new(0)) {}
    explicit Mpi(const char* hex) { gcry_mpi_scan(&value, GCRYMPI_FMT_HEX, hex, 0, nullptr); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
    ~Mpi() { gcry_mpi_release(value); }
    operator gcry_mpi_t() const { return value; }
};

// The group order L.
gcry_mpi_t group_order();

// A 32-byte little-endian number, as it is.
void set_scalar(Mpi& out, std::span<const std::uint8_t> little_endian);
// SHA-512 of the parts in order, read as a little-endian number, modulo L.
void set_hash_scalar(Mpi& out, std::initializer_list<std::span<const std::uint8_t>> parts);
// A number below 2^256 as 32 little-endian bytes.
Bytes32 scalar_bytes(gcry_mpi_t value);

// The encoding of [a]B.
std::optional<Bytes32> base_multiple(gcry_mpi_t a);
// The encoding of [s]B - [k]A for the encoded point A, which the caller has checked: canonical,
// of large order and decompressing to coordinates libgcrypt's arithmetic takes.
std::optional<Bytes32> base_multiple_minus(gcry_mpi_t s, gcry_mpi_t k,
                                           std::span<const std::uint8_t> a);

}  // namespace torvane::curve25519
