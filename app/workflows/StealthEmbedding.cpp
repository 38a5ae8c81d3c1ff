#include "workflows/StealthEmbedding.h"

#include "operations/PictureConverter.h"
#include "payload/CarrierFile.h"
#include "protection/StealthFile.h"
#include "protection/WipeBytes.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "workflows/BesideEvents.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EngineLoop.h"
#include "workflows/ImageFormat.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/PictureConversion.h"
#include "workflows/StrongProtection.h"
#include "workflows/WipeCommand.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace brindmar {

namespace {

// The image goes into the output's replacement file, which the job shares: a job left behind by
// Stop finishes writing it and then drops it, and the user's folder keeps what it had.
struct EmbedJob {
    QString carrier;
    SecretBytes code;
    QByteArray archive;
    StrongCost cost;
    std::shared_ptr<ReplacementFile> out;
    StealthFileResult made;
    StealthHeldKey held;

    explicit EmbedJob(SecretBytes secret) : code(std::move(secret)) {}
    ~EmbedJob() { wipeBytes(archive); }
    // The coder reads the picture back with its key while the file is written; the original
    // may be offered for wiping after an embed.
    void run() { made = writeStealthImage(carrier, code, archive, *out, cost, held); }
};

struct SearchJob {
    QString image;
    SecretBytes code;
    StrongCost cost;
    QByteArray archive;
    StealthFileResult found;

    explicit SearchJob(SecretBytes secret) : code(std::move(secret)) {}
    ~SearchJob() { wipeBytes(archive); }
    void run() { found = extractStealthFile(image, code, archive, cost); }
};

// A decode of the written PNG and a search of its pixels; the decoded copy is removed when the
// job goes, should a Stop have left it to finish alone.
struct ReadBackJob {
    const PictureConverter* pictures = nullptr;
    QString png;
    QString decoded;
    SecretBytes code;
    // The embed's own key: no second derivation. Without it, one from the code.
    std::shared_ptr<const StealthHeldKey> held;
    StrongCost cost;
    PictureConversion decoding;
    QByteArray archive;
    StealthFileResult found;

    explicit ReadBackJob(SecretBytes secret) : code(std::move(secret)) {}
    ~ReadBackJob() {
        wipeBytes(archive);
        QFile::remove(decoded);
    }
    void run() {
        decoding = pictures->convert(png, decoded);
        if (decoding.ok) {
            found = held ? extractStealthFileWithKey(decoded, *held, archive)
                         : extractStealthFile(decoded, code, archive, cost);
        }
    }
};

// What a file status says about image, for the statuses the embed and the search share.
Outcome fileStatusFailure(const StealthFileResult& result, const QString& image) {
    switch (result.status) {
    case StealthFileStatus::CannotOpen:
        return protectionFailure(Reason::CannotOpen, image);
    case StealthFileStatus::NotACarrier:
        return protectionFailure(Reason::NotStealthCarrier, image);
    case StealthFileStatus::NoMemory:
        return sealEndFailure(SealEnd::Unsupported, image);
    case StealthFileStatus::Damaged:
        return sealEndFailure(SealEnd::Damaged, image);
    case StealthFileStatus::NotFound:
        return sealEndFailure(SealEnd::WrongCode, image);
    default:
        return protectionFailure(Reason::InvalidFile, image);
    }
}

Outcome tooLargeFailure(int64_t length, int64_t most) {
    return protectionFailure(Reason::StealthTooLarge, {},
                             QStringLiteral("%1 %2").arg(length).arg(most));
}

int64_t pictureWidth(const WindowModel& m) {
    return m.imageWidth > 0 ? m.imageWidth : 0;
}

int64_t pictureHeight(const WindowModel& m) {
    return m.imageHeight > 0 ? m.imageHeight : 0;
}

bool stealthCodeUsable(const QString& code) {
    return !code.isEmpty() && codeFault(code, true) == CodeFault::None;
}

} // namespace

bool stealthSearchOffered(const WindowModel& m) {
    return m.stealthCandidate && m.hasState(state::BmpUsable) && !m.extractMode() &&
           !m.hasState(state::DocumentChosen) && stealthCodeUsable(m.code);
}

bool outputIsExtract(const WindowModel& m) {
    return m.extractMode() || stealthSearchOffered(m);
}

void showOutputFolder(WindowModel& m) {
    m.display.extractOutput = outputIsExtract(m);
    m.display.outputFolder = m.display.extractOutput ? m.extractOutputFolder : m.embedOutputFolder;
}

QString stealthSearchHint(const WindowModel& m) {
    if (!m.stealthCandidate || !m.hasState(state::BmpUsable) || m.extractMode() ||
        m.hasState(state::DocumentChosen) || !m.documentPath.isEmpty()) {
        return {};
    }
    // Short enough for the box at the window's width.
    return stealthCodeUsable(m.code) ? QStringLiteral("Stealth: press Extract to search")
                                     : QStringLiteral("Stealth? Type its code, press Extract");
}

bool stealthCarrierRefused(const WindowModel& m) {
    return m.stealthWanted && m.hasState(state::BmpUsable) && !m.stealthCandidate &&
           !m.stealthByConversion;
}

int64_t stealthArchiveLength(const WindowModel& m) {
    // A run's end removes the work archive while the packing stays: the sealed length, never
    // shorter, then stands for it.
    const QFileInfo archive(m.storedDocumentPath);
    if (m.hasPacking(packing::PackedForSeal) && archive.exists()) {
        return archive.size();
    }
    return m.documentLength;
}

void applyStealthCapacity(WindowModel& m) {
    m.display.embedMaxStatus.clear();
    m.display.embedMaxNote.clear();
    if (!m.stealthWanted || !m.hasState(state::BmpUsable) || m.extractMode()) {
        m.display.embedRecommended.clear();
        return;
    }
    WindowDisplay& shown = m.display;
    shown.cropPercent.clear();
    shown.cropFrameVisible = false;
    m.pointerMarks = 0;
    const std::optional<QString> jpeg = jpegStealthCarrier(m);
    const bool takes = m.stealthCandidate || m.stealthByConversion || jpeg;
    const auto width = static_cast<uint32_t>(pictureWidth(m));
    const auto height = static_cast<uint32_t>(pictureHeight(m));
    // The writer changes only the dry bytes: the figures counted from the pixels, once there
    // are some (a BMP that Stealth converts first has none until the embed).
    const bool counted = !m.stealthCount.path.isEmpty();
    int64_t most = !takes ? 0 : counted ? m.stealthCount.most : stealthCapacity(width, height);
    int64_t recommended = !takes    ? 0
                          : counted ? m.stealthCount.recommended
                                    : stealthRecommendedCapacity(width, height);
    // A JPEG kept a JPEG takes what its coefficients take, at its own rate.
    if (jpeg) {
        takeJpegFigures(m, *jpeg);
        most = m.jpegCapacity;
        recommended = m.jpegRecommended;
        shown.embedMaxStatus = jpegFaultStatus(m);
        shown.embedMaxNote = jpegFaultNote(m);
    }
    shown.embedMax = QString::number(most);
    shown.embedRecommended = takes ? QString::number(recommended) : QString();
    m.setState(state::EmbedPossible,
               m.hasState(state::DocumentChosen) && takes && stealthArchiveLength(m) <= most);
}

void ToggleStealth(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    // A run under way has chosen how it ends: its check and its clean-up follow the switch.
    if (m.operationRunning()) {
        ctx.render();
        return;
    }
    shown.stealthBox = !shown.stealthBox;
    if (shown.stealthBox) {
        shown.strongBox = true;
        shown.encryptBox = kEncryptTicked;
    }
    ApplyCode(ctx);
    // The figures and the crop frame of the chosen carrier follow the new choice.
    if (m.hasState(state::DocumentChosen)) {
        if (m.stealthWanted && m.stealthCandidate && m.hasState(state::BmpUsable)) {
            countStealthCarrier(ctx, m.display.bmpPath);
        }
        PackDocument(ctx, true);
    } else if (m.hasState(state::BmpUsable) && !m.display.bmpPath.isEmpty()) {
        InspectCarrier(ctx, inspect::Evaluate, m.display.bmpPath);
    }
    ctx.valueChanged();
    ctx.refresh();
}

namespace {

// The carrier's 24-bit copy in the work folder; nothing with the conversion's failure, or with
// an outcome done where the user stopped it. The failure is the embed's to tell, once, when the
// embed ends: the converter concludes nothing of its own meanwhile.
std::pair<std::optional<QString>, Outcome> convertCarrier(WorkflowContext& ctx,
                                                          const QString& carrier) {
    OutcomeView* const view = std::exchange(ctx.outcomes, nullptr);
    const auto restore = qScopeGuard([&ctx, view] { ctx.outcomes = view; });
    const Outcome before = std::exchange(ctx.outcome, Outcome{});
    std::optional<QString> copy = ConvertPictureFile(ctx, carrier, ctx.temporaryFolder);
    Outcome converted = std::exchange(ctx.outcome, before);
    if (copy || converted.ending != Ending::Failed) {
        return {std::move(copy), Outcome{}};
    }
    converted.step = Task::Convert;
    return {std::nullopt, converted};
}

} // namespace

bool ReadStealthArchive(const WindowModel& m, QByteArray& archive, Outcome& failure) {
    const CarrierFile file(m.storedDocumentPath);
    if (!m.hasPacking(packing::PackedForSeal) || !file.isOpen()) {
        failure = protectionFailure(Reason::CannotOpen, m.storedDocumentPath);
        return false;
    }
    archive.resize(file.size());
    const size_t got = file.readAt(0, reinterpret_cast<unsigned char*>(archive.data()),
                                   static_cast<size_t>(archive.size()));
    if (got != static_cast<size_t>(archive.size())) {
        failure = protectionFailure(Reason::WorkNotRead, m.storedDocumentPath, {},
                                    file.error() != 0 ? file.error() : EIO);
        return false;
    }
    return true;
}

StealthOutcome EmbedStealthImage(WorkflowContext& ctx, const QString& carrier,
                                 std::shared_ptr<ReplacementFile> out) {
    WindowModel& m = ctx.model;
    StealthOutcome outcome;
    // Messages name the user's PNG rather than its work copy.
    const QString named = shownImagePath(m);
    if (stealthCarrierRefused(m)) {
        outcome.failure = protectionFailure(Reason::PayloadUnderStealth, named);
        return outcome;
    }
    if (sealingCodeRefused(m.code)) {
        outcome.reason = Reason::CodeLength;
        return outcome;
    }
    // The coder reads 24-bit pixels only; the copy goes however the embed ends.
    QString source = carrier;
    if (!m.stealthCandidate) {
        const auto [copy, failed] = convertCarrier(ctx, carrier);
        if (!copy) {
            // Not converted and not failed: the user stopped it.
            outcome.stopped = failed.ending != Ending::Failed;
            outcome.failure = failed;
            return outcome;
        }
        source = *copy;
    }
    const auto dropCopy = qScopeGuard([&] {
        if (source != carrier) {
            DiscardWorkFile(ctx, source);
        }
    });
    // A palette or a few colours would show the changes whatever the coder does.
    if (const auto refusal = stealthCarrierColourRefusal(
            source, {carrier, shownImagePath(m),
                     m.convertedBmp == carrier ? m.convertedPicture : QString()})) {
        outcome.failure = protectionFailure(Reason::TooFewColours, named);
        outcome.failure.figure = *refusal;
        return outcome;
    }
    auto job = std::make_shared<EmbedJob>(codeSecret(m.code));
    if (!ReadStealthArchive(m, job->archive, outcome.failure)) {
        return outcome;
    }
    const auto width = static_cast<uint32_t>(pictureWidth(m));
    const auto height = static_cast<uint32_t>(pictureHeight(m));
    const int64_t length = job->archive.size();
    const int64_t most =
        countStealthCarrier(ctx, source) ? m.stealthCount.most : stealthCapacity(width, height);
    if (length > most) {
        outcome.failure = tooLargeFailure(length, most);
        return outcome;
    }
    const int64_t recommended = stealthRecommendedCapacity(width, height);
    if (length > recommended && recommended != m.stealthAboveRateAgreed) {
        Notice above{NoticeKind::StealthAboveRate, named};
        above.detail = QString::number(recommended);
        ctx.notify(above);
    }
    job->carrier = source;
    job->cost = ctx.strongCost;
    job->out = std::move(out);
    if (!RunStealthJob(ctx, job, outcome)) {
        return outcome;
    }
    const StealthFileResult& made = job->made;
    if (made.status == StealthFileStatus::Done) {
        outcome.done = true;
        m.stealthKey = std::make_shared<const StealthHeldKey>(std::move(job->held));
    } else if (made.status == StealthFileStatus::Failed) {
        outcome.failure = protectionFailure(Reason::NotReadBack, named, Cause::ReadBackCoder);
    } else if (made.status == StealthFileStatus::CannotWrite) {
        outcome.failure = notWritten(Reason::CannotWrite, job->out->target(), made.error);
    } else if (made.status == StealthFileStatus::TooLarge) {
        outcome.failure = tooLargeFailure(length, most);
    } else {
        outcome.failure = fileStatusFailure(made, named);
    }
    return outcome;
}

StealthOutcome ReadBackStealthPng(WorkflowContext& ctx, const QString& png) {
    WindowModel& m = ctx.model;
    StealthOutcome outcome;
    if (ctx.pictures == nullptr) {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackNoReader);
        return outcome;
    }
    auto job = std::make_shared<ReadBackJob>(codeSecret(m.code));
    job->pictures = ctx.pictures;
    job->png = png;
    job->decoded = ctx.temporaryFolder + kWorkCarrierName;
    job->cost = ctx.strongCost;
    job->held = std::move(m.stealthKey);
    if (!job->code.valid()) {
        outcome.failure = sealEndFailure(SealEnd::Unsupported, shownImagePath(m));
        return outcome;
    }
    if (!finishedBesideEvents(ctx, job) || m.stopRequest) {
        outcome.stopped = true;
        return outcome;
    }
    DiscardWorkFile(ctx, job->decoded);
    QFile sealed(m.storedDocumentPath);
    if (!job->decoding.ok) {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackPicture);
    } else if (job->found.status != StealthFileStatus::Done || !sealed.open(QIODevice::ReadOnly) ||
               sealed.readAll() != job->archive) {
        outcome.failure = protectionFailure(Reason::NotReadBack, {}, Cause::ReadBackStealth);
    } else {
        outcome.done = true;
    }
    return outcome;
}

bool LeaveStealthArchive(WorkflowContext& ctx, const QByteArray& found, Outcome& failure) {
    const QString archivePath = ctx.temporaryFolder + kWorkArchiveName;
    QFile archive(archivePath);
    const bool written = archive.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         archive.write(found) == found.size() && archive.flush();
    archive.close();
    if (!written) {
        QFile::remove(archivePath);
        failure = notWritten(Reason::WorkNotWritten, archivePath,
                             writeFailureError(ctx.platform, ctx.temporaryFolder));
    }
    return written;
}

StealthOutcome SearchStealthPayload(WorkflowContext& ctx, const QString& image) {
    WindowModel& m = ctx.model;
    // A carrier converted from a JPEG is searched in the JPEG's own coefficients.
    if (const auto jpeg = jpegSearchSource(m)) {
        return SearchJpegStealthPayload(ctx, *jpeg);
    }
    StealthOutcome outcome;
    auto job = std::make_shared<SearchJob>(codeSecret(m.code));
    job->image = image;
    job->cost = ctx.strongCost;
    if (!job->code.valid()) {
        outcome.failure = sealEndFailure(SealEnd::Unsupported, image);
        return outcome;
    }
    ctx.render();
    if (!finishedBesideEvents(ctx, job) || m.stopRequest) {
        outcome.stopped = true;
        return outcome;
    }
    if (job->found.status != StealthFileStatus::Done) {
        // Messages name the PNG the user chose, never its work copy. Nothing that opens says
        // nothing about whether anything is there: no document is claimed.
        const QString named = shownImagePath(m);
        outcome.notFound = job->found.status == StealthFileStatus::NotFound;
        outcome.damaged = job->found.status == StealthFileStatus::Damaged;
        outcome.failure = outcome.notFound ? protectionFailure(Reason::NoDocumentForCode, named)
                                           : fileStatusFailure(job->found, named);
        return outcome;
    }
    // The archive goes where a plain extraction leaves it, for the same unpacking.
    if (!LeaveStealthArchive(ctx, job->archive, outcome.failure)) {
        return outcome;
    }
    outcome.done = true;
    return outcome;
}

} // namespace brindmar
