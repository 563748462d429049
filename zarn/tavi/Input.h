// The input state machine of a window: hover, press, release and click, focus
// and text input. It changes the model and says which script handler is due;
// the caller runs the handler afterwards, so a handler never sees the model
// half-updated.
#pragma once

#include <memory>
#include <string_view>

#include "zarn/tavi/Widgets.h"

namespace zarn::tavi {

// The pointer moved to (x, y): each widget is hovered when it contains the
// point. Repaints when a flag changed.
void pointerMoved(Window& window, int64_t x, int64_t y);
// The pointer left the window: nothing stays hovered.
void pointerLeft(Window& window);
// The left button went down: the first widget under the point is pressed and
// focused; a press on no widget leaves nothing focused.
void pointerPressed(Window& window, int64_t x, int64_t y);
// The left button went up: the widget whose click handler is due (the pressed
// widget, when the point is still inside it), or null.
std::shared_ptr<Widget> pointerReleased(Window& window, int64_t x, int64_t y);
// Text typed (UTF-8) into the focused widget: the text box whose input handler
// is due, or null. Control characters are dropped.
std::shared_ptr<Widget> textTyped(Window& window, std::string_view utf8);
// Backspace removes the last whole character of the focused text box: the text
// box whose input handler is due, or null (no text box, or empty text).
std::shared_ptr<Widget> backspacePressed(Window& window);

} // namespace zarn::tavi
