// Feeds arbitrary files to the payload header reader, which runs on any BMP the user picks, and
// checks what it promises callers: no crash, a known status, and for a found payload a safe
// document name and lengths that the file can really carry.
#include "InputFile.h"
#include "payload/PayloadHeaderReader.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kStem = "payload_header";

uint32_t le32(const uint8_t* data, size_t size, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(at + i < size ? data[at + i] : 0) << (8 * i);
    }
    return value;
}

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "payload header reader broke its promise: %s\n", what);
        std::abort();
    }
}

void checkFound(const brindmar::PayloadHeaderInfo& info, const uint8_t* data, size_t size) {
    const QString& name = info.documentName;
    require(!name.isEmpty(), "empty document name");
    require(name != QStringLiteral(".") && name != QStringLiteral(".."), "dot name");
    require(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')),
            "separator in the document name");
    for (const QChar c : name) {
        require(c.unicode() >= 0x20 && c.unicode() != 0x7F, "control character in the name");
    }
    require(info.documentLength >= 1, "document length below 1");
    require(info.nameLength >= 0 && info.headerLength() <= 16383, "header too long");
    // A sealed payload stores no code; every other one says which it was made with.
    require(info.storedCode.has_value() != info.sealed, "stored code and seal disagree");
    require(info.sealed == (info.status == -4), "seal and status disagree");
    require(info.rawHeader.size() == static_cast<size_t>(info.headerLength()),
            "raw header of another length than the header read");
    require(info.dataOffset >= 1 && info.rowBytes >= 3, "no pixel geometry");
    require(info.dateField.size() == 24, "date field not 24 characters");

    // Recomputed from the raw bytes: the payload fits the size field, the declared rows and
    // the rows the file really holds.
    const int64_t needed = (static_cast<int64_t>(info.documentLength) + info.nameLength + 90) * 4;
    const int64_t rowBytes = info.rowBytes;
    const int64_t stride = (rowBytes + 3) / 4 * 4;
    const int64_t available = static_cast<int64_t>(size) - info.dataOffset;
    const int64_t inFile =
        available <= 0 ? 0 : available / stride * rowBytes + std::min(available % stride, rowBytes);
    const auto height = static_cast<int32_t>(le32(data, size, 22));
    require(needed <= static_cast<int64_t>(le32(data, size, 34)), "beyond the image size field");
    require(needed <= rowBytes * std::abs(static_cast<int64_t>(height)), "beyond the rows");
    require(needed <= inFile, "beyond the file");
}

void check(const brindmar::PayloadHeaderInfo& info, const uint8_t* data, size_t size) {
    switch (info.status) {
    case -4:
    case -3:
    case -2:
    case -1:
        checkFound(info, data, size);
        break;
    case 10:
        require(info.codeProtected, "other code without a code");
        break;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
        break;
    default:
        require(false, "unknown status");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfile::writeInput(kStem, data, size);
    const QString path = QFile::decodeName(fuzzfile::inputPath(kStem).c_str());
    check(brindmar::ReadPayloadHeader(path, QString()), data, size);
    check(brindmar::ReadPayloadHeader(path, QStringLiteral("0123456789")), data, size);
    return 0;
}
