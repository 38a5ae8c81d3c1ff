#include "imaging/QtPictureConverter.h"

#include "imaging/BmpSource.h"
#include "imaging/CarrierWriter.h"
#include "imaging/HalfSize.h"
#include "imaging/StreamChecks.h"
#include "util/ReplacementFile.h"

#include <QFile>
#include <QImageReader>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

// What the converter promises, in the order the file dialog lists it. A format the installed
// plugins lack drops out of the dialog; one that is installed but not promised (TGA, ICO,
// PBM...) is refused, since its content detection is loose enough to claim arbitrary files.
struct Promise {
    const char* format; // as the reader names what it detected
    const char* patterns;
};
constexpr Promise kPromised[] = {
    {"bmp", "*.bmp"},         {"png", "*.png"},   {"jpeg", "*.jpg;*.jpeg"},
    {"tiff", "*.tif;*.tiff"}, {"webp", "*.webp"}, {"gif", "*.gif"},
};

bool promised(const QByteArray& format) {
    return std::any_of(std::begin(kPromised), std::end(kPromised),
                       [&](const Promise& p) { return format == p.format; });
}

enum class Opened { File, NotAFile, Failed };

// O_NONBLOCK keeps a FIFO or a device from stalling the open, and only ordinary files go on. The
// file is opened here rather than by the reader, which tries other names (the path with each
// known suffix added) when the one given does not open.
Opened openSource(const QString& path, QFile& file, int* error) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = errno;
        return Opened::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Opened::NotAFile;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = EIO;
        return Opened::Failed;
    }
    return Opened::File;
}

// The open file, as the checks and decoders read it: once stop is set every read fails, which
// every decoder takes as the end of its input, so a long decode ends within one read.
class StoppableDevice final : public QIODevice {
public:
    StoppableDevice(QFile& file, const std::atomic<bool>& stop) : m_file(file), m_stop(stop) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }
    bool seek(qint64 pos) override { return m_file.seek(pos) && QIODevice::seek(pos); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        return m_stop ? -1 : m_file.read(data, maxSize);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile& m_file;
    const std::atomic<bool>& m_stop;
};

// The format by content alone, whatever the file is called; empty when nothing reads it.
QByteArray detectFormat(QIODevice& file) {
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.canRead() ? reader.format() : QByteArray();
    file.seek(0);
    return format;
}

PictureConversion refused(PictureFault fault, const QString& file, int64_t limit = 0) {
    PictureConversion result;
    result.fault = fault;
    result.file = file;
    result.limit = limit;
    return result;
}

PictureConversion tooDeep(const QString& path, int32_t maxSide, bool progressive) {
    PictureConversion result = refused(PictureFault::TooDeep, path, maxSide);
    result.progressive = progressive;
    return result;
}

} // namespace

QtPictureConverter::QtPictureConverter(int32_t maxSide) : m_maxSide(std::max(maxSide, 1)) {}

int64_t QtPictureConverter::decodeBudgetBytes(int32_t maxSide) {
    const int64_t side = std::max(maxSide, 1);
    return side * side * 4;
}

int QtPictureConverter::allocationLimitMb(int32_t maxSide) {
    const int64_t bytes = decodeBudgetBytes(maxSide);
    const int64_t mb = (bytes + (1 << 20) - 1) >> 20;
    return static_cast<int>(std::min<int64_t>(mb, INT_MAX));
}

bool QtPictureConverter::isJpeg(const QString& path) const {
    QFile file;
    int error = 0;
    return openSource(path, file, &error) == Opened::File && detectFormat(file) == "jpeg";
}

bool QtPictureConverter::canRead(const QString& path) const {
    QFile file;
    int error = 0;
    return openSource(path, file, &error) == Opened::File && promised(detectFormat(file));
}

PictureConversion QtPictureConverter::convert(const QString& source, const QString& target) const {
    const std::atomic<bool> never{false};
    return convertUnlessStopped(source, target, never);
}

PictureConversion QtPictureConverter::convertUnlessStopped(const QString& source,
                                                           const QString& target,
                                                           const std::atomic<bool>& stop,
                                                           bool half) const {
    QFile opened;
    int error = 0;
    switch (openSource(source, opened, &error)) {
    case Opened::NotAFile:
        return refused(PictureFault::NotPicture, source);
    case Opened::Failed: {
        PictureConversion unread = refused(PictureFault::CannotRead, source);
        unread.error = error;
        return unread;
    }
    case Opened::File:
        break;
    }
    // Every decoder reads through this, so a stop ends the decode at its next read.
    StoppableDevice file(opened, stop);
    const auto stoppedOr = [&stop](PictureConversion failure) {
        if (stop) {
            PictureConversion stopped;
            stopped.stopped = true;
            return stopped;
        }
        return failure;
    };
    const QByteArray format = detectFormat(file);
    if (!promised(format)) {
        return stoppedOr(refused(PictureFault::NotPicture, source));
    }
    const auto needs = [](QSize size, int bitsPerPixel, int64_t besides) {
        return int64_t{size.width()} * size.height() * bitsPerPixel / 8 + besides;
    };
    int64_t besidesPicture = 0;
    bool progressive = false;
    const auto beyond = [this](QSize size) {
        return std::abs(int64_t{size.width()}) > m_maxSide ||
               std::abs(int64_t{size.height()}) > m_maxSide;
    };

    QImage image;
    if (format == "bmp") {
        const BmpInspection bmp = inspectBmp(file, m_maxSide);
        switch (bmp.verdict) {
        case BmpVerdict::Sound:
            break;
        case BmpVerdict::TooLarge:
            return refused(PictureFault::TooLarge, source, m_maxSide);
        case BmpVerdict::Unsupported:
            return refused(PictureFault::NotPicture, source);
        case BmpVerdict::Damaged:
            return stoppedOr(refused(PictureFault::Damaged, source));
        }
        if (bmp.layout.runLength() || bmp.layout.sixteenBit()) {
            image = bmp.layout.runLength() ? decodeRunLengthBmp(file, bmp.layout)
                                           : decodeSixteenBitBmp(file, bmp.layout);
            if (image.isNull()) {
                return stoppedOr(refused(PictureFault::Damaged, source));
            }
        }
    } else if (format == "jpeg") {
        const JpegFacts jpeg = inspectJpeg(file);
        if (jpeg.tooManyScans) {
            return refused(PictureFault::TooManyScans, source,
                           jpegScanLimit(jpeg.width, jpeg.height));
        }
        if (!jpeg.sound) {
            return stoppedOr(refused(PictureFault::Damaged, source));
        }
        besidesPicture = jpeg.coefficientBytes;
        progressive = jpeg.progressive;
    } else if (format == "gif" && !gifFirstFrameComplete(file)) {
        return stoppedOr(refused(PictureFault::Damaged, source));
    }
    if (image.isNull()) {
        file.seek(0);
        // The limit is global to the process; set on every conversion, it is the one in force
        // whatever other code set in between. It backs the size check below for readers that
        // report no size, or a size other than what they decode.
        QImageReader::setAllocationLimit(allocationLimitMb(m_maxSide));
        QImageReader reader(&file, format);
        reader.setAutoTransform(true);
        // A top-down BMP reports a negative height.
        if (beyond(reader.size())) {
            return refused(PictureFault::TooLarge, source, m_maxSide);
        }
        // What the decoder will hold: the picture in the form it decodes to, which a reader
        // that does not say is taken to be four bytes a pixel, and for a progressive JPEG its
        // coefficients. A 16-bit RGBA PNG at the largest size would take 1.1 GB.
        // Qt's JPEG reader answers a header it could not read with a format it never set: a
        // value out of the enumeration, which would index past Qt's own table. Taken as a
        // number and held to the range, it is only ever a format or none.
        const int said = static_cast<int>(reader.imageFormat());
        const auto decoded = said > QImage::Format_Invalid && said < QImage::NImageFormats
                                 ? static_cast<QImage::Format>(said)
                                 : QImage::Format_Invalid;
        const int bits = decoded == QImage::Format_Invalid
                             ? 32
                             : std::max<int>(QImage::toPixelFormat(decoded).bitsPerPixel(), 1);
        if (needs(reader.size(), bits, besidesPicture) > decodeBudgetBytes(m_maxSide)) {
            return tooDeep(source, m_maxSide, progressive);
        }
        if (!reader.read(&image)) {
            return stoppedOr(refused(PictureFault::Damaged, source));
        }
    }
    if (stop) {
        return stoppedOr({});
    }
    if (beyond(image.size())) {
        return refused(PictureFault::TooLarge, source, m_maxSide);
    }
    if (half) {
        image = halvedPicture(image);
        if (image.isNull()) {
            return tooDeep(source, m_maxSide, progressive);
        }
    }

    const QString reason = writeCarrier(image, target);
    if (stop) {
        return stoppedOr({});
    }
    if (!reason.isEmpty()) {
        PictureConversion unwritten = refused(PictureFault::CannotWrite, target);
        unwritten.writerWords = reason;
        return unwritten;
    }
    PictureConversion result;
    result.ok = true;
    result.width = image.width();
    result.height = image.height();
    return result;
}

QString QtPictureConverter::dialogFilter() const {
    const QList<QByteArray> supported = QImageReader::supportedImageFormats();
    QStringList patterns;
    for (const Promise& p : kPromised) {
        if (supported.contains(p.format)) {
            patterns << QString::fromLatin1(p.patterns);
        }
    }
    return QStringLiteral("Pictures|%1|All Files|*.*").arg(patterns.join(u';'));
}

} // namespace brindmar
