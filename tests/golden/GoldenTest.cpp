// Format stability: images made by this release must extract in every later one, and the same
// inputs must give the same bytes. The inputs and the images they gave are committed; a change
// that alters these bytes changes the format and must say so.
//
// BRINDMAR_WRITE_GOLDEN=1 writes the inputs (when missing) and the images into the source tree
// instead of comparing.

#include "FixedRandomness.h"
#include "WorkflowHarness.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <time.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

const QString kSource = QStringLiteral(BRINDMAR_GOLDEN_DIR "/");
const int64_t kFixedTime = apptest::utcSeconds(2020, 2, 29, 23, 58, 40);

bool writing() {
    return qEnvironmentVariable("BRINDMAR_WRITE_GOLDEN") == u"1";
}

Bytes randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

// The inputs as first made; once committed they are read, never made again.
Bytes makeInput(const QString& name) {
    if (name == u"rgb.bmp") {
        return bmptest::make24(64, 48, randomBytes(64 * 48 * 3, 1));
    }
    if (name == u"indexed.bmp") {
        return bmptest::make8(64, 48, bmptest::testPalette(256), randomBytes(64 * 48, 2));
    }
    if (name == u"rle.bmp") {
        Bytes indices(64 * 48);
        for (size_t i = 0; i < indices.size(); ++i) {
            indices[i] = static_cast<uint8_t>((i / 5) % 7 == 0 ? i : i / 11);
        }
        return bmptest::makeRle8(64, 48, bmptest::testPalette(256), indices, 64);
    }
    if (name == u"poem.txt") {
        const std::string line = "Under the low bits the quiet letters sleep,\n";
        std::string text;
        for (int i = 0; i < 60; ++i) {
            text += std::to_string(i) + ' ' + line;
        }
        return {text.begin(), text.end()};
    }
    if (name == u"noise.bin") {
        return randomBytes(500, 3);
    }
    return randomBytes(400, 4); // the long-named document
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Bytes input(const QString& name) {
    const QString path = kSource + QStringLiteral("inputs/") + name;
    if (writing() && !QFile::exists(path)) {
        QDir().mkpath(kSource + QStringLiteral("inputs"));
        bmptest::writeFile(path.toStdString(), makeInput(name));
    }
    return bmptest::readFile(path.toStdString());
}

void fixFile(const QString& path) {
    ::chmod(QFile::encodeName(path).constData(), 0644);
    const std::array<timespec, 2> times{timespec{kFixedTime, 0}, timespec{kFixedTime, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times.data(), 0);
}

struct GoldenCase {
    const char* name;
    QString carrier;
    QString document;
    QString code;
    bool encrypt;
    uint8_t cropMode;
    bool strong = false;
};

class Golden : public ::testing::TestWithParam<GoldenCase> {
protected:
    // libzip stores member times as local clock readings and the committed archives hold UTC
    // ones, so any other zone would change their bytes.
    static void SetUpTestSuite() {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
};

TEST_P(Golden, SameInputsGiveTheSameImageAndItStillExtracts) {
    const GoldenCase& c = GetParam();
    const QString goldenPath = kSource + QStringLiteral("images/") + c.name + ".bmp";
    apptest::Harness h;
    const QString out = h.dir.folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    h.dir.write(c.carrier, input(c.carrier));
    h.dir.write(c.document, input(c.document));
    const QString document = h.dir.path(c.document);
    fixFile(document);

    // Fixed file times everywhere the header reads them; the birth time of a fresh checkout
    // would otherwise find its way into the date field.
    apptest::FakePlatform fixed;
    fixed.times[document] = FileTimes{kFixedTime - 86400, kFixedTime, kFixedTime};
    WorkflowContext ctx{h.model, h.ui,   h.zip,          h.engine,
                        fixed,   h.view, h.dir.folder(), h.temp.folder()};
    h.model.display.encryptBox = c.encrypt ? kEncryptTicked : kEncryptUnticked;
    h.model.display.strongBox = c.strong;
    h.model.cropMode = c.cropMode;
    h.model.embedOutputFolder = out;
    ChangeCode(ctx, c.code);
    if (c.strong) {
        h.ui.queueCodeAgain(c.code);
    }
    h.ui.queueFileChoice(document);
    ChooseDocument(ctx);
    h.ui.queueFileChoice(h.dir.path(c.carrier));
    ChooseBmp(ctx);
    // The filler starts afresh in every thread: a thread of its own makes each run the first.
    {
        // The salt and the stream header are the seal's only randomness.
        const apptest::FixedRandomness fixedSeal(20261207);
        std::thread([&ctx] { EmbedDocument(ctx); }).join();
    }
    const QByteArray made = readAll(out + c.carrier);
    ASSERT_FALSE(made.isEmpty()) << h.ui.transcript().join(u'\n').toStdString();

    if (writing()) {
        QDir().mkpath(kSource + QStringLiteral("images"));
        QFile file(goldenPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(made);
        return;
    }
    const QByteArray golden = readAll(goldenPath);
    ASSERT_FALSE(golden.isEmpty()) << goldenPath.toStdString();
    if (c.encrypt) {
        // An encrypted archive carries a random salt: the headers and the payload header must
        // agree, the archive's bytes cannot.
        const qsizetype fixedPart = 54 + 4 * (90 + c.document.size());
        EXPECT_EQ(made.size(), golden.size());
        EXPECT_EQ(made.left(fixedPart), golden.left(fixedPart));
    } else {
        EXPECT_EQ(made, golden) << "the image bytes changed: a format change";
    }

    // The committed image opens in a new run and gives the document back.
    apptest::Harness x;
    const QString found = x.dir.folder() + QStringLiteral("found/");
    QDir().mkpath(found);
    QFile::copy(goldenPath, x.dir.path(c.carrier));
    x.model.extractOutputFolder = found;
    ChangeCode(x.ctx, c.code);
    x.ui.queueFileChoice(x.dir.path(c.carrier));
    ChooseBmp(x.ctx);
    ASSERT_TRUE(x.model.extractMode());
    x.ui.clear();
    ExtractDocument(x.ctx);
    EXPECT_EQ(x.ui.messages().size(), 1u);
    EXPECT_EQ(readAll(found + c.document), readAll(document));
    struct stat info {};
    ::stat(QFile::encodeName(found + c.document).constData(), &info);
    EXPECT_EQ(info.st_mtim.tv_sec, kFixedTime);
}

// An image sealed before seals committed to their key (layout 1) still gives its document back.
TEST(GoldenLayout1, SealedWithoutACommitmentStillExtracts) {
    apptest::Harness x;
    const QString found = x.dir.folder() + QStringLiteral("found/");
    QDir().mkpath(found);
    const QString image = x.dir.path(QStringLiteral("rgb.bmp"));
    QFile::copy(kSource + QStringLiteral("images/rgb-whole-strong-layout1.bmp"), image);
    x.model.extractOutputFolder = found;
    ChangeCode(x.ctx, u"Stark gesch\u00fctzt 7"_qs);
    x.ui.queueFileChoice(image);
    ChooseBmp(x.ctx);
    ASSERT_TRUE(x.model.extractMode());
    x.ui.clear();
    ExtractDocument(x.ctx);
    EXPECT_EQ(x.ui.messages().size(), 1u);
    EXPECT_EQ(readAll(found + QStringLiteral("a long document name.bin")),
              readAll(kSource + QStringLiteral("inputs/a long document name.bin")));
}

INSTANTIATE_TEST_SUITE_P(
    Images, Golden,
    ::testing::Values(
        GoldenCase{"rgb-centre-compressed", "rgb.bmp", "poem.txt", {}, false, 1},
        GoldenCase{"indexed-whole-stored-code", "indexed.bmp", "noise.bin", "0123456789", false, 0},
        GoldenCase{"rle-right-bottom-compressed-code", "rle.bmp", "poem.txt",
                   "abcdefghij0123456789", false, 9},
        GoldenCase{"rgb-top-strip-long-name", "rgb.bmp", "a long document name.bin", {}, false, 13},
        GoldenCase{"rgb-whole-encrypted", "rgb.bmp", "poem.txt", "0123456789", true, 0},
        // At the default cost, as every image with strong protection is made.
        GoldenCase{"rgb-whole-strong", "rgb.bmp", "a long document name.bin",
                   u"Stark gesch\u00fctzt 7"_qs, false, 0, true}),
    apptest::RowName());

} // namespace
