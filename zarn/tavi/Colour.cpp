#include "zarn/tavi/Colour.h"

namespace zarn::tavi {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

Colour parseColour(std::string_view text) {
    constexpr Colour white{255, 255, 255, 255};
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6) return white;
    uint8_t bytes[3];
    for (size_t i = 0; i < 3; ++i) {
        int high = hexDigit(text[2 * i]);
        int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return white;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return Colour{bytes[0], bytes[1], bytes[2], 255};
}

} // namespace zarn::tavi
