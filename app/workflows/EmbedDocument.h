#pragma once

#include "payload/CarrierNormalizer.h"
#include "payload/PayloadHeader.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Embed command: writes a new 24-bit image into the output folder, named like the carrier,
// whose colour bytes carry the payload header, the stored document and filler.
Outcome EmbedDocument(WorkflowContext& ctx);

// The file an engine failure of embed concerns (none where the status names none) and what
// went wrong with it, in outcome's about, fault, error and figure (the status without its
// sign). Codes of the 8-bit embedders come shifted by 20 (uncompressed) or 40 (run-length
// encoded). writeError is a failed write's errno (engineWriteError); systemError is the reason
// the engine gave (Engine::lastSystemError): a read it could not make names the file and the
// system's reason, never the file as invalid.
void describeEmbedFailure(Outcome& outcome, int32_t status, const QString& carrierPath,
                          const QString& documentPath, const QString& outputPath, int writeError,
                          int systemError);

// What an engine failure of the embed says about the files: the disk is full, a file could not be
// read (the engine gave a system error), or the carrier is one it cannot follow.
Reason embedFailureReason(int systemError);

// A file of the command's that could not be written: with errno error, or where there is none
// the writer's words.
Outcome writeFailure(Task task, const QString& named, const QString& file, int error,
                     const QString& words = {});
// The file written is complete and stays, but the times it was to get could not be set.
Outcome timesNotKept(Task task, const QString& named, const QString& written);
// The code can make no seal, found once the coder is under way.
Outcome sealingCodeFailure(const QString& named);

// The errno of a write the engine could not make into folder: ENOSPC when it said so (or when
// the folder's file system has no room left, where it gave no reason), else its own.
int engineWriteError(int systemError, const Platform& platform, const QString& folder);

} // namespace brindmar
