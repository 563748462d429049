// Colour texts and the arithmetic of the three layouts.
#include <gtest/gtest.h>

#include "zarn/tavi/Widgets.h"

namespace zarn::tavi {
namespace {

std::shared_ptr<Widget> make(WidgetKind kind) { return std::make_shared<Widget>(kind, ""); }

TEST(ColourTest, SixHexDigitsWithOrWithoutHash) {
    EXPECT_EQ(parseColour("#ff8800"), (Colour{255, 136, 0, 255}));
    EXPECT_EQ(parseColour("1E1E2e"), (Colour{30, 30, 46, 255}));
}

TEST(ColourTest, EverythingElseIsOpaqueWhite) {
    const Colour white{255, 255, 255, 255};
    EXPECT_EQ(parseColour("#f80"), white);
    EXPECT_EQ(parseColour(""), white);
    EXPECT_EQ(parseColour("#"), white);
    EXPECT_EQ(parseColour("##ff8800"), white); // only one "#" is dropped
    EXPECT_EQ(parseColour("ff88000"), white);
    // Six characters that are not all hexadecimal must not end the run.
    EXPECT_EQ(parseColour("zzzzzz"), white);
    EXPECT_EQ(parseColour("#12345g"), white);
    EXPECT_EQ(parseColour(std::string_view("12\0456", 6)), white);
}

TEST(WidgetTest, DefaultsByKind) {
    Widget label(WidgetKind::Label, "");
    EXPECT_EQ(label.rect, (Rect{0, 0, 200, 28}));
    EXPECT_EQ(label.background, (Colour{24, 24, 37, 0}));
    Widget button(WidgetKind::Button, "Button");
    EXPECT_EQ(button.rect, (Rect{0, 0, 120, 36}));
    EXPECT_EQ(button.background, (Colour{49, 50, 68, 255}));
    Widget box(WidgetKind::TextBox, "");
    EXPECT_EQ(box.rect, (Rect{0, 0, 200, 36}));
    EXPECT_EQ(box.foreground, (Colour{205, 214, 244, 255}));
    EXPECT_EQ(box.fontName, "Segoe UI");
    EXPECT_EQ(box.fontSize, 15);
}

TEST(LayoutTest, VerticalPlacesAndStretchesTextBoxes) {
    auto window = std::make_shared<Window>("w", 400, 300);
    auto label = make(WidgetKind::Label);
    auto box = make(WidgetKind::TextBox);
    auto button = make(WidgetKind::Button);
    window->setLayout(std::make_shared<VerticalLayout>());
    window->add(label);
    window->add(box);
    window->add(button);
    EXPECT_EQ(label->rect, (Rect{16, 16, 200, 28}));
    EXPECT_EQ(box->rect, (Rect{16, 16 + 28 + 12, 368, 36}));
    EXPECT_EQ(button->rect, (Rect{16, 56 + 36 + 12, 120, 36}));
}

TEST(LayoutTest, VerticalNarrowsWideWidgets) {
    VerticalLayout layout;
    auto label = make(WidgetKind::Label);
    label->setWidth(1000);
    layout.add(label);
    layout.layout(Rect{0, 0, 400, 300});
    EXPECT_EQ(label->rect.width, 368);
    EXPECT_EQ(label->preferredWidth, 1000); // the preference stays
}

TEST(LayoutTest, HorizontalKeepsWidthsAndCapsHeights) {
    HorizontalLayout layout;
    auto button = make(WidgetKind::Button);
    auto tall = make(WidgetKind::Label);
    tall->setHeight(500);
    layout.add(button);
    layout.add(tall);
    layout.layout(Rect{0, 0, 400, 300});
    EXPECT_EQ(button->rect, (Rect{16, 16, 120, 36}));
    EXPECT_EQ(tall->rect, (Rect{16 + 120 + 12, 16, 200, 268}));
}

TEST(LayoutTest, GridCellsAndSharedCells) {
    auto window = std::make_shared<Window>("w", 400, 300);
    auto grid = std::make_shared<GridLayout>(2, 2);
    auto corner = make(WidgetKind::Button);
    auto first = make(WidgetKind::Label);
    grid->add(corner, 1, 1);
    window->setLayout(grid);
    window->add(first); // through the window: row 0, column 0
    EXPECT_EQ(corner->rect, (Rect{206, 156, 178, 128}));
    EXPECT_EQ(first->rect, (Rect{16, 16, 178, 128}));
    EXPECT_EQ(grid->children(), (std::vector<std::shared_ptr<Widget>>{corner, first}));
}

TEST(LayoutTest, EmptyGridPlacesNothing) {
    GridLayout grid(0, 3);
    auto label = make(WidgetKind::Label);
    grid.add(label, 0, 0);
    grid.layout(Rect{0, 0, 400, 300});
    EXPECT_EQ(label->rect, (Rect{0, 0, 200, 28}));
}

TEST(LayoutTest, HugeSizesClampInsteadOfOverflowing) {
    VerticalLayout layout;
    std::vector<std::shared_ptr<Widget>> widgets;
    for (int i = 0; i < 3; ++i) {
        widgets.push_back(make(WidgetKind::Label));
        widgets.back()->setHeight(int64_t{1} << 40);
        layout.add(widgets.back());
    }
    layout.layout(Rect{0, 0, 400, 300});
    EXPECT_EQ(widgets[0]->rect.height, INT32_MAX);
    EXPECT_EQ(widgets[2]->rect.y, INT32_MAX);
    GridLayout grid(INT64_MAX, -5);
    grid.add(widgets[0], INT64_MAX, INT64_MIN);
    grid.layout(Rect{0, 0, 400, 300}); // columns < 1: nothing to do, nothing to overflow
    GridLayout many(1000000, 1000000);
    many.add(widgets[1], 999999, 999999);
    many.layout(Rect{0, 0, 400, 300});
    EXPECT_LT(widgets[1]->rect.width, 0);
}

TEST(LayoutTest, WithoutLayoutWidgetsKeepTheirRectangles) {
    auto window = std::make_shared<Window>("w", 400, 300);
    auto label = make(WidgetKind::Label);
    window->add(label);
    EXPECT_EQ(label->rect, (Rect{0, 0, 200, 28}));
    EXPECT_EQ(label->owner.lock(), window);
    EXPECT_EQ(window->paintList().size(), 1u);
}

} // namespace
} // namespace zarn::tavi
