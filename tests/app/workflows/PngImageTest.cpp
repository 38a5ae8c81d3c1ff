// The window reads a PNG image as it reads a BMP: through the BMP of its pixels in the private
// work folder, under the PNG's name, and that work file goes once another image is chosen.

#include "workflows/PngImage.h"
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/BmpInformation.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/FullSizeView.h"
#include "workflows/OutputFormatChoice.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

const QString kCode = QStringLiteral("0123456789");

// A user who picks the document and the carrier and embeds, with the format asked for.
QString embedInto(apptest::UserSession& s, const QString& carrier, std::optional<ImageFormat> as) {
    s.h.model.embedOutputFolder = s.h.dir.folder() + QStringLiteral("out/");
    QDir().mkpath(s.h.model.embedOutputFolder);
    s.h.model.imageFormat = as;
    s.h.model.cropMode = 0;
    s.chooseDocument(s.h.file(QStringLiteral("note.txt"), apptest::Bytes(300, 'n')));
    s.chooseCarrier(carrier);
    const QString image =
        embedOutputPath(s.h.model.embedOutputFolder, shownImagePath(s.h.model), as);
    EmbedDocument(s.h.ctx);
    return image;
}

QString noisyPng(const apptest::Harness& h, const QString& name) {
    QImage picture(90, 70, QImage::Format_RGB32);
    std::mt19937 random(3);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, uint32_t(random()) | 0xFF000000u);
        }
    }
    const QString path = h.dir.path(name);
    picture.save(path, "PNG");
    return path;
}

TEST(PngImage, ReadInTheWindowAsABmpUnderItsOwnName) {
    QtPictureConverter pictures;
    apptest::UserSession maker(kCode);
    maker.h.ctx.pictures = &pictures;
    // A PNG carrier keeps its format, beside the carrier under the same name.
    const QString carrier = noisyPng(maker.h, QStringLiteral("holiday.png"));
    const QString image = embedInto(maker, carrier, std::nullopt);
    ASSERT_TRUE(image.endsWith(u"/out/holiday.png")) << image.toStdString();
    ASSERT_TRUE(QFile::exists(image)) << maker.messages().join(u' ').toStdString();

    apptest::UserSession reader(kCode);
    reader.h.ctx.pictures = &pictures;
    reader.chooseCarrier(image);
    const WindowModel& m = reader.h.model;
    ASSERT_TRUE(m.extractMode()) << reader.messages().join(u' ').toStdString();
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
    reader.h.model.extractOutputFolder = reader.h.dir.folder();
    ExtractDocument(reader.h.ctx);
    EXPECT_EQ(QFile(reader.h.dir.path(QStringLiteral("note.txt"))).size(), 300);

    // Choosing another image wipes the work file.
    const QString other = noisyPng(reader.h, QStringLiteral("other.png"));
    reader.chooseCarrier(other);
    EXPECT_FALSE(QFile::exists(work));
    EXPECT_EQ(shownImagePath(m), other);
    const QString otherWork = m.display.bmpPath;
    ReleasePngImage(reader.h.ctx);
    EXPECT_FALSE(QFile::exists(otherWork));
}

TEST(PngImage, ChangedPixelsSayTheyCarryNothingAndTheCarrierIsNeverReplaced) {
    QtPictureConverter pictures;
    apptest::UserSession maker(kCode);
    maker.h.ctx.pictures = &pictures;
    const QString image =
        embedInto(maker, noisyPng(maker.h, QStringLiteral("a.png")), ImageFormat::Png);
    // A copy at another size: the payload is gone.
    QImage(image).scaled(45, 35).save(image, "PNG");
    apptest::UserSession reader(kCode);
    reader.h.ctx.pictures = &pictures;
    reader.chooseCarrier(image);
    EXPECT_FALSE(reader.h.model.extractMode());
    // Nothing is said before the search: it could be a stealth image.
    EXPECT_TRUE(reader.messages().isEmpty()) << reader.messages().join(u' ').toStdString();
    reader.h.model.extractOutputFolder = reader.h.dir.folder();
    ExtractDocument(reader.h.ctx);
    EXPECT_TRUE(
        reader.messages().join(u' ').contains(image + QStringLiteral(" - ") + pngCarriesNothing()))
        << reader.messages().join(u' ').toStdString();

    // Its own folder as the output folder: the new PNG would be the carrier itself.
    reader.h.model.embedOutputFolder = reader.h.model.bmpFolder;
    reader.chooseDocument(reader.h.file(QStringLiteral("b.txt"), apptest::Bytes(10, 'b')));
    const QByteArray before = [&] {
        QFile f(image);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EmbedDocument(reader.h.ctx);
    QFile after(image);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_TRUE(reader.messages().join(u' ').contains(QStringLiteral("same directory")));
}

TEST(PngImage, FormatChoiceAndItsSetting) {
    struct Row {
        const char* stored;
        std::optional<ImageFormat> read;
        int index;
        const char* written;
    };
    const Row rows[] = {
        {"", std::nullopt, 0, "carrier"},     {"carrier", std::nullopt, 0, "carrier"},
        {"PNG", ImageFormat::Png, 2, "png"},  {" bmp ", ImageFormat::Bmp, 1, "bmp"},
        {"jpeg", std::nullopt, 0, "carrier"},
    };
    for (const Row& row : rows) {
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

namespace {

// Messages about a PNG name the user's file, never its work copy in the private folder.
TEST(PngImage, MessagesNameThePngNotItsWorkCopy) {
    QtPictureConverter pictures;
    apptest::UserSession maker(kCode);
    maker.h.ctx.pictures = &pictures;
    maker.h.ctx.strongCost = StrongCost{1, 8};
    ToggleStrong(maker.h.ctx);
    maker.h.ui.queueCodeAgain(kCode);
    const QString image =
        embedInto(maker, noisyPng(maker.h, QStringLiteral("sealed.png")), ImageFormat::Png);
    ASSERT_TRUE(QFile::exists(image)) << maker.messages().join(u' ').toStdString();
    for (const QString& code : {QString(), QStringLiteral("9876543210")}) {
        apptest::UserSession reader(code);
        reader.h.ctx.pictures = &pictures;
        reader.h.ctx.strongCost = StrongCost{1, 8};
        reader.chooseCarrier(image);
        reader.h.model.extractOutputFolder = reader.h.dir.folder();
        reader.h.ui.clear();
        ExtractDocument(reader.h.ctx);
        const QString said = reader.messages().join(u' ');
        EXPECT_TRUE(said.contains(image + QStringLiteral(" - "))) << said.toStdString();
        EXPECT_FALSE(said.contains(reader.h.ctx.temporaryFolder)) << said.toStdString();
    }
}

} // namespace
