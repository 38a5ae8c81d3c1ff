#pragma once

#include "payload/PayloadHeader.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Embed command: writes a new 24-bit image into the output folder, named like the carrier,
// whose colour bytes carry the payload header, the stored document and filler.
void EmbedDocument(WorkflowContext& ctx);

// The text after "Error during embedding" for an engine failure: what could not be used,
// followed by the code without its sign. Codes of the 8-bit embedders come shifted by 20
// (uncompressed) or 40 (run-length encoded).
// A failed write is told in writeFailure's words ("the disk is full").
QString embedFailureDetail(int32_t status, const QString& carrierPath, const QString& documentPath,
                           const QString& outputPath, const QString& writeFailure = {});

// How the stored document is kept, as the packing left it: this, not the wish to encrypt, is
// what the header must say, or it would describe bytes other than those it is stored with.
StorageMode storageModeOf(const WindowModel& m);

} // namespace brindmar
