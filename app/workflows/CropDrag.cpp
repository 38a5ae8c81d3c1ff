#include "workflows/CropDrag.h"

#include "workflows/WindowReset.h"

#include <algorithm>
#include <cmath>

namespace brindmar {

namespace {

// How far outside an edge the pointer still takes hold of it.
constexpr double kEdgeReach = 40;
// The step by which an edge pulled across the opposite one shrinks the rectangle.
constexpr double kShrinkStep = 0.01;

// One side of the rectangle: its start and length along the axis being pulled, and the same
// along the other axis, which follows so that the area stays.
struct Span {
    double start;
    double length;
};

// The near edge (left or top) pulled by d.
void pullNearEdge(Span& along, Span& across, double d) {
    const double area = along.length * across.length;
    const double end = along.start + along.length;
    if (d >= 0) {
        // Across the opposite edge the pull shrinks by a small step, never to nothing.
        if (d >= along.length) {
            d = std::min(kShrinkStep, along.length / 2);
        }
        along.start += d;
        along.length -= d;
        across.length = area / along.length;
        if (across.length > 1) {
            across.length = 1;
            along.length = area;
            along.start = end - area;
        }
    } else {
        const double grow = std::min(-d, along.start);
        along.start -= grow;
        along.length += grow;
        across.length = area / along.length;
    }
}

// The far edge (right or bottom) pulled by d.
void pullFarEdge(Span& along, Span& across, double d) {
    const double area = along.length * across.length;
    if (d <= 0) {
        // Across the opposite edge a sliver of the step's size is left.
        const double shrink = std::min(-d, along.length - std::min(kShrinkStep, along.length));
        along.length -= shrink;
        across.length = area / along.length;
        if (across.length > 1) {
            across.length = 1;
            along.length = area;
        }
    } else {
        along.length = std::min(along.length + d, 1 - along.start);
        across.length = area / along.length;
    }
}

// Keeps the centre of the other axis, within the image.
void recentre(Span& span, double centre) {
    span.start = std::clamp(centre - span.length / 2, 0.0, 1 - span.length);
}

float fraction(double value) {
    return static_cast<float>(value);
}

// Back to single precision without leaving the image: a rounded start may otherwise reach a
// hair past the far edge.
void settle(float& start, float& length) {
    length = std::clamp(length, 1e-6f, 1.0f);
    start = std::clamp(start, 0.0f, 1.0f - length);
    while (start > 0 && start + length > 1.0f) {
        start = std::nextafter(start, 0.0f);
    }
}

int32_t whole(double value) {
    return static_cast<int32_t>(std::trunc(value));
}

int16_t anchor(double value) {
    return static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

MousePointer pointerFor(uint8_t area) {
    switch (area) {
    case hot::Inside:
        return MousePointer::SizeAll;
    case hot::LeftEdge:
    case hot::RightEdge:
        return MousePointer::SizeHorizontal;
    default:
        return MousePointer::SizeVertical;
    }
}

uint8_t hotAreaAt(const WindowModel& m, double x, double y) {
    const WindowDisplay& shown = m.display;
    const CropRect& r = m.crop;
    const int32_t left = whole(shown.thumbnailWidth * r.left);
    const int32_t right = whole(shown.thumbnailWidth * (double{r.left} + r.width));
    const int32_t top = whole(shown.thumbnailHeight * r.top);
    const int32_t bottom = whole(shown.thumbnailHeight * (double{r.top} + r.height));
    if (x >= left && x <= right && y >= top && y <= bottom) {
        return hot::Inside;
    }
    if (y > top && y < bottom) {
        if (x > left - kEdgeReach && x < left) {
            return hot::LeftEdge;
        }
        if (x > right && x < right + kEdgeReach) {
            return hot::RightEdge;
        }
    }
    if (x > left && x < right) {
        if (y > top - kEdgeReach && y < top) {
            return hot::TopEdge;
        }
        if (y > bottom && y < bottom + kEdgeReach) {
            return hot::BottomEdge;
        }
    }
    return hot::None;
}

} // namespace

CropRect dragStep(CropRect rect, uint8_t area, double dx, double dy) {
    Span x{rect.left, rect.width};
    Span y{rect.top, rect.height};
    switch (area) {
    case hot::Inside:
        x.start = std::clamp(x.start + dx, 0.0, 1 - x.length);
        y.start = std::clamp(y.start + dy, 0.0, 1 - y.length);
        break;
    case hot::LeftEdge:
    case hot::RightEdge: {
        const double centre = y.start + y.length / 2;
        if (area == hot::LeftEdge) {
            pullNearEdge(x, y, dx);
        } else {
            pullFarEdge(x, y, dx);
        }
        recentre(y, centre);
        break;
    }
    case hot::TopEdge:
    case hot::BottomEdge: {
        const double centre = x.start + x.length / 2;
        if (area == hot::TopEdge) {
            pullNearEdge(y, x, dy);
        } else {
            pullFarEdge(y, x, dy);
        }
        recentre(x, centre);
        break;
    }
    default:
        return rect;
    }
    rect = CropRect{fraction(x.start), fraction(x.length), fraction(y.start), fraction(y.length)};
    settle(rect.left, rect.width);
    settle(rect.top, rect.height);
    return rect;
}

void ThumbnailMouseDown(WorkflowContext& ctx, bool leftButton, double x, double y) {
    WindowModel& m = ctx.model;
    if (leftButton && (m.pointerMarks & pointer::CropShape) != 0) {
        m.pointerMarks |= pointer::Dragging | pointer::Adjusted;
        m.dragAnchorX = anchor(x);
        m.dragAnchorY = anchor(y);
    }
}

void ThumbnailMouseUp(WorkflowContext& ctx, bool leftButton) {
    if (leftButton) {
        ctx.model.pointerMarks &= static_cast<uint8_t>(~pointer::Dragging);
    }
}

void ThumbnailMouseMove(WorkflowContext& ctx, double x, double y) {
    WindowModel& m = ctx.model;
    const WindowDisplay& shown = m.display;
    x = std::round(x);
    y = std::round(y);
    if ((m.pointerMarks & pointer::Dragging) != 0) {
        const uint8_t area = m.pointerMarks & hot::Mask;
        if (area == hot::None || area > hot::BottomEdge || shown.thumbnailWidth <= 0 ||
            shown.thumbnailHeight <= 0) {
            normalPointer(ctx);
            m.pointerMarks &= pointer::FrameShown;
            ctx.render();
            return;
        }
        m.crop = dragStep(m.crop, area, (x - m.dragAnchorX) / shown.thumbnailWidth,
                          (y - m.dragAnchorY) / shown.thumbnailHeight);
        m.dragAnchorX = anchor(x);
        m.dragAnchorY = anchor(y);
        ctx.render();
        return;
    }
    if ((m.pointerMarks & pointer::FrameShown) == 0 || m.cropMode == 0) {
        if ((m.pointerMarks & pointer::CropShape) != 0) {
            normalPointer(ctx);
            ctx.render();
        }
        return;
    }
    const uint8_t area = hotAreaAt(m, x, y);
    const uint8_t before = m.pointerMarks;
    if (area == hot::None) {
        if ((before & pointer::CropShape) != 0) {
            normalPointer(ctx);
        }
        m.pointerMarks &= pointer::FrameShown | pointer::Adjusted;
    } else {
        if ((before & (pointer::CropShape | hot::Mask)) != (pointer::CropShape | area)) {
            ctx.ui.setMousePointer(pointerFor(area));
        }
        m.pointerMarks = static_cast<uint8_t>((before & (pointer::FrameShown | pointer::Adjusted)) |
                                              pointer::CropShape | area);
    }
}

} // namespace brindmar
