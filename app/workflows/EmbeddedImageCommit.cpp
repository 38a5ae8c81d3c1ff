#include "workflows/EmbeddedImageCommit.h"

#include "operations/PictureConverter.h"
#include "payload/BmpHeader.h"
#include "util/ReplacementFile.h"
#include "workflows/BesideEvents.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentPacking.h"
#include "workflows/ImageFormat.h"
#include "workflows/ProtectionFailures.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WipeCommand.h"

#include <QFile>
#include <QScopeGuard>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace brindmar {

namespace {

// The headers of a 24-bit uncompressed BMP, the file left at its first row; nothing for any
// other file.
std::optional<BmpHeader> rowsAhead(QFile& file) {
    std::array<unsigned char, kBmpHeadersLength> bytes{};
    if (file.read(reinterpret_cast<char*>(bytes.data()), kBmpHeadersLength) != kBmpHeadersLength ||
        bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    const BmpHeader header = parseBmpHeader(bytes);
    if (header.bitCount != 24 || header.compression != 0 || header.width <= 0 ||
        header.height == 0 || !file.seek(header.dataOffset)) {
        return std::nullopt;
    }
    return header;
}

// The two BMPs hold the same picture, colour byte for colour byte, whatever their headers and
// row padding.
bool samePixels(const QString& a, const QString& b) {
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly)) {
        return false;
    }
    const std::optional<BmpHeader> x = rowsAhead(first);
    const std::optional<BmpHeader> y = rowsAhead(second);
    if (!x || !y || x->width != y->width || x->height != y->height) {
        return false;
    }
    const qint64 stride = bmpStride(x->width, 24);
    QByteArray rowA(stride, Qt::Uninitialized);
    QByteArray rowB(stride, Qt::Uninitialized);
    for (int64_t r = 0; r < std::abs(int64_t{x->height}); ++r) {
        if (first.read(rowA.data(), stride) != stride ||
            second.read(rowB.data(), stride) != stride ||
            std::memcmp(rowA.constData(), rowB.constData(), size_t{3} * x->width) != 0) {
            return false;
        }
    }
    return true;
}

// A decode of the written PNG and a comparison of its pixels with the BMP it was made from; the
// decoded copy, which holds the document as the image does, is removed when the job goes, should
// a Stop have left it to finish alone.
struct PixelReadBackJob {
    const PictureConverter* pictures = nullptr;
    QString png;
    QString bmp;
    QString decoded;
    bool decodedOk = false;
    bool same = false;

    ~PixelReadBackJob() { QFile::remove(decoded); }
    void run() {
        decodedOk = pictures->convert(png, decoded).ok;
        same = decodedOk && samePixels(bmp, decoded);
    }
};

} // namespace

ImageCommit CommitEmbeddedImage(WorkflowContext& ctx, ReplacementFile& image,
                                const QString& output) {
    // The stealth key the embed held is needed no longer than the read-back below.
    const auto forgetKey = qScopeGuard([&ctx] { ctx.model.stealthKey.reset(); });
    ImageCommit done;
    if (!output.endsWith(u".png")) {
        if (!image.commit()) {
            done.reason = Reason::CannotWrite;
            done.error = image.error();
        }
        return done;
    }
    WindowModel& m = ctx.model;
    // Some viewers show the colours by these chunks: without them the new image would not look
    // like its carrier.
    const QString carrier = shownImagePath(m);
    const QString chunksFrom = sniffImageFormat(carrier) == ImageFormat::Png ? carrier : QString();
    // The coder has read back the pixels in memory; a reader gets them from the file, which
    // the encoder could still get wrong, and the carrier may be wiped after this.
    Outcome unread;
    bool readBackStopped = false;
    std::function<QString(const QString&)> readBack;
    if (m.stealthWanted) {
        readBack = [&](const QString& written) {
            const StealthOutcome back = ReadBackStealthPng(ctx, written);
            readBackStopped = back.stopped;
            unread = back.done || back.stopped ? Outcome{} : back.failure;
            return back.done ? QString() : QStringLiteral("not read back");
        };
    } else if (ctx.pictures != nullptr) {
        // The BMP gave the document back, or the engine wrote it so; the PNG must hold the same
        // pixels, since the original may be wiped on the word of this success.
        readBack = [&](const QString& written) {
            auto job = std::make_shared<PixelReadBackJob>();
            job->pictures = ctx.pictures;
            job->png = written;
            job->bmp = image.writePath();
            job->decoded = ctx.temporaryFolder + kWorkCarrierName;
            if (!finishedBesideEvents(ctx, job) || ctx.model.stopRequest) {
                readBackStopped = true;
                return QStringLiteral("stopped");
            }
            DiscardWorkFile(ctx, job->decoded);
            if (job->same) {
                return QString();
            }
            unread = protectionFailure(Reason::NotReadBack, output,
                                       job->decodedOk ? Cause::ReadBackAsWritten
                                                      : Cause::ReadBackPicture);
            return QStringLiteral("not read back");
        };
    }
    // A large PNG takes seconds to encode; a stop asked meanwhile ends the run there.
    bool stopped = false;
    const auto keepGoing = [&ctx] { return ctx.letEventsRun(), !ctx.model.stopRequest; };
    const QString unwritten =
        commitAsPng(image.writePath(), output, keepGoing, &stopped, chunksFrom, readBack);
    done.stopped = stopped || readBackStopped;
    if (done.stopped) {
        return done;
    }
    if (unread.reason != Reason::None) {
        done.readBack = unread;
    } else if (!unwritten.isEmpty()) {
        done.failure = unwritten;
        done.reason = Reason::CannotWrite;
    }
    return done;
}

} // namespace brindmar
