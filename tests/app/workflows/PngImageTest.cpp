// The window reads a PNG image as it reads a BMP: through the BMP of its pixels in the private
// work folder, under the PNG's name, and that work file goes once another image is chosen.

#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "payload/CarrierFile.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/BmpInformation.h"
#include "workflows/CodeEntry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/FullSizeView.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/StealthEmbedding.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <cerrno>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

const QString kCode = QStringLiteral("0123456789");

// A user whose window converts pictures; strong embeds cost little.
struct PngSession : apptest::UserSession {
    QtPictureConverter pictures;
    explicit PngSession(const QString& code = kCode) : UserSession(code) {
        h.ctx.pictures = &pictures;
        h.ctx.strongCost = StrongCost{1, 8};
    }
    QString said() const { return messages().join(u' '); }
    // A PNG of random pixels in the session's folder.
    QString noisyPng(const QString& name) const {
        QImage picture(90, 70, QImage::Format_RGB32);
        std::mt19937 random(3);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                picture.setPixel(x, y, uint32_t(random()) | 0xFF000000u);
            }
        }
        picture.save(h.dir.path(name), "PNG");
        return h.dir.path(name);
    }
    // Picks the document and the carrier, with the format asked for; the image the embed makes.
    QString prepareEmbed(const QString& carrier, std::optional<ImageFormat> as) {
        h.model.embedOutputFolder = h.dir.folder() + QStringLiteral("out/");
        QDir().mkpath(h.model.embedOutputFolder);
        h.model.imageFormat = as;
        h.model.cropMode = 0;
        chooseDocument(h.file(QStringLiteral("note.txt"), apptest::Bytes(300, 'n')));
        chooseCarrier(carrier);
        return embedOutputPath(h.model.embedOutputFolder, shownImagePath(h.model), as);
    }
    QString embedInto(const QString& carrier, std::optional<ImageFormat> as) {
        const QString image = prepareEmbed(carrier, as);
        EmbedDocument(h.ctx);
        return image;
    }
    void extractHere() {
        h.model.extractOutputFolder = h.dir.folder();
        h.ui.clear();
        ExtractDocument(h.ctx);
    }
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PngImage, ReadInTheWindowAsABmpUnderItsOwnName) {
    PngSession maker;
    // A PNG carrier keeps its format, beside the carrier under the same name.
    const QString image = maker.embedInto(maker.noisyPng(QStringLiteral("holiday.png")), {});
    ASSERT_TRUE(image.endsWith(u"/out/holiday.png")) << image.toStdString();
    ASSERT_TRUE(QFile::exists(image)) << maker.said().toStdString();

    PngSession reader;
    reader.chooseCarrier(image);
    const WindowModel& m = reader.h.model;
    ASSERT_TRUE(m.extractMode()) << reader.said().toStdString();
    EXPECT_EQ(shownImagePath(m), image);
    const QString work = m.display.bmpPath;
    EXPECT_TRUE(work.startsWith(reader.h.ctx.temporaryFolder));
    // The information window and the viewer read the work BMP.
    const auto values = ReadBmpInformation(reader.h.ctx, work);
    ASSERT_TRUE(values);
    EXPECT_EQ((*values)[0], QStringLiteral("BM"));
    const auto shown = LoadFullSizePicture(reader.h.ctx, work);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->width, 90);
    reader.extractHere();
    EXPECT_EQ(QFile(reader.h.dir.path(QStringLiteral("note.txt"))).size(), 300);

    // Choosing another image wipes the work file.
    const QString other = reader.noisyPng(QStringLiteral("other.png"));
    reader.chooseCarrier(other);
    EXPECT_FALSE(QFile::exists(work));
    EXPECT_EQ(shownImagePath(m), other);
    const QString otherWork = m.display.bmpPath;
    ReleaseDecodedPicture(reader.h.ctx);
    EXPECT_FALSE(QFile::exists(otherWork));
}

TEST(PngImage, ChangedPixelsSayTheyCarryNothingAndTheCarrierIsNeverReplaced) {
    PngSession maker;
    const QString image =
        maker.embedInto(maker.noisyPng(QStringLiteral("a.png")), ImageFormat::Png);
    // A copy at another size: the payload is gone.
    QImage(image).scaled(45, 35).save(image, "PNG");
    PngSession reader;
    reader.chooseCarrier(image);
    EXPECT_FALSE(reader.h.model.extractMode());
    // Nothing is said before the search: it could be a stealth image.
    EXPECT_TRUE(reader.messages().isEmpty()) << reader.said().toStdString();
    reader.extractHere();
    EXPECT_TRUE(reader.said().contains(image + QStringLiteral(" - no document opens with this "
                                                              "code: the picture carries none")))
        << reader.said().toStdString();

    // Its own folder as the output folder: the new PNG would be the carrier itself.
    reader.h.model.embedOutputFolder = reader.h.model.bmpFolder;
    reader.chooseDocument(reader.h.file(QStringLiteral("b.txt"), apptest::Bytes(10, 'b')));
    const QByteArray before = contents(image);
    EmbedDocument(reader.h.ctx);
    EXPECT_EQ(contents(image), before);
    EXPECT_TRUE(reader.said().contains(QStringLiteral("same directory")));
}

// A stop asked while the PNG is being written ends the run there: no image, no success. The last
// time a clean embed lets events run falls in the PNG's writing. Only the embed's own event runs
// count: choosing a PNG carrier decodes it while events run every few milliseconds, as many
// times as the machine's load makes it.
TEST(PngImage, AStopDuringThePngWriteWritesNothing) {
    int clean = 0;
    {
        PngSession counting;
        counting.prepareEmbed(counting.noisyPng(QStringLiteral("a.png")), ImageFormat::Png);
        int runs = 0;
        counting.h.ui.onPendingEvents = [&](int) { clean = ++runs; };
        EmbedDocument(counting.h.ctx);
        ASSERT_TRUE(counting.said().contains(QStringLiteral("processed successfully")));
    }
    PngSession stopping;
    const QString image =
        stopping.prepareEmbed(stopping.noisyPng(QStringLiteral("a.png")), ImageFormat::Png);
    int runs = 0;
    stopping.h.ui.onPendingEvents = [&](int) {
        stopping.h.model.stopRequest = stopping.h.model.stopRequest || ++runs == clean;
    };
    EmbedDocument(stopping.h.ctx);
    EXPECT_FALSE(stopping.said().contains(QStringLiteral("processed successfully")));
    EXPECT_FALSE(QFile::exists(image));
    EXPECT_TRUE(QDir(stopping.h.model.embedOutputFolder)
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

// Whichever of the program's reads fails while a picture is chosen, it is told as a read of that
// file: never as a file of another kind, never without the file's name.
TEST(PngImage, AFailedReadWhileChoosingIsToldAsOneAndNamesTheFile) {
    for (const bool png : {true, false}) {
        PngSession maker;
        const QString picture =
            png ? maker.noisyPng(QStringLiteral("a.png"))
                : maker.h.file(QStringLiteral("a.bmp"),
                               bmptest::make24(60, 40, apptest::Bytes(7200, 9)));
        const int64_t before = CarrierFile::reads();
        maker.chooseCarrier(picture);
        const int64_t reads = CarrierFile::reads() - before;
        for (int64_t n = 1; n <= reads; ++n) {
            PngSession s;
            CarrierFile::failNthRead(n, EIO);
            s.chooseCarrier(picture);
            CarrierFile::failNthRead(0, 0);
            const QString said = s.said();
            EXPECT_FALSE(said.contains(QStringLiteral("not a BMP file")))
                << n << ": " << said.toStdString();
            if (said.contains(QStringLiteral("cannot be read"))) {
                EXPECT_TRUE(said.contains(picture)) << n << ": " << said.toStdString();
            }
        }
    }
}

// Messages about a PNG name the user's file, never its work copy in the private folder.
TEST(PngImage, MessagesNameThePngNotItsWorkCopy) {
    PngSession maker;
    ToggleStrong(maker.h.ctx);
    maker.h.ui.queueCodeAgain(kCode);
    const QString image =
        maker.embedInto(maker.noisyPng(QStringLiteral("sealed.png")), ImageFormat::Png);
    ASSERT_TRUE(QFile::exists(image)) << maker.said().toStdString();
    for (const QString& code : {QString(), QStringLiteral("9876543210")}) {
        PngSession reader(code);
        reader.chooseCarrier(image);
        reader.extractHere();
        EXPECT_TRUE(reader.said().contains(image + QStringLiteral(" - ")))
            << reader.said().toStdString();
        EXPECT_FALSE(reader.said().contains(reader.h.ctx.temporaryFolder));
    }
}

TEST(PngImage, FormatChoiceAndItsSetting) {
    const struct {
        const char* stored;
        std::optional<ImageFormat> read;
        int index;
        const char* written;
    } rows[] = {
        {"", std::nullopt, 0, "carrier"},     {"carrier", std::nullopt, 0, "carrier"},
        {"PNG", ImageFormat::Png, 2, "png"},  {" bmp ", ImageFormat::Bmp, 1, "bmp"},
        {"jpeg", std::nullopt, 0, "carrier"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        const std::optional<ImageFormat> read = formatFromSetting(QString::fromLatin1(row.stored));
        EXPECT_EQ(read, row.read);
        EXPECT_EQ(formatChoiceIndex(read), row.index);
        EXPECT_EQ(formatSettingText(read), QString::fromLatin1(row.written));
        apptest::Harness h;
        ChooseOutputFormat(h.ctx, row.index);
        EXPECT_EQ(h.model.imageFormat, row.read);
    }
}

} // namespace
