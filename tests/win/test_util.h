#pragma once
// What the Windows-side tests share: waiting with a deadline while pumping messages, the real
// pointer, pixels of drawn images, clicks on widgets, and files beside the test program.

#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "win/log.h"
#include "win/ui/d2d.h"
#include "win/ui/widgets.h"

namespace torvane {

using TestClock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using XY = std::pair<long, long>;  // a POINT that gtest can compare and print

// Pumps this thread's messages until `done` holds or the span is over.
template <class Predicate>
bool within(milliseconds span, Predicate done) {
    const auto end = TestClock::now() + span;
    MSG msg;
    while (!done()) {
        if (TestClock::now() > end) return false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(1);
    }
    return true;
}

inline void pump_for(milliseconds span) {
    within(span, [] { return false; });
}

inline XY cursor() {
    POINT p{-1, -1};
    GetCursorPos(&p);
    return {p.x, p.y};
}

// Wine only warps the X pointer when its own idea of the position changes, and resynchronises
// with the X pointer 100 ms later; the detour makes sure the warp happens. Retries cover the
// first moments of a Wine session, when the desktop process still resets the pointer.
inline XY place_cursor(XY p) {
    for (int attempt = 0; attempt < 30; ++attempt) {
        SetCursorPos(p.first + 1, p.second + 1);
        SetCursorPos(p.first, p.second);
        pump_for(milliseconds(150));
        if (cursor() == p) break;
    }
    return cursor();
}

// The host's path of a file, as Wine maps it; empty outside Wine.
inline std::string host_path(const std::filesystem::path& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* host = to_unix ? to_unix(path.c_str()) : nullptr;
    const std::string text = host ? host : "";
    HeapFree(GetProcessHeap(), 0, host);
    return text;
}

// A topmost pop-up that records where each left button press and release landed.
class ClickTarget {
public:
    ClickTarget(int x, int y, int width, int height) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = procedure;
        wc.lpszClassName = L"TorvaneTestClickTarget";
        RegisterClassW(&wc);
        downs().clear();
        ups() = right_ups() = 0;
        window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, x, y,
                                 width, height, nullptr, nullptr, nullptr, nullptr);
    }
    ~ClickTarget() {
        DestroyWindow(window);
        UnregisterClassW(L"TorvaneTestClickTarget", nullptr);
    }
    static std::vector<LPARAM>& downs() {
        static std::vector<LPARAM> list;
        return list;
    }
    static int& ups() {
        static int count = 0;
        return count;
    }
    static int& right_ups() {
        static int count = 0;
        return count;
    }
    HWND window = nullptr;

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_LBUTTONDOWN) downs().push_back(lp);
        if (msg == WM_LBUTTONUP) ++ups();
        if (msg == WM_RBUTTONUP) ++right_ups();
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
};

// Input arrives in the order it was sent: once a right click sent now has reached the click
// target under the pointer, everything sent before it has arrived too.
inline bool earlier_input_arrived() {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    const int before = ClickTarget::right_ups();
    return SendInput(2, inputs, sizeof(INPUT)) == 2 &&
           within(milliseconds(2000), [&] { return ClickTarget::right_ups() > before; });
}

// One renderer for a whole suite; drawing needs COM and, under Wine, an X display.
class RendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto created = Renderer::create();
        ASSERT_TRUE(created.ok()) << created.error().message << " " << created.error().code;
        renderer_ = created.value();
    }
    static void TearDownTestSuite() {
        renderer_.reset();
        CoUninitialize();
    }
    static inline std::shared_ptr<Renderer> renderer_;
};

// The image's row-major premultiplied pixels, 0xAARRGGBB each, as drawn so far; none when the
// system does not describe its bitmap.
inline std::span<const uint32_t> pixels_of(const OffscreenImage& image) {
    GdiFlush();  // GDI may still hold back writes to the DIB
    DIBSECTION dib{};
    if (GetObjectW(image.bitmap(), sizeof dib, &dib) != sizeof dib || !dib.dsBm.bmBits) return {};
    return {static_cast<const uint32_t*>(dib.dsBm.bmBits),
            static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height())};
}

// Each point within a few steps per channel of `pixel` (0xAARRGGBB), for rounding in the
// rasteriser.
inline void expect_at(const OffscreenImage& image, uint32_t pixel,
                      std::initializer_list<std::pair<int, int>> points) {
    const std::span<const uint32_t> pixels = pixels_of(image);
    ASSERT_FALSE(pixels.empty());
    for (const auto& [x, y] : points)
        for (int shift = 0; shift < 32; shift += 8)
            EXPECT_NEAR((pixel >> shift) & 0xFF, (pixels[y * image.width() + x] >> shift) & 0xFF, 6)
                << "at " << x << ", " << y << " of " << image.width();
}

// Where the last layout put the widget, or nothing.
inline std::optional<Rect> region(const UiContext& ui, uint32_t id) {
    for (const HitRegion& r : ui.regions)
        if (r.id == id) return r.rect;
    return std::nullopt;
}

inline HWND field_control(const UiContext& ui, uint32_t id) {
    for (const NativeField& field : ui.fields)
        if (field.id == id) return field.control;
    return nullptr;
}

// Moves to the middle of the widget, presses and releases, as the window hears a user's click.
inline void click(HWND window, const UiContext& ui, uint32_t id) {
    const std::optional<Rect> r = region(ui, id);
    ASSERT_TRUE(r.has_value()) << "no widget " << id;
    const LPARAM at = MAKELPARAM(static_cast<int>((r->x + r->w / 2) * ui.scale),
                                 static_cast<int>((r->y + r->h / 2) * ui.scale));
    SendMessageW(window, WM_MOUSEMOVE, 0, at);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window, WM_LBUTTONUP, 0, at);
}

inline std::filesystem::path beside_tests(const wchar_t* file) {
    wchar_t self[MAX_PATH];
    const DWORD units = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(std::wstring(self, units)).parent_path() / file;
}

// What a window's client area shows, 0xRRGGBB row by row. Also saved as a bitmap under
// "screenshots" beside the test program, for a person to look at.
struct Screenshot {
    LONG width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(float x, float y) const {
        return pixels[static_cast<size_t>(y) * width + static_cast<size_t>(x)] & 0xFFFFFF;
    }
};
inline Screenshot screenshot(HWND window, const wchar_t* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);  // fields too
    RECT client{};
    GetClientRect(window, &client);
    Screenshot shot{client.right, client.bottom, {}};
    shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
    BITMAPINFOHEADER header{sizeof header, shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = GetDC(window), memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, shot.width, shot.height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, dc, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(shot.height), shot.pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    const std::filesystem::path folder = beside_tests(L"screenshots");
    std::filesystem::create_directories(folder);
    const auto bytes = static_cast<DWORD>(shot.pixels.size() * 4);
    constexpr DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER file{0x4D42, headers + bytes, 0, 0, headers};
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(shot.pixels.data()), bytes);
    return shot;
}

// The log's last line after its "YYYY-MM-DD hh:mm:ss " time stamp.
inline std::string last_log_line() {
    std::ifstream file(data_dir() / "torvane.log", std::ios::binary);
    std::string line, last;
    while (std::getline(file, line))
        last = line;
    if (!last.empty() && last.back() == '\r') last.pop_back();
    return last.size() > 20 ? last.substr(20) : last;
}

}  // namespace torvane
