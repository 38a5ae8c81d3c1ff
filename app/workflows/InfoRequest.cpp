#include "operations/PictureConverter.h"
#include "operations/WipeFile.h"
#include "payload/PayloadHeaderReader.h"
#include "util/ForwardingUi.h"
#include "util/PathHelpers.h"
#include "workflows/BmpInformation.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/PictureConversion.h"
#include "workflows/Requests.h"
#include "workflows/WipeCommand.h"

#include <QDir>
#include <QFileInfo>

namespace brindmar {

namespace {

// An opening's messages belong to extract: info says what it found in its own lines. Questions
// (a cost above this program's own images) still reach the user.
class QuietUi final : public ForwardingUi {
public:
    using ForwardingUi::ForwardingUi;

    MessageAnswer showMessage(const Message& message) override {
        return message.buttons == MessageButtons::Ok ? MessageAnswer::Ok
                                                     : ForwardingUi::showMessage(message);
    }
    void playSound(Sound) override {}
    void beep(int) override {}
};

// The BMP of a picture's pixels in the private work folder: a PNG's as the engine reads it,
// any other picture's as embed would convert it.
std::optional<QString> pixelsOf(WorkflowContext& ctx, const QString& image, bool png) {
    if (png) {
        return DecodePicture(ctx, image);
    }
    return ConvertPictureFile(ctx, image, ctx.temporaryFolder, false);
}

// Name and size come from the document itself, opened as extract opens it (one derivation of
// the key) into a folder only this run sees, and wiped at once.
void openWithCode(WorkflowContext& ctx, const InfoRequest& request, InfoOutcome& info) {
    QuietUi quiet(ctx.ui);
    WorkflowContext muted{ctx.model,    quiet,         ctx.zip,           ctx.engine,
                          ctx.platform, ctx.view,      ctx.programFolder, ctx.temporaryFolder,
                          ctx.pictures, ctx.strongCost};
    // Quiet about how the opening ends, not about what it asks (a seal that costs more than
    // this version's own): the question needs its words.
    muted.notices = ctx.notices;
    const QString folder = ctx.temporaryFolder + QStringLiteral("described/");
    if (!QDir().mkpath(folder)) {
        info.payload = Reason::CannotWrite;
        return;
    }
    const Outcome opened = Extract(muted, ExtractRequest{request.image, folder, request.code});
    if (opened.ending == Ending::Stopped) {
        info.ending = Ending::Stopped;
    } else if (opened.done() && !opened.written.isEmpty()) {
        QString name = opened.written.first();
        info.documentName = FileNameOf(name);
        info.documentLength = QFileInfo(opened.written.first()).size();
        info.payload = Reason::None;
        info.opened = true;
    } else {
        info.payload = opened.reason == Reason::None ? Reason::Other : opened.reason;
    }
    for (const QString& file : opened.written) {
        WipeAndDeleteFile(file, kWipeQuietly, ctx.engine, quiet, WipeWindowHooks{});
    }
    QDir(folder).removeRecursively();
}

} // namespace

InfoOutcome Describe(WorkflowContext& ctx, const InfoRequest& request) {
    InfoOutcome info;
    info.subject = request.image;
    if (request.code) {
        SetCode(ctx, *request.code);
    }
    // A picture that is no BMP is described by the BMP of its pixels.
    const bool png = sniffImageFormat(request.image) == ImageFormat::Png;
    info.png = png;
    info.jpeg = !png && ctx.pictures != nullptr && ctx.pictures->isJpeg(request.image);
    const bool converted = png || info.jpeg;
    ctx.outcome = Outcome{};
    const std::optional<QString> work =
        converted ? pixelsOf(ctx, request.image, png) : request.image;
    if (!work) {
        // The converter's failure has concluded the command, unless the user stopped it.
        static_cast<Outcome&>(info) = givenUp(ctx, request.image);
        return info;
    }
    const QString& image = *work;
    const auto values = ReadBmpInformation(ctx, image);
    bool searchable = false;
    if (!values) {
        // Concluded as the file that would not open or read.
        static_cast<Outcome&>(info) = ctx.outcome;
        info.png = false;
        info.jpeg = false;
    } else {
        info.fields = *values;
        QString name = image;
        const WindowModel& m = ctx.model;
        if (ExtensionOf(name) != u"bmp") {
            info.carrier = InfoOutcome::Carrier::MisNamed;
        } else if (InspectCarrier(ctx, inspect::Evaluate, image); m.hasState(state::BmpUsable)) {
            info.carrier = InfoOutcome::Carrier::Usable;
            info.embedMax = m.display.embedMax;
        } else {
            // embed takes such a BMP through the converter, so it is no dead end.
            const bool convertible = ctx.pictures != nullptr && ctx.pictures->canRead(image);
            info.carrier =
                convertible ? InfoOutcome::Carrier::Convertible : InfoOutcome::Carrier::Unusable;
            info.validity = m.carrierCheckResult;
        }
        const PayloadHeaderInfo payload = ReadPayloadHeader(image, m.code);
        info.sealed = payload.sealed && payload.payloadFound();
        if (payload.payloadFound()) {
            info.documentName = payload.documentName;
            info.documentLength = payload.documentLength;
            info.storage = payload.status;
            info.codeProtected = payload.codeProtected;
        } else {
            info.payload = noDocumentReason(payload, m.code);
        }
        // A JPEG's pixels carry nothing extract could open; its coefficients may, searched
        // with a code.
        const bool codeGiven = request.code && !request.code->isEmpty();
        const bool stealth = !payload.payloadFound() && m.stealthCandidate &&
                             info.carrier == InfoOutcome::Carrier::Usable;
        info.stealth = stealth;
        searchable = codeGiven && (info.sealed || stealth);
        if (codeGiven && info.jpeg) {
            WindowModel& figures = ctx.model;
            takeJpegFigures(figures, request.image);
            info.jpegStealthMax = figures.jpegCapacity;
            info.jpegStealthRecommended = figures.jpegRecommended;
            info.jpegGps = figures.jpegGps;
        }
    }
    if (converted) {
        DiscardWorkFile(ctx, image);
    }
    if (searchable) {
        openWithCode(ctx, request, info);
    }
    return info;
}

} // namespace brindmar
