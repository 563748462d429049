// One interpreter's toolkit: the current application, the windows with their
// native counterparts, the event loop of Application.run, painting, and the
// dialogs. Script handlers are run through a HandlerRunner, so this code knows
// nothing of script values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zarn/tavi/Painter.h"
#include "zarn/tavi/Widgets.h"
#include "zarn/tavi/Windowing.h"

namespace zarn::tavi {

class HandlerRunner {
public:
    virtual ~HandlerRunner() = default;
    // Calls the widget's click handler, when it has one.
    virtual void click(Widget& widget) = 0;
    // Calls the widget's input handler, when it has one, with the new text.
    virtual void input(Widget& widget, const std::string& text) = 0;
};

struct ToolkitOptions {
    // No native window is ever made; run prints its line and returns.
    bool headless = false;
    // When headless and not empty: run writes each visible window of the
    // application, painted, to this folder as windowN.ppm (N from 1).
    std::string snapshotFolder;
};

class Toolkit {
public:
    // Windowing and font may be given (tests); otherwise they open on first use.
    explicit Toolkit(ToolkitOptions options, std::unique_ptr<Windowing> windowing = nullptr,
                     std::unique_ptr<TextRenderer> font = nullptr);
    ~Toolkit();
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    bool headless() const { return options_.headless; }

    // A new application, which becomes the current one.
    std::shared_ptr<Application> makeApplication(std::string title);
    // A new hidden window, registered with the current application.
    std::shared_ptr<Window> makeWindow(std::string title, int64_t width, int64_t height);

    void show(Window& window);
    void hide(Window& window);
    // Not visible, native window gone; ends the loop of the current
    // application when none of its windows is visible any more.
    void close(Window& window);
    void setTitle(Window& window, std::string title);
    void setSize(Window& window, int64_t width, int64_t height);
    void setResizable(Window& window, bool resizable);
    void center(Window& window);

    // Runs the event loop until the application's last open window closes or
    // quit is asked; returns at once when it is already running.
    void run(Application& application, HandlerRunner& handlers);
    void quit(Application& application);

    // 1 for OK, 2 for Cancel, 0 when no box can be shown; 1 when headless.
    int messageBox(const std::string& title, const std::string& message);
    // The open-file dialog: the chosen path, or "" when cancelled (always
    // "" when headless or without a display).
    std::string openFileDialog(const std::string& startFolder);

    // Paints the window as it would appear (used by snapshots and tests).
    FrameBuffer paint(const Window& window);
    TextRenderer* font();

private:
    Windowing* windowing();
    void attachNative(Window& window);
    std::shared_ptr<Window> findWindow(uint32_t id);
    bool loopShouldContinue(const Application& application);
    void dispatch(const WindowEvent& event, HandlerRunner& handlers);
    void paintDirtyWindows();
    void writeSnapshots(const Application& application);
    void invalidateAll();

    ToolkitOptions options_;
    std::unique_ptr<Windowing> windowing_;
    bool windowingTried_ = false;
    std::unique_ptr<TextRenderer> font_;
    bool fontTried_ = false;
    std::weak_ptr<Application> current_;
    std::vector<std::weak_ptr<Window>> windows_;
};

} // namespace zarn::tavi
