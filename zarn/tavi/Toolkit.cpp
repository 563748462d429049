#include "zarn/tavi/Toolkit.h"

#include <algorithm>
#include <iostream>

#include "zarn/tavi/Input.h"
#include "zarn/tavi/Ppm.h"

namespace zarn::tavi {

Toolkit::Toolkit(ToolkitOptions options, std::unique_ptr<Windowing> windowing,
                 std::unique_ptr<TextRenderer> font)
    : options_(std::move(options)), windowing_(std::move(windowing)),
      windowingTried_(windowing_ != nullptr), font_(std::move(font)), fontTried_(font_ != nullptr) {
}

Toolkit::~Toolkit() {
    // Native windows go before the windowing that made them.
    for (const auto& weak : windows_)
        if (auto window = weak.lock()) window->native.reset();
}

Windowing* Toolkit::windowing() {
    if (options_.headless) return nullptr;
    if (!windowingTried_) {
        windowingTried_ = true;
        windowing_ = openPlatformWindowing();
    }
    return windowing_.get();
}

TextRenderer* Toolkit::font() {
    if (!fontTried_) {
        fontTried_ = true;
        font_ = openSystemFont();
    }
    return font_.get();
}

std::shared_ptr<Application> Toolkit::makeApplication(std::string title) {
    auto application = std::make_shared<Application>(std::move(title));
    current_ = application;
    return application;
}

void Toolkit::attachNative(Window& window) {
    if (Windowing* platform = windowing()) {
        window.native = platform->createWindow(window.title, window.width, window.height);
        if (window.native && !window.resizable) window.native->setResizable(false);
    }
}

std::shared_ptr<Window> Toolkit::makeWindow(std::string title, int64_t width, int64_t height) {
    auto window = std::make_shared<Window>(std::move(title), width, height);
    attachNative(*window);
    // Forget windows that are gone, so the list stays as long as the live ones.
    std::erase_if(windows_, [](const auto& weak) { return weak.expired(); });
    windows_.push_back(window);
    if (auto application = current_.lock()) application->windows.push_back(window);
    return window;
}

void Toolkit::show(Window& window) {
    window.visible = true;
    // A window closed earlier gets a new native window, so that closing it
    // again can still end the loop.
    if (!window.native) attachNative(window);
    if (window.native) window.native->show();
    window.layOut();
    window.invalidate();
}

void Toolkit::hide(Window& window) {
    window.visible = false;
    if (window.native) window.native->hide();
}

void Toolkit::close(Window& window) {
    window.visible = false;
    window.native.reset();
    window.pressed = nullptr;
    for (const auto& widget : window.paintList()) widget->hovered = widget->pressed = false;
    auto application = current_.lock();
    if (application && !application->hasVisibleWindow()) application->running = false;
}

void Toolkit::setTitle(Window& window, std::string title) {
    window.title = std::move(title);
    if (window.native) window.native->setTitle(window.title);
}

void Toolkit::setSize(Window& window, int64_t width, int64_t height) {
    window.width = clampToInt32(width);
    window.height = clampToInt32(height);
    if (window.native) window.native->setSize(window.width, window.height);
    window.layOut();
    window.invalidate();
}

void Toolkit::setResizable(Window& window, bool resizable) {
    window.resizable = resizable;
    if (window.native) window.native->setResizable(resizable);
}

void Toolkit::center(Window& window) {
    if (window.native) window.native->center();
}

std::shared_ptr<Window> Toolkit::findWindow(uint32_t id) {
    for (const auto& weak : windows_) {
        auto window = weak.lock();
        if (window && window->native && window->native->id() == id) return window;
    }
    return nullptr;
}

bool Toolkit::loopShouldContinue(const Application& application) {
    if (!application.running || application.quitRequested) return false;
    if (!application.windows.empty()) return application.hasOpenWindow();
    // An application without windows of its own runs while any window is open.
    return std::any_of(windows_.begin(), windows_.end(), [](const auto& weak) {
        auto window = weak.lock();
        return window && window->visible && window->native;
    });
}

void Toolkit::run(Application& application, HandlerRunner& handlers) {
    if (application.running) return;
    application.running = true;
    if (options_.headless) {
        std::cout << "[Tavi] Running in headless mode for testing. Application started "
                     "successfully.\n"
                  << std::flush;
        if (!options_.snapshotFolder.empty()) writeSnapshots(application);
        return;
    }
    // However the loop ends (a handler's error included), the application can
    // run again afterwards.
    struct LoopEnd {
        Application& application;
        ~LoopEnd() {
            application.running = false;
            application.quitRequested = false;
        }
    } loopEnd{application};
    while (loopShouldContinue(application)) {
        paintDirtyWindows();
        std::optional<WindowEvent> event = windowing_->waitEvent(-1);
        if (event) dispatch(*event, handlers);
    }
}

void Toolkit::quit(Application& application) { application.quitRequested = true; }

void Toolkit::invalidateAll() {
    for (const auto& weak : windows_)
        if (auto window = weak.lock()) window->invalidate();
}

void Toolkit::dispatch(const WindowEvent& event, HandlerRunner& handlers) {
    using Type = WindowEvent::Type;
    std::shared_ptr<Window> window = findWindow(event.windowId);
    if (!window) return;
    std::shared_ptr<Widget> due;
    switch (event.type) {
    case Type::Close: close(*window); return;
    case Type::Resized:
        window->width = event.x;
        window->height = event.y;
        window->layOut();
        window->invalidate();
        return;
    case Type::Exposed: window->invalidate(); return;
    case Type::PointerMove: pointerMoved(*window, event.x, event.y); return;
    case Type::PointerLeave: pointerLeft(*window); return;
    case Type::PointerDown: pointerPressed(*window, event.x, event.y); return;
    case Type::PointerUp:
        if ((due = pointerReleased(*window, event.x, event.y))) {
            handlers.click(*due);
            // A handler may change any widget, also ones no window owns.
            invalidateAll();
        }
        return;
    case Type::Text:
    case Type::Backspace:
        due = event.type == Type::Text ? textTyped(*window, event.text) : backspacePressed(*window);
        if (due) {
            std::string text = due->text;
            handlers.input(*due, text);
            invalidateAll();
        }
        return;
    }
}

// No screen is larger; a script asking for more must not exhaust memory.
constexpr int32_t kMaxFrameSide = 8192;

FrameBuffer Toolkit::paint(const Window& window) {
    FrameBuffer frame(std::clamp(window.width, 0, kMaxFrameSide),
                      std::clamp(window.height, 0, kMaxFrameSide));
    paintWindow(window, frame, font());
    return frame;
}

void Toolkit::paintDirtyWindows() {
    for (const auto& weak : windows_) {
        auto window = weak.lock();
        if (!window || !window->dirty || !window->visible || !window->native) continue;
        window->dirty = false;
        window->native->present(paint(*window));
    }
}

void Toolkit::writeSnapshots(const Application& application) {
    int index = 0;
    for (const auto& window : application.windows) {
        if (!window->visible) continue;
        std::string path = options_.snapshotFolder + "/window" + std::to_string(++index) + ".ppm";
        if (!writePpm(paint(*window), path))
            std::cerr << "[Tavi] could not write snapshot '" << path << "'\n";
    }
}

int Toolkit::messageBox(const std::string& title, const std::string& message) {
    if (options_.headless) return 1;
    Windowing* platform = windowing();
    return platform ? platform->messageBox(title, message) : 0;
}

} // namespace zarn::tavi
