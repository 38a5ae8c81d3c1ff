#include "payload/PayloadHeaderReader.h"

#include "payload/BmpHeader.h"
#include "payload/CarrierFile.h"
#include "payload/CodeText.h"
#include "payload/CodeScrambler.h"
#include "payload/SixBitCodec.h"
#include "util/NumericValue.h"
#include "util/TrimBlanks.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace brindmar {

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
// The engine counts header bit pairs in 16 bits, so no payload it wrote has a longer header.
constexpr int64_t kLongestHeader = 16383;
const QString kFallbackName = QStringLiteral("document");

// Reads payload bytes the way the embedder stored them: four colour bytes per byte, two low
// bits each, least significant pair first, rows in file order with their padding skipped.
class PayloadStream {
public:
    PayloadStream(const CarrierFile& file, int64_t dataOffset, int64_t rowBytes)
        : m_file(file), m_dataOffset(dataOffset), m_rowBytes(rowBytes),
          m_stride((rowBytes + 3) / 4 * 4) {}

    // The next count payload bytes, or nullopt when the file ends first.
    std::optional<std::string> read(size_t count) {
        std::string out;
        out.reserve(count);
        unsigned value = 0;
        unsigned pair = 0;
        int64_t remaining = static_cast<int64_t>(count) * 4;
        std::array<unsigned char, 4096> buffer{};
        while (remaining > 0) {
            const int64_t row = m_next / m_rowBytes;
            const int64_t column = m_next % m_rowBytes;
            const int64_t run =
                std::min({m_rowBytes - column, remaining, static_cast<int64_t>(buffer.size())});
            const auto length = static_cast<size_t>(run);
            if (m_file.readAt(m_dataOffset + row * m_stride + column, buffer.data(), length) !=
                length) {
                return std::nullopt;
            }
            for (size_t i = 0; i < length; ++i) {
                value |= (buffer[i] & 3u) << (2 * pair);
                if (++pair == 4) {
                    out += static_cast<char>(static_cast<unsigned char>(value));
                    value = 0;
                    pair = 0;
                }
            }
            m_next += run;
            remaining -= run;
        }
        return out;
    }

private:
    const CarrierFile& m_file;
    int64_t m_dataOffset;
    int64_t m_rowBytes;
    int64_t m_stride;
    int64_t m_next = 0; // colour bytes consumed
};

// Colour bytes the file really holds from the pixel data on, row padding left out.
int64_t colourBytesInFile(int64_t fileSize, int64_t dataOffset, int64_t rowBytes) {
    const int64_t available = fileSize - dataOffset;
    if (available <= 0) {
        return 0;
    }
    const int64_t stride = (rowBytes + 3) / 4 * 4;
    return available / stride * rowBytes + std::min(available % stride, rowBytes);
}

int16_t statusForStorageMode(int64_t mode) {
    switch (mode) {
    case 1:
        return PayloadStatus::CompressedArchive;
    case 2:
        return PayloadStatus::EncryptedArchive;
    default:
        return PayloadStatus::DocumentAsIs;
    }
}

} // namespace

QString safeDocumentName(const QString& storedName, bool keepBlanks) {
    QString name = storedName;
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            c = u'_';
        }
    }
    // Both separators count: an image made elsewhere may carry either, and a name that is
    // harmless here would be a path on the other system.
    const qsizetype cut = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    name = name.mid(cut + 1);
    if (!keepBlanks) {
        name = trimBlanks(name);
    }
    if (trimBlanks(name).isEmpty() || name == u"." || name == u"..") {
        return kFallbackName;
    }
    return name;
}

namespace {

PayloadHeaderInfo readPayloadHeader(const CarrierFile& file, const QString& currentCode) {
    PayloadHeaderInfo info;
    // Both sides prepared alike, so that a code stored by an older release with a no-break
    // space in it still opens with the code typed as it was then.
    const QString userCode = preparedCode(currentCode);
    // A code beyond 8 bits is one no header holds: its 8-bit form would match other codes.
    const bool codeFitsHeader = std::all_of(userCode.begin(), userCode.end(),
                                            [](QChar c) { return c.unicode() <= 0xFF; });

    if (!file.isOpen()) {
        return info; // not a BMP
    }
    // A header cut short reads as zeros, as the fields' checks then expect.
    std::array<unsigned char, kBmpHeadersLength> bytes{};
    const size_t got = file.readAt(0, bytes.data(), bytes.size());
    if (got < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        return info;
    }
    const BmpHeader fields = parseBmpHeader(bytes);
    // The engine reads the offset's low half only.
    info.dataOffset = static_cast<int16_t>(fields.dataOffset & 0xFFFF);
    const int32_t width = fields.width;
    const int32_t height = fields.height;
    if (fields.planes != 1) {
        info.status = PayloadStatus::PlanesNotOne;
        return info;
    }
    if (fields.bitCount != 24) {
        info.status = PayloadStatus::Not24Bit;
        return info;
    }
    if (fields.compression != 0) {
        info.status = PayloadStatus::CompressedImage;
        return info;
    }
    const uint32_t imageSizeField = fields.imageSize;

    // The engine reads the pixel data at the same low half of the offset; with no usable row
    // geometry there is nowhere to find a payload.
    const int64_t rowBytes = static_cast<int64_t>(width) * 3;
    if (info.dataOffset < 1 || width < 1 || rowBytes > kInt32Max - 3) {
        info.status = PayloadStatus::NoMarker;
        return info;
    }
    info.rowBytes = static_cast<int32_t>(rowBytes);

    PayloadStream stream(file, info.dataOffset, rowBytes);
    const std::optional<std::string> marker = stream.read(kPayloadMarker.size());
    if (!marker || *marker != kPayloadMarker) {
        info.status = PayloadStatus::NoMarker;
        return info;
    }
    // Header positions 15 to 72: code field, date field, format and storage digits, reserve.
    const std::optional<std::string> fixed = stream.read(58);
    if (!fixed || ((*fixed)[52] != '1' && (*fixed)[52] != kSealedFormatDigit)) {
        info.status = PayloadStatus::UnknownFormat;
        return info;
    }
    const std::string_view fixedView(*fixed);
    info.sealed = (*fixed)[52] == kSealedFormatDigit;
    // A sealed payload is always an archive that carries the document's name.
    if (info.sealed && ((*fixed)[53] != '1' || (*fixed)[54] != '2')) {
        info.status = PayloadStatus::UnknownFormat;
        return info;
    }
    const int64_t storageMode = numericValue(fixedView.substr(53, 1));
    info.substituteName = (*fixed)[54] == '1';
    info.nameInArchive = (*fixed)[54] == '2';
    info.dateField = fixed->substr(28, kDateFieldLength);

    if (!info.sealed) {
        std::string scrambled = DecodeSixBit(fixedView.substr(0, 28)).substr(0, kCodeLength);
        const std::string storedCode = trimBlanks(ScrambleCode(scrambled + info.dateField));
        info.storedCode =
            QString::fromLatin1(storedCode.data(), static_cast<qsizetype>(storedCode.size()));
        info.codeProtected = !storedCode.empty();
        if (info.codeProtected &&
            (!codeFitsHeader || preparedCode(*info.storedCode) != userCode)) {
            info.status = PayloadStatus::OtherCode;
            return info;
        }
    }

    // The lengths are at most 12 and 6 digits, so the sums below cannot overflow.
    const std::optional<std::string> lengthText = stream.read(12);
    if (!lengthText) {
        info.status = PayloadStatus::TooLargeForImage;
        return info;
    }
    const int64_t documentLength = numericValue(*lengthText);
    if (documentLength < 1) {
        info.status = PayloadStatus::EmptyDocument;
        return info;
    }
    const std::optional<std::string> nameLengthText = stream.read(6);
    if (!nameLengthText) {
        info.status = PayloadStatus::TooLargeForImage;
        return info;
    }
    const int64_t nameLength = numericValue(*nameLengthText);

    // The image-size field alone is as untrusted as the lengths it is checked against: a crafted
    // header could otherwise send an extraction reading far past the pixels, writing bytes of
    // 255 for gigabytes. So the payload must also fit the rows the header declares and the
    // bytes the file really holds, and its lengths the 32-bit values the engine takes.
    const int64_t payloadBytes = documentLength + nameLength + kPayloadHeaderFixedLength;
    const int64_t colourBytesNeeded = payloadBytes * 4;
    const int64_t declaredColourBytes = rowBytes * std::abs(static_cast<int64_t>(height));
    if (colourBytesNeeded > static_cast<int64_t>(imageSizeField) ||
        colourBytesNeeded > declaredColourBytes ||
        colourBytesNeeded > colourBytesInFile(file.size(), info.dataOffset, rowBytes) ||
        payloadBytes > kInt32Max) {
        info.status = PayloadStatus::TooLargeForImage;
        return info;
    }
    if (nameLength < 0 || kPayloadHeaderFixedLength + nameLength > kLongestHeader) {
        info.status = PayloadStatus::UnknownFormat;
        return info;
    }
    info.documentLength = static_cast<int32_t>(documentLength);
    info.nameLength = static_cast<int32_t>(nameLength);

    const std::optional<std::string> name = stream.read(static_cast<size_t>(nameLength));
    if (!name) {
        info.status = PayloadStatus::TooLargeForImage;
        return info;
    }
    info.documentName =
        safeDocumentName(QString::fromLatin1(name->data(), static_cast<qsizetype>(name->size())));
    info.rawHeader = *marker + *fixed + *lengthText + *nameLengthText + *name;
    info.status = info.sealed ? PayloadStatus::SealedArchive : statusForStorageMode(storageMode);
    return info;
}

} // namespace

PayloadHeaderInfo ReadPayloadHeader(const QString& carrierPath, const QString& currentCode) {
    const CarrierFile file(carrierPath);
    PayloadHeaderInfo info = readPayloadHeader(file, currentCode);
    // A read the disk refused is not a payload that is missing or made with another code.
    if (file.error() != 0) {
        info = PayloadHeaderInfo{};
        info.status = PayloadStatus::ReadError;
        info.readError = file.error();
    }
    return info;
}

} // namespace brindmar
