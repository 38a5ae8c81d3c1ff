#include "workflows/ImageFormat.h"

#include "imaging/PngWriter.h"
#include "payload/CarrierFile.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"

#include <QFile>
#include <algorithm>

namespace brindmar {

namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1A\n", 8);

} // namespace

std::optional<ImageFormat> parseImageFormat(const QString& word) {
    const QString lower = word.toLower();
    if (lower == u"bmp") {
        return ImageFormat::Bmp;
    }
    if (lower == u"png") {
        return ImageFormat::Png;
    }
    return std::nullopt;
}

QString imageFormatName(ImageFormat format) {
    return format == ImageFormat::Png ? QStringLiteral("png") : QStringLiteral("bmp");
}

std::optional<ImageFormat> sniffImageFormat(const QString& path, int* readError) {
    const CarrierFile file(path);
    QByteArray head(std::min<int64_t>(file.size(), kPngSignature.size()), '\0');
    if (!file.isOpen() || file.readAt(0, reinterpret_cast<unsigned char*>(head.data()),
                                      size_t(head.size())) != size_t(head.size())) {
        if (readError != nullptr) {
            *readError = file.error();
        }
        return std::nullopt;
    }
    if (head == kPngSignature) {
        return ImageFormat::Png;
    }
    if (head.startsWith("BM")) {
        return ImageFormat::Bmp;
    }
    return std::nullopt;
}

ImageFormat outputFormatFor(const QString& carrierPicture, std::optional<ImageFormat> asked) {
    if (asked) {
        return *asked;
    }
    // A carrier that cannot be read (any more) is judged by its name.
    const std::optional<ImageFormat> sniffed = sniffImageFormat(carrierPicture);
    QString name = carrierPicture;
    const bool bmp = sniffed ? *sniffed == ImageFormat::Bmp : ExtensionOf(name).toLower() == u"bmp";
    return bmp ? ImageFormat::Bmp : ImageFormat::Png;
}

QString outputImagePath(const QString& folder, const QString& carrierPicture, ImageFormat format) {
    QString name = carrierPicture;
    QString base = BaseNameOf(name);
    if (base.isEmpty()) {
        QString whole = carrierPicture;
        base = FileNameOf(whole);
    }
    return folder + base + u'.' + imageFormatName(format);
}

QString embedOutputPath(const QString& folder, const QString& carrier,
                        std::optional<ImageFormat> asked) {
    const ImageFormat format = outputFormatFor(carrier, asked);
    QString name = carrier;
    if (format == ImageFormat::Bmp && ExtensionOf(name).toLower() == u"bmp") {
        QString whole = carrier;
        return folder + FileNameOf(whole);
    }
    return outputImagePath(folder, carrier, format);
}

QString commitAsPng(const QString& bmp, const QString& target,
                    const std::function<bool()>& keepGoing, bool* stopped,
                    const QString& chunksFrom,
                    const std::function<QString(const QString&)>& check) {
    ReplacementFile png(target);
    if (!png.isOpen()) {
        return systemErrorText(png.error());
    }
    const PngWrite written =
        writePngFromBmp(bmp, png.writePath(), kPngLevel, keepGoing, chunksFrom);
    if (stopped != nullptr) {
        *stopped = written.stopped;
    }
    if (!written.ok) {
        return written.error;
    }
    if (check) {
        if (QString refused = check(png.writePath()); !refused.isEmpty()) {
            return refused;
        }
    }
    if (!png.commit()) {
        return systemErrorText(png.error());
    }
    return {};
}

QString messengerAdvice() {
    return QStringLiteral(
        "Send the image as a file (a document attachment), never as a photo: a messenger or a "
        "social network re-encodes a photo, usually as a smaller JPEG, which changes the pixels "
        "that carry the document, and the payload is lost. A PNG or BMP sent as a file arrives "
        "byte for byte.");
}

} // namespace brindmar
