#pragma once
// Counts the program's own allocations by replacing the global operator new; include it in one
// file of a benchmark. GDI, Direct2D and DirectWrite allocate elsewhere and are not counted.

// The replaced operator delete below frees what the replaced operator new mallocs; GCC
// cannot tell them from the standard pair and calls that a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

inline std::atomic<uint64_t> allocations{0};

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
