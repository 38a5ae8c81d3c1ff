#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

// The crop rectangle for the current crop mode, payload and carrier, as fractions of the image.
CropRect cropRectangleFor(uint8_t cropMode, int64_t carrierColourBytes, int64_t payloadLength);

// Computes the rectangle for the crop mode and shows the frame around it.
void PlaceCropFrame(WindowModel& model);

// Hides the frame with every pointer mark of it: a mark left over a hidden frame would let the
// pointer take hold of it and the full-size viewer draw it.
void hideCropFrame(WorkflowContext& ctx);

// The sign over the thumbnail that says the document does not fit.
void updateNoGoSign(WindowModel& model);

// A crop button or the crop menu item of the same index.
void ChooseCrop(WorkflowContext& ctx, int index);

} // namespace brindmar
