#include "WorkflowHarness.h"
#include "workflows/BmpInformation.h"
#include "workflows/CropChoice.h"
#include "workflows/FullSizeView.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

// Screen 19200 x 14400 twips (1280 x 960 at 15 twips a pixel), frame 120 x 450, bars 255 thick.
ViewerGeometry onScreen(int64_t imageWidth, int64_t imageHeight) {
    return {imageWidth, imageHeight, 19200, 14400, 120, 450, 255, 255};
}

struct LayoutCase {
    const char* name;
    ViewerGeometry geometry;
    ViewerLayout expected;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, FitsTheImageOrTheScreen) {
    const ViewerLayout l = layoutViewer(GetParam().geometry);
    const ViewerLayout& e = GetParam().expected;
    EXPECT_EQ(std::tie(l.visibleWidth, l.visibleHeight, l.windowLeft, l.windowTop, l.windowWidth,
                       l.windowHeight, l.corner),
              std::tie(e.visibleWidth, e.visibleHeight, e.windowLeft, e.windowTop, e.windowWidth,
                       e.windowHeight, e.corner));
    EXPECT_EQ(l.horizontalBar.has_value(), e.horizontalBar.has_value());
    EXPECT_EQ(l.verticalBar.has_value(), e.verticalBar.has_value());
    if (l.horizontalBar && e.horizontalBar) {
        EXPECT_EQ(l.horizontalBar->large, e.horizontalBar->large);
        EXPECT_EQ(l.horizontalBar->small, e.horizontalBar->small);
    }
    // Every column and row can be scrolled into view: at position 1000 the far edge of the
    // image meets the far edge of what is visible.
    const ViewerGeometry& g = GetParam().geometry;
    EXPECT_EQ(scrolledOffset(1000, g.imageWidth, l.visibleWidth) + g.imageWidth, l.visibleWidth);
    EXPECT_EQ(scrolledOffset(1000, g.imageHeight, l.visibleHeight) + g.imageHeight,
              l.visibleHeight);
    EXPECT_LE(l.visibleWidth + (l.verticalBar ? g.verticalBarWidth : 0) + g.frameWidth,
              g.screenWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Layout,
    ::testing::Values(
        LayoutCase{"smaller than the screen",
                   onScreen(6000, 4500),
                   {6000, 4500, 6540, 4725, 6120, 4950, std::nullopt, std::nullopt, false}},
        LayoutCase{"wider than the screen",
                   onScreen(30000, 6000),
                   {19080, 6000, 0, 3847, 19200, 6705, ScrollSteps{953, 95}, std::nullopt, false}},
        LayoutCase{"larger both ways",
                   onScreen(30000, 30000),
                   {18825, 13695, 0, 0, 19200, 14400, ScrollSteps{941, 94}, ScrollSteps{684, 68},
                    true}},
        // Fits in height only without the horizontal bar: the vertical bar then takes its
        // width from what is visible.
        LayoutCase{"vertical bar needed only after the horizontal",
                   onScreen(30000, 13800),
                   {18825, 13695, 0, 0, 19200, 14400, ScrollSteps{941, 94}, ScrollSteps{1488, 148},
                    true}}),
    apptest::RowName());

TEST(CropOutlineOverTheImage, SitsTwentyTwipsOutside) {
    const CropOutline o = cropOutline(CropRect{0.1f, 0.8f, 0.1f, 0.8f}, 1500, 1500);
    EXPECT_EQ(std::tie(o.x, o.y, o.width, o.height), std::make_tuple(130, 130, 1240, 1240));
    EXPECT_EQ(scrolledOffset(500, 3000, 1000), -1000);
}

struct PlaceCase {
    const char* name;
    uint8_t mode;
    int64_t colourBytes;
    int64_t payload;
    CropRect expected;
};

TEST(PlaceCropFrame, ModesAndPayloads) {
    const PlaceCase cases[] = {
        {"centre at a quarter", 1, 40000, 2500, {0.25f, 0.5f, 0.25f, 0.5f}},
        {"right strip at 0.3", 12, 40000, 3000, {0.7f, 0.3f, 0, 1}},
        {"payload beyond the capacity", 1, 40000, 10001, {0, 1, 0, 1}},
        {"no crop", 0, 40000, 2500, {0, 1, 0, 1}},
    };
    for (const PlaceCase& c : cases) {
        const CropRect r = cropRectangleFor(c.mode, c.colourBytes, c.payload);
        EXPECT_NEAR(r.left, c.expected.left, 1e-6) << c.name;
        EXPECT_NEAR(r.width, c.expected.width, 1e-6) << c.name;
        EXPECT_NEAR(r.top, c.expected.top, 1e-6) << c.name;
        EXPECT_NEAR(r.height, c.expected.height, 1e-6) << c.name;
    }
}

TEST(BmpInformation, ListsTheHeaderOrSaysWhyNot) {
    apptest::Harness h;
    bmptest::Bytes image = bmptest::make24(100, 50, bmptest::Bytes(100 * 50 * 3, 7));
    apptest::put32(image, 38, 2835);
    apptest::put32(image, 42, uint32_t(-5));
    const auto values = ReadBmpInformation(h.ctx, h.file("a.bmp", image));
    ASSERT_TRUE(values);
    EXPECT_EQ(QStringList(values->begin(), values->end()),
              QStringList({"BM", "15054", "54", "40", "100", "50", "1", "24", "0", "15000",
                           "2835", "-5", "0", "0"}));
    EXPECT_TRUE(h.ui.events().empty());

    const QString mz = h.file("mz.bmp", {'M', 'Z', 0, 0});
    EXPECT_FALSE(ReadBmpInformation(h.ctx, mz));
    EXPECT_FALSE(ReadBmpInformation(h.ctx, h.dir.path("gone.bmp")));
    EXPECT_EQ(h.ui.transcript(),
              QStringList({"beep 2", "message Exclamation|BMP file|" + mz + "\n - cannot be read",
                           "beep 2",
                           "message Exclamation|BMP file|" + h.dir.path("gone.bmp") +
                               "\n - cannot be opened"}));
}

} // namespace
