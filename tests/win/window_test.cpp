// The window type every window derives from: its own object per window, one class
// registration, the fault boundary, and the object and window letting go of each other.

#include "win/window.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "test_util.h"

namespace torvane {
namespace {

constexpr UINT ask_message = WM_APP + 1;
constexpr UINT throw_message = WM_APP + 2;

class Probe final : public Window {
public:
    explicit Probe(LRESULT answer) : answer_(answer) {}
    bool create() { return Window::create({.name = L"TorvaneTestProbe"}, 0, L"", 0, {}, nullptr); }
    int after_count = 0;
    std::string failure = "falla";

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM, LPARAM) override {
        if (message == ask_message) return answer_;
        if (message == throw_message) throw std::runtime_error(failure);
        return std::nullopt;
    }
    void after_message() override { ++after_count; }

    LRESULT answer_;
};

TEST(Window, EachWindowReachesItsOwnObjectThroughOneRegistration) {
    Probe first(11), second(22);
    ASSERT_TRUE(first.create());
    ASSERT_TRUE(second.create()) << "the class is registered already: not an error";
    EXPECT_EQ(SendMessageW(first.handle(), ask_message, 0, 0), 11);
    EXPECT_EQ(SendMessageW(second.handle(), ask_message, 0, 0), 22);

    // The window goes first: the object forgets it and hears nothing more.
    const HWND gone = first.handle();
    DestroyWindow(gone);
    EXPECT_EQ(first.handle(), nullptr);
    const int heard = first.after_count;
    SendMessageW(gone, ask_message, 0, 0);
    EXPECT_EQ(first.after_count, heard);

    // The object goes first: it takes its window along.
    HWND left;
    {
        Probe short_lived(33);
        ASSERT_TRUE(short_lived.create());
        left = short_lived.handle();
    }
    EXPECT_FALSE(IsWindow(left));
}

TEST(Window, AnExceptionInAHandlerIsLoggedAndTheWindowCarriesOn) {
    Probe probe(5);
    ASSERT_TRUE(probe.create());
    probe.failure = "falla de prueba " + std::to_string(GetTickCount64());
    const int after_before = probe.after_count;
    // Not handled after all: the default procedure answers.
    EXPECT_EQ(SendMessageW(probe.handle(), throw_message, 0, 0), 0);
    EXPECT_EQ(probe.after_count, after_before + 1) << "the after-message step still runs";
    EXPECT_EQ(last_log_line(), "Error inesperado en TorvaneTestProbe: " + probe.failure);
    EXPECT_EQ(SendMessageW(probe.handle(), ask_message, 0, 0), 5);
}

}  // namespace
}  // namespace torvane
