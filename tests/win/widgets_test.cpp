// The widget layer on a real window: clicks from the pointer sequence, disabled widgets, the
// native fields' event rules and their focus order.

#include "win/ui/widgets.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "test_util.h"
#include "win/window.h"

namespace torvane {
namespace {

class Host final : public Window {
public:
    bool create() {
        return Window::create({.name = L"TorvaneTestWidgetHost"}, 0, L"", WS_POPUP,
                              {0, 0, 400, 300}, nullptr);
    }
    UiContext* ui = nullptr;

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_COMMAND && ui) field_command(*ui, wparam, lparam);
        return std::nullopt;
    }
};

class Widgets : public RendererTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.create());
        ShowWindow(host_.handle(), SW_SHOWNOACTIVATE);
        ui_ = std::make_unique<UiContext>(host_.handle(), *renderer_);
        ui_->theme = make_theme(false, default_accent);
        host_.ui = ui_.get();
    }
    void TearDown() override {
        host_.ui = nullptr;
        host_.destroy();
    }

    void run(const std::function<void()>& layout) {
        begin_layout(*ui_);
        layout();
        end_layout(*ui_);
    }
    void point_at(int x, int y) { pointer_moved(*ui_, MAKELPARAM(x, y)); }
    HWND control(uint32_t id) { return field_control(*ui_, id); }
    std::wstring text_of(uint32_t id) {
        wchar_t text[32] = {};
        GetWindowTextW(control(id), text, 32);
        return text;
    }
    void post_event(uint32_t id, FieldEventKind kind, std::wstring text, unsigned caret = 0) {
        ui_->pending_event = FieldEvent{id, kind, caret, std::move(text)};
    }

    Host host_;
    std::unique_ptr<UiContext> ui_;
};

TEST_F(Widgets, AClickNeedsPressAndReleaseOverTheSameWidgetAndArrivesOnce) {
    bool first = false, second = false;
    auto layout = [&] {
        first = button(*ui_, 1, {10, 10, 80, 30}, "Uno", 13);
        second = button(*ui_, 2, {100, 10, 80, 30}, "Dos", 13);
    };
    run(layout);

    // Pressed on one button, released over the other: nothing.
    point_at(20, 20);
    button_pressed(*ui_);
    point_at(120, 20);
    button_released(*ui_);
    run(layout);
    EXPECT_FALSE(first || second);

    // Pressed and released over the same button: one click, delivered to one layout only.
    point_at(120, 20);
    button_pressed(*ui_);
    button_released(*ui_);
    run(layout);
    EXPECT_TRUE(second);
    EXPECT_FALSE(first);
    run(layout);
    EXPECT_FALSE(second);

    // Released outside every widget after leaving the window: nothing.
    point_at(20, 20);
    button_pressed(*ui_);
    pointer_left(*ui_);
    button_released(*ui_);
    run(layout);
    EXPECT_FALSE(first);
}

TEST_F(Widgets, DisabledWidgetsAreFadedAndCannotBeClickedOrHovered) {
    bool clicked = false;
    auto layout = [&] { clicked = button(*ui_, 7, {10, 10, 80, 30}, "Activar", 13, false); };
    run(layout);
    EXPECT_TRUE(ui_->regions.empty());
    ASSERT_FALSE(ui_->commands.empty());
    for (const DrawCommand& command : ui_->commands)
        EXPECT_FLOAT_EQ(command.opacity, 0.45f);

    point_at(20, 20);
    EXPECT_EQ(ui_->hot_id, 0u);
    set_pointer_cursor(*ui_);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    button_pressed(*ui_);
    button_released(*ui_);
    run(layout);
    EXPECT_FALSE(clicked);
    // The opacity is back to full for what follows the disabled widget.
    run([&] { button(*ui_, 8, {10, 50, 80, 30}, "Pausar", 13); });
    EXPECT_FLOAT_EQ(ui_->commands.front().opacity, 1.0f);
    set_pointer_cursor(*ui_);
    point_at(20, 60);
    set_pointer_cursor(*ui_);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(Widgets, NumberFieldsClampTypedTextAndStepByKeys) {
    uint32_t value = 30;
    auto layout = [&] {
        if (auto v = number_field(*ui_, 100, {10, 10, 40, 31}, value, 59)) value = *v;
    };
    run(layout);

    // Typed through the control, as a user would: the change notification carries the text.
    SetWindowTextW(control(100), L"75");
    ASSERT_TRUE(ui_->pending_event.has_value());
    run(layout);
    EXPECT_EQ(value, 59u);
    EXPECT_EQ(text_of(100), L"59");

    post_event(100, FieldEventKind::down, L"59");
    run(layout);
    EXPECT_EQ(value, 58u);

    // Half-typed text is not a number: the value stays until a commit rewrites the text.
    SetWindowTextW(control(100), L"-");
    run(layout);
    EXPECT_EQ(value, 58u);
    post_event(100, FieldEventKind::commit, L"-");
    run(layout);
    EXPECT_EQ(text_of(100), L"58");
}

TEST_F(Widgets, TimeFieldsReadTypedTimesAndStepByTheCaretsPart) {
    uint32_t minutes = 23 * 60 + 30;
    auto layout = [&] {
        if (auto m = time_field(*ui_, 102, {10, 10, 58, 31}, minutes)) minutes = *m;
    };
    run(layout);
    EXPECT_EQ(text_of(102), L"23:30");

    post_event(102, FieldEventKind::up, L"23:30", 1);
    run(layout);
    EXPECT_EQ(minutes, 30u);
    EXPECT_EQ(text_of(102), L"00:30");
    DWORD start = 0, end = 0;
    SendMessageW(control(102), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);  // the caret stays in the hours

    post_event(102, FieldEventKind::commit, L"7.05");
    run(layout);
    EXPECT_EQ(minutes, 425u);
    EXPECT_EQ(text_of(102), L"07:05");

    // A disabled field ignores what reaches it and cannot be focused.
    post_event(102, FieldEventKind::up, L"07:05", 1);
    run([&] {
        if (auto m = time_field(*ui_, 102, {10, 10, 58, 31}, minutes, false)) minutes = *m;
    });
    EXPECT_EQ(minutes, 425u);
    EXPECT_FALSE(IsWindowEnabled(control(102)));
}

TEST_F(Widgets, TheKeyboardWalksTheEnabledControlsInOrderAndActsOnTheFocusedOne) {
    bool clicked = false;
    float fraction = 0.5f;
    uint32_t choice = 5;
    auto layout = [&] {
        clicked = button(*ui_, 1, {10, 10, 80, 30}, "Uno", 13);
        number_field(*ui_, 2, {100, 10, 40, 31}, 0, 99);
        time_field(*ui_, 3, {150, 10, 58, 31}, 0, false);
        if (auto f = slider(*ui_, 4, {10, 50, 120, 20}, fraction, true, 0.1f)) fraction = *f;
        for (uint32_t id : {5u, 6u})
            if (radio_button(*ui_, id, {37, 60 + 20.0f * static_cast<float>(id)}, 200, "r",
                             choice == id, 5))
                choice = id;
    };
    auto ring_drawn = [&] {
        return std::any_of(ui_->commands.begin(), ui_->commands.end(), [](const DrawCommand& c) {
            const auto* stroke = std::get_if<StrokeRectangle>(&c.shape);
            return stroke && stroke->width == 2;
        });
    };
    auto key = [&](WPARAM k) {
        const bool used = focus_key(*ui_, k);
        run(layout);
        return used;
    };
    run(layout);
    ui_->focus_id = 1;
    run(layout);
    EXPECT_FALSE(ring_drawn()) << "no focus ring before the keyboard is used";

    std::vector<uint32_t> order;
    for (int i = 0; i < 5; ++i) {
        key(VK_TAB);
        order.push_back(ui_->focus_id);
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 4, 5, 6, 1})) << "3 is disabled; the order wraps";
    EXPECT_TRUE(ring_drawn());
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    key(VK_TAB);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(ui_->focus_id, 6u);

    ui_->focus_id = 1;
    EXPECT_TRUE(key(VK_SPACE));
    EXPECT_TRUE(clicked);
    ui_->focus_id = 4;
    key(VK_RIGHT);
    EXPECT_FLOAT_EQ(fraction, 0.6f);
    key(VK_HOME);
    EXPECT_FLOAT_EQ(fraction, 0);
    ui_->focus_id = 5;
    key(VK_DOWN);
    EXPECT_EQ(choice, 6u);
    key(VK_DOWN);
    EXPECT_EQ(choice, 5u) << "the choice wraps within its group";
    EXPECT_FALSE(key('A'));
}

TEST_F(Widgets, FieldsSitOverTheirFramesAndHideOutsideTheClip) {
    ui_->scale = 1.5f;
    run([&] { number_field(*ui_, 1, {10, 20, 40, 31}, 5, 99); });
    RECT placed{};
    GetWindowRect(control(1), &placed);
    MapWindowPoints(HWND_DESKTOP, host_.handle(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 24);                 // (10 + 6) × 1.5
    EXPECT_EQ(placed.right - placed.left, 42);  // (40 − 12) × 1.5
    const int middle = (placed.top + placed.bottom) / 2;
    EXPECT_NEAR(middle, (20 + 31 / 2.0) * 1.5, 1);  // centred on the frame

    run([&] {
        ui_->clip = Rect{0, 0, 400, 40};
        number_field(*ui_, 1, {10, 20, 40, 31}, 5, 99);
    });
    EXPECT_FALSE(IsWindowVisible(control(1)));
}

}  // namespace
}  // namespace torvane
