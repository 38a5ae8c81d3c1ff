#include "operations/PictureConverter.h"
#include "util/PathHelpers.h"
#include "util/PresetFileChoiceUi.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/PictureConversion.h"
#include "workflows/Requests.h"
#include "workflows/StealthEmbedding.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace brindmar {

namespace {

// The carrier's access and modification times, to the nanosecond, on the new image; 0 or the
// error.
int copyFileTimes(const QString& from, const QString& to) {
    struct stat info {};
    if (::stat(QFile::encodeName(from).constData(), &info) != 0) {
        return errno;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    return ::utimensat(AT_FDCWD, QFile::encodeName(to).constData(), times, AT_SYMLINK_NOFOLLOW) == 0
               ? 0
               : errno;
}

// Why the chosen carrier cannot take the document, when it cannot.
std::optional<Outcome> embedRefusal(const WindowModel& m, const QString& named) {
    if (!m.hasState(state::BmpUsable)) {
        Outcome refused = Outcome::refused(Reason::NotCarrier, named);
        refused.figure = m.carrierCheckResult;
        return refused;
    }
    if (m.hasState(state::PayloadFound)) {
        return Outcome::refused(Reason::AlreadyCarries, named);
    }
    if (stealthCarrierRefused(m)) {
        Outcome refused = Outcome::refused(Reason::PayloadUnderStealth, named);
        refused.about = named;
        return refused;
    }
    // A JPEG whose coefficients do not open has a capacity of 0, which is not why.
    if (const auto jpeg = jpegStealthCarrier(m);
        jpeg && m.jpegCapacity == 0 && !jpegCoefficientsOpen(*jpeg)) {
        Outcome refused = Outcome::refused(Reason::JpegUnreadable, named, m.jpegFault.reason);
        refused.about = named;
        return refused;
    }
    if (!m.hasState(state::EmbedPossible)) {
        // Packed or encrypted, a document can take more than the file chosen; the size it
        // takes is the one to hold against Embed max.
        return Outcome::refused(
            Reason::TooLarge, named,
            QStringLiteral("%1 %2")
                .arg(m.stealthWanted ? stealthArchiveLength(m) : int64_t{m.documentLength})
                .arg(m.display.embedMax));
    }
    return std::nullopt;
}

void takeRequest(WorkflowContext& ctx, const EmbedRequest& request) {
    WindowModel& m = ctx.model;
    const Protection& p = request.protection;
    m.cropMode = request.crop;
    m.imageFormat = request.format;
    m.dropJpegMetadata = request.stripMetadata;
    m.display.encryptBox = p.encrypt || p.strong ? kEncryptTicked : kEncryptUnticked;
    m.display.strongBox = p.strong;
    m.display.stealthBox = p.stealth;
    settleEncryptMarks(m);
    // Under a seal, or Stealth's, the seal is the encryption.
    m.encryptRequired = p.encrypt && !m.hasPacking(packing::StrongWanted);
    m.display.keepTimesChecked = request.keepTimes;
    m.embedOutputFolder = request.outputFolder;
    if (p.code) {
        // Whole: a code cut to the box's length would open the image for other codes too.
        SetCode(ctx, *p.code);
    }
}

class EmbedRequestRun {
public:
    EmbedRequestRun(WorkflowContext& ctx, const EmbedRequest& request)
        : m_choice(ctx.ui), m_ctx{ctx.model,         m_choice,
                                  ctx.zip,           ctx.engine,
                                  ctx.platform,      ctx.view,
                                  ctx.programFolder, ctx.temporaryFolder,
                                  ctx.pictures,      ctx.strongCost},
          m_request(request), m_named(request.carrier) {
        // A notice is told as the step comes; the end is the caller's to tell.
        m_ctx.notices = ctx.notices;
    }

    EmbedOutcome run();

private:
    // The new image for a converted carrier can be the very file the user named, which the
    // embed, holding only the copy, cannot see.
    bool overTheCarrier() const { return SameFile(outputPath(), m_named); }
    QString outputPath() const {
        return m_keepJpeg
                   ? jpegStealthOutputPath(m_request.outputFolder, m_named)
                   : embedOutputPath(m_request.outputFolder, m_named, m_ctx.model.imageFormat);
    }
    // The carrier made anew where only this run can see it.
    bool converted() {
        const auto copy = ConvertPictureFile(m_ctx, m_named, m_ctx.temporaryFolder, m_request.half);
        if (copy) {
            m_carrier = *copy;
        }
        return copy.has_value();
    }
    void chooseCarrier() {
        m_choice.presetFileChoice(m_carrier);
        ChooseBmp(m_ctx);
    }
    EmbedOutcome ended(Outcome outcome) {
        EmbedOutcome result;
        static_cast<Outcome&>(result) = std::move(outcome);
        // A JPEG kept a JPEG is converted only for its figures: the JPEG itself carries.
        result.converted = m_converted && !m_keepJpeg;
        result.convertedBmp = m_converted && !m_picture;
        result.codeGiven = !m_ctx.model.code.isEmpty();
        return result;
    }
    // A step gave up on file: with an outcome of its own (a name the choice refused, a folder
    // without room for the work files, a code, a file that cannot be opened, a picture that
    // cannot be converted), or as the user stopped or said no. A name refused for having no base
    // name reaches the choice as nothing: it is the file the request named.
    EmbedOutcome gaveUp(const QString& file) {
        Outcome outcome = givenUp(m_ctx, file);
        if (outcome.reason == Reason::NoBaseName) {
            outcome.subject = file;
        }
        return ended(outcome);
    }

    PresetFileChoiceUi m_choice;
    WorkflowContext m_ctx;
    const EmbedRequest& m_request;
    QString m_named;
    QString m_carrier;
    bool m_picture = false;
    bool m_converted = false;
    // Under Stealth, with the format left to the carrier, a JPEG gives a JPEG.
    bool m_keepJpeg = false;
};

EmbedOutcome EmbedRequestRun::run() {
    WindowModel& m = m_ctx.model;
    m_ctx.outcome = Outcome{};
    takeRequest(m_ctx, m_request);
    m_carrier = m_named;
    m_picture = ExtensionOf(m_carrier) != u"bmp";
    m_keepJpeg =
        m_picture && m_request.protection.stealth && !m_request.format && isJpegFile(m_named);
    // A picture's new image takes its format, PNG for any that is no BMP.
    if (m_picture && overTheCarrier()) {
        return ended(Outcome::refused(Reason::WouldReplaceCarrier, m_named));
    }
    if (m_picture) {
        if (!converted()) {
            return gaveUp(m_named);
        }
        m_converted = true;
        if (m_keepJpeg) {
            m.convertedPicture = m_named;
            m.convertedBmp = m_carrier;
        } else if (!m_request.format) {
            m.imageFormat = outputFormatFor(m_named, std::nullopt);
        }
    }
    m_choice.presetFileChoice(m_request.document);
    ChooseDocument(m_ctx);
    if (!m.hasState(state::DocumentChosen)) {
        m_choice.withdrawPreset();
        return gaveUp(m_request.document);
    }
    chooseCarrier();
    // A BMP of a kind the engine cannot take is converted as any other picture would be.
    // So is an 8-bit one under Stealth, whose coder takes 24-bit pixels only.
    const bool unusable =
        !m.hasState(state::BmpUsable) || (m_request.protection.stealth && m.stealthByConversion);
    if (!m_picture && !m.display.bmpPath.isEmpty() && unusable && m_ctx.pictures != nullptr &&
        m_ctx.pictures->canRead(m_carrier)) {
        if (overTheCarrier()) {
            return ended(Outcome::refused(Reason::WouldReplaceCarrier, m_named));
        }
        if (!converted()) {
            return gaveUp(m_named);
        }
        m_converted = true;
        chooseCarrier();
    }
    if (m.display.bmpPath.isEmpty()) {
        return gaveUp(m_named);
    }
    if (auto refusal = embedRefusal(m, m_named)) {
        return ended(*refusal);
    }
    const QString image = jpegStealthOutput(m).value_or(
        embedOutputPath(m_request.outputFolder, m_carrier, m.imageFormat));
    Outcome outcome = EmbedDocument(m_ctx);
    outcome.subject = m_named;
    if (outcome.done() && m_request.keepTimes) {
        if (const int error = copyFileTimes(m_named, image); error != 0) {
            outcome.ending = Ending::Failed;
            outcome.reason = Reason::TimesNotKept;
            outcome.error = error;
        }
    }
    return ended(outcome);
}

} // namespace

EmbedOutcome Embed(WorkflowContext& ctx, const EmbedRequest& request) {
    return EmbedRequestRun(ctx, request).run();
}

} // namespace brindmar
