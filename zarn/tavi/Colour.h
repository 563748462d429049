// Widget colours and the reading of colour texts given by scripts.
#pragma once

#include <cstdint>
#include <string_view>

namespace zarn::tavi {

struct Colour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    friend bool operator==(const Colour&, const Colour&) = default;
};

// "#RRGGBB" or "RRGGBB" gives that colour with alpha 255. Anything else
// (another length, a character that is not a hexadecimal digit) reads as
// opaque white, so a bad colour never ends a run.
Colour parseColour(std::string_view text);

} // namespace zarn::tavi
