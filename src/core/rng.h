#pragma once
// The small generator behind the interval variation and the nudge direction.

#include <cstdint>

namespace torvane {

// One xorshift64* step on a non-zero state; uniform in [0, 1).
inline double next_unit(uint64_t& state) {
    uint64_t x = state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    state = x;
    return static_cast<double>((x * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
}

}  // namespace torvane
