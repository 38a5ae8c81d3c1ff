#include "workflows/ExtractDocument.h"

#include "operations/DiskSpace.h"
#include "operations/WipeFile.h"
#include "operations/ZipService.h"
#include "payload/FileDate.h"
#include "payload/PayloadHeaderReader.h"
#include "util/ConfirmReplace.h"
#include "util/NumericValue.h"
#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "util/ReplacementFile.h"
#include "util/TrimBlanks.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EmbedDocument.h"
#include "workflows/EngineLoop.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/StrongProtection.h"
#include "workflows/WindowReset.h"
#include "workflows/WipeCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace brindmar {

namespace {

constexpr size_t kPasswordNumberOffset = 18; // the last-write DOS time in the date field
// Where an archive is unpacked before its document is put in place: inside the private folder.
const QString kStagingFolderName = QStringLiteral("unpacked/");

int32_t saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

class ExtractRun {
public:
    explicit ExtractRun(WorkflowContext& ctx) : m_ctx(ctx), m_model(ctx.model) {}
    void run();

private:
    bool spaceChecked();
    // The same-file refusal and the overwrite question; the user's old file stays until the new
    // one is complete. False when the run must not write the target.
    bool targetAgreed(bool afterUnpacking);
    LoopResult runEngine(const PayloadHeaderInfo& info, int16_t rowsPerBlock,
                         const QString& output);
    bool unsealed(const PayloadHeaderInfo& info);
    void searchStealth();
    std::optional<QString> unpack(const PayloadHeaderInfo& info);
    bool install(const QString& staged, const PayloadHeaderInfo& info);
    void ended(Ending ending, Reason reason, int error = 0) {
        m_ctx.ended(ending, reason, m_named, error);
    }
    // The failures after the engine: the target could not take the document, or its times.
    void targetNotWritten(int error);
    void timesNotSet();
    // Ends the run with an outcome the front end words.
    void concludeFailure(const Outcome& failed);
    // Has the front end word why a seal or a stealth search did not open; refused, when only
    // the code may be wrong. The caller ends the run.
    void concludeProtectionFailure(Outcome failed, bool refused) {
        failed.task = Task::Extract;
        failed.subject = m_named;
        failed.ending = refused ? Ending::Refused : Ending::Failed;
        normalPointer(m_ctx);
        m_ctx.conclude(failed);
    }
    // What an engine failure says about the files: a read, a write, or an image it cannot follow.
    void endedByEngine(int32_t status) {
        const int error = m_ctx.engine.lastSystemError();
        ended(Ending::Failed,
              status == -14  ? (error == ENOSPC ? Reason::DiskFull : Reason::CannotWrite)
              : status == -8 ? Reason::CannotRead
              : status == -13 && error != 0 ? Reason::CannotRead
              : status == -9                ? Reason::CannotWrite
                                            : Reason::Damaged,
              error);
    }
    void discardStaging();
    void failurePath();
    void cancelledPath();
    void succeed();

    WorkflowContext& m_ctx;
    WindowModel& m_model;
    QString m_carrier;
    // What messages call the image: the user's PNG rather than its work copy.
    QString m_named;
    QString m_target;
    QString m_staging;
};

void ExtractRun::run() {
    WindowModel& m = m_model;
    m_carrier = trimBlanks(m.display.bmpPath);
    m_named = trimBlanks(shownImagePath(m));
    m_staging = m_ctx.temporaryFolder + kStagingFolderName;
    if (!spaceChecked()) {
        return;
    }
    m.stopRequest = false;
    m.display.progress = 0;
    m_ctx.ui.setMousePointer(MousePointer::Hourglass);
    m.display.processCaption = tr(TextId::FileExtractTitle);
    m.setState(state::Extracting, true);
    m_ctx.refresh();

    const PayloadHeaderInfo info = ReadPayloadHeader(m_carrier, m.code);
    if (info.storedCode) {
        m.storedCode = *info.storedCode;
    }
    // The image may have changed since it was chosen; only a payload that still opens with the
    // code is extracted, and only one whose header the engine can be told about.
    const int64_t rowsNeeded =
        info.rowBytes > 0 ? (int64_t{4} * (int64_t{info.headerLength()} + info.documentLength) +
                             info.rowBytes - 1) /
                                info.rowBytes
                          : 0;
    const std::optional<int16_t> rowsPerBlock =
        blockRows(info.rowBytes, info.headerLength(), rowsNeeded);
    if (info.status == PayloadStatus::ReadError) {
        Outcome unread = Outcome::failed(Reason::CannotRead, m_named);
        unread.task = Task::Extract;
        unread.error = info.readError;
        concludeFailure(unread);
        return;
    }
    if (!info.payloadFound() && stealthSearchOffered(m)) {
        searchStealth();
        return;
    }
    if (!info.payloadFound() || info.headerLength() > std::numeric_limits<int16_t>::max() ||
        !rowsPerBlock) {
        Outcome failed =
            Outcome::failed(info.payloadFound() ? Reason::Damaged : Reason::NoPayload, m_named);
        failed.task = Task::Extract;
        concludeFailure(failed);
        return;
    }
    // Without a code there is nothing to derive a key from; the derivation is not worth
    // waiting for.
    if (info.sealed && trimBlanks(m.code).isEmpty()) {
        normalPointer(m_ctx);
        Outcome refused = Outcome::refused(Reason::CodeNeeded, m_named, Cause::Sealed);
        refused.task = Task::Extract;
        m_ctx.conclude(refused);
        m.requestFocus(FocusTarget::CodeBox);
        cancelledPath();
        return;
    }
    const bool archived = info.status < PayloadStatus::DocumentAsIs;
    // A name only the archive carries is known once it is unpacked; it is asked about then.
    const bool nameKnown = !(archived && info.nameInArchive);
    if (nameKnown) {
        m_target = m.extractOutputFolder + info.documentName;
        if (!targetAgreed(false)) {
            return;
        }
    }
    // A default folder is made only now; one that cannot be made fails as the document's writing.
    makeOutputFolder(m.extractOutputFolder);
    std::optional<ReplacementFile> direct;
    QString engineOutput =
        m_ctx.temporaryFolder + (info.sealed ? kSealedWorkName : kWorkArchiveName);
    if (!archived) {
        direct.emplace(m_target, ReplacementFile::NewMode::Private);
        if (!direct->isOpen()) {
            targetNotWritten(direct->error());
            return;
        }
        engineOutput = direct->writePath();
    }
    m.display.progress = 10;

    const LoopResult result = runEngine(info, *rowsPerBlock, engineOutput);
    switch (result.end) {
    case LoopEnd::Done:
        break;
    case LoopEnd::Stopped:
        ended(Ending::Stopped, Reason::None);
        failurePath();
        return;
    case LoopEnd::Unavailable: {
        Outcome unavailable =
            Outcome::failed(Reason::EngineUnavailable, m_named, m_ctx.engine.lastLoadError());
        unavailable.task = Task::Extract;
        concludeFailure(unavailable);
        return;
    }
    case LoopEnd::Failed: {
        endedByEngine(result.status);
        const int error = m_ctx.engine.lastSystemError();
        Outcome failed = m_ctx.outcome;
        failed.task = Task::Extract;
        describeExtractFailure(
            failed, result.status, m_named, archived ? engineOutput : m_target,
            engineWriteError(error, m_ctx.platform,
                             archived ? m_ctx.temporaryFolder : m.extractOutputFolder),
            error);
        normalPointer(m_ctx);
        m_ctx.conclude(failed);
        failurePath();
        return;
    }
    }
    m.display.progress = 90;
    if (info.sealed && !unsealed(info)) {
        return;
    }
    if (archived) {
        const std::optional<QString> staged = unpack(info);
        if (info.sealed) {
            // The unsealed archive is the document in the clear; it goes as soon as it is read,
            // removed even where it could not be overwritten.
            DiscardWorkFile(m_ctx, m_ctx.temporaryFolder + kWorkArchiveName);
        }
        if (!staged || !install(*staged, info)) {
            return;
        }
    } else {
        // The stored times come back with the document, before it takes the old one's place.
        const bool timesKept = WriteFileDate(m_ctx.platform, direct->writePath(), info.dateField);
        if (!direct->commit()) {
            targetNotWritten(direct->error());
            return;
        }
        if (!timesKept) {
            timesNotSet();
            return;
        }
    }
    succeed();
}

bool ExtractRun::spaceChecked() {
    if (m_carrier.isEmpty()) {
        return true;
    }
    // What is written is the document the header announces, not the image around it.
    const PayloadHeaderInfo info = ReadPayloadHeader(m_carrier, m_model.code);
    const int64_t size = info.payloadFound() ? int64_t{info.documentLength} : 0;
    if (size <= 0) {
        return true;
    }
    return !m_ctx.shortOfSpace(
               Task::Extract, m_named,
               TempSpaceShortage(m_ctx.platform, m_ctx.temporaryFolder, saturated(3 * size))) &&
           !m_ctx.shortOfSpace(Task::Extract, m_named,
                               OutputSpaceShortage(m_ctx.platform,
                                                   trimBlanks(m_model.extractOutputFolder),
                                                   saturated(size)));
}

bool ExtractRun::targetAgreed(bool afterUnpacking) {
    if (SameFile(m_target, m_carrier)) {
        // Answering yes would lose the image before the document is out of it.
        normalPointer(m_ctx);
        m_ctx.conclude(Task::Extract, Ending::Refused, Reason::WouldReplaceCarrier, m_named);
        afterUnpacking ? failurePath() : cancelledPath();
        return false;
    }
    if (ConfirmReplaceFile(m_target, kConfirmAskOnly, m_ctx.ui) > kReplaceDeleted) {
        ended(Ending::Refused, Reason::Exists);
        afterUnpacking ? failurePath() : cancelledPath();
        return false;
    }
    return true;
}

LoopResult ExtractRun::runEngine(const PayloadHeaderInfo& info, int16_t rowsPerBlock,
                                 const QString& output) {
    const double rowBytes = info.rowBytes;
    const double rows =
        std::trunc((static_cast<double>(info.documentLength) - info.dataOffset - 1) / rowBytes * 4);
    const auto blocks = static_cast<int64_t>(std::trunc(rows / rowsPerBlock)) + 1;
    const float step = 80.0f / static_cast<float>(std::max<int64_t>(blocks, 1));

    return extractPayloadBlocks(m_ctx, info, rowsPerBlock, m_carrier, output, step, 10);
}

bool ExtractRun::unsealed(const PayloadHeaderInfo& info) {
    m_ctx.render();
    const SealOutcome outcome = OpenSealedPayload(m_ctx, info, m_named);
    if (outcome.done) {
        return true;
    }
    if (outcome.stopped) {
        ended(Ending::Stopped, Reason::None);
        failurePath();
        return false;
    }
    concludeProtectionFailure(outcome.failure, outcome.wrongCode);
    if (outcome.wrongCode) {
        // The image stays chosen, so that the right code can be typed and tried at once.
        m_model.requestFocus(FocusTarget::CodeBox);
        discardStaging();
        cancelledPath();
    } else {
        failurePath();
    }
    return false;
}

void ExtractRun::searchStealth() {
    m_model.display.progress = 10;
    const StealthOutcome found = SearchStealthPayload(m_ctx, m_carrier);
    if (!found.done) {
        if (found.stopped) {
            ended(Ending::Stopped, Reason::None);
            failurePath();
            return;
        }
        concludeProtectionFailure(found.failure, found.notFound);
        if (found.notFound) {
            // The image stays chosen, so that another code can be typed and tried at once.
            m_model.requestFocus(FocusTarget::CodeBox);
            cancelledPath();
        } else {
            failurePath();
        }
        return;
    }
    m_model.display.progress = 90;
    // The archive carries the name and the times, as a sealed one does.
    PayloadHeaderInfo info;
    info.status = PayloadStatus::CompressedArchive;
    info.nameInArchive = true;
    const std::optional<QString> staged = unpack(info);
    DiscardWorkFile(m_ctx, m_ctx.temporaryFolder + kWorkArchiveName);
    if (staged && install(*staged, info)) {
        succeed();
    }
}

std::optional<QString> ExtractRun::unpack(const PayloadHeaderInfo& info) {
    WindowModel& m = m_model;
    const bool encrypted = info.status == PayloadStatus::EncryptedArchive;
    // The work archive now holds this payload, not the chosen document's packing.
    m.setPacking(packing::PackedEncrypted, false);
    m.setPacking(packing::PackedCompressed, false);
    m.setPacking(packing::PackedForSeal, false);
    m.passwordNumber = encrypted
                           ? static_cast<int32_t>(numericValue(
                                 std::string_view(info.dateField).substr(kPasswordNumberOffset)))
                           : 0;
    // The file it failed on, or what the zip service said.
    const auto failed = [&](Reason reason, const QString& file, const ZipFailure& zip = {}) {
        Outcome unpacked =
            Outcome::failed(reason, m_named, encrypted ? Cause::Decrypting : Cause::Unzipping);
        unpacked.task = Task::Extract;
        unpacked.about = file;
        describeZipFailure(unpacked, zip);
        concludeFailure(unpacked);
    };
    // Unpacked in the private folder first: the user's folder sees only the finished document,
    // and only under the name it will keep.
    discardStaging();
    if (!QDir().mkpath(m_staging)) {
        failed(Reason::CannotWrite, m_staging);
        return std::nullopt;
    }
    ZipFailure zip;
    if (!UnzipDocument(m_ctx, m_ctx.temporaryFolder + kWorkArchiveName, m_staging,
                       kUnzipReplaceExisting, encrypted, zip)) {
        failed(Reason::Damaged, {}, zip);
        return std::nullopt;
    }
    const QFileInfoList members = QDir(m_staging).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const bool one = members.size() == 1 && members[0].isFile() && !members[0].isSymLink();
    const QString member = one ? members[0].fileName() : QString();
    const QString name =
        info.nameInArchive && one ? safeDocumentName(member, true) : info.documentName;
    m_target = m.extractOutputFolder + name;
    // A member under the work copy's name stands for the header's name; any other must be it.
    if (!one || !(info.nameInArchive || info.substituteName || member == name)) {
        // The archive held no member of the name its header promised.
        failed(Reason::Damaged, m_target);
        return std::nullopt;
    }
    if (info.nameInArchive && !targetAgreed(true)) {
        return std::nullopt;
    }
    return members[0].filePath();
}

bool ExtractRun::install(const QString& staged, const PayloadHeaderInfo& info) {
    const bool timesKept = WriteFileDate(m_ctx.platform, staged, info.dateField);
    int error = moveIntoPlace(staged, m_target);
    if (error == EXDEV) {
        // The private folder lies on another file system: the document is copied across, and
        // takes the old one's place only once complete.
        ReplacementFile copy(m_target, ReplacementFile::NewMode::Private);
        error = 0;
        if (!copy.isOpen() || !copy.appendFile(staged) ||
            !WriteFileDate(m_ctx.platform, copy.writePath(), info.dateField) || !copy.commit()) {
            error = copy.error() != 0 ? copy.error() : EIO;
        }
    }
    if (error != 0) {
        targetNotWritten(error);
        return false;
    }
    discardStaging();
    if (!timesKept) {
        timesNotSet();
        return false;
    }
    return true;
}

void ExtractRun::targetNotWritten(int error) {
    concludeFailure(writeFailure(Task::Extract, m_named, m_target, error));
}

void ExtractRun::timesNotSet() {
    // The document is complete and stays; only its times are not the stored ones.
    concludeFailure(timesNotKept(Task::Extract, m_named, m_target));
}

void ExtractRun::concludeFailure(const Outcome& failed) {
    normalPointer(m_ctx);
    m_ctx.conclude(failed);
    failurePath();
}

void ExtractRun::discardStaging() {
    DiscardUnpacked(m_ctx);
}

void ExtractRun::failurePath() {
    discardStaging();
    endRun(m_ctx, state::Extracting, true);
    WindowReset(m_ctx);
}

void ExtractRun::cancelledPath() {
    endRun(m_ctx, state::Extracting, false);
    m_ctx.render();
}

void ExtractRun::succeed() {
    m_ctx.outcome.written = QStringList{m_target};
    runCompleted(m_ctx, animation::ExtractReady);
    m_ctx.conclude(Task::Extract, Ending::Done, Reason::None, m_named);
    endRun(m_ctx, state::Extracting, true);
    WindowReset(m_ctx);
}

} // namespace

void describeExtractFailure(Outcome& outcome, int32_t status, const QString& carrierPath,
                            const QString& outputPath, int writeError, int systemError) {
    outcome.figure = -int64_t{status};
    outcome.error = systemError;
    outcome.fault = Fault::Invalid;
    outcome.about.clear();
    if (status == -13 && systemError != 0) {
        outcome.about = carrierPath;
        outcome.fault = Fault::CannotRead;
        return;
    }
    switch (status) {
    case -14:
        outcome.about = outputPath;
        outcome.fault = Fault::CannotWrite;
        outcome.error = writeError;
        break;
    case -8:
        outcome.about = carrierPath;
        outcome.fault = Fault::CannotOpen;
        break;
    case -9:
        outcome.about = outputPath;
        outcome.fault = Fault::CannotOpen;
        break;
    case -6:
    case -10:
    case -11:
    case -12:
    case -13:
        outcome.about = carrierPath;
        break;
    case -7:
        outcome.about = outputPath;
        break;
    default:
        break;
    }
}

void DiscardUnpacked(WorkflowContext& ctx) {
    const QString folder = ctx.temporaryFolder + kStagingFolderName;
    const QDir staging(folder);
    if (ctx.temporaryFolder.isEmpty() || !staging.exists()) {
        return;
    }
    // An unpacked document is as private as the archive it came from.
    for (const QFileInfo& file : staging.entryInfoList(QDir::Files | QDir::Hidden)) {
        WipeAndDeleteFile(file.filePath(), kWipeQuietly, ctx.engine, ctx.ui, {});
    }
    QDir(folder).removeRecursively();
}

Outcome ExtractDocument(WorkflowContext& ctx) {
    ctx.outcome = Outcome{};
    ExtractRun(ctx).run();
    return ctx.outcome;
}

bool UnzipDocument(WorkflowContext& ctx, const QString& packagePath, const QString& targetFolder,
                   int16_t unzipOption, bool encrypted, ZipFailure& failure) {
    failure = {};
    const ZipStatus isZip = ctx.zip.ZSIsZIPFileQuick(packagePath);
    if (!isZip) {
        return false;
    }
    if (*isZip != 0) {
        failure.fault = Fault::NotZip;
        return false;
    }
    const std::string password =
        encrypted ? DeriveArchivePassword(ctx.model.storedCode, ctx.model.passwordNumber)
                  : std::string();
    const ZipStatus unzipped = ctx.zip.ZSUnzipFiles(packagePath, QStringLiteral("*.*"),
                                                    targetFolder, unzipOption, password);
    if (!unzipped) {
        return false;
    }
    if (*unzipped == 0) {
        return true;
    }
    failure = {Fault::Unzipping, *unzipped, ctx.zip.lastSystemError()};
    return false;
}

} // namespace brindmar
