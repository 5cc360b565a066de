#pragma once
// Small owners for Win32 handles: each closes its handle exactly once.

#include <windows.h>

#include <utility>

namespace torvane {

// Traits: the handle type, its invalid value and how to close it.
template <class Traits>
class UniqueHandle {
public:
    using T = typename Traits::type;
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    T release() { return std::exchange(h_, Traits::invalid()); }
    void reset(T h = Traits::invalid()) {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }

private:
    T h_ = Traits::invalid();
};

// Kernel objects that report failure with null (events, mutexes, processes, threads).
struct KernelHandleTraits {
    using type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using Handle = UniqueHandle<KernelHandleTraits>;

// Files and snapshots, which report failure with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

}  // namespace torvane
