#include "zarn/tavi/Widgets.h"

#include <algorithm>
#include <limits>

#include "zarn/tavi/Windowing.h"

namespace zarn::tavi {

int32_t clampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

namespace {

struct KindDefaults {
    int32_t width;
    int32_t height;
    Colour background;
};

KindDefaults defaultsFor(WidgetKind kind) {
    switch (kind) {
    case WidgetKind::Label: return {200, 28, Colour{24, 24, 37, 0}};
    case WidgetKind::Button: return {120, 36, Colour{49, 50, 68, 255}};
    case WidgetKind::TextBox: return {200, 36, Colour{30, 30, 46, 255}};
    }
    return {0, 0, Colour{}};
}

// Places a widget, doing the arithmetic in 64 bits so that huge sizes given by
// a script clamp instead of overflowing.
void place(Widget& widget, int64_t x, int64_t y, int64_t width, int64_t height) {
    widget.rect = Rect{clampToInt32(x), clampToInt32(y), clampToInt32(width), clampToInt32(height)};
}

} // namespace

Widget::Widget(WidgetKind kind, std::string text) : kind(kind), text(std::move(text)) {
    KindDefaults defaults = defaultsFor(kind);
    rect = Rect{0, 0, defaults.width, defaults.height};
    preferredWidth = defaults.width;
    preferredHeight = defaults.height;
    background = defaults.background;
    foreground = Colour{205, 214, 244, 255};
}

void Widget::setWidth(int64_t width) { rect.width = preferredWidth = clampToInt32(width); }

void Widget::setHeight(int64_t height) { rect.height = preferredHeight = clampToInt32(height); }

void Widget::setText(std::string newText) {
    text = std::move(newText);
    if (auto window = owner.lock()) window->invalidate();
}

void VerticalLayout::layout(const Rect& area) {
    int64_t cursor = int64_t{area.y} + margin;
    int64_t available = int64_t{area.width} - 2 * int64_t{margin};
    for (const auto& widget : widgets_) {
        int64_t w = widget->preferredWidth;
        if (w > available) w = available;
        else if (widget->kind == WidgetKind::TextBox) w = available;
        int64_t h = widget->preferredHeight;
        place(*widget, int64_t{area.x} + margin, cursor, w, h);
        cursor += h + spacing;
    }
}

void HorizontalLayout::layout(const Rect& area) {
    int64_t cursor = int64_t{area.x} + margin;
    int64_t available = int64_t{area.height} - 2 * int64_t{margin};
    for (const auto& widget : widgets_) {
        int64_t w = widget->preferredWidth;
        int64_t h = std::min<int64_t>(available, widget->preferredHeight);
        place(*widget, cursor, int64_t{area.y} + margin, w, h);
        cursor += w + spacing;
    }
}

void GridLayout::add(std::shared_ptr<Widget> widget, int64_t row, int64_t col) {
    entries_.push_back(Entry{std::move(widget), clampToInt32(row), clampToInt32(col)});
}

void GridLayout::layout(const Rect& area) {
    if (rows_ <= 0 || cols_ <= 0) return;
    int64_t cellWidth =
        (int64_t{area.width} - (int64_t{cols_} - 1) * spacing - 2 * int64_t{margin}) / cols_;
    int64_t cellHeight =
        (int64_t{area.height} - (int64_t{rows_} - 1) * spacing - 2 * int64_t{margin}) / rows_;
    for (const auto& entry : entries_) {
        int64_t x = int64_t{area.x} + margin + entry.col * (cellWidth + spacing);
        int64_t y = int64_t{area.y} + margin + entry.row * (cellHeight + spacing);
        place(*entry.widget, x, y, cellWidth, cellHeight);
    }
}

std::vector<std::shared_ptr<Widget>> GridLayout::children() const {
    std::vector<std::shared_ptr<Widget>> widgets;
    widgets.reserve(entries_.size());
    for (const auto& entry : entries_) widgets.push_back(entry.widget);
    return widgets;
}

Window::Window(std::string title, int64_t width, int64_t height)
    : title(std::move(title)), width(clampToInt32(width)), height(clampToInt32(height)) {}

Window::~Window() = default;

void Window::add(std::shared_ptr<Widget> widget) {
    widget->owner = weak_from_this();
    widgets.push_back(widget);
    if (layout) layout->add(widget);
    layOut();
    invalidate();
}

void Window::setLayout(std::shared_ptr<Layout> newLayout) {
    layout = std::move(newLayout);
    for (const auto& widget : widgets) layout->add(widget);
    layOut();
    invalidate();
}

void Window::layOut() {
    if (layout) layout->layout(Rect{0, 0, width, height});
}

std::vector<std::shared_ptr<Widget>> Window::paintList() const {
    return layout ? layout->children() : widgets;
}

bool Application::hasOpenWindow() const {
    return std::any_of(windows.begin(), windows.end(),
                       [](const auto& window) { return window->visible && window->native; });
}

bool Application::hasVisibleWindow() const {
    return std::any_of(windows.begin(), windows.end(),
                       [](const auto& window) { return window->visible; });
}

} // namespace zarn::tavi
