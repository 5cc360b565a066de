#pragma once
// The one way the program owns a Windows resource: a move-only owner that releases it exactly
// once, with one traits record per kind of resource. COM interfaces are owned by ComPtr.

#include <windows.h>
// After windows.h:
#include <objbase.h>
#include <winhttp.h>
#include <wrl/client.h>

#include <utility>

namespace torvane {

using Microsoft::WRL::ComPtr;

// Traits: the handle type, its invalid value and how to release it.
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
    // For calls that hand out a new handle through a pointer: releases the old one first.
    T* put() {
        reset();
        return &h_;
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

struct RegKeyTraits {
    using type = HKEY;
    static HKEY invalid() { return nullptr; }
    static void close(HKEY key) { RegCloseKey(key); }
};
using RegKey = UniqueHandle<RegKeyTraits>;

struct IconTraits {
    using type = HICON;
    static HICON invalid() { return nullptr; }
    static void close(HICON h) { DestroyIcon(h); }
};
using Icon = UniqueHandle<IconTraits>;

// GDI objects: bitmaps, brushes, fonts, pens.
template <class T>
struct GdiObjectTraits {
    using type = T;
    static T invalid() { return nullptr; }
    static void close(T h) { DeleteObject(h); }
};
using Bitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using Brush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using Font = UniqueHandle<GdiObjectTraits<HFONT>>;

// Memory device contexts from CreateCompatibleDC.
struct MemoryDcTraits {
    using type = HDC;
    static HDC invalid() { return nullptr; }
    static void close(HDC h) { DeleteDC(h); }
};
using MemoryDc = UniqueHandle<MemoryDcTraits>;

struct DesktopTraits {
    using type = HDESK;
    static HDESK invalid() { return nullptr; }
    static void close(HDESK h) { CloseDesktop(h); }
};
using Desktop = UniqueHandle<DesktopTraits>;

// WinHTTP sessions, connections and requests.
struct InternetTraits {
    using type = HINTERNET;
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET h) { WinHttpCloseHandle(h); }
};
using InternetHandle = UniqueHandle<InternetTraits>;

// Memory the system allocated for the caller with LocalAlloc (CommandLineToArgvW, …).
template <class T>
struct LocalMemoryTraits {
    using type = T;
    static T invalid() { return nullptr; }
    static void close(T p) { LocalFree(p); }
};
template <class T>
using LocalMemory = UniqueHandle<LocalMemoryTraits<T>>;

// Memory the system allocated for the caller with CoTaskMemAlloc (SHGetKnownFolderPath, …).
template <class T>
struct CoTaskMemoryTraits {
    using type = T;
    static T invalid() { return nullptr; }
    static void close(T p) { CoTaskMemFree(p); }
};
template <class T>
using CoTaskMemory = UniqueHandle<CoTaskMemoryTraits<T>>;

}  // namespace torvane
