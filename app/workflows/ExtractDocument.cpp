#include "workflows/ExtractDocument.h"

#include "operations/DiskSpace.h"
#include "operations/ZipService.h"
#include "payload/FileDate.h"
#include "payload/PayloadHeaderReader.h"
#include "util/ConfirmReplace.h"
#include "util/NumericValue.h"
#include "util/PathHelpers.h"
#include "util/TrimBlanks.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EngineLoop.h"
#include "workflows/WindowReset.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace brindmar {

namespace {

constexpr size_t kPasswordNumberOffset = 18; // the last-write DOS time in the date field

int32_t saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

class ExtractRun {
public:
    explicit ExtractRun(WorkflowContext& ctx) : m_ctx(ctx), m_model(ctx.model) {}
    void run();

private:
    bool spaceChecked();
    LoopResult runEngine(const PayloadHeaderInfo& info);
    bool unpack(const PayloadHeaderInfo& info);
    // The message of a failed run; without a detail it is the bare headline.
    void report(TextId what, const QString& detail, bool withDetail = true);
    void failurePath();
    void cancelledPath();
    void succeed();

    WorkflowContext& m_ctx;
    WindowModel& m_model;
    QString m_carrier;
    QString m_target;
    QString m_engineOutput;
    bool m_targetStarted = false;
};

void ExtractRun::run() {
    WindowModel& m = m_model;
    m_carrier = trimBlanks(m.display.bmpPath);
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
    if (!info.payloadFound() || info.headerLength() > std::numeric_limits<int16_t>::max()) {
        report(TextId::ErrorDuringExtracting, {}, false);
        failurePath();
        return;
    }
    m_target = m.extractOutputFolder + info.documentName;
    if (ConfirmReplaceFile(m_target, 0, m_ctx.ui) > kReplaceDeleted) {
        cancelledPath();
        return;
    }
    const bool archived = info.status < PayloadStatus::DocumentAsIs;
    m_engineOutput = archived ? m_ctx.temporaryFolder + kWorkArchiveName : m_target;
    m.display.progress = 10;

    const LoopResult result = runEngine(info);
    switch (result.end) {
    case LoopEnd::Done:
        // Complete now: whatever fails from here on leaves the document where it is.
        m_targetStarted = false;
        break;
    case LoopEnd::Stopped:
        failurePath();
        return;
    case LoopEnd::Unavailable:
        report(TextId::ErrorDuringExtracting, {}, false);
        failurePath();
        return;
    case LoopEnd::Failed:
        report(TextId::ErrorDuringExtracting,
               extractFailureDetail(result.status, m_carrier, m_engineOutput));
        failurePath();
        return;
    }
    m.display.progress = 90;
    if (archived && !unpack(info)) {
        return;
    }
    // The stored times come back in every storage mode: an archive member carries the time of
    // whatever file was packed, which for a long name is the work copy.
    if (!WriteFileDate(m_ctx.platform, m_target, info.dateField)) {
        report(TextId::ErrorDuringExtracting,
               m_target + QStringLiteral(" - the original date/time could not be set"));
        failurePath();
        return;
    }
    succeed();
}

bool ExtractRun::spaceChecked() {
    if (m_carrier.isEmpty()) {
        return true;
    }
    const int64_t size = QFileInfo(m_carrier).size();
    if (size <= 0) {
        return true;
    }
    return CheckTempSpace(m_ctx.ui, m_ctx.platform, m_ctx.temporaryFolder, saturated(3 * size)) &&
           CheckOutputSpace(m_ctx.ui, m_ctx.platform, trimBlanks(m_model.extractOutputFolder),
                            saturated(size));
}

LoopResult ExtractRun::runEngine(const PayloadHeaderInfo& info) {
    const double rowBytes = info.rowBytes;
    const int16_t rowsPerBlock = blockRows(static_cast<int64_t>(100000.0 / rowBytes / 4) * 4);
    const double rows =
        std::trunc((static_cast<double>(info.documentLength) - info.dataOffset - 1) / rowBytes * 4);
    const auto blocks = static_cast<int64_t>(std::trunc(rows / rowsPerBlock)) + 1;
    const float step = 80.0f / static_cast<float>(std::max<int64_t>(blocks, 1));

    ExtractArgs args;
    args.rowsPerBlock = rowsPerBlock;
    args.dataOffset = info.dataOffset;
    args.rowBytes = info.rowBytes;
    args.docLength = info.documentLength;
    args.headerLength = static_cast<int16_t>(info.headerLength());
    args.carrierPath = m_carrier;
    args.outputPath = m_engineOutput;
    return runEngineBlocks(m_ctx, step, 10, [&](int16_t block, int32_t) {
        args.blockIndex = block;
        m_targetStarted = m_engineOutput == m_target;
        return m_ctx.engine.extract(args);
    });
}

bool ExtractRun::unpack(const PayloadHeaderInfo& info) {
    WindowModel& m = m_model;
    const bool encrypted = info.status == PayloadStatus::EncryptedArchive;
    // The work archive now holds this payload, not the chosen document's packing.
    m.setPacking(packing::PackedEncrypted, false);
    m.setPacking(packing::PackedCompressed, false);
    m.passwordNumber =
        encrypted ? static_cast<int32_t>(numericValue(
                        std::string_view(info.dateField).substr(kPasswordNumberOffset)))
                  : 0;
    // Into the private folder a member may replace the work copy left by an earlier run; into
    // the user's folder it never replaces a file: the only one the user agreed to lose is gone.
    const QString folder = info.substituteName ? m_ctx.temporaryFolder : m.extractOutputFolder;
    const int16_t option = info.substituteName ? kUnzipReplaceExisting : kUnzipKeepExisting;
    QString errorText;
    const TextId failure =
        encrypted ? TextId::ErrorDuringExtractDecrypt : TextId::ErrorDuringExtractUnzip;
    if (!UnzipDocument(m_ctx, m_ctx.temporaryFolder + kWorkArchiveName, folder, option, encrypted,
                       errorText)) {
        report(failure, errorText);
        failurePath();
        return false;
    }
    if (info.substituteName) {
        if (ConfirmReplaceFile(m_target, 0, m_ctx.ui) > kReplaceDeleted) {
            failurePath();
            return false;
        }
        if (!QFile::rename(m_ctx.temporaryFolder + kWorkCopyName, m_target)) {
            report(TextId::ErrorDuringExtracting, m_target + tr(TextId::CannotBeOpened));
            failurePath();
            return false;
        }
    }
    if (!FileExists(m_target)) {
        // The archive held no member of the name its header promised.
        report(failure, m_target + tr(TextId::CannotBeOpened));
        failurePath();
        return false;
    }
    return true;
}

void ExtractRun::report(TextId what, const QString& detail, bool withDetail) {
    normalPointer(m_ctx);
    QString text = tr(what);
    if (withDetail) {
        text += QStringLiteral("\n\n") + detail;
    }
    m_ctx.report(Sound::Error, tr(TextId::FileExtractTitle), text);
}

void ExtractRun::failurePath() {
    if (m_targetStarted) {
        removePartialOutput(m_target);
        m_targetStarted = false;
    }
    endRun(m_ctx, state::Extracting, true);
    WindowReset(m_ctx);
}

void ExtractRun::cancelledPath() {
    endRun(m_ctx, state::Extracting, false);
    m_ctx.render();
}

void ExtractRun::succeed() {
    runCompleted(m_ctx, animation::ExtractReady);
    m_ctx.report(Sound::Success, TextId::CompletionTitle, TextId::ExtractionSucceeded,
                 MessageIcon::None);
    endRun(m_ctx, state::Extracting, true);
    WindowReset(m_ctx);
}

} // namespace

QString extractFailureDetail(int32_t status, const QString& carrierPath,
                             const QString& outputPath) {
    QString detail;
    switch (status) {
    case -8:
        detail = carrierPath + tr(TextId::CannotBeOpened);
        break;
    case -9:
        detail = outputPath + tr(TextId::CannotBeOpened);
        break;
    case -6:
    case -10:
    case -11:
    case -12:
    case -13:
        detail = carrierPath + tr(TextId::AnInvalidFile);
        break;
    case -7:
        detail = outputPath + tr(TextId::AnInvalidFile);
        break;
    default:
        break;
    }
    return detail + QStringLiteral(" (%1)").arg(-int64_t{status});
}

void ExtractDocument(WorkflowContext& ctx) {
    ExtractRun(ctx).run();
}

bool UnzipDocument(WorkflowContext& ctx, const QString& packagePath, const QString& targetFolder,
                   int16_t unzipOption, bool encrypted, QString& errorText) {
    errorText.clear();
    const ZipStatus isZip = ctx.zip.ZSIsZIPFileQuick(packagePath);
    if (!isZip) {
        return false;
    }
    if (*isZip != 0) {
        errorText = QStringLiteral("Is not ZIP file");
        return false;
    }
    const std::string password =
        encrypted ? DeriveArchivePassword(ctx.model.storedCode, ctx.model.passwordNumber)
                  : std::string();
    const ZipStatus unzipped =
        ctx.zip.ZSUnzipFiles(packagePath, QStringLiteral("*.*"), targetFolder, unzipOption,
                             password);
    if (!unzipped) {
        return false;
    }
    if (*unzipped == 0) {
        return true;
    }
    errorText = unzipFailureText(*unzipped);
    return false;
}

} // namespace brindmar
