#include "zarn/tavi/Painter.h"

#include <algorithm>
#include <cmath>

namespace zarn::tavi {

FrameBuffer::FrameBuffer(int32_t width, int32_t height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4, 255) {}

Colour FrameBuffer::at(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return Colour{};
    const uint8_t* p = &pixels_[(static_cast<size_t>(y) * width_ + x) * 4];
    return Colour{p[0], p[1], p[2], p[3]};
}

void FrameBuffer::fill(Colour colour) {
    for (size_t i = 0; i < pixels_.size(); i += 4) {
        pixels_[i] = colour.red;
        pixels_[i + 1] = colour.green;
        pixels_[i + 2] = colour.blue;
        pixels_[i + 3] = 255;
    }
}

void FrameBuffer::blend(int32_t x, int32_t y, Colour colour, float coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0.0f) return;
    float a = std::min(coverage, 1.0f);
    uint8_t* p = &pixels_[(static_cast<size_t>(y) * width_ + x) * 4];
    auto mix = [a](uint8_t under, uint8_t over) {
        return static_cast<uint8_t>(std::lround(under + (over - under) * a));
    };
    p[0] = mix(p[0], colour.red);
    p[1] = mix(p[1], colour.green);
    p[2] = mix(p[2], colour.blue);
    p[3] = 255;
}

namespace {

// Signed distance from a point to a rounded box (negative inside).
float roundedBoxDistance(float px, float py, float left, float top, float right, float bottom,
                         float radius) {
    float cx = (left + right) / 2, cy = (top + bottom) / 2;
    float hx = (right - left) / 2, hy = (bottom - top) / 2;
    radius = std::clamp(radius, 0.0f, std::min(hx, hy));
    float qx = std::abs(px - cx) - (hx - radius);
    float qy = std::abs(py - cy) - (hy - radius);
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float coverageOf(float distance) { return std::clamp(0.5f - distance, 0.0f, 1.0f); }

} // namespace

void fillRoundedRect(FrameBuffer& frame, const Rect& rect, float radius, Colour fill,
                     Colour border) {
    if (rect.width <= 0 || rect.height <= 0) return;
    int32_t x0 = std::max(rect.x, 0), y0 = std::max(rect.y, 0);
    int32_t x1 =
        static_cast<int32_t>(std::min<int64_t>(int64_t{rect.x} + rect.width, frame.width()));
    int32_t y1 =
        static_cast<int32_t>(std::min<int64_t>(int64_t{rect.y} + rect.height, frame.height()));
    float left = static_cast<float>(rect.x), top = static_cast<float>(rect.y);
    float right = left + static_cast<float>(rect.width),
          bottom = top + static_cast<float>(rect.height);
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            float outer = coverageOf(roundedBoxDistance(px, py, left, top, right, bottom, radius));
            if (outer <= 0.0f) continue;
            float inner = coverageOf(roundedBoxDistance(px, py, left + 1, top + 1, right - 1,
                                                        bottom - 1, std::max(radius - 1, 0.0f)));
            frame.blend(x, y, border, outer);
            frame.blend(x, y, fill, inner);
        }
    }
}

void drawText(FrameBuffer& frame, const TextMask& mask, const Rect& box, Align align,
              Colour colour) {
    if (mask.width <= 0 || mask.height <= 0 || box.width <= 0 || box.height <= 0) return;
    int64_t originX = box.x;
    if (align == Align::Centre) originX += (int64_t{box.width} - mask.width) / 2;
    int64_t originY = box.y + (int64_t{box.height} - mask.height) / 2;
    int64_t clipLeft = std::max<int64_t>(box.x, 0);
    int64_t clipTop = std::max<int64_t>(box.y, 0);
    int64_t clipRight = std::min<int64_t>(int64_t{box.x} + box.width, frame.width());
    int64_t clipBottom = std::min<int64_t>(int64_t{box.y} + box.height, frame.height());
    float alpha = static_cast<float>(colour.alpha) / 255.0f;
    for (int32_t row = 0; row < mask.height; ++row) {
        int64_t y = originY + row;
        if (y < clipTop || y >= clipBottom) continue;
        for (int32_t col = 0; col < mask.width; ++col) {
            int64_t x = originX + col;
            if (x < clipLeft || x >= clipRight) continue;
            uint8_t c = mask.coverage[static_cast<size_t>(row) * mask.width + col];
            if (c == 0) continue;
            frame.blend(static_cast<int32_t>(x), static_cast<int32_t>(y), colour,
                        static_cast<float>(c) / 255.0f * alpha);
        }
    }
}

namespace {

void paintText(FrameBuffer& frame, TextRenderer* text, const Widget& widget, const Rect& box,
               Align align) {
    if (text == nullptr || widget.text.empty()) return;
    drawText(frame, text->render(widget.text), box, align, widget.foreground);
}

} // namespace

void paintWindow(const Window& window, FrameBuffer& frame, TextRenderer* text) {
    frame.fill(palette::windowBackground);
    for (const auto& widget : window.paintList()) {
        const Rect& rect = widget->rect;
        switch (widget->kind) {
        case WidgetKind::Label: paintText(frame, text, *widget, rect, Align::Left); break;
        case WidgetKind::Button: {
            Colour fill = widget->pressed   ? palette::buttonPressed
                          : widget->hovered ? palette::buttonHovered
                                            : widget->background;
            fillRoundedRect(frame, rect, 4.0f, fill, palette::accent);
            paintText(frame, text, *widget, rect, Align::Centre);
            break;
        }
        case WidgetKind::TextBox: {
            bool focused = window.focused == widget;
            fillRoundedRect(frame, rect, 3.0f, widget->background,
                            focused ? palette::accent : palette::idleBorder);
            Rect textBox{clampToInt32(int64_t{rect.x} + 8), rect.y,
                         clampToInt32(int64_t{rect.width} - 8), rect.height};
            paintText(frame, text, *widget, textBox, Align::Left);
            break;
        }
        }
    }
}

} // namespace zarn::tavi
