#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

// The document command: a file dialog, the space check for the work files, then packing.
void ChooseDocument(WorkflowContext& ctx);

// The output-folder command: the folder of the current mode, embed or extract.
void ChooseOutputFolder(WorkflowContext& ctx);

} // namespace brindmar
