// The input state machine: hover, press and release, focus, typed text.
#include <gtest/gtest.h>

#include "zarn/tavi/Input.h"

namespace zarn::tavi {
namespace {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_shared<Window>("w", 400, 300);
        window->setLayout(std::make_shared<VerticalLayout>());
        label = std::make_shared<Widget>(WidgetKind::Label, "label");
        box = std::make_shared<Widget>(WidgetKind::TextBox, "");
        button = std::make_shared<Widget>(WidgetKind::Button, "Go");
        window->add(label);  // 16,16 200x28
        window->add(box);    // 16,56 368x36
        window->add(button); // 16,104 120x36
        window->dirty = false;
    }
    std::shared_ptr<Window> window;
    std::shared_ptr<Widget> label, box, button;
};

TEST_F(InputTest, HoverFollowsThePointerAndRepaintsOnlyOnChange) {
    pointerMoved(*window, 20, 110);
    EXPECT_TRUE(button->hovered);
    EXPECT_TRUE(window->dirty);
    window->dirty = false;
    pointerMoved(*window, 21, 111);
    EXPECT_FALSE(window->dirty);
    pointerMoved(*window, 136, 140); // the far corner is inside
    EXPECT_TRUE(button->hovered);
    pointerMoved(*window, 137, 140);
    EXPECT_FALSE(button->hovered);
}

TEST_F(InputTest, LeavingTheWindowClearsHover) {
    pointerMoved(*window, 20, 110);
    window->dirty = false;
    pointerLeft(*window);
    EXPECT_FALSE(button->hovered);
    EXPECT_TRUE(window->dirty);
}

TEST_F(InputTest, ReleaseInsideClicksOnce) {
    pointerPressed(*window, 20, 110);
    EXPECT_TRUE(button->pressed);
    EXPECT_EQ(window->focused, button);
    EXPECT_EQ(pointerReleased(*window, 30, 120), button);
    EXPECT_FALSE(button->pressed);
    EXPECT_EQ(window->pressed, nullptr);
    EXPECT_EQ(pointerReleased(*window, 30, 120), nullptr); // nothing pressed any more
}

TEST_F(InputTest, ReleaseOutsideDoesNotClick) {
    pointerPressed(*window, 20, 110);
    EXPECT_EQ(pointerReleased(*window, 300, 250), nullptr);
    EXPECT_FALSE(button->pressed);
    // A release over another widget does not click it either.
    pointerPressed(*window, 20, 110);
    EXPECT_EQ(pointerReleased(*window, 20, 60), nullptr);
}

TEST_F(InputTest, PressOnNothingDropsFocus) {
    pointerPressed(*window, 20, 60);
    EXPECT_EQ(window->focused, box);
    pointerPressed(*window, 390, 290);
    EXPECT_EQ(window->focused, nullptr);
    EXPECT_EQ(textTyped(*window, "a"), nullptr);
}

TEST_F(InputTest, FocusedLabelTakesNoText) {
    pointerPressed(*window, 20, 20);
    pointerReleased(*window, 20, 20);
    EXPECT_EQ(window->focused, label);
    EXPECT_EQ(textTyped(*window, "x"), nullptr);
    EXPECT_EQ(backspacePressed(*window), nullptr);
    EXPECT_EQ(label->text, "label");
    EXPECT_EQ(box->text, "");
}

TEST_F(InputTest, TypingAppendsUtf8AndBackspaceRemovesWholeCharacters) {
    pointerPressed(*window, 20, 60);
    pointerReleased(*window, 20, 60);
    EXPECT_EQ(textTyped(*window, "h\xC3\xA9"), box);
    EXPECT_EQ(textTyped(*window, "\xE2\x82\xAC"), box);     // euro sign
    EXPECT_EQ(textTyped(*window, "\xF0\x9F\x98\x80"), box); // four bytes
    EXPECT_EQ(box->text, "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(backspacePressed(*window), box);
    EXPECT_EQ(box->text, "h\xC3\xA9\xE2\x82\xAC");
    backspacePressed(*window);
    EXPECT_EQ(box->text, "h\xC3\xA9");
    backspacePressed(*window);
    EXPECT_EQ(box->text, "h");
    backspacePressed(*window);
    EXPECT_EQ(box->text, "");
    EXPECT_EQ(backspacePressed(*window), nullptr); // empty: no handler due
}

TEST_F(InputTest, ControlCharactersAreDropped) {
    pointerPressed(*window, 20, 60);
    EXPECT_EQ(textTyped(*window, "\t\r"), nullptr);
    EXPECT_EQ(textTyped(*window, "a\nb"), box);
    EXPECT_EQ(box->text, "ab");
}

TEST_F(InputTest, BackspaceOnBrokenUtf8RemovesOneByte) {
    box->text = "a\x80\x80";
    pointerPressed(*window, 20, 60);
    backspacePressed(*window);
    EXPECT_EQ(box->text, "a\x80");
    box->text = "\xE2\x82"; // a cut three-byte sequence
    backspacePressed(*window);
    EXPECT_EQ(box->text, "\xE2");
}

} // namespace
} // namespace zarn::tavi
