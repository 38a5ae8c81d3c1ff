#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

// The document command: a file dialog, the space check for the work files, then packing.
void ChooseDocument(WorkflowContext& ctx);

// Under Stealth, a document above the recommended size for the carrier is named as such while
// the choice can still be undone: the user keeps it, or leaves no document chosen. The window
// asks it after each choice; a terminal says it once the image is made.
void ConfirmStealthDocument(WorkflowContext& ctx);

// The output-folder command: the folder of the current mode, embed or extract.
void ChooseOutputFolder(WorkflowContext& ctx);

} // namespace brindmar
