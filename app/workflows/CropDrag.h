#pragma once

#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The part of the crop frame under the pointer, as the pointer marks keep it (bits 1 to 3).
namespace hot {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Inside = 2;
inline constexpr uint8_t LeftEdge = 4;
inline constexpr uint8_t RightEdge = 6;
inline constexpr uint8_t TopEdge = 8;
inline constexpr uint8_t BottomEdge = 10;
inline constexpr uint8_t Mask = 14;
} // namespace hot

// One step of a drag: the rectangle moved (inside) or one edge pulled by dx, dy (fractions of
// the image), the area kept while an edge moves. Whatever the steps, the rectangle stays within
// the image with a width and height above 0.
CropRect dragStep(CropRect rect, uint8_t area, double dx, double dy);

// The mouse over the thumbnail, at x, y in twips from its top left corner. A press on a hot part
// of the frame starts a drag; moves find the hot part or drag; a release ends the drag.
void ThumbnailMouseDown(WorkflowContext& ctx, bool leftButton, double x, double y);
void ThumbnailMouseMove(WorkflowContext& ctx, double x, double y);
void ThumbnailMouseUp(WorkflowContext& ctx, bool leftButton);

} // namespace brindmar
