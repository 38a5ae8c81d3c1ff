#pragma once

#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Wipe command: lets the user pick any file (offering the document just embedded), asks for
// confirmation, overwrites and deletes it, and says how it went.
void WipeCommand(WorkflowContext& ctx);

// Overwrites the file with zeros and deletes it, showing the wipe caption meanwhile; the window
// is reset once the file is found. Results as the wipe operation gives them.
int16_t WipeAndDeleteFile(WorkflowContext& ctx, const QString& path, uint8_t mode);

} // namespace brindmar
