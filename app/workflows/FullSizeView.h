#pragma once

#include "payload/BmpThumbnail.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace brindmar {

// What the full-size viewer's layout starts from, all in twips: the image, the screen, the
// window's frame (its size less its inner size) and the scroll bars' thickness.
struct ViewerGeometry {
    int64_t imageWidth = 0;
    int64_t imageHeight = 0;
    int64_t screenWidth = 0;
    int64_t screenHeight = 0;
    int64_t frameWidth = 0;  // window width less the inner width
    int64_t frameHeight = 0; // window height less the inner height
    int64_t verticalBarWidth = 0;
    int64_t horizontalBarHeight = 0;
};

struct ScrollSteps {
    int64_t large = 0;
    int64_t small = 0;
};

struct ViewerLayout {
    int64_t visibleWidth = 0;
    int64_t visibleHeight = 0;
    int64_t windowLeft = 0;
    int64_t windowTop = 0;
    int64_t windowWidth = 0;
    int64_t windowHeight = 0;
    std::optional<ScrollSteps> horizontalBar;
    std::optional<ScrollSteps> verticalBar;
    bool corner = false; // both bars: the corner between them is filled
};

// The window as large as the image but never larger than the screen, with a scroll bar on each
// side the image does not fit; centred on every side without a bar. A vertical bar that only the
// horizontal one made necessary narrows the visible width too, so every column can be scrolled
// into view.
ViewerLayout layoutViewer(const ViewerGeometry& g);

// Where the image's left (or top) edge goes for a scroll position of 0 to 1000.
int64_t scrolledOffset(int position, int64_t imageLength, int64_t visibleLength);

// The crop rectangle over the full-size image, 20 twips outside the crop on every side, relative
// to the image's top left corner.
struct CropOutline {
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
};
CropOutline cropOutline(const CropRect& crop, int64_t imageWidth, int64_t imageHeight);

// The chosen BMP decoded pixel for pixel for the full-size viewer; null when it cannot be shown
// (the user has been told why).
std::shared_ptr<const ThumbnailImage> LoadFullSizePicture(WorkflowContext& ctx,
                                                          const QString& path);

} // namespace brindmar
