#include "zarn/frontend/AST.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zarn {

LiteralExpr::LiteralExpr(LiteralKind kind, SharedText text, SourceLocation location)
    : Expression(std::move(location)), kind(kind), text(std::move(text)) {
    if (kind == LiteralKind::Integer) {
        int64_t value = 0;
        auto [end, ec] =
            std::from_chars(this->text.data(), this->text.data() + this->text.size(), value);
        if (ec == std::errc() && end == this->text.data() + this->text.size()) intValue = value;
    } else if (kind == LiteralKind::Float) {
        // from_chars for double keeps the conversion independent of the C locale.
        double value = 0.0;
        auto [end, ec] =
            std::from_chars(this->text.data(), this->text.data() + this->text.size(), value);
        if (ec == std::errc() && std::isfinite(value)) floatValue = value;
    }
}

} // namespace zarn
