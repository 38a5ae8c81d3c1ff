#pragma once

#include "payload/PayloadHeaderReader.h"
#include "workflows/WorkflowContext.h"

#include <optional>
#include <string>

namespace brindmar {

// The sealed document in the private folder: written for the engine at an embed, and by the
// engine at an extraction.
inline const QString kSealedWorkName = QStringLiteral("vokbdat4.tmp");

// How a sealing or an opening ended; failure is the detail for the user when it failed.
struct SealOutcome {
    bool done = false;
    bool stopped = false;
    // Only the code was wrong, as far as can be told: the user may type another.
    bool wrongCode = false;
    QString failure;
};

// Seals the work archive for the payload header into the sealed work file, with a key derived
// from the code at the context's cost. The derivation runs beside the event loop, so the window
// stays responsive and Stop is honoured once it ends.
SealOutcome SealForEmbed(WorkflowContext& ctx, const std::string& payloadHeader);

// Opens the sealed work file the engine extracted into the work archive. The archive is whole
// and authentic only when this returns done; otherwise it has been wiped.
SealOutcome OpenSealedPayload(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                              const QString& carrierPath);

// Why the code cannot open or make a seal, or nothing when it can.
std::optional<QString> sealingCodeRefusal(const QString& code);

} // namespace brindmar
