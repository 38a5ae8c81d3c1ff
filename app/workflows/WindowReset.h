#pragma once

#include "util/DrawFault.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// Brings the window back to its empty state after an operation, an error, or as part of the
// start values; the document just embedded stays on offer to the Wipe command.
void WindowReset(WorkflowContext& ctx);

// Clears the crop pointer marks and shows the default pointer.
void normalPointer(WorkflowContext& ctx);

// Tells the user why a file or folder choice gave nothing usable; false when the user merely
// cancelled or a choice was made. Status 65 and 66 also empty the document box.
bool reportSelectionFailure(WorkflowContext& ctx, uint8_t status, const QString& path);

// A picture that could not be decoded to be shown: has the front end tell it for the file the
// user knows (path), with the decoder's reason where it gave one.
void concludeNotShown(WorkflowContext& ctx, const QString& path, const DrawFailure& why);

// The refusal of a code that cannot be used (too short or too long once trimmed, or holding
// characters the header cannot keep) before a command that needs a valid one. True when the
// code may be used.
bool codeCheck(WorkflowContext& ctx);

} // namespace brindmar
