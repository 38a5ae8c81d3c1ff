#include "operations/PictureConverter.h"
#include "payload/BmpHeader.h"
#include "payload/PayloadHeaderReader.h"
#include "util/PathHelpers.h"
#include "util/PresetFileChoiceUi.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/BmpInformation.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/ExtractDocument.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/Requests.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WipeCommand.h"

namespace brindmar {

namespace {

// The system's error for a carrier its inspection found unreadable, read again: the header's,
// else its payload header's; 0 where it now reads.
int carrierReadError(const QString& carrier, const QString& code) {
    const int headerError = readBmpHeader(carrier).readError;
    return headerError != 0 ? headerError : ReadPayloadHeader(carrier, code).readError;
}

// The carrier chosen as the BMP command chooses it, and why nothing can be extracted from it,
// when nothing can.
std::optional<Outcome> extractRefusal(WorkflowContext& ctx, const QString& image) {
    // With a code a JPEG is searched in its own coefficients, through the BMP of its pixels
    // that every carrier's checks read.
    const bool jpegSearch = !ctx.model.code.isEmpty() && isJpegFile(image);
    if (sniffImageFormat(image) == ImageFormat::Png || jpegSearch) {
        // Read through its work copy in the private work folder and named, in every message,
        // as the picture; whatever its name.
        ctx.outcome = Outcome{};
        TakeDecodedPicture(ctx, image);
        // A picture the converter could not decode has concluded the command.
        if (ctx.outcome.reason != Reason::None) {
            return ctx.outcome;
        }
    } else {
        PresetFileChoiceUi choice(ctx.ui);
        WorkflowContext chosen{ctx.model,    choice,        ctx.zip,           ctx.engine,
                               ctx.platform, ctx.view,      ctx.programFolder, ctx.temporaryFolder,
                               ctx.pictures, ctx.strongCost};
        chosen.outcomes = ctx.outcomes;
        chosen.notices = ctx.notices;
        choice.presetFileChoice(image);
        ChooseBmp(chosen);
        // A name the choice refused has concluded the command.
        if (chosen.outcome.reason != Reason::None) {
            Outcome concluded = chosen.outcome;
            if (concluded.reason == Reason::NoBaseName) {
                concluded.subject = image;
            }
            return concluded;
        }
    }
    const WindowModel& m = ctx.model;
    const QString carrier = m.display.bmpPath;
    if (m.carrierCheckResult == validity::Unreadable) {
        return openFailure(Reason::CannotRead, image, carrierReadError(carrier, m.code));
    }
    const PayloadHeaderInfo payload = ReadPayloadHeader(carrier, m.code);
    if (m.extractMode()) {
        // Without a code there is nothing to derive a key from: asked for before anything runs.
        if (payload.sealed && m.code.isEmpty()) {
            return Outcome::refused(Reason::CodeNeeded, image, Cause::Sealed);
        }
        return std::nullopt;
    }
    // With a code, an image without a plain payload is searched for a stealth one.
    if (stealthSearchOffered(m)) {
        return std::nullopt;
    }
    const bool usable = m.hasState(state::BmpUsable);
    if (usable && m.stealthCandidate && m.code.isEmpty()) {
        return Outcome::refused(Reason::CodeNeeded, image, Cause::Stealth);
    }
    if (!usable && !m.display.bmpPath.isEmpty()) {
        Outcome refused = Outcome::refused(Reason::NotCarrier, image);
        refused.figure = m.carrierCheckResult;
        return refused;
    }
    if (m.display.bmpPath.isEmpty()) {
        // Nothing was concluded on the way: the user stopped the decoding, or said no.
        return givenUp(ctx, image);
    }
    return Outcome::refused(noDocumentReason(payload, m.code), image);
}

} // namespace

Outcome Extract(WorkflowContext& ctx, const ExtractRequest& request) {
    WindowModel& m = ctx.model;
    m.extractOutputFolder = request.outputFolder;
    if (request.code) {
        SetCode(ctx, *request.code);
    }
    Outcome outcome;
    if (auto refusal = extractRefusal(ctx, request.image)) {
        outcome = *refusal;
    } else {
        outcome = ExtractDocument(ctx);
        outcome.subject = request.image;
    }
    ReleaseDecodedPicture(ctx);
    return outcome;
}

Reason noDocumentReason(const PayloadHeaderInfo& payload, const QString& code) {
    if (payload.status != PayloadStatus::OtherCode) {
        return Reason::NoPayload;
    }
    return code.isEmpty() ? Reason::CodeNeeded : Reason::WrongCode;
}

} // namespace brindmar
