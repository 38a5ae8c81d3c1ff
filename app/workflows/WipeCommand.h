#pragma once

#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Wipe command: lets the user pick any file (offering the document just embedded), asks for
// confirmation, overwrites and deletes it, and says how it went.
Outcome WipeCommand(WorkflowContext& ctx);

// The work files of the private folder, wiped as a run of the program ends: the work archive,
// the copy under the work name, the uncompressed carrier, and whatever an extraction unpacked.
void WipeWorkFiles(WorkflowContext& ctx);

// A work file a run is done with: wiped quietly, as the others are, and deleted even where the
// wipe could not write.
void DiscardWorkFile(WorkflowContext& ctx, const QString& path);

// Overwrites the file with zeros and deletes it, showing the wipe caption meanwhile; the window
// is reset once the file is found. Results as the wipe operation gives them.
int16_t WipeAndDeleteFile(WorkflowContext& ctx, const QString& path, uint8_t mode);

} // namespace brindmar
