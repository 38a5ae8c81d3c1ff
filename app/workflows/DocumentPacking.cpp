#include "workflows/DocumentPacking.h"

#include "operations/ZipService.h"
#include "payload/CodeScrambler.h"
#include "payload/CodeText.h"
#include "payload/FileDate.h"
#include "payload/SixBitCodec.h"
#include "protection/StrongSeal.h"
#include "util/ConfirmReplace.h"
#include "util/NumericValue.h"
#include "util/ReplacementFile.h"
#include "util/TrimBlanks.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CodeEntry.h"
#include "workflows/CommandRefresh.h"
#include "workflows/CropChoice.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WindowReset.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace brindmar {

namespace {

// Archive members keep names of at most 12 characters; longer ones travel under the copy's name.
constexpr qsizetype kLongestMemberName = 12;
constexpr int kPasswordSteps = 57;
constexpr int kKeyTableLength = 181;
constexpr int kPasswordNumberOffset = 18; // the last-write DOS time in the date field

int32_t saturated(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

int32_t fileLength(const QString& path) {
    return saturated(QFileInfo(path).size());
}

// The packing failed, and the embed goes on without it: the document is stored as it is, or,
// asked to be sealed, it is not embedded at all.
void noticePackingFailure(WorkflowContext& ctx, bool encrypt, bool strong,
                          const ZipFailure& failure) {
    Notice notice;
    notice.kind = strong                                 ? NoticeKind::NotSealed
                  : encrypt && ctx.model.encryptRequired ? NoticeKind::NotEncrypted
                  : encrypt                              ? NoticeKind::StoredUnencrypted
                                                         : NoticeKind::StoredUnpacked;
    notice.subject = ctx.model.documentPath;
    notice.fault = failure.fault;
    notice.figure = failure.status;
    notice.error = failure.error;
    normalPointer(ctx);
    ctx.notify(notice);
    ctx.ui.setMousePointer(MousePointer::Hourglass);
}

} // namespace

std::string DeriveArchivePassword(const QString& code, int32_t passwordNumber) {
    const QByteArray trimmed = trimBlanks(code).toLatin1();
    const std::string_view table = CodeKeyTable();
    const int start = passwordNumber % 11;
    std::string out;
    if (trimmed.isEmpty()) {
        return EncodeSixBit(out);
    }
    int i = 0;
    int t = 0;
    for (int step = 0; step < kPasswordSteps; ++step) {
        t += start + static_cast<unsigned char>(trimmed[i]);
        if (t > kKeyTableLength) {
            t = t % kKeyTableLength + 1;
        }
        // Only a code of control characters with a negative start could step below the table;
        // it wraps the same way, so the writer and the reader still agree.
        if (t < 1) {
            t = (t % kKeyTableLength + kKeyTableLength) % kKeyTableLength + 1;
        }
        out += table[static_cast<size_t>(t - 1)];
        if (++i >= trimmed.size()) {
            i = 0;
        }
    }
    return EncodeSixBit(out);
}

void describeZipFailure(Outcome& outcome, const ZipFailure& failure) {
    if (failure.fault == Fault::None) {
        return;
    }
    outcome.fault = failure.fault;
    outcome.figure = failure.status;
    outcome.error = failure.error;
}

bool ZipDocument(WorkflowContext& ctx, const QString& documentPath, const QString& archivePath,
                 bool encrypted, ZipFailure& failure) {
    failure = {};
    const std::string password =
        encrypted ? DeriveArchivePassword(preparedCode(ctx.model.code), ctx.model.passwordNumber)
                  : std::string();
    const ZipStatus created = ctx.zip.ZSCreateBlankZIPFile(archivePath);
    if (!created || *created == 0) {
        failure.fault = Fault::ZipNotMade;
        return false;
    }
    QString newName(1024, u' ');
    ctx.zip.ZSGetNewZIPName(newName);
    const ZipStatus zipped = ctx.zip.ZSZipFiles(archivePath, documentPath, password);
    if (zipped && *zipped == 0) {
        return true;
    }
    if (zipped) {
        failure = {Fault::Zipping, *zipped, ctx.zip.lastSystemError()};
    }
    return false;
}

QString exactFileName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString headerDocumentName(const WindowModel& m) {
    if (m.hasPacking(packing::StrongWanted)) {
        return kSealedDocumentName;
    }
    const QString name = exactFileName(m.documentPath);
    return m.hasOption(option::NameInArchive) ? standInName(name) : name;
}

NameRoute nameRouteOf(const WindowModel& m) {
    if (m.hasOption(option::NameInArchive) || m.hasPacking(packing::StrongWanted)) {
        return NameRoute::InArchive;
    }
    return m.hasOption(option::SubstituteName) ? NameRoute::WorkCopy : NameRoute::Own;
}

StorageMode storageModeOf(const WindowModel& m) {
    if (!m.hasPacking(packing::Packed)) {
        return StorageMode::AsIs;
    }
    return m.hasPacking(packing::PackedEncrypted) ? StorageMode::Encrypted
                                                  : StorageMode::Compressed;
}

std::string plainPayloadHeader(const WindowModel& m, const Platform& platform) {
    const StorageMode storage = storageModeOf(m);
    if (m.hasPacking(packing::PackedEncrypted)) {
        return composePayloadHeader(m.code, m.packedDocumentDate, storage, nameRouteOf(m),
                                    m.documentLength, headerDocumentName(m));
    }
    return BuildPayloadHeader(platform, m.code, m.documentPath, headerDocumentName(m), storage,
                              nameRouteOf(m), m.documentLength);
}

bool mustTravelPacked(const WindowModel& m) {
    return m.hasOption(option::NameInArchive) || m.hasPacking(packing::StrongWanted) ||
           (!m.documentPath.isEmpty() && QFileInfo(m.documentPath).size() == 0);
}

void PackDocument(WorkflowContext& ctx, bool clearSubstituteName) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    shown.codeEnabled = false;
    const uint8_t packingBefore = m.packingMarks;
    const uint8_t stateBefore = m.windowState;
    if (clearSubstituteName) {
        m.setOption(option::SubstituteName, false);
    }
    // A sealed archive needs no password of its own: the seal is its encryption.
    const bool strong = m.hasPacking(packing::StrongWanted);
    const bool encrypt = !strong && m.hasPacking(packing::EncryptionWanted);
    // Whatever the archive held before, it is not this packing's result until it succeeds.
    m.setPacking(packing::Packed, false);
    m.setPacking(packing::PackedEncrypted, false);
    m.setPacking(packing::PackedCompressed, false);
    m.setPacking(packing::PackedForSeal, false);
    m.storedDocumentPath = m.documentPath;
    QString source = m.documentPath;

    if (m.documentPath.isEmpty()) {
        m.payloadLength = 0;
        m.nameLength = 0;
        shown.cropPercent.clear();
        shown.documentSize.clear();
    } else {
        const QString realName = exactFileName(m.documentPath);
        // Sealed, the header names nothing: the archive carries the name, whatever it is.
        m.setOption(option::NameInArchive, strong || !headerHoldsName(realName));
        if (m.hasOption(option::NameInArchive)) {
            // The archive member keeps the real name, so no work copy stands in for it.
            m.setOption(option::SubstituteName, false);
        } else if (realName.size() > kLongestMemberName) {
            const QString copy = ctx.temporaryFolder + kWorkCopyName;
            ConfirmReplaceFile(copy, kConfirmSkipOverwriteQuestion | kConfirmSkipAttributeWarning,
                               ctx.ui);
            QFile::copy(m.documentPath, copy);
            m.setOption(option::SubstituteName, true);
            source = copy;
        }
        const int32_t ownLength = fileLength(m.documentPath);
        m.passwordNumber = 0;
        m.packedDocumentDate.clear();
        if (encrypt) {
            m.packedDocumentDate = ReadFileDate(ctx.platform, m.documentPath);
            m.passwordNumber = static_cast<int32_t>(
                numericValue(std::string_view(m.packedDocumentDate).substr(kPasswordNumberOffset)));
        }
        const QString archive = ctx.temporaryFolder + kWorkArchiveName;
        ZipFailure failure;
        if (ZipDocument(ctx, source, archive, encrypt, failure)) {
            m.documentLength = fileLength(archive);
            m.setPacking(packing::Packed, true);
            m.storedDocumentPath = archive;
            if (strong) {
                // The header counts the sealed length, which the archive's decides exactly.
                m.setPacking(packing::PackedCompressed, true);
                m.setPacking(packing::PackedForSeal, true);
                m.documentLength = saturated(sealedLength(m.documentLength));
            } else if (encrypt) {
                m.setPacking(packing::PackedEncrypted, true);
            } else {
                m.setPacking(packing::PackedCompressed, true);
                if (m.documentLength >= ownLength && !mustTravelPacked(m)) {
                    m.setPacking(packing::Packed, false);
                    m.storedDocumentPath = m.documentPath;
                    m.documentLength = ownLength;
                }
            }
        } else {
            noticePackingFailure(ctx, encrypt, strong, failure);
            m.documentLength = ownLength;
            m.storedDocumentPath = m.documentPath;
            // Strong protection, or encryption the command asked for, stays asked for, so the
            // embed refuses rather than hide the document less well than the user chose.
            if (!strong && !m.encryptRequired) {
                m.setPacking(packing::EncryptTicked, false);
                m.setPacking(packing::EncryptionWanted, false);
                shown.encryptBox = kEncryptUnticked;
                if (!m.codeApplyGuard) {
                    ApplyEncryptChoice(ctx);
                }
            }
        }
        shown.documentSize = QString::number(m.documentLength);
        // The header carries the file name only, so that is what the payload length counts.
        m.nameLength = static_cast<int16_t>(
            std::min<qsizetype>(headerDocumentName(m).size(), std::numeric_limits<int16_t>::max()));
        if (!m.hasState(state::DocumentChosen) && m.nameLength > 0) {
            m.setState(state::DocumentChosen, true);
        }
        m.payloadLength = saturated(int64_t{m.documentLength} + m.nameLength + 90);

        const bool carrierHolds =
            m.hasState(state::BmpUsable) && m.carrierColourBytes >= kSmallestCarrier;
        const std::optional<int> percent =
            carrierHolds ? cropPercentage(m.payloadLength, m.carrierColourBytes) : std::nullopt;
        // The figure shown for a carrier chosen first assumed a typical name; with the
        // document's own, it is the one its packed size must not pass.
        if (carrierHolds) {
            shown.embedMax = QString::number(m.carrierColourBytes / 4 - m.nameLength -
                                             kPayloadHeaderFixedLength);
        }
        m.setState(state::EmbedPossible, percent.has_value());
        if (percent) {
            shown.cropPercent = QString::number(*percent);
        } else {
            shown.cropPercent.clear();
        }
        applyStealthCapacity(m);
    }
    if (m.windowState != stateBefore) {
        commandRefresh(m);
    }
    if (clearSubstituteName) {
        constexpr uint8_t packedKind = packing::PackedEncrypted | packing::PackedCompressed;
        if (!m.hasState(state::EmbedPossible) || m.hasState(state::PayloadFound) ||
            m.stealthWanted) {
            hideCropFrame(ctx);
        } else if (!shown.cropFrameVisible ||
                   (packingBefore & packedKind) != (m.packingMarks & packedKind)) {
            PlaceCropFrame(m);
        }
        updateNoGoSign(m);
    }
    normalPointer(ctx);
    shown.codeEnabled = true;
    m.requestFocus(FocusTarget::CodeBox);
    ctx.render();
}

bool storedDocumentCurrent(const WindowModel& m, const QString& temporaryFolder) {
    const bool packed = m.hasPacking(packing::Packed);
    const bool encrypted = m.hasPacking(packing::PackedEncrypted);
    const bool forSeal = m.hasPacking(packing::PackedForSeal);
    if (forSeal != m.hasPacking(packing::StrongWanted)) {
        return false;
    }
    if (packed && !encrypted && !m.hasPacking(packing::PackedCompressed)) {
        return false; // an extraction has reused the work archive
    }
    if ((packed && encrypted) != m.hasPacking(packing::EncryptionWanted)) {
        return false;
    }
    const QString expected = packed ? temporaryFolder + kWorkArchiveName : m.documentPath;
    const QFileInfo stored(m.storedDocumentPath);
    const int64_t length = forSeal ? sealedLength(stored.size()) : stored.size();
    return m.storedDocumentPath == expected && stored.isFile() && length == m.documentLength;
}

} // namespace brindmar
