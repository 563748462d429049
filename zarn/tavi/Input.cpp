#include "zarn/tavi/Input.h"

namespace zarn::tavi {

void pointerMoved(Window& window, int64_t x, int64_t y) {
    bool changed = false;
    for (const auto& widget : window.paintList()) {
        bool inside = widget->rect.contains(x, y);
        if (widget->hovered != inside) {
            widget->hovered = inside;
            changed = true;
        }
    }
    if (changed) window.invalidate();
}

void pointerLeft(Window& window) {
    bool changed = false;
    for (const auto& widget : window.paintList()) {
        changed = changed || widget->hovered;
        widget->hovered = false;
    }
    if (changed) window.invalidate();
}

void pointerPressed(Window& window, int64_t x, int64_t y) {
    for (const auto& widget : window.paintList()) {
        if (!widget->rect.contains(x, y)) continue;
        widget->pressed = true;
        window.pressed = widget;
        window.focused = widget;
        window.invalidate();
        return;
    }
    if (window.focused) window.invalidate();
    window.focused = nullptr;
}

std::shared_ptr<Widget> pointerReleased(Window& window, int64_t x, int64_t y) {
    std::shared_ptr<Widget> widget = std::move(window.pressed);
    window.pressed = nullptr;
    if (!widget) return nullptr;
    widget->pressed = false;
    window.invalidate();
    return widget->rect.contains(x, y) ? widget : nullptr;
}

namespace {

std::shared_ptr<Widget> focusedTextBox(Window& window) {
    if (window.focused && window.focused->kind == WidgetKind::TextBox) return window.focused;
    return nullptr;
}

// The length of the last character of text: a whole UTF-8 sequence when the
// text ends with one, else one byte.
size_t lastCharacterLength(const std::string& text) {
    size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    auto lead = static_cast<unsigned char>(text[start]);
    size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return expected == text.size() - start ? expected : 1;
}

} // namespace

std::shared_ptr<Widget> textTyped(Window& window, std::string_view utf8) {
    std::shared_ptr<Widget> box = focusedTextBox(window);
    if (!box) return nullptr;
    std::string typed;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 32) typed += c;
    if (typed.empty()) return nullptr;
    box->setText(box->text + typed);
    window.invalidate();
    return box;
}

std::shared_ptr<Widget> backspacePressed(Window& window) {
    std::shared_ptr<Widget> box = focusedTextBox(window);
    if (!box || box->text.empty()) return nullptr;
    std::string text = box->text;
    text.resize(text.size() - lastCharacterLength(text));
    box->setText(std::move(text));
    window.invalidate();
    return box;
}

} // namespace zarn::tavi
