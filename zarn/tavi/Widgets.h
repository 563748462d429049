// The toolkit's object model: widgets, the three layouts, windows and the
// application. Nothing here talks to the platform: a window reaches its
// native counterpart through the NativeWindow interface of Windowing.h, and
// script callables reach widgets through the opaque Handler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zarn/tavi/Colour.h"

namespace zarn::tavi {

class NativeWindow;
class Window;

// Sizes come from scripts as 64-bit integers; the model keeps 32-bit ones.
int32_t clampToInt32(int64_t value);

struct Rect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    // Edges included on all four sides, as the hit test wants.
    bool contains(int64_t px, int64_t py) const {
        return x <= px && px <= int64_t{x} + width && y <= py && py <= int64_t{y} + height;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A script callable stored by a widget. The script module derives from it and
// keeps the value reachable for the collector.
class Handler {
public:
    virtual ~Handler() = default;
};

enum class WidgetKind { Label, Button, TextBox };

class Widget {
public:
    Widget(WidgetKind kind, std::string text);

    void setWidth(int64_t width);
    void setHeight(int64_t height);
    // Stores the text and asks the owning window (if any) to repaint.
    void setText(std::string text);

    WidgetKind kind;
    std::string text;
    Rect rect;
    int32_t preferredWidth = 0;
    int32_t preferredHeight = 0;
    std::string fontName = "Segoe UI";
    int32_t fontSize = 15;
    Colour background;
    Colour foreground;
    bool customBackground = false;
    bool customForeground = false;
    bool hovered = false;
    bool pressed = false;
    std::unique_ptr<Handler> clickHandler;
    std::unique_ptr<Handler> inputHandler;
    std::weak_ptr<Window> owner;
};

enum class LayoutKind { Vertical, Horizontal, Grid };

class Layout {
public:
    explicit Layout(LayoutKind kind) : kind(kind) {}
    virtual ~Layout() = default;
    virtual void add(std::shared_ptr<Widget> widget) = 0;
    // Places the children inside the rectangle.
    virtual void layout(const Rect& area) = 0;
    // The widgets in order, for painting, hit-testing and hover.
    virtual std::vector<std::shared_ptr<Widget>> children() const = 0;

    LayoutKind kind;
    int32_t margin = 16;
    int32_t spacing = 12;
};

// A layout that keeps its children in one list.
class ListLayout : public Layout {
public:
    using Layout::Layout;
    void add(std::shared_ptr<Widget> widget) override { widgets_.push_back(std::move(widget)); }
    std::vector<std::shared_ptr<Widget>> children() const override { return widgets_; }

protected:
    std::vector<std::shared_ptr<Widget>> widgets_;
};

// Children stacked top to bottom; text boxes stretch to the available width.
class VerticalLayout final : public ListLayout {
public:
    VerticalLayout() : ListLayout(LayoutKind::Vertical) {}
    void layout(const Rect& area) override;
};

// Children left to right at their preferred widths.
class HorizontalLayout final : public ListLayout {
public:
    HorizontalLayout() : ListLayout(LayoutKind::Horizontal) {}
    void layout(const Rect& area) override;
};

// Equal cells; each entry names its cell, and cells may be shared.
class GridLayout final : public Layout {
public:
    GridLayout(int64_t rows, int64_t cols)
        : Layout(LayoutKind::Grid), rows_(clampToInt32(rows)), cols_(clampToInt32(cols)) {}
    // Row 0, column 0.
    void add(std::shared_ptr<Widget> widget) override { add(std::move(widget), 0, 0); }
    void add(std::shared_ptr<Widget> widget, int64_t row, int64_t col);
    void layout(const Rect& area) override;
    std::vector<std::shared_ptr<Widget>> children() const override;

private:
    struct Entry {
        std::shared_ptr<Widget> widget;
        int32_t row;
        int32_t col;
    };
    int32_t rows_;
    int32_t cols_;
    std::vector<Entry> entries_;
};

class Window : public std::enable_shared_from_this<Window> {
public:
    Window(std::string title, int64_t width, int64_t height);
    ~Window();

    // Sets the owner, appends, adds to the layout, lays out and repaints.
    void add(std::shared_ptr<Widget> widget);
    // Keeps the layout, gives it every widget so far, lays out and repaints.
    void setLayout(std::shared_ptr<Layout> newLayout);
    // Places the widgets in the client area (the stored width and height).
    void layOut();
    // The layout's children when there is a layout, else the widgets.
    std::vector<std::shared_ptr<Widget>> paintList() const;
    void invalidate() { dirty = true; }

    std::string title;
    int32_t width;
    int32_t height;
    int32_t minWidth = 200;
    int32_t minHeight = 150;
    bool resizable = true;
    bool visible = false;
    bool dirty = true; // needs painting
    std::unique_ptr<NativeWindow> native;
    std::shared_ptr<Layout> layout;
    std::vector<std::shared_ptr<Widget>> widgets;
    std::shared_ptr<Widget> focused;
    std::shared_ptr<Widget> pressed;
};

class Application {
public:
    explicit Application(std::string title) : title(std::move(title)) {}

    // True when some window is visible and has a native window behind it:
    // only such a window can still end the loop by closing.
    bool hasOpenWindow() const;
    bool hasVisibleWindow() const;

    std::string title;
    std::vector<std::shared_ptr<Window>> windows;
    bool running = false;
    bool quitRequested = false;
};

} // namespace zarn::tavi
