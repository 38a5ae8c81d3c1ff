// The header as built here, embedded by the engine, must read back field for field, and the
// lengths the reader reports must be the ones the engine's extraction needs.
#include "AppTestSupport.h"
#include "payload/FileDate.h"
#include "payload/PayloadHeader.h"
#include "payload/PayloadHeaderReader.h"
#include "util/LinuxPlatform.h"
#include "vokbfn1.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

struct RoundTripCase {
    const char* label;
    const char16_t* code;
    const char16_t* name;
    StorageMode mode;
    bool substitute;
    int32_t width;
    int32_t height;
    int32_t documentLength;
    int16_t status;
};

const RoundTripCase kCases[] = {
    {"NoCodeAsIs", u"", u"a.txt", StorageMode::AsIs, false, 40, 30, 308,
     PayloadStatus::DocumentAsIs},
    {"EncryptedSubstituteName", u"RoundTrip-42", u"report.pdf", StorageMode::Encrypted, true, 37,
     33, 300, PayloadStatus::EncryptedArchive},
    {"FullLengthCodeCompressed", u"ABCDEFGHIJKLMNOPQRST", u"A longer file name.tar.gz",
     StorageMode::Compressed, false, 41, 29, 257, PayloadStatus::CompressedArchive},
    {"EightBitCodeAndName", u"Caf\u00e9 code 1", u"R\u00e9sum\u00e9.odt", StorageMode::AsIs, true,
     64, 20, 1, PayloadStatus::DocumentAsIs},
};

std::string path8(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void checkRoundTrip(const RoundTripCase& c) {
    apptest::ScratchDir dir;
    const LinuxPlatform platform;

    std::string document(static_cast<size_t>(c.documentLength), '\0');
    for (size_t i = 0; i < document.size(); ++i) {
        document[i] = static_cast<char>(i * 37 + 11);
    }
    const QString name = QString::fromUtf16(c.name);
    const QString documentPath = dir.path(name);
    dir.write(name, document);
    // An afternoon last-write time prints negative in the date field.
    ASSERT_TRUE(
        platform.writeLastWriteTime(documentPath, apptest::utcSeconds(2024, 7, 9, 16, 30, 8)));

    Bytes bgr(static_cast<size_t>(c.width) * 3 * static_cast<size_t>(c.height));
    for (size_t i = 0; i < bgr.size(); ++i) {
        bgr[i] = static_cast<uint8_t>(i * 7 + i / 5);
    }
    const QString carrier = dir.path(QStringLiteral("carrier.bmp"));
    const QString output = dir.path(QStringLiteral("output.bmp"));
    dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(c.width, c.height, bgr));
    dir.write(QStringLiteral("output.bmp"), bmptest::outputHeaders24(c.width, c.height));

    const QString code = QString::fromUtf16(c.code);
    const std::string header =
        BuildPayloadHeader(platform, code, documentPath, documentPath, c.mode,
                           c.substitute ? NameRoute::WorkCopy : NameRoute::Own, c.documentLength);
    const int32_t rowsPerBlock = 8;
    int32_t result = 1;
    for (int32_t block = 0; result == 1; ++block) {
        result = embed24(block, rowsPerBlock, 54, 0, 0, bmptest::stride24(c.width), c.width,
                         c.height, c.documentLength, header.c_str(), path8(carrier).c_str(),
                         path8(documentPath).c_str(), path8(output).c_str());
    }
    ASSERT_EQ(result, 0);

    const PayloadHeaderInfo info = ReadPayloadHeader(output, code);
    EXPECT_EQ(info.status, c.status);
    EXPECT_EQ(info.dataOffset, 54);
    EXPECT_EQ(info.rowBytes, c.width * 3);
    EXPECT_EQ(info.documentLength, c.documentLength);
    EXPECT_EQ(info.documentName, name);
    EXPECT_EQ(info.nameLength, name.size());
    EXPECT_EQ(info.dateField, ReadFileDate(platform, documentPath));
    EXPECT_EQ(info.dateField.substr(18, 1), "-");
    EXPECT_EQ(info.substituteName, c.substitute);
    EXPECT_EQ(info.storedCode, code);
    EXPECT_EQ(info.codeProtected, !code.isEmpty());

    // The document comes back through the engine with the header length the reader reported.
    const QString extracted = dir.path(QStringLiteral("extracted"));
    result = 1;
    for (int32_t block = 0; result == 1; ++block) {
        result = extract(block, rowsPerBlock, info.dataOffset, info.rowBytes, info.documentLength,
                         info.headerLength(), path8(output).c_str(), path8(extracted).c_str());
    }
    ASSERT_EQ(result, 0);
    const Bytes back = bmptest::readFile(path8(extracted));
    EXPECT_EQ(std::string(back.begin(), back.end()), document);

    if (!code.isEmpty()) {
        EXPECT_EQ(ReadPayloadHeader(output, code + u'x').status, PayloadStatus::OtherCode);
    }
}

TEST(PayloadRoundTrip, EngineOutputReadsBackEveryField) {
    for (const RoundTripCase& c : kCases) {
        SCOPED_TRACE(c.label);
        checkRoundTrip(c);
    }
}

} // namespace
