#pragma once
// The one renderer every surface draws through: Direct2D and DirectWrite factories, the font
// families, a round stroke style, five fixed vector shapes, cached text formats, and the
// display list that widgets record and windows and off-screen images replay.
// UI thread only. All render targets are software ones; windows are laid out in DIPs.

#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/result.h"
#include "win/handle.h"
#include "win/ui/color.h"

namespace torvane {

// The color with its alpha multiplied by `opacity`.
D2D1_COLOR_F to_d2d_color(Color color, float opacity = 1.0f);

enum class TextAlign : uint8_t { left = 0, center = 1, right = 2 };

// Key of the text-format cache.
struct TextStyle {
    uint32_t size = 0;  // tenths of a DIP
    TextAlign alignment = TextAlign::left;
    bool semibold = false;
    bool icon_font = false;
    bool wrap = false;
    bool ellipsis = false;
    bool operator==(const TextStyle&) const = default;
};

// A font size in DIPs as the style's tenths, rounded.
uint32_t size_tenths(float size);

// Height of one line at `size` DIPs: round(1.333 × size), halves away from zero.
float line_height(float size);

struct Point {
    float x = 0;
    float y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    float x = 0;
    float y = 0;
    float w = 0;
    float h = 0;
    bool operator==(const Rect&) const = default;
};

// The fixed shapes, on a 24 × 24 design grid.
enum class Shape : uint8_t { pointer, motion_lines, check_mark, tray_pointer, tray_motion_lines };

enum class GlyphKind : uint8_t { pointer = 0, pointer_with_motion_lines = 1, check_mark = 2 };

// Display-list entries; their index in DrawShape is the command's tag.
struct FillRectangle {
    Rect rect;
    float radius = 0;
    bool operator==(const FillRectangle&) const = default;
};
struct StrokeRectangle {
    Rect rect;
    float radius = 0;
    float width = 1;
    bool operator==(const StrokeRectangle&) const = default;
};
struct FillCircle {
    Point center;
    float radius = 0;
    bool operator==(const FillCircle&) const = default;
};
struct StrokeCircle {
    Point center;
    float radius = 0;
    float width = 1;
    bool operator==(const StrokeCircle&) const = default;
};
struct TextRun {
    ComPtr<IDWriteTextLayout> layout;
    Point origin;
    // By address: MinGW's ComPtr has no ==, and its conversion to a truth value would make any
    // two layouts equal.
    bool operator==(const TextRun& other) const {
        return layout.Get() == other.layout.Get() && origin == other.origin;
    }
};
struct StatusGlyph {
    GlyphKind kind = GlyphKind::pointer;
    Point top_left;
    float size = 24;
    bool operator==(const StatusGlyph&) const = default;
};
struct Line {
    Point from;
    Point to;
    float width = 1;
    bool operator==(const Line&) const = default;
};
struct PushClip {
    Rect rect;
    bool operator==(const PushClip&) const = default;
};
struct PopClip {
    bool operator==(const PopClip&) const = default;
};
struct NoOp {
    bool operator==(const NoOp&) const = default;
};

using DrawShape = std::variant<FillRectangle, StrokeRectangle, FillCircle, StrokeCircle, TextRun,
                               StatusGlyph, Line, PushClip, PopClip, NoOp>;

struct DrawCommand {
    DrawShape shape;
    Color color = 0;
    float opacity = 1;  // the widget layer's opacity when it was recorded
    // Texts compare by layout: the renderer hands out one layout per text, style and box.
    bool operator==(const DrawCommand&) const = default;
};

struct TextSize {
    float width = 0;  // including trailing white space
    float height = 0;
};

// A window's render target, created on its first paint and dropped on device loss. It draws
// into the paint DC, so that the window's child controls, which GDI clips out, keep their
// pixels (a render target presenting on its own may cover them: Wine's does).
struct WindowTarget {
    HWND window = nullptr;
    float scale = 1;  // monitor DPI / 96
    ComPtr<ID2D1DCRenderTarget> target;
};

// Effective DPI of the monitor nearest `p` over 96; 1 when the system cannot tell.
float monitor_scale_at(POINT p);

// Keeps the target in DIPs after the window's scale changed.
void set_target_scale(WindowTarget& window, float scale);

// A top-down 32-bit DIB section selected into a memory DC, with a software DC render target
// bound to it: premultiplied BGRA, 96 DPI so one DIP is one pixel. Drawn once, then dropped.
class OffscreenImage {
public:
    int width() const { return width_; }
    int height() const { return height_; }
    ID2D1DCRenderTarget* target() const { return target_.Get(); }
    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bitmap_.get(); }

private:
    friend class Renderer;
    // Destroyed in reverse order: the render target, then the DC, then the bitmap.
    Bitmap bitmap_;
    MemoryDc dc_;
    ComPtr<ID2D1DCRenderTarget> target_;
    int width_ = 0;
    int height_ = 0;
};

class Renderer {
public:
    // COM must already be initialised on the calling thread. Fails when a factory, the stroke
    // style or a shape cannot be created.
    static Result<std::shared_ptr<Renderer>> create();

    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    const std::wstring& text_family() const { return text_family_; }
    // Round caps and joins.
    ID2D1StrokeStyle* round_stroke() const { return round_stroke_.Get(); }
    ID2D1PathGeometry* geometry(Shape shape) const {
        return shapes_[static_cast<size_t>(shape)].Get();
    }

    // Created on first use and kept; null when DirectWrite refuses the format.
    IDWriteTextFormat* text_format(const TextStyle& style);
    // Null when the format or the layout cannot be created. Maxima are at least 1. Layouts are
    // kept and shared: the same text in the same style and box is laid out once, not on every
    // repaint.
    ComPtr<IDWriteTextLayout> layout(std::string_view text, const TextStyle& style, float max_width,
                                     float max_height);
    // Zero when no layout can be made.
    TextSize measure(std::string_view text, const TextStyle& style, float max_width);
    // Single line, left-aligned.
    float text_width(std::string_view text, float size, bool semibold);

    // One frame on any render target: clear to `background`, replay the commands. Returns
    // EndDraw's result, or the failure that stopped the frame earlier.
    HRESULT draw(ID2D1RenderTarget* target, Color background,
                 std::span<const DrawCommand> commands);
    // One paint of a window into its paint DC, over the whole client area: creates the target
    // when it has none; on device loss drops it and invalidates the window so the next paint
    // makes a new one. True when the frame reached the DC.
    bool render(WindowTarget& window, HDC dc, Color background,
                std::span<const DrawCommand> commands);

    // An image of width × height pixels (each at least 1), all transparent.
    Result<OffscreenImage> offscreen(int width, int height);

    // Lets go of the Direct2D factory with its stroke style and shapes, once no window shows
    // and no image is being drawn; the next drawing makes them again. Under Wine the factory
    // holds a Direct3D device with its own threads (wined3d_cs, llvmpipe) and a window.
    void release_device();

private:
    Renderer() = default;
    // The factory, stroke style and shapes, unless there already.
    Status make_device();

    ComPtr<ID2D1Factory> factory_;
    ComPtr<IDWriteFactory> dwrite_;
    std::wstring text_family_;
    std::wstring icon_family_;
    ComPtr<ID2D1StrokeStyle> round_stroke_;
    std::array<ComPtr<ID2D1PathGeometry>, 5> shapes_;
    std::vector<std::pair<TextStyle, ComPtr<IDWriteTextFormat>>> formats_;

    // Enough for a full panel and settings page with room for changing texts.
    static constexpr size_t layout_cache_size = 160;
    struct CachedLayout {
        std::string text;
        TextStyle style;
        float width = 0;
        float height = 0;
        ComPtr<IDWriteTextLayout> layout;
        uint64_t used = 0;
    };
    std::vector<CachedLayout> layouts_;
    uint64_t layout_clock_ = 0;
};

}  // namespace torvane
