#pragma once

#include "payload/CarrierNormalizer.h"
#include "payload/PayloadHeader.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Embed command: writes a new 24-bit image into the output folder, named like the carrier,
// whose colour bytes carry the payload header, the stored document and filler.
Outcome EmbedDocument(WorkflowContext& ctx);

// The text after "Error during embedding" for an engine failure: what could not be used,
// followed by the code without its sign. Codes of the 8-bit embedders come shifted by 20
// (uncompressed) or 40 (run-length encoded).
// A failed write is told in writeFailure's words ("the disk is full"). systemError is the reason
// the engine gave (Engine::lastSystemError): a read it could not make names the file and the
// system's words, never the file as invalid.
QString embedFailureDetail(int32_t status, const QString& carrierPath, const QString& documentPath,
                           const QString& outputPath, const QString& writeFailure = {},
                           int systemError = 0);

// What an engine failure of the embed says about the files: the disk is full, a file could not be
// read (the engine gave a system error), or the carrier is one it cannot follow.
Reason embedFailureReason(int systemError);

// Why the pixels of a compressed carrier cannot be followed, after its name and the invalid-file
// words; nothing for any other fault.
QString carrierFaultText(CarrierFault fault);

// Why the engine could not write into folder: "the disk is full" when it said so (or when the
// folder's file system has no room left, where it gave no reason), else the system's words.
QString engineWriteFailure(int systemError, const Platform& platform, const QString& folder);

// The text after a file's name for a read the engine could not make: the system's reason, or
// that the file shrank while it was read (ENODATA).
QString engineReadFailure(int systemError);

} // namespace brindmar
