#include "workflows/JpegStealthRoute.h"

#include "payload/CarrierFile.h"
#include "protection/JpegStealthFile.h"
#include "protection/WipeBytes.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "workflows/BesideEvents.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/StrongProtection.h"

#include <QFile>
#include <cerrno>

namespace brindmar {

namespace {

// The whole file, or nothing when it cannot be read or is larger than any JPEG the coder takes.
std::optional<QByteArray> readJpeg(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMostJpegFileBytes) {
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        return std::nullopt;
    }
    return bytes;
}

// The new JPEG goes into the output's replacement file, which the job shares, and is read from
// it again: what the disk holds must be what was read back in memory.
struct JpegEmbedJob {
    QByteArray carrier;
    SecretBytes code;
    QByteArray archive;
    StrongCost cost;
    JpegWriteOptions options;
    std::shared_ptr<ReplacementFile> out;
    JpegStealthMade made;
    bool written = false;
    bool readBack = false;

    explicit JpegEmbedJob(SecretBytes secret) : code(std::move(secret)) {}
    ~JpegEmbedJob() { wipeBytes(archive); }
    void run() {
        made = jpegStealthEmbedFile(carrier, code, archive, options, cost);
        if (made.status != JpegStealthStatus::Done) {
            return;
        }
        written = out->append(made.file) && out->flush();
        if (written) {
            QFile file(out->writePath());
            readBack = file.open(QIODevice::ReadOnly) && file.readAll() == made.file;
        }
    }
};

struct JpegSearchJob {
    QByteArray image;
    SecretBytes code;
    StrongCost cost;
    JpegStealthFound found;

    explicit JpegSearchJob(SecretBytes secret) : code(std::move(secret)) {}
    ~JpegSearchJob() { wipeBytes(found.archive); }
    void run() { found = jpegStealthExtractFile(image, code, cost); }
};

Outcome tooLargeFailure(int64_t length, int64_t most) {
    return protectionFailure(Reason::StealthTooLarge, {},
                             QStringLiteral("%1 %2").arg(length).arg(most));
}

// Whether the new image keeps the carrier's EXIF: the request's answer, else the user's, asked
// only when the EXIF names a place. Nothing when the user cancelled.
std::optional<bool> dropMetadata(WorkflowContext& ctx, const QString& jpeg) {
    WindowModel& m = ctx.model;
    if (!m.jpegGps) {
        return m.dropJpegMetadata.value_or(false);
    }
    if (m.dropJpegMetadata) {
        if (!*m.dropJpegMetadata) {
            ctx.notify(Notice{NoticeKind::GpsKept, jpeg});
        }
        return *m.dropJpegMetadata;
    }
    return ctx.askTwoChoices(Question{QuestionKind::DropGps, jpeg});
}

} // namespace

bool isJpegFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray start = file.read(3);
    return start == QByteArray("\xFF\xD8\xFF", 3);
}

std::optional<QString> jpegSearchSource(const WindowModel& m) {
    const QString& carrier = m.display.bmpPath;
    if (carrier.isEmpty()) {
        return std::nullopt;
    }
    const QString picture = carrier == m.convertedBmp      ? m.convertedPicture
                            : carrier == m.decodedWorkCopy ? m.decodedPicture
                                                           : QString();
    if (picture.isEmpty() || !isJpegFile(picture)) {
        return std::nullopt;
    }
    return picture;
}

bool jpegKeptAtChoice(const WindowModel& m, const QString& picture) {
    if (!isJpegFile(picture)) {
        return false;
    }
    const bool search = !m.hasState(state::DocumentChosen) && !m.code.isEmpty() &&
                        codeFault(m.code, true) == CodeFault::None;
    return m.stealthWanted || search;
}

std::optional<QString> jpegStealthCarrier(const WindowModel& m) {
    if (!m.stealthWanted || m.imageFormat) {
        return std::nullopt;
    }
    return jpegSearchSource(m);
}

QString jpegStealthOutputPath(const QString& folder, const QString& jpeg) {
    QString name = jpeg;
    QString base = BaseNameOf(name);
    if (base.isEmpty()) {
        QString whole = jpeg;
        base = FileNameOf(whole);
    }
    return folder + base + QStringLiteral(".jpg");
}

std::optional<QString> jpegStealthOutput(const WindowModel& m) {
    const std::optional<QString> jpeg = jpegStealthCarrier(m);
    return jpeg ? std::optional(jpegStealthOutputPath(m.embedOutputFolder, *jpeg)) : std::nullopt;
}

bool replacesJpegCarrier(const WindowModel& m, const QString& output) {
    const std::optional<QString> jpeg = jpegStealthCarrier(m);
    return jpeg && SameFile(output, *jpeg);
}

namespace {

JpegStealthFigures takeFiguresOf(WindowModel& m, const QString& jpeg,
                                 const std::optional<QByteArray>& bytes) {
    const JpegStealthFigures figures = bytes ? jpegStealthFigures(*bytes) : JpegStealthFigures{};
    m.jpegFiguresOf = jpeg;
    m.jpegCapacity = figures.capacity;
    m.jpegRecommended = figures.recommended;
    m.jpegNonZeroAc = figures.nonZeroAc;
    m.jpegGps = figures.gps;
    m.jpegFault = {};
    if (!figures.jpeg) {
        m.jpegFault = bytes ? jpegFaultOf(*bytes)
                            : JpegFault{Cause::JpegUnreadable, QStringLiteral("unreadable JPEG")};
    }
    return figures;
}

// Whether the frame is arithmetic coded: the markers up to the first frame header are walked,
// each step at least two bytes on, so a hostile file ends the walk at its own end.
bool arithmeticCoded(const QByteArray& file) {
    const auto at = [&file](qsizetype i) { return static_cast<uint8_t>(file[i]); };
    qsizetype i = 2;
    while (i + 4 <= file.size()) {
        if (at(i) != 0xFF) {
            return false;
        }
        const uint8_t marker = at(i + 1);
        if (marker == 0xFF) {
            ++i; // fill bytes
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            return marker >= 0xC9;
        }
        if (marker == 0xDA || marker == 0xD9) {
            return false;
        }
        const qsizetype length = (qsizetype{at(i + 2)} << 8) | at(i + 3);
        if (length < 2) {
            return false;
        }
        i += 2 + length;
    }
    return false;
}

} // namespace

JpegFault jpegFaultOf(const QByteArray& file) {
    JpegCoefficients coefficients;
    switch (coefficients.open(file)) {
    case JpegOpenStatus::Done:
        return {};
    case JpegOpenStatus::TooLarge:
        return {Cause::JpegTooLarge, QStringLiteral("too large a JPEG")};
    case JpegOpenStatus::TooManyScans:
        return {Cause::JpegTooManyScans, QStringLiteral("too many scans")};
    case JpegOpenStatus::NotJpeg:
        break;
    }
    if (arithmeticCoded(file)) {
        return {Cause::JpegArithmetic, QStringLiteral("arithmetic coded")};
    }
    return {Cause::JpegDamaged, QStringLiteral("damaged JPEG")};
}

QString jpegFaultWords(Cause kind) {
    if (kind == Cause::JpegUnreadable) {
        return QStringLiteral("it cannot be read, or is larger than %1 MB")
            .arg(kMostJpegFileBytes >> 20);
    }
    if (kind == Cause::JpegTooLarge) {
        return QStringLiteral(
                   "it is larger than Stealth takes in a JPEG (%1 million pixels, %2 MB)")
            .arg(kMostJpegPixels / 1000000)
            .arg(kMostJpegFileBytes >> 20);
    }
    if (kind == Cause::JpegTooManyScans) {
        return QStringLiteral("it is cut into more scans than its size warrants, which would take "
                              "too long to read");
    }
    if (kind == Cause::JpegArithmetic) {
        return QStringLiteral("it is arithmetic coded, and Stealth writes only Huffman-coded "
                              "JPEGs, the kind cameras and phones make");
    }
    if (kind == Cause::JpegDamaged) {
        return QStringLiteral("its compressed data is damaged or cut short");
    }
    return {};
}

QString jpegFaultClause(Cause kind) {
    const QString words = jpegFaultWords(kind);
    return words.isEmpty() ? QString() : QStringLiteral(": ") + words;
}

QString jpegFaultStatus(const WindowModel& m) {
    return m.jpegFault.brief.isEmpty() ? QString()
                                       : QStringLiteral("Embed max. 0: ") + m.jpegFault.brief;
}

QString jpegFaultNote(const WindowModel& m) {
    if (m.jpegFault.reason == Cause::None) {
        return {};
    }
    QString photo = m.jpegFiguresOf;
    return QStringLiteral("Embed max. 0: %1 cannot stay a JPEG under Stealth: %2. \"as PNG\" or "
                          "\"as BMP\" hides the document in its pixels instead.")
        .arg(FileNameOf(photo), jpegFaultWords(m.jpegFault.reason));
}

bool jpegCoefficientsOpen(const QString& jpeg) {
    const std::optional<QByteArray> bytes = readJpeg(jpeg);
    JpegCoefficients coefficients;
    return bytes && coefficients.open(*bytes) == JpegOpenStatus::Done;
}

void takeJpegFigures(WindowModel& m, const QString& jpeg) {
    if (m.jpegFiguresOf != jpeg) {
        takeFiguresOf(m, jpeg, readJpeg(jpeg));
    }
}

StealthOutcome EmbedJpegStealthImage(WorkflowContext& ctx, const QString& jpeg,
                                     std::shared_ptr<ReplacementFile> out) {
    WindowModel& m = ctx.model;
    StealthOutcome outcome;
    if (sealingCodeRefused(m.code)) {
        outcome.reason = Reason::CodeLength;
        return outcome;
    }
    auto job = std::make_shared<JpegEmbedJob>(codeSecret(m.code));
    const std::optional<QByteArray> carrier = readJpeg(jpeg);
    if (!carrier) {
        outcome.failure = protectionFailure(Reason::CannotOpen, jpeg);
        return outcome;
    }
    job->carrier = *carrier;
    if (!ReadStealthArchive(m, job->archive, outcome.failure)) {
        return outcome;
    }
    // The figures of the very bytes carried, not of the file as it was when chosen: it may have
    // been replaced since, and the GPS question must be about what the new image keeps.
    // A file Qt decodes may still be one the coefficient reader refuses (arithmetic coded, or
    // damaged past what a decoder makes up): that is said, not that the document is too large.
    if (!takeFiguresOf(m, jpeg, job->carrier).jpeg) {
        outcome.failure = protectionFailure(Reason::JpegUnreadable, jpeg, m.jpegFault.reason);
        return outcome;
    }
    const int64_t length = job->archive.size();
    if (length > m.jpegCapacity) {
        outcome.failure = tooLargeFailure(length, m.jpegCapacity);
        return outcome;
    }
    if (length > m.jpegRecommended && m.jpegRecommended != m.stealthAboveRateAgreed) {
        Notice above{NoticeKind::JpegStealthAboveRate, jpeg};
        above.detail =
            QStringLiteral("%1 %2 %3").arg(m.jpegRecommended).arg(length).arg(m.jpegNonZeroAc);
        ctx.notify(above);
    }
    const std::optional<bool> drop = dropMetadata(ctx, jpeg);
    if (!drop) {
        outcome.stopped = true;
        return outcome;
    }
    job->options.dropMetadata = *drop;
    job->cost = ctx.strongCost;
    job->out = std::move(out);
    if (!RunStealthJob(ctx, job, outcome)) {
        return outcome;
    }
    switch (job->made.status) {
    case JpegStealthStatus::Done:
        if (!job->written) {
            outcome.failure =
                notWritten(Reason::CannotWrite, job->out->target(), job->out->error());
        } else if (!job->readBack) {
            outcome.failure = protectionFailure(Reason::NotReadBack, job->out->target(),
                                                Cause::ReadBackAsWritten);
        } else {
            outcome.done = true;
        }
        break;
    case JpegStealthStatus::TooLarge:
        outcome.failure = tooLargeFailure(length, m.jpegCapacity);
        break;
    case JpegStealthStatus::NotJpeg:
        outcome.failure = protectionFailure(Reason::JpegUnreadable, jpeg);
        break;
    case JpegStealthStatus::NoMemory:
        outcome.failure = sealEndFailure(SealEnd::Unsupported, jpeg);
        break;
    default:
        outcome.failure = protectionFailure(Reason::NotReadBack, jpeg, Cause::ReadBackCoder);
        break;
    }
    return outcome;
}

StealthOutcome EmbedStealthCarrier(WorkflowContext& ctx, const QString& carrier,
                                   std::shared_ptr<ReplacementFile> out) {
    if (const auto jpeg = jpegStealthCarrier(ctx.model)) {
        return EmbedJpegStealthImage(ctx, *jpeg, std::move(out));
    }
    return EmbedStealthImage(ctx, carrier, std::move(out));
}

StealthOutcome SearchJpegStealthPayload(WorkflowContext& ctx, const QString& jpeg) {
    WindowModel& m = ctx.model;
    StealthOutcome outcome;
    auto job = std::make_shared<JpegSearchJob>(codeSecret(m.code));
    const std::optional<QByteArray> image = readJpeg(jpeg);
    if (!image) {
        outcome.failure = protectionFailure(Reason::CannotOpen, jpeg);
        return outcome;
    }
    job->image = *image;
    job->cost = ctx.strongCost;
    if (!job->code.valid()) {
        outcome.failure = sealEndFailure(SealEnd::Unsupported, jpeg);
        return outcome;
    }
    ctx.render();
    if (!finishedBesideEvents(ctx, job) || m.stopRequest) {
        outcome.stopped = true;
        return outcome;
    }
    switch (job->found.status) {
    case JpegStealthStatus::Done:
        outcome.done = LeaveStealthArchive(ctx, job->found.archive, outcome.failure);
        break;
    case JpegStealthStatus::Damaged:
        outcome.damaged = true;
        outcome.failure = sealEndFailure(SealEnd::Damaged, jpeg);
        break;
    case JpegStealthStatus::NoMemory:
        outcome.failure = sealEndFailure(SealEnd::Unsupported, jpeg);
        break;
    default:
        // A JPEG made again from its pixels, or never made by this program: nothing opens.
        outcome.notFound = true;
        outcome.failure = protectionFailure(Reason::NoDocumentForCode, jpeg);
        break;
    }
    return outcome;
}

} // namespace brindmar
