// Strong protection as a user meets it: the image keeps nothing of the code, the name or the
// times; only the right code brings the document back; and an image altered anywhere in its
// payload is refused without a byte written.
#include "WorkflowHarness.h"
#include "payload/PayloadHeaderReader.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

const QString kCode = QStringLiteral("Correct Horse 12");
const QString kName = QStringLiteral("Tagebuch \u00fcber M\u00e4rz.odt");
const int64_t kTime = apptest::utcSeconds(2021, 6, 30, 8, 15, 42);
constexpr int32_t kWidth = 400;
// Three chunks of the seal, the middle one full.
constexpr size_t kDocumentBytes = 150000;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

struct Session : apptest::UserSession {
    explicit Session(const QString& code, bool strong = false) : UserSession(code) {
        h.ctx.strongCost = StrongCost{1, 8};
        if (strong) {
            ToggleStrong(h.ctx);
            h.ui.queueCodeAgain(code);
        }
        h.ui.clear();
    }
};

// One sealed image, made once for the whole suite.
struct Sealed {
    apptest::ScratchDir files;
    std::string document;
    QString image;

    Sealed() {
        std::mt19937 random(5);
        document.resize(kDocumentBytes);
        for (char& c : document) {
            c = static_cast<char>(random());
        }
        files.write(kName, document);
        const QString path = files.path(kName);
        const std::array<timespec, 2> times{timespec{kTime, 0}, timespec{kTime, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times.data(), 0);
        Bytes pixels(size_t(kWidth) * 520 * 3);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        files.write(QStringLiteral("carrier.bmp"), bmptest::make24(kWidth, 520, pixels));
        QDir().mkpath(files.folder() + QStringLiteral("out"));
        Session embed(kCode, true);
        embed.h.model.embedOutputFolder = files.folder() + QStringLiteral("out/");
        embed.h.model.cropMode = 0;
        embed.chooseDocument(path);
        embed.chooseCarrier(files.path(QStringLiteral("carrier.bmp")));
        EmbedDocument(embed.h.ctx);
        image = files.folder() + QStringLiteral("out/carrier.bmp");
        EXPECT_TRUE(embed.messages().join(u' ').contains(u"processed successfully"))
            << embed.messages().join(u' ').toStdString();
    }
};

const Sealed& sealed() {
    static const Sealed made;
    return made;
}

// A run that tries an image with a code; what it said, and what it left in its folders.
struct Attempt {
    bool offered = false;
    QStringList said;
    QStringList written;
    QStringList workFiles;
};

Attempt extractWith(const QString& image, const QString& code) {
    Session s(code);
    apptest::ScratchDir back;
    s.h.model.extractOutputFolder = back.folder();
    s.chooseCarrier(image);
    Attempt a;
    a.offered = s.h.model.extractMode();
    if (a.offered) {
        s.h.ui.clear();
        ExtractDocument(s.h.ctx);
        a.said = s.messages();
    }
    a.written = entries(back.folder());
    a.workFiles = entries(s.h.temp.folder());
    return a;
}

TEST(StrongProtection, TheImageKeepsNothingButASealedDocument) {
    const PayloadHeaderInfo info = ReadPayloadHeader(sealed().image, QString());
    EXPECT_EQ(info.status, PayloadStatus::SealedArchive);
    EXPECT_EQ(info.documentName, QStringLiteral("document"));
    EXPECT_EQ(info.dateField, "0     0     0     0     ");
    EXPECT_FALSE(info.storedCode.has_value());
    EXPECT_EQ(info.documentLength, sealedLength(info.documentLength - int64_t{kSealPreludeLength} - 17 * 3));

    const Attempt a = extractWith(sealed().image, kCode);
    EXPECT_EQ(a.said, QStringList{"Completion Message|File Extraction processed successfully"});
    ASSERT_EQ(a.written, QStringList{kName});
    EXPECT_TRUE(a.workFiles.isEmpty()) << a.workFiles.join(u' ').toStdString();
}

TEST(StrongProtection, RightCodeBringsBackBytesNameAndTime) {
    Session s(kCode);
    apptest::ScratchDir back;
    s.h.model.extractOutputFolder = back.folder();
    s.chooseCarrier(sealed().image);
    ASSERT_TRUE(s.h.model.extractMode());
    EXPECT_EQ(s.h.model.display.documentBox, QStringLiteral("document"));
    ExtractDocument(s.h.ctx);
    EXPECT_EQ(contents(back.path(kName)), QByteArray::fromStdString(sealed().document));
    struct stat info {};
    ::stat(QFile::encodeName(back.path(kName)).constData(), &info);
    EXPECT_EQ(info.st_mtim.tv_sec, kTime);
}

// Each wrong code is refused after the derivation, writes nothing, and leaves the image chosen
// so that the right one can be typed next.
TEST(StrongProtection, OnlyTheVeryCodeOpensIt) {
    for (const QString& wrong :
         {QStringLiteral("correct Horse 12"), QStringLiteral("Correct Horse 123"),
          QStringLiteral("Correct Horse 1"), QStringLiteral("Correct Horse 13"),
          QStringLiteral("Correct Horse 12x")}) {
        SCOPED_TRACE(wrong.toStdString());
        Session s(wrong);
        apptest::ScratchDir back;
        s.h.model.extractOutputFolder = back.folder();
        s.chooseCarrier(sealed().image);
        ASSERT_TRUE(s.h.model.extractMode());
        s.h.ui.clear();
        ExtractDocument(s.h.ctx);
        ASSERT_EQ(s.messages().size(), 1);
        EXPECT_TRUE(s.messages()[0].endsWith(u" - this code does not open the document"))
            << s.messages()[0].toStdString();
        EXPECT_TRUE(entries(back.folder()).isEmpty());
        EXPECT_TRUE(entries(s.h.temp.folder()).isEmpty());
        ASSERT_TRUE(s.h.model.extractMode());
        ChangeCode(s.h.ctx, kCode);
        s.h.ui.clear();
        ExtractDocument(s.h.ctx);
        EXPECT_EQ(entries(back.folder()), QStringList{kName});
    }
}

TEST(StrongProtection, WithoutACodeNothingIsDerivedOrWritten) {
    const Attempt a = extractWith(sealed().image, QString());
    ASSERT_TRUE(a.offered);
    ASSERT_EQ(a.said.size(), 1);
    EXPECT_TRUE(a.said[0].contains(u"sealed with strong protection: type its code"));
    EXPECT_TRUE(a.written.isEmpty());
}

struct Region {
    const char* name;
    int64_t payloadByte; // from the end when negative
};

class Tampered : public ::testing::TestWithParam<Region> {};

// One bit of one payload byte changed, in each region the reader believes or the seal covers.
TEST_P(Tampered, IsRefusedAndNothingIsWritten) {
    const Region& region = GetParam();
    apptest::ScratchDir dir;
    QByteArray image = contents(sealed().image);
    const PayloadHeaderInfo info = ReadPayloadHeader(sealed().image, QString());
    const int64_t payloadBytes = info.headerLength() + info.documentLength;
    const int64_t k =
        region.payloadByte >= 0 ? region.payloadByte : payloadBytes + region.payloadByte;
    // The colour byte that carries the lowest bit pair of payload byte k.
    const int64_t colour = 4 * k;
    const int64_t stride = (int64_t{kWidth} * 3 + 3) / 4 * 4;
    const int64_t at = 54 + colour / (kWidth * 3) * stride + colour % (kWidth * 3);
    const auto i = static_cast<qsizetype>(at);
    image[i] = static_cast<char>(image[i] ^ 1);
    dir.write(QStringLiteral("carrier.bmp"), std::string(image.constData(), size_t(image.size())));

    const Attempt a = extractWith(dir.path(QStringLiteral("carrier.bmp")), kCode);
    if (a.offered) {
        EXPECT_FALSE(a.said.join(u' ').contains(u"processed successfully"));
        EXPECT_FALSE(a.said.isEmpty());
    }
    EXPECT_TRUE(a.written.isEmpty()) << a.written.join(u' ').toStdString();
    EXPECT_TRUE(a.workFiles.isEmpty()) << a.workFiles.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Regions, Tampered,
    ::testing::Values(Region{"marker", 3}, Region{"code field", 20}, Region{"date field", 50},
                      Region{"format digit", 66}, Region{"storage digit", 67},
                      Region{"name digit", 68}, Region{"reserved", 70},
                      Region{"document length", 83}, Region{"name length", 89}, Region{"name", 93},
                      Region{"prelude version", 98}, Region{"key derivation", 99},
                      Region{"chunk size", 100}, Region{"prelude reserved", 101},
                      Region{"passes", 102}, Region{"memory", 106}, Region{"salt", 115},
                      Region{"stream header", 130}, Region{"first chunk", 160},
                      Region{"middle chunk", 98 + 52 + 65553 + 999}, Region{"final chunk", -1},
                      Region{"final chunk start", -60}),
    apptest::RowName());

// The window's rules: Strong protection implies Encrypt, needs a code, and a document packed
// for it carries its name in the archive only.
TEST(StrongProtection, TheSwitchAndWhatItNeeds) {
    Session s{QString()};
    WindowModel& m = s.h.model;
    ToggleStrong(s.h.ctx);
    EXPECT_TRUE(m.hasPacking(packing::StrongWanted));
    EXPECT_FALSE(m.hasPacking(packing::EncryptionWanted));
    EXPECT_FALSE(m.display.encryptEnabled);
    EXPECT_NE(m.display.encryptBox, kEncryptUnticked);
    EXPECT_TRUE(m.display.strongEnabled); // ticked, it can always be unticked

    // No code: the embed says so and writes nothing.
    apptest::ScratchDir out;
    s.h.dir.write(QStringLiteral("a.txt"), std::string("abc"));
    s.h.file(QStringLiteral("c.bmp"), bmptest::make24(60, 60, Bytes(60 * 60 * 3, 7)));
    m.embedOutputFolder = out.folder();
    s.chooseDocument(s.h.dir.path(QStringLiteral("a.txt")));
    s.chooseCarrier(s.h.dir.path(QStringLiteral("c.bmp")));
    EXPECT_EQ(m.display.documentSize.toLongLong(), m.documentLength);
    EXPECT_EQ(m.nameLength, 8);
    s.h.ui.clear();
    EmbedDocument(s.h.ctx);
    ASSERT_EQ(s.messages().size(), 1);
    EXPECT_TRUE(s.messages()[0].contains(u"Strong protection needs a code"));
    EXPECT_TRUE(entries(out.folder()).isEmpty());

    ToggleStrong(s.h.ctx);
    EXPECT_FALSE(m.hasPacking(packing::StrongWanted));
    EXPECT_FALSE(m.hasPacking(packing::PackedForSeal));
    EXPECT_FALSE(m.display.strongEnabled); // no code long enough to tick it again
}

} // namespace

namespace {

// A document that cannot be packed cannot be sealed: the embed refuses instead of hiding it
// less well than asked.
TEST(StrongProtection, NeverFallsBackToLessProtection) {
    Session s{QStringLiteral("Correct Horse 12"), true};
    WindowModel& m = s.h.model;
    apptest::ScratchDir out;
    s.h.dir.write(QStringLiteral("a.txt"), std::string(500, 'a'));
    s.h.file(QStringLiteral("c.bmp"), bmptest::make24(60, 60, Bytes(60 * 60 * 3, 7)));
    m.embedOutputFolder = out.folder();
    s.h.zip.failWith(brindmar::testing::FakeZipService::Operation::ZipFiles, 4);
    s.chooseDocument(s.h.dir.path(QStringLiteral("a.txt")));
    s.chooseCarrier(s.h.dir.path(QStringLiteral("c.bmp")));
    ASSERT_FALSE(s.messages().isEmpty());
    EXPECT_TRUE(s.messages()[0].contains(u"cannot be embedded with it"));
    EXPECT_TRUE(m.hasPacking(packing::StrongWanted));
    s.h.ui.clear();
    EmbedDocument(s.h.ctx);
    EXPECT_TRUE(s.messages().join(u' ').contains(u"strong protection seals a packed document "
                                                 u"only"));
    EXPECT_TRUE(entries(out.folder()).isEmpty());
}

} // namespace
