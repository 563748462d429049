// The toolkit's own painter: an RGBA frame buffer, anti-aliased rounded
// rectangles, alpha-blended text masks, and the painting of a whole window.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "zarn/tavi/Colour.h"
#include "zarn/tavi/Widgets.h"

namespace zarn::tavi {

// Pixels in rows, four bytes each: red, green, blue, alpha.
class FrameBuffer {
public:
    FrameBuffer(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    const uint8_t* data() const { return pixels_.data(); }
    uint8_t* data() { return pixels_.data(); }
    Colour at(int32_t x, int32_t y) const;
    void fill(Colour colour);
    // Mixes colour into one pixel with coverage 0..1; outside pixels are ignored.
    void blend(int32_t x, int32_t y, Colour colour, float coverage);

private:
    int32_t width_;
    int32_t height_;
    std::vector<uint8_t> pixels_;
};

// A line of text as coverage values (0..255), one byte per pixel, as tall as
// the font's line.
struct TextMask {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> coverage;
};

class TextRenderer {
public:
    virtual ~TextRenderer() = default;
    virtual TextMask render(std::string_view utf8) = 0;
};

// The font of the platform, or null when none can be opened.
std::unique_ptr<TextRenderer> openSystemFont();

// The fixed colours of the toolkit's look.
namespace palette {
inline constexpr Colour windowBackground{24, 24, 37, 255};
inline constexpr Colour buttonPressed{88, 91, 112, 255};
inline constexpr Colour buttonHovered{69, 71, 90, 255};
inline constexpr Colour accent{137, 179, 250, 255}; // button border, focused text box
inline constexpr Colour idleBorder{88, 91, 112, 255};
} // namespace palette

// A rounded rectangle over rect with corners of that radius: a one-pixel
// border in border colour around a fill, both anti-aliased.
void fillRoundedRect(FrameBuffer& frame, const Rect& rect, float radius, Colour fill,
                     Colour border);

enum class Align { Left, Centre };

// Draws text on one line, centred vertically in box and aligned horizontally,
// clipped to box.
void drawText(FrameBuffer& frame, const TextMask& mask, const Rect& box, Align align,
              Colour colour);

// Paints the window's background and widgets. Without a renderer no text is drawn.
void paintWindow(const Window& window, FrameBuffer& frame, TextRenderer* text);

} // namespace zarn::tavi
