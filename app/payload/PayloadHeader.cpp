#include "payload/PayloadHeader.h"

#include "payload/CodeScrambler.h"
#include "payload/CodeText.h"
#include "payload/FileDate.h"
#include "payload/SixBitCodec.h"
#include "util/PathHelpers.h"
#include "util/TrimBlanks.h"

#include <algorithm>
#include <cstdio>

namespace brindmar {

namespace {

constexpr size_t kStorageDigitsEnd = 72;

// Zero-padded to the field's width, with a leading minus for a negative value.
std::string zeroPadded(int64_t value, int width) {
    char buffer[32];
    const bool negative = value < 0;
    const auto magnitude = static_cast<unsigned long long>(negative ? -value : value);
    std::snprintf(buffer, sizeof buffer, "%s%0*llu", negative ? "-" : "", width, magnitude);
    return buffer;
}

char storageDigit(StorageMode mode) {
    switch (mode) {
    case StorageMode::Encrypted:
        return '2';
    case StorageMode::Compressed:
        return '1';
    case StorageMode::AsIs:
        break;
    }
    return '0';
}

bool headerKeeps(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x20 && u < 0x7F && u != u'\\') || (u >= 0xA0 && u <= 0xFF);
}

} // namespace

bool headerHoldsName(const QString& fileName) {
    return !fileName.isEmpty() && std::all_of(fileName.begin(), fileName.end(), headerKeeps) &&
           !fileName.startsWith(u' ') && !fileName.endsWith(u' ');
}

QString standInName(const QString& fileName) {
    QString name = fileName;
    for (QChar& c : name) {
        if (!headerKeeps(c)) {
            c = u'_';
        }
    }
    name = trimBlanks(name);
    return name.isEmpty() ? QStringLiteral("document") : name;
}

StorageMode storageModeFromPackingState(uint8_t packingState) {
    if ((packingState & 8) != 0) {
        return StorageMode::Encrypted;
    }
    if ((packingState & 1) != 0) {
        return StorageMode::Compressed;
    }
    return StorageMode::AsIs;
}

std::string paddedCode(const QString& code) {
    std::string padded = preparedCode(code).left(kCodeLength).toLatin1().toStdString();
    padded.resize(kCodeLength, ' ');
    return padded;
}

std::string composePayloadHeader(const QString& code, std::string_view dateField,
                                 StorageMode storageMode, NameRoute nameRoute,
                                 int32_t documentLength, const QString& documentName) {
    std::string date(dateField);
    date.resize(kDateFieldLength, ' ');

    std::string header(kPayloadMarker);
    header += EncodeSixBit(ScrambleCode(paddedCode(code) + date));
    header += date;
    header += '1';
    header += storageDigit(storageMode);
    header += static_cast<char>('0' + static_cast<int>(nameRoute));
    header.resize(kStorageDigitsEnd, ' ');

    QString nameSource = documentName;
    const QString name = FileNameOf(nameSource);
    header += zeroPadded(documentLength, 12);
    header += zeroPadded(name.size(), 6);
    header += name.toLatin1().toStdString();
    return header;
}

std::string composeSealedHeader(int32_t documentLength) {
    std::string header(kPayloadMarker);
    header.append(28, ' ');
    header += "0     0     0     0     "; // the date field of a file without times
    header += kSealedFormatDigit;
    header += storageDigit(StorageMode::Compressed);
    header += static_cast<char>('0' + static_cast<int>(NameRoute::InArchive));
    header.resize(kStorageDigitsEnd, ' ');
    header += zeroPadded(documentLength, 12);
    header += zeroPadded(kSealedDocumentName.size(), 6);
    header += kSealedDocumentName.toStdString();
    return header;
}

std::string BuildPayloadHeader(const Platform& platform, const QString& code,
                               const QString& documentPath, const QString& documentName,
                               StorageMode storageMode, NameRoute nameRoute,
                               int32_t documentLength) {
    return composePayloadHeader(code, ReadFileDate(platform, documentPath), storageMode, nameRoute,
                                documentLength, documentName);
}

} // namespace brindmar
