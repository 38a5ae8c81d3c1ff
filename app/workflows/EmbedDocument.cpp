#include "workflows/EmbedDocument.h"

#include "operations/DiskSpace.h"
#include "payload/BmpHeader.h"
#include "payload/CarrierNormalizer.h"
#include "payload/FileDate.h"
#include "payload/PayloadHeader.h"
#include "util/ConfirmReplace.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "util/ReplacementFile.h"
#include "util/TrimBlanks.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropGeometry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EmbeddedImageCommit.h"
#include "workflows/EngineLoop.h"
#include "workflows/ImageFormat.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/StrongProtection.h"
#include "workflows/WindowReset.h"
#include "workflows/WipeCommand.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace brindmar {

namespace {

const QString kEmbedTitle = QStringLiteral("File Embed");

// Width of the carrier's stored rows, padded to 4 bytes.
int64_t carrierRowStride(int64_t width, int bitCount) {
    return ((width * bitCount - 1) / 8 / 4 + 1) * 4;
}

QByteArray outputHeaders(int32_t width, int32_t height) {
    const auto bytes = formatBmpHeader(uncompressedBmpHeader(width, height, 24));
    return {reinterpret_cast<const char*>(bytes.data()), kBmpHeadersLength};
}

int32_t saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

// The 8-bit embedders' failures, moved out of the 24-bit one's code space.
EngineStatus shifted(EngineStatus status, int32_t by) {
    return status && *status < 0 ? EngineStatus(*status - by) : status;
}

bool fitsEngineSlot(int64_t value) {
    return value >= 0 && value <= std::numeric_limits<int16_t>::max();
}

// The carrier as the engine reads it: the user's file, or its uncompressed copy.
struct EngineCarrier {
    QString path;
    int32_t dataOffset = 0;
    bool compressed = false;
};

// What the engine is told about the crop: everything it takes in a 16-bit slot checked.
struct EngineGeometry {
    int64_t stride = 0;
    int64_t leftBytes = 0;
    int16_t rowsPerBlock = 0;
};

class EmbedRun {
public:
    explicit EmbedRun(WorkflowContext& ctx) : m_ctx(ctx), m_model(ctx.model) {}
    ~EmbedRun() { discardCopy(); }
    EmbedRun(const EmbedRun&) = delete;
    EmbedRun& operator=(const EmbedRun&) = delete;
    void run();

private:
    bool checksPassed();
    bool prepareOutput();
    bool documentReady();
    std::optional<EngineGeometry> engineGeometry(const CropArea& area, int64_t headerLength);
    bool chooseEngineCarrier();
    bool sealed(const std::string& header);
    void runStealth();
    void discardCopy();
    LoopResult runEngine(const CropArea& area, const EngineGeometry& geometry,
                         const QByteArray& header, const QString& output);
    // What every embedder takes alike.
    template <typename Args>
    void fillSharedArgs(Args& args, const CropArea& area, int16_t rowsPerBlock,
                        const QByteArray& header, const QString& output) const {
        args.rowsPerBlock = rowsPerBlock;
        args.dataOffset = static_cast<int16_t>(m_engineCarrier.dataOffset);
        args.cropBottomRows = static_cast<int16_t>(area.bottom);
        args.outWidth = area.width;
        args.rowCount = area.height;
        args.docLength = m_model.documentLength;
        args.header = header;
        args.carrierPath = m_engineCarrier.path;
        args.documentPath = m_sealed.isEmpty() ? m_model.storedDocumentPath : m_sealed;
        args.outputPath = output;
    }
    // Ends the run failed for why, which concerns the file about where it is not the carrier.
    void failWith(Reason why, const QString& about = {}, const QString& detail = {},
                  int64_t figure = 0);
    void failWith(Reason why, const QString& about, Cause cause);
    void failureExit(Ending ending, Reason reason);
    // Ends the run with an outcome the front end words.
    void concludeFailure(const Outcome& failed);
    // The run's end once its outcome is concluded.
    void runOver();
    void succeed(ReplacementFile& image);

    WorkflowContext& m_ctx;
    WindowModel& m_model;
    QString m_carrier;
    // What messages call the carrier: the user's PNG rather than its work copy.
    QString m_named;
    QString m_output;
    CarrierFacts m_facts;
    EngineCarrier m_engineCarrier;
    QString m_copy;   // the carrier's uncompressed copy, while there is one
    QString m_sealed; // the sealed document, under strong protection
    bool m_codeGiven = false;
};

void EmbedRun::run() {
    if (!checksPassed()) {
        // A shortage or a code refused has been concluded; otherwise the code asked again to
        // seal was not given.
        if (m_ctx.outcome.reason != Reason::None) {
            runOver();
        } else {
            failureExit(Ending::Refused, Reason::Declined);
        }
        return;
    }
    m_model.stopRequest = false;
    m_ctx.ui.setMousePointer(MousePointer::Hourglass);
    m_model.display.processCaption = kEmbedTitle;
    m_model.setState(state::Embedding, true);
    m_ctx.refresh();

    m_facts = InspectCarrier(m_ctx, inspect::Report, m_carrier);
    if (!prepareOutput() || !documentReady()) {
        return;
    }
    // A default folder is made only now; one that cannot be made fails as the image's writing.
    makeOutputFolder(m_model.embedOutputFolder);
    if (m_model.stealthWanted) {
        runStealth();
        return;
    }
    const uint8_t mode =
        (m_model.pointerMarks & pointer::Adjusted) != 0 ? kDrawnCropMode : m_model.cropMode;
    const std::optional<CropArea> area =
        cropGeometry(mode, m_model.imageWidth, m_model.imageHeight, m_model.carrierColourBytes,
                     m_model.payloadLength, m_model.crop);
    if (!area) {
        if (mode == kDrawnCropMode) {
            failWith(Reason::CropTooSmall);
        } else {
            failWith(Reason::DoesNotFit, {},
                     QStringLiteral("%1 %2")
                         .arg(m_model.documentLength)
                         .arg(m_model.carrierColourBytes / 4 - m_model.nameLength -
                              kPayloadHeaderFixedLength));
        }
        return;
    }
    const bool strong = m_model.hasPacking(packing::StrongWanted);
    const std::string header = strong ? composeSealedHeader(m_model.documentLength)
                                      : plainPayloadHeader(m_model, m_ctx.platform);
    const std::optional<EngineGeometry> geometry =
        engineGeometry(*area, static_cast<int64_t>(header.size()));
    if (!geometry || (strong && !sealed(header)) || !chooseEngineCarrier()) {
        return;
    }

    // The new image takes the place of an old one only once it is complete.
    ReplacementFile image(m_output);
    if (!image.isOpen() || !image.append(outputHeaders(area->width, area->height))) {
        concludeFailure(writeFailure(Task::Embed, m_named, m_output, image.error()));
        return;
    }
    m_ctx.letEventsRun();
    const LoopResult result =
        runEngine(*area, *geometry, QByteArray::fromStdString(header), image.writePath());
    discardCopy();
    switch (result.end) {
    case LoopEnd::Done:
        succeed(image);
        return;
    case LoopEnd::Stopped:
        failureExit(Ending::Stopped, Reason::None);
        return;
    case LoopEnd::Unavailable:
        failWith(Reason::EngineUnavailable, {}, m_ctx.engine.lastLoadError());
        return;
    case LoopEnd::Failed: {
        const int error = m_ctx.engine.lastSystemError();
        Outcome failed = Outcome::failed(embedFailureReason(error), m_named);
        failed.task = Task::Embed;
        describeEmbedFailure(failed, result.status, m_named, m_model.storedDocumentPath, m_output,
                             engineWriteError(error, m_ctx.platform, m_model.embedOutputFolder),
                             error);
        concludeFailure(failed);
        return;
    }
    }
}

bool EmbedRun::checksPassed() {
    m_carrier = trimBlanks(m_model.display.bmpPath);
    m_named = trimBlanks(shownImagePath(m_model));
    if (!m_carrier.isEmpty()) {
        const int64_t length = QFileInfo(m_carrier).size();
        if (length > 0) {
            const bool spaceShort =
                m_ctx.shortOfSpace(Task::Embed, m_named,
                                   TempSpaceShortage(m_ctx.platform, m_ctx.temporaryFolder,
                                                     saturated(3 * length))) ||
                m_ctx.shortOfSpace(Task::Embed, m_named,
                                   OutputSpaceShortage(m_ctx.platform,
                                                       trimBlanks(m_model.embedOutputFolder),
                                                       saturated(length)));
            if (spaceShort) {
                return false;
            }
        }
    }
    m_model.display.progress = 0;
    m_ctx.render();
    if (!codeCheck(m_ctx)) {
        return false;
    }
    if (m_model.hasPacking(packing::StrongWanted)) {
        if (sealingCodeRefused(m_model.code)) {
            Outcome refused = Outcome::refused(Reason::CodeLength, m_named);
            refused.task = Task::Seal;
            m_ctx.conclude(refused);
            m_model.requestFocus(FocusTarget::CodeBox);
            m_ctx.render();
            return false;
        }
        // Sealed under a mistyped code, the document would be lost; typed twice, it is not.
        if (!ConfirmSealingCode(m_ctx)) {
            return false;
        }
    }
    m_codeGiven = !m_model.code.isEmpty();
    return true;
}

bool EmbedRun::prepareOutput() {
    // A carrier that changed since it was chosen is judged again; one the engine cannot use
    // goes no further. The inspection has concluded why for a file it could not open or read,
    // or whose name is no BMP's; the rest is the embed's to tell.
    const bool usable =
        m_model.carrierCheckResult == validity::Usable &&
        ((m_facts.bitCount == 24 && m_facts.compression == 0) ||
         (m_facts.bitCount == 8 && (m_facts.compression == 0 || m_facts.compression == 1)));
    if (!usable) {
        if (m_ctx.outcome.reason != Reason::None) {
            normalPointer(m_ctx);
            runOver();
        } else {
            failWith(Reason::NotCarrier);
        }
        return false;
    }
    // A PNG carrier is named, and its format judged, by the PNG, not its work BMP.
    const QString chosen = shownImagePath(m_model);
    m_output = jpegStealthOutput(m_model).value_or(
        embedOutputPath(m_model.embedOutputFolder, chosen, outputFormatAsked(m_model)));
    if (NameTaken(m_output)) {
        normalPointer(m_ctx);
        if (SameFile(m_output, m_carrier) || SameFile(m_output, chosen) ||
            replacesJpegCarrier(m_model, m_output)) {
            m_ctx.conclude(Task::Embed, Ending::Refused, Reason::WouldReplaceCarrier, m_named);
            endRun(m_ctx, state::Embedding, true);
            m_ctx.render();
            return false;
        }
        // The old image stays until the new one is complete.
        if (ConfirmReplaceFile(m_output, kConfirmAskOnly, m_ctx.ui) > kReplaceDeleted) {
            failureExit(Ending::Refused, Reason::Exists);
            return false;
        }
        m_ctx.ui.setMousePointer(MousePointer::Hourglass);
    }
    return true;
}

bool EmbedRun::documentReady() {
    // A backslash is a separator where images are also read, and readers refuse control
    // characters in a name: such a document would be hidden, and never come back as it was.
    const QString name = exactFileName(m_model.documentPath);
    if (std::any_of(name.begin(), name.end(),
                    [](QChar c) { return c == u'\\' || c.unicode() < 0x20 || c == u'\x7f'; })) {
        failWith(Reason::NameNotKept, m_model.documentPath);
        return false;
    }
    // Encryption the command asked for is no choice to fall back from.
    const auto packingFailed = [this] {
        return (m_model.encryptRequired && !m_model.hasPacking(packing::PackedEncrypted)) ||
               (mustTravelPacked(m_model) && !m_model.hasPacking(packing::Packed));
    };
    if (!storedDocumentCurrent(m_model, m_ctx.temporaryFolder)) {
        m_ctx.letEventsRun();
        PackDocument(m_ctx, false);
        // A packing that failed outright is told below, in its own words.
        if (!storedDocumentCurrent(m_model, m_ctx.temporaryFolder) && !packingFailed()) {
            failWith(Reason::CannotRead, m_model.documentPath, Cause::AsChosen);
            return false;
        }
    }
    if (packingFailed()) {
        failWith(Reason::CannotRead, m_model.documentPath,
                 m_model.hasPacking(packing::StrongWanted)  ? Cause::SealPacking
                 : m_model.encryptRequired                  ? Cause::EncryptPacking
                 : m_model.hasOption(option::NameInArchive) ? Cause::NamePacking
                                                            : Cause::EmptyPacking);
        return false;
    }
    return true;
}

std::optional<EngineGeometry> EmbedRun::engineGeometry(const CropArea& area, int64_t headerLength) {
    EngineGeometry g;
    const int bitCount = m_facts.bitCount;
    g.stride = carrierRowStride(m_model.imageWidth, bitCount);
    g.leftBytes = area.left > 0 ? (int64_t{area.left} * bitCount - 1) / 8 + 1 : 0;
    const std::optional<int16_t> rows =
        blockRows(int64_t{3} * area.width, headerLength, area.height);
    // The engine takes these in 16-bit slots; an image they cannot describe is refused before
    // anything is written.
    const Cause limit = !fitsEngineSlot(m_facts.dataOffset) ? Cause::PixelsLimit
                        : !fitsEngineSlot(g.leftBytes) || !fitsEngineSlot(area.bottom)
                            ? Cause::CropLimit
                        : !rows ? Cause::WidthLimit
                                : Cause::None;
    if (limit != Cause::None) {
        failWith(Reason::EngineLimit, {}, limit);
        return std::nullopt;
    }
    g.rowsPerBlock = *rows;
    return g;
}

// An 8-bit carrier of a shape the engine does not read goes to it as an uncompressed copy of
// the same pixels, which the engine turns into the same image. A carrier it reads as it is goes
// straight through, so its images stay what they always were.
bool EmbedRun::chooseEngineCarrier() {
    m_engineCarrier = {m_carrier, m_facts.dataOffset, m_facts.compression != 0};
    if (m_facts.bitCount != 8) {
        return true;
    }
    const Indexed8Plan plan = planIndexed8Carrier(m_carrier);
    CarrierFault fault = plan.fault;
    if (plan.route == Indexed8Route::AsIs) {
        return true;
    }
    if (plan.route == Indexed8Route::Convert) {
        if (m_ctx.shortOfSpace(Task::Embed, m_named,
                               TempSpaceShortage(m_ctx.platform, m_ctx.temporaryFolder,
                                                 saturated(plan.convertedBytes)))) {
            runOver();
            return false;
        }
        const QString copy = m_copy = m_ctx.temporaryFolder + kWorkCarrierName;
        const ConversionResult made = writeUncompressedIndexed8(m_carrier, copy, [this] {
            m_ctx.letEventsRun();
            return !m_model.stopRequest;
        });
        if (made.end == ConversionEnd::Written) {
            m_engineCarrier = {copy, made.dataOffset, false};
            return true;
        }
        discardCopy();
        if (made.end == ConversionEnd::Stopped) {
            failureExit(Ending::Stopped, Reason::None);
            return false;
        }
        if (made.end == ConversionEnd::WriteFailed) {
            concludeFailure(writeFailure(Task::Embed, m_named, copy, made.error));
            return false;
        }
        fault = made.fault;
    }
    failWith(Reason::NotCarrier, {}, {}, static_cast<int64_t>(fault));
    return false;
}

bool EmbedRun::sealed(const std::string& header) {
    m_model.display.progress = 10;
    m_ctx.render();
    const SealOutcome outcome = SealForEmbed(m_ctx, header);
    if (outcome.done) {
        m_sealed = m_ctx.temporaryFolder + kSealedWorkName;
        return true;
    }
    if (outcome.stopped) {
        normalPointer(m_ctx);
        failureExit(Ending::Stopped, Reason::None);
    } else if (outcome.reason == Reason::CodeLength) {
        concludeFailure(sealingCodeFailure(m_named));
    } else {
        concludeFailure(failedIn(Task::Embed, m_named, outcome.failure));
    }
    return false;
}

// The coder writes the whole image, the carrier's size, into the output's replacement file and
// reads it back meanwhile; the new image takes an old one's place only once both are done.
void EmbedRun::runStealth() {
    const auto image = std::make_shared<ReplacementFile>(m_output);
    if (!image->isOpen()) {
        concludeFailure(writeFailure(Task::Embed, m_named, m_output, image->error()));
        return;
    }
    const StealthOutcome made = EmbedStealthCarrier(m_ctx, m_carrier, image);
    if (made.stopped) {
        normalPointer(m_ctx);
        failureExit(Ending::Stopped, Reason::None);
        return;
    }
    if (!made.done) {
        made.reason == Reason::CodeLength
            ? concludeFailure(sealingCodeFailure(m_named))
            : concludeFailure(failedIn(Task::Embed, m_named, made.failure));
        return;
    }
    // A PNG's read-back compares what it opens with the archive, which goes once the run is
    // over, however it ended (the window's reset forgets that the archive was sealed).
    succeed(*image);
    if (const QString archive = m_ctx.temporaryFolder + kWorkArchiveName;
        QFileInfo::exists(archive)) {
        DiscardWorkFile(m_ctx, archive);
    }
}

// The copies go when the run ends, however it ends; so does the archive a seal was made from,
// which is the document in the clear (the next embed packs it again).
void EmbedRun::discardCopy() {
    if (m_model.hasPacking(packing::PackedForSeal) &&
        QFileInfo::exists(m_ctx.temporaryFolder + kWorkArchiveName)) {
        DiscardWorkFile(m_ctx, m_ctx.temporaryFolder + kWorkArchiveName);
    }
    for (QString* copy : {&m_copy, &m_sealed}) {
        if (copy->isEmpty()) {
            continue;
        }
        DiscardWorkFile(m_ctx, *copy);
        copy->clear();
    }
}

LoopResult EmbedRun::runEngine(const CropArea& area, const EngineGeometry& geometry,
                               const QByteArray& header, const QString& output) {
    const WindowModel& m = m_model;
    m_model.display.progress = 20;
    const int16_t rowsPerBlock = geometry.rowsPerBlock;
    const float step = 80.0f / static_cast<float>((area.height - 1) / rowsPerBlock + 1);
    const int bitCount = m_facts.bitCount;

    if (!m_engineCarrier.compressed) {
        UncompressedEmbedArgs args;
        fillSharedArgs(args, area, rowsPerBlock, header, output);
        args.cropLeftBytes = static_cast<int16_t>(geometry.leftBytes);
        args.rowStride = static_cast<int32_t>(geometry.stride);
        const bool wide = bitCount == 24;
        return runEngineBlocks(m_ctx, step, 20, [&](int16_t block, int32_t) {
            args.blockIndex = block;
            return wide ? m_ctx.engine.embed24(args) : shifted(m_ctx.engine.embed80(args), 20);
        });
    }
    Rle8EmbedArgs args;
    fillSharedArgs(args, area, rowsPerBlock, header, output);
    args.cropLeftPixels = static_cast<int16_t>(area.left);
    args.imageWidth = m.imageWidth;
    return runEngineBlocks(m_ctx, step, 20, [&](int16_t block, int32_t previous) {
        args.blockIndex = block;
        args.resumePos = block == 0 ? 0 : previous;
        return shifted(m_ctx.engine.embed81(args), 40);
    });
}

void EmbedRun::failWith(Reason why, const QString& about, const QString& detail, int64_t figure) {
    Outcome failed = Outcome::failed(why, m_named, detail);
    failed.task = Task::Embed;
    failed.about = about;
    failed.figure = figure;
    concludeFailure(failed);
}

void EmbedRun::failWith(Reason why, const QString& about, Cause cause) {
    Outcome failed = Outcome::failed(why, m_named, cause);
    failed.task = Task::Embed;
    failed.about = about;
    concludeFailure(failed);
}

void EmbedRun::concludeFailure(const Outcome& failed) {
    normalPointer(m_ctx);
    m_ctx.conclude(failed);
    runOver();
}

void EmbedRun::failureExit(Ending ending, Reason reason) {
    m_ctx.ended(ending, reason, m_named);
    runOver();
}

void EmbedRun::runOver() {
    endRun(m_ctx, state::Embedding, true);
    m_ctx.render();
}

void EmbedRun::succeed(ReplacementFile& image) {
    WindowModel& m = m_model;
    // A PNG is made from the finished BMP, which goes with image.
    const bool png = m_output.endsWith(u".png");
    bool timesKept = true;
    const QString carrier = shownImagePath(m);
    const std::string date =
        m.display.keepTimesChecked ? ReadFileDate(m_ctx.platform, carrier) : std::string();
    if (!png && m.display.keepTimesChecked) {
        timesKept = KeepFileDate(m_ctx.platform, carrier, date, image.writePath());
    }
    // The original is offered for wiping after an embed: the new image must give the document
    // back with this code before it takes any file's place.
    if (m.hasPacking(packing::StrongWanted) && !m.stealthWanted) {
        const SealOutcome check = VerifySealedImage(m_ctx, image.writePath());
        if (check.stopped) {
            normalPointer(m_ctx);
            failureExit(Ending::Stopped, Reason::None);
            return;
        }
        if (!check.done) {
            concludeFailure(failedIn(Task::Embed, m_named, check.failure, m_output));
            return;
        }
    }
    const ImageCommit committed = CommitEmbeddedImage(m_ctx, image, m_output);
    if (committed.stopped) {
        normalPointer(m_ctx);
        failureExit(Ending::Stopped, Reason::None);
        return;
    }
    if (committed.reason == Reason::CannotWrite) {
        concludeFailure(
            writeFailure(Task::Embed, m_named, m_output, committed.error, committed.failure));
        return;
    }
    if (committed.readBack.reason != Reason::None) {
        concludeFailure(failedIn(Task::Embed, m_named, committed.readBack, m_output));
        return;
    }
    if (png && m.display.keepTimesChecked) {
        timesKept = KeepFileDate(m_ctx.platform, carrier, date, m_output);
    }
    if (!timesKept) {
        // The image is complete and stays; only its times are not the carrier's.
        concludeFailure(timesNotKept(Task::Embed, m_named, m_output));
        return;
    }
    runCompleted(m_ctx, animation::EmbedReady);
    m_ctx.outcome.written = QStringList{m_output};
    m_ctx.outcome.codeGiven = m_codeGiven;
    m_ctx.conclude(Task::Embed, Ending::Done, Reason::None, m_named);
    m.setOption(option::JustEmbedded, true);
    endRun(m_ctx, state::Embedding, true);
    WindowReset(m_ctx);
}

} // namespace

Outcome EmbedDocument(WorkflowContext& ctx) {
    ctx.outcome = Outcome{};
    EmbedRun(ctx).run();
    return ctx.outcome;
}

} // namespace brindmar
