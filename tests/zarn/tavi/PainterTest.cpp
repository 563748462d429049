// The painter: anti-aliased rounded rectangles, blended text masks, and whole
// windows compared with golden images (a small tolerance absorbs rounding in
// the font rasteriser).
#include <gtest/gtest.h>

#include <filesystem>

#include <cstdlib>

#include "zarn/tavi/Input.h"
#include "zarn/tavi/Painter.h"
#include "zarn/tavi/Ppm.h"

namespace zarn::tavi {
namespace {

const Colour kBlack{0, 0, 0, 255};
const Colour kFill{200, 100, 50, 255};
const Colour kBorder{10, 250, 10, 255};

TEST(PainterTest, RoundedRectHasBorderFillAndSoftCorners) {
    FrameBuffer frame(40, 30);
    frame.fill(kBlack);
    fillRoundedRect(frame, Rect{5, 5, 20, 10}, 4.0f, kFill, kBorder);
    EXPECT_EQ(frame.at(15, 10), kFill);
    EXPECT_EQ(frame.at(15, 5), kBorder);  // top edge
    EXPECT_EQ(frame.at(24, 10), kBorder); // right edge: the last column inside
    EXPECT_EQ(frame.at(25, 10), kBlack);  // one past the rectangle
    EXPECT_EQ(frame.at(4, 10), kBlack);
    EXPECT_EQ(frame.at(5, 5), kBlack); // the corner is cut away
    // Somewhere along the curve a pixel is part border, part background.
    bool blended = false;
    for (int x = 5; x < 9; ++x) {
        Colour c = frame.at(x, 6);
        if (c.green > 0 && c.green < 250 && c.red < 10) blended = true;
    }
    EXPECT_TRUE(blended);
}

TEST(PainterTest, RectanglesOutsideTheFrameAreClipped) {
    FrameBuffer frame(10, 10);
    frame.fill(kBlack);
    fillRoundedRect(frame, Rect{-5, -5, 30, 30}, 4.0f, kFill, kBorder);
    EXPECT_EQ(frame.at(5, 5), kFill);
    fillRoundedRect(frame, Rect{INT32_MAX - 2, 0, INT32_MAX, 5}, 4.0f, kFill, kBorder);
    fillRoundedRect(frame, Rect{0, 0, -4, 8}, 4.0f, kBorder, kBorder);
    EXPECT_EQ(frame.at(0, 5), kFill);
}

TEST(PainterTest, TextMasksBlendByCoverageAndClipToTheirBox) {
    FrameBuffer frame(10, 4);
    frame.fill(kBlack);
    TextMask mask{4, 2, {255, 128, 0, 255, 255, 255, 255, 255}};
    drawText(frame, mask, Rect{0, 0, 3, 4}, Align::Left, Colour{200, 200, 200, 255});
    EXPECT_EQ(frame.at(0, 1), (Colour{200, 200, 200, 255})); // centred: rows 1 and 2
    EXPECT_EQ(frame.at(1, 1), (Colour{100, 100, 100, 255}));
    EXPECT_EQ(frame.at(2, 1), kBlack);
    EXPECT_EQ(frame.at(3, 1), kBlack); // beyond the box
    EXPECT_EQ(frame.at(0, 0), kBlack);
    drawText(frame, mask, Rect{4, 0, 6, 4}, Align::Centre, Colour{255, 255, 255, 255});
    EXPECT_EQ(frame.at(5, 2), (Colour{255, 255, 255, 255}));
    EXPECT_EQ(frame.at(4, 2), kBlack);
}

TEST(PpmTest, RoundTripAndRejectsBrokenImages) {
    FrameBuffer frame(3, 2);
    frame.fill(Colour{1, 2, 3, 255});
    frame.blend(2, 1, Colour{250, 0, 0, 255}, 1.0f);
    std::optional<FrameBuffer> back = decodePpm(encodePpm(frame));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(compareFrames(frame, *back, 0).differingPixels, 0u);
    EXPECT_EQ(back->at(2, 1), (Colour{250, 0, 0, 255}));
    std::string bytes = encodePpm(frame);
    EXPECT_FALSE(decodePpm(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(decodePpm("P6\n3 2\n65535\n"));
    EXPECT_FALSE(decodePpm("P6\n99999999 99999999\n255\n"));
    EXPECT_FALSE(decodePpm("P3\n1 1\n255\n0 0 0"));
    EXPECT_TRUE(decodePpm("P6 # comment\n1 1\n255\n\x01\x02\x03"));
}

// Golden images of a small window in each interactive state.
class GoldenPaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        font = openSystemFont();
        // Only a machine without the font may skip: with it installed, a
        // renderer that fails to open (SDL2_ttf not loaded) is a fault.
        if (!font && !std::filesystem::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"))
            GTEST_SKIP() << "no system font (fonts-dejavu-core) to draw text with";
        ASSERT_TRUE(font) << "the system font is installed but could not be opened";
        window = std::make_shared<Window>("golden", 240, 150);
        window->setLayout(std::make_shared<VerticalLayout>());
        label = std::make_shared<Widget>(WidgetKind::Label, "Count: 3");
        box = std::make_shared<Widget>(WidgetKind::TextBox, "Zarn");
        button = std::make_shared<Widget>(WidgetKind::Button, "Greet");
        window->add(label);
        window->add(box);
        window->add(button);
    }

    void expectMatchesGolden(const std::string& name) {
        FrameBuffer frame(window->width, window->height);
        paintWindow(*window, frame, font.get());
        std::string path = std::string(ZARN_TAVI_GOLDEN_DIR) + "/" + name + ".ppm";
        if (const char* update = std::getenv("ZARN_UPDATE_GOLDEN"); update && *update == '1') {
            ASSERT_TRUE(writePpm(frame, path));
            return;
        }
        std::optional<FrameBuffer> golden = readPpm(path);
        ASSERT_TRUE(golden.has_value()) << "missing golden image " << path;
        FrameDifference difference = compareFrames(frame, *golden, 24);
        // Anti-aliased glyph edges may differ slightly between font rasterisers.
        EXPECT_LE(difference.differingPixels, 40u)
            << name << ": largest channel difference " << difference.largestDifference
            << "; rerun with ZARN_UPDATE_GOLDEN=1 after checking the change";
    }

    std::unique_ptr<TextRenderer> font;
    std::shared_ptr<Window> window;
    std::shared_ptr<Widget> label, box, button;
};

TEST_F(GoldenPaintTest, Idle) { expectMatchesGolden("idle"); }

TEST_F(GoldenPaintTest, HoveredButton) {
    pointerMoved(*window, 30, 110);
    ASSERT_TRUE(button->hovered);
    expectMatchesGolden("hovered");
}

TEST_F(GoldenPaintTest, PressedButton) {
    pointerPressed(*window, 30, 110);
    ASSERT_TRUE(button->pressed);
    expectMatchesGolden("pressed");
}

TEST_F(GoldenPaintTest, FocusedTextBox) {
    pointerPressed(*window, 30, 70);
    pointerReleased(*window, 30, 70);
    ASSERT_EQ(window->focused, box);
    expectMatchesGolden("focused");
}

TEST_F(GoldenPaintTest, StatesDifferFromEachOther) {
    FrameBuffer idle(window->width, window->height);
    paintWindow(*window, idle, font.get());
    pointerMoved(*window, 30, 110);
    FrameBuffer hovered(window->width, window->height);
    paintWindow(*window, hovered, font.get());
    EXPECT_GT(compareFrames(idle, hovered, 0).differingPixels, 1000u);
    EXPECT_EQ(hovered.at(60, 108), palette::buttonHovered);
}

} // namespace
} // namespace zarn::tavi
