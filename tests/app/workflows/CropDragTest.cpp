#include "WorkflowHarness.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CropChoice.h"
#include "workflows/CropDrag.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"

#include <QDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

struct DragCase {
    const char* name;
    CropRect before;
    uint8_t area;
    double dx, dy;
    CropRect after;
};

class Drag : public ::testing::TestWithParam<DragCase> {};

TEST_P(Drag, StepKeepsTheAreaWithinTheImage) {
    const DragCase& c = GetParam();
    const CropRect r = dragStep(c.before, c.area, c.dx, c.dy);
    EXPECT_NEAR(r.left, c.after.left, 1e-5);
    EXPECT_NEAR(r.width, c.after.width, 1e-5);
    EXPECT_NEAR(r.top, c.after.top, 1e-5);
    EXPECT_NEAR(r.height, c.after.height, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Drag,
    ::testing::Values(
        DragCase{"left edge grows", {0.25f, 0.5f, 0.25f, 0.5f}, hot::LeftEdge, -0.25, 0,
                 {0, 0.75f, 1 / 3.f, 1 / 3.f}},
        DragCase{"left edge stops at the image", {0.1f, 0.5f, 0.25f, 0.5f}, hot::LeftEdge, -0.3, 0,
                 {0, 0.6f, 0.2916667f, 0.4166667f}},
        DragCase{"left edge across the right shrinks a step", {0.2f, 0.4f, 0.3f, 0.4f},
                 hot::LeftEdge, 0.5, 0, {0.21f, 0.39f, 0.294872f, 0.410256f}},
        DragCase{"right edge across the left leaves a sliver, then a full strip",
                 {0.2f, 0.4f, 0.4f, 0.2f}, hot::RightEdge, -0.6, 0, {0.2f, 0.08f, 0, 1}},
        DragCase{"right edge grows to the image edge", {0.5f, 0.2f, 0.4f, 0.2f}, hot::RightEdge,
                 0.6, 0, {0.5f, 0.5f, 0.46f, 0.08f}},
        DragCase{"top edge grows", {0.25f, 0.5f, 0.25f, 0.5f}, hot::TopEdge, 0, -0.25,
                 {1 / 3.f, 1 / 3.f, 0, 0.75f}},
        DragCase{"bottom edge across the top", {0.4f, 0.2f, 0.2f, 0.4f}, hot::BottomEdge, 0, -0.6,
                 {0, 1, 0.2f, 0.08f}},
        DragCase{"moved beyond the corner stops there", {0.2f, 0.3f, 0.2f, 0.3f}, hot::Inside, 2,
                 -2, {0.7f, 0.3f, 0, 0.3f}}),
    apptest::RowName());

TEST(Drag, ThousandsOfRandomDragsKeepTheRectangleInsideAndItsArea) {
    std::mt19937 random(99);
    std::uniform_real_distribution<double> step(-0.7, 0.7);
    const uint8_t areas[] = {hot::Inside, hot::LeftEdge, hot::RightEdge, hot::TopEdge,
                             hot::BottomEdge};
    for (int sequence = 0; sequence < 2000; ++sequence) {
        const float side = std::uniform_real_distribution<float>(0.001f, 1)(random);
        CropRect r{(1 - side) / 2, side, (1 - side) / 2, side};
        const double area = double{side} * side;
        for (int i = 0; i < 40; ++i) {
            const double scale = random() % 4 == 0 ? 0.01 : 1;
            r = dragStep(r, areas[random() % 5], step(random) * scale, step(random) * scale);
            ASSERT_GE(r.left, 0);
            ASSERT_GE(r.top, 0);
            ASSERT_GT(r.width, 0);
            ASSERT_GT(r.height, 0);
            ASSERT_LE(r.left + r.width, 1.0f);
            ASSERT_LE(r.top + r.height, 1.0f);
            ASSERT_NEAR(double{r.width} * r.height, area, area * 1e-3 + 1e-6);
        }
    }
}

// The mouse over a 2400 x 1800 twip thumbnail of a 240 x 180 carrier, then an embed of what was
// drawn.
TEST(Drag, TheDrawnRectangleIsWhatTheEmbedCuts) {
    apptest::Harness h;
    const QString out = h.dir.folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    h.dir.write(QStringLiteral("doc.bin"), std::string(3000, 'x') + std::string(10, 'y'));
    bmptest::Bytes pixels(240 * 180 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7);
    }
    const bmptest::Bytes carrier = bmptest::make24(240, 180, pixels);
    h.dir.write(QStringLiteral("carrier.bmp"), carrier);
    h.model.embedOutputFolder = out;
    h.model.cropMode = 1;
    h.ui.queueFileChoice(h.dir.path(QStringLiteral("doc.bin")));
    ChooseDocument(h.ctx);
    h.ui.queueFileChoice(h.dir.path(QStringLiteral("carrier.bmp")));
    ChooseBmp(h.ctx);
    ASSERT_TRUE(h.model.display.cropFrameVisible);
    h.model.display.thumbnailWidth = 2400;
    h.model.display.thumbnailHeight = 1800;

    const CropRect placed = h.model.crop;
    const double cx = 2400 * (placed.left + placed.width / 2);
    const double cy = 1800 * (placed.top + placed.height / 2);
    ThumbnailMouseMove(h.ctx, cx, cy);
    EXPECT_EQ(h.ui.mousePointer(), MousePointer::SizeAll);
    ThumbnailMouseDown(h.ctx, true, cx, cy);
    ThumbnailMouseMove(h.ctx, cx - 5000, cy - 5000); // into the top left corner
    ThumbnailMouseUp(h.ctx, true);
    const double right = 2400 * double{h.model.crop.width};
    ThumbnailMouseMove(h.ctx, right + 20, 100); // just right of the right edge
    EXPECT_EQ(h.ui.mousePointer(), MousePointer::SizeHorizontal);
    ThumbnailMouseDown(h.ctx, true, right + 20, 100);
    ThumbnailMouseMove(h.ctx, right + 620, 100); // a quarter of the width further
    ThumbnailMouseUp(h.ctx, true);
    const CropRect drawn = h.model.crop;
    EXPECT_EQ(drawn.left, 0);
    EXPECT_NEAR(drawn.width, placed.width + 0.25, 1e-4);
    EXPECT_NEAR(double{drawn.width} * drawn.height, double{placed.width} * placed.height, 1e-5);

    h.ui.clear();
    EmbedDocument(h.ctx);
    ASSERT_EQ(h.ui.messages().size(), 1u);
    const bmptest::Bytes made = bmptest::readFile((out + "carrier.bmp").toStdString());
    const int32_t width = made[18] | made[19] << 8;
    const int32_t height = made[22] | made[23] << 8;
    // The drawn size, less the slack the embed shrinks away; its corner where it was drawn:
    // columns from the left edge, rows from the bottom edge (the shrink takes rows off the top).
    EXPECT_LE(width, int32_t(drawn.width * 240) + 1);
    EXPECT_GE(width, int32_t(drawn.width * 240) - 3);
    EXPECT_LE(height, int32_t(drawn.height * 180) + 1);
    EXPECT_GE(3 * width * height, 4 * h.model.payloadLength);
    const int32_t bottom = std::min(
        int32_t(std::floor(180 * (1.0 - drawn.top - double{drawn.height}))), 180 - height);
    // Each colour byte moves to a near value with the payload's low bits: at most 3 away.
    for (int i = 0; i < width * 3; ++i) {
        ASSERT_LE(std::abs(made[54 + i] - carrier[54 + size_t(bottom) * 720 + i]), 3) << i;
    }
}

// Bytes that do not compress: the document packs to its own size.
bmptest::Bytes noise(size_t length) {
    std::mt19937 random(5);
    bmptest::Bytes bytes(length);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

// Whatever hides the frame after a drag leaves no mark of it behind: no sizing pointer, no drag
// over an invisible frame, no rectangle for the full-size viewer to draw.
struct HideCase {
    const char* name;
    std::function<void(apptest::Harness&)> hide;
};

class HiddenFrame : public ::testing::TestWithParam<HideCase> {};

TEST_P(HiddenFrame, KeepsNoPointerMark) {
    apptest::Harness h;
    h.model.cropMode = 1;
    h.ui.queueFileChoice(h.file(QStringLiteral("doc.bin"), noise(1000)));
    ChooseDocument(h.ctx);
    h.ui.queueFileChoice(h.file(QStringLiteral("carrier.bmp"),
                                bmptest::make24(240, 180, bmptest::Bytes(240 * 180 * 3, 0x60))));
    ChooseBmp(h.ctx);
    ASSERT_TRUE(h.model.display.cropFrameVisible);
    const WindowDisplay& shown = h.model.display;
    const CropRect& placed = h.model.crop;
    const double cx = shown.thumbnailWidth * (placed.left + placed.width / 2);
    const double cy = shown.thumbnailHeight * (placed.top + placed.height / 2);
    ThumbnailMouseMove(h.ctx, cx, cy);
    ThumbnailMouseDown(h.ctx, true, cx, cy);
    ThumbnailMouseMove(h.ctx, cx + 60, cy + 60);
    ThumbnailMouseUp(h.ctx, true);
    ASSERT_NE(h.model.pointerMarks & pointer::Adjusted, 0);

    GetParam().hide(h);

    EXPECT_FALSE(h.model.display.cropFrameVisible);
    EXPECT_EQ(h.model.pointerMarks, 0);
    EXPECT_EQ(h.ui.mousePointer(), MousePointer::Default);
    ThumbnailMouseMove(h.ctx, cx + 60, cy + 60);
    ThumbnailMouseDown(h.ctx, true, cx + 60, cy + 60);
    EXPECT_EQ(h.model.pointerMarks, 0);
    EXPECT_EQ(h.ui.mousePointer(), MousePointer::Default);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, HiddenFrame,
    ::testing::Values(
        HideCase{"a carrier that cannot be used",
                 [](apptest::Harness& h) {
                     h.ui.queueFileChoice(h.file(QStringLiteral("broken.bmp"), {'B', 'M', 1, 2}));
                     ChooseBmp(h.ctx);
                 }},
        HideCase{"a carrier the document does not fit",
                 [](apptest::Harness& h) {
                     h.ui.queueFileChoice(
                         h.file(QStringLiteral("small.bmp"),
                                bmptest::make24(30, 30, bmptest::Bytes(30 * 30 * 3, 0x60))));
                     ChooseBmp(h.ctx);
                 }},
        HideCase{"a document that does not fit",
                 [](apptest::Harness& h) {
                     h.ui.queueFileChoice(h.file(QStringLiteral("noise.bin"), noise(40000)));
                     ChooseDocument(h.ctx);
                 }}),
    apptest::RowName());

} // namespace
