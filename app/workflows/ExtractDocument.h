#pragma once

#include "workflows/DocumentPacking.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>

namespace brindmar {

// The Extract command: copies the document out of the carrier in extract mode, unpacks it when
// it was stored as an archive, and gives it its stored name and times in the extract folder.
Outcome ExtractDocument(WorkflowContext& ctx);

// Wipes and removes what an extraction unpacked into the private folder and did not put in
// place, as a run that was killed midway leaves it: before each unpacking and at shut-down.
void DiscardUnpacked(WorkflowContext& ctx);

// Unpacks every member of the archive into targetFolder, with the password derived from the
// stored code when encrypted; why not in failure.
bool UnzipDocument(WorkflowContext& ctx, const QString& packagePath, const QString& targetFolder,
                   int16_t unzipOption, bool encrypted, ZipFailure& failure);

// The file an engine failure of extract concerns and what went wrong with it, in outcome's
// about, fault, error and figure, as describeEmbedFailure does for embed. A read the engine could
// not make (systemError, Engine::lastSystemError) is told as such.
void describeExtractFailure(Outcome& outcome, int32_t status, const QString& carrierPath,
                            const QString& outputPath, int writeError, int systemError);

} // namespace brindmar
