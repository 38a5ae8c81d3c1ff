#include "workflows/CropChoice.h"

#include "workflows/WindowReset.h"

#include <cmath>

namespace brindmar {

CropRect cropRectangleFor(uint8_t cropMode, int64_t carrierColourBytes, int64_t payloadLength) {
    const int64_t capacity = std::llround(static_cast<double>(carrierColourBytes) / 4.0);
    CropRect rect;
    if (cropMode == 0 || cropMode >= kCropModeCount || capacity <= payloadLength ||
        payloadLength < 0) {
        return rect;
    }
    const float r =
        static_cast<float>(static_cast<double>(payloadLength) / static_cast<double>(capacity));
    if (cropMode <= 9) {
        const float s = std::sqrt(r);
        rect.width = s;
        rect.height = s;
        rect.left = cropMode <= 3 ? (1 - s) / 2 : cropMode <= 6 ? 0.0f : 1 - s;
        switch (cropMode) {
        case 3:
        case 4:
        case 7:
            rect.top = 0;
            break;
        case 1:
        case 5:
        case 8:
            rect.top = (1 - s) / 2;
            break;
        default:
            rect.top = 1 - s;
            break;
        }
    } else if (cropMode <= 12) {
        rect.width = r;
        rect.left = cropMode == 10 ? 0.0f : cropMode == 11 ? (1 - r) / 2 : 1 - r;
    } else {
        rect.height = r;
        rect.top = cropMode == 13 ? 0.0f : cropMode == 14 ? (1 - r) / 2 : 1 - r;
    }
    return rect;
}

void PlaceCropFrame(WindowModel& model) {
    if (model.stealthWanted) {
        // A stealth image keeps the carrier's size: there is nothing to frame.
        model.display.cropFrameVisible = false;
        model.pointerMarks = 0;
        return;
    }
    model.crop = cropRectangleFor(model.cropMode, model.carrierColourBytes, model.payloadLength);
    model.display.cropFrameVisible = true;
    model.pointerMarks = pointer::FrameShown;
}

void hideCropFrame(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    if ((m.pointerMarks & pointer::CropShape) != 0) {
        ctx.ui.setMousePointer(MousePointer::Default);
    }
    m.display.cropFrameVisible = false;
    m.pointerMarks = 0;
}

void updateNoGoSign(WindowModel& model) {
    constexpr uint8_t fitsNowhere = state::DocumentChosen | state::BmpChosen | state::BmpUsable;
    model.display.noGoVisible = (model.windowState & 31) == fitsNowhere;
}

void ChooseCrop(WorkflowContext& ctx, int index) {
    if (index < 0 || index >= kCropModeCount) {
        return;
    }
    WindowModel& m = ctx.model;
    if ((m.pointerMarks & pointer::CropShape) != 0) {
        normalPointer(ctx);
    }
    m.display.progress = 0;
    m.cropMode = static_cast<uint8_t>(index);
    if ((m.windowState & (state::PayloadFound | state::EmbedPossible)) == state::EmbedPossible &&
        !m.stealthWanted) {
        PlaceCropFrame(m);
    } else {
        hideCropFrame(ctx);
    }
    m.pointerMarks &= pointer::FrameShown;
    ctx.valueChanged();
    ctx.render();
}

} // namespace brindmar
