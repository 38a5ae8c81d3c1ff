// A committed PNG made from a committed image: the writer must give it again byte for byte, and
// reading it back must give the image's pixels exactly, as extraction from a PNG needs them.
// BRINDMAR_WRITE_GOLDEN=1 writes it into the source tree instead.
#include "imaging/PngWriter.h"
#include "imaging/QtPictureConverter.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kImages = QStringLiteral(BRINDMAR_GOLDEN_DIR "/images/");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(PngGolden, TheSameImageGivesTheSamePngAndItsPixelsComeBack) {
    QTemporaryDir dir;
    const QString bmp = kImages + QStringLiteral("rgb-centre-compressed.bmp");
    const QString golden = kImages + QStringLiteral("rgb-centre-compressed.png");
    const QString made = dir.filePath(QStringLiteral("made.png"));
    ASSERT_TRUE(brindmar::writePngFromBmp(bmp, made).ok);
    if (qEnvironmentVariable("BRINDMAR_WRITE_GOLDEN") == u"1") {
        QFile::remove(golden);
        ASSERT_TRUE(QFile::copy(made, golden));
    }
    EXPECT_EQ(readAll(made), readAll(golden)) << "the PNG writer's bytes changed";

    // The pixel rows of the carrier read back from the PNG, and of those re-saved by another
    // encoder with other settings and a text chunk, are the image's own.
    const QString resaved = dir.filePath(QStringLiteral("resaved.png"));
    QImageWriter writer(resaved, "png");
    writer.setQuality(0);
    writer.setText(QStringLiteral("Comment"), QStringLiteral("re-saved"));
    ASSERT_TRUE(writer.write(QImage(golden)));
    const QByteArray original = readAll(bmp);
    for (const QString& png : {golden, resaved}) {
        SCOPED_TRACE(png.toStdString());
        const QString back = dir.filePath(QStringLiteral("back.bmp"));
        ASSERT_TRUE(brindmar::QtPictureConverter().convert(png, back).ok);
        const QByteArray carrier = readAll(back);
        ASSERT_EQ(carrier.size(), original.size());
        EXPECT_EQ(carrier.mid(54), original.mid(54));
    }
}

} // namespace
