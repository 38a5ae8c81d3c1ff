#include "payload/PayloadHeaderReader.h"
#include "AppTestSupport.h"
#include "payload/PayloadHeader.h"

#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

const std::string kDateField = "23073 -3276823073 -31808";
const std::string kDocument = "0123456789";

std::string header(const char16_t* code, const QString& name = QStringLiteral("a.txt"),
                   int32_t length = 10, StorageMode mode = StorageMode::AsIs,
                   bool substitute = false) {
    return composePayloadHeader(QString::fromUtf16(code), kDateField, mode,
                                substitute ? NameRoute::WorkCopy : NameRoute::Own, length, name);
}

// A header carrying name bytes exactly as given, past the reduction the builder applies.
std::string withStoredName(const std::string& name) {
    char length[8];
    std::snprintf(length, sizeof length, "%06zu", name.size());
    return header(u"").substr(0, 84) + length + name;
}

// Overwrites header characters from a one-based position, as the format's table counts them.
std::string patched(std::string text, size_t position, const std::string& with) {
    text.replace(position - 1, with.size(), with);
    return text;
}

class ReadPayloadHeaderTest : public ::testing::Test {
protected:
    PayloadHeaderInfo read(const Bytes& image, const char16_t* code = u"") {
        m_dir.write(QStringLiteral("carrier.bmp"), image);
        return ReadPayloadHeader(m_dir.path(QStringLiteral("carrier.bmp")),
                                 QString::fromUtf16(code));
    }
    PayloadHeaderInfo readPayload(const std::string& payload, const char16_t* code = u"") {
        return read(apptest::payloadImage(16, 12, payload), code);
    }

    apptest::ScratchDir m_dir;
};

TEST_F(ReadPayloadHeaderTest, ReportsEveryFieldOfAFoundPayload) {
    const PayloadHeaderInfo info = readPayload(
        header(u"0123456789", QStringLiteral("Notes.odt"), 10, StorageMode::Encrypted, true) +
            kDocument,
        u" 0123456789 ");
    EXPECT_EQ(info.status, PayloadStatus::EncryptedArchive);
    EXPECT_EQ(info.dataOffset, 54);
    EXPECT_EQ(info.rowBytes, 48);
    EXPECT_EQ(info.documentLength, 10);
    EXPECT_EQ(info.nameLength, 9);
    EXPECT_EQ(info.headerLength(), 99);
    EXPECT_EQ(info.documentName, QStringLiteral("Notes.odt"));
    EXPECT_EQ(info.dateField, kDateField);
    EXPECT_TRUE(info.substituteName);
    EXPECT_EQ(info.storedCode, QStringLiteral("0123456789"));
    EXPECT_TRUE(info.codeProtected);
}

TEST_F(ReadPayloadHeaderTest, StorageDigitGivesTheStatus) {
    const std::pair<char, int16_t> cases[] = {
        {'0', -1}, {'1', -2}, {'2', -3}, {'7', -1}, {'x', -1}};
    for (const auto& [digit, status] : cases) {
        EXPECT_EQ(readPayload(patched(header(u""), 68, std::string(1, digit))).status, status)
            << digit;
    }
}

TEST_F(ReadPayloadHeaderTest, AProtectedPayloadOpensOnlyWithItsCode) {
    const std::string payload = header(u"Open Sesame 42") + kDocument;
    const std::pair<const char16_t*, int16_t> cases[] = {
        {u"Open Sesame 42", -1}, {u"   Open Sesame 42  ", -1}, {u"open sesame 42", 10},
        {u"Open Sesame 4", 10},  {u"Open Sesame 42!", 10},     {u"", 10},
    };
    for (const auto& [code, status] : cases) {
        const PayloadHeaderInfo info = readPayload(payload, code);
        EXPECT_EQ(info.status, status) << QString::fromUtf16(code).toStdString();
        // Whether it opens or not, the window learns the stored code and the protection.
        EXPECT_EQ(info.storedCode, QStringLiteral("Open Sesame 42"));
        EXPECT_TRUE(info.codeProtected);
    }
}

TEST_F(ReadPayloadHeaderTest, APayloadWithoutCodeOpensWithAnyCode) {
    for (const char16_t* code : {u"", u"0123456789", u"anything at all 20ch"}) {
        const PayloadHeaderInfo info = readPayload(header(u"") + kDocument, code);
        EXPECT_EQ(info.status, PayloadStatus::DocumentAsIs);
        EXPECT_EQ(info.storedCode, QString());
        EXPECT_FALSE(info.codeProtected);
    }
}

TEST_F(ReadPayloadHeaderTest, ChangingAKeyDigitOfADateNumberChangesTheCodeFound) {
    const std::string payload = header(u"Open Sesame 42") + kDocument;
    // Header positions of the first three characters of the four date numbers.
    for (size_t number = 0; number < 4; ++number) {
        for (size_t k = 0; k < 3; ++k) {
            const size_t position = 43 + number * 6 + k;
            const char old = payload[position - 1];
            const std::string changed = patched(payload, position, old == '5' ? "6" : "5");
            const PayloadHeaderInfo info = readPayload(changed, u"Open Sesame 42");
            EXPECT_EQ(info.status, PayloadStatus::OtherCode) << "position " << position;
            EXPECT_NE(info.storedCode, QStringLiteral("Open Sesame 42"));
        }
    }
}

struct HostileCase {
    const char* what;
    std::string payload;
    int16_t status;
};

TEST_F(ReadPayloadHeaderTest, RejectsHostileHeaders) {
    const std::string good = header(u"");
    const HostileCase cases[] = {
        {"no marker", std::string(120, 'x'), PayloadStatus::NoMarker},
        {"marker one letter off", patched(good, 14, "-"), PayloadStatus::NoMarker},
        {"format digit", patched(good, 67, "2"), PayloadStatus::UnknownFormat},
        {"zero length", patched(good, 73, "000000000000"), PayloadStatus::EmptyDocument},
        {"negative length", patched(good, 73, "-00000000001"), PayloadStatus::EmptyDocument},
        {"letters for length", patched(good, 73, "abcdefghijkl"), PayloadStatus::EmptyDocument},
        {"twelve nines", patched(good, 73, "999999999999"), PayloadStatus::TooLargeForImage},
        {"name length beyond the file", patched(good, 85, "999999"),
         PayloadStatus::TooLargeForImage},
        {"negative name length", patched(good, 85, "-00005"), PayloadStatus::UnknownFormat},
        {"length with blanks inside", patched(good, 73, "0 0 0 0 1 0 "),
         PayloadStatus::DocumentAsIs},
    };
    for (const HostileCase& c : cases) {
        EXPECT_EQ(readPayload(c.payload + kDocument).status, c.status) << c.what;
    }
}

TEST_F(ReadPayloadHeaderTest, ThePayloadMustFitTheSizeFieldTheRowsAndTheFile) {
    // 16 x 12 pixels hold 576 colour bytes; this payload needs (10 + 5 + 90) x 4 = 420.
    const Bytes image = apptest::payloadImage(16, 12, header(u"") + kDocument);
    ASSERT_EQ(read(image).status, PayloadStatus::DocumentAsIs);

    Bytes sizeField = image;
    apptest::put32(sizeField, 34, 419);
    EXPECT_EQ(read(sizeField).status, PayloadStatus::TooLargeForImage);
    apptest::put32(sizeField, 34, 420);
    EXPECT_EQ(read(sizeField).status, PayloadStatus::DocumentAsIs);

    // A size field that claims more than the rows declared does not help.
    Bytes rows = image;
    apptest::put32(rows, 34, 0xFFFFFFFF);
    apptest::put32(rows, 22, 8); // 8 rows: 384 colour bytes
    EXPECT_EQ(read(rows).status, PayloadStatus::TooLargeForImage);
    apptest::put32(rows, 22, static_cast<uint32_t>(-9)); // top-down, 432 colour bytes
    EXPECT_EQ(read(rows).status, PayloadStatus::DocumentAsIs);

    // Nor do fields that claim more than the file holds: 8 full rows and 36 bytes of the ninth
    // hold 420 colour bytes, one byte less holds too few.
    Bytes cut = image;
    apptest::put32(cut, 34, 0xFFFFFFFF);
    cut.resize(54 + 8 * 48 + 36);
    EXPECT_EQ(read(cut).status, PayloadStatus::DocumentAsIs);
    cut.pop_back();
    EXPECT_EQ(read(cut).status, PayloadStatus::TooLargeForImage);
}

TEST_F(ReadPayloadHeaderTest, NameLengthsTheEngineCouldNeverWriteAreUnknownFormat) {
    // A header of 16384 bytes or more cannot come from the embedder; the image is big enough.
    const std::string name(16294, 'n');
    const std::string payload = header(u"", QString::fromLatin1(name.data()), 1);
    const PayloadHeaderInfo info = read(apptest::payloadImage(300, 240, payload + "x"));
    EXPECT_EQ(info.status, PayloadStatus::UnknownFormat);
    const std::string shorter(16293, 'n');
    EXPECT_EQ(read(apptest::payloadImage(300, 240,
                                         header(u"", QString::fromLatin1(shorter.data()), 1) + "x"))
                  .status,
              PayloadStatus::DocumentAsIs);
}

TEST_F(ReadPayloadHeaderTest, TruncatedFilesNeverReadAsAPayload) {
    const Bytes image = apptest::payloadImage(16, 12, header(u"") + kDocument);
    const std::pair<size_t, int16_t> cases[] = {
        {0, PayloadStatus::NotBmp},
        {1, PayloadStatus::NotBmp},
        {2, PayloadStatus::PlanesNotOne},
        {28, PayloadStatus::Not24Bit},
        {54, PayloadStatus::NoMarker},
        {54 + 40, PayloadStatus::NoMarker},
        {54 + 100, PayloadStatus::UnknownFormat},
        {54 + 300, PayloadStatus::TooLargeForImage},
        {54 + 360, PayloadStatus::TooLargeForImage},
    };
    for (const auto& [size, status] : cases) {
        EXPECT_EQ(read(Bytes(image.begin(), image.begin() + static_cast<long>(size))).status,
                  status)
            << size << " bytes";
    }
}

TEST_F(ReadPayloadHeaderTest, ChecksTheBitmapHeaderFirst) {
    const Bytes image = apptest::payloadImage(16, 12, header(u"") + kDocument);
    const std::tuple<size_t, uint32_t, int, int16_t> cases[] = {
        {0, 0x4D42 ^ 0x2000, 2, PayloadStatus::NotBmp}, // "Bm"
        {26, 2, 2, PayloadStatus::PlanesNotOne},
        {28, 8, 2, PayloadStatus::Not24Bit},
        {28, 32, 2, PayloadStatus::Not24Bit},
        {30, 1, 4, PayloadStatus::CompressedImage},
        {30, 3, 4, PayloadStatus::CompressedImage},
        {10, 0, 2, PayloadStatus::NoMarker},      // pixel data at offset 0
        {10, 0x8036, 2, PayloadStatus::NoMarker}, // low half negative
        {18, 0, 4, PayloadStatus::NoMarker},      // width 0
        {18, 0xFFFFFFF0, 4, PayloadStatus::NoMarker},
        {18, 0x7FFFFFFF, 4, PayloadStatus::NoMarker},
        {10, 0x10036, 4, PayloadStatus::DocumentAsIs}, // only the low half counts, as in the engine
    };
    for (const auto& [offset, value, width, status] : cases) {
        Bytes changed = image;
        if (width == 2) {
            apptest::put16(changed, offset, static_cast<uint16_t>(value));
        } else {
            apptest::put32(changed, offset, value);
        }
        EXPECT_EQ(read(changed).status, status) << "field at " << offset;
    }
}

TEST_F(ReadPayloadHeaderTest, OnlyOrdinaryFilesAreRead) {
    const QString fifo = m_dir.path(QStringLiteral("fifo.bmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadPayloadHeader(fifo, QString()).status, PayloadStatus::NotBmp);
    EXPECT_EQ(ReadPayloadHeader(m_dir.folder(), QString()).status, PayloadStatus::NotBmp);
    EXPECT_EQ(ReadPayloadHeader(m_dir.path(QStringLiteral("missing.bmp")), QString()).status,
              PayloadStatus::NotBmp);
    EXPECT_EQ(ReadPayloadHeader(QString(), QString()).status, PayloadStatus::NotBmp);
}

TEST_F(ReadPayloadHeaderTest, StoredNamesComeBackAsPlainFileNames) {
    const std::pair<std::string, const char16_t*> cases[] = {
        {"..", u"document"},
        {"../../.bashrc", u".bashrc"},
        {"/etc/passwd", u"passwd"},
        {"..\\..\\boot.ini", u"boot.ini"},
        {"docs/", u"document"},
        {"  ", u"document"},
        {"", u"document"},
        {std::string("a\0b\nc.txt", 9), u"a_b_c.txt"},
        {"Caf\xe9.txt", u"Caf\u00e9.txt"},
    };
    for (const auto& [stored, expected] : cases) {
        const PayloadHeaderInfo info = readPayload(withStoredName(stored) + kDocument);
        ASSERT_EQ(info.status, PayloadStatus::DocumentAsIs) << stored;
        EXPECT_EQ(info.documentName, QString::fromUtf16(expected));
        // The engine skips the header as stored, whatever the name became.
        EXPECT_EQ(info.nameLength, static_cast<int32_t>(stored.size()));
    }
}

} // namespace
