#pragma once

#include "payload/PayloadHeaderReader.h"
#include "workflows/ProtectionFailures.h"
#include "workflows/WorkflowContext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindmar {

// The sealed document in the private folder: written for the engine at an embed, and by the
// engine at an extraction.
inline const QString kSealedWorkName = QStringLiteral("vokbdat4.tmp");

// How a sealing or an opening ended; failure says why when it failed, for the front end to word.
struct SealOutcome {
    bool done = false;
    bool stopped = false;
    // Only the code was wrong, as far as can be told: the user may type another.
    bool wrongCode = false;
    // CodeLength where the code can make no seal; the front end words it.
    Reason reason = Reason::None;
    Outcome failure;
};

// Seals the work archive for the payload header into the sealed work file, with a key derived
// from the code at the context's cost. The derivation runs beside the event loop, so the window
// stays responsive and Stop ends the wait at once.
SealOutcome SealForEmbed(WorkflowContext& ctx, const std::string& payloadHeader);

// Opens the sealed work file the engine extracted into the work archive. The archive is whole
// and authentic only when this returns done; otherwise it has been wiped. An image that asks for
// a cost outside what an opener takes, or for more memory than is free, is refused before the
// derivation; one that asks for more than this program's own images is opened only when the
// user agrees.
SealOutcome OpenSealedPayload(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                              const QString& carrierPath);

// Opens the sealed payload of a new image with the model's code, as an extraction would, and
// keeps nothing of the document it opens: done when the image gives its document back. Run
// before a new image takes its place, so that the original is never offered for wiping beside
// an image that cannot give it back.
SealOutcome VerifySealedImage(WorkflowContext& ctx, const QString& imagePath);

// Asks for the code a second time before sealing, and compares the two as they will be used.
// False when the user cancels or the codes differ (the user has been told).
bool ConfirmSealingCode(WorkflowContext& ctx);

// What a seal's end says of the image at carrierPath: a wrong code, damage, or the key's memory
// not to be had; Reason::None for the other ends.
Outcome sealEndFailure(SealEnd end, const QString& carrierPath);

// Whether the code is one no seal can be made with (too short, or nothing once prepared).
bool sealingCodeRefused(const QString& code);

// The MemAvailable figure of /proc/meminfo text, in KiB; nullopt when it has none.
std::optional<uint64_t> memAvailableKiB(std::string_view meminfo);
std::optional<uint64_t> availableMemoryKiB();

} // namespace brindmar
