#include "workflows/CarrierInspection.h"

#include "payload/BmpHeader.h"
#include "payload/PayloadHeaderReader.h"
#include "protection/StealthFile.h"
#include "util/PathHelpers.h"
#include "workflows/CodeEntry.h"
#include "workflows/CropChoice.h"
#include "workflows/StealthEmbedding.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <future>
#include <sys/stat.h>
#include <system_error>

namespace brindmar {

namespace {

// The embed maximum shown before a document is chosen assumes a name of 12 characters.
constexpr int64_t kHeaderWithTypicalName = 102;

// The step that ends every evaluation: the layout of the mode the carrier puts the window in.
void showMode(WorkflowContext& ctx, const QString& payloadName) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    shown.extractLayout = m.extractMode();
    shown.documentBox = shown.extractLayout ? payloadName : m.documentPath;
    shown.outputFolder = shown.extractLayout ? m.extractOutputFolder : m.embedOutputFolder;
    ctx.refresh();
}

// The file as it is now: a work copy made anew under the same name differs in one of these.
StealthCarrierCount fileAsItIs(const QString& path) {
    StealthCarrierCount now;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        now.path = path;
        now.fileSize = info.st_size;
        now.modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
        now.identity = static_cast<uint64_t>(info.st_ino) ^ (uint64_t{info.st_dev} << 32);
    }
    return now;
}

bool sameFile(const StealthCarrierCount& a, const StealthCarrierCount& b) {
    return a.path == b.path && a.fileSize == b.fileSize && a.modified == b.modified &&
           a.identity == b.identity;
}

// The count reads the whole file and sweeps its pixels: a fraction of a second for the largest
// picture, longer from a slow disk. It runs on a thread of its own; past a first short wait the
// window shows an operation running, so that nothing else starts meanwhile, and keeps answering.
// It cannot be stopped, and needs no stopping.
StealthCarrierFigures countedBesideEvents(WorkflowContext& ctx, const QString& path) {
    std::future<StealthCarrierFigures> job;
    try {
        job = std::async(std::launch::async, [path] { return stealthCarrierFigures(path); });
    } catch (const std::system_error&) {
        return stealthCarrierFigures(path); // no thread to be had: the window waits instead
    }
    constexpr auto kQuietWait = std::chrono::milliseconds(50);
    if (job.wait_for(kQuietWait) == std::future_status::ready) {
        return job.get();
    }
    WindowModel& m = ctx.model;
    const uint8_t before = m.windowState;
    m.setState(state::Embedding, true);
    ctx.refresh();
    while (job.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready) {
        ctx.letEventsRun();
    }
    m.windowState = before;
    m.stopRequest = false; // a Stop meanwhile had nothing to stop
    ctx.refresh();
    return job.get();
}

} // namespace

bool countStealthCarrier(WorkflowContext& ctx, const QString& path) {
    WindowModel& m = ctx.model;
    StealthCarrierCount now = fileAsItIs(path);
    if (!m.stealthCount.path.isEmpty() && sameFile(m.stealthCount, now)) {
        return true;
    }
    m.stealthCount = {};
    const StealthCarrierFigures figures = countedBesideEvents(ctx, path);
    // A file that cannot be read is left uncounted: the embed says what is wrong with it.
    if (figures.status == StealthFileStatus::Done && !now.path.isEmpty()) {
        now.most = figures.most;
        now.recommended = figures.recommended;
        m.stealthCount = now;
        return true;
    }
    return false;
}

QString validityText(uint8_t result) {
    switch (result) {
    case validity::UnsupportedDepth:
        return tr(TextId::BmpBelow256Colours);
    case validity::Os2Bitmap:
        return tr(TextId::BmpIsOs2);
    case validity::NotBmp:
        return tr(TextId::NotInBmpFormat);
    case validity::Unreadable:
        return QStringLiteral("it cannot be read: the disk reported an error");
    default:
        return tr(TextId::InvalidBmpFile);
    }
}

std::optional<int> cropPercentage(int64_t payloadLength, int64_t carrierColourBytes) {
    if (carrierColourBytes <= 0 || payloadLength * 4 > carrierColourBytes) {
        return std::nullopt;
    }
    // Int(100 - 400 p / c) with p / c at most 1/4: exact in integers, never negative.
    const int64_t percent = (100 * carrierColourBytes - 400 * payloadLength) / carrierColourBytes;
    return static_cast<int>(std::min<int64_t>(percent, 99));
}

CarrierFacts InspectCarrier(WorkflowContext& ctx, uint8_t mode, QString path) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    const bool evaluate = (mode & inspect::Evaluate) != 0;
    const bool report = (mode & inspect::Report) != 0;
    CarrierFacts facts;

    if (evaluate) {
        hideCropFrame(ctx);
    }
    m.carrierCheckResult = validity::Usable;
    shown.embedMaxStatus.clear();
    shown.embedMaxNote.clear();
    if (const CodeFault fault = modelCodeFault(m); fault != CodeFault::None) {
        reportCodeFault(ctx, fault);
        m.requestFocus(FocusTarget::CodeBox);
    }
    if (evaluate) {
        m.windowState &= static_cast<uint8_t>(
            ~(state::BmpChosen | state::BmpUsable | state::PayloadFound | state::EmbedPossible));
        // Only a payload found below says the carrier is protected; a file that goes no further
        // must not have the code tried on it at every keystroke.
        m.setOption(option::CodeProtected, false);
        m.storedCode.clear();
        m.payloadSealed = false;
        m.stealthCandidate = false;
        m.stealthByConversion = false;
        // Another carrier: its figures are its own.
        if (m.stealthCount.path != path) {
            m.stealthCount = {};
        }
    }

    // Every way out below leaves the window state changed, so an evaluation always ends with
    // the mode shown and the commands refreshed, including for files that cannot be used.
    QString payloadName;
    const auto unusable = [&](uint8_t result) {
        m.carrierCheckResult = result;
        if (result >= validity::Os2Bitmap) {
            m.setState(state::BmpChosen, false);
            m.setState(state::BmpUsable, false);
        }
        if (evaluate) {
            // The figures of the carrier chosen before would otherwise stand beside this one.
            m.carrierColourBytes = 0;
            shown.embedMax.clear();
            shown.cropPercent.clear();
            showMode(ctx, payloadName);
        }
        return facts;
    };

    if (ExtensionOf(path) != u"bmp") {
        if (report) {
            ctx.conclude(openFailure(Reason::NotBmpFile, path));
            shown.bmpPath.clear();
        }
        if (evaluate) {
            showMode(ctx, payloadName);
        }
        return facts;
    }

    const BmpHeaderRead read = readBmpHeader(path);
    if (read.result != BmpReadResult::Read) {
        const bool opened = read.result == BmpReadResult::CannotRead;
        if (report) {
            ctx.conclude(openFailure(opened ? Reason::CannotRead : Reason::CannotOpen, path,
                                     read.readError));
        }
        if (read.readError != 0) {
            return unusable(validity::Unreadable);
        }
        return unusable(opened ? validity::NotBmp : validity::Invalid);
    }
    const BmpHeader& h = read.header;
    if (h.infoSize != 40) {
        return unusable(h.infoSize == 12 ? validity::Os2Bitmap : validity::Invalid);
    }
    if (h.planes != 1) {
        return unusable(validity::Invalid);
    }
    facts.compression = static_cast<int32_t>(h.compression);
    if (h.compression > 2) {
        return unusable(validity::Invalid);
    }
    facts.bitCount = static_cast<int16_t>(h.bitCount);
    if (h.bitCount != 8 && h.bitCount != 24) {
        if (h.bitCount == 1 || h.bitCount == 4) {
            m.setState(state::BmpChosen, true);
        }
        return unusable(validity::UnsupportedDepth);
    }
    // A header the engine or the thumbnail decoder could not follow to the last pixel (no
    // size, a compression they would misread, rows beyond the real file, figures that wrap)
    // is an invalid BMP, whatever else it claims.
    if (!carrierLayoutSound(h, read.actualFileSize)) {
        return unusable(validity::Invalid);
    }
    m.setState(state::BmpChosen, true);
    m.setState(state::BmpUsable, true);
    if (evaluate) {
        // Such a BMP never holds a payload: the engine's images are 24-bit.
        m.stealthByConversion =
            !(h.bitCount == 24 && h.compression == 0) && ctx.pictures != nullptr;
    }

    m.imageWidth = h.width;
    m.imageHeight = h.height;
    facts.dataOffset = static_cast<int32_t>(h.dataOffset);
    const int64_t capacity = int64_t{h.width} * 3 * h.height; // fits: checked above
    m.carrierColourBytes = static_cast<int32_t>(capacity);

    if (capacity < kSmallestCarrier) {
        shown.embedMax = QStringLiteral("0");
        shown.cropPercent.clear();
    } else {
        if (evaluate && h.bitCount == 24 && h.compression == 0) {
            const PayloadHeaderInfo payload = ReadPayloadHeader(path, m.code);
            if (payload.status == PayloadStatus::ReadError) {
                // Never "no payload" or "another code": the user's media is failing.
                if (report) {
                    ctx.conclude(openFailure(Reason::CannotRead, path, payload.readError));
                }
                return unusable(validity::Unreadable);
            }
            m.storedCode = payload.storedCode.value_or(QString());
            m.payloadSealed = payload.sealed && payload.payloadFound();
            m.setOption(option::CodeProtected, payload.codeProtected);
            // One made with another code is a plain payload all the same.
            m.stealthCandidate = payload.status == PayloadStatus::NoMarker;
            if (payload.payloadFound()) {
                m.setState(state::PayloadFound, true);
                payloadName = payload.documentName;
            }
        }
        if (!m.hasState(state::DocumentChosen)) {
            shown.embedMax = QString::number(capacity / 4 - kHeaderWithTypicalName);
            shown.cropPercent.clear();
        } else {
            const std::optional<int> percent = cropPercentage(m.payloadLength, capacity);
            if (!evaluate || !percent) {
                shown.cropPercent.clear();
            } else {
                m.setState(state::EmbedPossible, true);
                shown.cropPercent = QString::number(*percent);
            }
            shown.embedMax = QString::number(capacity / 4 - m.nameLength - 90);
        }
        if (m.stealthWanted && m.stealthCandidate) {
            countStealthCarrier(ctx, path);
        }
        applyStealthCapacity(m);
    }
    if (evaluate) {
        showMode(ctx, payloadName);
    }
    return facts;
}

} // namespace brindmar
