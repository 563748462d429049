// The event loop over a scripted fake platform: close rules, show after close,
// quit, resize, and handlers run after the state machine.
#include <gtest/gtest.h>

#include <deque>

#include "zarn/tavi/Toolkit.h"

namespace zarn::tavi {
namespace {

struct FakeLog {
    int created = 0;
    int presented = 0;
    std::vector<uint32_t> destroyed;
};

class FakeWindow final : public NativeWindow {
public:
    FakeWindow(FakeLog& log, uint32_t id) : log_(log), id_(id) {}
    ~FakeWindow() override { log_.destroyed.push_back(id_); }
    uint32_t id() const override { return id_; }
    void show() override {}
    void hide() override {}
    void setTitle(const std::string&) override {}
    void setSize(int32_t, int32_t) override {}
    void setResizable(bool) override {}
    void center() override {}
    void present(const FrameBuffer&) override { ++log_.presented; }

private:
    FakeLog& log_;
    uint32_t id_;
};

// Hands out queued events; an empty queue means the test forgot an end, which
// the loop reports by closing every window so it cannot spin forever.
class FakeWindowing final : public Windowing {
public:
    explicit FakeWindowing(FakeLog& log) : log_(log) {}
    std::unique_ptr<NativeWindow> createWindow(const std::string&, int32_t, int32_t) override {
        return std::make_unique<FakeWindow>(log_, static_cast<uint32_t>(++log_.created));
    }
    std::optional<WindowEvent> waitEvent(int) override {
        if (events.empty()) {
            exhausted = true;
            return WindowEvent{WindowEvent::Type::Close, lastId, 0, 0, {}};
        }
        WindowEvent event = events.front();
        events.pop_front();
        lastId = event.windowId;
        return event;
    }
    int messageBox(const std::string&, const std::string&) override { return 2; }

    std::deque<WindowEvent> events;
    bool exhausted = false;
    uint32_t lastId = 1;

private:
    FakeLog& log_;
};

class RecordingHandlers final : public HandlerRunner {
public:
    void click(Widget& widget) override {
        clicks.push_back(widget.text);
        if (onClick) onClick();
    }
    void input(Widget&, const std::string& text) override { inputs.push_back(text); }
    std::vector<std::string> clicks;
    std::vector<std::string> inputs;
    std::function<void()> onClick;
};

using Type = WindowEvent::Type;

class ToolkitTest : public ::testing::Test {
protected:
    ToolkitTest() {
        auto fake = std::make_unique<FakeWindowing>(log);
        platform = fake.get();
        toolkit = std::make_unique<Toolkit>(ToolkitOptions{}, std::move(fake));
        app = toolkit->makeApplication("app");
    }
    // A shown 400 x 300 window holding the widgets, in a vertical layout or none.
    std::shared_ptr<Window> shownWindow(std::vector<std::shared_ptr<Widget>> widgets = {},
                                        bool vertical = false) {
        auto window = toolkit->makeWindow("w", 400, 300);
        if (vertical) window->setLayout(std::make_shared<VerticalLayout>());
        for (auto& widget : widgets) window->add(widget);
        toolkit->show(*window);
        return window;
    }
    void click(uint32_t id, int32_t x, int32_t y) {
        queue(Type::PointerDown, id, x, y);
        queue(Type::PointerUp, id, x, y);
    }
    void queue(WindowEvent::Type type, uint32_t id, int32_t x = 0, int32_t y = 0,
               std::string text = "") {
        platform->events.push_back(WindowEvent{type, id, x, y, std::move(text)});
    }

    FakeLog log;
    FakeWindowing* platform;
    std::unique_ptr<Toolkit> toolkit;
    RecordingHandlers handlers;
    std::shared_ptr<Application> app;
};

TEST_F(ToolkitTest, ClosingTheLastVisibleWindowEndsRun) {
    auto first = shownWindow();
    auto second = shownWindow();
    queue(Type::Close, 1);
    queue(Type::Exposed, 2);
    queue(Type::Close, 2);
    toolkit->run(*app, handlers);
    EXPECT_FALSE(platform->exhausted);
    EXPECT_FALSE(app->running);
    EXPECT_FALSE(first->native);
    EXPECT_GE(log.presented, 2);
}

TEST_F(ToolkitTest, ClickAndTypeReachTheHandlersInOrder) {
    auto box = std::make_shared<Widget>(WidgetKind::TextBox, "");
    auto button = std::make_shared<Widget>(WidgetKind::Button, "Go");
    auto window = shownWindow({box, button}, true); // at 16,16 and 16,64
    click(1, 20, 20);
    queue(Type::Text, 1, 0, 0, "h\xC3\xA9");
    queue(Type::Backspace, 1);
    click(1, 20, 70);
    handlers.onClick = [&] {
        if (handlers.clicks.back() == "Go") toolkit->quit(*app);
    };
    toolkit->run(*app, handlers);
    EXPECT_EQ(handlers.inputs, (std::vector<std::string>{"h\xC3\xA9", "h"}));
    EXPECT_EQ(handlers.clicks, (std::vector<std::string>{"", "Go"})); // the box was clicked too
    EXPECT_FALSE(platform->exhausted);
    EXPECT_TRUE(window->visible); // quit closes nothing
}

TEST_F(ToolkitTest, RunAgainAfterQuit) {
    auto window = shownWindow({std::make_shared<Widget>(WidgetKind::Button, "Quit")});
    handlers.onClick = [&] { toolkit->quit(*app); };
    click(1, 5, 5);
    toolkit->run(*app, handlers);
    EXPECT_FALSE(app->running);
    click(1, 5, 5);
    toolkit->run(*app, handlers);
    EXPECT_EQ(handlers.clicks.size(), 2u);
    EXPECT_FALSE(platform->exhausted);
}

TEST_F(ToolkitTest, ShowAfterCloseGetsANewNativeWindow) {
    auto window = toolkit->makeWindow("w", 400, 300);
    auto other = shownWindow();
    toolkit->close(*window);
    toolkit->show(*window);
    ASSERT_TRUE(window->native);
    uint32_t id = window->native->id();
    EXPECT_EQ(id, 3u);
    queue(Type::Close, 2);
    queue(Type::Close, id); // closing the shown-again window ends the loop
    toolkit->run(*app, handlers);
    EXPECT_FALSE(platform->exhausted);
}

TEST_F(ToolkitTest, ResizeLaysOutAgain) {
    auto box = std::make_shared<Widget>(WidgetKind::TextBox, "");
    auto window = shownWindow({box}, true);
    queue(Type::Resized, 1, 600, 200);
    queue(Type::Close, 1);
    toolkit->run(*app, handlers);
    EXPECT_EQ(box->rect.width, 568);
    EXPECT_EQ(window->width, 600);
}

TEST_F(ToolkitTest, RunWithoutOpenWindowsReturnsAtOnce) {
    auto hidden = toolkit->makeWindow("w", 400, 300);
    toolkit->run(*app, handlers);
    EXPECT_FALSE(app->running);
    EXPECT_FALSE(platform->exhausted);
}

TEST_F(ToolkitTest, PointerLeaveClearsHover) {
    auto button = std::make_shared<Widget>(WidgetKind::Button, "b");
    auto window = shownWindow({button});
    queue(Type::PointerMove, 1, 5, 5);
    queue(Type::PointerLeave, 1);
    queue(Type::Close, 1);
    toolkit->run(*app, handlers);
    EXPECT_FALSE(button->hovered);
}

TEST(HeadlessToolkitTest, NothingBlocks) {
    Toolkit toolkit(ToolkitOptions{true, ""});
    auto app = toolkit.makeApplication("app");
    auto window = toolkit.makeWindow("w", 100, 100);
    toolkit.show(*window);
    EXPECT_FALSE(window->native);
    EXPECT_EQ(toolkit.messageBox("t", "m"), 1);
    EXPECT_EQ(toolkit.openFileDialog(""), "");
    RecordingHandlers handlers;
    testing::internal::CaptureStdout();
    toolkit.run(*app, handlers);
    toolkit.run(*app, handlers); // already running: returns at once, prints nothing
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Tavi] Running in headless mode for testing. Application started successfully.\n");
}

} // namespace
} // namespace zarn::tavi
