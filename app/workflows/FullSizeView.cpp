#include "workflows/FullSizeView.h"

#include "workflows/WindowReset.h"

#include <algorithm>
#include <cmath>

namespace brindmar {

namespace {

constexpr int kScrollRange = 1000;
constexpr double kLargeStepTwips = 1500;

ScrollSteps stepsFor(int64_t imageLength, int64_t visibleLength) {
    ScrollSteps steps;
    if (imageLength > 0 && visibleLength > 0) {
        steps.large = static_cast<int64_t>(
            std::trunc(kLargeStepTwips / (double(imageLength) / double(visibleLength))));
    }
    steps.small = steps.large / 10;
    return steps;
}

} // namespace

ViewerLayout layoutViewer(const ViewerGeometry& g) {
    ViewerLayout l;
    int64_t extraH = g.frameWidth;
    int64_t extraV = g.frameHeight;
    bool vertical = g.screenHeight - extraV < g.imageHeight;
    if (vertical) {
        extraH += g.verticalBarWidth;
    } else {
        l.visibleHeight = g.imageHeight;
    }
    const bool horizontal = g.screenWidth - extraH < g.imageWidth;
    if (horizontal) {
        l.visibleWidth = g.screenWidth - extraH;
        l.windowWidth = g.screenWidth;
        extraV += g.horizontalBarHeight;
    } else {
        l.visibleWidth = g.imageWidth;
        l.windowWidth = l.visibleWidth + extraH;
    }
    if (g.screenHeight - extraV < g.imageHeight) {
        if (!vertical) {
            // Only the horizontal bar made the vertical one necessary: it takes its width from
            // what is visible, or it would cover the image's last columns for good.
            vertical = true;
            l.visibleWidth -= g.verticalBarWidth;
        }
        l.visibleHeight = g.screenHeight - extraV;
        l.windowHeight = g.screenHeight;
    } else {
        l.windowHeight = l.visibleHeight + extraV;
    }
    if (horizontal) {
        l.horizontalBar = stepsFor(g.imageWidth, l.visibleWidth);
        l.windowLeft = 0;
    } else {
        l.windowLeft = (g.screenWidth - l.windowWidth) / 2;
    }
    if (vertical) {
        l.verticalBar = stepsFor(g.imageHeight, l.visibleHeight);
        l.corner = horizontal;
        l.windowTop = 0;
    } else {
        l.windowTop = (g.screenHeight - l.windowHeight) / 2;
    }
    return l;
}

int64_t scrolledOffset(int position, int64_t imageLength, int64_t visibleLength) {
    const int64_t hidden = std::max<int64_t>(imageLength - visibleLength, 0);
    return -static_cast<int64_t>(std::trunc(double(position) / kScrollRange * double(hidden)));
}

CropOutline cropOutline(const CropRect& crop, int64_t imageWidth, int64_t imageHeight) {
    const auto part = [](int64_t length, float share) {
        return static_cast<int64_t>(std::floor(double(length) * share));
    };
    return {part(imageWidth, crop.left) - 20, part(imageHeight, crop.top) - 20,
            part(imageWidth, crop.width) + 40, part(imageHeight, crop.height) + 40};
}

std::shared_ptr<const ThumbnailImage> LoadFullSizePicture(WorkflowContext& ctx,
                                                          const QString& path) {
    DrawFailure error;
    std::optional<ThumbnailImage> picture = decodeBmpFullSize(path, &error);
    if (!picture) {
        ctx.ui.setMousePointer(MousePointer::Default);
        concludeNotShown(ctx, ctx.model.decodedPicture.isEmpty() ? path : ctx.model.decodedPicture,
                         error);
        return nullptr;
    }
    return std::make_shared<const ThumbnailImage>(std::move(*picture));
}

} // namespace brindmar
