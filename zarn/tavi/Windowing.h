// The platform seam of the toolkit: native windows, their events, the message
// box and the font. The rest of the toolkit only sees these interfaces; one
// file per platform implements them (SdlWindowing.cpp here).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::tavi {

class FrameBuffer;

// An event of one native window, already in the toolkit's own terms.
struct WindowEvent {
    enum class Type {
        Close,   // the user asked to close the window
        Resized, // the client area is now width x height
        Exposed, // the window needs painting
        PointerMove,
        PointerLeave,
        PointerDown, // left button
        PointerUp,   // left button
        Text,        // typed text, UTF-8
        Backspace,
    };
    Type type = Type::Exposed;
    uint32_t windowId = 0;
    int32_t x = 0; // pointer position, or the new client width
    int32_t y = 0; // pointer position, or the new client height
    std::string text;
};

class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    // Matches WindowEvent::windowId.
    virtual uint32_t id() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setSize(int32_t width, int32_t height) = 0;
    virtual void setResizable(bool resizable) = 0;
    virtual void center() = 0;
    // Copies the frame to the screen; the frame has the client area's size.
    virtual void present(const FrameBuffer& frame) = 0;
};

class Windowing {
public:
    virtual ~Windowing() = default;
    // A new hidden window of that client size, or null when the platform fails.
    virtual std::unique_ptr<NativeWindow> createWindow(const std::string& title, int32_t width,
                                                       int32_t height) = 0;
    // Waits for the next event, at most timeoutMs (negative: no limit).
    virtual std::optional<WindowEvent> waitEvent(int timeoutMs) = 0;
    // A modal OK/Cancel box: 1 for OK, 2 for Cancel, 0 on failure.
    virtual int messageBox(const std::string& title, const std::string& message) = 0;
};

// The platform's windowing, or null when it cannot start (no display).
std::unique_ptr<Windowing> openPlatformWindowing();

} // namespace zarn::tavi
